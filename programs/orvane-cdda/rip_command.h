#pragma once
// `orvane-cdda rip`: a whole disc through the grabber's CD job (its input source, names, tags,
// temporary files and final message, here on the terminal), then the log and cue sheet.

#include <string>

#include "encoder/cdda/track_list.h"
#include "encoder/ctdb/ctdb_client.h"

namespace orvane::cdda {

struct RipOptions {
    std::string folder;
    std::string format = "mp3";  // wav mp3 wma flac opus
    bool offsetGiven = false;
    int offset = 0;
    int mode = -1;  // -1: burst; else a ReadMode
    bool noAccurateRip = false;
    std::string accurateRipServer;  // empty: the stored one, else the public database
    // The CUETools database: asked with --ctdb, --ctdb-server or --repair, or when the
    // profile's Rip\CTDB is on, unless --no-ctdb.
    bool ctdb = false, noCtdb = false;
    std::string ctdbServer;  // empty: the stored one (Rip\CTDBServer), else the public database
    bool repair = false;     // mend differing WAVE track files from the database's parity
    bool noKeep = false;     // do not keep the damaged files as "*.damaged"
    bool cddb = false;
    // Names and tags from the CUETools database (its first release), the metadata of this
    // level asked with the lookup the check of the rip then takes too.
    bool ctdbNames = false;
    ctdb::CtdbMetadata ctdbMetadata = ctdb::CtdbMetadata::Default;
    bool json = false;
    // Names and tags from MusicBrainz (the first release, or the one of id release).
    bool musicBrainz = false;
    std::string musicBrainzServer;  // empty: the public service
    std::string release;
    // The front cover: "auto" (the archive, for a MusicBrainz release), a file, or "none".
    std::string cover = "auto";
    bool coverGiven = false;
    std::string coverSize = "1200";  // 250 500 1200 original
    std::string coverArtServer;      // empty: Rip\CoverArtServer, else the public archive
    std::string coverMode;           // empty: Rip\CoverArt, else embed+file
    bool eject = false;              // open the tray after a complete rip (also Rip\Eject)
    bool image = false;              // the disc as one WAVE or FLAC file with its cue sheet
    std::string pregaps;             // "previous", "own", "drop"; empty: Rip\Pregaps
    std::string disc;                // "auto" (from the names), "n" or "n/m"; empty: one disc alone
};

// Rips the disc of the session's selected drive. The exit status: 0 only when every audio
// track was read (and, reading securely or with a test, its reads agreed); 1 otherwise.
int RunRip(CdSession& session, const RipOptions& options);

}  // namespace orvane::cdda
