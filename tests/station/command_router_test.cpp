// The router without a window: handlers only by the table's owner, rules asked before
// anything runs (also for a posted command, when it runs), and what observers are told.
#include "station/command_router.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "station/command_ids.h"
#include "tests/support/screen_doubles.h"

namespace vanta {
namespace {

using testing::QueuedPoster;

class CommandRouterTest : public ::testing::Test {
protected:
    Station station;
    QueuedPoster queue;
    CommandRouter router{station, queue.poster()};
    std::vector<std::pair<int, CommandOutcome>> told;
    int ran = 0;

    void SetUp() override {
        router.addObserver([this](int id, CommandOutcome o) { told.emplace_back(id, o); });
    }
    CommandRouter::Handler counting() {
        return [this](Notification) { ++ran; };
    }
};

TEST_F(CommandRouterTest, OnlyTheTablesOwnerMayBindACommand) {
    EXPECT_FALSE(router.bind(CommandOwner::Frame, cmd::kPerform, counting()));
    EXPECT_FALSE(router.bind(CommandOwner::View, 4711, counting()));
    EXPECT_FALSE(router.isEnabled(cmd::kPerform));  // no handler yet
    EXPECT_TRUE(router.bind(CommandOwner::View, cmd::kPerform, counting()));
    EXPECT_TRUE(router.isEnabled(cmd::kPerform));
    EXPECT_FALSE(router.execute(4711));
    EXPECT_TRUE(router.execute(cmd::kPerform));
    EXPECT_EQ(ran, 1);

    router.unbindAll(CommandOwner::View);
    EXPECT_FALSE(router.execute(cmd::kPerform));
    EXPECT_EQ(ran, 1);
    const std::vector<int> unbound = router.unboundCommands();
    EXPECT_NE(std::find(unbound.begin(), unbound.end(), cmd::kPerform), unbound.end());
}

TEST_F(CommandRouterTest, ADisabledCommandNeverRunsAndIsReportedRefused) {
    ASSERT_TRUE(router.bind(CommandOwner::Frame, cmd::kFileOpen, counting()));
    ASSERT_TRUE(router.bind(CommandOwner::View, cmd::kDigitalReport, counting()));
    station.viewMode = kViewMeasurement;
    EXPECT_FALSE(router.isEnabled(cmd::kFileOpen));
    EXPECT_FALSE(router.execute(cmd::kFileOpen));
    EXPECT_FALSE(router.execute(cmd::kDigitalReport));  // nothing may be reported yet
    EXPECT_EQ(ran, 0);
    station.viewMode = kViewIdle;
    station.resultsAvailable = 1;
    EXPECT_TRUE(router.execute(cmd::kFileOpen));
    EXPECT_TRUE(router.execute(cmd::kDigitalReport));
    EXPECT_EQ(ran, 2);
    const std::vector<std::pair<int, CommandOutcome>> expected = {
        {cmd::kFileOpen, CommandOutcome::Refused},
        {cmd::kDigitalReport, CommandOutcome::Refused},
        {cmd::kFileOpen, CommandOutcome::Executed},
        {cmd::kDigitalReport, CommandOutcome::Executed},
    };
    EXPECT_EQ(told, expected);
}

TEST_F(CommandRouterTest, APostedCommandWaitsAndAsksItsRuleWhenItRuns) {
    ASSERT_TRUE(router.bind(CommandOwner::View, cmd::kDigitalReport, counting()));
    ASSERT_TRUE(router.bind(CommandOwner::View, cmd::kLiveTick, counting()));
    station.resultsAvailable = 1;
    router.post(cmd::kDigitalReport);
    router.post(cmd::kLiveTick);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(queue.waiting(), 2u);
    station.resultsAvailable = 0;  // taken away before the queue comes to it
    queue.runPosted();
    EXPECT_EQ(ran, 1);  // the tick only
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], std::make_pair(cmd::kDigitalReport, CommandOutcome::Refused));
    EXPECT_EQ(told[1], std::make_pair(cmd::kLiveTick, CommandOutcome::Executed));
}

TEST_F(CommandRouterTest, AHandlerMayReplaceItselfAndObserversMayLeave) {
    // A screen replacing its bar rebinds while its own handler runs.
    ASSERT_TRUE(router.bind(CommandOwner::View, cmd::kStart, [this](Notification) {
        router.bind(CommandOwner::View, cmd::kStart, counting());
        ran += 10;
    }));
    EXPECT_TRUE(router.execute(cmd::kStart));
    EXPECT_TRUE(router.execute(cmd::kStart));
    EXPECT_EQ(ran, 11);

    int seen = 0;
    int token = 0;
    token = router.addObserver([&](int, CommandOutcome) {
        ++seen;
        router.removeObserver(token);
    });
    router.execute(cmd::kStart);
    router.execute(cmd::kStart);
    EXPECT_EQ(seen, 1);
}

}  // namespace
}  // namespace vanta
