#include "cdplayer/mcdb.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/cp1252.h"
#include "platform/fs/fs.h"

namespace orvane::cdplayer {
namespace {

constexpr std::size_t kMaxTrackNames = 65536;
constexpr std::size_t kMaxClassName = 63;

// Reads the record from memory, or from a descriptor as far as the record needs and never
// beyond a limit (the file's size, bounded by kMaxDatabaseBytes).
class Reader {
public:
    explicit Reader(std::string_view data) : data_(data), limit_(data.size()) {}
    Reader(int fd, std::uint64_t limit) : fd_(fd), limit_(limit) {}

    bool U8(std::uint32_t& v) {
        if (!Have(1)) return Fail(EndWhy());
        v = static_cast<unsigned char>(data_[pos_++]);
        return true;
    }
    bool U16(std::uint32_t& v) {
        if (!Have(2)) return Fail(EndWhy());
        v = Byte(pos_) | (Byte(pos_ + 1) << 8);
        pos_ += 2;
        return true;
    }
    bool U32(std::uint32_t& v) {
        if (!Have(4)) return Fail(EndWhy());
        v = Byte(pos_) | (Byte(pos_ + 1) << 8) | (Byte(pos_ + 2) << 16) |
            (static_cast<std::uint32_t>(Byte(pos_ + 3)) << 24);
        pos_ += 4;
        return true;
    }
    // The view stays valid until the next read.
    bool Bytes(std::size_t n, std::string_view& out) {
        if (n > Left() || !Have(n)) {
            return Fail(readError_.empty() ? "a length runs past the end of the file"
                                           : readError_.c_str());
        }
        out = data_.substr(pos_, n);
        pos_ += n;
        return true;
    }
    // A list count; each element needs at least minBytes, so a count the rest of the file
    // cannot hold is refused before anything is allocated.
    bool Count(std::uint32_t& n, std::size_t minBytes) {
        if (!U16(n)) return false;
        if (n == 0xFFFF && !U32(n)) return false;
        if (static_cast<std::uint64_t>(n) * minBytes > Left())
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
            if (static_cast<std::uint64_t>(n) * 2 > Left())
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
    // Bytes the record may still take.
    std::uint64_t Left() const { return limit_ - pos_; }
    const char* EndWhy() const {
        return readError_.empty() ? "the file ends early" : readError_.c_str();
    }
    // Makes n bytes from the current position available, reading the descriptor in blocks.
    bool Have(std::size_t n) {
        if (n <= data_.size() - pos_) return true;
        if (fd_ < 0 || n > Left()) return false;
        const std::uint64_t need = pos_ + n;
        const std::uint64_t want = std::min<std::uint64_t>(limit_, need + kReadBlock);
        while (buffer_.size() < need) {
            const std::size_t have = buffer_.size();
            buffer_.resize(static_cast<std::size_t>(want));
            const ssize_t got = ::read(fd_, buffer_.data() + have, buffer_.size() - have);
            if (got < 0 && errno == EINTR) {
                buffer_.resize(have);
                continue;
            }
            if (got < 0)
                readError_ = std::string("the file cannot be read: ") + std::strerror(errno);
            buffer_.resize(have + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
            data_ = buffer_;
            if (got <= 0) return false;
        }
        data_ = buffer_;
        return true;
    }

    static constexpr std::size_t kReadBlock = 65536;

    int fd_ = -1;
    std::string buffer_;
    std::string_view data_;
    std::uint64_t limit_ = 0;
    std::size_t pos_ = 0;
    std::string why_;
    std::string readError_;
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

namespace {

// Reads one record; on failure out is unchanged and why says what is wrong.
bool ParseRecord(Reader& in, MCDB& out, std::string* why) {
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
    out = std::move(db);
    return true;
}

}  // namespace

bool MCDB::Parse(std::string_view bytes, std::string* why) {
    Reader in(bytes);
    return ParseRecord(in, *this, why);
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

DbRead ReadDatabaseFile(const std::string& path, MCDB& db, std::string* why) {
    const auto fail = [why](const std::string& text) {
        if (why) *why = text;
        return DbRead::Unreadable;
    };
    // Regular files only, opened without blocking: a FIFO or a device under the name must not
    // hold up the caller.
    fs::Status status;
    struct stat st {};
    const int fd = fs::OpenForReading(path, status, &st);
    if (fd < 0) {
        if (status.code == ENOENT) return DbRead::Missing;
        if (status.kind == fs::Status::Kind::NotRegularFile)
            return fail("it is not a regular file");
        return fail(std::strerror(status.code));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > kMaxDatabaseBytes) return fail("it is larger than a song database can be");
    if (size == 0) {
        // Empty by its size; a file whose size says nothing (as in /proc) is not a database.
        char probe = 0;
        ssize_t got;
        do {
            got = ::read(fd, &probe, 1);
        } while (got < 0 && errno == EINTR);
        if (got < 0) return fail(std::strerror(errno));
        if (got > 0) return fail("its size is not known");
        return DbRead::Empty;
    }
    Reader in(fd, size);
    std::string reason;
    if (!ParseRecord(in, db, &reason)) return fail(reason);
    return DbRead::Ok;
}

bool SetAsideDatabaseFile(const std::string& path, std::string& keptAs, std::string& why) {
    for (int k = 1; k < 1000; ++k) {
        const std::string target =
            path + ".unreadable" + (k == 1 ? std::string() : "-" + std::to_string(k));
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
            keptAs = target;
            return true;
        }
        if (errno != EEXIST) {
            why = std::strerror(errno);
            return false;
        }
    }
    why = "too many databases were set aside already";
    return false;
}

bool CreateDatabaseFile(const std::string& path) {
    // Never opens an existing file: a database that appeared meanwhile is not truncated.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
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
    return regular && fs::WriteFileAtomically(path, bytes).ok();
}

}  // namespace orvane::cdplayer
