#pragma once
// The cue sheet of a disc image in a library: one audio file holding the whole disc and the
// tracks in it, each with its start (INDEX 01) and its texts. What the sheet says of the disc
// (TITLE, PERFORMER, REM DATE/GENRE/COMMENT/DISCID) and of each track (TITLE, PERFORMER,
// SONGWRITER, ISRC) becomes the tracks' tags.

#include <cstdint>
#include <string>
#include <vector>

#include "common/tag_fields.h"

namespace orvane::library {

// Sheets larger than this are no sheets of an image.
constexpr std::size_t kMaxCueBytes = 1u << 20;

struct ImageTrack {
    int number = 0;
    std::int64_t start = 0;  // INDEX 01, in CD frames (1/75 s) from the file's start
    tags::TrackTags tags;    // the sheet's texts only
};

struct ImageCue {
    std::string file;  // the name the FILE line gives (no folder)
    std::vector<ImageTrack> tracks;
};

// Reads the sheet's text (UTF-8, or Windows-1252 where it is not valid UTF-8). False with a
// reason when it is no sheet of one audio file with tracks in order.
bool ParseImageCue(const std::string& text, ImageCue& cue, std::string& error);

}  // namespace orvane::library
