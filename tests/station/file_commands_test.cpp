// File > Open and File > Save without the window: what the operator is asked, what is
// read or written, and the subject register's calls in the order the station makes them.
#include "station/file_commands.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "core/demo_test.h"
#include "station/subject_commands.h"
#include "storage/test_file.h"
#include "tests/support/station_doubles.h"
#include "tests/support/temp_dir.h"

namespace vanta {
namespace {

namespace fs = std::filesystem;
using namespace vanta::testing;
using Log = std::vector<std::string>;

TEST(PathIsInDirectory, ThePrefixMustEndAtASeparator) {
    EXPECT_TRUE(pathIsInDirectory("/x/a.kvq", ""));
    EXPECT_TRUE(pathIsInDirectory("/data/Ann/a.kvq", "/data/Ann"));
    EXPECT_TRUE(pathIsInDirectory("/DATA/ann/a.kvq", "/data/Ann"));
    EXPECT_TRUE(pathIsInDirectory("/data/Ann/a.kvq", "/data/Ann/"));
    EXPECT_FALSE(pathIsInDirectory("/data/Ann2/a.kvq", "/data/Ann"));
    EXPECT_FALSE(pathIsInDirectory("/tmp/a.kvq", "/data/Ann"));
    EXPECT_FALSE(pathIsInDirectory("/data", "/data/Ann"));
}

class FileCommandsTest : public ::testing::Test {
protected:
    TempDir dir;
    Station station;
    ScriptedDialogs dialogs;
    RecordingLibrary library;
    Log hooks;  // "reset", "used <path>", "busy", "idle"
    std::unique_ptr<FileCommands> files;

    void SetUp() override {
        station.paths.dataDirectory = dir.file("DATA");
        fs::create_directory(station.paths.dataDirectory);
        station.settings.subjectLibraryMode = 0;
        FileCommandHooks h;
        h.resetView = [this] { hooks.push_back("reset"); };
        h.fileUsed = [this](const std::string& p) { hooks.push_back("used " + p); };
        h.showBusy = [this](bool busy) { hooks.push_back(busy ? "busy" : "idle"); };
        files = std::make_unique<FileCommands>(station, dialogs, library, std::move(h));
        recorded();
    }

    // An unsaved test in memory, as after a measurement.
    void recorded() {
        station.test.repetitionCount = 0;
        station.test.subject.name = "Bo Berg";
        station.test.testTime = 1234567;
        station.test.saved = 0;
    }

