#include "encoder/cdda/rip_log.h"

#include <cstdio>

#include "platform/fs/fs.h"

namespace orvane::cdda {

namespace {

std::string Hex8(std::uint32_t v) {
    char text[12];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

// Minutes, seconds and frames of a cue sheet ("mm:ss:ff").
std::string CueTime(std::uint32_t frames) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", frames / 75 / 60, frames / 75 % 60,
                  frames % 75);
    return text;
}

// A text inside a cue sheet's quotes: one line, no quote of its own.
std::string CueText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"') {
            out += '\'';
        } else if (c == '\r' || c == '\n' || c == '\t') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

std::string FileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CueFileType(const std::string& path) {
    const std::string name = FileName(path);
    const std::size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == "mp3" ? "MP3" : "WAVE";
}

std::string TrackTitle(const RipReport& report, std::size_t index, const cdrom::TrackInfo* t) {
    if (index < report.trackTitles.size() && !report.trackTitles[index].empty())
        return report.trackTitles[index];
    return t ? t->title : std::string();
}

std::string DiscTitle(const RipReport& r) {
    return r.discTitle.empty() ? r.disc.title : r.discTitle;
}
std::string DiscArtist(const RipReport& r) {
    return r.discArtist.empty() ? r.disc.performer : r.discArtist;
}

std::string SuspiciousList(const RipReport& report, const RipTrackReport& track) {
    const cdrom::TrackInfo* t = report.disc.Track(track.number);
    std::string out;
    for (std::uint32_t lba : track.suspicious) {
        if (!out.empty()) out += ", ";
        out += "LBA " + std::to_string(lba);
        if (t && lba >= t->start)
            out += " (track " + std::to_string(track.number) + ", " +
                   TrackPosition(lba - t->start) + ")";
    }
    return out;
}

std::string Verdict(const AccurateRipVerdict& v) {
    switch (v.result) {
        case AccurateRipResult::Match:
            return "accurately ripped (confidence " + std::to_string(v.confidence) + ", v" +
                   std::to_string(v.version) + ")";
        case AccurateRipResult::Mismatch:
            return "checksum differs from the AccurateRip database";
        case AccurateRipResult::NotFound:
            return "not in the AccurateRip database";
        case AccurateRipResult::Unavailable:
            break;
    }
    return "AccurateRip unavailable";
}

}  // namespace

std::string TrackPosition(std::uint32_t sectorsIntoTrack) {
    char text[24];
    std::snprintf(text, sizeof text, "%02u:%02u.%02u", sectorsIntoTrack / 75 / 60,
                  sectorsIntoTrack / 75 % 60, sectorsIntoTrack % 75);
    return text;
}

std::string FormatRipLog(const RipReport& r) {
    std::string out = r.program + " " + r.version + "\n";
    out += "Rip of " + r.date + "\n\n";
    out += "Drive: " + r.driveName + " (" + r.drivePath + ")\n";
    out += "Read offset correction: " + std::to_string(r.offset) + " samples\n";
    out += "Read mode: " + r.mode + "\n";
    if (!DiscArtist(r).empty() || !DiscTitle(r).empty())
        out += "Disc: " + DiscArtist(r) + " / " + DiscTitle(r) + "\n";
    if (!r.disc.catalog.empty()) out += "Catalog number: " + r.disc.catalog + "\n";
    out += "AccurateRip id: " + r.arId.Fingerprint() + "\n";
    if (!r.lookupMessage.empty()) out += "AccurateRip lookup: " + r.lookupMessage + "\n";

    out += "\nTable of contents\n";
    out += "  Track  Session  Type    Start LBA   Length    Pregap  ISRC\n";
    for (const cdrom::TrackInfo& t : r.disc.tracks) {
        char line[160];
        std::snprintf(line, sizeof line, "  %5u  %7d  %-5s  %10u  %8s  %8s  %s\n", t.number,
                      t.session, t.audio ? "audio" : "data", t.start,
                      TrackPosition(t.length).c_str(), TrackPosition(t.pregap).c_str(),
                      t.isrc.c_str());
        out += line;
    }
    out += "  Lead-out at LBA " + std::to_string(r.disc.leadOut) + "\n";

    int read = 0, matched = 0, suspicious = 0;
    for (std::size_t i = 0; i < r.tracks.size(); ++i) {
        const RipTrackReport& t = r.tracks[i];
        out += "\nTrack " + std::to_string(t.number) + "\n";
        const std::string title = TrackTitle(r, i, r.disc.Track(t.number));
        if (!title.empty()) out += "  Title: " + title + "\n";
        out += "  File: " + t.file + "\n";
        if (!t.read) {
            out += "  Not read\n";
            continue;
        }
        ++read;
        out += "  CRC32: " + Hex8(t.sums.crc32) + "\n";
        if (t.testCrc)
            out += "  Test CRC32: " + Hex8(*t.testCrc) +
                   (*t.testCrc == t.sums.crc32 ? " (same)\n" : " (differs)\n");
        out += "  AccurateRip v1: " + Hex8(t.sums.arV1) + "  v2: " + Hex8(t.sums.arV2) + "\n";
        out += "  AccurateRip: " + Verdict(t.verdict) + "\n";
        if (t.verdict.result == AccurateRipResult::Match) ++matched;
        if (!t.suspicious.empty()) {
            ++suspicious;
            out += "  Suspicious sectors: " + SuspiciousList(r, t) + "\n";
        }
    }
    const int total = static_cast<int>(r.tracks.size());
    out += "\nSummary: " + std::to_string(read) + " of " + std::to_string(total) +
           " tracks read, " + std::to_string(matched) + " accurately ripped, " +
           std::to_string(suspicious) + " with suspicious sectors\n";
    return out;
}

