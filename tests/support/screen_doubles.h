// Doubles for the window's parts the screens use: a dialog-bar slot that keeps what the
// screens put into it and answers with what a test chose, a view that counts paints and
// keeps its timers' state, a report table that keeps its rows, font and place, and a
// poster whose queue a test runs by hand.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "reports/report_layout.h"
#include "station/bar_host.h"
#include "station/report_table_host.h"
#include "station/view_host.h"
#include "tests/support/recording_draw_context.h"

namespace vanta::testing {

class RecordingBars : public BarHost {
public:
    int shownTemplate = 0;  // 0: no bar
    std::vector<std::string> log;  // "show 144", "hide", "control 1047 off", "fill 1072", "text 1039 25.00"
    std::map<int, std::vector<std::string>> lists;
    std::map<int, int> selection;  // what barSelection answers (the fill's choice until a test sets one)
    std::map<int, float> numbers;  // what readBarNumber answers for the load list and radius box
    std::map<int, std::string> texts;
    std::set<int> hiddenControls;

    void showBar(int templateId) override {
        hideBar();
        shownTemplate = templateId;
        log.push_back("show " + std::to_string(templateId));
    }
    void hideBar() override {
        if (shownTemplate == 0) return;
        shownTemplate = 0;
        lists.clear();
        selection.clear();
        texts.clear();
        hiddenControls.clear();
        log.push_back("hide");
    }
    void showBarControl(int id, bool on) override {
        if (on)
            hiddenControls.erase(id);
        else
            hiddenControls.insert(id);
        log.push_back("control " + std::to_string(id) + (on ? " on" : " off"));
    }
    void fillBarList(int id, const std::vector<std::string>& entries, int selected) override {
        lists[id] = entries;
        selection[id] = selected;
        log.push_back("fill " + std::to_string(id));
    }
    int barSelection(int id) const override {
        const auto it = selection.find(id);
        return it == selection.end() ? -1 : it->second;
    }
    float readBarNumber(int id) const override {
        const auto it = numbers.find(id);
        return it == numbers.end() ? 0.0f : it->second;
    }
    void setBarText(int id, const std::string& text) override {
        texts[id] = text;
        log.push_back("text " + std::to_string(id) + " " + text);
    }
};

class RecordingView : public ViewHost {
public:
    int repaints = 0;
    int updates = 0;
    std::set<int> runningTimers;

    Rect client{0, 0, 1280, 800};
    bool focused = false;
    bool guidanceOn = false;
    RecordingDrawContext guidance;     // every drawing on the guidance picture
    std::vector<Rect> repaintedRects;  // what the guidance drawings asked to repaint
    bool tableShown = false;
    Rect tableRect;
    RepetitionResults tableResults;
    int tableFont = 0;
    float tableScale = 0.0f;

    void repaint() override { ++repaints; }
    void update() override { ++updates; }
    void startTickTimer(int timerId) override { runningTimers.insert(timerId); }
    void stopTickTimer(int timerId) override { runningTimers.erase(timerId); }
    bool tickTimerActive(int timerId) const override { return runningTimers.count(timerId) != 0; }
    Rect clientRect() const override { return client; }
    void takeFocus() override { focused = true; }
    // The recording holds what was drawn on the picture since it was last switched on.
    void showGuidance(bool on) override {
        guidanceOn = on;
        if (on) guidance.clear();
    }
    void drawGuidance(const std::function<std::vector<Rect>(DrawContext&)>& draw) override {
        const std::vector<Rect> rects = draw(guidance);
        repaintedRects.insert(repaintedRects.end(), rects.begin(), rects.end());
    }
    void showReportTable(const Rect& where, const RepetitionResults& results, int fontHeight,
                         float columnWidthScale) override {
        tableShown = true;
        tableRect = where;
        tableResults = results;
        tableFont = fontHeight;
        tableScale = columnWidthScale;
        if (onShowReportTable) onShowReportTable();
    }
    void hideReportTable() override { tableShown = false; }
    // Called as the report table is shown: a test looks at what is on disk at that moment.
    std::function<void()> onShowReportTable;
};

// Fills as the window's table does (the same cells), and keeps what a screen did to it.
class RecordingTable : public ReportTableHost {
public:
    std::vector<ReportRow> rows;
    std::vector<int> widths;  // of the columns, empty when cleared
    Rect rect = kHiddenTableRect;
    int fontHeight = 24, fontWeight = 700;  // the view's large bold font at creation
    float lastScale = 0.0f;
    std::vector<std::string> log;  // "clear", "font 12 400", "fill", "place"

    void clearTable() override {
        rows.clear();
        widths.clear();
        log.push_back("clear");
    }
    void setTableFont(int pixelHeight, int weight) override {
        fontHeight = pixelHeight;
        fontWeight = weight;
        log.push_back("font " + std::to_string(pixelHeight) + " " + std::to_string(weight));
    }
    void fillDigitalReport(const RepetitionResults& results, float columnWidthScale) override {
        for (const ReportColumnLayout& c : digitalLayout.columns)
            widths.push_back(screenColumnWidth(c.screenWidth, columnWidthScale));
        rows = digitalReportRows(results);
        lastScale = columnWidthScale;
        log.push_back("fill");
    }
    void placeTable(const Rect& r) override {
        rect = r;
        log.push_back("place");
    }
    std::vector<ReportRow> tableCells() const override { return rows; }
};

// The router's poster for tests: posted calls wait until runPosted().
class QueuedPoster {
public:
    std::function<void(std::function<void()>)> poster() {
        return [this](std::function<void()> call) { queue_.push_back(std::move(call)); };
    }
    size_t waiting() const { return queue_.size(); }
    // Runs what is queued now, oldest first; calls posted meanwhile wait for the next run.
    void runPosted() {
        std::deque<std::function<void()>> now;
        now.swap(queue_);
        for (auto& call : now) call();
    }

private:
    std::deque<std::function<void()>> queue_;
};

}  // namespace vanta::testing
