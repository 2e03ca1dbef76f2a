#pragma once
// A source that takes its items ahead of the job on a thread of its own: the CD's next tracks
// are grabbed while the job encodes the ones before. Items wait in a queue bounded by count and
// by the free space of the folder they are written to; an item is handed over only once its
// source ended it well (a grabbed track's WAVE file is complete), in the source's order.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "encoder/job/input_source.h"

namespace orvane::encoder {

struct ReadAheadLimits {
    int items = 2;  // items taken and not yet handed over, at most
    // Another item is taken ahead only while the folder keeps this much free (KB); the one
    // the job waits for is always taken.
    std::uint64_t minFreeKb = 1024 * 1024;
    std::string folder;
};

class ReadAheadSource : public InputSource {
public:
    ReadAheadSource(std::unique_ptr<InputSource> inner, ReadAheadLimits limits);
    // Items still waiting go, with their files; a taking still running is cancelled.
    ~ReadAheadSource() override;

    bool Batch() const override { return true; }
    Next Take(JobRunner& runner) override;
    int Count() const override;

private:
    void Body(JobRunner& runner);
    bool RoomForMore();

    std::unique_ptr<InputSource> inner_;
    ReadAheadLimits limits_;
    JobRunner* runner_ = nullptr;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Next> queue_;
    bool over_ = false;  // nothing more comes from the inner source
    bool stop_ = false;  // the source is going
    int count_ = 0;
};

}  // namespace orvane::encoder
