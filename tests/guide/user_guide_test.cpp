// The guide and the window agree: every menu item the command table gives the window is
// named in the guide as "Menu > Item", and About > "User guide" (and F1) hands the guide's
// start page to the desktop, the build's copy for a station in a build folder.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTest>

#include "app/station_view.h"
#include "station/command_ids.h"
#include "station/command_table.h"
#include "station/user_guide.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

QString guideText() {
    QString all;
    const QDir dir(QStringLiteral(VANTA_GUIDE_SOURCE));
    for (const QString& page : dir.entryList({QStringLiteral("*.md")}, QDir::Files)) {
        QFile f(dir.filePath(page));
        if (f.open(QIODevice::ReadOnly)) all += QString::fromUtf8(f.readAll()) + QLatin1Char('\n');
    }
    return all;
}

// A menu text as the operator reads it: no mnemonic, no shortcut, no "...".
QString plain(QString text) {
    text = text.section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
    if (text.endsWith(QStringLiteral("..."))) text.chop(3);
    return text;
}

}  // namespace

class UserGuideTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void everyMenuItemIsNamedInTheGuide() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start({}, false));
        const QString guide = guideText();
        QVERIFY(guide.size() > 1000);
        int named = 0;
        for (const CommandInfo& c : commandTable()) {
            QAction* a = f.frame().action(c.id);
            if (!a) continue;
            for (QAction* top : f.frame().menuBar()->actions()) {
                if (!top->menu() || !top->menu()->actions().contains(a)) continue;
                // "File > Print" must not be found inside "File > Print Preview".
                const QString name = plain(top->text()) + QStringLiteral(" > ") + plain(a->text());
                const QRegularExpression said(QRegularExpression::escape(name) + QStringLiteral("(?! ?[A-Za-z])"));
                if (!guide.contains(said)) QFAIL(qPrintable(QStringLiteral("The guide never names ") + name));
                ++named;
            }
        }
        QVERIFY(named >= 19);  // every item of the six menus
    }

    void userGuideOpensTheBuildsCopy() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        std::vector<std::string> opened;
        f.frame().view().setFileOpener([&](const std::string& path) {
            opened.push_back(path);
            return true;
        });
        QAction* guide = f.frame().action(cmd::kUserGuide);
        QVERIFY(guide);
        QVERIFY(f.frame().menu(QStringLiteral("About"))->actions().contains(guide));
        QCOMPARE(guide->shortcut(), QKeySequence(Qt::Key_F1));

        // Not made yet: the operator is told where it should be, and nothing is started.
        const std::string index = userGuideIndex(f.programDirectory().toStdString(), false);
        QCOMPARE(QString::fromStdString(index), QDir(f.root.path()).filePath(QStringLiteral("a/b/guide/html/index.html")));
        guide->trigger();
        QVERIFY(opened.empty());
        QCOMPARE(f.dialogs.messages.back(), std::string(kMsgUserGuideMissing));
        QCOMPARE(f.dialogs.details.back(), index);

        QVERIFY(QDir().mkpath(QFileInfo(QString::fromStdString(index)).absolutePath()));
        QFile page(QString::fromStdString(index));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();
        // The station program of this build finds the guide this build made.
        QVERIFY(QFileInfo::exists(QString::fromStdString(userGuideIndex(VANTA_STATION_DIR, false))));

        QVERIFY(QTest::qWaitForWindowActive(&f.frame()));
        QTest::keyClick(&f.frame(), Qt::Key_F1);
        QCOMPARE(opened, std::vector<std::string>{index});
    }
};

QTEST_MAIN(UserGuideTest)
#include "user_guide_test.moc"
