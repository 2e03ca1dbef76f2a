#pragma once
// File names of CD tracks from a pattern the user sets: fields of the track's tags put into a
// text where '/' makes folders. Whatever the fields hold, the name stays inside the output
// folder.

#include <string>

#include "common/tag_fields.h"

namespace orvane::encoder {

// The relative path (folders joined by '/', no extension) that pattern gives for a track:
//   %A artist, %a album artist (the artist when there is none), %T title, %B album,
//   %N track number with two digits, %Y year, %G genre, %D disc number, %% a '%'.
// Each field's text is cleaned as a CD track's name is (: \ / < > | become '-', * and ? go,
// '"' becomes '\''), and control characters go from fields and pattern alike. Each part between
// '/' is cut to 65 characters; empty parts are left out and parts of only dots become "_", so
// no part climbs out of the output folder or names it absolutely; a last part that is empty
// or only dots becomes "Track<n>". Empty when the pattern is empty (today's names apply).
std::string ExpandNamePattern(const std::string& pattern, const tags::TrackTags& fields,
                              int trackNumber);

// Creates the folders of relative below folder (which exists) one by one; false with error
// saying why when one cannot be made.
bool MakeNameFolders(const std::string& folder, const std::string& relative, std::string& error);

}  // namespace orvane::encoder
