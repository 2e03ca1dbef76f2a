#include "encoder/cdda/cover_tracks.h"

#include "encoder/coverart/cover_beside.h"
#include "platform/fs/fs.h"

namespace orvane::cdda {

void CoverBesideTracks::Settled(const std::string& path) {
    const std::string folder = fs::FolderOf(path);
    std::lock_guard lock(mutex_);
    if (!picture_ || !folders_.insert(folder).second) return;
    const coverart::BesideOutcome out = coverart::WriteCoverBeside(folder, *picture_);
    if (folders_.size() > 1) return;
    file_ = out.path;
    note_ = out.written ? "written" : out.path.empty() ? out.why : "kept (it was there)";
}

std::string CoverBesideTracks::File() const {
    std::lock_guard lock(mutex_);
    return file_;
}

std::string CoverBesideTracks::Note() const {
    std::lock_guard lock(mutex_);
    return note_;
}

void ApplyCover(const coverart::FoundCover& found, coverart::CoverMode mode,
                encoder::JobRequest& request, int trackCount) {
    request.cd.coverNote = coverart::DescribeCover(found);
    if (!found.picture || mode == coverart::CoverMode::None) return;
    if (coverart::Embeds(mode)) {
        const auto count = static_cast<std::size_t>(trackCount) + 1;
        if (request.fullTags.size() < count) request.fullTags.resize(count);
        for (tags::TrackTags& t : request.fullTags)
            t.SetFrontPicture(found.picture);
    }
    if (coverart::Files(mode)) request.cd.coverFile = found.picture;
}

void FollowWithCover(encoder::SourceItem& item, const std::shared_ptr<CoverBesideTracks>& cover) {
    if (!cover) return;
    item.settled = [first = std::move(item.settled), cover](const std::string& path) {
        if (first) first(path);
        cover->Settled(path);
    };
}

}  // namespace orvane::cdda
