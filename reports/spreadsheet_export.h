// "Export xml": the digital report on screen, the subject's name, the test's date and time
// and the repetition number as an XML Spreadsheet 2003 file, "noname.xml" in the DATA
// folder, which the desktop's spreadsheet program then opens. The layout of the file is
// fixed to the byte: labs' macros and older spreadsheet importers read it as it always was.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "reports/digital_report.h"
#include "reports/report_layout.h"

namespace vanta {

inline constexpr std::string_view kSpreadsheetFileName = "noname.xml";

// Twelve lines, 334 bytes: the workbook, style 1 (bold) for the information rows, style 2
// (bold on solid yellow) for the column titles, and the one worksheet.
inline constexpr std::string_view kSpreadsheetHeader =
    "<?xml version=\"1.0\"?>\n"
    "<ss:Workbook xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\n"
    "<ss:Styles>\n"
    "  <ss:Style ss:ID=\"1\">\n"
    "    <ss:Font ss:Bold=\"1\"/>\n"
    "  </ss:Style>\n"
    "  <ss:Style ss:ID=\"2\">\n"
    "    <ss:Font ss:Bold=\"1\"/>\n"
    "    <ss:Interior ss:Color=\"#FFFF00\" ss:Pattern=\"Solid\"/>\n"
    "  </ss:Style>\n"
    "</ss:Styles>\n"
    "<ss:Worksheet ss:Name=\"Sheet1\">\n";

// 31 bytes.
inline constexpr std::string_view kSpreadsheetFooter = "</ss:Worksheet>\n</ss:Workbook>\n";

// True when every character is a digit or a point; the empty text too. A minus sign, a
// comma or a space makes it false.
bool isPlainNumber(std::string_view text);

// A text as the file holds it: UTF-8 (the encoding an XML file without a declaration is
// read in), with "&", "<" and ">" escaped. A byte that is not part of valid UTF-8 is taken
// as the Latin-1 character of old test files; control characters that XML cannot hold at
// all become "?". Plain ASCII without those three characters comes out unchanged, so such
// files stay byte for byte what the station always wrote.
std::string xmlText(std::string_view text);

// What the export writes besides the cells.
struct SpreadsheetLabels {
    std::string_view name;   // the subject's name
    int64_t testTime = 0;    // seconds since 1970-01-01 UTC, shown in local time
    int selectedRepetition = 0;  // 0-based; the file says "Repetition No: " and this + 1
};

// The whole file: header; the table with one column per layout column, the four
// information rows, the two title rows and one data row per table row; footer. `cells` are
// the table's texts as shown on screen; a decimal comma becomes a point in the file.
std::string spreadsheetBytes(const ReportLayout& layout, const std::vector<ReportRow>& cells,
                             const SpreadsheetLabels& labels);

// The export's file in the station's DATA folder.
std::string spreadsheetPath(const std::string& dataDirectory);

// "Export failed: PATH could not be written."
std::string exportFailedMessage(const std::string& path);

// Writes all bytes or nothing: a failed write leaves any earlier file as it was and no
// half file behind. The export and the command line both write through it.
// `error` receives the errno of a failure.
bool writeSpreadsheetFile(const std::string& path, std::string_view bytes, int* error = nullptr);

// Starts the desktop's handler on the written file; false when the desktop has none that
// started. Injected, so that tests never start a program.
using FileOpener = std::function<bool(const std::string& path)>;

// "Exported to PATH": where the file went, told after every export.
std::string exportedMessage(const std::string& path);
// The detail under it when no program on the desktop opened the file.
inline constexpr std::string_view kExportNotOpened = "No program on this desktop opens the file.";

// The button: writes the file into the DATA folder and opens it; *opened says whether the
// desktop started a program on it. When the file cannot be written, *message says so,
// *reason gives the system's reason, and nothing is opened: an earlier export left in the
// folder must not pass for this one.
bool exportSpreadsheet(const std::vector<ReportRow>& cells, const SpreadsheetLabels& labels,
                       const std::string& dataDirectory, const FileOpener& open, std::string* message,
                       std::string* reason = nullptr, bool* opened = nullptr);

}  // namespace vanta
