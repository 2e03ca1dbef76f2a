#pragma once
// Every job kind of the encoder front-end in one table: what the command lines and the wizard
// call it, the files it writes and the ones it takes from an input folder, and, once the kind's
// room has registered it, its job and how a folder batch of it runs several files at once. The
// wizard, plimo-job, orvane-cdda rip, the CD job, the folder batches and the job runner all read
// it.
//
// Adding a kind: its JobKind value and its entry in job_kinds.cpp, one file with its job (a
// class derived from Job, its line in CMakeLists.txt) and the one RegisterKind call its room
// makes at start-up (the MP3 jobs: RegisterMp3Jobs, encoder/mp3/mp3_jobs.h).

#include <memory>
#include <optional>
#include <string>

#include "encoder/job/job.h"
#include "encoder/job/job_runner.h"

namespace orvane::encoder {

struct ParallelBatchKind;

struct JobKindEntry {
    JobKind kind = JobKind::EncodeMp3;
    std::string option;        // plimo-job's option that chooses it ("--flac"); empty: none
    std::string format;        // orvane-cdda rip's --format name ("flac")
    std::string name;          // what the texts of its jobs call the format ("FLAC")
    std::string extension;     // of the files it writes (".FLAC")
    std::string inputPattern;  // the files of an input folder it takes ("*.WAV")
    JobFactory factory;        // null until the kind's room registered it
    // How a folder batch of it runs several files at once (parallel_batch.h); null: a batch
    // of it runs its files one after the other.
    std::shared_ptr<const ParallelBatchKind> batch;
};

// The kind's room makes it known: its job and, when its batches may run several files at
// once, how. A later registration of the same kind replaces both.
void RegisterKind(JobKind kind, JobFactory factory,
                  std::shared_ptr<const ParallelBatchKind> batch = nullptr);
// A copy of the kind's entry.
JobKindEntry KindEntry(JobKind kind);
// The kind plimo-job's option chooses, or orvane-cdda rip's --format names.
std::optional<JobKind> KindByOption(const std::string& option);
std::optional<JobKind> KindByFormat(const std::string& format);

}  // namespace orvane::encoder
