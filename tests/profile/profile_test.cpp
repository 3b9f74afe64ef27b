// The load-power profile on cases worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "profile/profile.h"

namespace vanta {
namespace {

ProfileAttempt attempt(int direction, float load, float peakPower, std::string file = "a.kvq", int repetition = 0) {
    ProfileAttempt a;
    a.file = std::move(file);
    a.repetition = repetition;
    a.direction = direction;
    a.loadMass = load;
    a.hasPeak = true;
    a.peakPower = peakPower;
    return a;
}

TEST(ProfileSides, DirectionNamesTheSideAndTheSettingSwapsThem) {
    EXPECT_EQ(sideOfDirection(1, false), Side::Right);
    EXPECT_EQ(sideOfDirection(-1, false), Side::Left);
    EXPECT_EQ(sideOfDirection(1, true), Side::Left);
    EXPECT_EQ(sideOfDirection(-1, true), Side::Right);
    EXPECT_EQ(sideOfDirection(0, false), std::nullopt);
}

// P(L) = -2 (L - 12)^2 + 500 = -2 L^2 + 48 L + 212 at 5, 10 and 15 kg.
TEST(PowerLoadParabola, ThreeLoadsOnAKnownParabolaGiveItsTop) {
    const Profile p = buildProfile({attempt(1, 10, 492), attempt(1, 5, 402), attempt(1, 15, 482)}, false);
    const SideProfile& right = p.side(Side::Right);
    ASSERT_EQ(right.loads.size(), 3u);
    EXPECT_EQ(right.loads[0].load, 5.0);  // sorted by load
    ASSERT_TRUE(right.powerLoad);
    const PowerLoadFit& f = *right.powerLoad;
    EXPECT_NEAR(f.a, -2.0, 1e-12);
    EXPECT_NEAR(f.b, 48.0, 1e-10);
    EXPECT_NEAR(f.c, 212.0, 1e-9);
    EXPECT_NEAR(*f.r2, 1.0, 1e-12);
    EXPECT_EQ(f.top, PowerLoadFit::Top::Inside);
    EXPECT_NEAR(*f.topLoad, 12.0, 1e-12);
    EXPECT_NEAR(*f.topPower, 500.0, 1e-10);
    EXPECT_TRUE(p.asymmetry.empty());  // one side only
    EXPECT_TRUE(p.side(Side::Left).loads.empty());
}

TEST(PowerLoadParabola, TopOutsideTheLoadsOrNoTopAtAll) {
    // -(L - 30)^2 + 1000: still rising at 15 kg.
    const Profile rising = buildProfile({attempt(-1, 5, 375), attempt(-1, 10, 600), attempt(-1, 15, 775)}, false);
    ASSERT_TRUE(rising.side(Side::Left).powerLoad);
    EXPECT_EQ(rising.side(Side::Left).powerLoad->top, PowerLoadFit::Top::Outside);
    EXPECT_FALSE(rising.side(Side::Left).powerLoad->topLoad);
    // Collinear points: a = 0, no top, though the loads' mean (11.67 kg) leaves rounding in a.
    const Profile line = buildProfile({attempt(1, 5, 100), attempt(1, 10, 200), attempt(1, 20, 400)}, false);
    ASSERT_TRUE(line.side(Side::Right).powerLoad);
    EXPECT_EQ(line.side(Side::Right).powerLoad->a, 0.0);
    EXPECT_EQ(line.side(Side::Right).powerLoad->top, PowerLoadFit::Top::None);
    EXPECT_FALSE(line.side(Side::Right).powerLoad->topPower);
    // 2 (L - 10)^2 + 300 opens upwards: its vertex at 10 kg is the least power, no top.
    const Profile valley = buildProfile({attempt(1, 5, 350), attempt(1, 10, 300), attempt(1, 15, 350)}, false);
    ASSERT_TRUE(valley.side(Side::Right).powerLoad);
    EXPECT_NEAR(valley.side(Side::Right).powerLoad->a, 2.0, 1e-12);
    EXPECT_EQ(valley.side(Side::Right).powerLoad->top, PowerLoadFit::Top::None);
    EXPECT_FALSE(valley.side(Side::Right).powerLoad->topLoad);
    EXPECT_FALSE(valley.side(Side::Right).powerLoad->topPower);
}

// Torque falls from 50 N.m at 100 deg/s to 30 N.m at 200 deg/s: T0 70, omega0 350.
TEST(TorqueVelocityLine, InterceptsAndTheTopOfPower) {
    ProfileAttempt slow = attempt(1, 20, 300), fast = attempt(1, 10, 400);
    slow.meanVelocityAcceleration = 100;
    slow.meanTorqueAcceleration = 50;
    fast.meanVelocityAcceleration = 200;
    fast.meanTorqueAcceleration = 30;
    const Profile p = buildProfile({slow, fast}, false);
    const SideProfile& right = p.side(Side::Right);
    EXPECT_FALSE(right.powerLoad);  // two loads: no parabola
    ASSERT_TRUE(right.torqueVelocity);
    const TorqueVelocityFit& f = *right.torqueVelocity;
    EXPECT_DOUBLE_EQ(f.slope, -0.2);
    EXPECT_DOUBLE_EQ(*f.t0, 70.0);
    EXPECT_DOUBLE_EQ(*f.omega0, 350.0);
    EXPECT_DOUBLE_EQ(*f.topPower, 70.0 * 350.0 * std::numbers::pi / 180.0 / 4.0);
    EXPECT_DOUBLE_EQ(*f.r2, 1.0);
    // A rising line has no intercepts to report.
    std::swap(slow.meanTorqueAcceleration, fast.meanTorqueAcceleration);
    const Profile rising = buildProfile({slow, fast}, false);
    ASSERT_TRUE(rising.side(Side::Right).torqueVelocity);
    EXPECT_FALSE(rising.side(Side::Right).torqueVelocity->t0);
    EXPECT_FALSE(rising.side(Side::Right).torqueVelocity->topPower);
}

TEST(ProfileGroups, LoadsWithinFiveGramsAreOneLoadAndTheFirstBestAttemptWins) {
    const Profile p = buildProfile({attempt(1, 10.0f, 300, "a.kvq", 0), attempt(1, 10.004f, 350, "a.kvq", 1),
                                    attempt(1, 10.0f, 350, "b.kvq", 0), attempt(1, 10.01f, 200, "b.kvq", 1)},
                                   false);
    const std::vector<LoadBest>& loads = p.side(Side::Right).loads;
    ASSERT_EQ(loads.size(), 2u);  // one load only below 10.01: no fits
    EXPECT_EQ(loads[0].load, 10.0);
    EXPECT_EQ(loads[0].attempts, 3);
    EXPECT_EQ(loads[0].peakPower, 350.0);
    EXPECT_EQ(loads[0].file, "a.kvq");  // the tie goes to the attempt given first
    EXPECT_EQ(loads[0].repetition, 1);
    EXPECT_EQ(loads[1].attempts, 1);
    EXPECT_FALSE(p.side(Side::Right).powerLoad);
}

// A group reaches 5 g above its lowest load and no further, in whatever order the
// attempts come: 10.000, 10.004 and 10.008 kg are two loads, not one chained group, and a
// load is the same load on both sides.
TEST(ProfileGroups, LoadsDoNotChainWhateverTheirOrder) {
    const std::vector<std::vector<float>> orders = {
        {10.0f, 10.004f, 10.008f}, {10.004f, 10.0f, 10.008f}, {10.008f, 10.004f, 10.0f}};
    for (const std::vector<float>& order : orders) {
        std::vector<ProfileAttempt> session;
        for (float load : order) session.push_back(attempt(1, load, 100 * load));
        session.push_back(attempt(-1, 10.004f, 90));
        const Profile p = buildProfile(session, false);
        const std::vector<LoadBest>& right = p.side(Side::Right).loads;
        ASSERT_EQ(right.size(), 2u) << order[0];
        EXPECT_EQ(right[0].load, 10.0f);
        EXPECT_EQ(right[0].attempts, 2);
        EXPECT_EQ(right[1].load, 10.008f);
        EXPECT_EQ(right[1].attempts, 1);
        ASSERT_EQ(p.side(Side::Left).loads.size(), 1u);
        EXPECT_EQ(p.side(Side::Left).loads[0].load, 10.0f);
        ASSERT_EQ(p.asymmetry.size(), 2u);  // 10.00 kg on both sides, then the best
        EXPECT_EQ(p.asymmetry[0].load, 10.0f);
    }
}

TEST(Asymmetry, TheSameWhicheverSideIsStrongerAndZeroWhenEqual) {
    const std::vector<ProfileAttempt> session = {attempt(-1, 10, 400), attempt(1, 10, 300), attempt(-1, 15, 380),
                                                 attempt(1, 15.003f, 380), attempt(1, 20, 500)};
    const Profile p = buildProfile(session, false);
    ASSERT_EQ(p.asymmetry.size(), 3u);  // 10 and 15 kg on both sides, then the best
    EXPECT_EQ(p.asymmetry[0].load, 10.0);
    EXPECT_EQ(p.asymmetry[0].stronger, Side::Left);
    EXPECT_DOUBLE_EQ(p.asymmetry[0].percent, 25.0);
    EXPECT_EQ(p.asymmetry[1].stronger, std::nullopt);  // equal powers
    EXPECT_EQ(p.asymmetry[1].percent, 0.0);
    EXPECT_FALSE(p.asymmetry[2].load);  // best: 400 left against 500 right
    EXPECT_EQ(p.asymmetry[2].stronger, Side::Right);
    EXPECT_DOUBLE_EQ(p.asymmetry[2].percent, 20.0);

    const Profile swapped = buildProfile(session, true);
    ASSERT_EQ(swapped.asymmetry.size(), 3u);
    EXPECT_EQ(swapped.asymmetry[0].stronger, Side::Right);
    EXPECT_EQ(swapped.asymmetry[0].percent, p.asymmetry[0].percent);
    EXPECT_EQ(swapped.asymmetry[2].stronger, Side::Left);
    EXPECT_EQ(swapped.asymmetry[2].percent, p.asymmetry[2].percent);
}

TEST(ProfileInput, RepetitionsWithoutPeakOrLoadAreLeftOutAndDamagedLoadsRefused) {
    auto test = std::make_unique<TestRecord>();
    test->repetitionCount = 3;
    for (int r = 0; r < 3; ++r) {
        test->repetitions[r].direction = 1;
        test->repetitions[r].loadMass = 10.0f;
        test->results[r].velocityPeakIndex = 400;
        test->results[r].at(PeakAll, ResultColumn::Power) = 100.0f * static_cast<float>(r + 1);
        test->results[r].at(MeanAcceleration, ResultColumn::Torque) = 40.0f;
    }
    test->results[2].velocityPeakIndex = -10;  // the analysis found no peak: its table is stale
    test->repetitions[0].loadMass = 0.0f;
    std::vector<ProfileAttempt> attempts;
    ASSERT_TRUE(appendTestAttempts(attempts, *test, "t.kvq"));
    const Profile p = buildProfile(attempts, false);
    EXPECT_EQ(p.withoutPeak, 1);
    EXPECT_EQ(p.badLoad, 1);
    ASSERT_EQ(p.side(Side::Right).loads.size(), 1u);
    EXPECT_EQ(p.side(Side::Right).loads[0].attempts, 1);
    EXPECT_EQ(p.side(Side::Right).loads[0].repetition, 1);
    EXPECT_EQ(p.side(Side::Right).loads[0].peakPower, 200.0);
    EXPECT_EQ(p.side(Side::Right).loads[0].meanTorqueAcceleration, 40.0);

    test->repetitions[1].loadMass = std::nanf("");
    std::vector<ProfileAttempt> refused;
    EXPECT_FALSE(appendTestAttempts(refused, *test, "t.kvq"));
    EXPECT_TRUE(refused.empty());
}

}  // namespace
}  // namespace vanta
