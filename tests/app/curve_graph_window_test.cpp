// The curve graph screen in the window (the bar's buttons, the mouse, Graph setup) and the
// axes settings dialog, on the offscreen platform. What the graph draws, number for number,
// is tested in tests/graphs; what its commands do, in tests/station.
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "app/dialog_bar.h"
#include "app/screens/axes_dialog.h"
#include "app/station_view.h"
#include "station/command_ids.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

// Black pixels in one column of the plot, between its top and bottom edges.
int blackInColumn(const QImage& image, int x) {
    int n = 0;
    for (int y = 281; y < 540; ++y) n += image.pixelColor(x, y) == QColor(Qt::black);
    return n;
}

void click(DialogBar* bar, int id) {
    auto* button = qobject_cast<QPushButton*>(bar->control(id));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace

class CurveGraphWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void cursorsZoomAndGraphSetup() {
        StationFixture f;
        f.writeSettings(0);
        const std::string path = f.writeTestFileWith(2);
        QVERIFY(f.start());
        f.dialogs.openAnswers.push_back(path);
        f.frame().action(cmd::kFileOpen)->trigger();
        f.frame().action(cmd::kCurveGraph)->trigger();
        QCOMPARE(f.station().viewMode, int(kViewCurveGraph));
        DialogBar* bar = f.frame().currentBar();
        QVERIFY(bar);
        QCOMPARE(bar->templateId(), 140);

        StationView& view = f.frame().view();
        view.grab();  // the first paint leaves the scales the mouse picks with
        const GraphViewState& g = view.screens().curveGraph().graph();
        const int span = g.windowEnd - g.windowStart;
        QVERIFY(span > 100);

        // Five presses of XL ">>" put the cursor line five samples in.
        for (int i = 0; i < 5; ++i) click(bar, cmd::kCursorLeftRight);
        QCOMPARE(g.cursorLeft, g.windowStart + 5);
        const int xl = 60 + 5 * 630 / span;
        QVERIFY(blackInColumn(view.grab().toImage(), xl) > 200);

        // The right button sets XR under the pointer, the left one XL.
        QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(400, 400));
        const int xr = g.cursorRight;
        QCOMPARE(xr, g.windowStart + static_cast<int>(340 / g.xScale));
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(200, 400));
        QCOMPARE(g.cursorLeft, g.windowStart + static_cast<int>(140 / g.xScale));

        // Zoom: the cursor lines lie on the frame's sides.
        click(bar, cmd::kZoom);
        QCOMPARE(g.windowStart, g.cursorLeft);
        QCOMPARE(g.windowEnd, xr);
        const QImage zoomed = view.grab().toImage();
        QVERIFY(blackInColumn(zoomed, 60) > 250);
        QVERIFY(blackInColumn(zoomed, 690) > 250);

        // Graph setup on this screen: the dialog's values are in force at the next paint.
        GraphSettings entered = f.station().settings.graph;
        entered.autoscale = 1;
        f.dialogs.graphSettingsToEnter = entered;
        f.frame().action(cmd::kGraphSetup)->trigger();
        QVERIFY(f.dialogs.asked("graph setup"));
        QCOMPARE(f.station().settings.graph.autoscale, 1);
    }

    void axesDialog() {
        QStringList messages;
        GraphSettings settings;
        AxesDialog dlg(settings);
        dlg.setMessageHook([&](QWidget*, const QString& text) { messages << text; });
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Y-axes settings & Graph options"));
        const int ids[15] = {1002, 1003, 1004, 1017, 1018, 1019, 1005, 1006, 1007, 1011, 1012, 1013, 1014, 1015, 1016};
        const char* shown[15] = {"-100", "300", "50", "-90", "270", "50", "-100", "400", "100",
                                 "-200", "1000", "100", "-200", "2000", "200"};
        for (int k = 0; k < 15; ++k) QCOMPARE(dlg.field(ids[k])->text(), QString::fromLatin1(shown[k]));
        QVERIFY(dlg.findChild<QRadioButton*>(QStringLiteral("1078"))->isChecked());

        // MAX and STEP take digits only; MIN takes anything, and OK refuses it.
        QTest::keyClicks(dlg.field(1003), "a-7");
        QCOMPARE(dlg.field(1003)->text(), QStringLiteral("3007"));
        dlg.field(1017)->selectAll();
        QTest::keyClicks(dlg.field(1017), "x5");
        QCOMPARE(dlg.field(1017)->text(), QStringLiteral("x5"));
        dlg.findChild<QRadioButton*>(QStringLiteral("1027"))->setChecked(true);
        dlg.accept();
        // The field is named apart from the fixed text: row and column.
        QCOMPARE(messages, QStringList{QStringLiteral("Please enter an integer.\nPosition (deg), MIN")});
        QCOMPARE(dlg.focusWidget(), dlg.field(1017));
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.settings(), settings);

        dlg.field(1017)->setText(QStringLiteral("-45"));
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.settings().axisMax[0], 3007);
        QCOMPARE(dlg.settings().axisMin[1], -45);
        QCOMPARE(dlg.settings().autoscale, 1);

        // Cancel after editing changes nothing.
        QTimer::singleShot(0, [] {
            auto* open = qobject_cast<AxesDialog*>(QApplication::activeModalWidget());
            QVERIFY(open);
            open->field(1015)->setText(QStringLiteral("5"));
            open->reject();
        });
        GraphSettings kept = settings;
        QVERIFY(!AxesDialog::edit(kept));
        QCOMPARE(kept, settings);
    }
};

QTEST_MAIN(CurveGraphWindowTest)
#include "curve_graph_window_test.moc"
