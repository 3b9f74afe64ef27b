// A station killed with two attempts stored, offscreen on the simulated box: the next
// station offers the test back, and Yes gives both attempts with their results; No twice
// keeps the journal; Save removes it. The killed station is this program run again
// (VANTA_KILLED_STATION_ROOT names its folder), so the kill is a real SIGKILL.
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <filesystem>

#include "app/dialog_bar.h"
#include "app/main_window.h"
#include "app/station_view.h"
#include "app/station_app.h"
#include "core/analysis.h"
#include "station/command_ids.h"
#include "station/session_recovery.h"
#include "storage/session_journal.h"
#include "storage/settings_file.h"
#include "storage/test_file.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

constexpr const char* kRootVariable = "VANTA_KILLED_STATION_ROOT";

// The station's own folders below `root`, as StationFixture lays them out.
struct Place {
    QString root;
    QString programDirectory() const { return QDir(root).filePath(QStringLiteral("a/b/prog")); }
    std::string dataDirectory() const { return QDir(programDirectory()).filePath(QStringLiteral("DATA")).toStdString(); }
    StartOptions options() const {
        StartOptions o;
        o.programFile = QDir(programDirectory()).filePath(QStringLiteral("vantacheck"));
        o.userDataDirectory = QDir(root).filePath(QStringLiteral("user"));
        o.showWindow = true;
        return o;
    }
};

std::vector<std::string> journalsIn(const std::string& folder) {
    std::vector<std::string> found;
    for (const JournalEntry& e : listJournals(folder).entries) found.push_back(e.path);
    return found;
}

// The station that is killed: Perform, two attempts on the simulated box, then it says so
// and waits to be killed.
int runStationUntilKilled(const QString& root) {
    const Place place{root};
    ScriptedDialogs dialogs;
    RecordingLibrary library;
    StationApp app(dialogs, &library, place.options());
    if (!app.initInstance({QStringLiteral("--simulate")})) return 3;
    app.station().test.subject.name = "Eva Novak";
    MainWindow& frame = *app.frame();
    frame.view().resize(1280, 800);
    frame.action(cmd::kPerform)->trigger();
    for (int stored = 1; stored <= 2; ++stored) {
        auto* start = qobject_cast<QPushButton*>(frame.currentBar()->control(cmd::kStart));
        if (!start) return 4;
        start->click();
        if (!QTest::qWaitFor([&] { return app.station().test.repetitionCount == stored; }, 60000)) return 5;
    }
    std::printf("stored 2\n");
    std::fflush(stdout);
    QTest::qWait(600000);
    return 6;
}

}  // namespace

class SessionRecoveryTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void aKilledStationsTestComesBackWithYesAndGoesWithSave() {
        QTemporaryDir root;
        const Place place{root.path()};
        QDir().mkpath(place.programDirectory());
        StationSettings abbreviated;
        abbreviated.subjectLibraryMode = 0;
        QVERIFY(saveSettings(QDir(place.programDirectory()).filePath(QStringLiteral("vantacheck.cfg")).toStdString(),
                             abbreviated));

