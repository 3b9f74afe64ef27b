// What the profile's and the history's drawings share: their sizes on screen and on
// paper, the tick step of a value axis, and a width estimate for a line of text, so
// that both lay out their labels alike and neither cuts a text off.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "canvas/draw_context.h"

namespace vanta {

// Sizes in logical units (pixels on screen, 0.1 mm on paper).
struct PlotMetrics {
    int font;    // character height of numbers, table cells and lines
    int small;   // tick labels, column titles
    int row;     // one line of text
    int marker;  // half the size of a point's marker
    int tick;
    int pen;
};

PlotMetrics plotMetricsFor(const DrawContext& dc);

// Tick step of 1, 2 or 5 times a power of ten, about `count` steps over the span.
double niceStep(double span, int count);

// The width a line of text takes in Arial of `height`, a little more than it really
// takes: DrawContext cannot measure, and a layout that keeps this much room never has a
// text cut off or running into its neighbour. Counts characters, not bytes.
int textWidthEstimate(std::string_view utf8, int height, bool bold = false);

// The text broken at spaces into lines of at most `width`; a word wider than the width
// stands on a line of its own.
std::vector<std::string> wrapText(std::string_view utf8, int width, int height, bool bold = false);

}  // namespace vanta
