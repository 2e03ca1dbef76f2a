#include "encoder/cdda/name_source.h"

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

}  // namespace orvane::cdda
