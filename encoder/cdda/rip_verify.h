#pragma once
// A rip already on disk checked against AccurateRip and the CUETools database: a folder with
// its cue sheet (one file per track, or one image; WAVE or raw samples, laid out by this
// program or by another ripper) read through the cue sheet's image drive, so the tracks, their
// pregaps and the lead-out come from the sheet exactly as a disc's would, and every audio
// track's samples pass once through the same sums a rip takes.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "encoder/cdda/accuraterip.h"
#include "encoder/cdda/ctdb_rip.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

struct VerifyOptions {
    bool accurateRip = true;
    std::string accurateRipServer;  // empty: the public database
    bool ctdb = true;
    std::string ctdbServer;  // empty: the public database
    // A folder to write the whole rip into, mended, when it differs and the database's parity
    // reaches the damage (every file of the cue sheet under its own name, and the sheet); the
    // rip itself is never touched.
    std::string repairTo;
};

struct VerifiedTrack {
    int number = 0;
    TrackChecksums sums;
    AccurateRipVerdict accurateRip;
    std::string ctdb;       // the database's verdict on the track; empty when not asked
    bool verified = false;  // one of the databases holds it
};

struct VerifyReport {
    std::string error;  // the rip could not be read: why (nothing else is set)
    std::string cueSheet;
    cdrom::DiscInfo disc;
    AccurateRipId arId;
    bool accurateRipAsked = true;
    std::string accurateRipMessage;
    std::optional<CtdbRipResult> ctdb;
    std::vector<VerifiedTrack> tracks;

    bool AllVerified() const;
};

// path: a folder holding one cue sheet, or the cue sheet itself.
VerifyReport VerifyRip(const std::string& path, const VerifyOptions& options,
                       const std::function<bool()>& cancelled);

// The table of a report: per track its CRC32, AccurateRip sums and verdicts, then the summary.
std::string VerifyTable(const VerifyReport& report);

}  // namespace orvane::cdda