        QProcess killed;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kRootVariable), root.path());
        killed.setProcessEnvironment(env);
        killed.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        killed.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(killed.waitForStarted());
        QVERIFY2(QTest::qWaitFor([&] { return killed.readAllStandardOutput().contains("stored 2"); }, 150000),
                 "the station to be killed did not store two attempts");
        killed.kill();  // SIGKILL
        QVERIFY(killed.waitForFinished());
        QCOMPARE(journalsIn(place.dataDirectory()).size(), size_t(1));
        const std::string journal = journalsIn(place.dataDirectory()).front();

        ScriptedDialogs dialogs;
        RecordingLibrary library;
        dialogs.yesNoAnswers = {true};
        StationApp app(dialogs, &library, place.options());
        QVERIFY(app.initInstance({QStringLiteral("--simulate")}));
        QCOMPARE(dialogs.log.size(), size_t(1));
        QVERIFY2(QString::fromStdString(dialogs.log[0]).contains(
                     QRegularExpression(QStringLiteral("^ask: Recover the unsaved test of Eva Novak from "
                                                       "\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d \\(2 attempts\\)\\?$"))),
                 dialogs.log[0].c_str());

        Station& s = app.station();
        QCOMPARE(s.test.repetitionCount, 2);
        QCOMPARE(s.test.saved, 0);
        QCOMPARE(s.resultsAvailable, 1);
        QCOMPARE(s.test.subject.name, std::string("Eva Novak"));
        QVERIFY(app.router().isEnabled(cmd::kDigitalReport));
        QVERIFY(app.router().isEnabled(cmd::kCurveGraph));
        // The toolbar's buttons too, without a menu opened first.
        QVERIFY(app.frame()->action(cmd::kDigitalReport)->isEnabled());
        QVERIFY(app.frame()->action(cmd::kCurveGraph)->isEnabled());
        // The results are those of the attempts: analysed afresh they give the same.
        for (int r = 0; r < 2; ++r) {
            QVERIFY(s.test.repetitions[r].sampleCount > 250);
            QVERIFY(s.test.results[r].at(PeakAll, ResultColumn::Velocity) > 100.0f);
            const RepetitionResults shown = s.test.results[r];
            analyseRepetition(s.test, r);
            for (int row = 0; row < kResultRowCount; ++row)
                for (int c = 0; c < kResultColumnCount; ++c) QCOMPARE(s.test.results[r].value[row][c], shown.value[row][c]);
        }
        QVERIFY(app.router().execute(cmd::kDigitalReport));
        QCOMPARE(s.viewMode, int(kViewDigitalReport));
        QVERIFY2(journalHeld(journal), "this station holds it now");

        const std::string saved = QDir(root.path()).filePath(QStringLiteral("saved.kvq")).toStdString();
        dialogs.saveAnswers.push_back(saved);
        QVERIFY(app.router().execute(cmd::kFileSave));
        QCOMPARE(s.test.saved, 1);
        QVERIFY(!std::filesystem::exists(journal));
        auto back = std::make_unique<TestRecord>();
        QVERIFY(readTestFile(saved, *back));
        QCOMPARE(back->repetitionCount, 2);
    }

    void noTwiceKeepsTheJournalAndTheNextStartAsksAgain() {
        QTemporaryDir root;
        const Place place{root.path()};
        QDir().mkpath(QString::fromStdString(place.dataDirectory()));
        std::string journal;
        {
            // A station that stopped with one attempt stored.
            auto test = std::make_unique<TestRecord>();
            DemoOptions demo;
            demo.repetitions = 1;
            fillDemoTest(*test, demo);
            test->subject.name = "Ivo Horvat";
            SessionJournal left(place.dataDirectory());
            QVERIFY(left.attemptStored(*test));
            journal = left.path();
            left.close(false);
        }
        for (int start = 0; start < 2; ++start) {
            ScriptedDialogs dialogs;
            RecordingLibrary library;
            dialogs.yesNoAnswers = {false, false};
            StationApp app(dialogs, &library, place.options());
            QVERIFY(app.initInstance({}));
            QCOMPARE(dialogs.log.size(), size_t(2));
            QVERIFY(QString::fromStdString(dialogs.log[0]).endsWith(QStringLiteral("(1 attempt)?")));
            QCOMPARE(dialogs.log[1], "ask: Delete it? It stays in " + journal + " otherwise.");
            QCOMPARE(app.station().test.repetitionCount, 0);
            QCOMPARE(app.station().resultsAvailable, 0);
            QVERIFY(std::filesystem::exists(journal));
            QVERIFY(!journalHeld(journal));
            app.frame()->close();
        }
        // Yes to the second question deletes it.
        ScriptedDialogs dialogs;
        RecordingLibrary library;
        dialogs.yesNoAnswers = {false, true};
        StationApp app(dialogs, &library, place.options());
        QVERIFY(app.initInstance({}));
        QVERIFY(!std::filesystem::exists(journal));
    }
};

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    if (qEnvironmentVariableIsSet(kRootVariable)) return runStationUntilKilled(qEnvironmentVariable(kRootVariable));
    SessionRecoveryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "session_recovery_test.moc"
