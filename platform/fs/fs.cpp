#include "platform/fs/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace orvane::fs {
namespace {

constexpr std::size_t kMaxBaseInTempName = 200;  // leaves room for the suffix within NAME_MAX
constexpr std::time_t kAbandonedAfter = 24 * 3600;

// The temporary files a signal handler must remove: one slot per file being written, so a
// program that writes several at once (a batch running files side by side) loses none of them.
// A slot's state: 0 free, 1 being filled or emptied (the handler leaves it), 2 holds a name.
constexpr std::size_t kSignalSlots = 64;
struct SignalSlot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
SignalSlot g_signalSlots[kSignalSlots];
std::atomic<void (*)(int)> g_signalFirst{nullptr};

void OnSignal(int sig) {
    if (void (*first)(int) = g_signalFirst.load()) first(sig);
    for (SignalSlot& slot : g_signalSlots)
        if (slot.state.load() == 2) ::unlink(slot.path);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// Names path to the signal handler; -1 when it is too long or every slot is taken.
int TrackForSignals(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (std::size_t i = 0; i < kSignalSlots; ++i) {
        int expected = 0;
        if (!g_signalSlots[i].state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(g_signalSlots[i].path, path.c_str(), path.size() + 1);
        g_signalSlots[i].state.store(2);
        return static_cast<int>(i);
    }
    return -1;
}

void UntrackForSignals(int& slot) {
    if (slot < 0) return;
    g_signalSlots[slot].state.store(0);
    slot = -1;
}

Status Failure(Status::Kind kind, int code, const std::string& message) {
    Status s;
    s.kind = kind;
    s.code = code;
    s.message = message;
    return s;
}

Status Errno(const std::string& what, const std::string& path) {
    const int code = errno;
    return Failure(code == ENOENT ? Status::Kind::Missing : Status::Kind::Failed, code,
                   what + " " + path + ": " + std::strerror(code));
}

std::string BaseOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TempPrefix(const std::string& base) {
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about "." + std::string at -O3.
    std::string prefix(1, '.');
    prefix.append(base, 0, kMaxBaseInTempName);
    prefix.append(".tmp-");
    return prefix;
}

void SyncFolder(const std::string& folder, FileOps& ops) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ops.Sync(fd);
    ::close(fd);
}

// The file a write to `path` replaces: the target of a symbolic link, else the path itself.
std::string ResolveLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return path;  // a dangling link is replaced by the file
    std::string target = real;
    std::free(real);
    return target;
}

// Parses "<pid>-<n>" after a temporary file's prefix; 0 when the rest is not of that shape.
pid_t PidOfTemp(const char* rest) {
    char* end = nullptr;
    const long pid = std::strtol(rest, &end, 10);
    if (end == rest || *end != '-' || pid <= 0) return 0;
    const char* n = end + 1;
    std::strtol(n, &end, 10);
    if (end == n || *end != '\0') return 0;
    return static_cast<pid_t>(pid);
}

}  // namespace

ssize_t FileOps::Write(int fd, const void* data, std::size_t bytes, off_t offset) {
    return offset < 0 ? ::write(fd, data, bytes) : ::pwrite(fd, data, bytes, offset);
}
int FileOps::Sync(int fd) { return ::fsync(fd); }
int FileOps::Rename(const char* from, const char* to) { return ::rename(from, to); }

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a hard link fails just as well on a taken name.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

int RemoveOnSignal(const std::string& path) { return TrackForSignals(path); }
void KeepOnSignal(int& handle) { UntrackForSignals(handle); }

FileOps& SystemOps() {
    // Never destroyed: a file written while the process ends (a drive's destructor run by
    // another library's static objects) still finds it.
    static FileOps* const ops = new FileOps;
    return *ops;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

int OpenForReading(const std::string& path, Status& status, struct stat* info) {
    status = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        status = Errno("Cannot open", path);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        status = Errno("Cannot read", path);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        const char* what = S_ISDIR(st.st_mode) ? "a folder" : "not a regular file";
        status = Failure(Status::Kind::NotRegularFile, S_ISDIR(st.st_mode) ? EISDIR : EINVAL,
                         "Cannot read " + path + ": it is " + what);
        return -1;
    }
    if (info) *info = st;
    return fd;
}

