// The acquisition link against scripted bridge devices: finding the box, configuring it,
// failures, the reader thread's store, and stopping in every state.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "device/acquisition_link.h"
#include "link_test_support.h"
#include "tests/support/scripted_bridge_driver.h"

namespace vanta {
namespace {

using namespace std::chrono_literals;
using test::eventually;
using test::frames;

ScriptedPort box(const char* location = "/dev/ttyUSB0") { return {kDeviceDescription, location}; }
ScriptedPort other(const char* description, const char* location = "/dev/ttyUSB1") { return {description, location}; }

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        rep = std::make_unique<RepetitionRecord>();
        control.prepare(*rep);
    }
    bool sampleIs(int index, int seq) const { return test::storedFrameIs(control, index, seq); }
    // Starts the link on `driver`'s device `index` and waits until the reader listens.
    void startListening(AcquisitionLink& link, ScriptedBridgeDriver& driver, int index) {
        ASSERT_TRUE(link.startAcquisition(control)) << linkFailureText(link.lastStatus());
        ASSERT_TRUE(driver.waitUntilReaderWaits(index, 20s));
    }

    std::unique_ptr<RepetitionRecord> rep;
    AcquisitionControl control;
};

TEST_F(LinkTest, ProbeMatchesTheDescriptionExactlyAndOpensNothing) {
    ScriptedBridgeDriver none;
    AcquisitionLink noLink(none);
    EXPECT_FALSE(noLink.probeDevice());
    EXPECT_FALSE(noLink.devicePresent());

    ScriptedBridgeDriver lookalikes({other("kavelvanta"), other("KAVELVANTA"), other("Kavelvanta "), other("Kavelvant")});
    AcquisitionLink lookalikeLink(lookalikes);
    EXPECT_FALSE(lookalikeLink.probeDevice());
    EXPECT_FALSE(lookalikeLink.startAcquisition(control));
    EXPECT_EQ(lookalikeLink.lastStatus().failure, LinkFailure::NotFound);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(lookalikes.openCount(i), 0);

    ScriptedBridgeDriver two({other("FT232R USB UART"), box()});
    AcquisitionLink link(two);
    EXPECT_TRUE(link.probeDevice());
    EXPECT_TRUE(link.devicePresent());
    EXPECT_TRUE(two.calls(0).empty());
    EXPECT_TRUE(two.calls(1).empty());
}

TEST_F(LinkTest, StartOpensOnlyTheSecondDeviceWhenOnlyItMatchesAndConfiguresItInOrder) {
    ScriptedBridgeDriver driver({other("FT232R USB UART"), box()});
    AcquisitionLink link(driver);
    startListening(link, driver, 1);
    EXPECT_TRUE(link.linkActive());
    EXPECT_EQ(driver.openCount(0), 0) << "another program's device must not be opened";
    const std::vector<std::string> expected = {"open", "baud 625000", "format 8N1", "purge", "usb 128 0", "rts", "dtr",
                                               "purge"};  // the reader's own purge before it listens
    EXPECT_EQ(driver.calls(1), expected);

    link.stopAcquisition();
    EXPECT_FALSE(link.linkActive());
    EXPECT_FALSE(driver.isOpen(1));
    EXPECT_EQ(driver.calls(1).back(), "close");
    EXPECT_FALSE(driver.closedUnderPendingCall());
}

TEST_F(LinkTest, TheFirstMatchingDeviceIsTaken) {
    ScriptedBridgeDriver driver({box("/dev/ttyUSB0"), box("/dev/ttyUSB1")});
    AcquisitionLink link(driver);
    startListening(link, driver, 0);
    EXPECT_EQ(driver.openCount(1), 0);
}

TEST_F(LinkTest, StartWhileActiveIsRefusedAndLeavesTheRunningLinkAlone) {
    ScriptedBridgeDriver driver({box()});
    AcquisitionLink link(driver);
    startListening(link, driver, 0);
    driver.send(0, frames(1, 3));
    ASSERT_TRUE(eventually([&] { return control.storedCount() == 2; }));

    EXPECT_FALSE(link.startAcquisition(control));
    EXPECT_EQ(link.lastStatus().failure, LinkFailure::AlreadyActive);
    EXPECT_TRUE(link.linkActive());
    EXPECT_EQ(driver.openCount(0), 1);
    EXPECT_EQ(control.storedCount(), 2) << "a refused start must not reset the running attempt";
    driver.send(0, frames(4, 1));
    EXPECT_TRUE(eventually([&] { return control.storedCount() == 3; }));
}

