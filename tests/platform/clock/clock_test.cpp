#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock/clock.h"

using orvane::clock::VirtualClock;

TEST(VirtualClock, SleepersWakeOnlyWhenTheirTimeHasCome) {
    VirtualClock clock;
    std::atomic<int> woke{0};
    std::thread shortSleep([&] {
        clock.SleepMs(100);
        woke |= 1;
    });
    std::thread longSleep([&] {
        clock.SleepMs(500);
        woke |= 2;
    });
    ASSERT_TRUE(clock.WaitForSleepers(2));
    clock.Advance(99);
    EXPECT_EQ(woke.load(), 0);
    clock.Advance(1);
    shortSleep.join();
    EXPECT_EQ(woke.load(), 1);
    EXPECT_EQ(clock.Sleepers(), 1);
    clock.Advance(400);
    longSleep.join();
    EXPECT_EQ(woke.load(), 3);
    EXPECT_EQ(clock.NowMs(), 500u);
}

TEST(VirtualClock, AutoAdvanceMovesTimeAndWallSeconds) {
    VirtualClock clock(true, 5000);
    clock.SleepMs(1500);
    clock.SleepMs(600);
    EXPECT_EQ(clock.NowMs(), 2100u);
    EXPECT_EQ(clock.WallSeconds(), 5002);
}

TEST(ClockInForce, InstalledClockServesTheWin32Helpers) {
    VirtualClock clock(true);
    orvane::clock::Install(&clock);
    const DWORD before = orvane::clock::GetTickCount();
    orvane::clock::Sleep(250);
    EXPECT_EQ(orvane::clock::GetTickCount() - before, 250u);
    orvane::clock::Install(nullptr);
    EXPECT_NE(&orvane::clock::Current(), static_cast<orvane::clock::Clock*>(&clock));
}
