// File > Open and File > Save as the window runs them: through the menu, with the
// recent-file list, the wait cursor and the return to the idle screen. What the commands
// themselves do is tested in tests/station.
#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QTest>

#include "archive/background_indexer.h"
#include "archive/local_index.h"
#include "station/command_ids.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

class FileCommandsTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void saveAndOpenThroughTheMenu() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        f.station().test.subject.name = "Bo Berg";
        f.station().test.saved = 0;
        const std::string path = f.filePath("bo.kvq");

        f.dialogs.saveAnswers.push_back(path);
        f.frame().action(cmd::kFileSave)->trigger();
        QCOMPARE(f.dialogs.log, std::vector<std::string>{"save: |" + f.dataDirectory()});
        QVERIFY(QFile::exists(QString::fromStdString(path)));
        QCOMPARE(f.app->profile().recentFiles().value(0), QString::fromStdString(path));

        // Open from the digital report: the view is back on the idle screen without a bar,
        // the report commands are enabled, the wait cursor has gone again.
        f.station().test.subject.name = "changed";
        f.station().resultsAvailable = 1;
        QVERIFY(f.router().execute(cmd::kDigitalReport));
        QVERIFY(f.frame().currentBar() != nullptr);
        f.dialogs.openAnswers.push_back(path);
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.station().test.subject.name, std::string("Bo Berg"));
        QCOMPARE(f.station().viewMode, int(kViewIdle));
        QVERIFY(f.frame().currentBar() == nullptr);
        QVERIFY(f.frame().action(cmd::kCurveGraph)->isEnabled());
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);

        // A file the reader refuses: its message, and the cursor is put back all the same.
        f.dialogs.openAnswers.push_back(f.filePath("missing.kvq"));
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.dialogs.messages.back(), std::string("Error opening file"));
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    }

    void savedAndOpenedTestsGoIntoTheIndex() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        f.station().test.subject.name = "Bo Berg";
        f.station().test.testTime = 1690000000;  // before the opened one (oldest first)
        f.station().test.saved = 0;
        const std::string saved = f.filePath("bo.kvq");
        f.dialogs.saveAnswers.push_back(saved);
        f.frame().action(cmd::kFileSave)->trigger();
        const std::string opened = f.writeTestFileWith(2, "ann.kvq", "Ann Lee");
        f.dialogs.openAnswers.push_back(opened);
        f.frame().action(cmd::kFileOpen)->trigger();

        QVERIFY(f.app->indexer() != nullptr);
        f.app->indexer()->waitUntilIdle();
        QCOMPARE(f.app->indexer()->lastProblem(), std::string());
        // The index lies beside the subject register, not among the tests.
        archive::LocalIndex index;
        QVERIFY(index.open(f.station().paths.subjectLibraryDirectory));
        std::vector<archive::IndexedTest> tests;
        QVERIFY(index.listTests({}, tests));
        QCOMPARE(tests.size(), size_t(2));
        QCOMPARE(tests[0].path, saved);
        QCOMPARE(tests[0].subject, std::string("Bo Berg"));
        QCOMPARE(tests[1].path, opened);
        QCOMPARE(tests[1].repetitions.size(), size_t(2));
        int64_t waiting = 0;
        QVERIFY(index.pendingCount(waiting));
        QCOMPARE(waiting, int64_t(2));
    }
};

QTEST_MAIN(FileCommandsTest)
#include "file_commands_test.moc"
