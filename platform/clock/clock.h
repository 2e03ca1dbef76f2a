#pragma once
// Time for the whole toolkit: every wait and every clock reading goes through here, so tests
// can run on virtual time and never sleep.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "platform/base/wintypes.h"

namespace orvane::clock {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds on a monotonic scale (start unspecified).
    virtual std::uint64_t NowMs() = 0;
    // Seconds since 1970-01-01 UTC, as time() gives them.
    virtual std::int64_t WallSeconds() = 0;
    // Blocks the calling thread for ms milliseconds of this clock's time.
    virtual void SleepMs(std::uint32_t ms) = 0;
    // Sleeps like SleepMs but ends early once `stop` answers true; `stop` is asked when the
    // sleep begins and again after every WakeSleepers(). True when the whole time passed.
    virtual bool SleepMsUnless(std::uint32_t ms, const std::function<bool()>& stop);
    // Makes every SleepMsUnless ask its `stop` again (call it after changing what it reads).
    virtual void WakeSleepers() {}
    // How long a fixed pause of ms (one the programs make for the user to see something, not a
    // time-out or a poll) lasts on this clock: ms, unless the clock shortens pauses.
    virtual std::uint32_t PauseLength(std::uint32_t ms) { return ms; }
};

// The real clock (std::chrono steady and system clocks).
class SystemClock final : public Clock {
public:
    std::uint64_t NowMs() override;
    std::int64_t WallSeconds() override;
    void SleepMs(std::uint32_t ms) override;
    bool SleepMsUnless(std::uint32_t ms, const std::function<bool()>& stop) override;
    void WakeSleepers() override;
    // Test-only: $ORVANE_TEST_PAUSE_DIVISOR (a whole number from 1 to 100000, read once)
    // divides every fixed pause, so that end-to-end tests of the programs make the pauses
    // without sleeping seconds of real time. Time-outs, polls and clock readings stay real.
    std::uint32_t PauseLength(std::uint32_t ms) override;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
};

// Virtual time for tests. Time moves only when a test calls Advance, or, in auto-advance mode,
// when a thread sleeps (the sleep then returns at once with the time moved on).
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(bool autoAdvance = false, std::int64_t wallStart = 1000000000);

    std::uint64_t NowMs() override;
    std::int64_t WallSeconds() override;
    void SleepMs(std::uint32_t ms) override;
    bool SleepMsUnless(std::uint32_t ms, const std::function<bool()>& stop) override;
    void WakeSleepers() override;

    // Moves time forward and wakes the sleepers whose time has come.
    void Advance(std::uint64_t ms);
    // Number of threads blocked in SleepMs right now.
    int Sleepers();
    // Waits (on real time, at most timeoutMs) until at least n threads are blocked in SleepMs.
    bool WaitForSleepers(int n, std::uint32_t timeoutMs = 5000);
    void SetAutoAdvance(bool on);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t nowMs_ = 0;
    std::int64_t wallStart_;
    int sleepers_ = 0;
    bool autoAdvance_;
};

// The clock in force for the process (the system clock unless a test installed another).
Clock& Current();
// Installs a clock for the process; nullptr restores the system clock. The clock must outlive
// every use.
void Install(Clock* clock);

// Win32-shaped helpers over the clock in force.
DWORD GetTickCount();
void Sleep(DWORD ms);
std::int64_t Time();

// A fixed pause of ms on the clock in force (Clock::PauseLength); PauseUnless ends early once
// `stop` answers true (as SleepMsUnless) and is true when the whole pause passed.
void Pause(DWORD ms);
bool PauseUnless(DWORD ms, const std::function<bool()>& stop);

// The pause divisor a value of $ORVANE_TEST_PAUSE_DIVISOR gives: 1 (pauses as they are) for
// anything but a whole number from 1 to 100000.
std::uint32_t PauseDivisorFrom(const char* value);

}  // namespace orvane::clock
