#include "station/screens/history_screen.h"

#include <algorithm>

#include "archive/local_index.h"
#include "history/history_drawing.h"
#include "station/command_ids.h"

namespace vanta {

namespace {

void drawHistoryOrRefusal(DrawContext& dc, const Rect& area, const std::optional<History>& history,
                          const std::string& refusal) {
    if (history) {
        drawHistory(dc, area, *history);
        return;
    }
    const int row = dc.isPrinting() ? 60 : 20;
    const int dir = area.bottom > area.top ? 1 : -1;
    dc.text(Rect{area.left, area.top, area.right, area.top + dir * row}, refusal, TextAlign::Left);
}

class HistoryOnPaper : public PaperDrawing {
public:
    HistoryOnPaper(std::optional<History> history, std::string refusal)
        : history_(std::move(history)), refusal_(std::move(refusal)) {}
    void draw(DrawContext& dc, const Rect& area) override { drawHistoryOrRefusal(dc, area, history_, refusal_); }

private:
    std::optional<History> history_;
    std::string refusal_;
};

}  // namespace

bool HistoryScreen::command(int id, Notification) {
    if (id != cmd::kHistory) return false;
    show();
    return true;
}

// The index is read each time the screen is chosen, so it shows the tests saved since.
// The subject is the test's as the index stores it, name for name: a search by part of a
// name would mix in "Anna" with "Ann".
void HistoryScreen::show() {
    Station& s = context_.station;
    const std::string& name = s.test.subject.name;
    history_.reset();
    refusal_.clear();
    archive::LocalIndex index;
    std::vector<archive::IndexedTest> tests;
    archive::TestQuery query;
    query.subject = name;
    if (!index.open(s.paths.subjectLibraryDirectory) || !index.listTests(query, tests)) {
        refusal_ = "The test index cannot be read: " + index.lastMessage();
    } else {
        std::erase_if(tests, [&](const archive::IndexedTest& t) { return t.subject != name; });
        history_ = buildHistory(std::move(tests), name, s.settings.sidesSwapped != 0);
    }
    context_.bars.hideBar();
    s.viewMode = kViewHistory;
    context_.view.update();
}

void HistoryScreen::draw(DrawContext& dc) { drawHistoryOrRefusal(dc, kHistoryScreenRect, history_, refusal_); }

void HistoryScreen::fillPrintJob(PrintJob& job) const {
    if (history_) job.report.header = historyPageHeader(*history_);
    job.setDrawing(std::make_unique<HistoryOnPaper>(history_, refusal_));
}

}  // namespace vanta
