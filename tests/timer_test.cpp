#include "platform/Clock.h"
#include "platform/DXTimer.h"

#include <gtest/gtest.h>
#include <vector>

using namespace varnok::platform;

namespace {
struct TimerFixture : ::testing::Test {
    SimulatedClock clock{1000};
    TDXTimer timer{&clock};
    std::vector<uint32_t> lags;
    void SetUp() override {
        timer.OnTimer = [this](uint32_t lag) { lags.push_back(lag); };
    }
};
} // namespace

TEST_F(TimerFixture, TicksOnlyWhileEnabledWithLagAtLeastOne) {
    EXPECT_FALSE(timer.Idle());
    timer.SetEnabled(true);
    clock.Advance(16);
    EXPECT_TRUE(timer.Idle());
    EXPECT_TRUE(timer.Idle()); // no time passed: still a tick, lag 1
    clock.Advance(40);
    timer.Idle();
    EXPECT_EQ(lags, (std::vector<uint32_t>{16, 1, 40}));
    timer.SetEnabled(false);
    clock.Advance(10);
    EXPECT_FALSE(timer.Idle());
    EXPECT_EQ(lags.size(), 3u);
}

TEST_F(TimerFixture, EnablingResetsTheTimeBaseButSettingTheSameValueDoesNot) {
    timer.SetEnabled(true);
    clock.Advance(100);
    timer.SetEnabled(true); // unchanged: the base stays at the first enabling
    timer.Idle();
    timer.SetEnabled(false);
    clock.Advance(5000); // time while disabled is not lag
    timer.SetEnabled(true);
    clock.Advance(7);
    timer.Idle();
    EXPECT_EQ(lags, (std::vector<uint32_t>{100, 7}));
}

TEST_F(TimerFixture, IntervalHoldsTicksBack) {
    timer.SetInterval(20);
    timer.SetEnabled(true);
    clock.Advance(19);
    EXPECT_FALSE(timer.Idle());
    clock.Advance(1);
    EXPECT_TRUE(timer.Idle());
    EXPECT_EQ(lags, (std::vector<uint32_t>{20}));
}

TEST_F(TimerFixture, FrameRateIsMeasuredEachSecondAndRoundsTiesToEven) {
    timer.SetEnabled(true);
    // 62 ticks of 16 ms reach 992 ms; the 63rd, at 1008 ms, measures
    // Round(63 * 1000 / 1008) = Round(62.5) = 62.
    for (int i = 0; i < 63; ++i) {
        clock.Advance(16);
        timer.Idle();
        if (i < 62) {
            EXPECT_EQ(timer.FrameRate(), 0);
        }
    }
    EXPECT_EQ(timer.FrameRate(), 62);

    // One tick in 2000 ms: Round(0.5) = 0.
    clock.Advance(2000);
    timer.Idle();
    EXPECT_EQ(timer.FrameRate(), 0);
    // Three ticks in 2000 ms: Round(1.5) = 2; five in 2000 ms: Round(2.5) = 2.
    for (uint32_t step : {400u, 400u, 1200u}) {
        clock.Advance(step);
        timer.Idle();
    }
    EXPECT_EQ(timer.FrameRate(), 2);
    for (uint32_t step : {200u, 200u, 200u, 200u, 1200u}) {
        clock.Advance(step);
        timer.Idle();
    }
    EXPECT_EQ(timer.FrameRate(), 2);
}

TEST(ClockTest, ScopedClockInstallsAndRestores) {
    SimulatedClock a(5), b(9);
    {
        ScopedClock sa(a);
        EXPECT_EQ(GetTickCount(), 5u);
        {
            ScopedClock sb(b);
            EXPECT_EQ(TimeGetTime(), 9u);
        }
        EXPECT_EQ(GetTickCount(), 5u);
    }
    EXPECT_NE(&CurrentClock(), &a);
}
