#pragma once
// The words for a sector whose reads never agreed, never read, or came with C2 errors: every
// message, log line and listing of suspicious sectors is made here.

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::rip {

// "02:41.17": sectors into a track as minutes, seconds and frames.
std::string TrackPosition(std::uint32_t sectorsIntoTrack);

// "track 3, 02:41.17 (LBA 12345)": a sector's place for the user; mm:ss.ff from the track's
// start.
std::string SectorPlace(int trackNumber, std::uint32_t trackStart, std::uint32_t lba);

// "Suspicious sector: track 3, 02:41.17 (LBA 12345)" (lower case "suspicious" unless
// capital, for a line that goes after a program's name).
std::string SuspiciousSector(int trackNumber, std::uint32_t trackStart, std::uint32_t lba,
                             bool capital = true);

// "LBA 140 (track 3, 00:00.08), LBA 141 (track 3, 00:00.09)": the sectors of a track, each
// with its place when the track's start is known and the sector lies in the track; else
// "LBA 140, LBA 141".
std::string SuspiciousList(const std::vector<std::uint32_t>& sectors, int trackNumber,
                           const std::uint32_t* trackStart);

}  // namespace orvane::rip
