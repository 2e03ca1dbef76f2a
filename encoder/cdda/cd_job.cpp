#include "encoder/cdda/cd_job.h"

#include <unistd.h>

#include "encoder/app/id3.h"
#include "encoder/app/job.h"
#include "encoder/app/paths.h"

namespace orvane::cdda {

CdTrackSource::CdTrackSource(encoder::EncoderApp& app, CdSession& session,
                             OpenProgressFn openProgress, WindowPort* messages)
    : app_(app), session_(session), openProgress_(std::move(openProgress)), messages_(messages) {}

CdTrackSource::Track CdTrackSource::Next(const std::string& folder) {
    for (;;) {
        if (cancelled_) return {};
        GrabNextTrackResult r =
            GrabNextTrack(session_, folder, nextTrack_, app_.introOnly != 0, app_.introSeconds,
                          app_.cdaReadBufferSize, openProgress_, messages_);
        switch (r.result) {
            case GrabResult::Grabbed:
                return {r.path, r.track + 1};
            case GrabResult::NoTrack:
                return {};
            case GrabResult::Cancelled:
                // The WAVE file of the frames read so far stays; the job ends.
                cancelled_ = true;
                return {};
            case GrabResult::Failed: {
                ::unlink(r.path.c_str());
                std::string name = static_cast<std::size_t>(r.track) < session_.names.size()
                                       ? session_.names[static_cast<std::size_t>(r.track)]
                                       : "Track" + std::to_string(r.track + 1);
                unreadable_.push_back(name);
                break;  // on with the next track
            }
        }
    }
}

std::string CdTrackSource::Finish(const Track& track, const std::string& mp3Path,
                                  const std::string& folder) {
    const encoder::Id3Tag& tag = app_.tagTable[track.trackNumber];
    encoder::AppendTag(mp3Path, tag);
    if (app_.deleteGrabbedWav) ::unlink(track.wavePath.c_str());
    std::string final = encoder::CdTrackFileName(encoder::WithTrailingSlash(folder), tag.Artist(),
                                                 tag.Title(), track.trackNumber);
    return encoder::RenameNoReplace(mp3Path, final) ? final : mp3Path;
}

std::string CdTrackSource::FinalMessage(const std::string& message) const {
    if (unreadable_.empty()) return message;
    std::string out = message + "\nThese track(s) could not be read and were not encoded: ";
    for (std::size_t i = 0; i < unreadable_.size(); ++i)
        out += (i ? ", " : "") + unreadable_[i];
    return out + ".";
}

}  // namespace orvane::cdda
