#pragma once
// "&Get CD Info" from MusicBrainz: the disc the grabber lists, looked up by its MusicBrainz disc
// id, as the names and ids of one release.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "encoder/cdda/grabber_dialog.h"
#include "encoder/freedb/musicbrainz.h"

namespace orvane::cdda {

// The MusicBrainz disc id of the audio tracks starting at trackLbas and ending at leadOutLba.
std::string MusicBrainzIdOf(const std::vector<std::uint32_t>& trackLbas, std::uint32_t leadOutLba);

// The rows and tags a release gives: a track's artist is its own only where it differs from
// the release's.
CdInfo InfoOfRelease(const freedb::MbRelease& release);

// One answer the user may choose: where it comes from ("MusicBrainz", "CD-Text"), what tells
// releases apart, and the names it gives.
struct CdInfoChoice {
    std::string source, country, date, label;
    CdInfo info;
    // The tracks have artists of their own: the disc's artist is the album artist.
    bool compilation = false;
};

// Asks server for the disc; true with the releases that list as many tracks as the disc, or,
// when none does, every release that lists tracks (in the service's order); false with why.
// cancelled, when given, ends the wait once it answers true.
bool LookUpMusicBrainzChoices(const std::string& server,
                              const std::vector<std::uint32_t>& trackLbas, std::uint32_t leadOutLba,
                              std::vector<CdInfoChoice>& choices, std::string& why,
                              const std::function<bool()>& cancelled = {});

}  // namespace orvane::cdda
