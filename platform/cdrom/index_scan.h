#pragma once
// Pregaps and index points of a disc found from the Q sub-channel, which a drive gives per
// sector: the table of contents only tells where each track's INDEX 01 lies. The Q position of
// a sector names its track and index (index 0 in the pregap before a track's INDEX 01), and
// these only grow along a session, so each boundary is found with a binary search.

#include <cstdint>
#include <functional>

#include "platform/cdrom/disc_info.h"

namespace orvane::cdrom {

// The position the mode-1 Q sub-channel of one sector tells.
struct QPosition {
    int track = 0;  // 1-99; 0xAA in a lead-out
    int index = 0;
};

// Reads the Q position of one sector; false when the sector cannot be read or its Q is no
// intact mode-1 position (a catalog number or ISRC frame, a CRC error).
using QReader = std::function<bool(std::uint32_t lba, QPosition& out)>;

// Decodes a Q sub-channel of 12 bytes (control and address, track, index, times, CRC). A drive
// that hands over the formatted Q without its CRC (both bytes zero) is taken at its word.
bool ParseQPosition(const std::uint8_t* q, QPosition& out);

// Sets the pregap of every track after the first and the INDEX 02 and later points of each
// track, reading at most maxReads sectors; what the budget does not reach stays as it was.
// The lengths and starts (INDEX 01) are those of the table of contents and stay. Returns false
// when the budget ran out.
bool ScanIndexPoints(DiscInfo& disc, const QReader& readQ, int maxReads = 2000);

}  // namespace orvane::cdrom
