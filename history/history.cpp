#include "history/history.h"

#include <algorithm>
#include <cmath>

namespace vanta {

namespace {

// An attempt the history can place: a peak, a side and a load above 0. The analysis
// leaves the results as they were when it finds no velocity peak.
std::optional<Side> placedSide(const HistoryAttempt& a, bool sidesSwapped) {
    if (!a.hasPeak || !(a.load > 0.0) || !std::isfinite(a.load)) return std::nullopt;
    return sideOfDirection(a.direction, sidesSwapped);
}

// Every load the subject was tested at, on either side, grouped once for all tests.
std::vector<double> loadGroups(const std::vector<HistoryTestAttempts>& tests, bool sidesSwapped) {
    std::vector<double> loads;
    for (const HistoryTestAttempts& t : tests)
        for (const HistoryAttempt& a : t.attempts)
            if (placedSide(a, t.sidesSwapped.value_or(sidesSwapped))) loads.push_back(a.load);
    return distinctLoads(std::move(loads));
}

HistoryLoad summarise(double load, const std::vector<double>& powers) {
    HistoryLoad h;
    h.load = load;
    h.attempts = static_cast<int>(powers.size());
    double sum = 0.0;
    h.bestPeakPower = powers.front();
    for (double p : powers) {
        sum += p;
        h.bestPeakPower = std::max(h.bestPeakPower, p);
    }
    h.meanPeakPower = sum / h.attempts;
    if (h.attempts >= 2) {
        double squares = 0.0;
        for (double p : powers) squares += (p - h.meanPeakPower) * (p - h.meanPeakPower);
        h.variance = squares / (h.attempts - 1);
    }
    return h;
}

// One test's groups per side, ascending load; the attempts it cannot place are counted.
HistoryTest historyTestOf(const HistoryTestAttempts& t, const std::vector<double>& groups, bool sidesSwapped,
                          int& leftOut) {
    std::vector<std::vector<double>> powers[2];
    for (auto& side : powers) side.resize(groups.size());
    for (const HistoryAttempt& a : t.attempts) {
        const std::optional<Side> side = placedSide(a, t.sidesSwapped.value_or(sidesSwapped));
        if (!side) {
            ++leftOut;
            continue;
        }
        powers[static_cast<int>(*side)][*loadGroupOf(groups, a.load)].push_back(a.peakPower);
    }
    HistoryTest ht;
    ht.file = t.file;
    ht.testTime = t.testTime;
    for (int s = 0; s < 2; ++s)
        for (size_t g = 0; g < groups.size(); ++g)
            if (!powers[s][g].empty()) ht.sides[s].push_back(summarise(groups[g], powers[s][g]));
    return ht;
}

// SEM = sqrt( sum (n - 1) s^2 / sum (n - 1) ) over the side and load's groups of two
// attempts or more: pooled, so a group of five attempts weighs four times a group of two.
void poolErrors(History& h, const std::vector<double>& groups) {
    for (int s = 0; s < 2; ++s)
        for (double load : groups) {
            HistoryError e;
            e.side = static_cast<Side>(s);
            e.load = load;
            double weighted = 0.0;
            bool tested = false;
            for (const HistoryTest& t : h.tests)
                for (const HistoryLoad& l : t.sides[s]) {
                    if (l.load != load) continue;
                    tested = true;
                    if (!l.variance) continue;
                    weighted += (l.attempts - 1) * *l.variance;
                    e.freedom += l.attempts - 1;
                    ++e.testsWithRepeats;
                }
            if (!tested) continue;
            if (e.freedom > 0) {
                e.sem = std::sqrt(weighted / e.freedom);
                e.mdc95 = mdc95Factor() * *e.sem;
            }
            h.errors.push_back(e);
        }
}

HistoryChange changeBetween(Side side, const History& h, size_t from, const HistoryLoad& a, size_t to,
                            const HistoryLoad& b) {
    HistoryChange c;
    c.side = side;
    c.load = a.load;
    c.from = from;
    c.to = to;
    c.watts = b.meanPeakPower - a.meanPeakPower;
    c.percent = c.watts / a.meanPeakPower * 100.0;
    if (const HistoryError* e = h.errorAt(side, a.load); e && e->mdc95) {
        c.mdc95 = e->mdc95;
        c.beyondError = std::fabs(c.watts) > *e->mdc95;
    }
    return c;
}

// Per side and load, ascending: each test that has it against the one before that had
// it, then the first against the latest.
void judgeChanges(History& h, const std::vector<double>& groups) {
    for (int s = 0; s < 2; ++s) {
        const Side side = static_cast<Side>(s);
        for (double load : groups) {
            std::vector<std::pair<size_t, const HistoryLoad*>> seen;
            for (size_t i = 0; i < h.tests.size(); ++i)
                for (const HistoryLoad& l : h.tests[i].sides[s])
                    if (l.load == load) seen.emplace_back(i, &l);
            for (size_t k = 1; k < seen.size(); ++k)
                h.changes.push_back(
                    changeBetween(side, h, seen[k - 1].first, *seen[k - 1].second, seen[k].first, *seen[k].second));
            if (seen.size() > 2) {
                h.changes.push_back(
                    changeBetween(side, h, seen.front().first, *seen.front().second, seen.back().first, *seen.back().second));
                h.changes.back().firstToLatest = true;
            }
        }
    }
}

}  // namespace

double mdc95Factor() { return 1.96 * std::sqrt(2.0); }

const HistoryError* History::errorAt(Side s, double load) const {
    for (const HistoryError& e : errors)
        if (e.side == s && e.load == load) return &e;
    return nullptr;
}

History buildHistory(std::vector<HistoryTestAttempts> tests, const std::string& subject, bool sidesSwapped) {
    std::stable_sort(tests.begin(), tests.end(), [](const HistoryTestAttempts& a, const HistoryTestAttempts& b) {
        return a.testTime != b.testTime ? a.testTime < b.testTime : a.file < b.file;
    });
    const std::vector<double> groups = loadGroups(tests, sidesSwapped);
    History h;
    h.subject = subject;
    for (const HistoryTestAttempts& t : tests) h.tests.push_back(historyTestOf(t, groups, sidesSwapped, h.leftOut));
    poolErrors(h, groups);
    judgeChanges(h, groups);
    return h;
}

}  // namespace vanta
