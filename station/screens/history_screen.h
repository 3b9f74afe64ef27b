// A subject's history (ViewMode 13): Subject > "History" shows every indexed test of the
// chosen subject over time, per side, with the changes judged against the subject's own
// measurement error. Its bar holds one box: "All loads" or the one load to show. Enabled in Extended mode once a subject is
// chosen (the test in memory names one).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "history/history.h"
#include "station/lab_archive.h"
#include "station/screen.h"
#include "station/subject_history.h"

namespace vanta {

// The view's rectangle for the history at the smallest window, below the page header
// (pixels of the client area); a larger view gives the history all of its room.
inline constexpr Rect kHistoryScreenRect{10, 40, 740, 595};

class HistoryScreen : public Screen {
public:
    explicit HistoryScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;
    void draw(DrawContext& dc) override;
    // Longer than the view: by lines or by the view's pages.
    void scroll(int steps, bool pages) override;
    // The subject, the number of tests shown and their dates.
    std::optional<PageHeaderTexts> pageHeader() const override;
    // The same drawing on as many A4 pages as it takes, with the subject and the span of
    // the tests in the page header.
    void fillPrintJob(PrintJob& job) const override;

    // What the screen shows: read from the index when the screen is chosen; none when the
    // index could not be read (then `refusal` says why).
    const std::optional<History>& history() const { return history_; }
    // The load chosen in the bar's box; none: every load.
    const std::optional<double>& load() const { return load_; }

    // The first line (block) on show below the plots; 0: the plots at the top.
    int firstShown() const { return first_; }
    // The lab's shared archive, where a server is set (none: the index alone). The screen
    // shows the index's rows at once and the lab's when they arrive.
    void setLabArchive(LabArchive* lab) { lab_ = lab; }
    // Where the rows on show came from, as the screen says it (lab_archive.h).
    const std::string& source() const { return source_; }

private:
    Rect area() const;
    Rect historyArea() const;
    void show();
    void chooseLoad();
    void takeLabAnswer(LabArchiveAnswer answer, const std::vector<archive::IndexedTest>& local);
    void fillLoads();

    ScreenContext& context_;
    std::optional<History> history_;
    std::string refusal_;
    std::vector<double> loads_;   // the box's loads after "All loads", ascending
    std::optional<double> load_;  // what the box has chosen
    int first_ = 0;     // the block at the top of the view
    int shownEnd_ = 0;  // the first block the last paint left out
    int blocks_ = 0;    // the blocks of the last paint
    LabArchive* lab_ = nullptr;
    HistorySubject subject_;      // whose history is on show
    std::string source_;
    int asked_ = 0;               // an answer to an earlier show() is no longer wanted
};

}  // namespace vanta
