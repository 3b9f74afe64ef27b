#include "cli/cli_output.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "core/analysis.h"
#include "core/result_names.h"
#include "core/sides.h"
#include "reports/digital_report.h"

namespace vanta::cli {

namespace {

constexpr const char* kRowNames[kResultRowCount] = {"PeakAll",    "PeakAcceleration", "PeakDeceleration",
                                                    "MeanAll",    "MeanAcceleration", "MeanDeceleration"};

template <typename T>
std::string shortest(T value) {
    char text[64];
    const auto res = std::to_chars(text, text + sizeof text, value);
    return std::string(text, res.ptr);
}

// Appends the pieces in order (one buffer, no temporaries joined with +).
template <typename... Pieces>
void put(std::string& out, const Pieces&... pieces) {
    (out.append(std::string_view(pieces)), ...);
}

const char* sexText(int32_t sex) {
    switch (sex) {
    case 0: return "female";
    case 1: return "male";
    default: return "not chosen";
    }
}

}  // namespace

std::string jsonNumber(float value) {
    if (!std::isfinite(value)) return "null";
    std::string s = shortest(value);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string jsonReal(double value) {
    if (!std::isfinite(value)) return "null";
    std::string s = shortest(value);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}
std::string jsonReal(const std::optional<double>& value) { return value ? jsonReal(*value) : "null"; }

std::string exactNumber(double value) {
    if (!std::isfinite(value)) return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
    return shortest(value);
}

std::string jsonString(std::string_view utf8) {
    std::string out = "\"";
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else {
                out.push_back(ch);
            }
        }
    }
    return out + "\"";
}

std::string csvField(std::string_view text) {
    // A spreadsheet takes a cell that starts with one of these for a formula (a name
    // "=HYPERLINK(...)" would become a live link): such a text keeps its first character
    // behind an apostrophe, which the spreadsheet shows as text. Numbers never come here.
    const bool formulaLike = !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
    std::string cell;
    if (formulaLike) {
        cell = "'";
        cell += text;
        text = cell;
    }
    if (text.find_first_of(",\"\n\r") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"') out += '"';
        out.push_back(ch);
    }
    return out + "\"";
}

std::string plainText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        if (ch == '\n') out += "\\n";
        else if (ch == '\r') out += "\\r";
        else out.push_back(ch);
    }
    return out;
}

namespace {

// The wall clock at `testTime`: the recording station's (a fixed offset) where known, else
// this computer's.
std::tm wallClock(int64_t testTime, std::optional<int32_t> utcOffset) {
    std::tm tm{};
    if (utcOffset) {
        const std::time_t shifted = static_cast<std::time_t>(testTime + *utcOffset);
        gmtime_r(&shifted, &tm);
        tm.tm_gmtoff = *utcOffset;
    } else {
        const std::time_t t = static_cast<std::time_t>(testTime);
        localtime_r(&t, &tm);
    }
    return tm;
}

}  // namespace

std::string localDateTime(int32_t testTime, std::optional<int32_t> utcOffset) {
    const std::tm tm = wallClock(testTime, utcOffset);
    char text[64];
    std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &tm);
    return text;
}

