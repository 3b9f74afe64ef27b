#include "cli/local_days.h"

#include <ctime>

#include "cli/commands.h"

namespace vanta::cli {

// "YYYY-MM-DD" as the first second of that day in local time (the station's dates are
// local), false for anything else.
bool parseDay(const std::string& text, int64_t& seconds) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    long long y = 0, m = 0, d = 0;
    if (!parseInteger(text.substr(0, 4), 1970, 9999, y) || !parseInteger(text.substr(5, 2), 1, 12, m) ||
        !parseInteger(text.substr(8, 2), 1, 31, d))
        return false;
    std::tm t{};
    t.tm_year = static_cast<int>(y) - 1900;
    t.tm_mon = static_cast<int>(m) - 1;
    t.tm_mday = static_cast<int>(d);
    t.tm_isdst = -1;
    const std::time_t at = std::mktime(&t);
    // mktime moves 31 February on to March: such a day is refused, not shifted.
    if (at == static_cast<std::time_t>(-1) || t.tm_mday != d || t.tm_mon != m - 1) return false;
    seconds = at;
    return true;
}

int64_t nextDay(int64_t dayStart) {
    std::time_t at = static_cast<std::time_t>(dayStart);
    std::tm t{};
    localtime_r(&at, &t);
    t.tm_mday += 1;
    t.tm_hour = 0;
    t.tm_min = 0;
    t.tm_sec = 0;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

}  // namespace vanta::cli
