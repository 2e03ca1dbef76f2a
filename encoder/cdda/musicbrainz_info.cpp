#include "encoder/cdda/musicbrainz_info.h"

#include "encoder/freedb/disc_ids.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

std::string MusicBrainzIdOf(const std::vector<std::uint32_t>& trackLbas, std::uint32_t leadOutLba) {
    cdrom::DiscInfo disc;
    if (trackLbas.empty() || trackLbas.size() > 99) return {};
    disc.firstTrack = 1;
    disc.lastTrack = static_cast<std::uint8_t>(trackLbas.size());
    disc.leadOut = leadOutLba;
    for (std::size_t i = 0; i < trackLbas.size(); ++i) {
        cdrom::TrackInfo t;
        t.number = static_cast<std::uint8_t>(i + 1);
        t.start = trackLbas[i];
        disc.tracks.push_back(t);
    }
    cdrom::FillLengths(disc);
    return freedb::MusicBrainzId(disc);
}

CdInfo InfoOfRelease(const freedb::MbRelease& r) {
    CdInfo info;
    info.artist = r.artist;
    info.album = r.title;
    info.year = r.date;
    info.releaseId = r.releaseId;
    if (r.discNumber > 0) info.discNumber = std::to_string(r.discNumber);
    if (r.discCount > 0) info.discTotal = std::to_string(r.discCount);
    for (const freedb::MbTrack& t : r.tracks) {
        info.trackTitles.push_back(t.title);
        info.trackArtists.push_back(t.artist == r.artist ? std::string() : t.artist);
        info.recordingIds.push_back(t.recordingId);
    }
    return info;
}

namespace {

// The service's answer for the disc, or false with why.
bool AskFor(const std::string& server, const std::vector<std::uint32_t>& trackLbas,
            std::uint32_t leadOutLba, freedb::MbLookup& found, std::string& id, std::string& why,
            const std::function<bool()>& cancelled = {}) {
    id = MusicBrainzIdOf(trackLbas, leadOutLba);
    if (id.empty()) {
        why = "the disc has no tracks";
        return false;
    }
    found = freedb::LookUpMusicBrainz(server, id, freedb::kMusicBrainzTimeoutMs, cancelled);
    if (found.status == freedb::MbLookup::Status::Failed) {
        why = found.error;
        return false;
    }
    return true;
}

}  // namespace

bool LookUpMusicBrainzChoices(const std::string& server,
                              const std::vector<std::uint32_t>& trackLbas, std::uint32_t leadOutLba,
                              std::vector<CdInfoChoice>& choices, std::string& why,
                              const std::function<bool()>& cancelled) {
    choices.clear();
    freedb::MbLookup found;
    std::string id;
    if (!AskFor(server, trackLbas, leadOutLba, found, id, why, cancelled)) return false;
    std::vector<CdInfoChoice> others;
    for (const freedb::MbRelease& r : found.releases) {
        if (r.tracks.empty()) continue;
        CdInfoChoice c{"MusicBrainz", r.country, r.date, r.label, InfoOfRelease(r)};
        (r.tracks.size() == trackLbas.size() ? choices : others).push_back(std::move(c));
    }
    if (choices.empty()) choices = std::move(others);
    if (choices.empty()) {
        why = "MusicBrainz knows no release with the tracks of disc " + id;
        return false;
    }
    return true;
}

}  // namespace orvane::cdda
