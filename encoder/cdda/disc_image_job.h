#pragma once
// A CD job that writes the disc as one image: the tracks are read as a track rip reads them
// (the same checksums, verdicts and log), their samples joined in disc order into one WAVE file
// (the audio before track 1 first, when it is there), which stays a WAVE file or becomes a FLAC
// file with the cue sheet inside. The image is named like the rip's log ("Artist - Album"),
// and the cue sheet beside it names the image. A track that cannot be read leaves no image.

#include <functional>
#include <memory>
#include <string>

#include "common/tag_fields.h"
#include "encoder/formats/flac_image.h"
#include "encoder/job/job_runner.h"

namespace orvane::cdda {

// Encodes the WAVE image into a FLAC file at out with the cue sheet block and the album's tags.
using FlacImageWriter = std::function<bool(const std::string& wave, const std::string& out,
                                           const formats::FlacCueSheet& cue,
                                           const tags::TrackTags& album, std::string& error)>;

// The job of a CD request of the decode kind that writes the image: a WAVE file, or with
// flacWriter a FLAC file.
std::unique_ptr<encoder::Job> MakeDiscImageJob(FlacImageWriter flacWriter);

}  // namespace orvane::cdda