TEST_F(LinkTest, AFailedOpenLeavesTheLinkStartable) {
    ScriptedBridgeDriver driver({box()});
    driver.setOpenError(0, BridgeError::PermissionDenied);
    AcquisitionLink link(driver);
    EXPECT_FALSE(link.startAcquisition(control));
    EXPECT_EQ(link.lastStatus().failure, LinkFailure::PermissionDenied);
    EXPECT_TRUE(link.devicePresent()) << "the box is there, it only could not be opened";
    EXPECT_FALSE(link.linkActive());
    link.stopAcquisition();  // the caller's usual clean-up does nothing harmful

    driver.setOpenError(0, BridgeError::None);
    startListening(link, driver, 0);
    EXPECT_EQ(driver.openCount(0), 1);
    EXPECT_EQ(link.lastStatus().failure, LinkFailure::None);
}

TEST_F(LinkTest, OpenFailuresKeepTheirReason) {
    for (auto [error, failure] : {std::pair{BridgeError::Busy, LinkFailure::Busy},
                                  std::pair{BridgeError::NotFound, LinkFailure::NotFound},
                                  std::pair{BridgeError::OpenFailed, LinkFailure::OpenFailed}}) {
        ScriptedBridgeDriver driver({box()});
        driver.setOpenError(0, error);
        AcquisitionLink link(driver);
        EXPECT_FALSE(link.startAcquisition(control));
        EXPECT_EQ(link.lastStatus().failure, failure);
        EXPECT_FALSE(linkFailureText(link.lastStatus()).empty());
    }
}

TEST_F(LinkTest, ARateTheDriverDidNotApplyFailsTheStartAndClosesTheDevice) {
    ScriptedPort port = box();
    port.baudError = BridgeError::RateNotApplied;
    ScriptedBridgeDriver driver({port});
    AcquisitionLink link(driver);
    EXPECT_FALSE(link.startAcquisition(control));
    EXPECT_EQ(link.lastStatus().failure, LinkFailure::RateNotApplied);
    EXPECT_FALSE(link.linkActive());
    EXPECT_FALSE(driver.isOpen(0));
    EXPECT_EQ(driver.calls(0), (std::vector<std::string>{"open", "baud 625000", "close"}));
}

TEST_F(LinkTest, MissingModemLinesFailUnlessAllowed) {
    ScriptedPort port = box();
    port.modemLines = false;
    ScriptedBridgeDriver driver({port});
    {
        AcquisitionLink link(driver);
        EXPECT_FALSE(link.startAcquisition(control));
        EXPECT_EQ(link.lastStatus().failure, LinkFailure::ConfigurationFailed);
        EXPECT_FALSE(driver.isOpen(0));
    }
    LinkOptions options;
    options.allowMissingModemLines = true;
    AcquisitionLink link(driver, options);
    startListening(link, driver, 0);
    EXPECT_TRUE(link.modemLinesMissing());
    driver.send(0, frames(1, 2));
    EXPECT_TRUE(eventually([&] { return control.storedCount() == 1; }));
}

TEST_F(LinkTest, StopWithoutStartAndStopTwiceDoNothingHarmful) {
    ScriptedBridgeDriver driver({box()});
    AcquisitionLink link(driver);
    link.stopAcquisition();
    link.stopAcquisition();
    EXPECT_TRUE(driver.calls(0).empty());

    startListening(link, driver, 0);
    link.stopAcquisition();
    link.stopAcquisition();
    EXPECT_EQ(driver.calls(0).back(), "close");
    EXPECT_EQ(driver.openCount(0), 1);
    EXPECT_FALSE(driver.closedUnderPendingCall());
}

TEST_F(LinkTest, StopCompletesWhenTheBoxSendsNothing) {
    ScriptedBridgeDriver driver({box()});
    LinkOptions options;
    options.waitBoundMs = -1;  // only the wake-up can end the reader's wait
    AcquisitionLink link(driver, options);
    startListening(link, driver, 0);
    auto stopped = std::async(std::launch::async, [&] { link.stopAcquisition(); });
    ASSERT_EQ(stopped.wait_for(20s), std::future_status::ready) << "stop hangs on a silent box";
    EXPECT_FALSE(driver.isOpen(0));
    EXPECT_FALSE(driver.closedUnderPendingCall());
    EXPECT_EQ(control.storedCount(), 0);
}

