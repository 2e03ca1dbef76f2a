#pragma once
// The MP3 encoder and decoder jobs: the codec child programs fed through pipes, one file after
// the other or several files at once in a folder batch.

#include <memory>

#include "encoder/job/job_runner.h"
#include "encoder/job/parallel_batch.h"

namespace orvane::encoder {

std::unique_ptr<Job> MakeMp3EncodeJob();
std::unique_ptr<Job> MakeMp3DecodeJob();
// How their folder batches run several files at once.
ParallelBatchKind Mp3EncodeBatch();
ParallelBatchKind Mp3DecodeBatch();

// Makes both kinds known in the table of kinds (job_kinds.h): every program that runs MP3 jobs
// calls it once at start-up, before its first job.
void RegisterMp3Jobs();

}  // namespace orvane::encoder
