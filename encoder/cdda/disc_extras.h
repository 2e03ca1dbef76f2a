#pragma once
// What the grabber's drives tell beyond their table of contents (ISRCs, CD-Text, the
// MusicBrainz disc id), read from the CD drive behind the transport's drive of the same index.

#include "encoder/cdda/grabber_dialog.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

// The extras of a disc as the drive told them.
DiscExtras ExtrasOfDisc(const cdrom::DiscInfo& disc);

// The extras of the disc in the drive of driveIndex (D: is 0); false when there is no such
// drive or it cannot tell.
bool ReadDiscExtras(int driveIndex, DiscExtras& extras);

}  // namespace orvane::cdda
