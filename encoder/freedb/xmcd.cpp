#include "encoder/freedb/xmcd.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "common/cp1252.h"

namespace orvane::freedb {

namespace {

constexpr int kParseError = 10043;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v'; }

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b]))
        ++b;
    while (e > b && IsSpace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Lines end at "\r\n" or "\n"; a last line without an end counts too.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t nl = text.find('\n', at);
        std::size_t end = nl == std::string::npos ? text.size() : nl;
        std::size_t cut = end;
        if (cut > at && text[cut - 1] == '\r') --cut;
        lines.push_back(text.substr(at, cut - at));
        if (nl == std::string::npos) break;
        at = nl + 1;
    }
    return lines;
}

bool IsComment(const std::string& line) { return !line.empty() && line[0] == '#'; }

// The text of a comment line after '#', trimmed; empty when at most one character follows.
std::string CommentText(const std::string& line) {
    if (line.size() <= 2) return {};
    return Trim(line.substr(1));
}

// KEY=value, the value unescaped; false without '='.
bool SplitKeyword(const std::string& line, std::string& key, std::string& value) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = line.substr(0, eq);
    value = UnescapeValue(line.substr(eq + 1));
    return true;
}

bool IsTrackKey(const std::string& key, const char* prefix) {
    std::string p = prefix;
    if (key.size() <= p.size() || key.compare(0, p.size(), p) != 0) return false;
    for (std::size_t i = p.size(); i < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9') return false;
    }
    return true;
}

// A keyword line the parser takes in order; DYEAR and DGENRE are read wherever they stand and
// every other KEY=value line is passed over.
bool IsKnownKey(const std::string& key) {
    return key == "DISCID" || key == "DTITLE" || key == "EXTD" || key == "PLAYORDER" ||
           IsTrackKey(key, "TTITLE") || IsTrackKey(key, "EXTT");
}

bool Fail(int* error, std::string* reason, int code, const char* why) {
    if (error) *error = code;
    if (reason) *reason = why;
    return false;
}

// The decimal number at the start of text as atoi reads it (blanks, a sign, digits; 0 without
// digits); false when it does not fit in an int, or is negative where only 0 and up mean
// something.
bool DecimalOf(const char* text, int& value, bool unsignedOnly = false) {
    while (IsSpace(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    long long v = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        v = v * 10 + (*text - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > 2147483647LL || (unsignedOnly && v < 0)) return false;
    value = static_cast<int>(v);
    return true;
}

void AppendDecimal(std::string& out, long v) { out += std::to_string(v); }

void JsonString(std::string& out, const std::string& s) {
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\u%04x", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

void JsonStrings(std::string& out, const std::vector<std::string>& v) {
    out += '[';
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ',';
        JsonString(out, v[i]);
    }
    out += ']';
}

void JsonInts(std::string& out, const std::vector<int>& v) {
    out += '[';
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i) out += ',';
        AppendDecimal(out, v[i]);
    }
    out += ']';
}

// Length in bytes of a valid UTF-8 sequence at s[i], 0 when none starts there.
std::size_t Utf8SequenceAt(const std::string& s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
    }
    // Overlong forms, surrogates and code points above U+10FFFF.
    if (n == 3 && c == 0xE0 && b(i + 1) < 0xA0) return 0;
    if (n == 3 && c == 0xED && b(i + 1) >= 0xA0) return 0;
    if (n == 4 && c == 0xF0 && b(i + 1) < 0x90) return 0;
    if (n == 4 && c == 0xF4 && b(i + 1) >= 0x90) return 0;
    return n;
}

