#include "encoder/cdda/rip_log.h"

#include <unistd.h>

#include <cerrno>
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

// Bytes of a control character (or a line or paragraph separator) that starts at text[i]: 1
// for C0 and DEL, 2 for C1 in UTF-8, 3 for U+2028 and U+2029; 0 for anything else.
std::size_t ControlAt(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) {
        return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
    };
    if (byte(i) < 0x20 || byte(i) == 0x7F) return 1;
    if (byte(i) == 0xC2 && byte(i + 1) >= 0x80 && byte(i + 1) <= 0x9F) return 2;
    if (byte(i) == 0xE2 && byte(i + 1) == 0x80 && (byte(i + 2) == 0xA8 || byte(i + 2) == 0xA9))
        return 3;
    return 0;
}

// A text inside a cue sheet's quotes: one line, no quote of its own (cue sheets know no escapes,
// so a control character becomes a blank).
std::string CueText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (const std::size_t n = ControlAt(text, i); n > 0) {
            out += ' ';
            i += n;
        } else {
            out += text[i] == '"' ? '\'' : text[i];
            ++i;
        }
    }
    return out;
}

// A code of the disc (ISRC, catalog number) as a cue sheet's word: only when it has its shape.
bool IsCode(const std::string& text, std::size_t length, bool digitsOnly) {
    if (text.size() != length) return false;
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (!digit && (digitsOnly || c < 'A' || c > 'Z')) return false;
    }
    return true;
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
    return rip::SuspiciousList(track.suspicious, track.number, t ? &t->start : nullptr);
}

}  // namespace

std::string LogText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = ControlAt(text, i);
        if (n == 0) {
            out += text[i++];
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        char escaped[16];
        if (c == '\n' || c == '\r' || c == '\t') {
            std::snprintf(escaped, sizeof escaped, "\\%c", c == '\n' ? 'n' : c == '\r' ? 'r' : 't');
        } else if (n == 1) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(c));
        } else if (n == 2) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x",
                          static_cast<unsigned>(static_cast<unsigned char>(text[i + 1])));
        } else {
            std::snprintf(escaped, sizeof escaped, "\\u%04x",
                          0x2000u + static_cast<unsigned char>(text[i + 2]) - 0x80u);
        }
        out += escaped;
        i += n;
    }
    return out;
}

namespace {

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

// Lines of a track read (its checksums, tests and doubts), after its "File:" line.
std::string ReadLines(const RipReport& r, const RipTrackReport& t, bool verdicts) {
    std::string out = "  CRC32: " + Hex8(t.sums.crc32) + "\n";
    if (t.testCrc)
        out += "  Test CRC32: " + Hex8(*t.testCrc) +
               (*t.testCrc == t.sums.crc32 ? " (same)\n" : " (differs)\n");
    if (verdicts) {
        out += "  AccurateRip v1: " + Hex8(t.sums.arV1) + "  v2: " + Hex8(t.sums.arV2) + "\n";
        if (r.accurateRipAsked) out += "  AccurateRip: " + Verdict(t.verdict) + "\n";
    }
    if (!t.suspicious.empty()) out += "  Suspicious sectors: " + SuspiciousList(r, t) + "\n";
    return out;
}

// "LBA a to b, mm:ss.ff" of a span.
std::string SpanText(std::uint32_t start, std::uint32_t frames) {
    return "LBA " + std::to_string(start) + " to " + std::to_string(start + frames - 1) + ", " +
           TrackPosition(frames);
}

// The database's verdict on a track, beside AccurateRip's.
std::string CtdbTrackLine(const CtdbRipResult& c, int number) {
    for (std::size_t i = 0; i < c.trackNumbers.size() && i < c.trackVerdicts.size(); ++i)
        if (c.trackNumbers[i] == number) return "  CTDB: " + c.trackVerdicts[i] + "\n";
    return {};
}

std::string LeadingGapLines(const RipReport& r) {
    if (!r.leadingGap || r.leadingGap->frames == 0) return {};
    const RipLeadingGap& g = *r.leadingGap;
    const std::string span = SpanText(g.start, g.frames);
    const std::string number = std::to_string(g.track);
    if (g.silent)
        return "\nPregap of track " + number + " (" + span +
               "): digital silence, not ripped (a PREGAP in the cue sheet)\n";
    std::string out = "\nTrack 0\n  Audio in the pregap of track " + number + " (" + span +
                      "), ripped as a track of its own\n";
    out += "  File: " + LogText(g.rip.file) + "\n";
    if (!g.rip.read) return out + "  Not read\n";
    return out + ReadLines(r, g.rip, false);
}

}  // namespace

