#pragma once
// What a rip leaves beside its files: a plain-text log (the drive, the settings, the table of
// contents and per track its checksums, its AccurateRip verdict and its suspicious sectors)
// and a cue sheet of the rip (one FILE per track, INDEX 00 where a track has a pregap, the
// titles, ISRCs and the catalog number when known). Texts from outside are written on one
// line each, whatever they hold.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "encoder/cdda/accuraterip.h"
#include "encoder/cdda/ctdb_rip.h"
#include "encoder/rip/suspicious_text.h"
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
    // Frames of the file before the track's INDEX 01: its own pregap, moved there.
    std::uint32_t heldPregap = 0;
};

// The pregap of the disc's first audio track, where audio may hide before its INDEX 01 (the
// sectors before track 1 on a disc whose track 1 starts late, or the pregap of the first audio
// track after a data track). Ripped as track 0, a file of its own, unless it is digital silence.
struct RipLeadingGap {
    int track = 0;  // the number of the track whose pregap it is
    std::uint32_t start = 0, frames = 0;
    bool silent = false;  // all samples zero: no file, a PREGAP in the cue sheet
    RipTrackReport rip;   // number 0; its file and checksums when not silent
};

struct RipReport {
    std::string program, version, date, driveName, drivePath;
    int offset = 0;              // read offset correction in samples
    std::string mode = "burst";  // "burst" "secure" "test-and-copy"
    cdrom::DiscInfo disc;
    std::string discTitle, discArtist;     // empty: the disc's CD-Text, if any
    std::vector<std::string> trackTitles;  // trackTitles[i] titles tracks[i]; may be short
    AccurateRipId arId;
    bool accurateRipAsked = true;  // false: no lookup and no verdicts
    std::string lookupMessage;     // the lookup's outcome, one line
    std::vector<RipTrackReport> tracks;
    std::optional<RipLeadingGap> leadingGap;  // read before the first audio track, if it was
    // The front cover: where it came from and its size (empty: no cover was asked for), the
    // cover file beside the tracks (empty: none) and what became of it.
    std::string coverNote, coverFile, coverFileNote;
    std::optional<CtdbRipResult> ctdb;  // the CUETools database's verdict, when asked
    // A rip into one image: its cue sheet, written in place of the tracks' (empty: the
    // tracks'), and the lines the log ends with (the image's CRC32, the tracks left out).
    int pregaps = 0;  // 0: each pregap ends the file before; 1: starts its own; 2: left out
    std::string imageCue;
    std::vector<std::string> logNotes;
};

// Position of a sector within its track as "mm:ss.ff" (75 frames a second).
using rip::TrackPosition;

std::string FormatRipLog(const RipReport& report);
// Track files are named by their file name alone: the sheet lies in the same folder.
std::string FormatRipCue(const RipReport& report);
// One line per track not accurately ripped, saying why ("Track 3: not accurately ripped
// (checksum differs from the AccurateRip database)"); empty when every track matched.
std::vector<std::string> NotAccurateLines(const RipReport& report);
// A text from outside (a CD database, the disc, the drive) as one line of the log: control
// characters are shown escaped ("\n", "\t", "\x1b", "\u0085"), so no text can start a line of
// its own.
std::string LogText(const std::string& text);
// A text inside a cue sheet's quotes (one line, no quote of its own), and "mm:ss:ff".
std::string RipCueText(const std::string& text);
std::string RipCueTime(std::uint32_t frames);
// A track's "    FLAGS DCP PRE" line (the flags it has; empty when it has neither).
std::string RipCueFlags(bool copyPermitted, bool preemphasis);
// Writes "<stem>.log" and "<stem>.cue" into folder, or "<stem> (2).log" and ".cue" and so on
// when either name is taken; never replaces a file, and two writers never get the same name.
// Returns the base name taken; empty, with a message naming the file, when they cannot be
// written.
std::string WriteRipLogAndCue(const std::string& folder, const std::string& stem,
                              const RipReport& report, std::string& error);

}  // namespace orvane::cdda
