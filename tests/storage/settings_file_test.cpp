#include "storage/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <bit>
#include <csignal>
#include <filesystem>

#include "storage/station_paths.h"
#include "tests/support/temp_dir.h"

namespace vanta {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
protected:
    testing::TempDir dir;
    fs::path dir_ = dir.path();
    std::string path_ = dir.file("vantacheck.cfg");

    void spit(const std::string& bytes) { testing::writeFileBytes(path_, bytes); }
    std::string slurp() { return testing::readFileBytes(path_); }
};

StationSettings changed() {
    StationSettings s;
    s.graph.graphY1Quantity = 2;
    s.graph.graphY2Quantity = 4;
    for (int i = 0; i < kGraphQuantities; ++i) {
        s.graph.axisMin[i] = -10 * (i + 1);
        s.graph.axisMax[i] = 100 * (i + 1);
        s.graph.axisStep[i] = 5 + i;
    }
    s.graph.autoscale = 1;
    s.currentLoad = 7.5f;
    s.currentRadius = 31.25f;
    s.subjectLibraryMode = 0;
    return s;
}

int32_t at32(const std::string& b, size_t offset) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= static_cast<uint32_t>(static_cast<unsigned char>(b[offset + k])) << (8 * k);
    return static_cast<int32_t>(v);
}

TEST_F(SettingsFileTest, NinetySixBytesAtTheirOffsetsAndBack) {
    const StationSettings s = changed();
    ASSERT_TRUE(saveSettings(path_, s));
    const std::string b = slurp();
    ASSERT_EQ(b.size(), 96u);
    EXPECT_EQ(b.substr(0, 15), "VantaCheck_V1.1");
    EXPECT_EQ(at32(b, 15), 2);
    EXPECT_EQ(at32(b, 19), 4);
    EXPECT_EQ(at32(b, 23), -10);
    EXPECT_EQ(at32(b, 43), 100);
    EXPECT_EQ(at32(b, 63 + 16), 9);
    EXPECT_EQ(at32(b, 83), 1);
    EXPECT_EQ(std::bit_cast<float>(at32(b, 87)), 7.5f);
    EXPECT_EQ(std::bit_cast<float>(at32(b, 91)), 31.25f);
    EXPECT_EQ(b[95], 0);

    StationSettings back;
    EXPECT_EQ(loadSettings(path_, back), SettingsLoad::Loaded);
    EXPECT_EQ(back, s);
}

// The swapped sides ride in a 97th byte: the 96 before it are those of the same settings
// unswapped, and a 96-byte file reads back unswapped even over a swapped setting.
TEST_F(SettingsFileTest, SwappedSidesAddOneByteAndLeaveTheOthersAlone) {
    StationSettings s = changed();
    const std::string plain = encodeSettings(s);
    s.sidesSwapped = 1;
    ASSERT_TRUE(saveSettings(path_, s));
    const std::string b = slurp();
    ASSERT_EQ(b.size(), 97u);
    EXPECT_EQ(b.substr(0, 96), plain);
    EXPECT_EQ(b[96], 1);
    StationSettings back;
    EXPECT_EQ(loadSettings(path_, back), SettingsLoad::Loaded);
    EXPECT_EQ(back, s);

    s.sidesSwapped = 0;
    ASSERT_TRUE(saveSettings(path_, s));
    EXPECT_EQ(slurp(), plain);
    EXPECT_EQ(loadSettings(path_, back), SettingsLoad::Loaded);
    EXPECT_EQ(back.sidesSwapped, 0);
}

TEST_F(SettingsFileTest, DefaultsAreTheStationsFirstStart) {
    StationSettings s;
    EXPECT_EQ(loadSettings(path_, s), SettingsLoad::Missing);
    EXPECT_EQ(s, StationSettings{});
    EXPECT_EQ(s.graph.axisMax[4], 2000);
    EXPECT_EQ(s.currentLoad, 5.0f);
    EXPECT_EQ(s.subjectLibraryMode, 1);
}

TEST_F(SettingsFileTest, AForeignFileKeepsTheDefaults) {
    std::string b = encodeSettings(changed());
    b[0] = 'v';
    spit(b);
    StationSettings s;
    EXPECT_EQ(loadSettings(path_, s), SettingsLoad::Incompatible);
    EXPECT_EQ(s, StationSettings{});
    spit("VantaCheck");
    EXPECT_EQ(loadSettings(path_, s), SettingsLoad::Incompatible);
}

