// The one drawing surface of the station, for the screen and for paper. Screens and
// printed pages draw through it in logical coordinates and never see the device:
//
//   screen: one unit is one pixel, x to the right, y downwards;
//   paper:  one unit is 0.1 mm, x to the right, y upwards, the top of the printable area
//           at y = 0 (so every point on the page has y <= 0).
//
// An implementation maps these units to its device itself. No Qt here: the logic of the
// reports and graphs draws on this interface and is tested with the recording context.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vanta {

struct Color {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Color&) const = default;
};

inline constexpr Color kBlack{0, 0, 0};
inline constexpr Color kWhite{255, 255, 255};
inline constexpr Color kRed{255, 0, 0};
inline constexpr Color kGreen{0, 255, 0};
inline constexpr Color kBlue{0, 0, 255};

enum class PenStyle { Solid, Dash, Dot, DashDot, None };

struct Pen {
    Color color = kBlack;
    int width = 1;  // logical units; 0 draws the thinnest line the device has
    PenStyle style = PenStyle::Solid;
    bool operator==(const Pen&) const = default;
};

enum class BrushStyle { Solid, None };

struct Brush {
    Color color = kWhite;
    BrushStyle style = BrushStyle::Solid;
    bool operator==(const Brush&) const = default;
};

// A font is chosen by its character height (the em height, without the leading above
// it), in logical units: 12 means 12 pixels on screen and 1.2 mm on paper.
struct Font {
    std::string face = "Arial";
    int height = 12;
    int weight = 400;  // 400 normal, 700 bold
    bool operator==(const Font&) const = default;
};

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

// Left, top, right, bottom in logical units. On paper top > bottom (y grows upwards).
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};

enum class TextAlign { Left, Center, Right };

// What save() keeps and restore() brings back.
struct DrawState {
    Pen pen;
    Brush brush;
    Font font;
    Color textColor = kBlack;
    // Drawing shows only inside this rectangle, its edges included; none: everywhere.
    std::optional<Rect> clip;
    bool operator==(const DrawState&) const = default;
};

class DrawContext {
public:
    virtual ~DrawContext() = default;

    // True on paper (printing or preview), false on screen.
    virtual bool isPrinting() const = 0;
    // Device pixels per logical unit along x: 1 on a plain screen, 2 on a double-density
    // one, about 2.4 for a 600 dpi printer (a unit is 0.1 mm there). Drawing that thins out
    // dense data asks it so that nothing the device could show is dropped.
    virtual double devicePixelsPerUnit() const { return 1.0; }

    // Selecting returns the previous selection, so a routine can put it back.
    virtual Pen selectPen(const Pen& pen);
    virtual Brush selectBrush(const Brush& brush);
    virtual Font selectFont(const Font& font);
    virtual Color setTextColor(Color color);
    const Pen& pen() const { return state_.pen; }
    const Brush& brush() const { return state_.brush; }
    const Font& font() const { return state_.font; }
    Color textColor() const { return state_.textColor; }

    // From here on only what falls inside `r` (its edges included, so a frame drawn on
    // them stays whole) is shown, until clipOff(): curves whose values leave the axis
    // range end at the plot's edges instead of running over the texts around it.
    virtual void clipTo(const Rect& r);
    virtual void clipOff();
    const std::optional<Rect>& clip() const { return state_.clip; }

    // Keeps the selected pen, brush, font, text colour and clip; restore() brings back the
    // latest kept ones. A restore() without a save() leaves the selection as it is.
    virtual void save();
    virtual void restore();

    // Straight line from (x1, y1) to (x2, y2) with the pen.
    virtual void line(int x1, int y1, int x2, int y2) = 0;
    // Open line through the points with the pen; fewer than two points draw nothing.
    virtual void polyline(std::span<const Point> points) = 0;
    // Outline with the pen, inside filled with the brush.
    virtual void rectangle(const Rect& r) = 0;
    // Fills the rectangle with the given brush only, no outline; the selection stays.
    virtual void fillRect(const Rect& r, const Brush& brush) = 0;
    // Ellipse inscribed in the rectangle: outline with the pen, inside with the brush.
    virtual void ellipse(const Rect& bounds) = 0;
    // Sector of the ellipse inscribed in `bounds`, outline with the pen, inside with the
    // brush. Angles are in degrees in logical coordinates: the point at angle a is
    // (cx + rx cos a, cy + ry sin a). On screen (y down) a growing angle turns clockwise,
    // on paper (y up) anticlockwise. The sector runs from startDeg over sweepDeg.
    virtual void pie(const Rect& bounds, double startDeg, double sweepDeg) = 0;
    // One line of UTF-8 text in the text colour and the selected font, aligned
    // horizontally as asked and centred vertically in the rectangle, clipped to it.
    virtual void text(const Rect& r, std::string_view utf8, TextAlign align) = 0;
    // The same, but a text wider than the rectangle runs out of it on the side the
    // alignment leaves open instead of being cut: axis labels whose rectangles are narrower
    // than a long number or title.
    virtual void textUnclipped(const Rect& r, std::string_view utf8, TextAlign align) { text(r, utf8, align); }
    // The same as text(), but a text wider than the rectangle is cut at a whole character
    // and ends in "…", so the reader sees that it goes on (a long name before the date).
    virtual void textElided(const Rect& r, std::string_view utf8, TextAlign align) { text(r, utf8, align); }

protected:
    DrawState state_;

private:
    std::vector<DrawState> saved_;
};

}  // namespace vanta
