// A test fetched from the lab's archive: filed only when its bytes are the test, never
// over a file, under the name it had on its station; the dialog's search folds names as
// the register does; each line names the loads, sides and station.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/sha256.h"
#include "station/archive_open.h"
#include "storage/subject_register.h"
#include "tests/support/temp_dir.h"

namespace vanta::testing {
namespace {

std::string contentOf(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(FetchedTest, IsFiledWholeUnderAFreeNameAndOnlyWhenItIsTheTest) {
    TempDir dir;
    const std::string folder = dir.path().string();
    const std::string bytes("KVQ\0bytes of a test", 19);
    archive::IndexedTest test;
    test.sha256 = archive::sha256Hex(bytes);
    test.path = "C:\\stations\\b\\DATA\\ann.kvq";
    std::ofstream(dir.path() / "ann.kvq") << "hers";

    std::string path, error;
    ASSERT_TRUE(storeFetchedTest(bytes, test, folder, path, error)) << error;
    EXPECT_EQ(path, folder + "/ann_2.kvq");
    EXPECT_EQ(contentOf(path), bytes);
    EXPECT_EQ(contentOf(dir.path() / "ann.kvq"), "hers");
    ASSERT_TRUE(storeFetchedTest(bytes, test, folder, path, error));
    EXPECT_EQ(path, folder + "/ann_3.kvq");

    // Bytes damaged on the way: nothing is filed, not even the temporary copy.
    const size_t before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
    EXPECT_FALSE(storeFetchedTest(bytes.substr(1), test, folder, path, error));
    EXPECT_NE(error.find(test.sha256), std::string::npos);
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), static_cast<long>(before));

    // A station path that names no test file gives a name of the test's identity.
    test.path = "/stations/b/DATA/..";
    ASSERT_TRUE(storeFetchedTest(bytes, test, folder, path, error));
    EXPECT_EQ(path, folder + "/archive-" + test.sha256.substr(0, 12) + ".kvq");
}

// Her folder by her permanent id even under another name, else by her one exact name;
// a subject this station's register does not know, or Abbreviated mode, the data folder.
TEST(FetchedTest, GoesIntoItsSubjectsFolder) {
    TempDir root;
    const std::string data = root.path().string(), tests = data + "/tests";
    SubjectRegister subjects;
    ASSERT_TRUE(subjects.open(data));
    SubjectInfo ann;
    ann.name = "Ann Lee";
    int64_t id = 0;
    ASSERT_TRUE(subjects.add(ann, &id));
    RegisteredSubject registered;
    ASSERT_TRUE(subjects.get(id, registered));
    const std::string folder = subjects.directoryOf(registered);
    subjects.close();

    archive::IndexedTest test;
    test.subject = "Ann Lee-Novak";  // renamed since that test
    test.subjectId = registered.uuid;
    EXPECT_EQ(folderForFetchedTest(test, true, data, tests), folder);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(folderForFetchedTest(test, false, data, tests), tests);
    test.subjectId = "00000000-0000-4000-8000-000000000000";
    EXPECT_EQ(folderForFetchedTest(test, true, data, tests), tests);
    test.subject = "Ann Lee";
    test.subjectId.clear();
    EXPECT_EQ(folderForFetchedTest(test, true, data, tests), folder);
}

TEST(LabTestList, SearchFoldsNamesAndEachLineNamesLoadsSidesAndStation) {
    EXPECT_TRUE(subjectMatches("Jan Nov\xc3\xa1k", "NOVAK"));
    EXPECT_TRUE(subjectMatches("Jan Novak", "nov\xc3\xa1"));
    EXPECT_TRUE(subjectMatches("Jan Novak", ""));
    EXPECT_FALSE(subjectMatches("Jan Novak", "Nowak"));

    archive::IndexedTest t;
    t.subject = "Ann";
    t.station = "station-b";
    t.testTime = 0;
    for (auto [direction, load] : {std::pair{1, 10.004}, {-1, 10.0}, {1, 15.0}}) {
        archive::IndexedRepetition r;
        r.direction = direction;
        r.load = load;
        t.repetitions.push_back(r);
    }
    const LabTestRow row = labTestRow(t, false);
    EXPECT_EQ(row.loads, "10.00, 15.00 kg");
    EXPECT_EQ(row.sides, "left, right");
    EXPECT_EQ(row.station, "station-b");
    t.repetitions.resize(1);
    EXPECT_EQ(labTestRow(t, false).sides, labTestRow(t, true).sides == "left" ? "right" : "left");
}

}  // namespace
}  // namespace vanta::testing
