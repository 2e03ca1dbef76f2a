#pragma once
// `orvane-cdda rip`: a whole disc through the grabber's CD job (its input source, names, tags,
// temporary files and final message, here on the terminal), then the log and cue sheet.

#include <string>

#include "encoder/cdda/track_list.h"

namespace orvane::cdda {

struct RipOptions {
    std::string folder;
    std::string format = "mp3";  // wav mp3 wma flac opus
    bool offsetGiven = false;
    int offset = 0;
    int mode = -1;  // -1: burst; else a ReadMode
    bool noAccurateRip = false;
    std::string accurateRipServer;  // empty: the stored one, else the public database
    bool cddb = false;
    bool json = false;
    bool eject = false;   // open the tray after a complete rip (also Rip\Eject)
    bool image = false;   // the disc as one WAVE or FLAC file with its cue sheet
    std::string pregaps;  // "previous", "own", "drop"; empty: Rip\Pregaps
    std::string disc;     // "auto" (from the names), "n" or "n/m"; empty: one disc alone
};

// Rips the disc of the session's selected drive. The exit status: 0 only when every audio
// track was read (and, reading securely or with a test, its reads agreed); 1 otherwise.
int RunRip(CdSession& session, const RipOptions& options);

}  // namespace orvane::cdda
