#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

TEST(VirtualClock, AnInterruptibleSleepEndsWhenItsStopTurnsTrue) {
    VirtualClock clock;
    std::atomic<bool> stop{false};
    std::atomic<int> result{-1};
    std::thread sleeper([&] { result = clock.SleepMsUnless(10000, [&] { return stop.load(); }); });
    ASSERT_TRUE(clock.WaitForSleepers(1));
    clock.WakeSleepers();  // nothing changed: it sleeps on
    EXPECT_EQ(clock.Sleepers(), 1);
    stop = true;
    clock.WakeSleepers();
    sleeper.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(clock.NowMs(), 0u);
    // A sleep that runs its course reports so.
    std::thread full([&] { result = clock.SleepMsUnless(50, [] { return false; }); });
    ASSERT_TRUE(clock.WaitForSleepers(1));
    clock.Advance(50);
    full.join();
    EXPECT_EQ(result.load(), 1);
}

TEST(SystemClock, AnInterruptibleSleepIsWokenEarly) {
    orvane::clock::SystemClock clock;
    std::atomic<bool> stop{false};
    auto start = std::chrono::steady_clock::now();
    std::thread waker([&] {
        while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(20)) {
        }
        stop = true;
        clock.WakeSleepers();
    });
    EXPECT_FALSE(clock.SleepMsUnless(60000, [&] { return stop.load(); }));
    waker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(Pauses, OnVirtualTimeAPauseLastsItsWholeLengthAndACancelEndsIt) {
    VirtualClock clock(true);
    orvane::clock::Install(&clock);
    orvane::clock::Pause(7000);
    EXPECT_EQ(clock.NowMs(), 7000u);
    EXPECT_TRUE(orvane::clock::PauseUnless(2500, [] { return false; }));
    EXPECT_FALSE(orvane::clock::PauseUnless(2500, [] { return true; }));
    EXPECT_EQ(clock.NowMs(), 9500u);
    orvane::clock::Install(nullptr);
}

TEST(Pauses, OnlyAWholeNumberInRangeShortensThem) {
    using orvane::clock::PauseDivisorFrom;
    EXPECT_EQ(PauseDivisorFrom(nullptr), 1u);
    EXPECT_EQ(PauseDivisorFrom(""), 1u);
    EXPECT_EQ(PauseDivisorFrom("100"), 100u);
    EXPECT_EQ(PauseDivisorFrom("100000"), 100000u);
    for (const char* wrong : {"0", "-5", "100001", "10x", "x", "1e3", "99999999999999999999"})
        EXPECT_EQ(PauseDivisorFrom(wrong), 1u) << wrong;
}
