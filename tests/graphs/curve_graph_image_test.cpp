// The curve graph of a long window drawn per plot column against the same graph drawn
// segment by segment, both painted into images: the two pictures must be the same to the
// eye, no more than one pixel apart in any column.
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <memory>

#include "canvas/qpainter_draw_context.h"
#include "core/analysis.h"
#include "core/demo_test.h"
#include "core/trunk_motion.h"
#include "graphs/curve_graph_renderer.h"
#include "graphs/graph_layout.h"

namespace vanta {
namespace {

QImage paint(const TestRecord& test, const GraphSettings& settings, GraphViewState view, CurveDrawing how) {
    QImage img(800, 600, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    QPainterDrawContext dc(p);
    CurveGraphRenderer(how).draw(dc, kPlotRect, test, settings, view);
    return img;
}

// The largest number of differing pixels in any one column of the two images.
int worstColumn(const QImage& a, const QImage& b) {
    int worst = 0;
    for (int x = 0; x < a.width(); ++x) {
        int differing = 0;
        for (int y = 0; y < a.height(); ++y) differing += a.pixel(x, y) != b.pixel(x, y);
        worst = std::max(worst, differing);
    }
    return worst;
}

void expectSamePicture(const TestRecord& test, const GraphSettings& settings, const GraphViewState& view) {
    const QImage columns = paint(test, settings, view, CurveDrawing::Auto);
    const QImage segments = paint(test, settings, view, CurveDrawing::SegmentBySegment);
    EXPECT_LE(worstColumn(columns, segments), 1);
    // The comparison sees the curves at all: the plot is not blank.
    int ink = 0;
    for (int x = 61; x < 690; ++x) ink += columns.pixel(x, 400) != qRgb(255, 255, 255);
    EXPECT_GT(ink, 0);
}

TEST(CurveGraphImage, ColumnDrawingOfALongWindowLooksLikeEverySegment) {
    auto test = std::make_unique<TestRecord>();
    fillDemoTest(*test, {1, kMaxSamples, 5});
    analyseRepetition(*test, 0);
    GraphSettings settings;
    GraphViewState view;
    view.y1 = 0;  // velocity
    view.y2 = 3;  // force: noisy, a tall column wherever the subject moves
    showRepetition(view, *test, 0);
    expectSamePicture(*test, settings, view);

    // Noise over the whole window in both curves on the same axes: every column spans
    // much of the plot and the two curves cross in every one of them.
    SeededNoise noise(11);
    for (int i = 0; i < kMaxSamples; ++i) {
        test->series[0].writable(SeriesAngularVelocity)[i] = static_cast<float>(200.0 * noise.gaussian());
        test->series[0].writable(SeriesLinearVelocity)[i] = static_cast<float>(200.0 * noise.gaussian());
    }
    view.y2 = 2;
    settings.autoscale = 1;
    settings.axisMin[2] = settings.axisMin[0];
    settings.axisMax[2] = settings.axisMax[0];
    expectSamePicture(*test, settings, view);
}

// The clip reaches the device: with fixed axes of 0..5 degrees for a stroke of tens of
// degrees, no pixel of the left curve lies outside the plot rectangle (edges included) on
// screen or on paper (y up, 1 unit = 1 pixel at 254 dpi), yet the curve is drawn inside.
TEST(CurveGraphImage, CurvesStayInsideThePlotOnScreenAndPaper) {
    auto test = std::make_unique<TestRecord>();
    fillDemoTest(*test, {1, 3000, 5});
    analyseRepetition(*test, 0);
    GraphSettings settings;
    settings.autoscale = 1;
    settings.axisMin[1] = 0;
    settings.axisMax[1] = 5;
    GraphViewState view;
    view.y1 = 1;  // position
    view.y2 = 3;
    showRepetition(view, *test, 0);
    const QRgb curve = qRgb(kLeftCurveColor.r, kLeftCurveColor.g, kLeftCurveColor.b);
    for (bool paper : {false, true}) {
        QImage img(paper ? 1900 : 800, paper ? 1500 : 700, QImage::Format_RGB32);
        img.fill(Qt::white);
        {
            QPainter p(&img);
            QPainterDrawContext dc = paper ? QPainterDrawContext(p, 254.0, 254.0) : QPainterDrawContext(p);
            CurveGraphRenderer().draw(dc, paper ? kPaperPlotRect : kPlotRect, *test, settings, view);
        }
        // The plot in image pixels, its edges included.
        const QRect plot = paper ? QRect(QPoint(200, 750), QPoint(1600, 1350)) : QRect(QPoint(60, 280), QPoint(690, 540));
        int inside = 0, outside = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) == curve) ++(plot.contains(x, y) ? inside : outside);
        EXPECT_GT(inside, 100) << (paper ? "paper" : "screen");
        EXPECT_EQ(outside, 0) << (paper ? "paper" : "screen");
    }
}

}  // namespace
}  // namespace vanta
