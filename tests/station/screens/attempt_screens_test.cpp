// The measurement and calibration screens on a scripted box: START to the stored attempt
// shown in phase 5, the guidance drawn tick by tick into named rectangles only, a late
// tick that does nothing, and a calibration abandoned with BACK.
#include <algorithm>
#include <chrono>

#include "measure/guidance_screen.h"
#include "profile/profile.h"
#include "station/session_recovery.h"
#include "storage/session_journal.h"
#include "tests/station/screens/screen_fixture.h"
#include "tests/support/sample_stream.h"
#include "tests/support/scripted_bridge_driver.h"
#include "tests/support/temp_dir.h"

namespace vanta::testing {
namespace {

using namespace std::chrono_literals;
using Log = std::vector<std::string>;

// The box outlives the screens, whose attempt session stops the link when it goes.
struct ScriptedBox {
    ScriptedBridgeDriver driver{{ScriptedPort{kDeviceDescription, "/dev/ttyUSB0"}}};
    AcquisitionLink link{driver};
};

class AttemptScreenTest : public ScriptedBox, public ScreenTest {
protected:
    AttemptScreenTest() {
        screens.attachLink(link);
        // START asks for a load and a radius first; a test that does not care uses these.
        bars.numbers[cmd::kLoadList] = 10.0f;
        bars.numbers[cmd::kRadiusBox] = 25.0f;
    }

    // Sends the stream up to `upTo` (the first frame is the one the link skips) and waits
    // until the store holds it or is full.
    void feedTo(const std::vector<Sample>& stream, size_t upTo) {
        const size_t to = std::min(upTo, stream.size());
        driver.send(0, framesOf(stream, sent, to));
        sent = std::max(sent, to);
        ASSERT_TRUE(driver.waitUntilDrained(0, 20s));
        const AcquisitionControl& c = screens.attempts()->control();
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (c.storedCount() < static_cast<int>(sent) - 1 && !c.isFull())
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    }
    void listening() {
        ASSERT_TRUE(driver.waitUntilReaderWaits(0, 20s));
        sent = 0;
    }

    // START and the stream of one stroke up to the stored attempt.
    void storeAttempt(int attempt) {
        bars.numbers[cmd::kLoadList] = 10.0f;  // START asks for a valid load and radius first
        bars.numbers[cmd::kRadiusBox] = 25.0f;
        run(cmd::kStart);
        ASSERT_TRUE(view.tickTimerActive(kLiveTimerId));
        listening();
        const std::vector<Sample> stream = subjectStream(3, attempt, 1500);
        const int before = station.test.repetitionCount;
        while (view.tickTimerActive(kLiveTimerId) && sent < stream.size()) {
            feedTo(stream, sent + 100);
            run(cmd::kLiveTick);
        }
        ASSERT_EQ(station.test.repetitionCount, before + 1);
    }

