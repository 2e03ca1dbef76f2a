#pragma once
// The pregap choice of a rip of tracks. Every track is read from its INDEX 01 to the next
// track's, as the checksums and the database count it; afterwards the end of a track's file
// that is the next track's pregap stays there (Previous), moves to the start of the next
// track's file (Own: read next, so it waits in a scratch file for that file) or goes (Drop). A
// pregap whose track is not ripped stays where it was read.

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/cdda/track_list.h"
#include "encoder/job/input_source.h"
#include "encoder/rip/rip_settings.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

class PregapMover {
public:
    // disc: the disc with its pregaps; checked: the tracks of the rip (session indexes).
    PregapMover(rip::PregapChoice choice, cdrom::DiscInfo disc, std::vector<std::uint8_t> checked)
        : choice_(choice), disc_(std::move(disc)), checked_(std::move(checked)) {}

    // After track (zero-based) was grabbed into *path, a WAVE file of the job in folder: the
    // file is rewritten as the choice says (a new scratch name in scratch; *path then names
    // it). held receives the frames of its own pregap now before its INDEX 01. False with
    // error when the file could not be rewritten.
    bool Apply(const std::string& folder, int track, std::string* path,
               encoder::ScratchFiles& scratch, std::uint32_t& held, std::string& error);

private:
    rip::PregapChoice choice_;
    cdrom::DiscInfo disc_;
    std::vector<std::uint8_t> checked_;
    // The next track's pregap, read at this track's end: its samples in a scratch file of the
    // job, and the track it belongs to.
    encoder::ScratchFiles carryFiles_;
    std::string carry_;
    int carryFor_ = -1;
};

}  // namespace orvane::cdda
