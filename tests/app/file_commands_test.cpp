// File > Open and File > Save with their dialogs and questions, in both subject modes:
// what the operator is asked, what is read or written, and the subject register's calls
// in the order the station makes them.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include "station/command_ids.h"
#include "station/file_commands.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

QByteArray readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void setRecorded(Station& s) {
    s.test.repetitionCount = 0;
    s.test.subject.name = "Bo Berg";
    s.test.testTime = 1234567;
    s.test.saved = 0;
}

}  // namespace

class FileCommandsTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void directoryPrefix_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<bool>("inside");
        QTest::newRow("empty directory") << "/x/a.kvq" << "" << true;
        QTest::newRow("inside") << "/data/Ann/a.kvq" << "/data/Ann" << true;
        QTest::newRow("case differs") << "/DATA/ann/a.kvq" << "/data/Ann" << true;
        QTest::newRow("trailing separator") << "/data/Ann/a.kvq" << "/data/Ann/" << true;
        QTest::newRow("sibling with longer name") << "/data/Ann2/a.kvq" << "/data/Ann" << false;
        QTest::newRow("elsewhere") << "/tmp/a.kvq" << "/data/Ann" << false;
        QTest::newRow("shorter than directory") << "/data" << "/data/Ann" << false;
    }
    void directoryPrefix() {
        QFETCH(QString, path);
        QFETCH(QString, dir);
        QFETCH(bool, inside);
        QCOMPARE(pathIsInDirectory(path.toStdString(), dir.toStdString()), inside);
    }

    void abbreviatedSaveAndOpenRoundTrip() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        setRecorded(f.station());
        const std::string path = f.filePath("bo.kvq");

        f.dialogs.saveAnswers.push_back(path);
        f.frame().action(cmd::kFileSave)->trigger();
        QCOMPARE(f.dialogs.log, std::vector<std::string>{"save: |" + f.dataDirectory()});
        QCOMPARE(readAll(path).size(), 16 + 8 + 3 + 20);  // header, name, three empty comments, integers
        QCOMPARE(f.station().test.saved, 1);
        QCOMPARE(f.station().lastFilePath, path);
        QVERIFY(f.library.calls.empty());  // Abbreviated never consults the register
        QCOMPARE(f.app->profile().recentFiles().value(0), QString::fromStdString(path));

        // The next save proposes the same file.
        f.dialogs.log.clear();
        f.dialogs.saveAnswers.push_back(std::nullopt);
        f.frame().action(cmd::kFileSave)->trigger();
        QCOMPARE(f.dialogs.log, std::vector<std::string>{"save: " + path + "|" + f.dataDirectory()});

        // Open: no question (saved), the data directory, the file replaces the test.
        f.station().test.subject.name = "changed";
        f.station().test.subject.age = 41;
        f.dialogs.log.clear();
        f.dialogs.openAnswers.push_back(path);
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.dialogs.log, std::vector<std::string>{"open: " + f.dataDirectory()});
        QCOMPARE(f.station().test.subject.name, std::string("Bo Berg"));
        QCOMPARE(f.station().test.subject.age, 41);  // not in the file
        QCOMPARE(f.station().test.testTime, 1234567);
        QCOMPARE(f.station().resultsAvailable, 1);
        QVERIFY(f.library.calls.empty());
    }

    void unsavedDataQuestionBeforeOpen() {
        StationFixture f;
        f.writeSettings(0);
        const std::string other = f.writeTestFileWith(2, "other.kvq");
        QVERIFY(f.start());
        setRecorded(f.station());

        // Yes: the save runs first (here into a file of its own), then the open goes on.
        const std::string savedPath = f.filePath("first.kvq");
        f.dialogs.yesNoAnswers = {true};
        f.dialogs.saveAnswers.push_back(savedPath);
        f.dialogs.openAnswers.push_back(other);
        QVERIFY(f.router().execute(cmd::kFileOpen));
        QCOMPARE(f.dialogs.log, (std::vector<std::string>{"ask: Data not saved. Save?",
                                                          "save: |" + f.dataDirectory(),
                                                          "open: " + f.dataDirectory()}));
        QVERIFY(QFileInfo::exists(QString::fromStdString(savedPath)));
        QCOMPARE(f.station().test.repetitionCount, 2);

        // No: nothing is written, the open replaces the unsaved test and counts as saved.
        setRecorded(f.station());
        f.dialogs.log.clear();
        f.dialogs.yesNoAnswers = {false};
        f.dialogs.openAnswers.push_back(other);
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.dialogs.log, (std::vector<std::string>{"ask: Data not saved. Save?", "open: " + f.dataDirectory()}));
        QCOMPARE(f.station().test.saved, 1);
        QCOMPARE(f.station().test.repetitionCount, 2);
    }

    void refusedFilesLeaveTheTestAlone() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        setRecorded(f.station());
        f.station().test.saved = 1;
        f.station().test.repetitionCount = 1;

        // Cancel: nothing happens, except that the last file name is forgotten.
        f.station().lastFilePath = "/somewhere/x.kvq";
        f.frame().action(cmd::kFileOpen)->trigger();
        QVERIFY(f.station().lastFilePath.empty());
        QCOMPARE(f.station().resultsAvailable, 0);

        // A file that is not a test file: the reader's message, the test unchanged.
        const std::string foreign = f.filePath("foreign.kvq");
        QFile out(QString::fromStdString(foreign));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray("\x0fNotAVantaFile!!", 16) + QByteArray(40, '\0'));
        out.close();
        const std::string missing = f.filePath("missing.kvq");
        const std::string truncated = f.filePath("short.kvq");
        QFile cut(QString::fromStdString(truncated));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(QByteArray("\x0fVantaCheck_V1.1\x05", 17));
        cut.close();
        for (const std::string& p : {foreign, missing, truncated}) f.dialogs.openAnswers.push_back(p);
        for (int i = 0; i < 3; ++i) f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.dialogs.messages, (std::vector<std::string>{"Incompatible data", "Error opening file",
                                                               "An attempt was made to access an unnamed file past its end."}));
        QCOMPARE(f.station().test.subject.name, std::string("Bo Berg"));
        QCOMPARE(f.station().test.repetitionCount, 1);
        QCOMPARE(f.station().resultsAvailable, 0);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);  // the wait cursor went again

        // A save into a directory that does not exist: "File Save Error", still unsaved.
        f.station().test.saved = 0;
        f.dialogs.saveAnswers.push_back(f.filePath("no/such/dir/x.kvq"));
        f.frame().action(cmd::kFileSave)->trigger();
        QCOMPARE(f.dialogs.messages.back(), std::string("File Save Error"));
        QCOMPARE(f.station().test.saved, 0);
    }

    void extendedSaveCallsTheRegisterInOrder() {
        StationFixture f;
        QVERIFY(f.start());  // no settings file: Extended
        f.library.calls.clear();
        setRecorded(f.station());
        const std::string subjectDir = f.filePath("DATA/Bo_Berg");
        QDir().mkpath(QString::fromStdString(subjectDir));
        f.library.dataDirectory = subjectDir;

        // No current subject and the register's dialog closed without one: nothing written.
        f.frame().action(cmd::kFileSave)->trigger();
        QCOMPARE(f.library.calls, (std::vector<std::string>{"hasCurrentSubject", "chooseSubject"}));
        QVERIFY(f.dialogs.log.empty());
        QCOMPARE(f.station().test.saved, 0);

        // A subject chosen: the dialog starts in the subject's directory; a file in it
        // draws no warning.
        f.library.calls.clear();
        f.library.subjectDialogAnswer = true;
        const std::string inside = subjectDir + "/t1.kvq";
        f.dialogs.saveAnswers.push_back(inside);
        f.frame().action(cmd::kFileSave)->trigger();
        QCOMPARE(f.library.calls,
                 (std::vector<std::string>{"hasCurrentSubject", "chooseSubject", "testDirectory 1234567"}));
        QCOMPARE(f.dialogs.log, std::vector<std::string>{"save: |" + subjectDir});
        QCOMPARE(f.station().test.saved, 1);
        QCOMPARE(f.station().test.subject.name, std::string("Bo Berg"));  // not replaced on save

        // Outside the subject's directory: the warning, and the file is written all the same.
        f.library.calls.clear();
        f.dialogs.log.clear();
        const std::string outside = f.filePath("elsewhere.kvq");
        f.dialogs.saveAnswers.push_back(outside);
        f.frame().action(cmd::kFileSave)->trigger();
        QCOMPARE(f.library.calls, (std::vector<std::string>{"hasCurrentSubject", "testDirectory 1234567"}));
        QCOMPARE(f.dialogs.messages,
                 std::vector<std::string>{"You are about to store data outside of predefined directory."});
        QVERIFY(QFileInfo::exists(QString::fromStdString(outside)));
    }

    void extendedOpenCallsTheRegisterInOrder() {
        StationFixture f;
        const std::string inLibrary = f.writeTestFileWith(1, "lib.kvq", "From File");
        QVERIFY(f.start());
        const std::string libraryDir = QFileInfo(QString::fromStdString(inLibrary)).absolutePath().toStdString();
        f.library.libraryDirectory = libraryDir;
        f.library.librarySubject.name = "From Register";
        f.library.librarySubject.age = 33;

        // Cancelled in the register's load dialog: no file dialog.
        f.library.calls.clear();
        f.library.loadDialogAnswer = kLoadDialogCancelled;
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.library.calls, std::vector<std::string>{"chooseLoadPlace"});
        QVERIFY(f.dialogs.log.empty());

        // 11: the register's directory; the file lies in it, so no selectSubjectOfFile; a valid
        // subject replaces the one from the file, age included.
        f.library.calls.clear();
        f.library.loadDialogAnswer = kLoadDialogLibraryDirectory;
        f.library.hasSubject = true;
        f.dialogs.openAnswers.push_back(inLibrary);
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.library.calls, (std::vector<std::string>{"chooseLoadPlace", "subjectDirectory", "hasCurrentSubject", "copyCurrentSubject"}));
        QCOMPARE(f.dialogs.log, std::vector<std::string>{"open: " + libraryDir});
        QCOMPARE(f.station().test.subject.name, std::string("From Register"));
        QCOMPARE(f.station().test.subject.age, 33);

        // 11 and a file outside the directory, no current subject: the register is told of
        // the file, asked again, and handed the subject as read from the file.
        const std::string outside = f.writeTestFileWith(1, "out.kvq", "Outsider");
        QDir().mkpath(QString::fromStdString(libraryDir + "/sub"));
        f.library.libraryDirectory = libraryDir + "/sub";
        f.library.hasSubject = false;
        f.library.calls.clear();
        f.dialogs.log.clear();
        f.dialogs.openAnswers.push_back(outside);
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.library.calls, (std::vector<std::string>{"chooseLoadPlace", "subjectDirectory", "selectSubjectOfFile " + outside,
                                                            "hasCurrentSubject", "adoptSubject"}));
        QCOMPARE(f.library.converted.name, std::string("Outsider"));
        QCOMPARE(f.station().test.subject.name, std::string("Outsider"));

        // Any other answer: the data directory, and never selectSubjectOfFile.
        f.library.calls.clear();
        f.dialogs.log.clear();
        f.library.loadDialogAnswer = 3;
        f.dialogs.openAnswers.push_back(outside);
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.dialogs.log, std::vector<std::string>{"open: " + f.dataDirectory()});
        QCOMPARE(f.library.calls, (std::vector<std::string>{"chooseLoadPlace", "hasCurrentSubject", "adoptSubject"}));

        // A file the reader refuses: the register hears nothing after the load dialog.
        f.library.calls.clear();
        f.dialogs.openAnswers.push_back(f.filePath("missing.kvq"));
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.library.calls, std::vector<std::string>{"chooseLoadPlace"});
    }

    void subjectInfoInBothModes() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        f.dialogs.subjectAnswer = true;
        f.dialogs.subjectToEnter.name = "Cy Dahl";
        f.frame().action(cmd::kSubjectInfo)->trigger();
        QCOMPARE(f.station().test.subject.name, std::string("Cy Dahl"));
        QVERIFY(f.library.calls.empty());

        // Extended: the register's dialog; a chosen subject fills the station's subject.
        f.station().settings.subjectLibraryMode = 1;
        f.dialogs.log.clear();
        f.library.subjectDialogAnswer = false;
        f.frame().action(cmd::kSubjectInfo)->trigger();
        QCOMPARE(f.library.calls, std::vector<std::string>{"chooseSubject"});
        QCOMPARE(f.station().test.subject.name, std::string("Cy Dahl"));
        f.library.subjectDialogAnswer = true;
        f.library.librarySubject.name = "Di Ek";
        f.frame().action(cmd::kSubjectInfo)->trigger();
        QCOMPARE(f.library.calls, (std::vector<std::string>{"chooseSubject", "chooseSubject", "copyCurrentSubject"}));
        QCOMPARE(f.station().test.subject.name, std::string("Di Ek"));
        QVERIFY(f.dialogs.log.empty());
    }
};

QTEST_MAIN(FileCommandsTest)
#include "file_commands_test.moc"
