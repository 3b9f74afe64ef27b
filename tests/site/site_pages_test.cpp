// The SVG context's file and the athlete page's pictures: texts escaped, what lies outside
// the picture left out, clipping kept; a page's plots are the History and Profile screens'
// plots, without the texts the page shows as HTML.
#include <gtest/gtest.h>

#include <string>

#include "canvas/svg_draw_context.h"
#include "history/history.h"
#include "profile/profile.h"
#include "site/site_pages.h"

namespace vanta {
namespace {

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(SvgDrawContext, TextsAreEscapedAndOnlyWhatShowsIsWritten) {
    SvgDrawContext dc(Rect{100, 0, 200, 50}, "t");
    dc.text(Rect{110, 10, 190, 30}, "<script>alert('x')</script> & \"q\"", TextAlign::Left);
    dc.line(0, 10, 99, 10);    // wholly left of the picture
    dc.line(0, 20, 150, 20);   // into it
    dc.text(Rect{0, 0, 90, 20}, "outside", TextAlign::Left);
    const std::string svg = dc.svg("a <label>");
    EXPECT_EQ(svg.find("<script"), std::string::npos);
    EXPECT_NE(svg.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;"), std::string::npos);
    EXPECT_NE(svg.find("aria-label=\"a &lt;label&gt;\""), std::string::npos);
    EXPECT_EQ(svg.find("outside"), std::string::npos);
    EXPECT_EQ(count(svg, "<line "), 1u);
    EXPECT_NE(svg.find("x2=\"150\""), std::string::npos);
    EXPECT_NE(svg.find("viewBox=\"100 0 100 50\""), std::string::npos);
}

TEST(SvgDrawContext, ClipAndDashesAsAPainterDrawsThem) {
    SvgDrawContext dc(Rect{0, 0, 100, 100}, "c");
    dc.clipTo(Rect{10, 10, 50, 50});
    dc.selectPen(Pen{kRed, 2, PenStyle::Dash});
    dc.line(0, 0, 100, 100);
    dc.line(60, 60, 90, 90);  // wholly outside the clip: nothing shows
    dc.clipOff();
    dc.line(0, 5, 100, 5);
    const std::string svg = dc.svg("clip");
    // The clip's edges belong to it: 41 units wide from 10 to 50.
    EXPECT_NE(svg.find("<clipPath id=\"c-c1\"><rect x=\"10\" y=\"10\" width=\"41\" height=\"41\"/>"), std::string::npos);
    EXPECT_NE(svg.find("<g clip-path=\"url(#c-c1)\">\n<line x1=\"0\" y1=\"0\" x2=\"100\" y2=\"100\" stroke=\"#ff0000\" "
                       "stroke-width=\"2\" stroke-dasharray=\"8 4\"/>\n</g>\n<g>\n<line x1=\"0\" y1=\"5\""),
              std::string::npos)
        << svg;
    EXPECT_EQ(dc.elementCount(), 2);
}

// Three weekly tests at 10 kg, two attempts a side each.
site::AthleteData athlete() {
    std::vector<HistoryTestAttempts> tests;
    const double powers[3][2] = {{100, 104}, {110, 113}, {130, 128}};
    for (int t = 0; t < 3; ++t) {
        HistoryTestAttempts h;
        h.file = "t" + std::to_string(t);
        h.testTime = 1767225600 + t * 7 * 86400;
        for (double p : powers[t])
            for (int dir : {-1, 1}) h.attempts.push_back(HistoryAttempt{dir, 10.0, true, p + dir});
        tests.push_back(h);
    }
    site::AthleteData a;
    a.key = "k";
    a.name = "Ann";
    a.history = buildHistory(tests, a.name, false);
    for (const HistoryTestAttempts& h : tests) {
        archive::IndexedTest it;
        it.path = h.file;
        it.testTime = h.testTime;
        a.tests.push_back(it);
    }
    a.latestDayTests = a.last30Tests = 1;
    return a;
}

TEST(AthletePage, PlotsAreTheHistoryScreensWithoutItsTexts) {
    const std::string page = site::athletePage(athlete());
    // One picture per side at the one load, each of its own side.
    EXPECT_EQ(count(page, "<svg "), 2u + 2u);  // and the two profiles
    EXPECT_EQ(count(page, ">left: mean peak power (W)</text>"), 1u);
    EXPECT_EQ(count(page, ">right: mean peak power (W)</text>"), 1u);
    // The screen's heading, hint, table and change lines are not in the pictures.
    EXPECT_EQ(page.find(">History of Ann"), std::string::npos);
    EXPECT_EQ(page.find("More below"), std::string::npos);
    EXPECT_EQ(page.find(">Best W</text>"), std::string::npos);
    EXPECT_EQ(page.find(">Changes of the mean peak power</text>"), std::string::npos);
    // Each change once, in the page's table.
    EXPECT_EQ(count(page, "data-kind=\"consecutive\""), 4u);
    EXPECT_EQ(count(page, "data-kind=\"firstToLatest\""), 2u);
}

}  // namespace
}  // namespace vanta