bool IsUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = Utf8SequenceAt(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

// One encoding holds for a whole entry: UTF-8 when every line of it is valid UTF-8, else
// Windows-1252. A long value is cut into lines of its keyword wherever the byte limit falls,
// inside a character too, so the lines of one keyword are checked joined.
bool EntryIsUtf8(const std::vector<std::string>& lines, std::size_t from) {
    std::string key, joined;
    for (std::size_t i = from; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t eq = line.find('=');
        if (IsComment(line) || eq == std::string::npos) {
            if (!IsUtf8(line)) return false;
            continue;
        }
        if (line.compare(0, eq, key) != 0 || eq != key.size()) {
            if (!IsUtf8(joined)) return false;
            key = line.substr(0, eq);
            joined.clear();
        }
        joined.append(line, eq + 1);
    }
    return IsUtf8(joined);
}

// Cuts a value into pieces of at most `limit` bytes without splitting a UTF-8 character or an
// escape sequence.
std::vector<std::string> SplitValue(const std::string& escaped, std::size_t limit) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (escaped.size() - at > limit) {
        std::size_t cut = at + limit;
        while (cut > at + 1 && (static_cast<unsigned char>(escaped[cut]) & 0xC0) == 0x80)
            --cut;
        // Do not end a piece inside "\x": count the backslashes before the cut.
        std::size_t slashes = 0;
        while (cut - slashes > at && escaped[cut - slashes - 1] == '\\')
            ++slashes;
        if (slashes % 2 == 1) --cut;
        out.push_back(escaped.substr(at, cut - at));
        at = cut;
    }
    out.push_back(escaped.substr(at));
    return out;
}

void PutKeyword(std::string& out, const std::string& key, const std::string& value) {
    // Lines of the format stay below 256 bytes.
    const std::size_t limit = 255 - key.size() - 2;
    for (const std::string& piece : SplitValue(EscapeValue(value), limit)) {
        out += key + "=" + piece + "\n";
    }
}

}  // namespace

std::string DecodeText(const std::string& bytes) {
    return IsUtf8(bytes) ? bytes : cp1252::ToUtf8(bytes);
}

std::string EscapeValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out;
}

std::string UnescapeValue(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char next = value[i + 1];
            if (next == 'n' || next == 't' || next == '\\') {
                out += next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
                ++i;
                continue;
            }
        }
        out += value[i];
    }
    return out;
}

namespace {

// One keyword line the entry's fields are built from, in the order the entry holds them.
struct Keyword {
    std::string key, value;
};

// Reads an entry's lines from the top: the header comments, the keyword lines, then the fields
// the keywords make. Every step returns false with the entry's error once it fails.
class EntryParser {
public:
    EntryParser(std::vector<std::string> lines, std::size_t at, FreeDBDiscInfo& info, int* error,
                std::string* reason)
        : lines_(std::move(lines)),
          at_(at),
          n_(lines_.size()),
          info_(info),
          error_(error),
          reason_(reason) {}

    bool Run() {
        if (at_ >= n_) return Broken("the entry is empty");
        if (!EntryIsUtf8(lines_, at_)) {
            for (std::size_t i = at_; i < n_; ++i)
                lines_[i] = cp1252::ToUtf8(lines_[i]);
        }
        if (!IsComment(lines_[at_]) || CommentText(lines_[at_]).find("xmcd") == std::string::npos)
            return Broken("the first line is not the xmcd marker");
        ++at_;
        std::vector<Keyword> keys;
        return Offsets() && DiscLength() && RevisionAndSubmitter() && Keywords(keys) &&
               Fields(keys);
    }

private:
    bool Broken(const char* why) { return Fail(error_, reason_, kParseError, why); }

    // Passes over comments up to the one that holds label; false when a non-comment comes first.
    bool FindComment(const char* label) {
        for (;; ++at_) {
            if (at_ >= n_ || !IsComment(lines_[at_])) return false;
            if (CommentText(lines_[at_]).find(label) != std::string::npos) return true;
        }
    }

    // The offsets, up to the first line that is not a comment with a text.
    bool Offsets() {
        if (!FindComment("Track frame offsets:"))
            return Broken("no \"Track frame offsets:\" comment");
        ++at_;
        info_.trackOffsets.clear();
        for (; at_ < n_; ++at_) {
            if (!IsComment(lines_[at_])) break;
            std::string text = CommentText(lines_[at_]);
            if (text.empty()) break;
            int offset = 0;
            if (!DecimalOf(text.c_str(), offset, true))
                return Broken("a track frame offset is out of range");
            info_.trackOffsets.push_back(offset);
        }
        ++at_;
        return true;
    }

    bool DiscLength() {
        if (!FindComment("Disc length:")) return Broken("no \"Disc length:\" comment");
        std::string text = CommentText(lines_[at_]);
        if (text.size() < 13) return Broken("the disc length is empty");
        if (!DecimalOf(text.c_str() + 13, info_.discLength, true))
            return Broken("the disc length is out of range");
        ++at_;
        return true;
    }