std::string FormatRipLog(const RipReport& r) {
    std::string out = r.program + " " + r.version + "\n";
    out += "Rip of " + r.date + "\n\n";
    out += "Drive: " + LogText(r.driveName) + " (" + LogText(r.drivePath) + ")\n";
    out += "Read offset correction: " + std::to_string(r.offset) + " samples\n";
    out += "Read mode: " + r.mode + "\n";
    if (r.pregaps == 1 || r.pregaps == 2)
        out += std::string("Pregaps: ") +
               (r.pregaps == 1 ? "at the start of their own tracks" : "left out of the files") +
               " (the checksums are those of the INDEX 01 spans)\n";
    if (!DiscArtist(r).empty() || !DiscTitle(r).empty())
        out += "Disc: " + LogText(DiscArtist(r)) + " / " + LogText(DiscTitle(r)) + "\n";
    if (!r.disc.catalog.empty()) out += "Catalog number: " + LogText(r.disc.catalog) + "\n";
    out += "AccurateRip id: " + r.arId.Fingerprint() + "\n";
    if (!r.accurateRipAsked) {
        out += "AccurateRip: not asked for\n";
    } else if (!r.lookupMessage.empty()) {
        out += "AccurateRip lookup: " + LogText(r.lookupMessage) + "\n";
    }
    if (!r.coverNote.empty()) out += "Cover art: " + LogText(r.coverNote) + "\n";
    if (!r.coverFileNote.empty())
        out +=
            "Cover file: " +
            LogText(r.coverFile.empty() ? r.coverFileNote : r.coverFile + ", " + r.coverFileNote) +
            "\n";

    if (r.ctdb) {
        out += "CTDB TOC id: " + r.ctdb->tocId + "\n";
        if (!r.ctdb->message.empty()) out += "CTDB lookup: " + LogText(r.ctdb->message) + "\n";
    }
    out += "\nTable of contents\n";
    out += "  Track  Session  Type    Start LBA   Length    Pregap  ISRC\n";
    for (const cdrom::TrackInfo& t : r.disc.tracks) {
        char line[160];
        std::snprintf(line, sizeof line, "  %5u  %7d  %-5s  %10u  %8s  %8s  ", t.number, t.session,
                      t.audio ? "audio" : "data", t.start, TrackPosition(t.length).c_str(),
                      TrackPosition(t.pregap).c_str());
        out += line + LogText(t.isrc) + "\n";
    }
    out += "  Lead-out at LBA " + std::to_string(r.disc.leadOut) + "\n";
    out += LeadingGapLines(r);

    int read = 0, matched = 0, suspicious = 0;
    for (std::size_t i = 0; i < r.tracks.size(); ++i) {
        const RipTrackReport& t = r.tracks[i];
        out += "\nTrack " + std::to_string(t.number) + "\n";
        const std::string title = TrackTitle(r, i, r.disc.Track(t.number));
        if (!title.empty()) out += "  Title: " + LogText(title) + "\n";
        out += "  File: " + LogText(t.file) + "\n";
        if (!t.read) {
            out += "  Not read\n";
            continue;
        }
        ++read;
        out += ReadLines(r, t, true);
        if (r.ctdb) out += CtdbTrackLine(*r.ctdb, t.number);
        if (t.verdict.result == AccurateRipResult::Match) ++matched;
        if (!t.suspicious.empty()) ++suspicious;
    }
    const int total = static_cast<int>(r.tracks.size());
    if (r.ctdb) {
        out += "\nCTDB: " + r.ctdb->discVerdict + "\n";
        for (const std::string& line : r.ctdb->repairLines)
            out += LogText(line) + "\n";
    }
    out += "\nSummary: " + std::to_string(read) + " of " + std::to_string(total) + " tracks read, ";
    if (r.accurateRipAsked) out += std::to_string(matched) + " accurately ripped, ";
    out += std::to_string(suspicious) + " with suspicious sectors\n";
    if (!r.logNotes.empty()) out += "\n";
    for (const std::string& note : r.logNotes)
        out += LogText(note) + "\n";
    return out;
}

