// A drawing context that draws nothing and keeps every call with its numbers, so tests
// can check the geometry a screen or a page must draw, number for number.
#pragma once

#include <string>
#include <vector>

#include "canvas/draw_context.h"

namespace vanta {

enum class DrawOp {
    SelectPen,
    SelectBrush,
    SelectFont,
    SetTextColor,
    Save,
    Restore,
    ClipTo,
    ClipOff,
    Line,
    Polyline,
    Rectangle,
    FillRect,
    Ellipse,
    Pie,
    Text,
};

struct DrawCall {
    DrawOp op = DrawOp::Line;
    // The numbers as passed: Line x1 y1 x2 y2; Polyline x0 y0 x1 y1 ...; Rectangle,
    // FillRect, Ellipse, Pie, Text and ClipTo left top right bottom. Empty for the others.
    std::vector<int> numbers;
    double startDeg = 0.0, sweepDeg = 0.0;  // Pie only
    std::string text;                        // Text only
    TextAlign align = TextAlign::Left;       // Text only
    bool elided = false;                     // Text only: cut with "…" when too wide
    Brush fill;                              // FillRect only: the brush passed
    // The selection after the call: for a drawing call, what it was drawn with (the clip
    // included).
    DrawState state;

    Rect rect() const;  // the first four numbers as a rectangle
};

class RecordingDrawContext : public DrawContext {
public:
    explicit RecordingDrawContext(bool printing = false) : printing_(printing) {}

    bool isPrinting() const override { return printing_; }

    Pen selectPen(const Pen& pen) override;
    Brush selectBrush(const Brush& brush) override;
    Font selectFont(const Font& font) override;
    Color setTextColor(Color color) override;
    void save() override;
    void restore() override;
    void clipTo(const Rect& r) override;
    void clipOff() override;

    void line(int x1, int y1, int x2, int y2) override;
    void polyline(std::span<const Point> points) override;
    void rectangle(const Rect& r) override;
    void fillRect(const Rect& r, const Brush& brush) override;
    void ellipse(const Rect& bounds) override;
    void pie(const Rect& bounds, double startDeg, double sweepDeg) override;
    void text(const Rect& r, std::string_view utf8, TextAlign align) override;
    void textElided(const Rect& r, std::string_view utf8, TextAlign align) override;

    const std::vector<DrawCall>& calls() const { return calls_; }
    // The calls of one kind, in the order they were made.
    std::vector<DrawCall> callsOf(DrawOp op) const;
    // The texts drawn, in order.
    std::vector<std::string> texts() const;
    void clear() { calls_.clear(); }

    // One line per call, for failure messages.
    std::string describe() const;

private:
    DrawCall& record(DrawOp op, std::vector<int> numbers = {});

    bool printing_;
    std::vector<DrawCall> calls_;
};

const char* drawOpName(DrawOp op);

}  // namespace vanta
