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

// The release a disc of trackCount tracks gets its names from: the first whose medium lists
// as many tracks, else the first that lists any; null when none lists tracks.
const freedb::MbRelease* ChooseRelease(const std::vector<freedb::MbRelease>& releases,
                                       std::size_t trackCount);

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

// Asks server for the disc; true with info filled from the chosen release (a track's artist is
// its own only where it differs from the release's), false with why.
bool LookUpMusicBrainzInfo(const std::string& server, const std::vector<std::uint32_t>& trackLbas,
                           std::uint32_t leadOutLba, CdInfo& info, std::string& why);

}  // namespace orvane::cdda