Status ReadFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                struct stat* info) {
    bytes.clear();
    Status status;
    struct stat st {};
    const int fd = OpenForReading(path, status, &st);
    if (fd < 0) return status;
    if (info) *info = st;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    auto tooLarge = [&] {
        bytes.clear();
        bytes.shrink_to_fit();
        return Failure(
            Status::Kind::TooLarge, EFBIG,
            "Cannot read " + path + ": it is larger than " + std::to_string(maxBytes) + " bytes");
    };
    if (size > maxBytes) {
        ::close(fd);
        return tooLarge();
    }
    bytes.reserve(static_cast<std::size_t>(size));  // within maxBytes
    char buffer[65536];
    for (;;) {
        // One byte beyond the limit tells a file that grew past it.
        const std::size_t remaining = maxBytes - bytes.size();
        const std::size_t want = remaining >= sizeof buffer ? sizeof buffer : remaining + 1;
        const ssize_t n = ::read(fd, buffer, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            status = Errno("Cannot read", path);
            ::close(fd);
            bytes.clear();
            return status;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > maxBytes) {
            ::close(fd);
            return tooLarge();
        }
    }
    ::close(fd);
    return status;
}

bool WriteAll(int fd, const void* data, std::size_t bytes, off_t offset, FileOps& ops) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t n = ops.Write(fd, p, bytes, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;  // a descriptor that takes nothing will not take more later
            return false;
        }
        p += n;
        bytes -= static_cast<std::size_t>(n);
        if (offset >= 0) offset += n;
    }
    return true;
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::InstallSignalCleanup(void (*first)(int)) {
    g_signalFirst.store(first);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

Status AtomicFile::CopyFrom(int fd, const std::string& source) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Errno("Cannot read", source);
        if (n == 0) return {};
        Status status = Write(buffer.data(), static_cast<std::size_t>(n));
        if (!status.ok()) return status;
    }
}

Status AtomicFile::Fail(const char* what) {
    Status status = Errno(what, path_);
    if (status.kind == Status::Kind::Missing) status.kind = Status::Kind::Failed;
    Discard();
    return status;
}

Status AtomicFile::Open(const std::string& path, const WriteOptions& options) {
    static std::atomic<unsigned> counter{0};
    Discard();
    options_ = options;
    if (!options_.ops) options_.ops = &SystemOps();
    path_ = ResolveLink(path);
    size_ = 0;

    struct stat old {};
    const bool exists = ::stat(path_.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        return Failure(Status::Kind::Failed, EISDIR, "Cannot write " + path_ + ": it is a folder");
    }
    if (exists && options_.mustBeNew) {
        return Failure(Status::Kind::Failed, EEXIST,
                       "Cannot write " + path_ + ": " + std::strerror(EEXIST));
    }
    const std::string folder = FolderOf(path_);
    const std::string prefix =
        folder + "/" + TempPrefix(BaseOf(path_)) + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = prefix + std::to_string(counter++);
        // Named to the signal handler before the file exists: a signal that arrives just after
        // its creation must not leave it behind. The name carries our pid, so what the handler
        // might remove in between is at worst a temporary file of ours.
        signalSlot_ = TrackForSignals(temp);
        fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            tempPath_ = std::move(temp);
            break;
        }
        const int error = errno;
        UntrackForSignals(signalSlot_);
        errno = error;
        if (errno != EEXIST) return Errno("Cannot create", path_);
    }
    if (fd_ < 0) return Errno("Cannot create", path_);
    // Created private so nobody reads a half-written file, then given its final bits.
    mode_t mode = options_.mode & 0777;
    if (exists && options_.keepMode) {
        mode = old.st_mode & 0777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    if (::fchmod(fd_, mode) != 0) return Fail("Cannot write");
    return {};
}

Status AtomicFile::Write(const void* data, std::size_t bytes) {
    if (fd_ < 0) return Failure(Status::Kind::Failed, EBADF, "Cannot write " + path_);
    if (!WriteAll(fd_, data, bytes, -1, *options_.ops)) return Fail("Cannot write");
    size_ += static_cast<std::int64_t>(bytes);
    return {};
}

