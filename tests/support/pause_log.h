#pragma once
// A clock that keeps virtual time (auto-advancing) and notes every fixed pause asked of it, in
// order: what a job pauses for can be checked exactly, without sleeping and without timing.

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/clock/clock.h"

namespace orvane::test {

class PauseLog final : public clock::Clock {
public:
    std::uint64_t NowMs() override { return time_.NowMs(); }
    std::int64_t WallSeconds() override { return time_.WallSeconds(); }
    void SleepMs(std::uint32_t ms) override { time_.SleepMs(ms); }
    bool SleepMsUnless(std::uint32_t ms, const std::function<bool()>& stop) override {
        return time_.SleepMsUnless(ms, stop);
    }
    void WakeSleepers() override { time_.WakeSleepers(); }
    std::uint32_t PauseLength(std::uint32_t ms) override {
        std::lock_guard lock(mutex_);
        pauses_.push_back(ms);
        return ms;
    }

    std::vector<std::uint32_t> Pauses() {
        std::lock_guard lock(mutex_);
        return pauses_;
    }

private:
    clock::VirtualClock time_{true};
    std::mutex mutex_;
    std::vector<std::uint32_t> pauses_;
};

}  // namespace orvane::test
