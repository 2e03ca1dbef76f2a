#include "encoder/library/image_cue.h"

#include <cstdlib>

#include "common/cp1252.h"

namespace orvane::library {

namespace {

using tags::TagField;

bool ValidUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int n = c < 0x80         ? 0
                      : (c >> 5) == 6  ? 1
                      : (c >> 4) == 14 ? 2
                      : (c >> 3) == 30 ? 3
                                       : -1;
        if (n < 0 || i + static_cast<std::size_t>(n) >= s.size() + (n == 0 ? 1 : 0)) return false;
        for (int k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80)
                return false;
        i += static_cast<std::size_t>(n) + 1;
    }
    return true;
}

// The words of a line: a quoted word keeps its spaces.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size()) break;
        std::string w;
        if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            w = line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? line.size() : end + 1;
        } else {
            const std::size_t end = line.find_first_of(" \t", i);
            w = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end == std::string::npos ? line.size() : end;
        }
        words.push_back(w);
    }
    return words;
}

// "mm:ss:ff" as frames; -1 when it is none.
std::int64_t Frames(const std::string& t) {
    int mm = 0, ss = 0, ff = 0;
    char a = 0, b = 0, rest = 0;
    if (std::sscanf(t.c_str(), "%d%c%d%c%d%c", &mm, &a, &ss, &b, &ff, &rest) != 5 || a != ':' ||
        b != ':' || mm < 0 || mm > 9999 || ss < 0 || ss > 59 || ff < 0 || ff > 74)
        return -1;
    return (static_cast<std::int64_t>(mm) * 60 + ss) * 75 + ff;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

bool ParseImageCue(const std::string& raw, ImageCue& cue, std::string& error) {
    cue = {};
    std::string text = raw.compare(0, 3, "\xEF\xBB\xBF") == 0 ? raw.substr(3) : raw;
    if (!ValidUtf8(text)) text = cp1252::ToUtf8(text);
    tags::TrackTags disc;
    int files = 0;
    std::size_t at = 0;
    int lineNumber = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> w = Words(line);
        if (w.empty()) continue;
        const std::string command = Upper(w[0]);
        const std::string value = w.size() > 1 ? w[1] : std::string();
        ImageTrack* track = cue.tracks.empty() ? nullptr : &cue.tracks.back();
        tags::TrackTags& t = track ? track->tags : disc;
        if (command == "FILE") {
            if (++files > 1) {
                error = "the sheet names more than one file";
                return false;
            }
            const std::size_t slash = value.find_last_of("/\\");
            cue.file = slash == std::string::npos ? value : value.substr(slash + 1);
        } else if (command == "TRACK") {
            if (files == 0 || w.size() < 3) {
                error = "line " + std::to_string(lineNumber) + ": a TRACK outside a FILE";
                return false;
            }
            if (Upper(w[2]) != "AUDIO") {
                error = "line " + std::to_string(lineNumber) + ": a track that is not audio";
                return false;
            }
            const int number = std::atoi(value.c_str());
            if (number < 1 || number > 99 || (track && number <= track->number)) {
                error = "line " + std::to_string(lineNumber) + ": track numbers out of order";
                return false;
            }
            cue.tracks.push_back({number, -1, {}});
        } else if (command == "INDEX" && track && w.size() >= 3 && std::atoi(value.c_str()) == 1) {
            track->start = Frames(w[2]);
            if (track->start < 0 || (cue.tracks.size() > 1 &&
                                     track->start <= cue.tracks[cue.tracks.size() - 2].start)) {
                error = "line " + std::to_string(lineNumber) + ": INDEX 01 out of order";
                return false;
            }
        } else if (command == "TITLE") {
            t.Set(track ? TagField::Title : TagField::Album, value);
        } else if (command == "PERFORMER") {
            t.Set(track ? TagField::Artist : TagField::AlbumArtist, value);
        } else if (command == "SONGWRITER") {
            t.Set(TagField::Composer, value);
        } else if (command == "ISRC" && track) {
            t.Set(TagField::Isrc, value);
        } else if (command == "REM" && w.size() > 2 && !track) {
            const std::string key = Upper(value);
            if (key == "DATE") disc.Set(TagField::Year, w[2]);
            if (key == "GENRE") disc.Set(TagField::Genre, w[2]);
            if (key == "COMMENT") disc.Set(TagField::Comment, w[2]);
            if (key == "DISCID") disc.Set(TagField::CddbDiscId, w[2]);
        }
    }
    if (files == 0 || cue.tracks.empty()) {
        error = "the sheet names no file with tracks";
        return false;
    }
    for (ImageTrack& track : cue.tracks) {
        if (track.start < 0) {
            error = "track " + std::to_string(track.number) + " has no INDEX 01";
            return false;
        }
        tags::TrackTags& t = track.tags;
        for (TagField f : {TagField::Album, TagField::AlbumArtist, TagField::Year, TagField::Genre,
                           TagField::Comment, TagField::CddbDiscId})
            if (!t.Has(f)) t.Set(f, disc.Get(f));
        if (!t.Has(TagField::Artist)) t.Set(TagField::Artist, disc.Get(TagField::AlbumArtist));
        if (!t.Has(TagField::Composer)) t.Set(TagField::Composer, disc.Get(TagField::Composer));
        t.Set(TagField::TrackNumber, std::to_string(track.number));
        t.Set(TagField::TrackTotal, std::to_string(cue.tracks.size()));
    }
    // The first track starts with the file: what lies before its INDEX 01 is its pregap.
    cue.tracks.front().start = 0;
    return true;
}

}  // namespace orvane::library
