#pragma once
// A job observer that records the messages and the outcome of a job.

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "encoder/app/job_runner.h"

namespace orvane::test {

class JobRecorder : public encoder::JobObserver {
public:
    void JobSetText(encoder::JobText, const std::string&) override {}
    void JobSetRange(encoder::JobBar, int, int) override {}
    void JobSetPos(encoder::JobBar, int) override {}
    void JobSetCounter(encoder::JobCounter, int) override {}
    int JobMessage(const std::string& text, const std::string&, unsigned) override {
        std::lock_guard l(m_);
        messages.push_back(text);
        return IDOK;
    }
    void JobFinished(const encoder::JobOutcome& o) override {
        std::lock_guard l(m_);
        outcome = o;
        cv_.notify_all();
    }
    void JobClose(int) override {
        std::lock_guard l(m_);
        closed = true;
        cv_.notify_all();
    }
    bool WaitEnd(int ms = 120000) {
        std::unique_lock l(m_);
        return cv_.wait_for(l, std::chrono::milliseconds(ms),
                            [&] { return outcome.has_value() || closed; });
    }
    std::vector<std::string> Messages() {
        std::lock_guard l(m_);
        return messages;
    }

    std::vector<std::string> messages;
    std::optional<encoder::JobOutcome> outcome;
    bool closed = false;

private:
    std::mutex m_;
    std::condition_variable cv_;
};

}  // namespace orvane::test
