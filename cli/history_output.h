// vantacheck-cli history as text and as JSON.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "history/history.h"

namespace vanta::cli {

std::string historyText(const History& history);
// {"subject": ..., "sem": {"left": ..., "right": ...}, "mdc95": {...}, "tests": [...],
// "changes": [...], "subjectId": ...}, every number at full double precision, null where
// there is none; each change says its "kind": "consecutive" or "firstToLatest".
std::string historyJson(const History& history, const std::string& subjectId = "");

// The one subject id the tests carry ("" when none does, or they carry different ones:
// then no single id stands for them).
std::string subjectIdOf(const std::vector<archive::IndexedTest>& tests);

}  // namespace vanta::cli
