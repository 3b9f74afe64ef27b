// vantacheck: the station window.
//   vantacheck [test file] [--simulate]
// A named file only titles the document; tests are read with File > Open.
#include <QApplication>

#include <cstdio>

#include "app/main_window.h"
#include "app/qt_operator_dialogs.h"
#include "app/station_app.h"

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    vanta::QtOperatorDialogs dialogs;

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    for (const QString& unknown : vanta::parseCommandLine(arguments).unknown)
        std::fprintf(stderr, "vantacheck: ignored argument %s\n", qPrintable(unknown));

    // The application object keeps the subject library on the station's subject register.
    vanta::StationApp app(dialogs);
    if (!app.initInstance(arguments)) return 1;
    dialogs.setParentWindow(app.frame());
    return qtApp.exec();
}
