#include "station/screens/history_screen.h"

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
void HistoryScreen::show() {
    Station& s = context_.station;
    history_.reset();
    refusal_.clear();
    loads_.clear();
    load_.reset();
    first_ = 0;
    archive::LocalIndex index;
    std::vector<archive::IndexedTest> tests;
    if (!index.open(s.paths.subjectLibraryDirectory) ||
        !listSubjectTests(index,
                          subjectOfTestInMemory(index, s.paths.subjectLibraryDirectory, s.test.subject.name,
                                                s.lastFilePath),
                          tests)) {
        refusal_ = "The test index cannot be read: " + index.lastMessage();
    } else {
        history_ = buildHistory(historyAttemptsOf(tests), s.test.subject.name, s.settings.sidesSwapped != 0);
        loads_ = loadsOf(*history_);
    }
    context_.bars.showBar(kHistoryBarTemplate);
    const ListContents box = historyLoadContents(loads_);
    context_.bars.fillBarList(cmd::kHistoryLoadBox, box.entries, box.selected);
    s.viewMode = kViewHistory;
    context_.view.update();
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

void HistoryScreen::draw(DrawContext& dc) {
    const Rect r = area();
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
    const int last = std::max(0, blocks_ - 1);
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
