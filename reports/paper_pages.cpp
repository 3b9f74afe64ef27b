#include "reports/paper_pages.h"

#include <cstring>

#include <QBuffer>
#include <QByteArray>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

#include <algorithm>

#include "canvas/qpainter_draw_context.h"
#include "storage/atomic_file.h"
#include "storage/test_file.h"

namespace vanta {

bool paintReportPages(QPagedPaintDevice& device, const PrintedReport& report, int fromPage, int toPage) {
    // The page count is fixed when printing starts, from the rows read then.
    const int pageCount = printedPageCount(report);
    const int first = fromPage > 0 ? std::min(fromPage, pageCount) : 1;
    const int last = toPage > 0 ? std::min(toPage, pageCount) : pageCount;

    QPainter painter;
    if (!painter.begin(&device)) return false;
    // The pages are 180 mm wide; on wider paper they stand in the middle of the printable
    // area rather than against its left margin.
    const double unitsToDevice = device.logicalDpiX() / 254.0;
    const double spare = device.width() - kPrintedPageWidth * unitsToDevice;
    const double left = spare > 0 ? spare / 2 : 0.0;
    for (int page = first; page <= last; ++page) {
        if (page > first) device.newPage();
        painter.resetTransform();
        painter.translate(left, 0);
        QPainterDrawContext dc = QPainterDrawContext::forPaper(painter);
        printReportPage(dc, report, page, pageCount);
    }
    return painter.end();
}

bool writeReportPdf(const std::string& path, const PrintedReport& report, std::string* message, std::string* reason) {
    // The document is made in memory and handed whole to the station's one safe writer,
    // so a report that fails half way never replaces an earlier one.
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        writer.setTitle(QString::fromUtf8(printedTitle(report.screen)));
        writer.setCreator(QStringLiteral("vantacheck"));
        if (!paintReportPages(writer, report)) pdf.clear();
    }
    int error = 0;
    if (pdf.isEmpty() ||
        !writeFileAtomically(path, std::string_view(pdf.constData(), static_cast<size_t>(pdf.size())), &error)) {
        if (message) *message = std::string(kMsgFileSaveError);
        if (reason) *reason = pdf.isEmpty() ? "the pages could not be drawn" : std::strerror(error);
        return false;
    }
    return true;
}

}  // namespace vanta
