#pragma once
// The table of contents of a disc as one JSON object, for `orvane-cdda toc DRIVE --json`.

#include <string>

#include "encoder/cdda/rip_log.h"
#include "encoder/cdda/rip_verify.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

// {"leadout", "first_track", "last_track", "catalog", "sessions", "freedb_id",
// "musicbrainz_id", "accuraterip_id", "ctdb_toc_id" (null without audio), "cdtext", "tracks":
// [{"number", "start", "length", "audio", "session", "pregap", "isrc", "preemphasis",
// "copy_permitted", "title", "performer"}]}, with a line break at the end.
std::string TocJson(const cdrom::DiscInfo& disc);

// The outcome of `orvane-cdda rip --json`: {"accuraterip_id", "offset", "mode", "complete",
// "tracks": [{"number", "file", "crc32", "accuraterip_v1", "accuraterip_v2" (8 lowercase hex
// digits), "accuraterip" ("match" "mismatch" "not-found" "unavailable"), "confidence",
// "suspicious" (LBAs)}]}, with a line break at the end.
// extra: more members ("name": value) put at the object's end, when not empty.
std::string RipJson(const RipReport& report, bool complete, const std::string& extra = {});
// With the CUETools database asked, "ctdb" (CtdbJson) comes before the extra members.
// {"toc_id", "status", "repairable", "entries": [{"id", "confidence", "crc32", "crc_match",
// "offset", "tracks": [{"crc32", "match"}]}]}.
std::string CtdbJson(const CtdbRipResult& ctdb);
// The outcome of `orvane-cdda verify --json`: {"cue_sheet", "accuraterip_id", "verified",
// "tracks": [{"number", "crc32", "accuraterip_v1", "accuraterip_v2", "accuraterip",
// "confidence", "ctdb", "verified"}], "ctdb"}, with a line break at the end.
std::string VerifyJson(const VerifyReport& report);
// A JSON string of UTF-8 text, quoted and escaped.
std::string JsonQuoted(const std::string& text);

}  // namespace orvane::cdda
