#include "platform/cdrom/cue_sheet.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <sstream>
#include <utility>

#include "platform/fs/fs.h"

namespace orvane::cdrom {

namespace {

// A cue sheet names a few files and up to 99 tracks; anything larger is not one.
constexpr std::size_t kMaxCueSheetBytes = 1u << 20;

struct Parser {
    std::string name;
    std::string folder;
    int line = 0;
    std::string error;

    bool Fail(const std::string& text) {
        error = name + ":" + std::to_string(line) + ": " + text;
        return false;
    }
};

// Splits a line into words; a double-quoted word may hold spaces.
bool SplitWords(const std::string& text, std::vector<std::string>& words, std::string& error) {
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i >= text.size()) break;
        std::string word;
        if (text[i] == '"') {
            std::size_t close = text.find('"', i + 1);
            if (close == std::string::npos) {
                error = "missing closing quote";
                return false;
            }
            word = text.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) {
                word += text[i++];
            }
        }
        words.push_back(word);
    }
    return true;
}

bool AllOf(const std::string& text, int (*test)(int)) {
    return std::all_of(text.begin(), text.end(),
                       [test](char c) { return test(static_cast<unsigned char>(c)) != 0; });
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// mm:ss:ff with seconds below 60 and frames below 75.
bool ParseTime(const std::string& text, std::uint32_t& frames) {
    unsigned m = 0, s = 0, f = 0;
    int used = 0;
    if (text.empty() || text[0] == '-') return false;
    if (std::sscanf(text.c_str(), "%3u:%2u:%2u%n", &m, &s, &f, &used) != 3 ||
        used != static_cast<int>(text.size())) {
        return false;
    }
    if (s >= 60 || f >= kFramesPerSecond) return false;
    frames = (m * 60 + s) * kFramesPerSecond + f;
    return true;
}

bool ParseNumber(const std::string& text, long& value) {
    if (text.empty()) return false;
    std::size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size() || text.size() > 6) return false;
    for (std::size_t k = i; k < text.size(); ++k) {
        if (!std::isdigit(static_cast<unsigned char>(text[k]))) return false;
    }
    value = std::stol(text);
    return true;
}

bool FileSize(const std::string& path, std::uint64_t& size) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

// A file named in a sheet as written: backslashes read as folder separators, relative to the
// sheet's folder.
std::string WrittenPath(const std::string& folder, std::string name) {
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    return !name.empty() && name[0] == '/' ? name : folder + name;
}

// Why the sheet's file at path cannot be read as sectors, for the message that names it.
std::string NotAFileReason(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return "file not found: ";
    if (S_ISDIR(st.st_mode)) return "a folder, not a file: ";
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return "a pipe, not a file: ";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device, not a file: ";
    return "not a regular file: ";
}

// Finds a file named in a sheet: as written, and failing that by its name compared without
// regard to case, since sheets made on other systems often differ in case from the files
// beside them. A name that is there as written but is no regular file is not looked for
// further (the caller says what it is).
std::string ResolveFile(const std::string& folder, const std::string& name) {
    const std::string path = WrittenPath(folder, name);
    std::uint64_t size = 0;
    if (FileSize(path, size)) return path;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return path;
    std::size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string found;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (strcasecmp(e->d_name, base.c_str()) == 0) {
                found = dir + "/" + e->d_name;
                break;
            }
        }
        closedir(d);
    }
    return found;
}

std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

