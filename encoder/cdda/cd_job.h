#pragma once
// The CD tracks of an MP3 job: each checked track is grabbed into "Track%d.WAV" in the output
// folder and handed to the encoder, whose MP3 file then gets the track's tag and its final name
// "Artist - Title.MP3"; the WAVE file goes when the grabber asked for that.
//
// A cancelled grab ends the job as a cancel does. A track that cannot be read is not encoded:
// its partial WAVE file is removed, the job goes on with the next track, and the job's final
// message names the tracks that could not be read.

#include <set>
#include <string>
#include <vector>

#include "encoder/app/input_source.h"
#include "encoder/app/job_request.h"
#include "encoder/cdda/grab.h"
#include "encoder/cdda/track_list.h"

namespace orvane::cdda {

class CdTrackSource : public encoder::InputSource {
public:
    // session: the drives and the disc as the grabber read them (copied); when it holds no
    // disc, the source discovers the drives and reads the disc of the request's drive itself.
    CdTrackSource(const encoder::JobRequest& request, const CdSession& session,
                  OpenProgressFn openProgress);

    bool Batch() const override { return true; }
    Next Take(encoder::JobRunner& runner) override;
    int Count() const override { return count_; }

    // The folder the WAVE and MP3 files go to.
    const std::string& Folder() const { return folder_; }

private:
    bool PrepareDisc(std::string& error);

    encoder::JobRequest request_;
    CdSession session_;
    OpenProgressFn openProgress_;
    std::string folder_;
    int nextTrack_ = 0;
    int readBufferSize_ = 16;
    int count_ = 0;
    bool prepared_ = false;
    std::set<std::string> finals_;  // the final MP3 names given out in this job
};

// Name of a track that could not be read, for the final message: "Track3 (Name)".
std::string UnreadableTrackName(const encoder::CdHandOver& cd, int track);

// Makes MP3 jobs of CD-Audio requests take their tracks from the CD (process-wide).
void InstallCdTrackSource(OpenProgressFn openProgress);

}  // namespace orvane::cdda
