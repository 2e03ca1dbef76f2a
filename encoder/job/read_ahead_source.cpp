#include "encoder/job/read_ahead_source.h"

#include <utility>

#include "encoder/job/job_runner.h"
#include "platform/shell/sysinfo.h"

namespace orvane::encoder {

ReadAheadSource::ReadAheadSource(std::unique_ptr<InputSource> inner, ReadAheadLimits limits)
    : inner_(std::move(inner)), limits_(std::move(limits)) {
    count_ = inner_->Count();
}

ReadAheadSource::~ReadAheadSource() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        // A track being grabbed for a job that ended otherwise stops as a cancelled one.
        if (!over_ && runner_ && !runner_->CancelRequested()) runner_->RequestCancel();
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

int ReadAheadSource::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

bool ReadAheadSource::RoomForMore() {
    if (static_cast<int>(queue_.size()) >= limits_.items) return false;
    std::uint64_t freeKb = 0;
    return shell::FreeDiskKb(limits_.folder, freeKb) && freeKb >= limits_.minFreeKb;
}

InputSource::Next ReadAheadSource::Take(JobRunner& runner) {
    std::unique_lock lock(mutex_);
    if (!thread_.joinable() && !over_) {
        runner_ = &runner;
        thread_ = std::thread([this, &runner] { Body(runner); });
    }
    changed_.wait(lock, [this] { return !queue_.empty() || over_; });
    if (queue_.empty()) return {};
    Next next = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    return next;
}

void ReadAheadSource::Body(JobRunner& runner) {
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            // The item the job waits for is always taken; more only within the limits.
            changed_.wait(lock, [this] { return stop_ || queue_.empty() || RoomForMore(); });
            if (stop_) break;
        }
        Next next = inner_->Take(runner);
        const bool last = next.step == Step::End || next.step == Step::Cancelled;
        std::lock_guard lock(mutex_);
        count_ = inner_->Count();
        queue_.push_back(std::move(next));
        changed_.notify_all();
        if (last) break;
    }
    std::lock_guard lock(mutex_);
    over_ = true;
    changed_.notify_all();
}

}  // namespace orvane::encoder