    bool RevisionAndSubmitter() {
        bool revisionFound = false, submitterFound = false;
        info_.revision = 0;
        for (; at_ < n_ && IsComment(lines_[at_]); ++at_) {
            std::string text = CommentText(lines_[at_]);
            // The submitter line ends the header; a program or comment naming "Revision:" there
            // does not replace the revision read before it.
            if (text.find("Submitted via:") != std::string::npos) {
                submitterFound = true;
                break;
            }
            if (text.find("Revision:") != std::string::npos) {
                revisionFound = true;
                info_.revision = 0;
                if (text.size() >= 11 && !DecimalOf(text.c_str() + 10, info_.revision))
                    return Broken("the revision is out of range");
            }
        }
        if (!revisionFound && !submitterFound)
            return Broken("no \"Revision:\" or \"Submitted via:\" comment");
        if (!submitterFound) return Broken("no \"Submitted via:\" comment");
        std::string text = CommentText(lines_[at_]);
        if (text.size() < 14) return Broken("the submitter is empty");
        std::vector<std::string> words;
        std::size_t p = 14;
        // Where "Submitted via:" does not open the line, the fixed column may fall inside a
        // character of a converted entry: the words start at the next whole one.
        while (p < text.size() && (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80)
            ++p;
        while (p < text.size()) {
            while (p < text.size() && text[p] == ' ')
                ++p;
            std::size_t e = text.find(' ', p);
            if (e == std::string::npos) e = text.size();
            if (e > p) words.push_back(text.substr(p, e - p));
            p = e;
        }
        if (words.size() < 2) return Broken("the submitter names no program and version");
        info_.program = words[0];
        info_.version = words[1];
        info_.comment = words.size() > 2 ? words[2] : std::string();
        ++at_;
        return true;
    }

    // The keyword lines. Comments, empty lines and keywords the parser does not take are
    // passed over wherever they stand; the year and genre are taken here, the rest kept in keys.
    bool Keywords(std::vector<Keyword>& keys) {
        bool discIdSeen = false;
        std::string year, genre, previousKey;
        for (; at_ < n_; ++at_) {
            const std::string& line = lines_[at_];
            if (line.empty() || IsComment(line)) continue;
            if (!discIdSeen) {
                if (line.find("DISCID=") == std::string::npos) continue;
                std::string key, value;
                SplitKeyword(line, key, value);
                if (key != "DISCID" || value.size() < 8)
                    return Broken("the DISCID line is malformed");
                info_.discId = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 16));
                discIdSeen = true;
                continue;
            }
            if (line == ".") break;  // the end of a reply kept in a file
            std::string key, value;
            if (!SplitKeyword(line, key, value)) {
                // A title or extended-data line that lost its '=' is a broken entry; other stray
                // lines are passed over.
                for (const char* word : {"DTITLE", "TTITLE", "EXTD", "EXTT"}) {
                    if (line.rfind(word, 0) == 0) return Broken("a keyword line without '='");
                }
                continue;
            }
            if (key == "DYEAR" || key == "DGENRE") {
                std::string& field = key == "DYEAR" ? year : genre;
                // Lines of one keyword are joined, as for the titles.
                if (previousKey != key) field.clear();
                field += value;
                previousKey = key;
                continue;
            }
            previousKey = key;
            if (!IsKnownKey(key) || key == "DISCID") continue;
            keys.push_back({key, value});
        }
        if (!discIdSeen) return Broken("no DISCID line");
        info_.year = Trim(year);
        info_.genre = Trim(genre);
        return true;
    }

    // Consecutive lines of one key of the track's prefix make one value; with skipEmpty, empty
    // values add nothing.
    static std::vector<std::string> TrackValues(const std::vector<Keyword>& keys, std::size_t& k,
                                                const char* prefix, bool skipEmpty) {
        std::vector<std::string> values;
        std::string previous;
        while (k < keys.size() && IsTrackKey(keys[k].key, prefix)) {
            const Keyword& kw = keys[k++];
            if (skipEmpty && kw.value.empty()) continue;
            if (!values.empty() && kw.key == previous) {
                values.back() += kw.value;
            } else {
                values.push_back(kw.value);
            }
            previous = kw.key;
        }
        return values;
    }

