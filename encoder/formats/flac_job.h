#pragma once
// The FLAC job (job kind EncodeFlac): WAVE files (one, a folder of them, or CD tracks grabbed to
// WAVE files) become FLAC files with libFLAC, in this process.

#include <memory>

#include "encoder/job/job_runner.h"
#include "platform/fs/fs.h"

namespace orvane::formats {

constexpr int kFlacLevelMin = 0, kFlacLevelMax = 8, kFlacLevelDefault = 5;

// ops: the output's system calls; nullptr for the system's.
std::unique_ptr<encoder::Job> MakeFlacJob(fs::FileOps* ops = nullptr);

// Makes EncodeFlac a job kind of the program.
void RegisterFlacJob();

}  // namespace orvane::formats
