#pragma once
// What a rip leaves beside its files: a plain-text log (the drive, the settings, the table of
// contents and per track its checksums, its AccurateRip verdict and its suspicious sectors)
// and a cue sheet of the rip (one FILE per track, INDEX 00 where a track has a pregap, the
// titles, ISRCs and the catalog number when known).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "encoder/cdda/accuraterip.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

struct RipTrackReport {
    int number = 0;    // the track's number on the disc
    std::string file;  // path written
    TrackChecksums sums;
    std::optional<std::uint32_t> testCrc;  // CRC-32 of the test read, in test-and-copy mode
    AccurateRipVerdict verdict;
    std::vector<std::uint32_t> suspicious;  // LBAs of sectors whose reads never agreed
    bool read = true;                       // false: the track could not be read
};

struct RipReport {
    std::string program, version, date, driveName, drivePath;
    int offset = 0;              // read offset correction in samples
    std::string mode = "burst";  // "burst" "secure" "test-and-copy"
    cdrom::DiscInfo disc;
    std::string discTitle, discArtist;     // empty: the disc's CD-Text, if any
    std::vector<std::string> trackTitles;  // trackTitles[i] titles tracks[i]; may be short
    AccurateRipId arId;
    std::string lookupMessage;  // the lookup's outcome, one line
    std::vector<RipTrackReport> tracks;
};

// Position of a sector within its track as "mm:ss.ff" (75 frames a second).
std::string TrackPosition(std::uint32_t sectorsIntoTrack);

std::string FormatRipLog(const RipReport& report);
// Track files are named by their file name alone: the sheet lies in the same folder.
std::string FormatRipCue(const RipReport& report);
// One line per track not accurately ripped, saying why ("Track 3: not accurately ripped
// (checksum differs from the AccurateRip database)"); empty when every track matched.
std::vector<std::string> NotAccurateLines(const RipReport& report);
// Writes "<base>.log" and "<base>.cue" into folder, each replaced whole or not at all. False
// with a message naming the file when either cannot be written.
bool WriteRipLogAndCue(const std::string& folder, const std::string& base, const RipReport& report,
                       std::string& error);

}  // namespace orvane::cdda
