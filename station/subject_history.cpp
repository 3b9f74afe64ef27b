#include "station/subject_history.h"

namespace vanta {

std::vector<HistoryTestAttempts> historyAttemptsOf(const std::vector<archive::IndexedTest>& tests) {
    std::vector<HistoryTestAttempts> out;
    out.reserve(tests.size());
    for (const archive::IndexedTest& t : tests) {
        HistoryTestAttempts h;
        h.file = t.path;
        h.testTime = t.testTime;
        for (const archive::IndexedRepetition& r : t.repetitions) {
            HistoryAttempt a;
            a.direction = r.direction;
            a.load = r.load;
            // The analysis leaves the results as they were when it finds no velocity peak.
            a.hasPeak = r.velocityPeakIndex > 0;
            a.peakPower = r.at(PeakAll, ResultColumn::Power);
            h.attempts.push_back(a);
        }
        out.push_back(std::move(h));
    }
    return out;
}

}  // namespace vanta
