// The column layout of the report table: titles, widths on screen, in the spreadsheet and
// on paper, and how the spreadsheet export types a column's cells. The table widget, the
// export and the printed report all read it, so a column never differs between them.
#pragma once

#include <array>
#include <string_view>

namespace vanta {

// How the spreadsheet export types a non-empty cell of a column. The numbers are the
// station's own codes for the three kinds.
enum class CellKind : int {
    String = 1,  // always "String"
    Number = 2,  // always "Number", whatever the text (a minus sign included)
    Auto = 3,    // "Number" when the text holds only digits and points, else "String"
};

struct ReportColumnLayout {
    // Two title lines joined by exactly one "\n"; the second line may be empty.
    std::string_view title;
    int screenWidth;       // pixels, before division by the column width scale
    int spreadsheetWidth;  // the export's ss:Width
    int printWidth;        // 0.1 mm on paper
    CellKind cellKind;
};

inline constexpr int kDigitalColumns = 4;

struct ReportLayout {
    std::array<ReportColumnLayout, kDigitalColumns> columns;
    static constexpr int columnCount() { return kDigitalColumns; }
};

// The digital report: the row label, then the whole stroke (or a peak), then the
// acceleration and the deceleration phase. The label column's titles are single spaces so
// that its header cells stay blank but keep their two lines.
inline constexpr ReportLayout digitalLayout{{{
    {" \n ", 220, 110, 450, CellKind::Auto},
    {"Total\n", 120, 70, 450, CellKind::Number},
    {"Acceleration\n Phase", 200, 70, 450, CellKind::Number},
    {"Deceleration\n Phase", 190, 70, 450, CellKind::Number},
}}};

// Line 0 or 1 of a title: the text before or after its first "\n" (empty when there is
// no such line).
std::string_view titleLine(std::string_view title, int line);

// A column's width on screen: its screen width divided by the column width scale that
// the live guidance screen leaves behind, truncated towards zero (220 at 2.0 gives 110).
// A scale that is not a positive number leaves the width as it is, rather than giving
// a column of undefined width.
int screenColumnWidth(int screenWidth, float columnWidthScale);

}  // namespace vanta