TEST_F(LinkTest, FirstCompleteFrameIsSkippedAfterNoiseAndATornFrame) {
    ScriptedBridgeDriver driver({box()});
    AcquisitionLink link(driver);
    startListening(link, driver, 0);
    // Listening started after a little line noise, in the middle of a frame whose tail
    // holds no 0x01; then frames 1, 2, 3.
    std::vector<uint8_t> bytes = {0x00, 0xFF, 0x80, 0x8A, 0xD0, 0x7F, 0x00};
    const std::vector<uint8_t> rest = frames(1, 3);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    driver.send(0, bytes);
    ASSERT_TRUE(eventually([&] { return control.storedCount() == 2; }));
    EXPECT_TRUE(sampleIs(0, 2));
    EXPECT_TRUE(sampleIs(1, 3));
    EXPECT_EQ(control.skipFirst.load(), 0);
}

TEST_F(LinkTest, AFrameSplitAcrossReadsDecodesWhole) {
    ScriptedBridgeDriver driver({box()});
    AcquisitionLink link(driver);
    startListening(link, driver, 0);
    const std::vector<uint8_t> bytes = frames(1, 3);
    // Split inside the second frame's words, at a 0x01 data byte.
    for (auto [from, to] : {std::pair{0, 20}, std::pair{20, 21}, std::pair{21, 45}}) {
        driver.send(0, std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + to));
        ASSERT_TRUE(driver.waitUntilDrained(0, 20s));
    }
    ASSERT_EQ(control.storedCount(), 2);
    EXPECT_TRUE(sampleIs(0, 2));
    EXPECT_TRUE(sampleIs(1, 3));
    EXPECT_EQ(link.statistics().bytesRead, 45u);
    EXPECT_EQ(link.statistics().framesDecoded, 3u);
}

TEST_F(LinkTest, SearchStoresUpToIndex59999AndTheNextFrameSetsFull) {
    ScriptedBridgeDriver driver({box()});
    AcquisitionLink link(driver);
    startListening(link, driver, 0);
    // Frame 1 is skipped, frames 2..60001 are the 60000 samples; in bursts of 4000 frames.
    for (int first = 1; first <= kMaxSamples + 1; first += 4000)
        driver.send(0, frames(first, std::min(4000, kMaxSamples + 2 - first)));
    ASSERT_TRUE(driver.waitUntilDrained(0, 60s));
    ASSERT_EQ(control.storedCount(), kMaxSamples);
    EXPECT_FALSE(control.isFull());
    int wrong = 0;
    for (int i = 0; i < kMaxSamples; ++i) wrong += !sampleIs(i, i + 2);
    EXPECT_EQ(wrong, 0);

    driver.send(0, frames(kMaxSamples + 2, 1));
    ASSERT_TRUE(eventually([&] { return control.isFull(); }));
    EXPECT_EQ(control.storedCount(), kMaxSamples);
    EXPECT_TRUE(sampleIs(kMaxSamples - 1, kMaxSamples + 1));
}

TEST_F(LinkTest, TailEndsWithExactlyLimitSamples) {
    ScriptedBridgeDriver driver({box()});
    AcquisitionLink link(driver);
    startListening(link, driver, 0);
    driver.send(0, frames(1, 501));
    ASSERT_TRUE(eventually([&] { return control.storedCount() == 500; }));
    // The live tick saw the end of the stroke at sample 400: 200 samples of tail.
    control.switchToTail(400 + kTailSamples);
    driver.send(0, frames(502, 300));
    ASSERT_TRUE(eventually([&] { return control.isFull(); }));
    ASSERT_TRUE(driver.waitUntilDrained(0, 20s));
    EXPECT_EQ(control.storedCount(), 600);
    EXPECT_TRUE(sampleIs(599, 601));
    for (int c = 0; c < kChannelCount; ++c) EXPECT_EQ(control.store[c][600], 0);
    // The link keeps running until the station stops it.
    EXPECT_TRUE(link.linkActive());
}

TEST_F(LinkTest, APauseOfTheLineIsTimedWithTheSampleWhereTheStreamWentOn) {
    ScriptedBridgeDriver driver({box()});
    AcquisitionLink link(driver);
    startListening(link, driver, 0);
    driver.send(0, frames(1, 101));
    ASSERT_TRUE(eventually([&] { return control.storedCount() == 100; }));
    // Far above the 50 ms that count, so a slow machine's late wake-up cannot hide it.
    std::this_thread::sleep_for(300ms);
    driver.send(0, frames(102, 50));
    ASSERT_TRUE(eventually([&] { return control.storedCount() == 150; }));
    const auto before = std::chrono::steady_clock::now();
    link.stopAcquisition();
    const StreamTiming& t = link.streamTiming();
    ASSERT_GE(t.gapCount, 1);
    const StreamTiming::Gap& gap = t.gaps[static_cast<size_t>(t.gapCount - 1)];
    EXPECT_EQ(gap.resumedAt, 100);
    EXPECT_GE(gap.length, 250ms);
    EXPECT_EQ(t.stored, 150);
    EXPECT_GE(t.lastStored - t.started, 300ms);
    EXPECT_LE(t.lastStored, before);
}