Status AtomicFile::WriteAt(std::int64_t offset, const void* data, std::size_t bytes) {
    if (fd_ < 0) return Failure(Status::Kind::Failed, EBADF, "Cannot write " + path_);
    if (!WriteAll(fd_, data, bytes, static_cast<off_t>(offset), *options_.ops))
        return Fail("Cannot write");
    if (offset + static_cast<std::int64_t>(bytes) > size_)
        size_ = offset + static_cast<std::int64_t>(bytes);
    return {};
}

Status AtomicFile::Commit() {
    if (fd_ < 0) return Failure(Status::Kind::Failed, EBADF, "Cannot write " + path_);
    FileOps& ops = *options_.ops;
    if (ops.Sync(fd_) != 0) return Fail("Cannot write");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return Fail("Cannot write");
    // A new file's name is taken only if nobody holds it, so a file made meanwhile is never
    // replaced and two writers never get the same name.
    const bool moved = options_.mustBeNew ? RenameNoReplace(tempPath_, path_)
                                          : ops.Rename(tempPath_.c_str(), path_.c_str()) == 0;
    if (!moved) return Fail("Cannot write");
    UntrackForSignals(signalSlot_);
    tempPath_.clear();
    SyncFolder(FolderOf(path_), ops);
    return {};
}

void AtomicFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    UntrackForSignals(signalSlot_);
}

Status WriteFileAtomically(const std::string& path, std::string_view bytes,
                           const WriteOptions& options) {
    AtomicFile file;
    Status status = file.Open(path, options);
    if (status) status = file.Write(bytes.data(), bytes.size());
    if (status) status = file.Commit();
    return status;
}

Status CopyFileAtomically(const std::string& from, const std::string& path,
                          const WriteOptions& options) {
    Status status;
    const int fd = OpenForReading(from, status);
    if (fd < 0) return status;
    AtomicFile file;
    status = file.Open(path, options);
    if (status) status = file.CopyFrom(fd, from);
    ::close(fd);
    if (status) status = file.Commit();
    return status;
}

int SweepStaleTemps(const std::string& folder, const std::string& forName, int minAgeSeconds) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    const std::string prefix = forName.empty() ? std::string() : TempPrefix(forName);
    const uid_t me = ::geteuid();
    const std::time_t now = std::time(nullptr);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        const char* rest = nullptr;
        if (!prefix.empty()) {
            if (std::strncmp(name, prefix.c_str(), prefix.size()) == 0) rest = name + prefix.size();
        } else if (name[0] == '.') {
            // ".<any name>.tmp-<pid>-<n>": the last ".tmp-" starts the suffix.
            const char* mark = nullptr;
            for (const char* p = std::strstr(name + 1, ".tmp-"); p; p = std::strstr(p + 1, ".tmp-"))
                mark = p;
            if (mark && mark > name + 1) rest = mark + 5;
        }
        const pid_t pid = rest ? PidOfTemp(rest) : 0;
        if (pid == 0) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != me) continue;
        const std::time_t age = now - st.st_mtime;
        const bool writerGone = pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
        if ((writerGone && age >= minAgeSeconds) || age >= kAbandonedAfter) {
            if (::unlinkat(::dirfd(dir), name, 0) == 0) ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

std::int64_t SizeBeingWritten(const std::string& path) {
    std::int64_t size = 0;
    struct timespec newest {};
    bool found = false;
    if (DIR* dir = ::opendir(FolderOf(path).c_str())) {
        const std::string prefix = TempPrefix(BaseOf(path));
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
            const pid_t pid = PidOfTemp(entry->d_name + prefix.size());
            if (pid == 0 || (::kill(pid, 0) != 0 && errno == ESRCH)) continue;
            struct stat st {};
            if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISREG(st.st_mode))
                continue;
            if (!found || st.st_mtim.tv_sec > newest.tv_sec ||
                (st.st_mtim.tv_sec == newest.tv_sec && st.st_mtim.tv_nsec > newest.tv_nsec)) {
                found = true;
                newest = st.st_mtim;
                size = static_cast<std::int64_t>(st.st_size);
            }
        }
        ::closedir(dir);
    }
    if (found) return size;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

}  // namespace orvane::fs
