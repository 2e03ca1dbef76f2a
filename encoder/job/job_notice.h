#pragma once
// What the desktop is told when a job ends while nobody looks at Plimo's windows: a short
// notification with the job's result and the first line of its final message; for a CD job also
// the album and how the rip compared with the AccurateRip database.

#include <functional>
#include <string>

#include "encoder/job/job_request.h"
#include "encoder/job/job_runner.h"

namespace orvane::encoder {

inline constexpr const char* kNoticeDone = "Plimo: the job is done";
inline constexpr const char* kNoticeFailed = "Plimo: the job failed";
inline constexpr const char* kNoticeCancelled = "Plimo: the job was cancelled";

struct JobNotice {
    std::string summary;
    std::string body;
    bool failed = false;
};

// ripOutcome: the verified rip's one-line outcome (empty when the job checked none).
JobNotice MakeJobNotice(const JobRequest& request, const JobOutcome& outcome,
                        const std::string& ripOutcome);

// The album a CD job's tracks are tagged with: the first track that names one; empty for none.
std::string JobAlbum(const JobRequest& request);

// Listeners of the jobs the processing window runs (the desktop's notifications and its sleep
// inhibitor); process-wide, each empty for none.
struct JobWindowHooks {
    // The job started (GUI thread).
    std::function<void(const JobRequest&)> started;
    // The job ended with an outcome, before its final message is shown (the job's thread).
    std::function<void(const JobRequest&, const JobOutcome&)> finished;
    // The job's worker has ended, with or without an outcome (any thread).
    std::function<void()> ended;
};
JobWindowHooks& TheJobWindowHooks();

}  // namespace orvane::encoder
