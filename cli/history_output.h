// vantacheck-cli history as text and as JSON.
#pragma once

#include <string>

#include "history/history.h"

namespace vanta::cli {

std::string historyText(const History& history);
// {"subject": ..., "sem": {"left": ..., "right": ...}, "mdc95": {...}, "tests": [...],
// "changes": [...]}, every number at full double precision, null where there is none.
std::string historyJson(const History& history);

}  // namespace vanta::cli
