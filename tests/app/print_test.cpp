// Print, Print Preview and Print Setup in the window: the test answers the dialogs in place
// of the operator, prints into a PDF file as the print dialog's "Print to File (PDF)" does
// on a machine without printers, and reads the page back with pdftotext.
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include "app/dialog_bar.h"
#include "app/station_view.h"
#include "station/command_ids.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

// The page's text, one printed line per line, runs of blanks as one.
QStringList pdfLines(const QString& path) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), path, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(30000)) return {};
    QStringList lines;
    for (const QString& line : QString::fromUtf8(pdftotext.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty()) lines << line.simplified();
    return lines;
}

// What the print commands must leave as they found it.
struct ViewState {
    int viewMode, resultsAvailable, currentRepetition, selectedRepetition, barTemplate;
    bool operator==(const ViewState&) const = default;
};

}  // namespace

class PrintTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

    ViewState stateOf(StationFixture& f) {
        const Station& s = f.station();
        const DialogBar* bar = f.frame().currentBar();
        return {s.viewMode, s.resultsAvailable, s.currentRepetition, s.selectedRepetition, bar ? bar->templateId() : 0};
    }

    // Opens a three-repetition test, as the operator does with File > Open.
    void openTest(StationFixture& f) {
        f.writeSettings(0);
        const std::string path = f.writeTestFileWith(3, "ann.kvq", "Ann Lee");
        QVERIFY(f.start());
        f.dialogs.openAnswers.push_back(path);
        f.frame().action(cmd::kFileOpen)->trigger();
        QCOMPARE(f.station().resultsAvailable, 1);
    }

private slots:
    void initTestCase() {
        redirectUserFolders(home_);
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QFAIL("pdftotext is missing: scripts/setup.sh installs poppler-utils");
    }

    void printTheDigitalReportIntoAPdfFile() {
        StationFixture f;
        openTest(f);
        f.frame().action(cmd::kDigitalReport)->trigger();
        const ViewState before = stateOf(f);

        ReportPrinter& printer = f.frame().view().reportPrinter();
        const QString pdf = QDir(f.root.path()).filePath(QStringLiteral("report.pdf"));
        int pagesOffered = 0;
        printer.runDialog = [&](QDialog& dialog) {
            auto* print = qobject_cast<QPrintDialog*>(&dialog);
            if (!print) return false;
            pagesOffered = print->maxPage();
            print->printer()->setOutputFormat(QPrinter::PdfFormat);
            print->printer()->setOutputFileName(pdf);
            return true;
        };
        QAction* print = f.frame().action(cmd::kFilePrint);
        QCOMPARE(print->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
        print->trigger();

        QCOMPARE(pagesOffered, 1);
        const QStringList lines = pdfLines(pdf);
        QVERIFY2(lines.contains(QStringLiteral("DIGITAL REPORT Page: 1/1")), qPrintable(lines.join('\n')));
        QVERIFY2(lines.contains(QStringLiteral("Total Acceleration Phase Deceleration Phase")), qPrintable(lines.join('\n')));
        QCOMPARE(lines.filter(QStringLiteral("Name: Ann Lee")).size(), 1);
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^F mean \\(N\\) -?\\d+\\.\\d -?\\d+\\.\\d -?\\d+\\.\\d$"))).size(), 1);
        QVERIFY(stateOf(f) == before);

        // Cancelling the print dialog prints nothing.
        QFile::remove(pdf);
        printer.runDialog = [](QDialog&) { return false; };
        print->trigger();
        QVERIFY(!QFile::exists(pdf));
    }

    void previewShowsTheScreenOnShowAndItsPrintButtonPrintsIt() {
        StationFixture f;
        openTest(f);
        f.station().currentRepetition = 2;  // the header names the view's current repetition
        const ViewState before = stateOf(f);

        ReportPrinter& printer = f.frame().view().reportPrinter();
        const QString pdf = QDir(f.root.path()).filePath(QStringLiteral("preview.pdf"));
        printer.printer().setOutputFormat(QPrinter::PdfFormat);
        printer.printer().setOutputFileName(pdf);
        int previewPages = -1;
        printer.runDialog = [&](QDialog& dialog) {
            auto* preview = dialog.findChild<QPrintPreviewWidget*>();
            if (!qobject_cast<QPrintPreviewDialog*>(&dialog) || !preview) return false;
            preview->updatePreview();
            previewPages = preview->pageCount();
            preview->print();  // the preview's print button
            return true;
        };
        f.frame().action(cmd::kFilePrintPreview)->trigger();

        QCOMPARE(previewPages, 1);
        const QStringList lines = pdfLines(pdf);
        QVERIFY2(lines.size() == 2, qPrintable(lines.join('\n')));
        QCOMPARE(lines[0], QStringLiteral("ERROR Page: 1/1"));
        QVERIFY2(lines[1].startsWith(QStringLiteral("Name: Ann Lee Date: ")), qPrintable(lines[1]));
        QVERIFY2(lines[1].endsWith(QStringLiteral("No: 3")), qPrintable(lines[1]));
        QVERIFY(stateOf(f) == before);
    }

    void printSetupSetsUpThePrinterOfTheNextPrint() {
        StationFixture f;
        openTest(f);
        f.frame().action(cmd::kDigitalReport)->trigger();
        const ViewState before = stateOf(f);
        ReportPrinter& printer = f.frame().view().reportPrinter();
        QPrinter* setUp = nullptr;
        printer.runDialog = [&](QDialog& dialog) {
            if (auto* setup = qobject_cast<QPageSetupDialog*>(&dialog)) setUp = setup->printer();
            return true;
        };
        f.frame().action(cmd::kFilePrintSetup)->trigger();
        QCOMPARE(setUp, &printer.printer());
        QVERIFY(stateOf(f) == before);
    }
};

QTEST_MAIN(PrintTest)
#include "print_test.moc"
