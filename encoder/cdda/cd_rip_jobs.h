#pragma once
// The CD jobs of a whole rip behind the grabber's OK, in place of the target's own job: the disc
// as one image with its cue sheet when the hand-over asks for it (Rip\Image), else every chosen
// format from one read of each track when the request names formats beside its kind. The image
// is a FLAC file when FLAC is among the chosen formats (and a FLAC writer is given), else a WAVE
// file; it is the job's one output, whatever else was chosen.

#include <functional>
#include <memory>
#include <vector>

#include "encoder/cdda/disc_image_job.h"
#include "encoder/job/job_request.h"
#include "encoder/job/job_runner.h"

namespace orvane::cdda {

// The FLAC image writer for a request (its compression level); null: images are WAVE files.
using FlacImageWriterFor = std::function<FlacImageWriter(const encoder::JobRequest&)>;

// The formats a CD request writes: its kind first, then its other formats, each once.
std::vector<encoder::JobKind> CdFormatsOf(const encoder::JobRequest& request);

// The rip's job for a CD-Audio request, or null when the request's kind does it alone.
std::unique_ptr<encoder::Job> MakeCdRipJob(const encoder::JobRequest& request,
                                           const FlacImageWriterFor& flacImage);

// Makes CD-Audio requests that ask for an image or several formats run those jobs
// (process-wide; see encoder::SetCdRipJobFactory).
void InstallCdRipJobs(FlacImageWriterFor flacImage);

}  // namespace orvane::cdda