    static std::string Joined(const std::vector<Keyword>& keys, std::size_t& k, const char* key) {
        std::string all;
        while (k < keys.size() && keys[k].key == key)
            all += keys[k++].value;
        return all;
    }

    bool Fields(const std::vector<Keyword>& keys) {
        std::size_t k = 0;
        // The disc title: every DTITLE line, joined.
        const std::string discTitle = Joined(keys, k, "DTITLE");
        if (std::size_t slash = discTitle.find('/'); slash != std::string::npos) {
            info_.artist = Trim(discTitle.substr(0, slash));
            info_.title = Trim(discTitle.substr(slash + 1));
        } else {
            info_.artist.clear();
            info_.title = Trim(discTitle);
        }
        info_.trackTitles = TrackValues(keys, k, "TTITLE", false);
        // Extended disc data, cut at its newlines.
        const std::string extd = Joined(keys, k, "EXTD");
        info_.extendedDisc.clear();
        std::size_t p = 0, nl;
        while ((nl = extd.find('\n', p)) != std::string::npos) {
            info_.extendedDisc.push_back(extd.substr(p, nl - p));
            p = nl + 1;
        }
        if (p < extd.size()) info_.extendedDisc.push_back(extd.substr(p));
        info_.extendedTrack = TrackValues(keys, k, "EXTT", true);
        info_.playOrder.clear();
        if (k < keys.size() && keys[k].key == "PLAYORDER") return PlayOrder(keys[k].value);
        return true;
    }

    bool PlayOrder(const std::string& v) {
        std::size_t p = 0, comma;
        int track = 0;
        while ((comma = v.find(',', p)) != std::string::npos) {
            if (!DecimalOf(v.substr(p, comma - p).c_str(), track))
                return Broken("a play order number is out of range");
            info_.playOrder.push_back(track);
            p = comma + 1;
        }
        if (p < v.size()) {
            if (!DecimalOf(v.c_str() + p, track))
                return Broken("a play order number is out of range");
            info_.playOrder.push_back(track);
        }
        return true;
    }

    std::vector<std::string> lines_;
    std::size_t at_;
    const std::size_t n_;
    FreeDBDiscInfo& info_;
    int* error_;
    std::string* reason_;
};

}  // namespace

bool ParseXmcdEntry(const std::string& body, FreeDBDiscInfo& info, int* error, std::string* reason,
                    bool statusLine) {
    if (error) *error = 0;
    std::vector<std::string> lines = SplitLines(body);
    std::size_t at = 0;
    if (statusLine) {
        // The status line: code 210..219.
        int code =
            lines.empty() || lines[0].size() < 3 ? -1 : std::atoi(lines[0].substr(0, 3).c_str());
        if (code < 210 || code > 219) return Fail(error, reason, 0, "the reply is not an entry");
        at = 1;
    }
    return EntryParser(std::move(lines), at, info, error, reason).Run();
}

bool ParseXmcdFile(const std::string& text, FreeDBDiscInfo& info, std::string* reason) {
    // A byte order mark that an editor put in front is no part of the entry.
    std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    // An optional status line, as a reply saved whole carries it ("210 rock 1a2b3c4d ...").
    const auto digit = [&](std::size_t i) { return text[i] >= '0' && text[i] <= '9'; };
    if (text.size() >= start + 4 && digit(start) && digit(start + 1) && digit(start + 2) &&
        text[start + 3] == ' ') {
        std::size_t nl = text.find('\n', start);
        start = nl == std::string::npos ? text.size() : nl + 1;
    }
    return ParseXmcdEntry(text.substr(start), info, nullptr, reason, false);
}

std::string EntryTextToUtf8(const std::string& text) {
    return EntryIsUtf8(SplitLines(text), 0) ? text : cp1252::ToUtf8(text);
}

