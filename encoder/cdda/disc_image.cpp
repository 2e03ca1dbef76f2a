#include "encoder/cdda/disc_image.h"

#include <cstdio>

#include "encoder/freedb/disc_ids.h"

namespace orvane::cdda {

namespace {

std::string Quoted(const std::string& text) { return "\"" + RipCueText(text) + "\""; }

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsCode(const std::string& text, std::size_t size, bool digitsOnly) {
    if (text.size() != size) return false;
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!digit && (digitsOnly || !letter)) return false;
    }
    return true;
}

}  // namespace

std::vector<ImageTrackPoints> ImagePoints(const cdrom::DiscInfo& disc,
                                          const std::vector<ImagePiece>& pieces) {
    std::vector<ImageTrackPoints> out;
    std::uint32_t at = 0;
    std::optional<std::uint32_t> gapAt;
    int gapOf = -1;
    const ImagePiece* before = nullptr;  // the track piece just before
    for (const ImagePiece& p : pieces) {
        if (p.gap) {
            gapAt = at;
            gapOf = p.number;
            at += p.frames;
            continue;
        }
        ImageTrackPoints points;
        points.number = p.number;
        points.index1 = at;
        const cdrom::TrackInfo* t = disc.Track(p.number);
        const std::uint32_t pregap = t ? t->pregap : 0;
        if (gapAt && gapOf == p.number) {
            points.index0 = *gapAt;
        } else if (pregap > 0 && before && before->number + 1 == p.number &&
                   before->frames >= pregap) {
            // A track's file ends at the next track's INDEX 01: its pregap is at that end.
            points.index0 = at - pregap;
        } else if (pregap > 0) {
            points.pregapOutside = pregap;
        }
        if (t)
            for (std::size_t k = 1; k < t->indexes.size(); ++k)
                if (t->indexes[k] >= t->start && t->indexes[k] - t->start < p.frames)
                    points.more.push_back(at + (t->indexes[k] - t->start));
        gapAt.reset();
        at += p.frames;
        before = &p;
        out.push_back(points);
    }
    return out;
}

std::string FormatImageCue(const RipReport& r, const DiscImage& image) {
    std::string out;
    if (!image.genre.empty()) out += "REM GENRE " + Quoted(image.genre) + "\n";
    if (!image.date.empty()) out += "REM DATE " + RipCueText(image.date) + "\n";
    char id[16];
    std::snprintf(id, sizeof id, "%08x", freedb::CddbId(r.disc));
    out += std::string("REM DISCID ") + id + "\n";
    if (!image.comment.empty()) out += "REM COMMENT " + Quoted(image.comment) + "\n";
    if (IsCode(r.disc.catalog, 13, true)) out += "CATALOG " + r.disc.catalog + "\n";
    const std::string artist = r.discArtist.empty() ? r.disc.performer : r.discArtist;
    const std::string title = r.discTitle.empty() ? r.disc.title : r.discTitle;
    if (!artist.empty()) out += "PERFORMER " + Quoted(artist) + "\n";
    if (!r.disc.songwriter.empty()) out += "SONGWRITER " + Quoted(r.disc.songwriter) + "\n";
    if (!title.empty()) out += "TITLE " + Quoted(title) + "\n";
    out += "FILE " + Quoted(NameOf(image.file)) + " WAVE\n";
    const std::vector<ImageTrackPoints> points = ImagePoints(r.disc, image.pieces);
    for (const ImageTrackPoints& p : points) {
        const cdrom::TrackInfo* t = r.disc.Track(p.number);
        char head[32];
        std::snprintf(head, sizeof head, "  TRACK %02d AUDIO\n", p.number);
        out += head;
        ImageTexts texts;
        if (const auto it = image.texts.find(p.number); it != image.texts.end()) texts = it->second;
        if (t) {
            if (texts.title.empty()) texts.title = t->title;
            if (texts.performer.empty()) texts.performer = t->performer;
            if (texts.songwriter.empty()) texts.songwriter = t->songwriter;
        }
        if (!texts.title.empty()) out += "    TITLE " + Quoted(texts.title) + "\n";
        if (!texts.performer.empty()) out += "    PERFORMER " + Quoted(texts.performer) + "\n";
        if (!texts.songwriter.empty()) out += "    SONGWRITER " + Quoted(texts.songwriter) + "\n";
        if (t && IsCode(t->isrc, 12, false)) out += "    ISRC " + t->isrc + "\n";
        if (t) out += RipCueFlags(t->copyPermitted, t->preemphasis);
        if (p.pregapOutside > 0) out += "    PREGAP " + RipCueTime(p.pregapOutside) + "\n";
        if (p.index0) out += "    INDEX 00 " + RipCueTime(*p.index0) + "\n";
        out += "    INDEX 01 " + RipCueTime(p.index1) + "\n";
        for (std::size_t k = 0; k < p.more.size(); ++k) {
            char line[48];
            std::snprintf(line, sizeof line, "    INDEX %02zu %s\n", k + 2,
                          RipCueTime(p.more[k]).c_str());
            out += line;
        }
    }
    for (const cdrom::TrackInfo& t : r.disc.tracks) {
        if (t.audio) continue;
        char line[64];
        std::snprintf(line, sizeof line, "REM DATA TRACK %02d NOT IN THE IMAGE\n", t.number);
        out += line;
    }
    return out;
}

std::vector<std::string> ImageLogNotes(const RipReport& r, const DiscImage& image) {
    std::vector<std::string> notes;
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", image.crc32);
    notes.push_back("Image: " + image.file);
    notes.push_back(std::string("Image CRC32: ") + crc);
    for (const cdrom::TrackInfo& t : r.disc.tracks)
        if (!t.audio)
            notes.push_back("Track " + std::to_string(t.number) +
                            " is a data track: it is not in the image");
    return notes;
}

}  // namespace orvane::cdda
