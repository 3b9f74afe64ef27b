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
std::string csvField(std::string_view text);

// "dd.mm.yyyy HH:MM:SS" in local time, and ISO 8601 in UTC.
std::string localDateTime(int32_t testTime);
std::string isoTime(int32_t testTime);

// The analysed test as text with the report rows, and as one JSON object.
std::string analysisText(const TestRecord& test);
std::string analysisJson(const TestRecord& test);

// One CSV row per sample of repetition r (0-based).
std::string seriesCsv(const TestRecord& test, int repetition);

// Summary across files: the header and the rows of one analysed test.
std::string summaryHeader();
std::string summaryRows(const TestRecord& test, std::string_view fileName);
// One summary row of repetition `number` (1 is the first) from its numbers alone, as the
// lab's archive keeps them.
std::string summaryRow(std::string_view fileName, std::string_view name, int32_t testTime, int number, float load,
                       float radius, int32_t samples, const float (&results)[kResultRowCount][kResultColumnCount]);

}  // namespace vanta::cli
