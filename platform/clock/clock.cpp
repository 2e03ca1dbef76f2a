#include "platform/clock/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace orvane::clock {

std::uint64_t SystemClock::NowMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::int64_t SystemClock::WallSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

void SystemClock::SleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool Clock::SleepMsUnless(std::uint32_t ms, const std::function<bool()>& stop) {
    if (stop()) return false;
    SleepMs(ms);
    return !stop();
}

bool SystemClock::SleepMsUnless(std::uint32_t ms, const std::function<bool()>& stop) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), stop);
}

void SystemClock::WakeSleepers() {
    std::lock_guard lock(mutex_);
    wake_.notify_all();
}

std::uint32_t PauseDivisorFrom(const char* value) {
    if (!value || !*value) return 1;
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (*end || n < 1 || n > 100000) return 1;
    return static_cast<std::uint32_t>(n);
}

std::uint32_t SystemClock::PauseLength(std::uint32_t ms) {
    static const std::uint32_t divisor = PauseDivisorFrom(std::getenv("ORVANE_TEST_PAUSE_DIVISOR"));
    // A pause shortened stays a pause: at least a millisecond, so that the other threads run.
    return divisor == 1 || ms == 0 ? ms : std::max<std::uint32_t>(1, ms / divisor);
}

VirtualClock::VirtualClock(bool autoAdvance, std::int64_t wallStart)
    : wallStart_(wallStart), autoAdvance_(autoAdvance) {}

std::uint64_t VirtualClock::NowMs() {
    std::lock_guard lock(mutex_);
    return nowMs_;
}

std::int64_t VirtualClock::WallSeconds() {
    std::lock_guard lock(mutex_);
    return wallStart_ + static_cast<std::int64_t>(nowMs_ / 1000);
}

void VirtualClock::SleepMs(std::uint32_t ms) {
    std::unique_lock lock(mutex_);
    if (autoAdvance_) {
        nowMs_ += ms;
        changed_.notify_all();
        return;
    }
    const std::uint64_t deadline = nowMs_ + ms;
    ++sleepers_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return nowMs_ >= deadline || autoAdvance_; });
    if (autoAdvance_ && nowMs_ < deadline) nowMs_ = deadline;
    --sleepers_;
    changed_.notify_all();
}

bool VirtualClock::SleepMsUnless(std::uint32_t ms, const std::function<bool()>& stop) {
    std::unique_lock lock(mutex_);
    if (stop()) return false;
    if (autoAdvance_) {
        nowMs_ += ms;
        changed_.notify_all();
        return true;
    }
    const std::uint64_t deadline = nowMs_ + ms;
    ++sleepers_;
    changed_.notify_all();
    bool stopped = false;
    changed_.wait(lock, [&] {
        stopped = stop();
        return stopped || nowMs_ >= deadline || autoAdvance_;
    });
    if (!stopped && autoAdvance_ && nowMs_ < deadline) nowMs_ = deadline;
    --sleepers_;
    changed_.notify_all();
    return !stopped;
}

void VirtualClock::WakeSleepers() {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
}

void VirtualClock::Advance(std::uint64_t ms) {
    std::lock_guard lock(mutex_);
    nowMs_ += ms;
    changed_.notify_all();
}

int VirtualClock::Sleepers() {
    std::lock_guard lock(mutex_);
    return sleepers_;
}

bool VirtualClock::WaitForSleepers(int n, std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return sleepers_ >= n; });
}

void VirtualClock::SetAutoAdvance(bool on) {
    std::lock_guard lock(mutex_);
    autoAdvance_ = on;
    changed_.notify_all();
}

namespace {
SystemClock systemClock;
std::atomic<Clock*> current{&systemClock};
}  // namespace

Clock& Current() { return *current.load(); }

void Install(Clock* clock) { current.store(clock ? clock : &systemClock); }

DWORD GetTickCount() { return static_cast<DWORD>(Current().NowMs()); }

void Sleep(DWORD ms) { Current().SleepMs(ms); }

std::int64_t Time() { return Current().WallSeconds(); }

void Pause(DWORD ms) {
    Clock& c = Current();
    c.SleepMs(c.PauseLength(ms));
}

bool PauseUnless(DWORD ms, const std::function<bool()>& stop) {
    Clock& c = Current();
    return c.SleepMsUnless(c.PauseLength(ms), stop);
}

}  // namespace orvane::clock
