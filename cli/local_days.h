// The whole days of --from and --to: the station's dates are local time.
#pragma once

#include <cstdint>
#include <string>

namespace vanta::cli {

// "YYYY-MM-DD" as the first second of that day in local time, false for anything else.
bool parseDay(const std::string& text, int64_t& seconds);

// The first second of the day after the one that starts at `dayStart` (so --to includes
// its day whatever length daylight saving gives it).
int64_t nextDay(int64_t dayStart);

}  // namespace vanta::cli