// Finds the sample data of a WAVE file; only 16-bit stereo PCM at 44100 Hz is CD audio.
// Reads exactly `bytes` bytes at `at`; false at the end of the file or on an error.
bool ReadAt(int fd, std::uint64_t at, void* into, std::size_t bytes) {
    auto* p = static_cast<char*>(into);
    while (bytes > 0) {
        const ssize_t n = ::pread(fd, p, bytes, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        at += static_cast<std::uint64_t>(n);
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

// Finds the sample data of a WAVE file; only 16-bit stereo PCM at 44100 Hz is CD audio.
bool ReadWaveLayout(CueFile& file, std::uint64_t fileSize, std::string& error) {
    orvane::fs::Status status;
    const int fd = orvane::fs::OpenForReading(file.path, status);
    if (fd < 0) {
        error = status.message;
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    unsigned char header[12];
    if (!ReadAt(fd, 0, header, 12) || std::string(header, header + 4) != "RIFF" ||
        std::string(header + 8, header + 12) != "WAVE") {
        error = "not a WAVE file";
        return false;
    }
    std::uint64_t at = 12;
    bool haveFormat = false;
    while (at + 8 <= fileSize) {
        unsigned char chunk[8];
        if (!ReadAt(fd, at, chunk, 8)) break;
        std::string id(chunk, chunk + 4);
        std::uint64_t size = Le32(chunk + 4);
        if (id == "fmt ") {
            unsigned char fmt[16];
            if (size < 16 || !ReadAt(fd, at + 8, fmt, 16)) {
                error = "WAVE format chunk too short";
                return false;
            }
            unsigned tag = fmt[0] | (fmt[1] << 8);
            unsigned channels = fmt[2] | (fmt[3] << 8);
            std::uint32_t rate = Le32(fmt + 4);
            unsigned bits = fmt[14] | (fmt[15] << 8);
            if ((tag != 1 && tag != 0xFFFE) || channels != 2 || rate != 44100 || bits != 16) {
                error = "WAVE file is not 16-bit stereo PCM at 44100 Hz";
                return false;
            }
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) {
                error = "WAVE data before its format chunk";
                return false;
            }
            file.dataOffset = at + 8;
            file.dataBytes = std::min<std::uint64_t>(size, fileSize - file.dataOffset);
            // A recording cut short ends inside a sample frame: only its whole frames are
            // samples (the rest of the sector reads as silence).
            file.dataBytes -= file.dataBytes % 4;
            return true;
        }
        at += 8 + size + (size & 1);
    }
    error = "WAVE file without a data chunk";
    return false;
}

// Reads a sheet's lines one command at a time into the sheet; each command checks what it
// needs of the lines before it.
class LineReader {
public:
    LineReader(Parser& p, CueSheet& sheet) : p_(p), sheet_(sheet) {}

    bool Line(std::string raw) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        if (p_.line == 1 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
        std::vector<std::string> w;
        std::string splitError;
        if (!SplitWords(raw, w, splitError)) return p_.Fail(splitError);
        if (w.empty()) return true;
        const std::string cmd = Upper(w[0]);
        CueTrack* track = sheet_.tracks.empty() ? nullptr : &sheet_.tracks.back();
        if (cmd == "REM") return Remark(raw, w);
        if (cmd == "CATALOG") {
            // Thirteen digits; anything else is not a catalog number and is left out.
            if (w.size() == 2 && w[1].size() == 13 && AllOf(w[1], ::isdigit)) sheet_.catalog = w[1];
            return true;
        }
        if (cmd == "ISRC") {
            if (track && w.size() == 2 && w[1].size() == 12 && AllOf(w[1], ::isalnum)) {
                track->isrc = Upper(w[1]);
            }
            return true;
        }
        if (cmd == "FLAGS") {
            // Flags of no track, and flags not known here (SCMS), change nothing.
            for (std::size_t k = 1; track && k < w.size(); ++k) {
                const std::string flag = Upper(w[k]);
                if (flag == "PRE") track->preemphasis = true;
                if (flag == "DCP") track->copyPermitted = true;
                if (flag == "4CH") track->fourChannel = true;
            }
            return true;
        }
        // The layout and the texts come from the sheet itself.
        if (cmd == "CDTEXTFILE") return true;
        if (cmd == "TITLE" || cmd == "PERFORMER" || cmd == "SONGWRITER") {
            if (w.size() < 2) return p_.Fail(cmd + " without a text");
            std::string& field = cmd == "TITLE" ? (track ? track->title : sheet_.title)
                                 : cmd == "PERFORMER"
                                     ? (track ? track->performer : sheet_.performer)
                                     : (track ? track->songwriter : sheet_.songwriter);
            field = w[1];
            return true;
        }
        if (cmd == "FILE") return File(w);
        if (cmd == "TRACK") return Track(w, track);
        if (cmd == "INDEX") return Index(w, track);
        if (cmd == "PREGAP" || cmd == "POSTGAP") return Gap(cmd, w, track);
        return p_.Fail("unknown command " + w[0]);
    }

    // After the last line: the sheet has a track, and its last file holds an index.
    bool End() {
        if (sheet_.tracks.empty()) {
            p_.line = sheet_.files.empty() ? p_.line : sheet_.files.back().line;
            return p_.Fail("no TRACK in the sheet");
        }
        if (!lastIndex_ || lastIndex_->file != static_cast<int>(sheet_.files.size()) - 1) {
            p_.line = sheet_.files.back().line;
            return p_.Fail("FILE holds no INDEX");
        }
        return true;
    }

private:
    bool Remark(const std::string& raw, const std::vector<std::string>& w) {
        std::size_t at = raw.find_first_not_of(" \t", raw.find_first_not_of(" \t") + 3);
        sheet_.remarks.push_back(at == std::string::npos ? "" : raw.substr(at));
        long number = 0;
        if (w.size() >= 3 && Upper(w[1]) == "SESSION" && ParseNumber(w[2], number)) {
            // Sessions only go up; a remark that says otherwise changes nothing.
            if (number > session_ && number <= 99) session_ = static_cast<int>(number);
        }
        return true;
    }

    bool File(const std::vector<std::string>& w) {
        if (w.size() != 3) return p_.Fail("FILE needs a name and a type");
        if (!sheet_.files.empty()) {
            int last = static_cast<int>(sheet_.files.size()) - 1;
            if (!lastIndex_ || lastIndex_->file != last) {
                return p_.Fail("FILE follows a FILE that holds no INDEX");
            }
        }
        CueFile file;
        file.line = p_.line;
        std::string type = Upper(w[2]);
        if (type == "BINARY") {
            file.type = CueFileType::Binary;
        } else if (type == "MOTOROLA") {
            file.type = CueFileType::Motorola;
        } else if (type == "WAVE") {
            file.type = CueFileType::Wave;
        } else {
            return p_.Fail("unsupported file type " + w[2]);
        }
        file.path = ResolveFile(p_.folder, w[1]);
        std::uint64_t size = 0;
        if (file.path.empty() || !FileSize(file.path, size)) {
            return p_.Fail(
                NotAFileReason(file.path.empty() ? WrittenPath(p_.folder, w[1]) : file.path) +
                w[1]);
        }
        if (file.type == CueFileType::Wave) {
            std::string waveError;
            if (!ReadWaveLayout(file, size, waveError)) return p_.Fail(w[1] + ": " + waveError);
        } else {
            file.dataBytes = size;
        }
        sheet_.files.push_back(file);
        inTrackBody_ = false;
        return true;
    }

    bool Track(const std::vector<std::string>& w, const CueTrack* track) {
        if (sheet_.files.empty()) return p_.Fail("TRACK before any FILE");
        long number = 0;
        if (w.size() != 3 || !ParseNumber(w[1], number)) {
            return p_.Fail("TRACK needs a number and a mode");
        }
        if (number < 1 || number > 99) return p_.Fail("track number out of range 1-99");
        if (track && number != track->number + 1) {
            return p_.Fail("track " + std::to_string(number) + " does not follow track " +
                           std::to_string(track->number));
        }
        if (track && track->indexes.empty()) {
            return p_.Fail("track " + std::to_string(track->number) + " has no INDEX");
        }
        CueTrack t;
        t.number = static_cast<int>(number);
        t.line = p_.line;
        t.mode = Upper(w[2]);
        t.file = static_cast<int>(sheet_.files.size()) - 1;
        t.session = session_;
        if (t.mode == "AUDIO") {
            t.audio = true;
        } else if (t.mode == "MODE1/2352" || t.mode == "MODE2/2352" || t.mode == "CDI/2352") {
            t.audio = false;
        } else if (t.mode == "MODE1/2048") {
            t.audio = false;
            t.sectorBytes = 2048;
        } else if (t.mode == "MODE2/2336" || t.mode == "CDI/2336") {
            t.audio = false;
            t.sectorBytes = 2336;
        } else {
            return p_.Fail("unsupported track mode " + w[2]);
        }
        sheet_.tracks.push_back(t);
        inTrackBody_ = false;
        return true;
    }

    bool Index(const std::vector<std::string>& w, CueTrack* track) {
        if (!track) return p_.Fail("INDEX before any TRACK");
        long number = 0;
        std::uint32_t at = 0;
        if (w.size() != 3 || !ParseNumber(w[1], number)) {
            return p_.Fail("INDEX needs a number and a time");
        }
        if (number < 0 || number > 99) return p_.Fail("index number out of range 0-99");
        if (!ParseTime(w[2], at)) return p_.Fail("bad time " + w[2] + " (mm:ss:ff)");
        if (track->postgap) return p_.Fail("INDEX after POSTGAP");
        int expected = track->indexes.empty() ? -1 : track->indexes.back().number + 1;
        if (expected < 0 && number > 1) return p_.Fail("first INDEX of a track must be 00 or 01");
        if (expected >= 0 && number != expected) {
            return p_.Fail("INDEX " + w[1] + " out of order");
        }
        // Positions in one file never go backwards and two indexes never share a frame,
        // except an INDEX 00 directly followed by INDEX 01 at the same place.
        int file = static_cast<int>(sheet_.files.size()) - 1;
        if (lastIndex_ && lastIndex_->file == file) {
            if (at < lastIndex_->fileFrame) {
                return p_.Fail("INDEX " + w[1] + " goes backwards (line " +
                               std::to_string(lastIndex_->line) + ")");
            }
            bool zeroPregap = !track->indexes.empty() && lastIndex_->number == 0 && number == 1;
            if (at == lastIndex_->fileFrame && !zeroPregap) {
                return p_.Fail("INDEX " + w[1] + " overlaps line " +
                               std::to_string(lastIndex_->line));
            }
        }
        track->indexes.push_back({static_cast<int>(number), at, file, p_.line});
        lastIndex_ = &track->indexes.back();
        inTrackBody_ = true;
        return true;
    }

    bool Gap(const std::string& cmd, const std::vector<std::string>& w, CueTrack* track) {
        if (!track) return p_.Fail(cmd + " before any TRACK");
        std::uint32_t frames = 0;
        if (w.size() != 2 || !ParseTime(w[1], frames)) return p_.Fail("bad " + cmd + " time");
        if (cmd == "PREGAP") {
            if (inTrackBody_) return p_.Fail("PREGAP after an INDEX");
            track->pregap = frames;
        } else {
            if (!inTrackBody_) return p_.Fail("POSTGAP before any INDEX");
            track->postgap = frames;
        }
        return true;
    }

    Parser& p_;
    CueSheet& sheet_;
    bool inTrackBody_ = false;  // past the first INDEX of the current track
    int session_ = 1;           // from "REM SESSION nn"
    const CueIndex* lastIndex_ = nullptr;
};

bool ParseLines(Parser& p, const std::string& text, CueSheet& sheet) {
    std::istringstream in(text);
    std::string raw;
    LineReader reader(p, sheet);
    while (std::getline(in, raw)) {
        ++p.line;
        if (!reader.Line(std::move(raw))) return false;
    }
    return reader.End();
}

// The most frames an image may hold: its lead-out, 2 seconds after the start of the time scale,
// must still have an address of at most 99:59:74.
constexpr std::uint64_t kMaxImageFrames = (99 * 60 + 59) * kFramesPerSecond + 74 - kMsfOffset;

// "mm:ss:ff" of a number of frames.
std::string MsfText(std::uint64_t frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu",
                  static_cast<unsigned long long>(frames / (60 * kFramesPerSecond)),
                  static_cast<unsigned long long>(frames / kFramesPerSecond % 60),
                  static_cast<unsigned long long>(frames % kFramesPerSecond));
    return text;
}

bool Layout(Parser& p, CueSheet& sheet) {
    struct Point {
        CueIndex* index;
        std::size_t track;
    };
    std::vector<Point> points;
    for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
        CueTrack& t = sheet.tracks[i];
        p.line = t.line;
        bool hasOne = false;
        for (CueIndex& x : t.indexes) {
            points.push_back({&x, i});
            hasOne = hasOne || x.number == 1;
        }
        if (!hasOne) return p.Fail("track " + std::to_string(t.number) + " has no INDEX 01");
    }
    std::uint64_t lba = 0;
    auto add = [&](std::uint64_t frames, int file, std::uint64_t byte, std::uint32_t sectorBytes,
                   bool audio) {
        if (frames == 0) return;
        sheet.extents.push_back({static_cast<std::uint32_t>(lba),
                                 static_cast<std::uint32_t>(frames), file, byte, sectorBytes,
                                 audio});
        lba += frames;
    };
    sheet.toc = Toc{};
    sheet.toc.firstTrack = static_cast<std::uint8_t>(sheet.tracks.front().number);
    sheet.toc.lastTrack = static_cast<std::uint8_t>(sheet.tracks.back().number);
    // Each index starts a run of frames up to the next index of the same file or the file's end;
    // silence of PREGAP comes before a track's first run and of POSTGAP after its last.
    std::uint64_t fileByte = 0;  // byte of the current run inside its file's sample data
    for (std::size_t k = 0; k < points.size(); ++k) {
        CueIndex& x = *points[k].index;
        CueTrack& t = sheet.tracks[points[k].track];
        const CueFile& file = sheet.files[x.file];
        p.line = x.line;
        if (k == 0 || points[k - 1].index->file != x.file) {
            fileByte = std::uint64_t{x.fileFrame} * t.sectorBytes;
        }
        if (fileByte >= file.dataBytes) return p.Fail("INDEX beyond the end of its file");
        bool firstOfTrack = &x == &t.indexes.front();
        if (firstOfTrack && points[k].track > 0 &&
            t.session > sheet.tracks[points[k].track - 1].session) {
            // The first track of a later session starts a session gap after the end of the
            // one before; its own pregap and INDEX 00 stretch lie inside that gap.
            std::uint64_t before = t.pregap;
            if (t.indexes.size() > 1 && t.indexes[0].number == 0 &&
                t.indexes[1].file == t.indexes[0].file) {
                before += t.indexes[1].fileFrame - t.indexes[0].fileFrame;
            }
            if (before < kSessionGapFrames)
                add(kSessionGapFrames - before, -1, 0, kFrameBytes, false);
        }
        if (firstOfTrack) {
            t.start = static_cast<std::uint32_t>(lba);
            add(t.pregap, -1, 0, kFrameBytes, t.audio);
        }
        x.lba = static_cast<std::uint32_t>(lba);
        if (x.number == 1) {
            TocTrack entry;
            entry.number = static_cast<std::uint8_t>(t.number);
            entry.control = static_cast<std::uint8_t>(
                (t.audio ? 0 : kControlData) | (t.preemphasis ? kControlPreEmphasis : 0) |
                (t.copyPermitted ? kControlCopyPermitted : 0) |
                (t.fourChannel ? kControlFourChannel : 0));
            entry.lba = static_cast<std::uint32_t>(lba);
            sheet.toc.tracks.push_back(entry);
        }
        std::uint64_t frames = 0;
        if (k + 1 < points.size() && points[k + 1].index->file == x.file) {
            frames = points[k + 1].index->fileFrame - x.fileFrame;
            if (fileByte + frames * t.sectorBytes > file.dataBytes) {
                p.line = points[k + 1].index->line;
                return p.Fail("INDEX beyond the end of its file");
            }
        } else {
            frames = (file.dataBytes - fileByte + t.sectorBytes - 1) / t.sectorBytes;
        }
        add(frames, x.file, file.dataOffset + fileByte, t.sectorBytes, t.audio);
        fileByte += frames * t.sectorBytes;
        bool lastOfTrack = &x == &t.indexes.back();
        if (lastOfTrack) add(t.postgap, -1, 0, kFrameBytes, t.audio);
        if (lba > kMaxImageFrames) break;
    }
    // A CD's time fields end at 99:59:74 (the lead-out's address included): a longer image
    // could not be addressed, and its times would wrap.
    if (lba > kMaxImageFrames) {
        p.error = p.name + ": the disc image lasts " + (lba > 0xFFFFFF ? "more than " : "") +
                  MsfText(std::min<std::uint64_t>(lba, 0xFFFFFF)) +
                  ", longer than a CD can hold (" + MsfText(kMaxImageFrames) +
                  ", as its times end at 99:59:74)";
        return false;
    }
    sheet.toc.leadOut = static_cast<std::uint32_t>(lba);
    return true;
}

}  // namespace