    size_t sent = 0;
};

TEST_F(AttemptScreenTest, StartFollowsTheAttemptToThePhase5ReportAndALateTickDoesNothing) {
    view.client = Rect{0, 0, 900, 700};  // 600 pixels right of the dial: a 20-pixel font
    run(cmd::kPerform);
    bars.numbers[cmd::kLoadList] = 10.0f;
    bars.numbers[cmd::kRadiusBox] = 25.0f;
    run(cmd::kStart);
    ASSERT_TRUE(view.tickTimerActive(kLiveTimerId)) << (dialogs.details.empty() ? "" : dialogs.details.back());
    EXPECT_EQ(bars.hiddenControls, (std::set<int>{cmd::kStart, cmd::kIgnore, cmd::kExit, cmd::kLoadList}));
    EXPECT_EQ(station.livePhase, PhaseStandStill);
    EXPECT_TRUE(view.guidanceOn);
    EXPECT_TRUE(view.focused);
    listening();

    const std::vector<Sample> stream = subjectStream(3, 0, 1500);
    while (view.tickTimerActive(kLiveTimerId) && sent < stream.size()) {
        feedTo(stream, sent + 100);
        run(cmd::kLiveTick);
    }
    ASSERT_EQ(station.test.repetitionCount, 1);
    EXPECT_EQ(station.livePhase, PhaseStored);
    EXPECT_FALSE(view.tickTimerActive(kLiveTimerId));
    EXPECT_EQ(bars.hiddenControls, std::set<int>{cmd::kBack});
    EXPECT_TRUE(dialogs.messages.empty());

    // The guidance spoke to the subject, and only its own rectangles were repainted.
    const std::vector<std::string> texts = view.guidance.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), std::string(kTextStandStill)), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), std::string(kTextsReady[0])), texts.end());
    ASSERT_FALSE(view.repaintedRects.empty());
    for (const Rect& r : view.repaintedRects) EXPECT_NE(r, view.client);

    // Phase 5: the report table of the stored attempt where the layout puts it, in the
    // large font, and the dial at the end angle.
    const GuidanceLayout layout = guidanceLayout(view.client);
    EXPECT_TRUE(view.tableShown);
    EXPECT_EQ(view.tableRect, layout.resultList);
    EXPECT_EQ(view.tableFont, 20);
    EXPECT_EQ(view.tableScale, 1.2f);
    EXPECT_EQ(station.columnWidthScale, 1.2f) << "the digital report keeps the scale the guidance left";
    EXPECT_EQ(view.tableResults.at(PeakAll, ResultColumn::Velocity),
              station.test.results[0].at(PeakAll, ResultColumn::Velocity));
    // Phase 5 is painted from its own state: the guidance the ticks drew for the subject
    // ("MOVE BARBEL ...", the ready lines, the discs) is gone, one dial is left.
    EXPECT_FALSE(view.guidanceOn);
    const LiveDetection& d = screens.attempts()->detection();
    auto expectOneDial = [&](const GuidanceLayout& at) {
        RecordingDrawContext dc;
        screens.draw(dc);
        // Only the line of the subject and the attempt's number and side.
        ASSERT_EQ(dc.texts().size(), 1u);
        EXPECT_TRUE(dc.texts()[0].ends_with("Attempt 1 stored: " + std::string(sideName(*sideOfDirection(
                                                station.test.repetitions[0].direction, false)))))
            << dc.texts()[0];
        const std::vector<DrawCall> discs = dc.callsOf(DrawOp::Ellipse);
        ASSERT_EQ(discs.size(), 1u);
        EXPECT_EQ(discs[0].rect(), (Rect{at.cx - at.radius, at.cy - at.radius, at.cx + at.radius, at.cy + at.radius}));
        const std::vector<DrawCall> pies = dc.callsOf(DrawOp::Pie);
        ASSERT_EQ(pies.size(), 1u);
        EXPECT_DOUBLE_EQ(pies[0].startDeg, d.startAngle + 270.0);
        EXPECT_DOUBLE_EQ(pies[0].sweepDeg, d.endAngle - d.startAngle);
    };
    expectOneDial(layout);

    // A new size: the table where that size's layout puts it, in its font, and one dial.
    for (const Rect client : {Rect{0, 0, 1400, 1000}, Rect{0, 0, 700, 500}}) {
        view.client = client;
        screens.resized();
        const GuidanceLayout now = guidanceLayout(client);
        EXPECT_EQ(view.tableRect, now.resultList);
        EXPECT_EQ(view.tableFont, now.largeFont);
        EXPECT_EQ(view.tableScale, now.columnWidthScale);
        expectOneDial(now);
    }
    view.client = Rect{0, 0, 900, 700};
    screens.resized();

    const size_t drawn = view.guidance.calls().size();
    run(cmd::kLiveTick);  // posted before the timer stopped
    EXPECT_EQ(view.guidance.calls().size(), drawn);
    EXPECT_EQ(station.test.repetitionCount, 1);

    run(cmd::kIgnore);
    EXPECT_FALSE(view.tableShown);
    EXPECT_EQ(station.test.repetitionCount, 0);
}

