#include "station/screens/profile_screen.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <optional>

#include "archive/local_index.h"
#include "archive/station_facts.h"
#include "profile/profile_drawing.h"
#include "reports/page_header.h"
#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "station/subject_history.h"

namespace vanta {

namespace {

// The day of a test time as the station shows its dates.
std::string dayOf(int64_t testTime) { return formatTime(testTime, "%Y-%m-%d"); }

// The day `days` before the day of `testTime`, by the local calendar.
std::string daysBefore(int64_t testTime, int days) {
    const std::time_t t = static_cast<std::time_t>(testTime);
    std::tm local{};
    localtime_r(&t, &local);
    local.tm_mday -= days;
    local.tm_hour = 12;  // midday: a change of summer time does not move it to another day
    local.tm_isdst = -1;
    return dayOf(static_cast<int64_t>(std::mktime(&local)));
}

// Days as far as the box's span reaches back, the test in memory's day included: a month
// of training, the span a coach compares profiles over.
constexpr int kSpanDays = 30;

std::string testsText(size_t n) { return std::to_string(n) + (n == 1 ? " test" : " tests"); }

void drawProfileOrRefusal(DrawContext& dc, const Rect& area, const std::optional<Profile>& profile) {
    if (profile) {
        drawProfile(dc, area, *profile);
        return;
    }
    const int row = dc.isPrinting() ? 60 : 20;
    const int dir = area.bottom > area.top ? 1 : -1;
    dc.text(Rect{area.left, area.top, area.right, area.top + dir * row}, "Incompatible data", TextAlign::Left);
}

// The profile on paper, from a copy taken as printing starts.
class ProfileOnPaper : public PaperDrawing {
public:
    explicit ProfileOnPaper(std::optional<Profile> profile) : profile_(std::move(profile)) {}
    void draw(DrawContext& dc, const Rect& area) override { drawProfileOrRefusal(dc, area, profile_); }

private:
    std::optional<Profile> profile_;
};

}  // namespace

bool appendIndexedAttempts(std::vector<ProfileAttempt>& attempts, const std::vector<archive::IndexedTest>& tests) {
    for (const archive::IndexedTest& t : tests)
        for (const archive::IndexedRepetition& r : t.repetitions)
            if (!std::isfinite(r.load)) return false;
    for (const archive::IndexedTest& t : tests)
        for (const archive::IndexedRepetition& r : t.repetitions) attempts.push_back(profileAttemptOf(t, r));
    return true;
}

bool ProfileScreen::command(int id, Notification notification) {
    switch (id) {
        case cmd::kProfile: show(); return true;
        case cmd::kSwapSides: swapSides(); return true;
        case cmd::kProfileTestsBox:
            if (notification != Notification::SelectionChanged) return false;
            choose();
            return true;
        default: return false;
    }
}

// The index is read each time the screen is chosen, so the box offers the tests saved
// since. The box starts at the day of the test in memory: a session recorded one file per
// load is that day's tests. The subject is the test's, found as the History screen finds
// it (by the register's id where known, else name for name).
void ProfileScreen::show() {
    Station& s = context_.station;
    if (s.viewMode == kViewProfile) return;
    tests_.clear();
    chosen_ = -1;
    archive::LocalIndex index;
    HistorySubject subject{{}, s.test.subject.name};
    if (!s.paths.subjectLibraryDirectory.empty() && index.open(s.paths.subjectLibraryDirectory)) {
        subject = subjectOfTestInMemory(index, s.paths.subjectLibraryDirectory, s.test.subject.name, s.lastFilePath);
        if (!listSubjectTests(index, subject, tests_)) tests_.clear();
    }
    source_ = lab_ ? kReadingLabArchive : kThisStationsTestsOnly;
    context_.bars.showBar(kProfileBarTemplate);
    fillBox();
    s.viewMode = kViewProfile;
    context_.view.update();
    if (lab_) {
        const int ticket = ++asked_;
        lab_->subjectTests(subject.id, subject.name, [this, ticket, local = tests_](LabArchiveAnswer a) {
            if (ticket == asked_) takeLabAnswer(std::move(a), local);
        });
    }
}

// The lab's tests of the subject, and this station's that have not reached it yet: one
// test once, by its identity, oldest first. The entry chosen stays chosen.
void ProfileScreen::takeLabAnswer(LabArchiveAnswer answer, const std::vector<archive::IndexedTest>& local) {
    const Station& s = context_.station;
    if (!answer.ok) {
        source_ = kThisStationsTestsOnly;
    } else {
        std::vector<archive::IndexedTest> tests = std::move(answer.tests);
        for (const archive::IndexedTest& t : local)
            if (std::none_of(tests.begin(), tests.end(), [&](const archive::IndexedTest& l) { return l.sha256 == t.sha256; }))
                tests.push_back(t);
        std::stable_sort(tests.begin(), tests.end(),
                         [](const archive::IndexedTest& a, const archive::IndexedTest& b) { return a.testTime < b.testTime; });
        tests_ = std::move(tests);
        source_ = kFromLabArchive;
    }
    if (s.viewMode != kViewProfile) return;
    fillBox();
    context_.view.update();
}

// The choices first, then their labels with the number of tests each takes. The box
// starts at the day of the test in memory: a session recorded one file per load is that
// day's tests; filled again, it keeps the entry chosen where it is still offered.
void ProfileScreen::fillBox() {
    const Station& s = context_.station;
    const std::string before = chosen_ >= 0 && chosen_ < static_cast<int>(choices_.size()) ? choices_[chosen_].label : "";
    const std::string today = dayOf(s.test.testTime);
    std::vector<std::string> days{today};
    for (const archive::IndexedTest& t : tests_) days.push_back(dayOf(t.testTime));
    std::sort(days.begin(), days.end(), std::greater<>());
    days.erase(std::unique(days.begin(), days.end()), days.end());

    choices_.assign(1, Choice{"This test", {}, {}});
    int start = 0;
    if (!tests_.empty()) {
        for (const std::string& day : days) {
            if (day == today) start = static_cast<int>(choices_.size());
            choices_.push_back(Choice{day, day, day});
        }
        choices_.push_back(Choice{std::to_string(kSpanDays) + " days to " + today, daysBefore(s.test.testTime, kSpanDays - 1), today});
        choices_.push_back(Choice{"All tests", "0000-00-00", "9999-99-99"});
    }
    for (size_t i = 0; !before.empty() && i < choices_.size(); ++i)
        if (choices_[i].label == before) start = static_cast<int>(i);
    ListContents box;
    for (size_t i = 0; i < choices_.size(); ++i) {
        chosen_ = static_cast<int>(i);
        std::string label = choices_[i].label;
        if (i > 0) label += " (" + testsText(chosenTests().size() + (takesTestInMemory() ? 1 : 0)) + ")";
        box.entries.push_back(label);
    }
    chosen_ = start;
    box.selected = chosen_;
    entries_ = box.entries;
    context_.bars.fillBarList(cmd::kProfileTestsBox, box.entries, box.selected);
}

void ProfileScreen::choose() {
    const int chosen = context_.bars.barSelection(cmd::kProfileTestsBox);
    if (chosen < 0 || chosen >= static_cast<int>(choices_.size())) return;
    chosen_ = chosen;
    context_.view.update();
}

std::vector<archive::IndexedTest> ProfileScreen::chosenTests() const {
    std::vector<archive::IndexedTest> out;
    if (chosen_ <= 0 || chosen_ >= static_cast<int>(choices_.size())) return out;
    const Choice& c = choices_[static_cast<size_t>(chosen_)];
    const std::string& inMemory = context_.station.lastFilePath;
    for (const archive::IndexedTest& t : tests_) {
        const std::string day = dayOf(t.testTime);
        if (day >= c.first && day <= c.last && (inMemory.empty() || t.path != inMemory)) out.push_back(t);
    }
    return out;
}

bool ProfileScreen::takesTestInMemory() const {
    if (chosen_ <= 0 || chosen_ >= static_cast<int>(choices_.size())) return true;
    const Choice& c = choices_[static_cast<size_t>(chosen_)];
    const std::string day = dayOf(context_.station.test.testTime);
    return day >= c.first && day <= c.last;
}

// The tests in the order of their times (the first of equal attempts is the best one).
std::optional<Profile> ProfileScreen::profile() const {
    const Station& s = context_.station;
    std::vector<archive::IndexedTest> tests = chosenTests();
    const bool withMemory = takesTestInMemory();
    const auto later = std::partition_point(tests.begin(), tests.end(), [&](const archive::IndexedTest& t) {
        return t.testTime <= static_cast<int64_t>(s.test.testTime);
    });
    const std::vector<archive::IndexedTest> after(later, tests.end());
    tests.erase(later, tests.end());
    std::vector<ProfileAttempt> attempts;
    if (!appendIndexedAttempts(attempts, tests)) return std::nullopt;
    if (withMemory && !appendTestAttempts(attempts, s.test, s.lastFilePath)) return std::nullopt;
    if (!appendIndexedAttempts(attempts, after)) return std::nullopt;
    return buildProfile(attempts, s.settings.sidesSwapped != 0);
}

void ProfileScreen::swapSides() {
    uint8_t& swapped = context_.station.settings.sidesSwapped;
    swapped = swapped ? 0 : 1;
    // The data folder says it too, at once: the tests indexed from it from now on (also
    // by an index built again, archive index --data) name their sides so.
    archive::keepStationSides(context_.station.paths.subjectLibraryDirectory, swapped != 0);
    context_.view.update();
}

// The profile takes the whole view below the header: a larger window, larger plots.
void ProfileScreen::draw(DrawContext& dc) {
    const Rect client = context_.view.clientRect();
    const Rect area{kProfileScreenRect.left, kProfileScreenRect.top, std::max(kProfileScreenRect.right, client.right - 10),
                    std::max(kProfileScreenRect.bottom, client.bottom - 5)};
    Rect below = area;
    // Where the box's tests came from, in the row above the profile.
    if (!source_.empty()) {
        dc.text(Rect{area.left, area.top, area.right, area.top + 18}, sourceLine(source_), TextAlign::Right);
        below.top += 20;
    }
    drawProfileOrRefusal(dc, below, profile());
}

std::optional<PageHeaderTexts> ProfileScreen::pageHeader() const {
    const TestRecord& t = context_.station.test;
    PageHeaderTexts h;
    h.left = "Name: " + t.subject.name;
    if (chosen_ > 0) {
        // Across tests: how many and the days they span.
        std::vector<std::string> days;
        for (const archive::IndexedTest& x : chosenTests()) days.push_back(dayOf(x.testTime));
        if (takesTestInMemory()) days.push_back(dayOf(t.testTime));
        std::sort(days.begin(), days.end());
        h.right = testsText(days.size());
        if (!days.empty()) h.right += days.front() == days.back() ? " of " + days.front() : ", " + days.front() + " to " + days.back();
        return h;
    }
    const int n = t.repetitionCount;
    h.right = std::to_string(n) + (n == 1 ? " attempt" : " attempts") + ", test of " + formatTime(t.testTime, "%Y-%m-%d %H:%M");
    return h;
}

void ProfileScreen::fillPrintJob(PrintJob& job) const { job.setDrawing(std::make_unique<ProfileOnPaper>(profile())); }

}  // namespace vanta