DiscInfo DiscInfoFromSheet(const CueSheet& sheet) {
    DiscInfo disc;
    disc.firstTrack = sheet.toc.firstTrack;
    disc.lastTrack = sheet.toc.lastTrack;
    disc.leadOut = sheet.toc.leadOut;
    disc.catalog = sheet.catalog;
    disc.title = sheet.title;
    disc.performer = sheet.performer;
    disc.songwriter = sheet.songwriter;
    for (std::size_t i = 0; i < sheet.tracks.size() && i < sheet.toc.tracks.size(); ++i) {
        const CueTrack& c = sheet.tracks[i];
        TrackInfo t;
        t.number = static_cast<std::uint8_t>(c.number);
        t.adr = sheet.toc.tracks[i].adr;
        t.SetControl(TrackControl{sheet.toc.tracks[i].control});
        t.session = c.session;
        t.start = sheet.toc.tracks[i].lba;
        t.pregap = t.start - c.start;
        for (const CueIndex& x : c.indexes) {
            if (x.number >= 1) t.indexes.push_back(x.lba);
        }
        t.isrc = c.isrc;
        t.title = c.title;
        t.performer = c.performer;
        t.songwriter = c.songwriter;
        disc.sessions = std::max(disc.sessions, c.session);
        disc.tracks.push_back(std::move(t));
    }
    FillLengths(disc);
    return disc;
}

bool ParseCueSheet(const std::string& text, const std::string& folder, const std::string& name,
                   CueSheet& out, std::string& error) {
    Parser p;
    p.name = name;
    p.folder = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    CueSheet sheet;
    sheet.path = name;
    if (!ParseLines(p, text, sheet) || !Layout(p, sheet)) {
        error = p.error;
        return false;
    }
    out = std::move(sheet);
    return true;
}

bool LoadCueSheet(const std::string& path, CueSheet& out, std::string& error) {
    std::string text;
    const orvane::fs::Status read = orvane::fs::ReadFile(path, kMaxCueSheetBytes, text);
    if (read.kind == orvane::fs::Status::Kind::TooLarge) {
        error = path + ": cue sheet too large";
        return false;
    }
    if (read.kind == orvane::fs::Status::Kind::NotRegularFile) {
        error = path + ": the cue sheet is not a regular file";
        return false;
    }
    if (!read) {
        error = path + ": cannot open the cue sheet";
        return false;
    }
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    if (!ParseCueSheet(text, folder, path, out, error)) return false;
    out.path = path;
    return true;
}

}  // namespace orvane::cdrom
