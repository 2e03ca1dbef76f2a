#pragma once
// "orvane-cdda offset": a drive's read offset found from a disc in the AccurateRip database.
// Every audio track with entries is read once, uncorrected, with five sectors more on each
// side; the corrections at which its checksums match are printed, best first, and the best
// is stored for the drive's model when asked.

#include <cstdio>
#include <functional>
#include <string>

#include "encoder/app/settings_store.h"
#include "encoder/cdda/cd_drive.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

struct OffsetCommand {
    std::string server;  // AccurateRip server; empty: the stored one, else the public one
    bool store = false;  // store the best correction for the drive's model
    int sectorsPerRead = 26;
    std::function<bool()> cancelled;  // polled between reads and during the lookup
};

// Exit status: 0 when a correction was found (and stored when asked), 1 otherwise with the
// reason on err.
int RunOffsetCommand(const CdDrive& drive, const cdrom::DiscInfo& disc,
                     const OffsetCommand& command, encoder::SettingsStore& settings, std::FILE* out,
                     std::FILE* err);

}  // namespace orvane::cdda
