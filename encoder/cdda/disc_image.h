#pragma once
// A disc ripped as one image: where each track's index points lie in the image (from the
// pieces it was written from, track by track as a track rip reads them), its cue sheet (one
// FILE, INDEX 00 where a pregap is in the image, the audio before track 1 as INDEX 00 of track
// 1, ISRC, CATALOG, FLAGS, the texts, REM GENRE / DATE / DISCID / COMMENT) and the log's lines
// about it. Data tracks are not in the image: the cue sheet names them in a REM line only.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "encoder/cdda/rip_log.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

// One run of the image, in order: a track from its INDEX 01 to the next track's, or the
// leading gap (the audio before the first audio track's INDEX 01).
struct ImagePiece {
    int number = 0;  // the track's number on the disc (of the gap: the track whose pregap it is)
    bool gap = false;
    std::uint32_t frames = 0;
};

// A track's index points as frames from the image's start.
struct ImageTrackPoints {
    int number = 0;
    std::optional<std::uint32_t> index0;  // where its pregap starts, when the image holds it
    std::uint32_t index1 = 0;
    std::vector<std::uint32_t> more;  // INDEX 02, 03, ...
    std::uint32_t pregapOutside = 0;  // frames of a pregap not in the image (PREGAP)
};

std::vector<ImageTrackPoints> ImagePoints(const cdrom::DiscInfo& disc,
                                          const std::vector<ImagePiece>& pieces);

struct ImageTexts {
    std::string title, performer, songwriter;
};

struct DiscImage {
    std::string file;  // the image's path
    std::vector<ImagePiece> pieces;
    std::uint32_t crc32 = 0;  // of every sample of the image
    std::string genre, date, comment;
    std::map<int, ImageTexts> texts;  // by track number; CD-Text fills what is missing
};

std::string FormatImageCue(const RipReport& report, const DiscImage& image);
// What the log adds: the image, its CRC32 and the tracks left out of it.
std::vector<std::string> ImageLogNotes(const RipReport& report, const DiscImage& image);

}  // namespace orvane::cdda
