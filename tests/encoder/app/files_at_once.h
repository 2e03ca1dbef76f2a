#pragma once
// A gate the test holds over a batch that runs several files at once: every file's job of the
// kind does all its work, then waits at the gate until `count` files have done theirs with none
// of them ended. That they all get there proves they ran at the same time, whatever the load; a
// batch that runs them one after the other never fills the gate, which then gives up after a
// while (Filled() stays false) so that the test fails instead of hanging.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "encoder/job/job_kinds.h"
#include "encoder/job/job_runner.h"

namespace orvane::test {

class FilesAtOnce {
public:
    // Makes `kind` a job kind whose files of a batch run `make`'s job, then wait at the gate; a
    // job that is no such file runs `make`'s job alone.
    FilesAtOnce(encoder::JobKind kind, int count,
                std::function<std::unique_ptr<encoder::Job>()> make)
        : count_(count) {
        encoder::RegisterKind(
            kind,
            [this, make](const encoder::JobRequest& request) {
                std::unique_ptr<encoder::Job> job = make();
                if (!request.OneItem()) return job;
                return std::unique_ptr<encoder::Job>(std::make_unique<Held>(std::move(job), *this));
            },
            encoder::KindEntry(kind).batch);
    }

    bool Filled() {
        std::lock_guard lock(mutex_);
        return filled_;
    }

private:
    void Arrive() {
        std::unique_lock lock(mutex_);
        ++arrived_;
        if (!open_ && arrived_ >= count_) filled_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(60), [this] { return filled_ || open_; });
        // Once full or given up, the gate stays open for the files after.
        open_ = true;
        changed_.notify_all();
    }

    class Held : public encoder::Job {
    public:
        Held(std::unique_ptr<encoder::Job> job, FilesAtOnce& gate)
            : job_(std::move(job)), gate_(gate) {}
        void Run(encoder::JobRunner& r) override {
            job_->Run(r);
            gate_.Arrive();
        }
        void Cancel(encoder::JobRunner& r) override { job_->Cancel(r); }
        void WindDown(encoder::JobRunner& r) override { job_->WindDown(r); }
        void OnTick(encoder::JobRunner& r, int timerId) override { job_->OnTick(r, timerId); }
        unsigned StatisticsPeriodMs() const override { return job_->StatisticsPeriodMs(); }
        bool Busy() const override { return job_->Busy(); }
        void Interrupt() override { job_->Interrupt(); }
        void Join() override { job_->Join(); }

    private:
        std::unique_ptr<encoder::Job> job_;
        FilesAtOnce& gate_;
    };

    const int count_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int arrived_ = 0;
    bool filled_ = false, open_ = false;
};

}  // namespace orvane::test
