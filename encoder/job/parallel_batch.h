#pragma once
// A folder batch that runs several files at once: each file is a job of the request's kind on a
// runner of its own (the kind's per-file steps unchanged), at most JobRequest::parallelJobs of
// them at a time. The status texts follow the oldest running file; the others are listed a line
// each; the overall bar, the final message and the failed files cover the whole batch.
//
// A kind takes part once its entry in the table of kinds (job_kinds.h) says how its batch reads
// and ends; the MP3 encoder and decoder jobs do from the start.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "encoder/job/job_request.h"
#include "encoder/job/job_runner.h"

namespace orvane::encoder {

class InputSource;

// The folder's files the batch takes are the kind's input pattern (JobKindEntry::inputPattern),
// unless the kind gives a source of its own.
struct ParallelBatchKind {
    std::string finished;         // the final message when every file went well
    std::string verb;             // of the failure report: "encoded", "decoded"
    unsigned closingPauseMs = 0;  // between the full bars and the final message
    unsigned statisticsMs = 0;    // the window's statistics tick while files run (0: none)
    // What the job that takes the files one after the other carries from a file into the
    // settings of every later one: applied to the request before the file's own job is made
    // from it, in the batch's order (may be empty).
    std::function<void(JobRequest& request, const std::string& file)> carry;
    // What the files share (may be empty): made once per batch, handed to every file's job in
    // JobRequest::item.shared.
    // A request that already holds what its files share (JobRequest::item.shared: a caller that
    // follows the files itself) keeps it.
    std::function<std::shared_ptr<BatchShared>(const JobRequest& request)> share;
    // Where the files come from when not from the request's folder (may be empty): a list of
    // the kind's own making (a library's plan), each item with its output and its label. Made
    // on the batch's worker thread, after share; shared may be null.
    std::function<std::unique_ptr<InputSource>(const JobRequest& request, BatchShared* shared)>
        source;
    // The final message when every file went well, made from what the files shared (counts of
    // files converted and left alone); empty, or returning "": finished.
    std::function<std::string(const JobRequest& request, BatchShared* shared)> finishedText;
    // Once every file has ended and nothing was cancelled, before the final message: the
    // batch's own last step over what the files shared. It adds lines to the log and failures
    // after the files' own (may be empty).
    std::function<void(const JobRequest& request, BatchShared& shared, std::string& log,
                       std::vector<FileFailure>& failures)>
        finish;
};

// The job of a folder batch of a kind that takes part; null for other kinds.
std::unique_ptr<Job> MakeParallelBatchJob(const JobRequest& request);

// "ParallelJobs" as stored, or the number of processors when it is missing or out of range.
int ParallelJobsSetting(long stored);

}  // namespace orvane::encoder