TEST_F(AttemptScreenTest, WithTheWindowsClockAFramelessStreamAndADoubtfulRateAreToldOnScreen) {
    std::chrono::steady_clock::time_point clock = std::chrono::steady_clock::now();
    screens.attachLink(link, [&] { return clock; });
    run(cmd::kPerform);
    bars.numbers[cmd::kLoadList] = 10.0f;
    bars.numbers[cmd::kRadiusBox] = 25.0f;
    run(cmd::kStart);
    listening();
    const std::vector<Sample> stream = subjectStream(3, 0, 1500);

    // Scripted bursts come far faster than 1000 a second: stored, and the operator warned.
    while (view.tickTimerActive(kLiveTimerId) && sent < stream.size()) {
        feedTo(stream, sent + 100);
        run(cmd::kLiveTick);
    }
    ASSERT_EQ(station.test.repetitionCount, 1);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("samples a second in this attempt instead of 1000"), std::string::npos)
        << dialogs.messages[0];
    EXPECT_TRUE(view.tableShown);

    // Bytes that never form a frame: "Error in communication" with the reason, back to START.
    run(cmd::kStart);
    listening();
    feedTo(stream, 200);
    run(cmd::kLiveTick);
    driver.send(0, std::vector<uint8_t>(500, 0x55));
    ASSERT_TRUE(driver.waitUntilDrained(0, 20s));
    clock += 5s;
    run(cmd::kLiveTick);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1], "Error in communication");
    EXPECT_NE(dialogs.details[1].find("500 bytes arrived in 5 seconds"), std::string::npos) << dialogs.details[1];
    EXPECT_FALSE(view.tickTimerActive(kLiveTimerId));
    EXPECT_EQ(bars.hiddenControls, std::set<int>{cmd::kBack});
    EXPECT_EQ(station.test.repetitionCount, 1);
}

TEST_F(AttemptScreenTest, BackAbandonsACalibrationWithTheOffsetsAsTheyWere) {
    const float before[kChannelCount] = {1.5f, 2.5f, 3.5f, 7.5f, 4.5f, -3.25f};
    std::copy(before, before + kChannelCount, station.test.repetitions[0].channelOffset);
    // Extended, with a current subject in the register: the new test is that subject's.
    station.settings.subjectLibraryMode = 1;
    library.hasSubject = true;
    library.librarySubject.name = "Ann Lee";
    dialogs.yesNoAnswers = {true};
    run(cmd::kCalibration);
    EXPECT_EQ(station.test.subject.name, "Ann Lee");
    ASSERT_EQ(station.viewMode, kViewCalibration);
    ASSERT_TRUE(view.tickTimerActive(kCalibrationTimerId));
    EXPECT_EQ(bars.shownTemplate, kCalibrationBarTemplate);
    EXPECT_TRUE(bars.hiddenControls.empty());
    listening();
    const std::vector<Sample> still = rateStream(3000, [](int i) { return 40 + i % 5; });
    feedTo(still, 700);
    run(cmd::kCalibrationTick);

    run(cmd::kBack);
    EXPECT_FALSE(view.tickTimerActive(kCalibrationTimerId));
    EXPECT_FALSE(link.linkActive());
    EXPECT_EQ(station.viewMode, kViewIdle);
    EXPECT_EQ(bars.shownTemplate, 0);
    for (int ch = 0; ch < kChannelCount; ++ch) EXPECT_EQ(station.test.repetitions[0].channelOffset[ch], before[ch]);

    // Again, to the end: the offsets, the notice, the timer stopped, and the result graph
    // with the operator's own quantities.
    station.settings.graph.graphY1Quantity = 2;
    station.settings.graph.graphY2Quantity = 4;
    dialogs.yesNoAnswers = {true};
    run(cmd::kCalibration);
    listening();
    // The subject reads what to do while the second is measured.
    RecordingDrawContext during;
    screens.draw(during);
    EXPECT_EQ(during.texts(), std::vector<std::string>{std::string(kTextStandStill)});
    while (view.tickTimerActive(kCalibrationTimerId) && sent < still.size()) {
        feedTo(still, sent + 100);
        run(cmd::kCalibrationTick);
    }
    EXPECT_EQ(dialogs.notices, Log{"Calibration is done"});
    EXPECT_EQ(dialogs.messages, Log{"Calibration is done"});
    EXPECT_EQ(station.test.repetitions[0].channelOffset[AccelY], 0.0f) << "channel 1 at zero g";
    EXPECT_FALSE(link.linkActive());
    EXPECT_EQ(screens.curveGraph().graph().y1, 2);
    EXPECT_EQ(screens.curveGraph().graph().y2, 4);
    // The instruction goes; the screen says whose test comes next, as the idle screen does.
    RecordingDrawContext after;
    screens.draw(after);
    EXPECT_EQ(after.texts(), std::vector<std::string>{"Subject: Ann Lee"});
}

