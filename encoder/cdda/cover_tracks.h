#pragma once
// The album's cover file beside the ripped tracks: once a track takes its final name, its folder
// gets cover.jpg or cover.png (once per folder, never over a cover that is there).

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "common/tag_fields.h"
#include "encoder/coverart/cover_archive.h"
#include "encoder/job/input_source.h"
#include "encoder/job/job_request.h"

namespace orvane::cdda {

class CoverBesideTracks {
public:
    explicit CoverBesideTracks(std::shared_ptr<const tags::Picture> picture)
        : picture_(std::move(picture)) {}
    // A track's file took its final name at path; may come from another thread.
    void Settled(const std::string& path);
    // The first folder's cover file (empty: none) and what became of it: "written", "kept (it
    // was there)", or why it could not be written.
    std::string File() const;
    std::string Note() const;

private:
    std::shared_ptr<const tags::Picture> picture_;
    mutable std::mutex mutex_;
    std::set<std::string> folders_;
    std::string file_, note_;
};

// The found picture into the CD job's request as mode says: every track's tag (fullTags, one
// per track and one for the disc) and the file beside the tracks; the log's words either way.
void ApplyCover(const coverart::FoundCover& found, coverart::CoverMode mode,
                encoder::JobRequest& request, int trackCount);

// item's settled hook followed by the cover's; nothing when cover is null.
void FollowWithCover(encoder::SourceItem& item, const std::shared_ptr<CoverBesideTracks>& cover);

}  // namespace orvane::cdda
