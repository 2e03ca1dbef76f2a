#pragma once
// The one description of a disc every layer shares: its sessions; per track the number,
// start, length, control bits, pregap, index points, ISRC and CD-Text; the lead-out, the
// catalog number (MCN) and the disc's CD-Text. Plain data, filled by a drive
// (DiscDrive::ReadDiscInfo), by a table of contents alone (DiscInfoFromToc) or by the
// grabber's READ TOC (encoder/cdda), and read by whoever lists, identifies, tags or logs a disc.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/cdrom/disc_drive.h"

namespace orvane::cdrom {

// Sectors between the end of one session and the first track of the next: the lead-out of
// 90 s, the next lead-in of 60 s and the 2 s pregap of the next session's first track.
constexpr std::uint32_t kSessionGapFrames = 11400;

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
    bool fourChannel = false;
    std::uint8_t adr = 1;                      // the Q mode of its table of contents entry
    std::string title, performer, songwriter;  // CD-Text, empty when absent

    // The control nibble of the flags above, and the flags from one.
    TrackControl Control() const;
    void SetControl(TrackControl control);

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
    // The start of every track, in disc order.
    std::vector<std::uint32_t> Starts() const;
};

// The facts a table of contents alone gives (no pregaps, no texts). Data tracks after the last
// audio track, starting at least a session gap after it, are taken as a second session (an
// enhanced CD), so the audio ends a session gap before them.
DiscInfo DiscInfoFromToc(const Toc& toc);
// Sets each track's length from the starts, the session ends and the lead-out.
void FillLengths(DiscInfo& disc);

}  // namespace orvane::cdrom
