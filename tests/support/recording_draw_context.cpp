#include "tests/support/recording_draw_context.h"

#include <cstdio>

namespace vanta {

Rect DrawCall::rect() const {
    if (numbers.size() < 4) return Rect{};
    return Rect{numbers[0], numbers[1], numbers[2], numbers[3]};
}

DrawCall& RecordingDrawContext::record(DrawOp op, std::vector<int> numbers) {
    DrawCall call;
    call.op = op;
    call.numbers = std::move(numbers);
    call.state = state_;
    calls_.push_back(std::move(call));
    return calls_.back();
}

Pen RecordingDrawContext::selectPen(const Pen& pen) {
    Pen previous = DrawContext::selectPen(pen);
    record(DrawOp::SelectPen);
    return previous;
}

Brush RecordingDrawContext::selectBrush(const Brush& brush) {
    Brush previous = DrawContext::selectBrush(brush);
    record(DrawOp::SelectBrush);
    return previous;
}

Font RecordingDrawContext::selectFont(const Font& font) {
    Font previous = DrawContext::selectFont(font);
    record(DrawOp::SelectFont);
    return previous;
}

Color RecordingDrawContext::setTextColor(Color color) {
    Color previous = DrawContext::setTextColor(color);
    record(DrawOp::SetTextColor);
    return previous;
}

void RecordingDrawContext::save() {
    DrawContext::save();
    record(DrawOp::Save);
}

void RecordingDrawContext::restore() {
    DrawContext::restore();
    record(DrawOp::Restore);
}

void RecordingDrawContext::clipTo(const Rect& r) {
    DrawContext::clipTo(r);
    record(DrawOp::ClipTo, {r.left, r.top, r.right, r.bottom});
}

void RecordingDrawContext::clipOff() {
    DrawContext::clipOff();
    record(DrawOp::ClipOff);
}

void RecordingDrawContext::line(int x1, int y1, int x2, int y2) { record(DrawOp::Line, {x1, y1, x2, y2}); }

void RecordingDrawContext::polyline(std::span<const Point> points) {
    std::vector<int> numbers;
    numbers.reserve(points.size() * 2);
    for (const Point& p : points) {
        numbers.push_back(p.x);
        numbers.push_back(p.y);
    }
    record(DrawOp::Polyline, std::move(numbers));
}

void RecordingDrawContext::rectangle(const Rect& r) {
    record(DrawOp::Rectangle, {r.left, r.top, r.right, r.bottom});
}

void RecordingDrawContext::fillRect(const Rect& r, const Brush& brush) {
    record(DrawOp::FillRect, {r.left, r.top, r.right, r.bottom}).fill = brush;
}

void RecordingDrawContext::ellipse(const Rect& b) { record(DrawOp::Ellipse, {b.left, b.top, b.right, b.bottom}); }

void RecordingDrawContext::pie(const Rect& b, double startDeg, double sweepDeg) {
    DrawCall& call = record(DrawOp::Pie, {b.left, b.top, b.right, b.bottom});
    call.startDeg = startDeg;
    call.sweepDeg = sweepDeg;
}

void RecordingDrawContext::text(const Rect& r, std::string_view utf8, TextAlign align) {
    DrawCall& call = record(DrawOp::Text, {r.left, r.top, r.right, r.bottom});
    call.text = std::string(utf8);
    call.align = align;
}

void RecordingDrawContext::textElided(const Rect& r, std::string_view utf8, TextAlign align) {
    text(r, utf8, align);
    calls_.back().elided = true;
}

std::vector<DrawCall> RecordingDrawContext::callsOf(DrawOp op) const {
    std::vector<DrawCall> out;
    for (const DrawCall& c : calls_)
        if (c.op == op) out.push_back(c);
    return out;
}

std::vector<std::string> RecordingDrawContext::texts() const {
    std::vector<std::string> out;
    for (const DrawCall& c : calls_)
        if (c.op == DrawOp::Text) out.push_back(c.text);
    return out;
}

const char* drawOpName(DrawOp op) {
    switch (op) {
        case DrawOp::SelectPen: return "selectPen";
        case DrawOp::SelectBrush: return "selectBrush";
        case DrawOp::SelectFont: return "selectFont";
        case DrawOp::SetTextColor: return "setTextColor";
        case DrawOp::Save: return "save";
        case DrawOp::Restore: return "restore";
        case DrawOp::ClipTo: return "clipTo";
        case DrawOp::ClipOff: return "clipOff";
        case DrawOp::Line: return "line";
        case DrawOp::Polyline: return "polyline";
        case DrawOp::Rectangle: return "rectangle";
        case DrawOp::FillRect: return "fillRect";
        case DrawOp::Ellipse: return "ellipse";
        case DrawOp::Pie: return "pie";
        case DrawOp::Text: return "text";
    }
    return "?";
}

std::string RecordingDrawContext::describe() const {
    std::string out;
    char buf[160];
    for (const DrawCall& c : calls_) {
        out += drawOpName(c.op);
        for (int n : c.numbers) out += ' ' + std::to_string(n);
        if (c.op == DrawOp::Pie) {
            std::snprintf(buf, sizeof buf, " from %.3f over %.3f", c.startDeg, c.sweepDeg);
            out += buf;
        }
        if (c.op == DrawOp::Text) out += std::string(c.elided ? " elided" : "") + " \"" + c.text + '"';
        const DrawState& s = c.state;
        std::snprintf(buf, sizeof buf, "  [pen %d,%d,%d w%d, font %s %d/%d, text %d,%d,%d]\n", s.pen.color.r,
                      s.pen.color.g, s.pen.color.b, s.pen.width, s.font.face.c_str(), s.font.height, s.font.weight,
                      s.textColor.r, s.textColor.g, s.textColor.b);
        out += buf;
        if (s.clip) {
            out.pop_back();
            std::snprintf(buf, sizeof buf, " [clip %d %d %d %d]\n", s.clip->left, s.clip->top, s.clip->right,
                          s.clip->bottom);
            out += buf;
        }
    }
    return out;
}

}  // namespace vanta
