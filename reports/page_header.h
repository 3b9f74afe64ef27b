// The one-line identification of a test at the top of the idle, digital report and
// curve graph screens and of the first printed page: the subject's name on the left;
// the date and time of the test, the load and the repetition number on the right.
#pragma once

#include <cstdint>
#include <string>

#include "canvas/draw_context.h"
#include "core/records.h"

namespace vanta {

// Seconds since 1970-01-01 00:00 UTC in local time, formatted with a strftime pattern
// into at most 127 characters. A time that cannot be converted to local time, or a
// result that does not fit, gives the empty text. Takes 64 bits so that every 32-bit
// test time converts; the test time of a record is passed as it is.
std::string formatTime(int64_t value, const char* pattern);

struct PageHeaderTexts {
    std::string left;   // "Name: <name>"
    std::string right;  // "Date: <date>  at  <time>    Weight: <load> No:<r + 1>"
};

// The header texts for repetition `repetition` (the main view's current repetition
// index) of the test. A repetition index outside the record's capacity shows its number
// with a load of 0.00 rather than reading beyond the record.
PageHeaderTexts pageHeaderTexts(const TestRecord& test, int repetition);
// The same from the single values: the name, the test time, the load of repetition r, r.
PageHeaderTexts pageHeaderTexts(const std::string& name, int64_t testTime, double loadMass, int repetition);

// Draws the header into the rectangle (screen: pixels, y down, the view's 10, 5, 740, 30;
// paper: 0.1 mm, y up, 0, -160, 1800, -300): the rectangle outlined with the current pen
// and filled with the current brush, the two texts in Arial, 12 px on screen and 3 mm on
// paper, normal weight, in the current text colour. The selected font is put back.
void drawPageHeader(DrawContext& dc, int left, int top, int right, int bottom, const TestRecord& test,
                    int repetition);
// The same with texts taken earlier: a printout takes them when printing starts.
void drawPageHeader(DrawContext& dc, int left, int top, int right, int bottom, const PageHeaderTexts& texts);

}  // namespace vanta
