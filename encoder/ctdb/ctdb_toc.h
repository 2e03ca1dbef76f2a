#pragma once
// A disc as the CUETools database keys it. The lookup's TOC string lists every track's start
// (logical blocks, without the 150-sector lead-in; data tracks with a leading '-') and the
// lead-out, joined by ':'. Its checksums and parity cover the audio: the run of audio tracks
// from the first one, from that track's INDEX 01 (audio hidden before it is left out) to the
// lead-out, or, when a data track follows the run (an enhanced CD), to a session gap (11400
// sectors) before that data track. The TOC id is the SHA-1 of the audio tracks' starts and the
// audio end relative to the first audio start, 8 upper-case hex digits each, padded with '0' to
// 800 characters, in base64 with '+' '/' '=' written '.' '_' '-'.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/cdrom/disc_info.h"

namespace orvane::ctdb {

constexpr std::uint32_t kSamplesPerSector = 588;
// Words (16-bit channel values) of one stride: 10 sectors, the interleave of the parity.
constexpr std::uint64_t kStrideWords = 11760;
constexpr std::uint64_t kStrideSamples = kStrideWords / 2;
// Sectors between the end of an enhanced CD's audio and its data track.
constexpr std::uint32_t kEnhancedGapSectors = 11400;

struct CtdbToc {
    std::string tocString;
    std::string tocId;
    int firstAudioTrack = 0;            // its number on the disc, 0 when the disc has no audio
    std::vector<std::uint32_t> starts;  // the audio tracks' starts, relative to the first
    std::vector<int> numbers;           // their numbers on the disc
    std::uint32_t audioStart = 0;       // the first audio track's start (logical block)
    std::uint32_t audioSectors = 0;     // from audioStart to the audio's end

    bool Valid() const { return !starts.empty() && audioSectors > 0; }
    int AudioTracks() const { return static_cast<int>(starts.size()); }
    std::uint64_t Samples() const { return std::uint64_t{audioSectors} * kSamplesPerSector; }
};

// The database's view of disc; not Valid when the disc holds no audio or its starts run
// backwards.
CtdbToc CtdbTocOf(const cdrom::DiscInfo& disc);

// The TOC id of audio track starts (relative to the first, which is 0) and the audio length,
// in sectors.
std::string CtdbTocId(const std::vector<std::uint32_t>& starts, std::uint32_t audioSectors);

}  // namespace orvane::ctdb
