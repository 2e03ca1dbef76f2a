#pragma once
// The CD tracks of an MP3 job: each checked track is grabbed into "Track%d.WAV" in the output
// folder, handed to the encoder, and its MP3 file then gets the track's tag and its final name
// "Artist - Title.MP3".
//
// A cancelled grab ends the job as a cancel does. A track that cannot be read is not encoded:
// its partial WAVE file is removed, the job goes on with the next track, and the final message
// names the tracks that could not be read.

#include <string>
#include <vector>

#include "encoder/app/encoder_app.h"
#include "encoder/cdda/grab.h"
#include "encoder/cdda/track_list.h"

namespace orvane::cdda {

class CdTrackSource {
public:
    CdTrackSource(encoder::EncoderApp& app, CdSession& session, OpenProgressFn openProgress,
                  WindowPort* messages);

    struct Track {
        std::string wavePath;  // empty: no track left (or the grab was cancelled)
        int trackNumber = 0;   // the track's tag entry: its zero-based index + 1
    };
    // Grabs the next checked track into folder; tracks that cannot be read are skipped.
    Track Next(const std::string& folder);
    bool Cancelled() const { return cancelled_; }

    // After the encoder made mp3Path from the track: appends the tag, removes the WAVE file
    // when the grabber asked for it and renames the MP3 file. Returns the MP3 file's path.
    std::string Finish(const Track& track, const std::string& mp3Path, const std::string& folder);

    // The tracks skipped so far, by their row names.
    const std::vector<std::string>& Unreadable() const { return unreadable_; }
    // message, followed by a line naming the unreadable tracks when there are any.
    std::string FinalMessage(const std::string& message) const;

private:
    encoder::EncoderApp& app_;
    CdSession& session_;
    OpenProgressFn openProgress_;
    WindowPort* messages_;
    int nextTrack_ = 0;
    bool cancelled_ = false;
    std::vector<std::string> unreadable_;
};

}  // namespace orvane::cdda
