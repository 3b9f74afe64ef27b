// A station built for a test: a program directory of its own (settings file and DATA
// beside a pretend program file), scripted dialogs, a recording subject library, and the
// per-user store redirected into a temporary folder.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/station_app.h"
#include "core/analysis.h"
#include "core/demo_test.h"
#include "storage/settings_file.h"
#include "storage/test_file.h"
#include "tests/support/station_doubles.h"

namespace vanta::testing {

// Call once per test program, before anything opens the per-user store.
inline void redirectUserFolders(const QTemporaryDir& home) {
    qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", QDir(home.path()).filePath(QStringLiteral("data")).toUtf8());
}

struct StationFixture {
    QTemporaryDir root;
    ScriptedDialogs dialogs;
    RecordingLibrary library;
    std::unique_ptr<StationApp> app;

    // <root>/a/b/prog: the program's directory, two levels below the root.
    QString programSubdirectory = QStringLiteral("a/b/prog");
    QString programDirectory() const { return QDir(root.path()).filePath(programSubdirectory); }
    QString programFile() const { return QDir(programDirectory()).filePath(QStringLiteral("vantacheck")); }
    std::string settingsPath() const {
        return QDir(programDirectory()).filePath(QStringLiteral("vantacheck.cfg")).toStdString();
    }
    std::string dataDirectory() const { return QDir(programDirectory()).filePath(QStringLiteral("DATA")).toStdString(); }
    std::string filePath(const char* name) const { return QDir(root.path()).filePath(QString::fromLatin1(name)).toStdString(); }

    StationFixture() { QDir().mkpath(programDirectory()); }

    // Settings as a previous run left them (Abbreviated keeps the register out of the way).
    void writeSettings(uint8_t subjectLibraryMode) {
        StationSettings s;
        s.subjectLibraryMode = subjectLibraryMode;
        saveSettings(settingsPath(), s);
    }

    // false: the station keeps its own library on the subject register, as on site.
    bool injectLibrary = true;

    bool start(const QStringList& arguments = {}, bool show = true) {
        StartOptions options;
        options.programFile = programFile();
        options.userDataDirectory = QDir(root.path()).filePath(QStringLiteral("user"));
        options.showWindow = show;
        app = std::make_unique<StationApp>(dialogs, injectLibrary ? &library : nullptr, options);
        return app->initInstance(arguments);
    }

    Station& station() { return app->station(); }
    MainWindow& frame() { return *app->frame(); }
    CommandRouter& router() { return app->router(); }

    // A test file on disk: `repetitions` synthetic strokes, written by the station's writer.
    std::string writeTestFileWith(int repetitions, const char* name = "test.kvq", const char* subject = "Ann Lee") {
        auto test = std::make_unique<TestRecord>();
        DemoOptions options;
        options.repetitions = repetitions;
        fillDemoTest(*test, options);
        test->subject.name = subject;
        test->testTime = 1700000000;
        const std::string path = filePath(name);
        std::string error;
        if (!writeTestFile(path, *test, &error)) QTest::qFail(error.c_str(), __FILE__, __LINE__);
        return path;
    }
};

}  // namespace vanta::testing
