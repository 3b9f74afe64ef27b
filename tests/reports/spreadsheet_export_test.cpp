#include "reports/spreadsheet_export.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vanta {
namespace {

namespace fs = std::filesystem;

// 2023-11-14 22:13:20 UTC.
constexpr int64_t kTestTime = 1700000000;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class SpreadsheetExport : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        folder = fs::temp_directory_path() /
                 ("vanta-export-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    // One data row of the file, as the station writes it.
    static std::string dataRow(std::initializer_list<std::pair<const char*, const char*>> cells) {
        std::string row = "  <ss:Row>\n";
        for (auto [type, text] : cells)
            row += std::string("      <ss:Cell><ss:Data ss:Type=\"") + type + "\">" + text + "</ss:Data></ss:Cell>\n";
        return row + "  </ss:Row>\n";
    }
    // The body between the information rows and the table end, for the given data rows.
    static std::string fileWith(const std::string& info, const std::string& data) {
        const std::string titleCell = "      <ss:Cell ss:StyleID=\"2\"><ss:Data ss:Type=\"String\">";
        return std::string(kSpreadsheetHeader) +
               "  <ss:Table>\n"
               "      <ss:Column ss:Width=\"110\"/>\n"
               "      <ss:Column ss:Width=\"70\"/>\n"
               "      <ss:Column ss:Width=\"70\"/>\n"
               "      <ss:Column ss:Width=\"70\"/>\n" +
               info +
               "  <ss:Row>\n" +
               titleCell + "   </ss:Data></ss:Cell>\n" +
               titleCell + " Total </ss:Data></ss:Cell>\n" +
               titleCell + " Acceleration </ss:Data></ss:Cell>\n" +
               titleCell + " Deceleration </ss:Data></ss:Cell>\n" +
               "    </ss:Row>\n"
               "  <ss:Row>\n" +
               titleCell + "   </ss:Data></ss:Cell>\n" +
               titleCell + "  </ss:Data></ss:Cell>\n" +
               titleCell + "  Phase </ss:Data></ss:Cell>\n" +
               titleCell + "  Phase </ss:Data></ss:Cell>\n" +
               "    </ss:Row>\n" +
               data + "    </ss:Table>\n" + std::string(kSpreadsheetFooter);
    }
    static std::string infoRow(const std::string& text) {
        return "    <ss:Row ss:StyleID=\"1\"><ss:Cell><ss:Data ss:Type=\"String\">" + text +
               " </ss:Data></ss:Cell></ss:Row>\n";
    }

    fs::path folder;
};

TEST_F(SpreadsheetExport, DigitalReportGivesTheStationsFileByteForByte) {
    EXPECT_EQ(kSpreadsheetHeader.size(), 334u);
    EXPECT_EQ(kSpreadsheetFooter.size(), 31u);

    RepetitionResults results;
    results.at(MeanAll, ResultColumn::Force) = 10.25f;
    results.at(MeanAcceleration, ResultColumn::Force) = 12.0f;
    results.at(MeanDeceleration, ResultColumn::Force) = -8.5f;
    results.at(PeakAll, ResultColumn::Torque) = 4.75f;
    const std::string file =
        spreadsheetBytes(digitalLayout, digitalReportRows(results), {"Jan Novak", kTestTime, 2});

    const std::string info = infoRow("Name: Jan Novak\r\n") + infoRow("Date: 14.11.2023  at  22:13:20\r\n") +
                             infoRow("Repetition No: 3\r\n") + infoRow(" ");
    const std::string zeros = dataRow({{"String", "P mean (W)"}, {"Number", "0.0"}, {"Number", "0.0"}, {"Number", "0.0"}});
    const std::string data =
        dataRow({{"String", "F mean (N)"}, {"Number", "10.2"}, {"Number", "12.0"}, {"Number", "-8.5"}}) + zeros +
        dataRow({{"String", "v mean (deg/s)"}, {"Number", "0.0"}, {"Number", "0.0"}, {"Number", "0.0"}}) +
        dataRow({{"String", "s (deg)"}, {"Number", "0.0"}, {"Number", "0.0"}, {"Number", "0.0"}}) +
        dataRow({{"String", "torque mean (N.m)"}, {"Number", "0.0"}, {"Number", "0.0"}, {"Number", "0.0"}}) +
        dataRow({{"String", ""}, {"String", ""}, {"String", ""}, {"String", ""}}) +
        dataRow({{"String", "F peak (N)"}, {"Number", "0.0"}, {"String", ""}, {"String", ""}}) +
        dataRow({{"String", "P peak (W)"}, {"Number", "0.0"}, {"String", ""}, {"String", ""}}) +
        dataRow({{"String", "v peak (deg/s)"}, {"Number", "0.0"}, {"String", ""}, {"String", ""}}) +
        dataRow({{"String", "torque peak (N.m)"}, {"Number", "4.8"}, {"String", ""}, {"String", ""}});
    EXPECT_EQ(file, fileWith(info, data));
}

TEST_F(SpreadsheetExport, CellsAreTrimmedPointedAndTypedByColumn) {
    const std::vector<ReportRow> cells = {
        {" 12,5 ", "-3,5", " 0,0", "1234,5"},  // a decimal-comma station's table
        {"-3.5", "abc", "", "  "},             // column 0 types by its text, 1..3 always Number
        {"x", "-1,5", "-2,5", "-3,5"},         // a minus sign in every phase column
    };
    const std::string file = spreadsheetBytes(digitalLayout, cells, {"", 0, 0});
    EXPECT_NE(file.find(dataRow({{"Number", "12.5"}, {"Number", "-3.5"}, {"Number", "0.0"}, {"Number", "1234.5"}})),
              std::string::npos);
    EXPECT_NE(file.find(dataRow({{"String", "-3.5"}, {"Number", "abc"}, {"String", ""}, {"String", ""}})),
              std::string::npos);
    EXPECT_NE(file.find(dataRow({{"String", "x"}, {"Number", "-1.5"}, {"Number", "-2.5"}, {"Number", "-3.5"}})),
              std::string::npos);

    EXPECT_TRUE(isPlainNumber(""));
    EXPECT_TRUE(isPlainNumber("0123456789."));
    for (const char* text : {"-1", "1,5", " 1", "1e3", "+1"}) EXPECT_FALSE(isPlainNumber(text)) << text;
}

TEST_F(SpreadsheetExport, EmptyNameAndUnconvertibleTime) {
    // A time the calendar cannot hold leaves the date and time empty around "  at  ".
    const std::string file = spreadsheetBytes(digitalLayout, {}, {"", INT64_MAX, 0});
    EXPECT_NE(file.find(infoRow("Name: \r\n") + infoRow("Date:   at  \r\n") + infoRow("Repetition No: 1\r\n")),
              std::string::npos);
}

TEST_F(SpreadsheetExport, TextsAreEscapedAndWrittenAsUtf8) {
    const std::string file =
        spreadsheetBytes(digitalLayout, {{"a<b>&c", "", "", ""}}, {"Smith & Jones <Lab> J\xc3\xbcrgen", 0, 0});
    EXPECT_NE(file.find("Name: Smith &amp; Jones &lt;Lab&gt; J\xc3\xbcrgen\r\n "), std::string::npos);
    EXPECT_NE(file.find(">a&lt;b&gt;&amp;c<"), std::string::npos);

    // A Latin-1 byte that is not UTF-8 (an old file's "ü") becomes the UTF-8 "ü"; a cut or
    // overlong sequence or an encoded surrogate is taken byte by byte the same way.
    EXPECT_EQ(xmlText("J\xfcrgen"), "J\xc3\xbcrgen");
    EXPECT_EQ(xmlText("\xc3"), "\xc3\x83");
    EXPECT_EQ(xmlText("\xc0\xaf"), "\xc3\x80\xc2\xaf");
    EXPECT_EQ(xmlText("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xc2\x80");
    // Characters beyond Latin-1 stay as they are.
    EXPECT_EQ(xmlText("\xc5\x81\xc3\xb3\x64\xc5\xba \xe6\x9d\x8e \xf0\x9f\x98\x80"),
              "\xc5\x81\xc3\xb3\x64\xc5\xba \xe6\x9d\x8e \xf0\x9f\x98\x80");
    // XML cannot hold these at all; tab, CR and LF it can.
    EXPECT_EQ(xmlText(std::string("a\x01\x1f\tb\r\n\x00", 8)), "a??\tb\r\n?");
    EXPECT_EQ(xmlText("\xef\xbf\xbe"), "?");
    // Plain ASCII is untouched, quotes included (they stand in element text only).
    EXPECT_EQ(xmlText("Name: \"O'Neill\" 12.5"), "Name: \"O'Neill\" 12.5");
}

TEST_F(SpreadsheetExport, ButtonWritesNonameXmlAndOpensIt) {
    std::vector<std::string> opened;
    const FileOpener opener = [&](const std::string& path) {
        opened.push_back(path);
        return true;
    };
    const fs::path path = folder / "noname.xml";
    std::string message = "untouched";

    RepetitionResults first;
    first.at(PeakAll, ResultColumn::Force) = 11.0f;
    ASSERT_TRUE(exportSpreadsheet(digitalReportRows(first), {"First", kTestTime, 0}, folder.string(), opener, &message));
    const std::string firstFile = readFile(path);
    EXPECT_EQ(firstFile, spreadsheetBytes(digitalLayout, digitalReportRows(first), {"First", kTestTime, 0}));
    EXPECT_EQ(message, "untouched");

    // The second export alone remains, and is the one opened.
    ASSERT_TRUE(exportSpreadsheet({}, {"Second", kTestTime, 1}, folder.string(), opener, &message));
    EXPECT_EQ(readFile(path), spreadsheetBytes(digitalLayout, {}, {"Second", kTestTime, 1}));
    EXPECT_EQ(opened, (std::vector<std::string>{path.string(), path.string()}));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(SpreadsheetExport, FailedWriteSaysSoKeepsTheEarlierFileAndOpensNothing) {
    int opened = 0;
    const FileOpener opener = [&](const std::string&) { return ++opened > 0; };
    std::string message;

    const fs::path missing = folder / "gone";
    EXPECT_FALSE(exportSpreadsheet({}, {"A", kTestTime, 0}, missing.string(), opener, &message));
    EXPECT_EQ(message, "Export failed: " + (missing / "noname.xml").string() + " could not be written.");
    EXPECT_EQ(opened, 0);

    // A disk that fills up halfway (here a file size limit, which holds for root too): the
    // earlier export stays whole, no half file is left, and the earlier file is not opened
    // as if it were this one.
    ASSERT_TRUE(exportSpreadsheet({}, {"Earlier", kTestTime, 0}, folder.string(), opener, &message));
    const std::string earlier = readFile(folder / "noname.xml");
    opened = 0;
    message.clear();
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = exportSpreadsheet(digitalReportRows({}), {"Later", kTestTime, 0}, folder.string(), opener, &message);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(message, "Export failed: " + (folder / "noname.xml").string() + " could not be written.");
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(readFile(folder / "noname.xml"), earlier);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace vanta
