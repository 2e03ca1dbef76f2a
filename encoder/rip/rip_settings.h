#pragma once
// A verified rip's settings as one value: how the disc is read and whether the rip is checked
// against the AccurateRip database. The grabber hands it to the CD job in the job's request;
// the profile keeps it (encoder/cdda/rip_settings.h).

#include <string>

#include "encoder/rip/sample_reader.h"

namespace orvane::rip {

// What becomes of each track's pregap in a rip of tracks: it ends the file of the track before
// (as each file runs from its INDEX 01 to the next one's), starts its own track's file, or is
// in no file. The checksums stay those of the INDEX 01 spans whatever the choice.
enum class PregapChoice { Previous, Own, Drop };

struct RipSettings {
    ReadSettings read;
    PregapChoice pregaps = PregapChoice::Previous;
    bool accurateRip = false;       // look the rip up and check it
    std::string accurateRipServer;  // empty: the public database
    // The CUETools database: look the rip up; with repair, mend differing WAVE track files
    // from its parity (the damaged ones kept as "*.damaged" unless keepDamaged is off).
    bool ctdb = false;
    std::string ctdbServer;  // empty: the public database
    bool ctdbRepair = false;
    bool keepDamaged = true;
    bool eject = false;  // orvane-cdda rip: open the tray once it is complete
    // The grabber's CD job writes the disc as one image with its cue sheet, not a file a track.
    bool image = false;
    // Anything beyond the described grab is asked for: the CD job then writes its log and cue
    // sheet beside the files.
    bool Verified() const { return !read.Plain() || accurateRip || ctdb; }
};

}  // namespace orvane::rip
