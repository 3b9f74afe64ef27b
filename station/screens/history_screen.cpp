#include "station/screens/history_screen.h"

#include "archive/local_index.h"
#include "history/history_drawing.h"
#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "station/subject_history.h"

namespace vanta {

namespace {

void drawHistoryOrRefusal(DrawContext& dc, const Rect& area, const std::optional<History>& history,
                          const std::string& refusal, std::optional<double> load) {
    if (history) {
        drawHistory(dc, area, *history, load);
        return;
    }
    const int row = dc.isPrinting() ? 60 : 20;
    const int dir = area.bottom > area.top ? 1 : -1;
    dc.text(Rect{area.left, area.top, area.right, area.top + dir * row}, refusal, TextAlign::Left);
}

class HistoryOnPaper : public PaperDrawing {
public:
    HistoryOnPaper(std::optional<History> history, std::string refusal, std::optional<double> load)
        : history_(std::move(history)), refusal_(std::move(refusal)), load_(load) {}
    void draw(DrawContext& dc, const Rect& area) override {
        drawHistoryOrRefusal(dc, area, history_, refusal_, load_);
    }

private:
    std::optional<History> history_;
    std::string refusal_;
    std::optional<double> load_;
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
    context_.view.update();
}

void HistoryScreen::draw(DrawContext& dc) { drawHistoryOrRefusal(dc, kHistoryScreenRect, history_, refusal_, load_); }

void HistoryScreen::fillPrintJob(PrintJob& job) const {
    if (history_) job.report.header = historyPageHeader(*history_);
    job.setDrawing(std::make_unique<HistoryOnPaper>(history_, refusal_, load_));
}

}  // namespace vanta
