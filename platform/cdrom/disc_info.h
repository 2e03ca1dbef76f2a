#pragma once
// What a disc holds beyond its track list: per track the pregap, index points, ISRC, flags and
// CD-Text; per disc the catalog number (MCN), CD-Text and the sessions. Plain data, filled by a
// drive (DiscDrive::ReadDiscInfo) and read by whoever shows, tags or logs a disc.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/cdrom/disc_drive.h"

namespace orvane::cdrom {

// Sectors between the end of one session and the first track of the next: the lead-out of
// 90 s, the next lead-in of 60 s and the 2 s pregap of the next session's first track.
constexpr std::uint32_t kSessionGapFrames = 11400;

// Control bits of a track in the table of contents (Q sub-channel).
constexpr std::uint8_t kControlPreEmphasis = 0x01;
constexpr std::uint8_t kControlCopyPermitted = 0x02;
constexpr std::uint8_t kControlData = 0x04;
constexpr std::uint8_t kControlFourChannel = 0x08;

struct TrackInfo {
    std::uint8_t number = 0;
    bool audio = true;
    int session = 1;
    std::uint32_t start = 0;   // INDEX 01, as a logical block address
    std::uint32_t length = 0;  // sectors from start to the next track's start or its session end
    std::uint32_t pregap = 0;  // sectors of this track before its INDEX 01 (INDEX 00, PREGAP)
    std::vector<std::uint32_t> indexes;  // addresses of INDEX 01, 02, ... in order
    std::string isrc;                    // 12 characters, empty when the disc has none
    bool preemphasis = false;
    bool copyPermitted = false;
    std::string title, performer, songwriter;  // CD-Text, empty when absent

    bool operator==(const TrackInfo&) const = default;
};

struct DiscInfo {
    std::uint8_t firstTrack = 0;
    std::uint8_t lastTrack = 0;
    std::uint32_t leadOut = 0;  // the disc's lead-out (end of its last session)
    int sessions = 1;
    std::string catalog;  // media catalog number, 13 digits, empty when the disc has none
    std::string title, performer, songwriter;  // CD-Text of the disc
    std::vector<TrackInfo> tracks;

    bool Empty() const { return tracks.empty(); }
    bool operator==(const DiscInfo&) const = default;
    // The first audio track, and where its session ends (the lead-out a player and the disc
    // databases take for the audio).
    std::uint8_t FirstAudioTrack() const;
    std::uint32_t AudioLeadOut() const;
    const TrackInfo* Track(int number) const;
};

// The facts a table of contents alone gives (no pregaps, no texts). Data tracks after the last
// audio track, starting at least a session gap after it, are taken as a second session (an
// enhanced CD), so the audio ends a session gap before them.
DiscInfo DiscInfoFromToc(const Toc& toc);
// Sets each track's length from the starts, the session ends and the lead-out.
void FillLengths(DiscInfo& disc);

}  // namespace orvane::cdrom
