#pragma once
// The loudness values in the files of the formats whose encoder is another program: an MP3
// file's ID3v2 user text frames (TXXX, named as taggers name them) and a WMA file's attributes.

#include <string>

#include "encoder/loudness/replay_gain.h"

namespace orvane::loudness {

enum class GainContainer { Mp3, Wma };

// Adds the values to the file at path, replacing those of the same names; its other tags and
// its audio stay as they are (an MP3 file without an ID3v2 tag gets one). The file is replaced
// whole (a copy with the values, renamed over it), so a failure leaves it as it was. False
// with error saying why.
bool WriteGainTags(const std::string& path, GainContainer container, const GainTags& tags,
                   std::string& error);

}  // namespace orvane::loudness
