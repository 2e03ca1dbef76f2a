#include "programs/orvane-cdda/toc_json.h"

#include <cstdio>

#include "encoder/ctdb/ctdb_toc.h"
#include "encoder/freedb/disc_ids.h"

namespace orvane::cdda {

std::string JsonQuoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

namespace {

std::string Quoted(const std::string& text) { return JsonQuoted(text); }

std::string OrNull(const std::string& text) { return text.empty() ? "null" : Quoted(text); }

std::string Bool(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string RipJson(const RipReport& report, bool complete, const std::string& extra) {
    auto hex = [](std::uint32_t v) {
        char text[16];
        std::snprintf(text, sizeof text, "\"%08x\"", v);
        return std::string(text);
    };
    std::string out = "{\"accuraterip_id\": " + Quoted(report.arId.Fingerprint()) +
                      ", \"offset\": " + std::to_string(report.offset) +
                      ", \"mode\": " + Quoted(report.mode) + ", \"complete\": " + Bool(complete) +
                      ", \"tracks\": [";
    const auto track = [&hex](const RipTrackReport& t) {
        std::string one =
            "{\"number\": " + std::to_string(t.number) + ", \"file\": " + OrNull(t.file) +
            ", \"crc32\": " + hex(t.sums.crc32) + ", \"accuraterip_v1\": " + hex(t.sums.arV1) +
            ", \"accuraterip_v2\": " + hex(t.sums.arV2) +
            ", \"accuraterip\": " + Quoted(ToString(t.verdict.result)) +
            ", \"confidence\": " + std::to_string(t.verdict.confidence) + ", \"suspicious\": [";
        for (std::size_t k = 0; k < t.suspicious.size(); ++k)
            one += (k ? ", " : "") + std::to_string(t.suspicious[k]);
        return one + "]}";
    };
    for (std::size_t i = 0; i < report.tracks.size(); ++i)
        out += (i ? ", " : "") + track(report.tracks[i]);
    out += "]";
    // The audio before the first audio track's INDEX 01: track 0 when it was ripped, or the
    // digital silence left as a pregap.
    if (report.leadingGap) {
        const RipLeadingGap& gap = *report.leadingGap;
        out += ", \"leading_gap\": {\"pregap_of\": " + std::to_string(gap.track) +
               ", \"start\": " + std::to_string(gap.start) +
               ", \"frames\": " + std::to_string(gap.frames) + ", \"silent\": " + Bool(gap.silent) +
               ", \"track\": " + (gap.silent ? std::string("null") : track(gap.rip)) + "}";
    }
    if (report.ctdb) out += ", \"ctdb\": " + CtdbJson(*report.ctdb);
    if (!extra.empty()) out += ", " + extra;
    return out + "}\n";
}

std::string CtdbJson(const CtdbRipResult& c) {
    auto hex = [](std::uint32_t v) {
        char text[16];
        std::snprintf(text, sizeof text, "\"%08x\"", v);
        return std::string(text);
    };
    std::string out =
        "{\"toc_id\": " + Quoted(c.tocId) + ", \"status\": " + Quoted(c.status) +
        ", \"repairable\": " + (c.repairable ? Bool(*c.repairable) : std::string("null")) +
        ", \"entries\": [";
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
        const CtdbEntryResult& e = c.entries[i];
        out += std::string(i ? ", " : "") + "{\"id\": " + Quoted(e.id) +
               ", \"confidence\": " + std::to_string(e.confidence) +
               ", \"crc32\": " + hex(e.crc32) + ", \"crc_match\": " + Bool(e.crcMatch) +
               ", \"offset\": " + std::to_string(e.offset) + ", \"tracks\": [";
        for (std::size_t k = 0; k < e.tracks.size(); ++k)
            out += std::string(k ? ", " : "") + "{\"crc32\": " + hex(e.tracks[k].first) +
                   ", \"match\": " + Bool(e.tracks[k].second) + "}";
        out += "]}";
    }
    return out + "]}";
}

std::string VerifyJson(const VerifyReport& r) {
    auto hex = [](std::uint32_t v) {
        char text[16];
        std::snprintf(text, sizeof text, "\"%08x\"", v);
        return std::string(text);
    };
    std::string out = "{\"cue_sheet\": " + Quoted(r.cueSheet) +
                      ", \"accuraterip_id\": " + Quoted(r.arId.Fingerprint()) +
                      ", \"verified\": " + Bool(r.AllVerified()) + ", \"tracks\": [";
    for (std::size_t i = 0; i < r.tracks.size(); ++i) {
        const VerifiedTrack& t = r.tracks[i];
        out += std::string(i ? ", " : "") + "{\"number\": " + std::to_string(t.number) +
               ", \"crc32\": " + hex(t.sums.crc32) + ", \"accuraterip_v1\": " + hex(t.sums.arV1) +
               ", \"accuraterip_v2\": " + hex(t.sums.arV2) + ", \"accuraterip\": " +
               (r.accurateRipAsked ? Quoted(ToString(t.accurateRip.result)) : std::string("null")) +
               ", \"confidence\": " + std::to_string(t.accurateRip.confidence) +
               (t.accurateRipOffset
                    ? ", \"accuraterip_offset\": " + std::to_string(t.accurateRipOffset)
                    : std::string()) +
               ", \"ctdb\": " + OrNull(t.ctdb) + ", \"verified\": " + Bool(t.verified) + "}";
    }
    out += "]";
    if (r.ctdb) out += ", \"ctdb\": " + CtdbJson(*r.ctdb);
    return out + "}\n";
}

std::string TocJson(const cdrom::DiscInfo& disc) {
    char freedb[16];
    std::snprintf(freedb, sizeof freedb, "%08x", freedb::CddbId(disc));
    std::string out =
        "{\"leadout\": " + std::to_string(disc.leadOut) +
        ", \"first_track\": " + std::to_string(disc.firstTrack) +
        ", \"last_track\": " + std::to_string(disc.lastTrack) +
        ", \"catalog\": " + OrNull(disc.catalog) +
        ", \"sessions\": " + std::to_string(disc.sessions) + ", \"freedb_id\": " + Quoted(freedb) +
        ", \"musicbrainz_id\": " + OrNull(freedb::MusicBrainzId(disc)) +
        ", \"accuraterip_id\": " + Quoted(freedb::AccurateRipId(disc)) +
        ", \"ctdb_toc_id\": " + OrNull(ctdb::CtdbTocOf(disc).tocId) + ", \"cdtext\": ";
    if (disc.title.empty() && disc.performer.empty()) {
        out += "null";
    } else {
        out += "{\"title\": " + OrNull(disc.title) + ", \"performer\": " + OrNull(disc.performer) +
               "}";
    }
    out += ", \"tracks\": [";
    for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
        const cdrom::TrackInfo& t = disc.tracks[i];
        if (i) out += ", ";
        out += "{\"number\": " + std::to_string(t.number) +
               ", \"start\": " + std::to_string(t.start) +
               ", \"length\": " + std::to_string(t.length) + ", \"audio\": " + Bool(t.audio) +
               ", \"session\": " + std::to_string(t.session) +
               ", \"pregap\": " + std::to_string(t.pregap) + ", \"isrc\": " + OrNull(t.isrc) +
               ", \"preemphasis\": " + Bool(t.preemphasis) +
               ", \"copy_permitted\": " + Bool(t.copyPermitted) +
               ", \"title\": " + OrNull(t.title) + ", \"performer\": " + OrNull(t.performer) + "}";
    }
    return out + "]}\n";
}

}  // namespace orvane::cdda
