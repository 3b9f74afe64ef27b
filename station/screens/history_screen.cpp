#include "station/screens/history_screen.h"

#include <algorithm>
#include <cmath>

#include "archive/local_index.h"
#include "history/history_drawing.h"
#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "station/subject_history.h"

namespace vanta {

namespace {

// Why there is no history, on paper as on the screen.
class RefusalOnPaper : public PaperDrawing {
public:
    explicit RefusalOnPaper(std::string refusal) : refusal_(std::move(refusal)) {}
    void draw(DrawContext& dc, const Rect& area) override {
        dc.text(Rect{area.left, area.top, area.right, area.top - 60}, refusal_, TextAlign::Left);
    }

private:
    std::string refusal_;
};

// Every load of the history once, ascending.
std::vector<double> loadsOf(const History& h) {
    std::vector<double> loads;
    for (const HistoryTest& t : h.tests)
        for (const auto& side : t.sides)
            for (const HistoryLoad& l : side) loads.push_back(l.load);
    return distinctLoads(std::move(loads));
}

}  // namespace

bool HistoryScreen::command(int id, Notification notification) {
    switch (id) {
        case cmd::kHistory: show(); return true;
        case cmd::kHistoryLoadBox:
            if (notification != Notification::SelectionChanged) return false;
            chooseLoad();
            return true;
        default: return false;
    }
}

// The index is read each time the screen is chosen, so it shows the tests saved since;
// the box starts again at "All loads" with the loads found.
// The subject is the test's, found by the register's id where it is known, so a subject
// renamed since keeps every earlier test; otherwise name for name: a search by part of a
// name would mix in "Anna" with "Ann".
// Where a server is set, the lab's archive is asked as well (never on this thread): the
// index's rows are on show at once, "reading the lab's archive..." above them, and the
// lab's rows replace them when they come; when the server cannot be reached the screen
// says the rows are this station's only.
void HistoryScreen::show() {
    Station& s = context_.station;
    history_.reset();
    refusal_.clear();
    loads_.clear();
    load_.reset();
    first_ = 0;
    archive::LocalIndex index;
    std::vector<archive::IndexedTest> tests;
    const bool indexRead = index.open(s.paths.subjectLibraryDirectory);
    // The athlete chosen in the register, who may not be the saved test's on show.
    const std::optional<ChosenSubject> chosen =
        context_.chosenSubject && s.settings.subjectLibraryMode != 0 ? context_.chosenSubject() : std::nullopt;
    if (chosen && !chosen->name.empty() && chosen->name != s.test.subject.name)
        subject_ = HistorySubject{chosen->key, chosen->name};
    else
        subject_ = indexRead ? subjectOfTestInMemory(index, s.paths.subjectLibraryDirectory, s.test.subject.name,
                                                     s.lastFilePath)
                             : HistorySubject{{}, s.test.subject.name};
    if (!indexRead || !listSubjectTests(index, subject_, tests)) {
        refusal_ = "The test index cannot be read: " + index.lastMessage();
    } else {
        history_ = buildHistory(historyAttemptsOf(tests), subject_.name, s.settings.sidesSwapped != 0);
        loads_ = loadsOf(*history_);
    }
    source_ = lab_ ? kReadingLabArchive : kNoArchiveServer;
    context_.bars.showBar(kHistoryBarTemplate);
    const ListContents box = historyLoadContents(loads_);
    context_.bars.fillBarList(cmd::kHistoryLoadBox, box.entries, box.selected);
    s.viewMode = kViewHistory;
    context_.view.update();
    if (lab_) {
        const int ticket = ++asked_;
        lab_->subjectTests(subject_.id, subject_.name, [this, ticket, local = std::move(tests)](LabArchiveAnswer a) {
            if (ticket == asked_) takeLabAnswer(std::move(a), local);
        });
    }
}

// The lab's rows, and this station's tests that have not reached the server yet (they
// wait in the outbox): one test once, by its identity.
void HistoryScreen::takeLabAnswer(LabArchiveAnswer answer, const std::vector<archive::IndexedTest>& local) {
    const Station& s = context_.station;
    if (!answer.ok) {
        source_ = kFromThisStationOnly;
    } else {
        std::vector<archive::IndexedTest> tests = std::move(answer.tests);
        for (const archive::IndexedTest& t : local)
            if (std::none_of(tests.begin(), tests.end(), [&](const archive::IndexedTest& l) { return l.sha256 == t.sha256; }))
                tests.push_back(t);
        history_ = buildHistory(historyAttemptsOf(tests), subject_.name, s.settings.sidesSwapped != 0);
        refusal_.clear();
        source_ = kFromLabArchive;
        fillLoads();
    }
    if (s.viewMode == kViewHistory) context_.view.update();
}

// The box again with the lab's loads; the load chosen meanwhile stays chosen where the
// lab's tests have it.
void HistoryScreen::fillLoads() {
    loads_ = loadsOf(*history_);
    ListContents box = historyLoadContents(loads_);
    std::optional<double> kept;
    for (size_t i = 0; load_ && i < loads_.size(); ++i)
        if (std::fabs(loads_[i] - *load_) <= kSameLoadKg) {
            kept = loads_[i];
            box.selected = static_cast<int>(i) + 1;
        }
    load_ = kept;
    if (context_.station.viewMode == kViewHistory) context_.bars.fillBarList(cmd::kHistoryLoadBox, box.entries, box.selected);
}

// Entry 0 is "All loads"; entry n the n-th load of the box.
void HistoryScreen::chooseLoad() {
    const int chosen = context_.bars.barSelection(cmd::kHistoryLoadBox);
    if (chosen < 0 || chosen > static_cast<int>(loads_.size())) return;
    load_ = chosen == 0 ? std::nullopt : std::optional<double>(loads_[chosen - 1]);
    first_ = 0;
    context_.view.update();
}

Rect HistoryScreen::area() const {
    const Rect client = context_.view.clientRect();
    return Rect{kHistoryScreenRect.left, kHistoryScreenRect.top, std::max(kHistoryScreenRect.right, client.right - 10),
                std::max(kHistoryScreenRect.bottom, client.bottom - 5)};
}

// The history's own part of the view: below the line that says where its rows came from.
Rect HistoryScreen::historyArea() const {
    Rect r = area();
    if (!source_.empty()) r.top += 20;
    return r;
}

void HistoryScreen::draw(DrawContext& dc) {
    const Rect whole = area();
    // Where the rows came from, in the row above the history.
    if (!source_.empty())
        dc.text(Rect{whole.left, whole.top, whole.right, whole.top + 18}, sourceLine(source_), TextAlign::Right);
    const Rect r = historyArea();
    if (!history_) {
        dc.text(Rect{r.left, r.top, r.right, r.top + 20}, refusal_, TextAlign::Left);
        return;
    }
    const HistoryPart part = drawHistory(dc, r, *history_, load_, first_);
    shownEnd_ = part.next;
    blocks_ = part.count;
}

// Lines: the mouse wheel and the arrow keys; pages: Page Up and Page Down, a page being
// what the view showed last.
void HistoryScreen::scroll(int steps, bool pages) {
    if (!history_) return;
    const int shown = std::max(1, shownEnd_ - first_);
    // The furthest down is the last full view, footer and all, never one line alone.
    const int last = historyLastViewStart(historyArea(), *history_, load_);
    const int before = first_;
    first_ = std::clamp(first_ + (pages ? steps * shown : steps), 0, last);
    if (first_ != before) context_.view.update();
}

std::optional<PageHeaderTexts> HistoryScreen::pageHeader() const {
    if (!history_) return std::nullopt;
    return historyPageHeader(*history_, load_);
}

void HistoryScreen::fillPrintJob(PrintJob& job) const {
    if (!history_) {
        job.setDrawing(std::make_unique<RefusalOnPaper>(refusal_));
        return;
    }
    job.setDrawing(std::make_unique<HistoryOnPaper>(*history_, load_));
}

}  // namespace vanta
