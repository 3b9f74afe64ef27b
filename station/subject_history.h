// A subject's history from the station's index of its tests: the index's rows as the
// history takes them. The History screen and vantacheck-cli history read the index alike.
#pragma once

#include <vector>

#include "archive/archive_types.h"
#include "history/history.h"

namespace vanta {

// Each test with its repetitions, in the order the index gave them.
std::vector<HistoryTestAttempts> historyAttemptsOf(const std::vector<archive::IndexedTest>& tests);

}  // namespace vanta
