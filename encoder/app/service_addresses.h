#pragma once
// The outside services' default addresses, as a new profile starts with them. The settings and
// the clients of those services take them from here.

namespace orvane::encoder {

constexpr const char* kDefaultFreeDbServer = "gnudb.gnudb.org";
constexpr const char* kDefaultMusicBrainzServer = "https://musicbrainz.org";

}  // namespace orvane::encoder
