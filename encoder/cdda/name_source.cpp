#include "encoder/cdda/name_source.h"

#include <algorithm>

#include "encoder/freedb/xmcd.h"

namespace orvane::cdda {

bool AskNameSources(const std::vector<NameSource*>& sources, const cdrom::DiscInfo& disc,
                    const NameCancel& cancelled, NameAnswer& answer) {
    answer = {};
    for (NameSource* source : sources) {
        if (cancelled && cancelled()) return false;
        answer.source = source;
        answer.why.clear();
        answer.albums.clear();
        if (source->LookUp(disc, cancelled, answer.albums, answer.why) && !answer.albums.empty())
            return true;
    }
    return false;
}

bool MusicBrainzSource::LookUp(const cdrom::DiscInfo& disc, const NameCancel& cancelled,
                               std::vector<CdInfoChoice>& albums, std::string& why) {
    // The service's disc id covers the first session: an enhanced CD's data session is no part
    // of it, nor of the tracks a release lists.
    std::vector<std::uint32_t> starts;
    for (const cdrom::TrackInfo& t : disc.tracks)
        if (t.session == disc.tracks.front().session) starts.push_back(t.start);
    return LookUpMusicBrainzChoices(server_, starts, disc.AudioLeadOut(), albums, why, cancelled);
}

bool CdTextSource::LookUp(const cdrom::DiscInfo&, const NameCancel&,
                          std::vector<CdInfoChoice>& albums, std::string& why) {
    albums.clear();
    if (names_.trackTitles.empty()) {
        why = "the disc has no CD-Text";
        return false;
    }
    CdInfoChoice album{Name(), "", "", "", names_};
    for (const std::string& artist : names_.trackArtists)
        album.compilation = album.compilation || !artist.empty();
    albums.push_back(std::move(album));
    return true;
}

bool CddbSource::LookUp(const cdrom::DiscInfo& disc, const NameCancel& cancelled,
                        std::vector<CdInfoChoice>& albums, std::string& why) {
    albums.clear();
    if (cancelled) client_.SetIdle(cancelled);
    const freedb::DiscLayout layout = freedb::DiscLayout::Of(disc);
    std::vector<freedb::FreeDBMatch> matches;
    if (!client_.QueryDisc(site_, freedb::ComputeDiscId(layout), layout, matches) ||
        matches.empty()) {
        why = "the CD database has no entry for the disc (error " +
              std::to_string(client_.LastError()) + ")";
        return false;
    }
    freedb::FreeDBDiscInfo entry;
    if (!client_.ReadDisc(site_, matches[0].discId, matches[0].category, entry)) {
        why = "the CD database's entry cannot be read (error " +
              std::to_string(client_.LastError()) + ")";
        return false;
    }
    // A compilation's "Artist / Title" titles give each track its own artist.
    const freedb::TrackNames names = freedb::SplitTrackArtists(entry);
    CdInfoChoice album;
    album.source = Name();
    album.info.artist = entry.artist;
    album.info.album = entry.title;
    album.info.year = entry.year;
    album.info.genre = entry.genre;
    album.info.trackTitles = names.titles;
    album.info.trackArtists = names.artists;
    album.compilation = names.compilation;
    albums.push_back(std::move(album));
    return true;
}

CdInfoChoice ChoiceOfRelease(const ctdb::CtdbRelease& release, const cdrom::DiscInfo& disc,
                             const ctdb::CtdbToc& toc) {
    CdInfoChoice album;
    album.source = release.source.empty() ? "CTDB" : "CTDB (" + release.source + ")";
    album.date = release.year;
    CdInfo& info = album.info;
    info.artist = release.artist;
    info.album = release.album;
    info.year = release.year;
    info.genre = release.genre;
    if (release.source == "musicbrainz") info.releaseId = release.id;
    if (release.discNumber > 0) info.discNumber = std::to_string(release.discNumber);
    if (release.discCount > 0) info.discTotal = std::to_string(release.discCount);
    for (const cdrom::TrackInfo& t : disc.tracks) {
        const auto at = std::find(toc.numbers.begin(), toc.numbers.end(), t.number);
        const auto k = static_cast<std::size_t>(at - toc.numbers.begin());
        const bool named = at != toc.numbers.end() && k < release.trackTitles.size();
        info.trackTitles.push_back(named ? release.trackTitles[k] : std::string());
        // A track's own artist only where it is not the album's.
        std::string artist = named ? release.trackArtists[k] : std::string();
        if (artist == release.artist) artist.clear();
        album.compilation = album.compilation || !artist.empty();
        info.trackArtists.push_back(std::move(artist));
    }
    return album;
}

bool CtdbSource::LookUp(const cdrom::DiscInfo& disc, const NameCancel& cancelled,
                        std::vector<CdInfoChoice>& albums, std::string& why) {
    albums.clear();
    const ctdb::CtdbToc toc = ctdb::CtdbTocOf(disc);
    const ctdb::CtdbReply reply = ctdb::LookupCtdb(server_, toc, cancelled, 20000, level_);
    if (keep_) ctdb::KeepCtdbReply(server_, toc, reply);
    if (reply.status == ctdb::CtdbStatus::Unavailable) {
        why = "the CUETools database: " + reply.message;
        return false;
    }
    for (const ctdb::CtdbRelease& release : reply.releases)
        albums.push_back(ChoiceOfRelease(release, disc, toc));
    if (albums.empty()) {
        why = "the CUETools database names no release of the disc";
        return false;
    }
    return true;
}

}  // namespace orvane::cdda