std::string isoTime(int32_t testTime) {
    const std::time_t t = testTime;
    std::tm tm {};
    gmtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string isoLocalTime(int64_t testTime, std::optional<int32_t> utcOffset) {
    const std::tm tm = wallClock(testTime, utcOffset);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    // %z gives "+0100"; ISO 8601's extended form, which readers of the date part expect
    // alongside it, wants "+01:00".
    const long offset = tm.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return std::string(text) + zone;
}

std::string analysisText(const TestRecord& test) {
    const SubjectInfo& s = test.subject;
    std::string out;
    put(out, "Name: ", s.name, "\nSex: ", sexText(s.sex), "   Weight: ", std::to_string(s.weight),
        "   Height: ", std::to_string(s.height), "\n");
    put(out, "Comment 1: ", s.comment1, "\nComment 2: ", s.comment2, "\nComment 3: ", s.comment3, "\n");
    put(out, "Date: ", localDateTime(test.testTime), "\nRepetitions: ", std::to_string(test.repetitionCount), "\n");
    char line[256];
    for (int r = 0; r < test.repetitionCount; ++r) {
        const RepetitionRecord& rep = test.repetitions[r];
        std::snprintf(line, sizeof line, "\nRepetition No(#) %d   Weight: %5.2f kg   Radius: %5.2f cm   Samples: %d\n",
                      r + 1, static_cast<double>(rep.loadMass), static_cast<double>(rep.radius), rep.sampleCount);
        out += line;
        std::snprintf(line, sizeof line, "%-20s %12s %20s %20s\n", "", "Total", "Acceleration Phase",
                      "Deceleration Phase");
        out += line;
        for (const ReportRow& row : digitalReportRows(test.results[r])) {
            std::snprintf(line, sizeof line, "%-20s %12s %20s %20s", row[0].c_str(), row[1].c_str(), row[2].c_str(),
                          row[3].c_str());
            std::string text = line;
            while (!text.empty() && text.back() == ' ') text.pop_back();
            put(out, text, "\n");
        }
    }
    return out;
}

std::string analysisJson(const TestRecord& test) {
    const SubjectInfo& s = test.subject;
    std::string out;
    put(out, "{\"subject\": {\"name\": ", jsonString(s.name), ", \"sex\": ", std::to_string(s.sex), ", \"age\": ",
        std::to_string(s.age), ", \"weight\": ", std::to_string(s.weight), ", \"height\": ", std::to_string(s.height),
        ", \"comment1\": ", jsonString(s.comment1), ", \"comment2\": ", jsonString(s.comment2),
        ", \"comment3\": ", jsonString(s.comment3), "}");
    put(out, ", \"testTime\": ", std::to_string(test.testTime), ", \"repetitionCount\": ",
        std::to_string(test.repetitionCount), ", \"repetitions\": [");
    for (int r = 0; r < test.repetitionCount; ++r) {
        const RepetitionRecord& rep = test.repetitions[r];
        put(out, r ? ", " : "", "{\"index\": ", std::to_string(r), ", \"direction\": ", std::to_string(rep.direction),
            ", \"channelOffset\": [");
        for (int c = 0; c < kChannelCount; ++c) put(out, c ? ", " : "", jsonNumber(rep.channelOffset[c]));
        put(out, "], \"loadMass\": ", jsonNumber(rep.loadMass), ", \"radius\": ", jsonNumber(rep.radius),
            ", \"sampleCount\": ", std::to_string(rep.sampleCount), ", \"velocityPeakIndex\": ",
            std::to_string(test.results[r].velocityPeakIndex), ", \"results\": {");
        for (int row = 0; row < kResultRowCount; ++row) {
            put(out, row ? ", " : "", "\"", kRowNames[row], "\": [");
            for (int c = 0; c < kResultColumnCount; ++c) put(out, c ? ", " : "", jsonNumber(test.results[r].value[row][c]));
            put(out, "]");
        }
        put(out, "}}");
    }
    // Each repetition's results named, in their very shape: resultNames.PeakAll[2] names
    // results.PeakAll[2], with the name the lab server's view gives that column.
    std::string names[kResultRowCount][kResultColumnCount];
    for (const ResultColumnName& c : resultColumnNames()) names[c.row][c.column] = c.name;
    put(out, "], \"resultNames\": {");
    for (int row = 0; row < kResultRowCount; ++row) {
        put(out, row ? ", " : "", "\"", kRowNames[row], "\": [");
        for (int c = 0; c < kResultColumnCount; ++c) put(out, c ? ", " : "", jsonString(names[row][c]));
        put(out, "]");
    }
    put(out, "}}\n");
    return out;
}

std::string seriesCsv(const TestRecord& test, int r) {
    std::string out =
        "sample,angular_velocity_deg_s,position_deg,linear_velocity_cm_s,linear_acceleration_m_s2,force_N,power_W,"
        "torque_Nm\n";
    const RepetitionSeries& series = test.series[r];
    const int n = test.repetitions[r].validSamples();
    out.reserve(out.size() + static_cast<size_t>(n) * 96);
    for (int i = 0; i < n; ++i) {
        out += std::to_string(i);
        out += ',' + shortest(series[SeriesAngularVelocity][i]);
        out += ',' + shortest(series[SeriesPosition][i]);
        out += ',' + shortest(series[SeriesLinearVelocity][i]);
        out += ',' + shortest(series[SeriesLinearAcceleration][i]);
        out += ',' + exactNumber(quantityAt(test, i, Force, r));
        out += ',' + exactNumber(quantityAt(test, i, Power, r));
        out += ',' + exactNumber(quantityAt(test, i, Torque, r));
        out += '\n';
    }
    return out;
}

std::string summaryHeader(ResultColumns columns) {
    std::string out = "file,name,test_time,repetition,load_kg,radius_cm,samples";
    if (columns == ResultColumns::View) {
        for (const ResultColumnName& c : resultColumnNames()) put(out, ",", c.name);
        put(out, ",sha256,subject_id,side,station,body_mass_kg,sex,height_cm,test_time_local\n");
        return out;
    }
    const char* phases[3] = {"total", "acceleration", "deceleration"};
    for (int k = 0; k < kResultColumnCount; ++k)
        for (const char* phase : phases) put(out, ",", csvField(std::string(kMeanRowLabels[k]) + " " + phase));
    for (int k = 0; k < kResultColumnCount; ++k)
        if (k != static_cast<int>(ResultColumn::Position)) put(out, ",", csvField(kPeakRowLabels[k]));
    put(out, ",sha256,subject_id,side,station,body_mass_kg,sex,height_cm,test_time_local\n");
    return out;
}

StudyColumns studyColumnsOf(const TestRecord& test) {
    StudyColumns study;
    study.weight = test.subject.weight;
    study.sex = test.subject.sex;
    study.height = test.subject.height;
    study.testTime = test.testTime;
    return study;
}

std::string summaryRow(std::string_view fileName, std::string_view name, int32_t testTime, int number, float load,
                       float radius, int32_t samples, const float (&results)[kResultRowCount][kResultColumnCount],
                       int32_t direction, const StudyColumns& study, ResultColumns columns) {
    std::string out;
    put(out, csvField(fileName), ",", csvField(name), ",", isoTime(testTime), ",", std::to_string(number), ",",
        shortest(load), ",", shortest(radius), ",", std::to_string(samples));
    if (columns == ResultColumns::View) {
        static const std::vector<ResultColumnName> names = resultColumnNames();
        for (const ResultColumnName& c : names) put(out, ",", shortest(results[c.row][c.column]));
    } else {
        for (int k = 0; k < kResultColumnCount; ++k)
            for (ResultRow row : {MeanAll, MeanAcceleration, MeanDeceleration}) put(out, ",", shortest(results[row][k]));
        for (int k = 0; k < kResultColumnCount; ++k)
            if (k != static_cast<int>(ResultColumn::Position)) put(out, ",", shortest(results[PeakAll][k]));
    }
    const std::optional<Side> side = sideOfDirection(direction, study.sidesSwapped);
    const auto whole = [](const std::optional<int>& v) { return v ? std::to_string(*v) : std::string(); };
    const bool knownSex = study.sex && (*study.sex == 0 || *study.sex == 1);
    put(out, ",", csvField(study.sha256), ",", csvField(study.subjectId), ",", side ? sideName(*side) : "", ",",
        csvField(study.station), ",", whole(study.weight), ",", knownSex ? sexText(*study.sex) : "", ",",
        whole(study.height), ",", isoLocalTime(study.testTime, study.utcOffset), "\n");
    return out;
}

std::string summaryRows(const TestRecord& test, std::string_view fileName, const StudyColumns& study,
                        ResultColumns columns) {
    std::string out;
    for (int r = 0; r < test.repetitionCount; ++r) {
        const RepetitionRecord& rep = test.repetitions[r];
        out += summaryRow(fileName, test.subject.name, test.testTime, r + 1, rep.loadMass, rep.radius, rep.sampleCount,
                          test.results[r].value, rep.direction, study, columns);
    }
    return out;
}

}  // namespace vanta::cli
