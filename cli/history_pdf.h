// The history's page as a PDF file, in vantacheck-serial-and-pdf (drawn with Qt).
#pragma once

#include <string>

#include "history/history.h"

namespace vanta::cli {

// The page Print draws on the History screen, into `path`.
bool writeHistoryPdf(const std::string& path, const History& history, std::string* message);

}  // namespace vanta::cli
