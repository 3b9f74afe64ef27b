#include "canvas/qpainter_draw_context.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "reports/page_header.h"

namespace vanta {
namespace {

// An image whose device resolution is `dpi`, filled white.
QImage blankImage(int w, int h, int dpi = 96) {
    QImage img(w, h, QImage::Format_RGB32);
    const int dotsPerMeter = static_cast<int>(dpi / 0.0254 + 0.5);
    img.setDotsPerMeterX(dotsPerMeter);
    img.setDotsPerMeterY(dotsPerMeter);
    img.fill(Qt::white);
    return img;
}

bool isInk(QRgb c) { return qGray(c) < 128; }

// The smallest rectangle holding every dark pixel (empty when there is none).
QRect inkBounds(const QImage& img) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (isInk(img.pixel(x, y))) box |= QRect(x, y, 1, 1);
    return box;
}

TEST(QPainterDrawContext, PaperUnitsAreTenthsOfAMillimetreWithYUp) {
    QImage img = blankImage(10, 10, 600);
    QPainter p(&img);
    QPainterDrawContext dc = QPainterDrawContext::forPaper(p);
    EXPECT_TRUE(dc.isPrinting());
    // 254 units are one inch: 600 device pixels at 600 dpi; y up on the page is down
    // on the device.
    EXPECT_EQ(dc.toDevice(Point{254, -508}), QPointF(600, 1200));
    EXPECT_EQ(dc.toDevice(Point{0, 0}), QPointF(0, 0));
    EXPECT_EQ(dc.toDevice(Rect{0, -160, 1800, -300}), QRectF(0, 160 * 600 / 254.0, 1800 * 600 / 254.0, 140 * 600 / 254.0));
    // The printed texts are 3 mm high: 30 units are about 71 pixels at 600 dpi.
    EXPECT_EQ(dc.fontPixelSize(30), 71);
    p.end();

    QImage screenImg = blankImage(10, 10);
    QPainter q(&screenImg);
    QPainterDrawContext screen(q);
    EXPECT_FALSE(screen.isPrinting());
    EXPECT_EQ(screen.toDevice(Point{254, -508}), QPointF(254, -508));
    EXPECT_EQ(screen.fontPixelSize(12), 12);
}

TEST(QPainterDrawContext, PaperRectangleLandsWhereThePageUnitsSay) {
    // At 127 dpi one unit is half a pixel: the rectangle 200, -100, 600, -300 fills
    // device x 100..300 and y 50..150.
    QImage img = blankImage(400, 200, 127);
    {
        QPainter p(&img);
        QPainterDrawContext dc(p, 127, 127);
        dc.selectPen(Pen{kBlack, 1, PenStyle::None});
        dc.selectBrush(Brush{kBlack, BrushStyle::Solid});
        dc.rectangle(Rect{200, -100, 600, -300});
    }
    EXPECT_EQ(inkBounds(img), QRect(QPoint(100, 50), QPoint(299, 149)));
}

// "Name" drawn in the same device rectangle on screen and on paper, at 254 dpi where a
// paper unit is exactly one pixel: the glyphs must come out the same, not mirrored.
TEST(QPainterDrawContext, PaperTextIsUprightLikeScreenText) {
    const Font font{"Arial", 30, 400};
    QImage onScreen = blankImage(300, 80, 254);
    {
        QPainter p(&onScreen);
        QPainterDrawContext dc(p);
        dc.selectFont(font);
        dc.text(Rect{10, 10, 290, 70}, "Name", TextAlign::Left);
    }
    QImage onPaper = blankImage(300, 80, 254);
    {
        QPainter p(&onPaper);
        QPainterDrawContext dc(p, 254, 254);
        dc.selectFont(font);
        dc.text(Rect{10, -10, 290, -70}, "Name", TextAlign::Left);
    }
    const QRect ink = inkBounds(onPaper);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GT(ink.height(), 15);  // a 30 px font: "N" stands about 21 px tall
    EXPECT_EQ(onPaper, onScreen);
    EXPECT_NE(onPaper, onScreen.mirrored(false, true));
    EXPECT_NE(onPaper, onScreen.mirrored(true, false));
    // Left-aligned and vertically centred in the rectangle.
    EXPECT_LT(ink.left(), 16);
    EXPECT_NEAR(ink.center().y(), 40, 6);
}

TEST(QPainterDrawContext, TextFollowsAlignmentAndTextColour) {
    QImage img = blankImage(400, 40);
    {
        QPainter p(&img);
        QPainterDrawContext dc(p);
        dc.setTextColor(kRed);
        dc.selectFont(Font{"Arial", 16, 400});
        dc.text(Rect{0, 0, 400, 40}, "Page: 1/1", TextAlign::Right);
        // The pen is untouched by the text colour.
        dc.line(0, 39, 10, 39);
    }
    QRect red;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 400; ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 100) red |= QRect(x, y, 1, 1);
        }
    ASSERT_FALSE(red.isEmpty());
    EXPECT_GT(red.left(), 250);
    EXPECT_GE(red.right(), 390);
    EXPECT_EQ(img.pixelColor(5, 39), QColor(Qt::black));
}