std::string FormatXmcdEntry(const FreeDBDiscInfo& info,
                            const std::vector<std::string>& extraLines) {
    std::string out = "# xmcd\n#\n# Track frame offsets:\n";
    for (int offset : info.trackOffsets) {
        out += "#\t" + std::to_string(offset) + "\n";
    }
    out += "#\n# Disc length: " + std::to_string(info.discLength) + " seconds\n#\n";
    out += "# Revision: " + std::to_string(info.revision) + "\n";
    out +=
        "# Submitted via: " + (info.program.empty() ? std::string("orvane-cddb") : info.program) +
        " " + (info.version.empty() ? std::string("1.0") : info.version) +
        (info.comment.empty() ? std::string() : " " + info.comment) + "\n#\n";
    char id[16];
    std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(info.discId));
    out += std::string("DISCID=") + id + "\n";
    PutKeyword(out, "DTITLE", info.artist.empty() ? info.title : info.artist + " / " + info.title);
    for (const std::string& line : extraLines)
        out += line + "\n";
    for (std::size_t i = 0; i < info.trackTitles.size(); ++i) {
        PutKeyword(out, "TTITLE" + std::to_string(i), info.trackTitles[i]);
    }
    std::string extd;
    for (std::size_t i = 0; i < info.extendedDisc.size(); ++i) {
        if (i) extd += '\n';
        extd += info.extendedDisc[i];
    }
    PutKeyword(out, "EXTD", extd);
    for (std::size_t i = 0; i < info.trackTitles.size(); ++i) {
        PutKeyword(out, "EXTT" + std::to_string(i),
                   i < info.extendedTrack.size() ? info.extendedTrack[i] : std::string());
    }
    std::string order;
    for (std::size_t i = 0; i < info.playOrder.size(); ++i) {
        if (i) order += ',';
        order += std::to_string(info.playOrder[i]);
    }
    out += "PLAYORDER=" + order + "\n";
    return out;
}

TrackNames SplitTrackArtists(const FreeDBDiscInfo& info) {
    TrackNames names;
    names.titles = info.trackTitles;
    names.artists.assign(info.trackTitles.size(), std::string());
    std::string disc;
    for (char c : info.artist)
        disc += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    bool various = disc == "various" || disc == "various artists";
    bool everyTitle = !info.trackTitles.empty();
    for (const std::string& t : info.trackTitles)
        everyTitle = everyTitle && t.find(" / ") != std::string::npos;
    names.compilation = various || everyTitle;
    if (!names.compilation) return names;
    for (std::size_t i = 0; i < names.titles.size(); ++i) {
        const std::string whole = info.trackTitles[i];
        std::size_t slash = whole.find(" / ");
        if (slash == std::string::npos) continue;
        std::string artist = Trim(whole.substr(0, slash));
        std::string title = Trim(whole.substr(slash + 3));
        // "/ Title" or "Artist /" is no artist and title.
        if (artist.empty() || title.empty()) continue;
        names.artists[i] = artist;
        names.titles[i] = title;
    }
    return names;
}

std::string ToJson(const FreeDBDiscInfo& info) {
    std::string out = "{";
    out += "\"artist\":";
    JsonString(out, info.artist);
    out += ",\"title\":";
    JsonString(out, info.title);
    out += ",\"year\":";
    JsonString(out, info.year);
    out += ",\"genre\":";
    JsonString(out, info.genre);
    out += ",\"tracks\":";
    JsonStrings(out, info.trackTitles);
    out += ",\"track_artists\":";
    JsonStrings(out, SplitTrackArtists(info).artists);
    out += ",\"extd\":";
    JsonStrings(out, info.extendedDisc);
    out += ",\"extt\":";
    JsonStrings(out, info.extendedTrack);
    out += ",\"playorder\":";
    JsonInts(out, info.playOrder);
    out += ",\"offsets\":";
    JsonInts(out, info.trackOffsets);
    out += ",\"length\":";
    AppendDecimal(out, info.discLength);
    out += ",\"revision\":";
    AppendDecimal(out, info.revision);
    out += ",\"program\":";
    JsonString(out, info.program);
    out += ",\"version\":";
    JsonString(out, info.version);
    out += ",\"comment\":";
    JsonString(out, info.comment);
    char id[16];
    std::snprintf(id, sizeof id, "%08x", static_cast<unsigned>(info.discId));
    out += ",\"discid\":\"";
    out += id;
    out += "\"}";
    return out;
}

}  // namespace orvane::freedb
