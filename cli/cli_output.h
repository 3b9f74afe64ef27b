// What vantacheck-cli prints, as plain functions of the test in memory.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/records.h"

namespace vanta::cli {

// Shortest text that reads back as exactly the same float32 (JSON null when not finite).
std::string jsonNumber(float value);
// Shortest text that reads back as exactly the same double.
std::string exactNumber(double value);
// The same as a JSON number with a point, so that a reader takes a load of 10 kg for a
// real number too; null where there is no value or it is not finite.
std::string jsonReal(double value);
std::string jsonReal(const std::optional<double>& value);
std::string jsonString(std::string_view utf8);
// A text cell of a CSV: quoted where it must be, and one a spreadsheet would take for a
// formula (starting with =, +, -, @, TAB or CR) behind an apostrophe.
std::string csvField(std::string_view text);
// A name or path on a line of plain output: a line break inside it shows as \n (or \r),
// so one test stays one line.
std::string plainText(std::string_view text);

// "dd.mm.yyyy HH:MM:SS" in local time, and ISO 8601 in UTC.
// With `utcOffset` (seconds east, as the recording station's clock stood) the station's
// local time whatever computer prints it; without, this computer's local time.
std::string localDateTime(int32_t testTime, std::optional<int32_t> utcOffset = std::nullopt);
std::string isoTime(int32_t testTime);
// ISO 8601 in local time with its offset from UTC ("2026-03-01T09:30:00+01:00"): the one
// time a study reads, the station's clock and the instant in one field.
std::string isoLocalTime(int64_t testTime, std::optional<int32_t> utcOffset = std::nullopt);

// The analysed test as text with the report rows, and as one JSON object.
std::string analysisText(const TestRecord& test);
std::string analysisJson(const TestRecord& test);

// One CSV row per sample of repetition r (0-based).
std::string seriesCsv(const TestRecord& test, int repetition);

// What a study needs beside a summary row's numbers, in the columns after them: the
// test's identity, who and where, and the subject's body as the test holds it. Empty
// texts and missing numbers are empty fields.
struct StudyColumns {
    std::string sha256;
    std::string subjectId;
    std::string station;
    std::optional<int> weight;  // kg
    std::optional<int> sex;     // 0 female, 1 male; anything else is an empty field
    std::optional<int> height;  // cm
    int64_t testTime = 0;
    std::optional<int32_t> utcOffset;  // the recording station's clock, where known
    bool sidesSwapped = false;  // direction +1 is the left side
};
StudyColumns studyColumnsOf(const TestRecord& test);

// Which result columns a summary row has: the report's (the header scripts have always
// read: the mean rows, then the whole stroke's peaks), or all 30 under the lab view's
// names (vanta_results, analyse --json's resultNames), for a statistics package.
enum class ResultColumns { Report, View };

// Summary across files: the header and the rows of one analysed test.
std::string summaryHeader(ResultColumns columns = ResultColumns::Report);
std::string summaryRows(const TestRecord& test, std::string_view fileName, const StudyColumns& study,
                        ResultColumns columns = ResultColumns::Report);
// One summary row of repetition `number` (1 is the first) from its numbers alone, as the
// lab's archive keeps them.
std::string summaryRow(std::string_view fileName, std::string_view name, int32_t testTime, int number, float load,
                       float radius, int32_t samples, const float (&results)[kResultRowCount][kResultColumnCount],
                       int32_t direction, const StudyColumns& study,
                       ResultColumns columns = ResultColumns::Report);

}  // namespace vanta::cli
