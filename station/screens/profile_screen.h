// The load-power profile (ViewMode 12): Report > "Profile" shows the profile by side and
// load, with the fits and the asymmetry. Its bar holds one box: the tests it takes, the
// test in memory alone or the subject's indexed tests of a day or of a span of days (a
// session recorded one file per load makes a profile only across its files). Setup >
// "Swap left and right" names the sides for a box mounted the other way round; the
// choice is kept in the settings file.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "profile/profile.h"
#include "station/lab_archive.h"
#include "station/screen.h"
#include "station/subject_history.h"

namespace vanta {

// The view's rectangle for the profile, below the page header (pixels of the client area).
inline constexpr Rect kProfileScreenRect{10, 40, 740, 595};

// The repetitions of indexed tests as the profile takes them, in the order given; false
// when a load is not a number.
bool appendIndexedAttempts(std::vector<ProfileAttempt>& attempts, const std::vector<archive::IndexedTest>& tests);

class ProfileScreen : public Screen {
public:
    explicit ProfileScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;
    // Worked out from the tests chosen at every paint, so it always shows the test in
    // memory as it stands and the side names in force. A damaged load shows
    // "Incompatible data" instead.
    void draw(DrawContext& dc) override;
    // The same drawing on one A4 page.
    void fillPrintJob(PrintJob& job) const override;
    // The subject and the dates of the tests taken (not one repetition's load).
    std::optional<PageHeaderTexts> pageHeader() const override;

    // The profile on show; none when a load is damaged.
    std::optional<Profile> profile() const;

    // The lab's shared archive, where a server is set: the box offers the lab's tests of
    // the subject once they arrive (asked on the lab's own thread, as History does), and
    // this station's tests until then or when the server cannot be reached.
    void setLabArchive(LabArchive* lab) { lab_ = lab; }
    // Where the box's tests come from, as the screen says it above the profile.
    const std::string& source() const { return source_; }
    // The box's entries as shown.
    const std::vector<std::string>& boxEntries() const { return entries_; }

private:
    // One entry of the bar's box: the test in memory alone (no day), a day's tests
    // (first == last) or the days first..last, as "YYYY-MM-DD" (the station's local dates).
    struct Choice {
        std::string label;
        std::string first;
        std::string last;
    };

    void show();
    void fillBox();
    void takeLabAnswer(LabArchiveAnswer answer, const std::vector<archive::IndexedTest>& local);
    void choose();
    void swapSides();
    // The subject's indexed tests the chosen entry takes, without the file in memory
    // (the test in memory stands for it as it is now).
    std::vector<archive::IndexedTest> chosenTests() const;
    bool takesTestInMemory() const;

    ScreenContext& context_;
    std::vector<archive::IndexedTest> tests_;  // the subject's indexed tests, oldest first
    std::vector<Choice> choices_;
    std::vector<std::string> entries_;
    int chosen_ = 0;
    LabArchive* lab_ = nullptr;
    std::string source_;
    int asked_ = 0;  // an answer to an earlier show() is no longer wanted
};

}  // namespace vanta
