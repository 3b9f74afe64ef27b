// The drawing surface for the web: the same drawings as screen and paper, written as one
// SVG element that a browser scales to any width. Screen units (one unit one CSS pixel,
// y downwards), so a History on a web page is laid out as the History screen lays it out.
//
// The picture shows `view` of the logical plane: whatever lies wholly outside it is left
// out of the file, so a page can take one part of a drawing (one side's plot) without
// carrying the rest. Texts are escaped for XML here; the SVG element can go into an HTML
// page as it is. No Qt: vantacheck-cli writes it.
#pragma once

#include <string>
#include <string_view>

#include "canvas/draw_context.h"

namespace vanta {

class SvgDrawContext : public DrawContext {
public:
    // `idPrefix` starts the ids of the clip paths, which must be unique in the page that
    // holds several pictures.
    explicit SvgDrawContext(const Rect& view, std::string idPrefix = "svg");

    bool isPrinting() const override { return false; }
    // A phone's screen has two or three device pixels per CSS pixel: drawing that thins
    // dense data keeps what such a screen could show.
    double devicePixelsPerUnit() const override { return 2.0; }

    void line(int x1, int y1, int x2, int y2) override;
    void polyline(std::span<const Point> points) override;
    void rectangle(const Rect& r) override;
    void fillRect(const Rect& r, const Brush& brush) override;
    void ellipse(const Rect& bounds) override;
    void pie(const Rect& bounds, double startDeg, double sweepDeg) override;
    void text(const Rect& r, std::string_view utf8, TextAlign align) override;
    void textUnclipped(const Rect& r, std::string_view utf8, TextAlign align) override;
    void textElided(const Rect& r, std::string_view utf8, TextAlign align) override;

    // The whole <svg> element; `label` is what a screen reader says of the picture.
    std::string svg(std::string_view label) const;
    // Elements written so far (for tests of the culling).
    int elementCount() const { return elements_; }

private:
    // False when the box (with the pen's reach) lies wholly outside the view or the clip:
    // nothing of it would show.
    bool shows(Rect box, int reach) const;
    void emit(const std::string& element);
    std::string strokeOf(const Pen& pen) const;
    std::string fillOf(const Brush& brush) const;
    void writeText(const Rect& r, std::string_view utf8, TextAlign align, bool clipToRect);

    Rect view_;
    std::string prefix_;
    std::string body_;
    std::optional<Rect> openClip_;  // the clip of the group open in body_
    bool groupOpen_ = false;
    int clipIds_ = 0;
    int elements_ = 0;
};

// `text` with &, <, >, " and ' as XML entities.
std::string xmlEscaped(std::string_view text);

}  // namespace vanta
