#include "encoder/cdda/disc_extras.h"

#include "encoder/freedb/disc_ids.h"
#include "platform/cdrom/drives.h"

namespace orvane::cdda {

DiscExtras ExtrasOfDisc(const cdrom::DiscInfo& disc) {
    DiscExtras extras;
    extras.title = disc.title;
    extras.performer = disc.performer;
    for (const cdrom::TrackInfo& t : disc.tracks) {
        extras.tracks.push_back({t.number, t.isrc, t.title, t.performer});
    }
    extras.starts = disc.Starts();
    if (!disc.Empty()) extras.musicBrainzDiscId = freedb::MusicBrainzId(disc);
    return extras;
}

bool ReadDiscExtras(int driveIndex, DiscExtras& extras) {
    std::shared_ptr<cdrom::DiscDrive> drive = cdrom::DriveAt(driveIndex);
    cdrom::DiscInfo disc;
    if (!drive || !drive->ReadDiscInfo(disc).ok) return false;
    extras = ExtrasOfDisc(disc);
    return true;
}

}  // namespace orvane::cdda
