#pragma once
// A whole disc as one FLAC file, and a FLAC file encoded anew from mended samples with all its
// metadata kept. The disc image: the WAVE image of its audio encoded with the disc's cue sheet as
// a CUESHEET metadata block (track offsets and index points in samples, ISRCs, the catalog
// number, the lead-out) and the album's tags as Vorbis comments.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "encoder/formats/vorbis_tags.h"

namespace orvane::formats {

struct FlacCueTrack {
    std::uint8_t number = 0;
    std::uint64_t offset = 0;  // the track's first index point, in samples from the start
    std::string isrc;          // 12 characters, or empty
    bool audio = true;
    bool preemphasis = false;
    // Index number and offset in samples from the track's offset; the first is 0 or 1.
    std::vector<std::pair<std::uint8_t, std::uint64_t>> indexes;
};

struct FlacCueSheet {
    std::string catalog;  // 13 digits, or empty
    std::vector<FlacCueTrack> tracks;
    std::uint64_t leadOut = 0;  // the samples of the image
};

// Encodes the 16-bit stereo 44.1 kHz WAVE file wavePath into a FLAC file at outPath, written
// whole or not at all. False with a message for the user.
bool WriteFlacImage(const std::string& wavePath, const std::string& outPath,
                    const FlacCueSheet& cue, const VorbisComments& comments, int level,
                    std::string& error);

// Encodes the 16-bit stereo 44.1 kHz WAVE file wavePath into a new FLAC file at outPath that
// carries every metadata block of the FLAC file original (its tags, pictures, cue sheet and
// application blocks; the stream's own blocks are written anew), written whole or not at all;
// outPath must not exist. False with a message for the user.
bool ReencodeFlac(const std::string& original, const std::string& wavePath,
                  const std::string& outPath, int level, std::string& error);

}  // namespace orvane::formats
