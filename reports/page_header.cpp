#include "reports/page_header.h"

#include <cstdio>
#include <ctime>

namespace vanta {

std::string formatTime(int64_t value, const char* pattern) {
    if (!pattern) return std::string();
    const std::time_t t = static_cast<std::time_t>(value);
    std::tm local{};
    if (!localtime_r(&t, &local)) return std::string();
    // 127 characters and the terminating zero: a longer result is a failure, not a cut.
    char buffer[128];
    const size_t n = std::strftime(buffer, sizeof buffer, pattern, &local);
    return std::string(buffer, n);
}

PageHeaderTexts pageHeaderTexts(const std::string& name, int64_t testTime, double loadMass, int repetition) {
    PageHeaderTexts texts;
    texts.left = "Name: " + name;
    // "%5.2f" follows the numeric locale the station adopted at start, as every number
    // the operator reads does.
    char tail[64];
    std::snprintf(tail, sizeof tail, "    Weight: %5.2f No:%2lld", loadMass, static_cast<long long>(repetition) + 1);
    texts.right = "Date: " + formatTime(testTime, "%d.%m.%Y") + "  at  " + formatTime(testTime, "%H:%M:%S") + tail;
    return texts;
}

PageHeaderTexts pageHeaderTexts(const TestRecord& test, int repetition) {
    const bool inRecord = repetition >= 0 && repetition < kMaxRepetitions;
    const double load = inRecord ? test.repetitions[static_cast<size_t>(repetition)].loadMass : 0.0;
    return pageHeaderTexts(test.subject.name, test.testTime, load, repetition);
}

void drawPageHeader(DrawContext& dc, int left, int top, int right, int bottom, const TestRecord& test,
                    int repetition) {
    drawPageHeader(dc, left, top, right, bottom, pageHeaderTexts(test, repetition));
}

void drawPageHeader(DrawContext& dc, int left, int top, int right, int bottom, const PageHeaderTexts& texts) {
    dc.rectangle(Rect{left, top, right, bottom});

    const bool paper = dc.isPrinting();
    // 12 px on screen; 30 units (3 mm) on paper, the size of every printed text line.
    const Font previous = dc.selectFont(Font{"Arial", paper ? 30 : 12, 400});

    // A name too long for its half ends in "…" a little before the date, rather than
    // running into "Date:" as if the two were one text.
    const int mid = left + (right - left) / 2;
    if (paper) {
        dc.textElided(Rect{left + 30, top - 20, mid, bottom}, texts.left, TextAlign::Left);
        dc.text(Rect{mid + 30, top - 20, right, bottom}, texts.right, TextAlign::Left);
    } else {
        dc.textElided(Rect{left + 10, top + 4, mid, bottom - 2}, texts.left, TextAlign::Left);
        dc.text(Rect{mid + 10, top + 4, right, bottom - 2}, texts.right, TextAlign::Left);
    }
    dc.selectFont(previous);
}

}  // namespace vanta
