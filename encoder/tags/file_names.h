#pragma once
// File names made from names a user or a database gave: the characters a file name cannot hold
// replaced, the length cut, the CD track's default name.

#include <cstddef>
#include <string>

namespace orvane::encoder {

// Final file name of a CD track: folder with trailing '/', the artist, " - " when the artist
// has 2 or more characters, the title; the characters : \ / < > | become '-', * and ? are
// removed, '"' becomes '\'', control characters are removed; cut to 65 characters; ".MP3"
// appended. A name that is empty or only dots becomes "Track<n>".
std::string CdTrackFileName(const std::string& folder, const std::string& artist,
                            const std::string& title, int trackNumber);

// The character replacements of CD track names on their own; with dropControls, control
// characters (C0, DEL and C1) are removed as well.
std::string CleanNameCharacters(const std::string& text, bool dropControls);
// The first limit characters of UTF-8 text (a character counts once, whatever its length).
std::string CutCharacters(const std::string& text, std::size_t limit);

}  // namespace orvane::encoder
