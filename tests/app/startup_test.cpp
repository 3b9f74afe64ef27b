// Start-up and shutdown as the station runs them: the settings file beside the program,
// the subject register's initialisation, the DATA directory, the command line, and the
// settings written at an orderly exit.
#include <algorithm>
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

#include <unistd.h>

#include "device/acquisition_link.h"
#include "station/command_ids.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

QByteArray readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool exists(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void firstRunWritesTheSettingsAtExit() {
        StationFixture f;
        QVERIFY(f.start());
        QVERIFY(f.dialogs.log.empty());  // a missing file is no news for the operator
        QCOMPARE(f.app->settingsLoadResult(), SettingsLoad::Missing);
        QVERIFY(!exists(f.settingsPath()));
        QVERIFY(QFileInfo(QString::fromStdString(f.dataDirectory())).isDir());
        QCOMPARE(f.frame().windowTitle(), QStringLiteral("KavelTek - Vanta Mero"));

        // The load typed on the measurement bar survives into the file.
        f.station().settings.currentLoad = 7.5f;
        f.frame().action(cmd::kAppExit)->trigger();
        QVERIFY(!f.frame().isVisible());
        const QByteArray bytes = readAll(f.settingsPath());
        QCOMPARE(bytes.size(), 96);
        QVERIFY(bytes.startsWith("VantaCheck_V1.1"));

        // The next start reads it back and offers 7.50 in the load list.
        StationFixture again;
        QVERIFY(QFile::copy(QString::fromStdString(f.settingsPath()), QString::fromStdString(again.settingsPath())));
        QVERIFY(again.start());
        QCOMPARE(again.app->settingsLoadResult(), SettingsLoad::Loaded);
        QCOMPARE(again.station().settings.currentLoad, 7.5f);
        QCOMPARE(again.station().settings.subjectLibraryMode, uint8_t(1));
    }

    void closingTheWindowIsAnOrderlyExitToo() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        f.station().settings.graph.graphY1Quantity = 2;
        // Unsaved attempts are asked about; No gives them up and the station ends.
        f.station().test.repetitionCount = 5;
        f.station().test.saved = 0;
        // The window is off the screen before the settings go to the disk: a slow disk
        // must not keep the operator looking at a station that is ending.
        bool visibleWhileWriting = true;
        QObject::connect(&f.frame(), &MainWindow::closing, [&] { visibleWhileWriting = f.frame().isVisible(); });
        f.dialogs.yesNoCancelAnswers = {Answer::No};
        QVERIFY(f.frame().close());
        QVERIFY(!visibleWhileWriting);
        QCOMPARE(f.dialogs.log, (std::vector<std::string>{"ask yes/no/cancel: Data not saved. Save?"}));
        StationSettings read;
        QCOMPARE(loadSettings(f.settingsPath(), read), SettingsLoad::Loaded);
        QCOMPARE(read.graph.graphY1Quantity, 2);
        QCOMPARE(read.subjectLibraryMode, uint8_t(0));
    }

    // File > Exit and the close button with a test not yet saved: Cancel, and a save that
    // did not happen, keep the station running with the test; Yes writes it, then ends.
    void exitAsksBeforeAnUnsavedTestIsLost() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        f.station().test.repetitionCount = 2;
        f.station().test.saved = 0;
        int closings = 0;
        QObject::connect(&f.frame(), &MainWindow::closing, [&] { ++closings; });
        const std::vector<std::string> asked{"ask yes/no/cancel: Data not saved. Save?"};

        f.dialogs.yesNoCancelAnswers = {Answer::Cancel};
        f.frame().action(cmd::kAppExit)->trigger();
        QVERIFY(f.frame().isVisible());
        QCOMPARE(closings, 0);  // the settings are written when the station ends
        QCOMPARE(f.dialogs.log, asked);

        // Yes, and the save dialog cancelled: nothing was written, so nothing ends.
        f.dialogs.log.clear();
        f.dialogs.yesNoCancelAnswers = {Answer::Yes};
        QVERIFY(!f.frame().close());
        QVERIFY(f.frame().isVisible());
        QCOMPARE(closings, 0);
        QCOMPARE(f.station().test.saved, 0);

        // Yes and a file: written, then the station ends.
        const std::string kept = f.filePath("kept.kvq");
        f.dialogs.yesNoCancelAnswers = {Answer::Yes};
        f.dialogs.saveAnswers = {kept};
        f.frame().action(cmd::kAppExit)->trigger();
        QVERIFY(!f.frame().isVisible());
        QCOMPARE(closings, 1);
        QVERIFY(exists(kept));
        QVERIFY(exists(f.settingsPath()));
    }

    void exitStopsARunningAcquisition() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start({QStringLiteral("--simulate")}));
        AcquisitionControl control;
        control.prepare(f.station().test.repetitions[0]);
        QVERIFY(f.app->link()->startAcquisition(control));
        QTRY_VERIFY_WITH_TIMEOUT(control.storedCount() > 10, 5000);  // the box streams
        f.frame().action(cmd::kAppExit)->trigger();
        // The reader is gone before anything of the station is: nothing more is stored.
        QVERIFY(!f.app->link()->linkActive());
        const int stored = control.storedCount();
        QTest::qWait(50);
        QCOMPARE(control.storedCount(), stored);
        QCOMPARE(QFileInfo(QString::fromStdString(f.settingsPath())).size(), qint64(96));
    }

    void foreignSettingsFileIsReplacedAtExit() {
        StationFixture f;
        QFile foreign(QString::fromStdString(f.settingsPath()));
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write(QByteArray("SomeOtherTool01") + QByteArray(81, '\x7f'));
        foreign.close();

        QVERIFY(f.start());
        QCOMPARE(f.dialogs.log, std::vector<std::string>{"message: Incompatible data"});
        // Defaults kept, Extended among them: the register is initialised.
        QCOMPARE(f.station().settings, StationSettings{});
        // Initialised once (the start then asks whom the next test is for).
        QCOMPARE(f.library.calls.front().rfind("initialise ", 0), size_t(0));
        QCOMPARE(std::count_if(f.library.calls.begin(), f.library.calls.end(),
                               [](const std::string& c) { return c.starts_with("initialise"); }),
                 1);

        f.frame().action(cmd::kAppExit)->trigger();
        const QByteArray bytes = readAll(f.settingsPath());
        QCOMPARE(bytes.size(), 96);
        QVERIFY(bytes.startsWith("VantaCheck_V1.1"));
    }

    void registerIsInitialisedOnlyInExtendedMode() {
        {
            StationFixture f;
            f.writeSettings(1);
            QVERIFY(f.start());
            // The data root: the program's directory <root>/a/b/prog without its last two
            // components, + DATA.
            const std::string root = QDir(f.root.path()).filePath(QStringLiteral("a/DATA")).toStdString();
            // Initialised once, first; then asked whom the next test is for.
            QCOMPARE(QString::fromStdString(f.library.calls.front()), QString::fromStdString("initialise " + root + " VANCHECK"));
            QCOMPARE(std::count_if(f.library.calls.begin(), f.library.calls.end(),
                                   [](const std::string& c) { return c.starts_with("initialise"); }),
                     1);
        }
        {
            StationFixture f;
            f.writeSettings(0);
            QVERIFY(f.start());
            QVERIFY(f.library.calls.empty());
            // Switching to Extended is kept for the next start; the register is not
            // initialised now.
            f.dialogs.modeToChoose = 1;
            f.frame().action(cmd::kSubjectInfoSetup)->trigger();
            QCOMPARE(f.station().settings.subjectLibraryMode, uint8_t(1));
            QVERIFY(f.library.calls.empty());
            f.frame().action(cmd::kAppExit)->trigger();
            StationSettings read;
            loadSettings(f.settingsPath(), read);
            QCOMPARE(read.subjectLibraryMode, uint8_t(1));
        }
    }

    void stationKeepsItsSubjectsInTheRegister() {
        StationFixture f;
        f.injectLibrary = false;
        QVERIFY(f.start());  // Extended: the register is opened below the data root
        const QString registerFile = QDir(f.root.path()).filePath(QStringLiteral("a/DATA/subjects.sqlite"));
        QVERIFY(QFileInfo::exists(registerFile));
        QVERIFY(!f.app->subjectLibrary().hasCurrentSubject());
        QVERIFY(f.dialogs.log.empty());
    }

    void namedFileOnlyTitlesTheDocument() {
        StationFixture f;
        f.writeSettings(0);
        const std::string path = f.writeTestFileWith(2, "named.kvq");
        QVERIFY(f.start({QString::fromStdString(path)}));
        QCOMPARE(f.frame().windowTitle(), QStringLiteral("named.kvq - Vanta Mero"));
        QCOMPARE(f.station().test.repetitionCount, 0);
        QCOMPARE(f.station().resultsAvailable, 0);
        QVERIFY(f.station().test.subject.name.empty());
        QVERIFY(!f.frame().action(cmd::kDigitalReport)->isEnabled());

        StationFixture missing;
        missing.writeSettings(0);
        QVERIFY(!missing.start({QString::fromStdString(missing.filePath("nowhere.kvq"))}));
        QCOMPARE(missing.dialogs.messages, std::vector<std::string>{"Error opening file"});
    }

    void unwritableProgramDirectoryUsesTheUsersFolder() {
        StationFixture f;
        const QString prog = f.programDirectory();
        if (::geteuid() == 0) {
            // Root writes everywhere: a program directory that cannot be written at all
            // stands in for the installed one.
            QVERIFY(QDir(prog).removeRecursively());
        } else {
            QVERIFY(QFile::setPermissions(prog, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }
        QVERIFY(f.start());
        const QString user = QDir(f.root.path()).filePath(QStringLiteral("user"));
        QCOMPARE(QString::fromStdString(f.station().paths.settingsPath), QDir(user).filePath("vantacheck.cfg"));
        QCOMPARE(QString::fromStdString(f.station().paths.dataDirectory), QDir(user).filePath("DATA"));
        QVERIFY(QFileInfo(QDir(user).filePath(QStringLiteral("DATA"))).isDir());
        f.frame().action(cmd::kAppExit)->trigger();
        QCOMPARE(QFileInfo(QDir(user).filePath(QStringLiteral("vantacheck.cfg"))).size(), qint64(96));
        QVERIFY(!exists(f.settingsPath()));
        if (QFileInfo::exists(prog))
            QFile::setPermissions(prog, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void recentFilesKeepFourNewestFirst() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        for (const char* name : {"r1.kvq", "r2.kvq", "r3.kvq", "r4.kvq", "r5.kvq", "r3.kvq"})
            f.app->profile().addRecentFile(QString::fromStdString(f.filePath(name)));
        QSettings store(QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("vanta_check"));
        QCOMPARE(store.value(QStringLiteral("Recent File List/File1")).toString(),
                 QString::fromStdString(f.filePath("r3.kvq")));
        QCOMPARE(store.value(QStringLiteral("Recent File List/File4")).toString(),
                 QString::fromStdString(f.filePath("r2.kvq")));
        QVERIFY(!store.contains(QStringLiteral("Recent File List/File5")));
        ProfileStore reread;
        reread.load();
        QCOMPARE(reread.recentFiles().size(), 4);
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
