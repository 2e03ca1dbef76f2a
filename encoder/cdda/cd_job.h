#pragma once
// The CD tracks of an encoding job: each checked track is grabbed into a WAVE file in the
// output folder and handed to the encoder with an output file there. Both have scratch names
// of the job (hidden, made by the job, so they can never be a user's file; in the output
// folder, so the final move is a rename): the output then gets the track's tag and its final
// name "Artist - Title.MP3", the WAVE file goes or is kept as "Artist - Title.WAV". Neither
// final name replaces a file: a taken one gets a number, "Artist - Title (2).MP3".
//
// A cancelled grab ends the job as a cancel does. A track that cannot be read is not encoded:
// its partial WAVE file is removed, the job goes on with the next track, and the job's final
// message names the tracks that could not be read.

#include <memory>
#include <string>
#include <vector>

#include "encoder/cdda/grab.h"
#include "encoder/cdda/track_list.h"
#include "encoder/cdda/verified_rip.h"
#include "encoder/job/input_source.h"
#include "encoder/job/job_request.h"

namespace orvane::cdda {

class RipRecorder;
class CoverBesideTracks;
class PregapMover;

class CdTrackSource : public encoder::InputSource {
public:
    // session: the drives and the disc as the grabber read them (copied); when it holds no
    // disc, the source discovers the drives and reads the disc of the request's drive itself.
    // report receives the verified rip's report at the job's end (may be empty).
    CdTrackSource(const encoder::JobRequest& request, const CdSession& session,
                  OpenProgressFn openProgress, RipReportSink report = nullptr);

    bool Batch() const override { return true; }
    Next Take(encoder::JobRunner& runner) override;
    int Count() const override { return count_; }

    // The folder the WAVE and MP3 files go to.
    const std::string& Folder() const { return folder_; }
    // The cover file beside the tracks (null: none), for jobs that settle files of their own.
    const std::shared_ptr<CoverBesideTracks>& Cover() const { return cover_; }
    // The job's verified rip once the first Take made it; null without one.
    std::shared_ptr<RipRecorder> Recorder() const { return recorder_; }

private:
    bool PrepareDisc(std::string& error);
    // Reads the leading gap of a verified rip that asks for it, before the first track: true
    // with next filled when it gives the job a step (its item, a failure, a cancel); false
    // when there is none or it is digital silence.
    bool TakeLeadingGap(encoder::JobRunner& runner, Next& next);

    encoder::JobRequest request_;
    CdSession session_;
    OpenProgressFn openProgress_;
    RipReportSink report_;
    std::string folder_;
    int nextTrack_ = 0;
    int readBufferSize_ = 16;
    int count_ = 0;
    bool prepared_ = false;
    bool gapTaken_ = false;
    // The verified rip of the job, when its hand-over asks for one.
    std::shared_ptr<RipRecorder> recorder_;
    // The cover file beside the tracks, when the hand-over has one.
    std::shared_ptr<CoverBesideTracks> cover_;
    // Where the pregaps go when they do not end the track before; null when they do.
    std::shared_ptr<PregapMover> pregaps_;
};

// How the status window and the final message name a track (zero-based): its own number and
// its name, "Track3 (Name)".
std::string TrackLabel(const encoder::CdHandOver& cd, int track);

// Makes a new, empty file of the job's own in folder for a track (zero-based) and returns its
// path (hidden: ".cdjob-<pid>-<serial>-track<number><ext>"); empty, with error, when none can
// be made.
std::string ReserveScratchName(const std::string& folder, int track, const std::string& ext,
                               std::string& error);

// Removes the scratch files that CD jobs of processes now gone left in folder (a crash, a kill)
// once they were not changed for minAgeSeconds; only the user's own. Returns how many.
int SweepStaleScratch(const std::string& folder, int minAgeSeconds = 60);

// Makes encoding jobs of CD-Audio requests take their tracks from the CD (process-wide); each
// job's verified rip ends with its report handed to report (may be empty).
void InstallCdTrackSource(OpenProgressFn openProgress, RipReportSink report = nullptr);

}  // namespace orvane::cdda
