// The profile's page as a PDF file, in vantacheck-serial-and-pdf (drawn with Qt).
#pragma once

#include <memory>
#include <string>

#include <QGuiApplication>

#include "profile/profile.h"
#include "reports/page_header.h"

namespace vanta::cli {

// The GUI application object the PDF painter and the fonts need, without a window.
std::unique_ptr<QGuiApplication> guiForPdf();

// The page Print draws on the Profile screen, with the header given, into `path`.
bool writeProfilePdf(const std::string& path, const Profile& profile, const PageHeaderTexts& header,
                     std::string* message);

}  // namespace vanta::cli
