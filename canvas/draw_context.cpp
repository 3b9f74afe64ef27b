#include "canvas/draw_context.h"

namespace vanta {

Pen DrawContext::selectPen(const Pen& pen) {
    Pen previous = state_.pen;
    state_.pen = pen;
    return previous;
}

Brush DrawContext::selectBrush(const Brush& brush) {
    Brush previous = state_.brush;
    state_.brush = brush;
    return previous;
}

Font DrawContext::selectFont(const Font& font) {
    Font previous = state_.font;
    state_.font = font;
    return previous;
}

Color DrawContext::setTextColor(Color color) {
    Color previous = state_.textColor;
    state_.textColor = color;
    return previous;
}

void DrawContext::clipTo(const Rect& r) { state_.clip = r; }

void DrawContext::clipOff() { state_.clip.reset(); }

void DrawContext::save() { saved_.push_back(state_); }

void DrawContext::restore() {
    // An unbalanced restore must not pop what is not there; the selection simply stays.
    if (saved_.empty()) return;
    state_ = saved_.back();
    saved_.pop_back();
}

}  // namespace vanta
