// The printed report on real paper: its pages painted on a printer, the print preview's
// printer or a PDF file, each page in paper units through the QPainter drawing context.
#pragma once

#include <string>

#include "reports/printed_report.h"

class QPagedPaintDevice;

namespace vanta {

// Paints pages `fromPage` ... `toPage` (1-based; 0 for either end means the first or the
// last page) on a device the caller has set up, starting a new device page between
// them. False when the painter cannot start on the device.
bool paintReportPages(QPagedPaintDevice& device, const PrintedReport& report, int fromPage = 0, int toPage = 0);

// Writes every page into a PDF file on A4 with 15 mm margins (the 180 mm wide page
// fits, and the 248 mm of a full first page), through the station's safe writer: the
// file is replaced only by the whole document. False with the station's "File Save
// Error" when it cannot be written, and the system's reason in *reason.
bool writeReportPdf(const std::string& path, const PrintedReport& report, std::string* message = nullptr,
                    std::string* reason = nullptr);

}  // namespace vanta
