// The report table as the screens use it: the digital report fills it for the repetition
// chosen in its box, the measurement screen for the repetition just recorded, and every
// other screen leaves it cleared in the empty rectangle, where it cannot be seen. The
// window implements it with its table widget; tests put a recording double in its place.
#pragma once

#include <vector>

#include "canvas/draw_context.h"
#include "core/records.h"
#include "reports/digital_report.h"

namespace vanta {

// Where the table stands when no screen shows it.
inline constexpr Rect kHiddenTableRect{0, 0, 0, 0};

class ReportTableHost {
public:
    virtual ~ReportTableHost() = default;

    // Deletes every row, then the columns from the last to the first.
    virtual void clearTable() = 0;
    // Arial by character height in pixels and weight (400 normal, 700 bold).
    virtual void setTableFont(int pixelHeight, int weight) = 0;
    // On a cleared table: the columns of digitalLayout, each screen width divided by
    // `columnWidthScale` and truncated, then the ten rows of the results.
    virtual void fillDigitalReport(const RepetitionResults& results, float columnWidthScale) = 0;
    // Moves the table, in view pixels; kHiddenTableRect hides it.
    virtual void placeTable(const Rect& rect) = 0;
    // The texts on show, one row per table row: what the export writes.
    virtual std::vector<ReportRow> tableCells() const = 0;
};

}  // namespace vanta