// The journal follows the test in memory: each stored attempt and IGNORE, and it goes
// with its test when the save question drops the test, stays when the save did not happen.
TEST_F(AttemptScreenTest, TheJournalFollowsEveryStoredAttemptAndGoesWithItsTest) {
    TempDir dir;
    const std::string folder = dir.path().string();
    station.journal.setFolder(folder);
    auto journalled = [&] {
        const std::vector<JournalEntry> found = listJournals(folder).entries;
        return found.empty() ? -1 : found.front().attempts;
    };
    // Each stored attempt is on disk before its report is shown (phase 5): written, and
    // synced to the disk (one data sync per event).
    static int syncs;
    syncs = 0;
    observeJournalSyncs([](int) { ++syncs; });
    std::vector<int> onDiskWhenShown, syncsWhenShown;
    view.onShowReportTable = [&] {
        onDiskWhenShown.push_back(journalled());
        syncsWhenShown.push_back(syncs);
    };
    run(cmd::kPerform);
    storeAttempt(0);
    EXPECT_EQ(onDiskWhenShown, std::vector<int>{1});
    EXPECT_TRUE(journalHeld(station.journal.path()));
    run(cmd::kIgnore);
    EXPECT_EQ(journalled(), 0);
    storeAttempt(1);
    storeAttempt(2);
    EXPECT_EQ(onDiskWhenShown, (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(syncsWhenShown, (std::vector<int>{1, 3, 4})) << "the IGNORE between them is synced too";
    observeJournalSyncs(nullptr);
    view.onShowReportTable = nullptr;
    run(cmd::kExit);

    // Perform, "Data not saved. Save?" Cancel (Esc, the box's close button): the test, its
    // attempts and its journal stay as they were. Yes with the save dialog cancelled: the
    // same. Only No drops the test, and its journal with it.
    const std::string journalPath = station.journal.path();
    dialogs.yesNoCancelAnswers = {Answer::Cancel, Answer::Yes};
    run(cmd::kPerform);
    run(cmd::kPerform);
    ASSERT_TRUE(dialogs.asked("save: |"));
    EXPECT_EQ(station.test.repetitionCount, 2);
    EXPECT_EQ(station.resultsAvailable, 1);
    EXPECT_EQ(station.viewMode, kViewIdle);
    EXPECT_EQ(journalled(), 2);
    EXPECT_TRUE(journalHeld(journalPath)) << "still this station's journal";
    dialogs.yesNoCancelAnswers = {Answer::No};
    run(cmd::kPerform);
    EXPECT_EQ(station.test.repetitionCount, 0);
    EXPECT_EQ(listJournals(folder).entries.size(), 0u);

    storeAttempt(0);
    EXPECT_EQ(listJournals(folder).entries.size(), 1u) << "the next test has a journal of its own";
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(AttemptScreenTest, AJournalThatCannotBeWrittenIsToldOnceAndTheAttemptsAreStored) {
    TempDir dir;
    station.journal.setFolder(dir.file("gone"));
    run(cmd::kPerform);
    storeAttempt(0);
    storeAttempt(1);
    EXPECT_EQ(station.test.repetitionCount, 2);
    ASSERT_EQ(dialogs.messages, Log{std::string(kMsgJournalNotWritten)});
    EXPECT_EQ(dialogs.details[0].rfind(dir.file("gone/unsaved-"), 0), 0u) << dialogs.details[0];
    EXPECT_TRUE(dialogs.details[0].ends_with(": No such file or directory")) << dialogs.details[0];
    EXPECT_EQ(station.livePhase, PhaseStored) << "the attempt is shown stored all the same";
}

}  // namespace
}  // namespace vanta::testing
