#pragma once
// A CD job that writes several formats from one read: each track is read once into a WAVE file
// (secure reading, offset, de-emphasis and checksums as any CD job reads it) and handed to one
// job per format, all at once, while the next track is being read. Each format goes into a
// folder of its own below the output folder, named by the folder pattern ("%F/": "FLAC/",
// "Opus/", "MP3/", "WMA/", "WAV/"), with its own rip log and cue sheet there. A format that
// fails for a track fails that track's file of that format alone.

#include <memory>
#include <string>
#include <vector>

#include "encoder/job/job.h"
#include "encoder/job/job_request.h"
#include "encoder/job/job_runner.h"

namespace orvane::cdda {

// The folder pattern of Preferences\MultiFormatFolders when it is not set.
using encoder::kDefaultFormatFolders;

// What %F names for a kind: "FLAC", "Opus", "MP3", "WMA", "WAV".
std::string FormatFolderName(encoder::JobKind kind);

// The folder pattern with %F replaced by the kind's name, as a relative path that ends in '/'
// (empty: the output folder itself). Parts that are empty, "." or ".." and control characters
// are left out, so the folder never climbs out of the output folder.
std::string FormatFolderOf(const std::string& pattern, encoder::JobKind kind);

// Parses "flac,opus,mp3": every name a --format name of the table of kinds, none twice, at
// least one. False with a message otherwise.
bool ParseFormatList(const std::string& text, std::vector<encoder::JobKind>& kinds,
                     std::string& error);

// The job of a CD request that writes the kinds given; the request's own kind must be the
// decode kind (its grabbed WAVE files are the one read every format is made from).
std::unique_ptr<encoder::Job> MakeMultiFormatJob(std::vector<encoder::JobKind> kinds,
                                                 std::string folderPattern);

}  // namespace orvane::cdda
