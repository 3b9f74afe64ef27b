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
    archive::LocalIndex index;
    std::vector<archive::IndexedTest> tests;
    const bool indexRead = index.open(s.paths.subjectLibraryDirectory);
    subject_ = indexRead ? subjectOfTestInMemory(index, s.paths.subjectLibraryDirectory, s.test.subject.name,
                                                 s.lastFilePath)
                         : HistorySubject{{}, s.test.subject.name};
    if (!indexRead || !listSubjectTests(index, subject_, tests)) {
        refusal_ = "The test index cannot be read: " + index.lastMessage();
    } else {
        history_ = buildHistory(historyAttemptsOf(tests), s.test.subject.name, s.settings.sidesSwapped != 0);
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
    context_.view.update();
}

// Where the rows came from, in the row above the history.
void HistoryScreen::draw(DrawContext& dc) {
    Rect area = kHistoryScreenRect;
    if (!source_.empty()) {
        dc.text(Rect{area.left, area.top, area.right, area.top + 18}, "Tests " + source_, TextAlign::Right);
        area.top += 20;
    }
    drawHistoryOrRefusal(dc, area, history_, refusal_, load_);
}

void HistoryScreen::fillPrintJob(PrintJob& job) const {
    if (history_) job.report.header = historyPageHeader(*history_);
    job.setDrawing(std::make_unique<HistoryOnPaper>(history_, refusal_, load_));
}

}  // namespace vanta
