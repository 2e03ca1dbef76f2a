#pragma once
// The status window as a job sees it: every report recorded, message boxes answered with OK,
// and waits for the log or the job's end.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "encoder/job/job_runner.h"

namespace orvane::test {

// The inputs an outcome lists as failed, in its order.
inline std::vector<std::string> FailedFiles(const encoder::JobOutcome& outcome) {
    std::vector<std::string> files;
    for (const encoder::FileFailure& f : outcome.failures)
        files.push_back(f.input);
    return files;
}

class JobRecorder : public encoder::JobObserver {
public:
    struct Box {
        std::string text, caption;
        unsigned flags;
    };

    void JobSetText(encoder::JobText which, const std::string& text) override {
        std::lock_guard l(m_);
        texts_[which] = text;
        changed_.notify_all();
    }
    void JobSetRange(encoder::JobBar bar, int low, int high) override {
        std::lock_guard l(m_);
        ranges_[bar] = {low, high};
    }
    void JobSetPos(encoder::JobBar bar, int pos) override {
        std::lock_guard l(m_);
        pos_[bar] = pos;
        const auto [low, high] = ranges_[bar];
        percents_[bar].push_back(high > low ? (pos - low) * 100 / (high - low) : 0);
    }
    void JobSetCounter(encoder::JobCounter which, int value) override {
        std::lock_guard l(m_);
        counters_[which] = value;
    }
    int JobMessage(const std::string& text, const std::string& caption, unsigned flags) override {
        std::lock_guard l(m_);
        boxes_.push_back({text, caption, flags});
        return IDOK;
    }
    void JobFinished(const encoder::JobOutcome& outcome) override {
        std::lock_guard l(m_);
        finished_.push_back(outcome);
        changed_.notify_all();
    }
    void JobClose(int result) override {
        std::lock_guard l(m_);
        closes_.push_back(result);
        changed_.notify_all();
    }
    void JobStatisticsTimer(unsigned ms) override {
        std::lock_guard l(m_);
        timers_.push_back(ms);
    }

    std::string Text(encoder::JobText which) {
        std::lock_guard l(m_);
        return texts_[which];
    }
    std::pair<int, int> Range(encoder::JobBar bar) {
        std::lock_guard l(m_);
        return ranges_[bar];
    }
    int Pos(encoder::JobBar bar) {
        std::lock_guard l(m_);
        return pos_[bar];
    }
    // Every position the bar was moved to, in percent of its range at that moment.
    std::vector<int> Percents(encoder::JobBar bar) {
        std::lock_guard l(m_);
        return percents_[bar];
    }
    int Counter(encoder::JobCounter which) {
        std::lock_guard l(m_);
        return counters_[which];
    }
    std::vector<Box> Boxes() {
        std::lock_guard l(m_);
        return boxes_;
    }
    std::vector<std::string> Messages() {
        std::vector<std::string> texts;
        for (const Box& b : Boxes())
            texts.push_back(b.text);
        return texts;
    }
    // Every end the job reported (a job ends once).
    std::vector<encoder::JobOutcome> Finished() {
        std::lock_guard l(m_);
        return finished_;
    }
    // The job's end, if it reported one; a second end fails the test.
    std::optional<encoder::JobOutcome> Outcome() {
        std::lock_guard l(m_);
        EXPECT_LE(finished_.size(), 1u) << "a job ends once";
        if (finished_.empty()) return std::nullopt;
        return finished_.front();
    }
    std::vector<int> Closes() {
        std::lock_guard l(m_);
        return closes_;
    }
    std::vector<unsigned> Timers() {
        std::lock_guard l(m_);
        return timers_;
    }
    // Waits (real time, at most a minute) until the log holds text.
    bool WaitLog(const std::string& text) {
        std::unique_lock l(m_);
        return changed_.wait_for(l, std::chrono::seconds(60), [&] {
            return texts_[encoder::JobText::Log].find(text) != std::string::npos;
        });
    }
    // Waits (real time, at most ms) until the job ended or closed its window.
    bool WaitEnd(int ms = 120000) {
        std::unique_lock l(m_);
        return changed_.wait_for(l, std::chrono::milliseconds(ms),
                                 [&] { return !finished_.empty() || !closes_.empty(); });
    }

private:
    std::mutex m_;
    std::condition_variable changed_;
    std::map<encoder::JobText, std::string> texts_;
    std::map<encoder::JobBar, std::pair<int, int>> ranges_;
    std::map<encoder::JobBar, int> pos_;
    std::map<encoder::JobBar, std::vector<int>> percents_;
    std::map<encoder::JobCounter, int> counters_;
    std::vector<Box> boxes_;
    std::vector<encoder::JobOutcome> finished_;
    std::vector<int> closes_;
    std::vector<unsigned> timers_;
};

}  // namespace orvane::test