std::string FormatRipCue(const RipReport& r) {
    std::string out;
    if (!r.disc.catalog.empty()) out += "CATALOG " + r.disc.catalog + "\n";
    if (!DiscArtist(r).empty()) out += "PERFORMER \"" + CueText(DiscArtist(r)) + "\"\n";
    if (!DiscTitle(r).empty()) out += "TITLE \"" + CueText(DiscTitle(r)) + "\"\n";
    for (std::size_t i = 0; i < r.tracks.size(); ++i) {
        const RipTrackReport& track = r.tracks[i];
        const cdrom::TrackInfo* t = r.disc.Track(track.number);
        const cdrom::TrackInfo* before = i > 0 ? r.disc.Track(r.tracks[i - 1].number) : nullptr;
        // Each file runs from its track's INDEX 01 to the next track's: a pregap lies at the
        // end of the file before, as INDEX 00 there, when that file holds the track just
        // before on the disc; otherwise it was not ripped and stands as a PREGAP.
        const bool gapInFileBefore = t && before && t->pregap > 0 &&
                                     before->number + 1 == t->number && before->length >= t->pregap;
        if (!gapInFileBefore || i == 0) {
            out +=
                "FILE \"" + CueText(FileName(track.file)) + "\" " + CueFileType(track.file) + "\n";
        }
        char head[32];
        std::snprintf(head, sizeof head, "  TRACK %02d AUDIO\n", track.number);
        out += head;
        const std::string title = TrackTitle(r, i, t);
        if (!title.empty()) out += "    TITLE \"" + CueText(title) + "\"\n";
        if (t && !t->performer.empty()) out += "    PERFORMER \"" + CueText(t->performer) + "\"\n";
        if (t && !t->isrc.empty()) out += "    ISRC " + t->isrc + "\n";
        if (t && (t->preemphasis || t->copyPermitted)) {
            out += "    FLAGS";
            if (t->copyPermitted) out += " DCP";
            if (t->preemphasis) out += " PRE";
            out += "\n";
        }
        if (gapInFileBefore) {
            out += "    INDEX 00 " + CueTime(before->length - t->pregap) + "\n";
            out +=
                "FILE \"" + CueText(FileName(track.file)) + "\" " + CueFileType(track.file) + "\n";
        } else if (t && t->pregap > 0) {
            out += "    PREGAP " + CueTime(t->pregap) + "\n";
        }
        out += "    INDEX 01 00:00:00\n";
        // Further index points, inside this track's file.
        if (t) {
            for (std::size_t k = 1; k < t->indexes.size(); ++k) {
                if (t->indexes[k] < t->start) continue;
                char line[48];
                std::snprintf(line, sizeof line, "    INDEX %02zu %s\n", k + 1,
                              CueTime(t->indexes[k] - t->start).c_str());
                out += line;
            }
        }
    }
    return out;
}

std::vector<std::string> NotAccurateLines(const RipReport& r) {
    std::vector<std::string> lines;
    for (const RipTrackReport& t : r.tracks) {
        // A matching checksum settles it, whatever the drive said about single reads.
        if (t.read && t.verdict.result == AccurateRipResult::Match) continue;
        std::string why = t.read ? Verdict(t.verdict) : "not read";
        if (t.read && !t.suspicious.empty())
            why += "; suspicious sectors at " + SuspiciousList(r, t);
        lines.push_back("Track " + std::to_string(t.number) + ": not accurately ripped (" + why +
                        ")");
    }
    return lines;
}

bool WriteRipLogAndCue(const std::string& folder, const std::string& base, const RipReport& report,
                       std::string& error) {
    const std::string stem = (folder.empty() ? std::string(".") : folder) + "/" + base;
    for (const auto& [path, text] : {std::pair{stem + ".log", FormatRipLog(report)},
                                     std::pair{stem + ".cue", FormatRipCue(report)}}) {
        const fs::Status status = fs::WriteFileAtomically(path, text);
        if (!status) {
            error = status.message;
            return false;
        }
    }
    return true;
}

}  // namespace orvane::cdda
