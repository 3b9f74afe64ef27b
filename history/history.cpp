#include "history/history.h"

#include <algorithm>
#include <cmath>

namespace vanta {

namespace {

bool sameLoad(double a, double b) { return std::fabs(a - b) <= kSameLoadKg; }

struct Group {
    double load = 0.0;
    std::vector<double> powers;
};

HistoryLoad summarise(const Group& g) {
    HistoryLoad h;
    h.load = g.load;
    h.attempts = static_cast<int>(g.powers.size());
    double sum = 0.0;
    h.bestPeakPower = g.powers.front();
    for (double p : g.powers) {
        sum += p;
        h.bestPeakPower = std::max(h.bestPeakPower, p);
    }
    h.meanPeakPower = sum / h.attempts;
    if (h.attempts >= 2) {
        double squares = 0.0;
        for (double p : g.powers) squares += (p - h.meanPeakPower) * (p - h.meanPeakPower);
        h.variance = squares / (h.attempts - 1);
    }
    return h;
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
    if (const auto mdc = h.mdc95Of(side)) c.beyondError = std::fabs(c.watts) > *mdc;
    return c;
}

}  // namespace

double mdc95Factor() { return 1.96 * std::sqrt(2.0); }

History buildHistory(std::vector<archive::IndexedTest> tests, const std::string& subject, bool sidesSwapped) {
    std::stable_sort(tests.begin(), tests.end(), [](const archive::IndexedTest& a, const archive::IndexedTest& b) {
        return a.testTime != b.testTime ? a.testTime < b.testTime : a.path < b.path;
    });
    History h;
    h.subject = subject;
    for (const archive::IndexedTest& t : tests) {
        std::vector<Group> groups[2];
        for (const archive::IndexedRepetition& r : t.repetitions) {
            const std::optional<Side> side = sideOfDirection(r.direction, sidesSwapped);
            // The analysis leaves the results as they were when it finds no velocity peak.
            if (!side || r.velocityPeakIndex <= 0 || !(r.load > 0.0) || !std::isfinite(r.load)) {
                ++h.leftOut;
                continue;
            }
            std::vector<Group>& g = groups[static_cast<int>(*side)];
            auto it = std::find_if(g.begin(), g.end(), [&](const Group& x) { return sameLoad(x.load, r.load); });
            if (it == g.end()) it = g.insert(g.end(), Group{r.load, {}});
            it->powers.push_back(r.at(PeakAll, ResultColumn::Power));
        }
        HistoryTest ht;
        ht.file = t.path;
        ht.testTime = t.testTime;
        for (int s = 0; s < 2; ++s) {
            std::sort(groups[s].begin(), groups[s].end(), [](const Group& a, const Group& b) { return a.load < b.load; });
            for (const Group& g : groups[s]) ht.sides[s].push_back(summarise(g));
        }
        h.tests.push_back(std::move(ht));
    }

    // SEM = sqrt( sum (n - 1) s^2 / sum (n - 1) ) over the side's groups of two attempts or
    // more; one such group alone says too little about the spread to judge by.
    for (int s = 0; s < 2; ++s) {
        double weighted = 0.0, freedom = 0.0;
        int groupsWithSpread = 0;
        for (const HistoryTest& t : h.tests)
            for (const HistoryLoad& l : t.sides[s]) {
                if (!l.variance) continue;
                weighted += (l.attempts - 1) * *l.variance;
                freedom += l.attempts - 1;
                ++groupsWithSpread;
            }
        if (groupsWithSpread < 2) continue;
        h.sem[s] = std::sqrt(weighted / freedom);
        h.mdc95[s] = mdc95Factor() * *h.sem[s];
    }

    // Per side and load (the loads in the order they were first tested): each test that
    // has it against the one before that had it, then the first against the latest.
    for (int s = 0; s < 2; ++s) {
        const Side side = static_cast<Side>(s);
        std::vector<double> loads;
        for (const HistoryTest& t : h.tests)
            for (const HistoryLoad& l : t.sides[s])
                if (std::none_of(loads.begin(), loads.end(), [&](double x) { return sameLoad(x, l.load); }))
                    loads.push_back(l.load);
        std::sort(loads.begin(), loads.end());
        for (double load : loads) {
            std::vector<std::pair<size_t, const HistoryLoad*>> seen;
            for (size_t i = 0; i < h.tests.size(); ++i)
                for (const HistoryLoad& l : h.tests[i].sides[s])
                    if (sameLoad(l.load, load)) {
                        seen.emplace_back(i, &l);
                        break;
                    }
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
    return h;
}

}  // namespace vanta