    std::string fileWith(int repetitions, const std::string& name, const char* subject) {
        auto test = std::make_unique<TestRecord>();
        DemoOptions options;
        options.repetitions = repetitions;
        fillDemoTest(*test, options);
        test->subject.name = subject;
        const std::string path = dir.file(name);
        EXPECT_TRUE(writeTestFile(path, *test));
        return path;
    }
};

TEST_F(FileCommandsTest, AbbreviatedSaveAndOpenRoundTrip) {
    const std::string path = dir.file("bo.kvq");
    dialogs.saveAnswers.push_back(path);
    EXPECT_TRUE(files->save());
    EXPECT_EQ(dialogs.log, Log{"save: |" + station.paths.dataDirectory});
    EXPECT_EQ(readFileBytes(path).size(), 16u + 8 + 3 + 20);  // header, name, three empty comments, integers
    EXPECT_EQ(station.test.saved, 1);
    EXPECT_EQ(station.lastFilePath, path);
    EXPECT_EQ(hooks, Log{"used " + path});

    // The next save proposes the same file.
    dialogs.log.clear();
    EXPECT_FALSE(files->save());
    EXPECT_EQ(dialogs.log, Log{"save: " + path + "|" + station.paths.dataDirectory});

    // Open: no question (saved), the data directory, the file replaces the test; the wait
    // cursor comes and goes, the view returns to idle, the file heads the recent list.
    station.test.subject.name = "changed";
    station.test.subject.age = 41;
    dialogs.log.clear();
    hooks.clear();
    dialogs.openAnswers.push_back(path);
    EXPECT_TRUE(files->open());
    EXPECT_EQ(dialogs.log, Log{"open: " + station.paths.dataDirectory});
    EXPECT_EQ(station.test.subject.name, "Bo Berg");
    EXPECT_EQ(station.test.subject.age, 41);  // not in the file
    EXPECT_EQ(station.test.testTime, 1234567);
    EXPECT_EQ(station.resultsAvailable, 1);
    EXPECT_EQ(hooks, (Log{"busy", "reset", "idle", "used " + path}));
    EXPECT_TRUE(library.calls.empty());  // Abbreviated never consults the register
}

TEST_F(FileCommandsTest, UnsavedDataAreOfferedForSavingBeforeAnOpen) {
    const std::string other = fileWith(2, "other.kvq", "Other");

    // Yes: the save runs first (here into a file of its own), then the open goes on.
    const std::string first = dir.file("first.kvq");
    dialogs.yesNoCancelAnswers = {Answer::Yes};
    dialogs.saveAnswers.push_back(first);
    dialogs.openAnswers.push_back(other);
    EXPECT_TRUE(files->open());
    EXPECT_EQ(dialogs.log, (Log{"ask yes/no/cancel: Data not saved. Save?", "save: |" + station.paths.dataDirectory,
                                "open: " + station.paths.dataDirectory}));
    EXPECT_TRUE(fs::exists(first));
    EXPECT_EQ(station.test.repetitionCount, 2);

    // No: nothing is written, the open replaces the unsaved test and counts as saved.
    recorded();
    dialogs.log.clear();
    dialogs.yesNoCancelAnswers = {Answer::No};
    dialogs.openAnswers.push_back(other);
    EXPECT_TRUE(files->open());
    EXPECT_EQ(dialogs.log, (Log{"ask yes/no/cancel: Data not saved. Save?", "open: " + station.paths.dataDirectory}));
    EXPECT_EQ(station.test.saved, 1);
    EXPECT_EQ(station.test.repetitionCount, 2);

    // Cancel, or Yes with the save dialog cancelled: no open dialog, the test stays.
    recorded();
    dialogs.log.clear();
    dialogs.yesNoCancelAnswers = {Answer::Cancel, Answer::Yes};
    EXPECT_FALSE(files->open());
    EXPECT_FALSE(files->open());
    EXPECT_EQ(dialogs.log, (Log{"ask yes/no/cancel: Data not saved. Save?", "ask yes/no/cancel: Data not saved. Save?",
                                "save: " + other + "|" + station.paths.dataDirectory}));
    EXPECT_EQ(station.test.saved, 0);
}

TEST_F(FileCommandsTest, RefusedFilesLeaveTheTestAlone) {
    station.test.saved = 1;
    station.test.repetitionCount = 1;

    // Cancel: nothing happens, except that the last file name is forgotten.
    station.lastFilePath = "/somewhere/x.kvq";
    EXPECT_FALSE(files->open());
    EXPECT_TRUE(station.lastFilePath.empty());

    // Not a test file, no file at all, a file that ends early, a named pipe nobody writes
    // to: the reader's message with the path as its detail, at once; the test unchanged,
    // the wait cursor gone again, the view left as it is.
    const std::string foreign = dir.file("foreign.kvq");
    writeFileBytes(foreign, std::string("\x0fNotAVantaFile!!", 16) + std::string(40, '\0'));
    const std::string truncated = dir.file("short.kvq");
    writeFileBytes(truncated, std::string("\x0fVantaCheck_V1.1\x05", 17));
    const std::string pipe = dir.file("pipe.kvq");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    hooks.clear();
    const Log paths = {foreign, dir.file("missing.kvq"), truncated, pipe};
    for (const std::string& p : paths) {
        dialogs.openAnswers.push_back(p);
        EXPECT_FALSE(files->open());
    }
    EXPECT_EQ(dialogs.messages, (Log{"Incompatible data", "Error opening file",
                                     "An attempt was made to access an unnamed file past its end.", "Error opening file"}));
    // "Error opening file" says why after the path; the reader's own findings need none.
    EXPECT_EQ(dialogs.details, (Log{foreign, paths[1] + ": No such file or directory", truncated,
                                    pipe + ": not a regular file"}));
    EXPECT_EQ(station.test.subject.name, "Bo Berg");
    EXPECT_EQ(station.test.repetitionCount, 1);
    EXPECT_EQ(station.resultsAvailable, 0);
    EXPECT_EQ(hooks, (Log{"busy", "idle", "busy", "idle", "busy", "idle", "busy", "idle"}));

    // A save into a directory that does not exist: "File Save Error", still unsaved.
    station.test.saved = 0;
    dialogs.saveAnswers.push_back(dir.file("no/such/dir/x.kvq"));
    EXPECT_FALSE(files->save());
    EXPECT_EQ(dialogs.messages.back(), "File Save Error");
    EXPECT_EQ(dialogs.details.back(), dir.file("no/such/dir/x.kvq") + ": No such file or directory");
    EXPECT_EQ(station.test.saved, 0);
}

// The file dialog asks before replacing a file but names nobody: a file holding another
// subject's test is replaced only after a question that says whose it is. No leaves the
// file as it was and forgets the name; the subject's own file is replaced without it.
TEST_F(FileCommandsTest, ASaveOverAnotherSubjectsTestSaysWhoseItIs) {
    const std::string hers = fileWith(1, "hers.kvq", "\xC5\x81ucja Nowak");
    const std::string before = readFileBytes(hers);
    station.lastFilePath = dir.file("mine.kvq");
    dialogs.saveAnswers.push_back(hers);
    EXPECT_FALSE(files->save());
    EXPECT_EQ(dialogs.log.back(), "ask: This file holds a test of \xC5\x81ucja Nowak. Replace it?");
    EXPECT_EQ(readFileBytes(hers), before);
    EXPECT_EQ(station.test.saved, 0);
    EXPECT_EQ(station.lastFilePath, dir.file("mine.kvq"));

    dialogs.saveAnswers.push_back(hers);
    dialogs.yesNoAnswers = {true};
    EXPECT_TRUE(files->save());
    EXPECT_EQ(station.test.saved, 1);
    EXPECT_NE(readFileBytes(hers), before);

    // Now it holds Bo Berg's own test: no question.
    dialogs.log.clear();
    dialogs.saveAnswers.push_back(hers);
    EXPECT_TRUE(files->save());
    EXPECT_EQ(dialogs.log, Log{"save: " + hers + "|" + station.paths.dataDirectory});
}

// Extended, the scene of two athletes: with her saved test shown, choosing another
// subject leaves the test hers, so her file is not rewritten under his name; a test
// recorded and not yet saved goes with the subject chosen, into his folder, under a new
// name.
TEST_F(FileCommandsTest, ChoosingAnotherAthleteNeverFilesHerTestUnderHisName) {
    station.settings.subjectLibraryMode = 1;
    const std::string herFolder = dir.file("DATA/Lucja"), hisFolder = dir.file("DATA/Smith");
    fs::create_directories(herFolder);
    fs::create_directories(hisFolder);
    const std::string hers = fileWith(2, "DATA/Lucja/t1.kvq", "Lucja");
    library.hasSubject = true;
    library.librarySubject.name = "Lucja";
    library.loadDialogAnswer = kLoadDialogLibraryDirectory;
    library.libraryDirectory = herFolder;
    dialogs.openAnswers.push_back(hers);
    ASSERT_TRUE(files->open());

    library.subjectDialogAnswer = true;
    library.librarySubject.name = "Smith";
    library.dataDirectory = hisFolder;
    runSubjectInfo(station, dialogs, library);
    EXPECT_EQ(station.test.subject.name, "Lucja");
    EXPECT_EQ(station.test.saved, 1);
    // Saved again, her test starts beside her file; his folder is outside its place.
    dialogs.saveAnswers.push_back(hisFolder + "/copy.kvq");
    EXPECT_TRUE(files->save());
    EXPECT_TRUE(dialogs.asked("save: " + hers + "|" + herFolder));
    EXPECT_EQ(dialogs.messages, Log{"You are about to store data outside of predefined directory."});

    // Unsaved attempts under her name (a save into her file that failed), then Smith
    // chosen and the test filed under him (Yes): the save starts in his folder with no
    // name proposed.
    station.test.saved = 0;
    dialogs.yesNoCancelAnswers = {Answer::Yes};
    runSubjectInfo(station, dialogs, library);
    EXPECT_EQ(station.test.subject.name, "Smith");
    dialogs.log.clear();
    EXPECT_FALSE(files->save());
    EXPECT_EQ(dialogs.log, Log{"save: |" + hisFolder});
}

TEST_F(FileCommandsTest, ExtendedSaveCallsTheRegisterInOrder) {
    station.settings.subjectLibraryMode = 1;
    const std::string subjectDir = dir.file("DATA/Bo_Berg");
    fs::create_directories(subjectDir);
    library.dataDirectory = subjectDir;

    // No current subject and the register's dialog closed without one: nothing written.
    EXPECT_FALSE(files->save());
    EXPECT_EQ(library.calls, (Log{"hasCurrentSubject", "chooseSubject"}));
    EXPECT_TRUE(dialogs.log.empty());
    EXPECT_EQ(station.test.saved, 0);

    // A subject chosen: the dialog starts in the subject's directory; a file in it draws
    // no warning.
    library.calls.clear();
    library.subjectDialogAnswer = true;
    dialogs.saveAnswers.push_back(subjectDir + "/t1.kvq");
    EXPECT_TRUE(files->save());
    EXPECT_EQ(library.calls, (Log{"hasCurrentSubject", "chooseSubject", "testDirectory 1234567"}));
    EXPECT_EQ(dialogs.log, Log{"save: |" + subjectDir});
    EXPECT_EQ(station.test.saved, 1);
    EXPECT_EQ(station.test.subject.name, "Bo Berg");  // not replaced on save

    // Outside the subject's directory: the warning, and the file is written all the same.
    // The saved test is the current subject's, so its place is her folder.
    library.librarySubject.name = "Bo Berg";
    library.calls.clear();
    const std::string outside = dir.file("elsewhere.kvq");
    dialogs.saveAnswers.push_back(outside);
    EXPECT_TRUE(files->save());
    EXPECT_EQ(library.calls, (Log{"hasCurrentSubject", "testDirectory 1234567", "copyCurrentSubject"}));
    EXPECT_EQ(dialogs.messages, Log{"You are about to store data outside of predefined directory."});
    EXPECT_TRUE(fs::exists(outside));
}

TEST_F(FileCommandsTest, ExtendedOpenCallsTheRegisterInOrder) {
    station.settings.subjectLibraryMode = 1;
    station.test.saved = 1;
    const std::string libraryDir = dir.file("lib");
    fs::create_directories(libraryDir + "/sub");
    const std::string inLibrary = fileWith(1, "lib/lib.kvq", "From File");
    library.libraryDirectory = libraryDir;
    library.librarySubject.name = "From Register";
    library.librarySubject.age = 33;

    // Cancelled in the register's load dialog: no file dialog.
    library.loadDialogAnswer = kLoadDialogCancelled;
    EXPECT_FALSE(files->open());
    EXPECT_EQ(library.calls, Log{"chooseLoadPlace"});
    EXPECT_TRUE(dialogs.log.empty());

    // 11: the register's directory; the file lies in it, so the register is not told of
    // it; a valid subject replaces the one from the file, age included.
    library.calls.clear();
    library.loadDialogAnswer = kLoadDialogLibraryDirectory;
    library.hasSubject = true;
    dialogs.openAnswers.push_back(inLibrary);
    EXPECT_TRUE(files->open());
    EXPECT_EQ(library.calls, (Log{"chooseLoadPlace", "subjectDirectory", "hasCurrentSubject", "copyCurrentSubject"}));
    EXPECT_EQ(dialogs.log, Log{"open: " + libraryDir});
    EXPECT_EQ(station.test.subject.name, "From Register");
    EXPECT_EQ(station.test.subject.age, 33);

    // 11 and a file outside the directory, no current subject: the register is told of the
    // file, asked again, and handed the subject as read from the file.
    const std::string outside = fileWith(1, "out.kvq", "Outsider");
    library.libraryDirectory = libraryDir + "/sub";
    library.hasSubject = false;
    library.calls.clear();
    dialogs.log.clear();
    dialogs.openAnswers.push_back(outside);
    EXPECT_TRUE(files->open());
    EXPECT_EQ(library.calls, (Log{"chooseLoadPlace", "subjectDirectory", "selectSubjectOfFile " + outside,
                                  "hasCurrentSubject", "adoptSubject"}));
    EXPECT_EQ(library.converted.name, "Outsider");
    EXPECT_EQ(station.test.subject.name, "Outsider");

    // Any other answer: the data directory, and the register is told of the file all the
    // same: a file there may be another subject's or no subject's, and the current
    // subject must not relabel it.
    library.calls.clear();
    dialogs.log.clear();
    library.loadDialogAnswer = 3;
    dialogs.openAnswers.push_back(outside);
    EXPECT_TRUE(files->open());
    EXPECT_EQ(dialogs.log, Log{"open: " + station.paths.dataDirectory});
    EXPECT_EQ(library.calls,
              (Log{"chooseLoadPlace", "selectSubjectOfFile " + outside, "hasCurrentSubject", "adoptSubject"}));

    // A file the reader refuses: the register hears nothing after the load dialog.
    library.calls.clear();
    dialogs.openAnswers.push_back(dir.file("missing.kvq"));
    EXPECT_FALSE(files->open());
    EXPECT_EQ(library.calls, Log{"chooseLoadPlace"});
}

}  // namespace
}  // namespace vanta
