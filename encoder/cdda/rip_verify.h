#pragma once
// A rip already on disk checked against AccurateRip and the CUETools database: a folder with
// its cue sheet (one file per track, or one image; WAVE or raw samples, laid out by this
// program or by another ripper) read through the cue sheet's image drive, so the tracks, their
// pregaps and the lead-out come from the sheet exactly as a disc's would, and every audio
// track's samples pass once through the same sums a rip takes. A track no AccurateRip block
// holds as ripped is summed again at the offsets of the pressings the CUETools database
// locates (at most kMaxPressingOffsets of them), as the rip of such a pressing would be.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "encoder/cdda/accuraterip.h"
#include "encoder/cdda/ctdb_rip.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

constexpr std::size_t kMaxPressingOffsets = 4;

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
    // The offset (samples) at which the AccurateRip sums matched: 0 as ripped, else the offset
    // of another pressing in the CUETools database (its sample p is the rip's p + offset).
    int accurateRipOffset = 0;
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
    // The album in a word: "verified" (every track), "differs" (a database holds other audio
    // for a track), "not found" (no database knows the disc) or "failed" (the rip could not be
    // read or no database answered).
    std::string Verdict() const;
};

// path: a folder holding one cue sheet, or the cue sheet itself.
VerifyReport VerifyRip(const std::string& path, const VerifyOptions& options,
                       const std::function<bool()>& cancelled);

// The table of a report: per track its CRC32, AccurateRip sums and verdicts, then the summary.
std::string VerifyTable(const VerifyReport& report);

}  // namespace orvane::cdda