std::string FormatRipCue(const RipReport& r) {
    if (!r.imageCue.empty()) return r.imageCue;
    std::string out;
    if (IsCode(r.disc.catalog, 13, true)) out += "CATALOG " + r.disc.catalog + "\n";
    if (!DiscArtist(r).empty()) out += "PERFORMER \"" + CueText(DiscArtist(r)) + "\"\n";
    if (!DiscTitle(r).empty()) out += "TITLE \"" + CueText(DiscTitle(r)) + "\"\n";
    const auto fileLine = [](const std::string& path) {
        return "FILE \"" + CueText(FileName(path)) + "\" " + CueFileType(path) + "\n";
    };
    // The audio before the first audio track, in a file of its own: that track's INDEX 00 is
    // its start.
    const RipLeadingGap* gap = r.leadingGap && r.leadingGap->frames > 0 && !r.leadingGap->silent &&
                                       r.leadingGap->rip.read && !r.leadingGap->rip.file.empty()
                                   ? &*r.leadingGap
                                   : nullptr;
    for (std::size_t i = 0; i < r.tracks.size(); ++i) {
        const RipTrackReport& track = r.tracks[i];
        const cdrom::TrackInfo* t = r.disc.Track(track.number);
        const cdrom::TrackInfo* before = i > 0 ? r.disc.Track(r.tracks[i - 1].number) : nullptr;
        // Each file runs from its track's INDEX 01 to the next track's: a pregap lies at the
        // end of the file before, as INDEX 00 there, when that file holds the track just
        // before on the disc; otherwise it was not ripped and stands as a PREGAP.
        const bool gapInFileBefore = r.pregaps == 0 && t && before && t->pregap > 0 &&
                                     before->number + 1 == t->number && before->length >= t->pregap;
        const bool gapOwnFile = i == 0 && gap && gap->track == track.number;
        if (gapOwnFile) {
            out += fileLine(gap->rip.file);
        } else if (!gapInFileBefore || i == 0) {
            out += fileLine(track.file);
        }
        char head[32];
        std::snprintf(head, sizeof head, "  TRACK %02d AUDIO\n", track.number);
        out += head;
        const std::string title = TrackTitle(r, i, t);
        if (!title.empty()) out += "    TITLE \"" + CueText(title) + "\"\n";
        if (t && !t->performer.empty()) out += "    PERFORMER \"" + CueText(t->performer) + "\"\n";
        if (t && IsCode(t->isrc, 12, false)) out += "    ISRC " + t->isrc + "\n";
        if (t) out += RipCueFlags(t->copyPermitted, t->preemphasis);
        if (gapOwnFile) {
            out += "    INDEX 00 00:00:00\n";
            out += fileLine(track.file);
        } else if (gapInFileBefore && i > 0) {
            out += "    INDEX 00 " + CueTime(before->length - t->pregap) + "\n";
            out += fileLine(track.file);
        } else if (track.heldPregap > 0) {
            out += "    INDEX 00 00:00:00\n";
        } else if (t && t->pregap > 0) {
            out += "    PREGAP " + CueTime(t->pregap) + "\n";
        }
        out += "    INDEX 01 " + CueTime(track.heldPregap) + "\n";
        // Further index points, inside this track's file.
        if (t) {
            for (std::size_t k = 1; k < t->indexes.size(); ++k) {
                if (t->indexes[k] < t->start) continue;
                char line[48];
                std::snprintf(line, sizeof line, "    INDEX %02zu %s\n", k + 1,
                              CueTime(t->indexes[k] - t->start + track.heldPregap).c_str());
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
        // So does the CUETools database's CRC, when at least two rips agreed on it.
        if (t.read && r.ctdb) {
            const CtdbRipResult& c = *r.ctdb;
            bool held = false;
            for (std::size_t i = 0; i < c.trackNumbers.size() && i < c.trackConfidence.size(); ++i)
                held = held || (c.trackNumbers[i] == t.number && c.trackConfidence[i] >= 2);
            if (held) continue;
        }
        // Without the database only the drive's own doubts are known.
        if (!r.accurateRipAsked && (!t.read || t.suspicious.empty())) continue;
        std::string why = !t.read              ? "not read"
                          : r.accurateRipAsked ? Verdict(t.verdict)
                                               : std::string();
        if (t.read && !t.suspicious.empty())
            why += (why.empty() ? "" : "; ") + std::string("suspicious sectors at ") +
                   SuspiciousList(r, t);
        lines.push_back("Track " + std::to_string(t.number) + ": not accurately ripped (" + why +
                        ")");
    }
    return lines;
}

std::string RipCueText(const std::string& text) { return CueText(text); }

std::string RipCueTime(std::uint32_t frames) { return CueTime(frames); }

std::string RipCueFlags(bool copyPermitted, bool preemphasis) {
    if (!copyPermitted && !preemphasis) return {};
    return std::string("    FLAGS") + (copyPermitted ? " DCP" : "") + (preemphasis ? " PRE" : "") +
           "\n";
}

std::string WriteRipLogAndCue(const std::string& folder, const std::string& stem,
                              const RipReport& report, std::string& error) {
    const std::string dir = (folder.empty() ? std::string(".") : folder) + "/";
    const std::string log = FormatRipLog(report), cue = FormatRipCue(report);
    fs::WriteOptions options;
    options.mustBeNew = true;
    // Far more rips of one disc in one folder than anyone keeps; the bound only ends a hopeless
    // search.
    for (int number = 1; number <= 999; ++number) {
        const std::string base = number == 1 ? stem : stem + " (" + std::to_string(number) + ")";
        // The log takes the name first: a writer that gets it owns the pair, and a cue sheet of
        // that name that is there already (someone's own) sends it on to the next number.
        fs::Status status = fs::WriteFileAtomically(dir + base + ".log", log, options);
        if (status.code == EEXIST) continue;
        if (status) {
            status = fs::WriteFileAtomically(dir + base + ".cue", cue, options);
            if (status.code == EEXIST) {
                ::unlink((dir + base + ".log").c_str());
                continue;
            }
            if (!status) ::unlink((dir + base + ".log").c_str());
        }
        if (!status) {
            error = status.message;
            return {};
        }
        return base;
    }
    error = "Cannot write " + dir + stem + ".log: every numbered name is taken";
    return {};
}

}  // namespace orvane::cdda
