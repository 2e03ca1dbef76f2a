#pragma once
// A rip's sums against the database's entries: the offset at which an entry lies (an exact
// match of column 0's syndromes, else the offset whose column 0 the parity can mend with the
// fewest errors), the disc and track CRCs at that offset, and the repair from the entry's
// parity: every column's error syndromes (the rip's XOR the served) decoded alone, the fixes
// taken only when the corrected audio's CRC equals the entry's.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "encoder/ctdb/ctdb_sums.h"

namespace orvane::ctdb {

struct CtdbEntry {
    std::string id;
    std::uint32_t crc32 = 0;
    int confidence = 0;
    int npar = 0;
    int stride = 0;
    std::vector<std::uint16_t> syndrome;   // column 0's, npar words; empty on old entries
    std::string parityUrl;                 // where its parity file lies; empty without one
    std::vector<std::uint32_t> trackCrcs;  // empty when the count did not fit the audio tracks
    std::string toc;
};

struct EntryCheck {
    // Where the entry was taken: the offset found, or 0 for an entry without syndrome or one
    // that no offset brings within the parity's reach (columnErrors -1).
    bool located = false;
    int offset = 0;  // samples: the entry's sample p is the rip's sample p + offset
    bool crcMatch = false;
    std::vector<bool> trackMatch;  // per audio track, when the entry has track CRCs
    // Column 0's error count at the offset when it differs (-1: beyond the parity).
    int columnErrors = 0;
};

// Where entry lies against the rip (within +-kMaxOffset samples) and whether it matches.
EntryCheck CheckEntry(const CtdbSums& sums, const CtdbEntry& entry);

struct Repair {
    bool ok = false;
    std::string why;             // when not ok: why it cannot be repaired, one line
    std::vector<WordFix> fixes;  // the rip's words to change (its own word indexes)
    std::uint64_t samples = 0;   // stereo samples changed
};

// The fixes that turn the rip into entry's audio at offset, from rows (npar x 11760
// syndromes, the parity file's first npar rows; npar may be below the entry's).
Repair RepairFromParity(const CtdbSums& sums, const CtdbEntry& entry, int offset,
                        const std::vector<std::uint16_t>& rows, int npar);

}  // namespace orvane::ctdb
