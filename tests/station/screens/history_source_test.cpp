// Where the History screen's rows come from: this station's index at once, the lab's
// archive when its answer comes (with this station's tests it has not received), and the
// index alone, said on screen, when the server cannot be reached. An answer to an earlier
// showing never replaces a later one.
#include <stdlib.h>
#include <time.h>

#include <algorithm>

#include "archive/local_index.h"
#include "tests/station/screens/screen_fixture.h"
#include "tests/support/recording_draw_context.h"
#include "tests/support/temp_dir.h"

namespace vanta::testing {
namespace {

archive::IndexedTest testOf(const std::string& subject, int day, float rightPower, double load = 10.0) {
    archive::IndexedTest t;
    t.subject = subject;
    t.path = "/lab/" + subject + std::to_string(day) + ".kvq";
    t.sha256 = std::string(63, '0') + static_cast<char>('a' + day);
    t.testTime = 1767225600 + day * 86400;
    archive::IndexedRepetition r;
    r.number = 1;
    r.direction = 1;
    r.load = load;
    r.velocityPeakIndex = 500;
    r.results[PeakAll][static_cast<int>(ResultColumn::Power)] = rightPower;
    t.repetitions.push_back(r);
    return t;
}

// Keeps each question until the test answers it.
struct HeldLabArchive : LabArchive {
    std::vector<Done> asked;
    std::vector<std::string> names;
    void subjectTests(const std::string&, const std::string& name, Done done) override {
        names.push_back(name);
        asked.push_back(std::move(done));
    }
    void listTests(Done) override {}
    void fetch(const std::string&, Done) override {}
    void findSubjects(const std::string&, Done) override {}
    void storeSubject(const RegisteredSubject&, Done) override {}
    void mergeSubjects(const RegisteredSubject&, const RegisteredSubject&, Done) override {}
};

bool has(const std::string& source, const std::string& line) { return sourceLine(source) == line; }

class HistorySourceTest : public ScreenTest {
protected:
    TempDir data;
    HeldLabArchive lab;
    HistorySourceTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        station.paths.subjectLibraryDirectory = data.path().string();
        station.settings.subjectLibraryMode = 1;
        station.test.subject.name = "Ann";
        archive::LocalIndex index;
        EXPECT_TRUE(index.open(data.path().string()));
        // Days 0 and 2 on this station; day 2 has not reached the server yet.
        EXPECT_TRUE(index.store({testOf("Ann", 0, 100.0f), testOf("Ann", 2, 130.0f)}));
    }
    static LabArchiveAnswer labHolds(std::vector<archive::IndexedTest> tests) {
        LabArchiveAnswer a;
        a.ok = true;
        a.tests = std::move(tests);
        return a;
    }
    bool drawn(const std::string& source) {
        RecordingDrawContext dc(false);
        screens.draw(dc);
        return std::find(dc.texts().begin(), dc.texts().end(), sourceLine(source)) != dc.texts().end();
    }
};

TEST_F(HistorySourceTest, TheIndexAtOnceThenTheLabsTestsWithThisStationsUnsent) {
    screens.history().setLabArchive(&lab);
    ASSERT_TRUE(run(cmd::kHistory));
    ASSERT_EQ(lab.asked.size(), 1u);
    EXPECT_EQ(lab.names.front(), "Ann");
    EXPECT_EQ(screens.history().history()->tests.size(), 2u);
    EXPECT_TRUE(drawn(kReadingLabArchive));
    EXPECT_TRUE(has(kReadingLabArchive, "Reading the lab's archive\u2026"));

    // The lab holds day 0 (sent from here) and day 1 (another station's, at 15 kg).
    lab.asked.front()(labHolds({testOf("Ann", 0, 100.0f), testOf("Ann", 1, 120.0f, 15.0)}));
    EXPECT_EQ(screens.history().source(), kFromLabArchive);
    ASSERT_EQ(screens.history().history()->tests.size(), 3u);
    EXPECT_TRUE(drawn(kFromLabArchive));
    // The box offers the loads of what is on show: "All loads", 10.00 and 15.00.
    EXPECT_EQ(bars.lists[cmd::kHistoryLoadBox].size(), 3u);
}

TEST_F(HistorySourceTest, AServerThatCannotBeReachedLeavesTheIndexsTestsAndSaysSo) {
    screens.history().setLabArchive(&lab);
    ASSERT_TRUE(run(cmd::kHistory));
    LabArchiveAnswer refused;
    refused.reason = "The archive server cannot be reached: connection refused";
    lab.asked.front()(refused);
    EXPECT_EQ(screens.history().history()->tests.size(), 2u);
    EXPECT_TRUE(drawn(kFromThisStationOnly));
}

TEST_F(HistorySourceTest, AnAnswerToAnEarlierShowingIsDropped) {
    screens.history().setLabArchive(&lab);
    ASSERT_TRUE(run(cmd::kHistory));
    station.test.subject.name = "Bob";
    ASSERT_TRUE(run(cmd::kHistory));
    ASSERT_EQ(lab.asked.size(), 2u);
    lab.asked.front()(labHolds({testOf("Ann", 0, 100.0f), testOf("Ann", 1, 120.0f)}));
    EXPECT_EQ(screens.history().source(), kReadingLabArchive);
    EXPECT_EQ(screens.history().history()->tests.size(), 0u);
}

// Report > Profile's tests box: this station's tests at once, the lab's (with this
// station's unsent ones) when they come, and "this station's tests only" when the server
// cannot be reached.
TEST_F(HistorySourceTest, ProfileOffersTheLabsTestsWhenTheArchiveAnswers) {
    station.test.testTime = 1767225600 + 5 * 86400;
    station.test.repetitionCount = 0;
    screens.profile().setLabArchive(&lab);
    ASSERT_TRUE(run(cmd::kProfile));
    ASSERT_EQ(lab.asked.size(), 1u);
    EXPECT_EQ(screens.profile().source(), kReadingLabArchive);
    const std::string allHere = screens.profile().boxEntries().back();
    EXPECT_EQ(allHere, "All tests (3 tests)") << "two of this station's and the test in memory";
    lab.asked.front()(labHolds({testOf("Ann", 0, 100.0f), testOf("Ann", 1, 120.0f, 15.0), testOf("Ann", 3, 125.0f)}));
    EXPECT_EQ(screens.profile().source(), kFromLabArchive);
    EXPECT_EQ(screens.profile().boxEntries().back(), "All tests (5 tests)");
    EXPECT_TRUE(drawn(kFromLabArchive));

    run(cmd::kResetToIdle);
    ASSERT_TRUE(run(cmd::kProfile));
    LabArchiveAnswer refused;
    refused.reason = "The archive server cannot be reached: connection refused";
    lab.asked.back()(refused);
    EXPECT_EQ(screens.profile().boxEntries().back(), allHere);
    EXPECT_TRUE(drawn(kThisStationsTestsOnly));
    EXPECT_EQ(sourceLine(kThisStationsTestsOnly), "This station's tests only");
}

TEST_F(HistorySourceTest, WithoutAServerTheIndexAloneIsNamed) {
    ASSERT_TRUE(run(cmd::kHistory));
    EXPECT_EQ(screens.history().history()->tests.size(), 2u);
    EXPECT_TRUE(drawn(kNoArchiveServer));
}

}  // namespace
}  // namespace vanta::testing
