// The measurement and calibration screens on a scripted box: START to the stored attempt
// shown in phase 5, the guidance drawn tick by tick into named rectangles only, a late
// tick that does nothing, and a calibration abandoned with BACK.
#include <algorithm>
#include <chrono>

#include "measure/guidance_screen.h"
#include "tests/station/screens/screen_fixture.h"
#include "tests/support/sample_stream.h"
#include "tests/support/scripted_bridge_driver.h"

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
    AttemptScreenTest() { screens.attachLink(link); }

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
    RecordingDrawContext dc;
    screens.draw(dc);
    const LiveDetection& d = screens.attempts()->detection();
    const std::vector<DrawCall> pies = dc.callsOf(DrawOp::Pie);
    ASSERT_EQ(pies.size(), 1u);
    EXPECT_DOUBLE_EQ(pies[0].startDeg, d.startAngle + 270.0);
    EXPECT_DOUBLE_EQ(pies[0].sweepDeg, d.endAngle - d.startAngle);

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
    dialogs.yesNoAnswers = {true};
    run(cmd::kCalibration);
    ASSERT_EQ(station.viewMode, kViewCalibration);
    ASSERT_TRUE(view.tickTimerActive(kCalibrationTimerId));
    EXPECT_EQ(bars.shownTemplate, kMeasurementBarTemplate);
    EXPECT_EQ(bars.hiddenControls, (std::set<int>{cmd::kStart, cmd::kIgnore, cmd::kExit, cmd::kLoadList}));
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

    // Again, to the end: the offsets, the message, the timer stopped.
    dialogs.yesNoAnswers = {true};
    run(cmd::kCalibration);
    listening();
    while (view.tickTimerActive(kCalibrationTimerId) && sent < still.size()) {
        feedTo(still, sent + 100);
        run(cmd::kCalibrationTick);
    }
    EXPECT_EQ(dialogs.messages, Log{"Calibration is done"});
    EXPECT_EQ(station.test.repetitions[0].channelOffset[AccelY], -2048.0f);
    EXPECT_FALSE(link.linkActive());
}

}  // namespace
}  // namespace vanta::testing
