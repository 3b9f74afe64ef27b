// vantacheck: the station window.
//   vantacheck [test file] [--simulate]
// A named file only titles the document; tests are read with File > Open.
#include <QApplication>

#include <cstdio>

#include "app/main_frame.h"
#include "app/qt_operator_dialogs.h"
#include "app/vanta_check_app.h"

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    vanta::QtOperatorDialogs dialogs;
    // Integration point (subject register): the register-backed library replaces this.
    struct NoRegister : vanta::SubjectLibrary {
        void QpersInicA(const std::string&, const std::string&) override {}
        bool QSubjectDialog() override { return false; }
        bool QpersPlatny() override { return false; }
        void QpersNaplnSDA(vanta::SubjectInfo&) override {}
        void QpersKonvertSDA(vanta::SubjectInfo&) override {}
        void QpersDataNameA(int32_t, std::string&) override {}
        int QLoadDialog() override { return 1; }
        void QpersDirA(std::string&) override {}
        void QpersPodlaDatA(const std::string&) override {}
    } library;

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    for (const QString& unknown : vanta::parseCommandLine(arguments).unknown)
        std::fprintf(stderr, "vantacheck: ignored argument %s\n", qPrintable(unknown));

    vanta::CVanta_checkApp app(dialogs, library);
    if (!app.initInstance(arguments)) return 1;
    dialogs.setParentWindow(app.frame());
    return qtApp.exec();
}
