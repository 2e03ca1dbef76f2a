#include "cdplayer/mcdb.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "common/cp1252.h"
#include "platform/fs/fs.h"

namespace orvane::cdplayer {
namespace {

constexpr std::size_t kMaxTrackNames = 65536;
constexpr std::size_t kMaxClassName = 63;

class Reader {
public:
    explicit Reader(std::string_view data) : data_(data) {}

    bool U8(std::uint32_t& v) {
        if (pos_ + 1 > data_.size()) return Fail("the file ends early");
        v = static_cast<unsigned char>(data_[pos_++]);
        return true;
    }
    bool U16(std::uint32_t& v) {
        if (pos_ + 2 > data_.size()) return Fail("the file ends early");
        v = Byte(pos_) | (Byte(pos_ + 1) << 8);
        pos_ += 2;
        return true;
    }
    bool U32(std::uint32_t& v) {
        if (pos_ + 4 > data_.size()) return Fail("the file ends early");
        v = Byte(pos_) | (Byte(pos_ + 1) << 8) | (Byte(pos_ + 2) << 16) |
            (static_cast<std::uint32_t>(Byte(pos_ + 3)) << 24);
        pos_ += 4;
        return true;
    }
    bool Bytes(std::size_t n, std::string_view& out) {
        if (n > data_.size() - pos_) return Fail("a length runs past the end of the file");
        out = data_.substr(pos_, n);
        pos_ += n;
        return true;
    }
    // A list count; each element needs at least minBytes, so a count the rest of the file
    // cannot hold is refused before anything is allocated.
    bool Count(std::uint32_t& n, std::size_t minBytes) {
        if (!U16(n)) return false;
        if (n == 0xFFFF && !U32(n)) return false;
        if (static_cast<std::uint64_t>(n) * minBytes > data_.size() - pos_)
            return Fail("a count runs past the end of the file");
        return true;
    }
    // A string length prefix: one byte, 0xFF + u16, or 0xFF + 0xFFFF + u32. utf16 reports the
    // 0xFF 0xFFFE marker of a UTF-16 string (then the caller reads a second prefix).
    bool Length(std::uint32_t& n, bool& utf16) {
        utf16 = false;
        if (!U8(n)) return false;
        if (n < 0xFF) return true;
        if (!U16(n)) return false;
        if (n == 0xFFFE) {
            utf16 = true;
            return true;
        }
        if (n < 0xFFFF) return true;
        return U32(n);
    }
    bool String(std::string& s) {
        std::uint32_t n = 0;
        bool utf16 = false;
        if (!Length(n, utf16)) return false;
        std::string_view raw;
        if (utf16) {
            bool again = false;
            if (!Length(n, again)) return false;
            if (again) return Fail("a malformed string length");
            if (static_cast<std::uint64_t>(n) * 2 > data_.size() - pos_)
                return Fail("a length runs past the end of the file");
            if (!Bytes(static_cast<std::size_t>(n) * 2, raw)) return false;
            s = cp1252::ToUtf8(cp1252::FromUtf16Le(raw));
            return true;
        }
        if (!Bytes(n, raw)) return false;
        s = cp1252::ToUtf8(raw);
        return true;
    }
    bool StringList(std::vector<std::string>& list) {
        std::uint32_t n = 0;
        if (!Count(n, 1)) return false;
        list.assign(n, {});
        for (auto& s : list)
            if (!String(s)) return false;
        return true;
    }
    bool WordList(std::vector<std::uint16_t>& list) {
        std::uint32_t n = 0;
        if (!Count(n, 2)) return false;
        list.assign(n, 0);
        for (auto& w : list) {
            std::uint32_t v = 0;
            if (!U16(v)) return false;
            w = static_cast<std::uint16_t>(v);
        }
        return true;
    }
    bool Fail(const char* why) {
        why_ = why;
        return false;
    }
    const std::string& Why() const { return why_; }

private:
    std::uint32_t Byte(std::size_t at) const { return static_cast<unsigned char>(data_[at]); }