// A label wider than its rectangle: text() cuts it at the rectangle's edges, textUnclipped()
// lets it run out on both sides of a centred rectangle, so axis numbers and titles stay whole.
TEST(QPainterDrawContext, UnclippedTextRunsOutOfItsRectangle) {
    const Rect narrow{180, 0, 220, 40};
    auto draw = [&](bool clipped) {
        QImage img = blankImage(400, 40);
        QPainter p(&img);
        QPainterDrawContext dc(p);
        dc.selectFont(Font{"Arial", 16, 400});
        if (clipped)
            dc.text(narrow, "velocity (deg/s)", TextAlign::Center);
        else
            dc.textUnclipped(narrow, "velocity (deg/s)", TextAlign::Center);
        p.end();
        return inkBounds(img);
    };
    const QRect cut = draw(true);
    const QRect whole = draw(false);
    EXPECT_GE(cut.left(), 180);
    EXPECT_LE(cut.right(), 219);
    EXPECT_LT(whole.left(), 160);
    EXPECT_GT(whole.right(), 240);

    // Dense curves are thinned to the device's own pixels: one per unit on a plain screen,
    // dpi / 254 on paper.
    QImage img = blankImage(10, 10, 600);
    QPainter p(&img);
    EXPECT_DOUBLE_EQ(QPainterDrawContext(p).devicePixelsPerUnit(), 1.0);
    EXPECT_DOUBLE_EQ(QPainterDrawContext(p, 600, 600).devicePixelsPerUnit(), 600 / 254.0);
}

// On screen (y down) a growing angle turns clockwise, so 0..90 degrees is the sector
// below and to the right of the centre; on paper (y up) it is above and to the right.
TEST(QPainterDrawContext, PieAnglesTurnWithTheLogicalYAxis) {
    QImage screenImg = blankImage(200, 200);
    {
        QPainter p(&screenImg);
        QPainterDrawContext dc(p);
        dc.selectBrush(Brush{kBlue, BrushStyle::Solid});
        dc.pie(Rect{0, 0, 200, 200}, 0.0, 90.0);
    }
    auto blue = [](const QImage& img, int x, int y) { return img.pixelColor(x, y) == QColor(0, 0, 255); };
    EXPECT_TRUE(blue(screenImg, 150, 150));
    EXPECT_FALSE(blue(screenImg, 150, 50));
    EXPECT_FALSE(blue(screenImg, 50, 150));

    QImage paperImg = blankImage(200, 200, 254);
    {
        QPainter p(&paperImg);
        QPainterDrawContext dc(p, 254, 254);
        dc.selectBrush(Brush{kBlue, BrushStyle::Solid});
        dc.pie(Rect{0, 0, 200, -200}, 0.0, 90.0);
    }
    EXPECT_TRUE(blue(paperImg, 150, 50));
    EXPECT_FALSE(blue(paperImg, 150, 150));
}

TEST(QPainterDrawContext, RestorePutsBackThePainterPen) {
    QImage img = blankImage(50, 20);
    {
        QPainter p(&img);
        QPainterDrawContext dc(p);
        dc.save();
        dc.selectPen(Pen{kRed, 1, PenStyle::Solid});
        dc.line(0, 5, 49, 5);
        dc.restore();
        dc.line(0, 15, 49, 15);
    }
    EXPECT_EQ(img.pixelColor(20, 5), QColor(Qt::red));
    EXPECT_EQ(img.pixelColor(20, 15), QColor(Qt::black));
}

// The page header drawn on a 300 dpi page: the band sits 16..30 mm below the top and
// the name starts 3 mm in from the left.
TEST(QPainterDrawContext, PageHeaderOnPaper) {
    setenv("TZ", "UTC", 1);
    tzset();
    auto test = std::make_unique<TestRecord>();
    test->subject.name = "Name";
    test->testTime = 1700000000;
    test->repetitions[0].loadMass = 5.0f;
    QImage img = blankImage(2200, 400, 300);
    {
        QPainter p(&img);
        QPainterDrawContext dc = QPainterDrawContext::forPaper(p);
        dc.selectBrush(Brush{kWhite, BrushStyle::Solid});
        drawPageHeader(dc, 0, -160, 1800, -300, *test, 0);
    }
    const double px = 300 / 254.0;
    // The outline's top and bottom edges.
    EXPECT_TRUE(isInk(img.pixel(1000, static_cast<int>(160 * px))));
    EXPECT_TRUE(isInk(img.pixel(1000, static_cast<int>(300 * px))));
    // Ink of the name begins just right of 30 units and none lies left of it inside.
    QImage inside = img.copy(QRect(QPoint(4, static_cast<int>(162 * px)), QPoint(static_cast<int>(900 * px), static_cast<int>(298 * px))));
    const QRect ink = inkBounds(inside);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR(ink.left() + 4, 30 * px, 8);
}

}  // namespace
}  // namespace vanta
