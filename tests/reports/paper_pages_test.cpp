// The printed report on real pages: a PDF file read back with pdftotext, page by page.
#include "reports/paper_pages.h"

#include <QDir>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vanta {
namespace {

// The text of one page, runs of blanks and line breaks as one blank.
std::string pageText(const QString& pdf, int page) {
    QProcess pdftotext;
    const QString p = QString::number(page);
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), p, QStringLiteral("-l"), p, pdf, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0) return "(pdftotext failed)";
    return QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified().toStdString();
}

PrintedReport tableOf(int rows) {
    PrintedReport report;
    report.screen = PrintedScreen::DigitalReport;
    report.header = pageHeaderTexts("Ann Lee", 0, 5.0, 0);
    report.table = digitalPrintedTable({});
    for (int i = 0; i < rows; ++i) report.table.rows.push_back({"row" + std::to_string(i), "1.0", "2.0", "3.0"});
    return report;
}

bool has(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

TEST(PaperPages, EveryPageOnItsOwnSheetAndAChosenRangeAlone) {
    QTemporaryDir dir;
    const QString pdf = QDir(dir.path()).filePath(QStringLiteral("report.pdf"));
    std::string message;
    ASSERT_TRUE(writeReportPdf(pdf.toStdString(), tableOf(25), &message)) << message;

    const std::string first = pageText(pdf, 1), second = pageText(pdf, 2);
    EXPECT_TRUE(has(first, "Page: 1/2") && has(first, "Name: Ann Lee") && has(first, "row23")) << first;
    EXPECT_FALSE(has(first, "row24")) << first;
    EXPECT_TRUE(has(second, "Page: 2/2") && has(second, "row24")) << second;
    EXPECT_FALSE(has(second, "Name: Ann Lee")) << second;
    EXPECT_EQ(pageText(pdf, 3), "(pdftotext failed)") << "two pages, no more";

    // Page 2 of 3 alone, as a print dialog's page range asks.
    const QString range = QDir(dir.path()).filePath(QStringLiteral("range.pdf"));
    {
        QPdfWriter writer(range);
        ASSERT_TRUE(paintReportPages(writer, tableOf(52), 2, 2));
    }
    const std::string only = pageText(range, 1);
    EXPECT_TRUE(has(only, "Page: 2/3") && has(only, "row24") && has(only, "row50")) << only;
    EXPECT_FALSE(has(only, "row51")) << only;
    EXPECT_EQ(pageText(range, 2), "(pdftotext failed)");
}

TEST(PaperPages, AFileThatCannotBeWrittenIsAFileSaveError) {
    QTemporaryDir dir;
    std::string message;
    EXPECT_FALSE(writeReportPdf(QDir(dir.path()).filePath(QStringLiteral("no/such/folder.pdf")).toStdString(),
                                tableOf(10), &message));
    EXPECT_EQ(message, "File Save Error");
}

}  // namespace
}  // namespace vanta