    std::string_view data_;
    std::size_t pos_ = 0;
    std::string why_;
};

void PutU16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& out, std::uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

void PutCount(std::string& out, std::size_t n) {
    if (n < 0xFFFF) {
        PutU16(out, static_cast<std::uint32_t>(n));
    } else {
        PutU16(out, 0xFFFF);
        PutU32(out, static_cast<std::uint32_t>(n));
    }
}

void PutString(std::string& out, const std::string& utf8) {
    const std::string s = cp1252::FromUtf8(utf8);
    const std::size_t n = s.size();
    if (n < 0xFF) {
        out += static_cast<char>(n);
    } else if (n < 0xFFFE) {
        out += '\xFF';
        PutU16(out, static_cast<std::uint32_t>(n));
    } else {
        out += '\xFF';
        PutU16(out, 0xFFFF);
        PutU32(out, static_cast<std::uint32_t>(n));
    }
    out += s;
}

void PutStringList(std::string& out, const std::vector<std::string>& list) {
    PutCount(out, list.size());
    for (const auto& s : list)
        PutString(out, s);
}

void PutWordList(std::string& out, const std::vector<std::uint16_t>& list) {
    PutCount(out, list.size());
    for (auto w : list)
        PutU16(out, w);
}

// First and last index of disc k's names as a half-open range [first, end); an empty range when
// the last index lies before the first (also the 16-bit wrap of "first - 1").
void DiscRange(const MCDB& db, std::size_t k, std::size_t& first, std::size_t& end) {
    first = db.FirstTrack[k];
    const std::uint16_t last = db.LastTrack[k];
    end = last < first || static_cast<std::uint16_t>(last + 1) == first ? first : last + 1u;
}

void SetAside(const std::string& path) {
    for (int k = 1; k < 1000; ++k) {
        // Appended piece by piece: GCC 12 misreads "-" + std::string at -O3 (-Wrestrict).
        std::string target = path + ".unreadable";
        if (k > 1) {
            target += '-';
            target += std::to_string(k);
        }
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return;
        if (errno != EEXIST) return;
    }
}

}  // namespace

bool MCDB::FindDisc(const std::string& id, std::vector<std::string>& names) {
    names.clear();
    const std::size_t discs = std::min({DiscIds.size(), FirstTrack.size(), LastTrack.size()});
    for (std::size_t i = 0; i < discs; ++i) {
        if (DiscIds[i] != id) continue;
        std::size_t first = 0, end = 0;
        DiscRange(*this, i, first, end);
        for (std::size_t k = first; k < end && k < TrackNames.size(); ++k)
            names.push_back(TrackNames[k]);
        CurrentDisc = static_cast<int>(i);
        return true;
    }
    return false;
}

std::size_t MCDB::NameCount(std::size_t disc) const {
    if (disc >= FirstTrack.size() || disc >= LastTrack.size()) return 0;
    std::size_t first = 0, end = 0;
    DiscRange(*this, disc, first, end);
    return end - first;
}

bool MCDB::Serialize(std::string& bytes) const {
    const std::size_t discs = DiscIds.size();
    if (TrackNames.size() > kMaxTrackNames || DiscNames.size() != discs ||
        FirstTrack.size() != discs || LastTrack.size() != discs)
        return false;
    std::string out("\xFF\xFF\x01\x00\x04\x00MCDB", 10);
    PutStringList(out, TrackNames);
    PutStringList(out, DiscIds);
    PutWordList(out, FirstTrack);
    PutWordList(out, LastTrack);
    PutStringList(out, DiscNames);
    bytes = std::move(out);
    return true;
}

bool MCDB::Parse(std::string_view bytes, std::string* why) {
    Reader in(bytes);
    MCDB db;
    std::uint32_t tag = 0, schema = 0, nameLength = 0;
    std::string_view name;
    bool ok = in.U16(tag) && (tag == 0xFFFF || in.Fail("the file does not start a new class")) &&
              in.U16(schema) && (schema == 1 || in.Fail("the record has another schema")) &&
              in.U16(nameLength) &&
              (nameLength <= kMaxClassName || in.Fail("the class name is too long")) &&
              in.Bytes(nameLength, name) &&
              (name == "MCDB" || in.Fail("the record is of another class")) &&
              in.StringList(db.TrackNames) && in.StringList(db.DiscIds) &&
              in.WordList(db.FirstTrack) && in.WordList(db.LastTrack) &&
              in.StringList(db.DiscNames);
    if (ok) {
        const std::size_t discs = db.DiscIds.size();
        if (db.DiscNames.size() != discs || db.FirstTrack.size() != discs ||
            db.LastTrack.size() != discs) {
            ok = in.Fail("the disc lists differ in length");
        } else if (db.TrackNames.size() > kMaxTrackNames) {
            ok = in.Fail("too many track names");
        } else {
            for (std::size_t k = 0; k < discs && ok; ++k) {
                std::size_t first = 0, end = 0;
                DiscRange(db, k, first, end);
                if (first > db.TrackNames.size() || end > db.TrackNames.size())
                    ok = in.Fail("a disc's names lie beyond the track names");
            }
        }
    }
    if (!ok) {
        if (why) *why = in.Why();
        return false;
    }
    *this = std::move(db);
    return true;
}

MCDB MCDB::ForSingleDisc(const std::string& identity, unsigned tracks) {
    MCDB db;
    db.FirstTrack = {0};
    db.LastTrack = {static_cast<std::uint16_t>(tracks - 1)};
    db.DiscIds = {identity};
    db.DiscNames = {"UNKNOWN DISC"};
    db.TrackNames = NumberedNames("TRACK %d", tracks);
    return db;
}

std::vector<std::string> NumberedNames(const char* pattern, unsigned n) {
    std::vector<std::string> names;
    names.reserve(n);
    char text[64];
    for (unsigned i = 1; i <= n; ++i) {
        std::snprintf(text, sizeof text, pattern, static_cast<int>(i));
        names.emplace_back(text);
    }
    return names;
}

DbRead ReadDatabaseFile(const std::string& path, MCDB& db) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return DbRead::CannotOpen;
    std::string bytes;
    char buf[65536];
    bool failed = false;
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed = true;
        if (n <= 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (failed) return DbRead::CannotOpen;
    if (bytes.empty()) return DbRead::Empty;
    if (!db.Parse(bytes)) {
        SetAside(path);
        return DbRead::CannotOpen;
    }
    return DbRead::Ok;
}

bool CreateDatabaseFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool WriteDatabaseFile(const std::string& path, const MCDB& db) {
    std::string bytes;
    if (!db.Serialize(bytes)) return false;
    // The existing file must be writable, as the player opens it for writing without creating.
    const int existing = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (existing < 0) return false;
    struct stat st {};
    const bool regular = ::fstat(existing, &st) == 0 && S_ISREG(st.st_mode);
    ::close(existing);
    return regular && orvane::fs::WriteFileAtomically(path, bytes).ok();
}

}  // namespace orvane::cdplayer
