#pragma once
// The table of contents of a disc as one JSON object, for `orvane-cdda toc DRIVE --json`.

#include <string>

#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

// {"leadout", "first_track", "last_track", "catalog", "sessions", "freedb_id",
// "musicbrainz_id", "accuraterip_id", "cdtext", "tracks": [{"number", "start", "length",
// "audio", "session", "pregap", "isrc", "preemphasis", "copy_permitted", "title",
// "performer"}]}, with a line break at the end.
std::string TocJson(const cdrom::DiscInfo& disc);

}  // namespace orvane::cdda