TEST_F(SettingsFileTest, AShortFileTakesWhatIsThereWhole) {
    const std::string full = encodeSettings(changed());
    // Below 87 bytes the load, the radius and the mode keep their defaults.
    spit(full.substr(0, 87));
    StationSettings s;
    EXPECT_EQ(loadSettings(path_, s), SettingsLoad::Short);
    EXPECT_EQ(s.graph, changed().graph);
    EXPECT_EQ(s.currentLoad, 5.0f);
    EXPECT_EQ(s.currentRadius, 25.0f);
    EXPECT_EQ(s.subjectLibraryMode, 1);
    spit(full.substr(0, 86));
    StationSettings r;
    EXPECT_EQ(loadSettings(path_, r), SettingsLoad::Short);
    EXPECT_EQ(r.graph.axisStep[4], 9);
    EXPECT_EQ(r.graph.autoscale, 0) << "three bytes of autoscale are not a value";
    EXPECT_EQ(r.currentLoad, 5.0f);
    // Cut inside axisMax[1]: axisMax[0] is taken, half an integer is not.
    spit(full.substr(0, 50));
    StationSettings t;
    EXPECT_EQ(loadSettings(path_, t), SettingsLoad::Short);
    EXPECT_EQ(t.graph.axisMax[0], 100);
    EXPECT_EQ(t.graph.axisMax[1], 270);
    // Only the mode byte missing.
    spit(full.substr(0, 95));
    StationSettings u;
    EXPECT_EQ(loadSettings(path_, u), SettingsLoad::Short);
    EXPECT_EQ(u.currentRadius, 31.25f);
    EXPECT_EQ(u.subjectLibraryMode, 1);
}

TEST_F(SettingsFileTest, AFailedWriteIsReportedAndKeepsTheOldFile) {
    EXPECT_FALSE(saveSettings((dir_ / "missing" / "vantacheck.cfg").string(), changed()));
    spit("old");
    // The disk "fills up" after 50 bytes: the file needs 96.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 50;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = saveSettings(path_, changed());
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(saved);
    EXPECT_EQ(slurp(), "old");
    int others = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) others += entry.path() != fs::path(path_);
    EXPECT_EQ(others, 0) << "nothing is left beside the settings file";

    // A folder where the file should be is reported and stays a folder.
    const std::string inTheWay = dir.file("in-the-way.cfg");
    fs::create_directory(inTheWay);
    EXPECT_FALSE(saveSettings(inTheWay, changed()));
    EXPECT_TRUE(fs::is_directory(inTheWay));
}

TEST(StationPaths, EverythingLiesBesideTheProgram) {
    const StationPaths p = pathsForProgram("/opt/kavel/vanta/bin/vantacheck");
    EXPECT_EQ(p.programDirectory, "/opt/kavel/vanta/bin");
    EXPECT_EQ(p.settingsPath, "/opt/kavel/vanta/bin/vantacheck.cfg");
    EXPECT_EQ(p.dataDirectory, "/opt/kavel/vanta/bin/DATA");
    EXPECT_EQ(p.subjectLibraryDirectory, "/opt/kavel/DATA");
    // Too few levels above the program: the register lands at the root.
    EXPECT_EQ(pathsForProgram("/usr/vantacheck").subjectLibraryDirectory, "/DATA");
    EXPECT_EQ(pathsForProgram("/vantacheck").subjectLibraryDirectory, "/DATA");
    EXPECT_EQ(pathsForProgram("/vantacheck").settingsPath, "/vantacheck.cfg");
    EXPECT_EQ(pathsInDirectory("/home/lab/.local/share/vantacheck/").dataDirectory,
              "/home/lab/.local/share/vantacheck/DATA");
}

// An installed station and its command-line tool must agree on one user folder, and a
// build folder must keep its files beside the station program.
TEST(StationPaths, InstalledInTheUsersFolderBuildTreeBesideTheStation) {
    EXPECT_EQ(userDataFolder("/x/data", "/home/lab"), "/x/data/vantacheck");
    EXPECT_EQ(userDataFolder(nullptr, "/home/lab"), "/home/lab/.local/share/vantacheck");
    EXPECT_EQ(userDataFolder("relative", "/home/lab/"), "/home/lab/.local/share/vantacheck");
    EXPECT_TRUE(runsInstalled("/usr/bin"));
    const StationPaths installed = stationPaths("/usr/bin/vantacheck", nullptr, "/home/lab");
    EXPECT_EQ(installed.settingsPath, "/home/lab/.local/share/vantacheck/vantacheck.cfg");
    EXPECT_EQ(installed.subjectLibraryDirectory, "/home/lab/.local/share/vantacheck/DATA");
    EXPECT_EQ(stationPathsForTool("/usr/bin/vantacheck-cli", nullptr, "/home/lab").dataDirectory,
              installed.dataDirectory);

    testing::TempDir tree;
    fs::create_directories(tree.path() / "cli");
    fs::create_directories(tree.path() / "app");
    testing::writeFileBytes(tree.file("app/vantacheck"), "");
    const std::string root = fs::path(tree.path()).string();
    EXPECT_FALSE(runsInstalled(root + "/cli"));
    EXPECT_EQ(stationPathsForTool(root + "/cli/vantacheck-cli", nullptr, "/home/lab").dataDirectory,
              root + "/app/DATA");
}

TEST_F(SettingsFileTest, TheDataDirectoryIsCreatedOneLevelDeep) {
    EXPECT_TRUE(ensureDirectory((dir_ / "DATA").string()));
    EXPECT_TRUE(fs::is_directory(dir_ / "DATA"));
    EXPECT_TRUE(ensureDirectory((dir_ / "DATA").string()));
    EXPECT_FALSE(ensureDirectory((dir_ / "a" / "b").string()));
    spit("x");
    EXPECT_FALSE(ensureDirectory(path_)) << "a file of that name is not a directory";
}

}  // namespace
}  // namespace vanta
