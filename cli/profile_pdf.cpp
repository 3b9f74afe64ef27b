#include "cli/profile_pdf.h"

#include "profile/profile_drawing.h"
#include "reports/paper_pages.h"
#include "reports/printed_report.h"

namespace vanta::cli {

namespace {

class ProfileOnPaper : public PaperDrawing {
public:
    explicit ProfileOnPaper(const Profile& profile) : profile_(profile) {}
    void draw(DrawContext& dc, const Rect& area) override { drawProfile(dc, area, profile_); }

private:
    const Profile& profile_;
};

}  // namespace

bool writeProfilePdf(const std::string& path, const Profile& profile, const PageHeaderTexts& header,
                     std::string* message) {
    const auto app = guiForPdf();
    ProfileOnPaper drawing(profile);
    PrintedReport report;
    report.screen = PrintedScreen::Profile;
    report.header = header;
    report.drawing = &drawing;
    return writeReportPdf(path, report, message);
}

}  // namespace vanta::cli
