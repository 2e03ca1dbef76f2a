#pragma once
// A rip checked against the CUETools database: the sums taken as the tracks' samples are
// written (in disc order, each audio track whole), the lookup at the rip's end, the verdict per
// disc and track, and, when asked for, the repair of the WAVE track files from the entry's
// parity (each file replaced whole through platform/fs, the damaged one kept beside it), or of
// the files of a cue sheet's layout into new files.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encoder/ctdb/ctdb_verify.h"
#include "encoder/rip/rip_settings.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

struct CtdbEntryResult {
    std::string id;
    int confidence = 0;
    std::uint32_t crc32 = 0;
    bool crcMatch = false;
    int offset = 0;
    std::vector<std::pair<std::uint32_t, bool>> tracks;  // the entry's track CRC, matched
    bool located = false;  // offset is where the entry lies against the rip
};

struct CtdbRipResult {
    std::string tocId;
    // "verified" "differs" "repaired" "not-found" "unavailable" "not-asked"
    std::string status = "not-asked";
    std::optional<bool> repairable;  // set when the rip differs
    std::string message;             // the lookup's outcome, one line
    std::vector<CtdbEntryResult> entries;
    std::vector<std::string> trackVerdicts;  // per audio track of the disc, in order
    std::vector<int> trackNumbers;           // their numbers on the disc
    // Per audio track, the confidence of the most confident entry its audio now agrees with
    // (0: none). A track of confidence 2 or more is accurately ripped whatever AccurateRip says.
    std::vector<int> trackConfidence;
    std::string discVerdict;               // "accurately ripped (confidence 3)" ...
    std::vector<std::string> repairLines;  // every repaired position, or why not
    std::vector<std::string> written;      // the files a repair wrote
};

// A rip's track file: its number on the disc and where it lies.
struct CtdbTrackFile {
    int number = 0;
    std::string file;
    bool read = true;
    // Where its repair goes: a new file of this name; empty: the file itself is replaced.
    std::string writeTo;
};

// A run of the disc's sectors as a file holds them (a cue sheet's layout), for a rip that is
// not one WAVE file per track: an image, or files that hold pregaps of other tracks.
struct CtdbFileExtent {
    std::uint32_t lba = 0, frames = 0;
    std::string file;
    std::uint64_t fileByte = 0;  // where the run's first sector lies in the file
    std::uint64_t fileEnd = 0;   // the end of the file's samples
    bool bigEndian = false;      // samples stored high byte first
    std::string writeTo;         // where the file's mended copy goes (a new file)
};

class CtdbRecorder {
public:
    CtdbRecorder(const cdrom::DiscInfo& disc, const rip::RipSettings& settings);
    ~CtdbRecorder();

    // Around each track's samples as written; number: the track's on the disc.
    void BeginTrack(int number);
    void Written(const std::uint8_t* data, std::size_t size);
    void EndTrack(bool read);

    // The lookup, the verdicts and (asked for) the repair of the files.
    CtdbRipResult Finish(const std::vector<CtdbTrackFile>& files,
                         const std::function<bool()>& cancelled);
    // Where the samples lie when a repair is to mend them through a layout: Finish then writes
    // each file that holds a damaged sample, mended, to its writeTo (all or none), and takes
    // no track files.
    void SetFileLayout(std::vector<CtdbFileExtent> layout) { layout_ = std::move(layout); }

private:
    // The fixes written through layout_; false with the reason in r's lines.
    bool MendThroughLayout(const std::vector<ctdb::WordFix>& fixes, CtdbRipResult& r);

    std::vector<CtdbFileExtent> layout_;
    rip::RipSettings settings_;
    ctdb::CtdbToc toc_;
    std::unique_ptr<ctdb::CtdbSums> sums_;
    int next_ = 0;          // the index of the audio track expected next
    bool feeding_ = false;  // inside an audio track of the run
    bool broken_ = false;   // a track missing, out of order or cut short
};

// "+48", "-30".
std::string SignedOffset(int offset);

}  // namespace orvane::cdda
