#pragma once
// The Opus job (job kind EncodeOpus): WAVE files (one, a folder of them, or CD tracks grabbed to
// WAVE files) become Ogg Opus files coded by libopus, in this process.

#include <memory>
#include <string>

#include "encoder/formats/vorbis_tags.h"
#include "encoder/job/job_runner.h"
#include "platform/fs/fs.h"

namespace orvane::formats {

constexpr int kOpusKbpsMin = 32, kOpusKbpsMax = 512, kOpusKbpsDefault = 160;

// Replaces or adds comments in the comment header of the Ogg Opus file at path, in place: the
// header keeps its length (its padding gives or takes the difference) and its pages are
// checksummed anew. False, with error, when the comments do not fit or the file is not one.
bool RewriteOpusTags(const std::string& path, const VorbisComments& comments, std::string& error);

// ops: the output's system calls; nullptr for the system's.
std::unique_ptr<encoder::Job> MakeOpusJob(fs::FileOps* ops = nullptr);

// Makes EncodeOpus a job kind of the program.
void RegisterOpusJob();

}  // namespace orvane::formats