TEST_F(LinkTest, BackStopsTheStoreAtOnce) {
    ScriptedBridgeDriver driver({box()});
    AcquisitionLink link(driver);
    startListening(link, driver, 0);
    driver.send(0, frames(1, 11));
    ASSERT_TRUE(eventually([&] { return control.storedCount() == 10; }));
    control.markFull();
    driver.send(0, frames(12, 50));
    ASSERT_TRUE(driver.waitUntilDrained(0, 20s));
    EXPECT_EQ(control.storedCount(), 10);
}

TEST_F(LinkTest, AVanishedDeviceEndsTheReaderAndStopStillCloses) {
    ScriptedBridgeDriver driver({box()});
    LinkOptions options;
    options.waitBoundMs = -1;
    AcquisitionLink link(driver, options);
    startListening(link, driver, 0);
    driver.send(0, frames(1, 6));
    driver.loseDevice(0);
    ASSERT_TRUE(eventually([&] { return link.deviceLost(); }));
    EXPECT_EQ(control.storedCount(), 5) << "what came before the loss is kept";
    EXPECT_EQ(link.lastStatus().failure, LinkFailure::DeviceLost);
    EXPECT_TRUE(link.linkActive());
    link.stopAcquisition();
    EXPECT_FALSE(driver.isOpen(0));
    EXPECT_FALSE(driver.closedUnderPendingCall());
}

TEST_F(LinkTest, EachStartBeginsAFreshAttempt) {
    ScriptedBridgeDriver driver({box()});
    AcquisitionLink link(driver);
    startListening(link, driver, 0);
    driver.send(0, frames(1, 21));
    ASSERT_TRUE(eventually([&] { return control.storedCount() == 20; }));
    control.switchToTail(20);
    driver.send(0, frames(22, 1));
    ASSERT_TRUE(eventually([&] { return control.isFull(); }));
    link.stopAcquisition();

    auto next = std::make_unique<RepetitionRecord>();
    control.prepare(*next);
    ASSERT_TRUE(link.startAcquisition(control));
    EXPECT_EQ(control.storedCount(), 0);
    EXPECT_FALSE(control.isFull());
    EXPECT_EQ(control.skipFirst.load(), 1);
    EXPECT_EQ(driver.openCount(0), 2);
    // A torn frame of the old stream must not join the new one: the assembler starts over.
    ASSERT_TRUE(driver.waitUntilReaderWaits(0, 20s));
    driver.send(0, frames(100, 3));
    ASSERT_TRUE(eventually([&] { return control.storedCount() == 2; }));
    EXPECT_TRUE(sampleIs(0, 101));
    EXPECT_EQ(next->raw.row(RateY)[1], control.store[RateY][1]);
}

TEST_F(LinkTest, DestroyingARunningLinkStopsTheReaderAndClosesTheDeviceBeforeItsDriverGoes) {
    auto owned = std::make_unique<ScriptedBridgeDriver>(std::vector<ScriptedPort>{box()});
    ScriptedBridgeDriver& driver = *owned;
    bool driverGone = false, deviceOpen = true, closedUnderCall = true;
    std::vector<std::string> calls;
    driver.whenDestroyed([&](const ScriptedBridgeDriver& d) {
        driverGone = true;
        deviceOpen = d.isOpen(0);
        closedUnderCall = d.closedUnderPendingCall();
        calls = d.calls(0);
    });
    {
        AcquisitionLink link(std::move(owned));
        EXPECT_EQ(&link.driver(), &driver);
        startListening(link, driver, 0);
        driver.send(0, frames(1, 3));
        ASSERT_TRUE(eventually([&] { return control.storedCount() == 2; }));
    }
    ASSERT_TRUE(driverGone);
    EXPECT_FALSE(deviceOpen);
    EXPECT_FALSE(closedUnderCall) << "the device was closed under the reader's call";
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "close");
    // Nothing arrives after the link has gone.
    EXPECT_EQ(control.storedCount(), 2);
}

}  // namespace
}  // namespace vanta
