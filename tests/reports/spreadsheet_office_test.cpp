// The exported file as a lab opens it: LibreOffice Calc reads it and writes the sheet as
// CSV (UTF-8), and the numbers must stand in the right cells as numbers, the non-ASCII
// name intact. Skips only where LibreOffice is not installed at all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "reports/digital_report.h"
#include "reports/spreadsheet_export.h"

namespace vanta {
namespace {

namespace fs = std::filesystem;

std::string findOffice() {
    if (const char* path = std::getenv("PATH")) {
        std::stringstream dirs(path);
        std::string dir;
        while (std::getline(dirs, dir, ':'))
            if (!dir.empty() && ::access((dir + "/soffice").c_str(), X_OK) == 0) return dir + "/soffice";
    }
    for (const char* p : {"/usr/bin/soffice", "/usr/lib/libreoffice/program/soffice"})
        if (::access(p, X_OK) == 0) return p;
    return {};
}

// One CSV record per element, fields unquoted; `quoted` says which were in quotes (text
// cells) and which were not (number cells). Quoted fields may hold line ends.
struct CsvField {
    std::string text;
    bool quoted = false;
};
std::vector<std::vector<CsvField>> parseCsv(const std::string& csv) {
    std::vector<std::vector<CsvField>> records(1);
    CsvField field;
    bool inQuotes = false;
    for (size_t i = 0; i < csv.size(); ++i) {
        const char c = csv[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < csv.size() && csv[i + 1] == '"') field.text += '"', ++i;
            else if (c == '"') inQuotes = false;
            else field.text += c;
        } else if (c == '"') {
            inQuotes = field.quoted = true;
        } else if (c == ',') {
            records.back().push_back(field), field = {};
        } else if (c == '\n') {
            records.back().push_back(field), field = {};
            records.emplace_back();
        } else if (c != '\r') {
            field.text += c;
        }
    }
    if (records.back().empty()) records.pop_back();
    return records;
}

TEST(SpreadsheetInOffice, CalcFindsTheNumbersInTheirCellsAndTheNameIntact) {
    const std::string office = findOffice();
    if (office.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";

    setenv("TZ", "UTC", 1);
    tzset();
    const fs::path folder = fs::temp_directory_path() / ("vanta-office-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);

    RepetitionResults results;
    for (int r = 0; r < kResultRowCount; ++r)
        for (int c = 0; c < kResultColumnCount; ++c) results.value[r][c] = static_cast<float>(r * 10 + c) + 0.25f;
    results.at(MeanDeceleration, ResultColumn::Force) = -8.5f;
    results.at(PeakAll, ResultColumn::Power) = 1234.5f;
    const std::vector<ReportRow> cells = digitalReportRows(results);
    const std::string name = "J\xc3\xbcrgen \xc3\x98ster & S\xc3\xb6hne <\xc5\x81\xc3\xb3\x64\xc5\xba>";
    std::string message;
    ASSERT_TRUE(exportSpreadsheet(cells, {name, 1700000000, 4}, folder.string(), {}, &message)) << message;

    // A profile of its own, so that neither a running office nor another test interferes.
    const std::string command = "'" + office + "' -env:UserInstallation=file://" + (folder / "profile").string() +
                                " --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1' --outdir '" +
                                folder.string() + "' '" + (folder / "noname.xml").string() + "' >'" +
                                (folder / "office.log").string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(folder / "noname.csv", std::ios::binary);
    ASSERT_TRUE(in) << "no CSV from " << command;
    std::stringstream csv;
    csv << in.rdbuf();
    const auto records = parseCsv(csv.str());

    // Four information rows, two title rows, ten data rows.
    ASSERT_EQ(records.size(), 16u) << csv.str();
    EXPECT_EQ(records[0][0].text.rfind("Name: " + name, 0), 0u) << records[0][0].text;
    EXPECT_EQ(records[1][0].text.rfind("Date: 14.11.2023  at  22:13:20", 0), 0u);
    EXPECT_EQ(records[2][0].text.rfind("Repetition No: 5", 0), 0u);
    EXPECT_EQ(records[4][2].text, " Acceleration ");
    EXPECT_EQ(records[5][3].text, "  Phase ");
    for (int row = 0; row < kDigitalRows; ++row) {
        const auto& record = records[static_cast<size_t>(6 + row)];
        ASSERT_GE(record.size(), 4u);
        // The spacer's label is two spaces on screen and an empty cell in the file.
        const std::string label = cells[static_cast<size_t>(row)][0];
        EXPECT_EQ(record[0].text, label == "  " ? "" : label);
        for (int c = 1; c < kDigitalColumns; ++c) {
            const std::string shown = cells[static_cast<size_t>(row)][static_cast<size_t>(c)];
            const CsvField& field = record[static_cast<size_t>(c)];
            if (shown.empty()) {
                EXPECT_EQ(field.text, "") << "row " << row << " column " << c;
                continue;
            }
            // A number cell, not text that looks like one, holding the shown value.
            EXPECT_FALSE(field.quoted) << "row " << row << " column " << c << ": " << field.text;
            EXPECT_DOUBLE_EQ(std::strtod(field.text.c_str(), nullptr), std::strtod(shown.c_str(), nullptr))
                << "row " << row << " column " << c;
        }
    }
    EXPECT_EQ(records[6][3].text, "-8.5");
    EXPECT_EQ(records[13][1].text, "1234.5");
    fs::remove_all(folder);
}

}  // namespace
}  // namespace vanta
