// The Profile screen in the window: Report > "Profile" after a test is opened, drawn in the
// sides' colours, and Setup > "Swap left and right" checked with the setting. What the
// profile draws and computes is tested in tests/profile and tests/station.
#include <QAction>
#include <QImage>
#include <QMenu>
#include <QTest>

#include "app/station_view.h"
#include "profile/profile_drawing.h"
#include "station/command_ids.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

int pixelsOf(const QImage& image, Color c) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == QColor(c.r, c.g, c.b);
    return n;
}

}  // namespace

class ProfileWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void reportProfileAndSwappedSides() {
        StationFixture f;
        // A box mounted the other way round, as the settings file of the last run says.
        StationSettings settings;
        settings.subjectLibraryMode = 0;
        settings.sidesSwapped = 1;
        QVERIFY(saveSettings(f.settingsPath(), settings));
        const std::string path = f.writeTestFileWith(2);  // one stroke to each side
        QVERIFY(f.start());
        QAction* profile = f.frame().action(cmd::kProfile);
        QVERIFY(profile);
        QVERIFY(f.frame().menu(QStringLiteral("Report"))->actions().contains(profile));
        QVERIFY(!profile->isEnabled());

        f.dialogs.openAnswers.push_back(path);
        f.frame().action(cmd::kFileOpen)->trigger();
        QVERIFY(profile->isEnabled());
        profile->trigger();
        QCOMPARE(f.station().viewMode, int(kViewProfile));
        const QImage image = f.frame().view().grab().toImage();
        QVERIFY(pixelsOf(image, kLeftSideColor) > 50);
        QVERIFY(pixelsOf(image, kRightSideColor) > 50);

        QAction* swap = f.frame().action(cmd::kSwapSides);
        QVERIFY(f.frame().menu(QStringLiteral("Setup"))->actions().contains(swap));
        QVERIFY(swap->isChecked());
        swap->trigger();
        QCOMPARE(int(f.station().settings.sidesSwapped), 0);
        QVERIFY(!swap->isChecked());
        swap->trigger();
        QCOMPARE(int(f.station().settings.sidesSwapped), 1);
        QVERIFY(swap->isChecked());
    }
};

QTEST_MAIN(ProfileWindowTest)
#include "profile_window_test.moc"
