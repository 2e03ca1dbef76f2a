// The registry service: Win32 registry calls over hive files.
//
// Every root (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG) is one text
// hive file in the registry folder; HKEY_CLASSES_ROOT is a view of the key
// HKEY_LOCAL_MACHINE\Software\Classes. A process keeps each hive in memory and reloads it whenever
// the file on disk is not the one it read last (another process wrote it). A write takes an
// exclusive flock on the hive's folder, reloads, changes the tree, writes a temporary file, syncs
// it and renames it over the hive, so a reader always sees a whole hive and a crash leaves the old
// or the new one. Handles name keys by path; a key deleted behind an open handle answers
// ERROR_KEY_DELETED.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/fs/fs.h"
#include "platform/registry/changes.h"
#include "platform/registry/hive.h"
#include "platform/registry/winreg.h"
#include "platform/shell/sysinfo.h"

namespace orvane::registry {
namespace {

namespace fs = std::filesystem;

enum RootIndex { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kPerformance, kConfig, kDyn };
constexpr int kRootCount = 7;
const char* const kRootNames[kRootCount] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x10000 |
                                0x40000 | 0x80000;               // DELETE, WRITE_DAC, WRITE_OWNER
constexpr std::uint64_t kFiletimeEpoch = 116444736000000000ULL;  // 1970-01-01 in FILETIME ticks

// The descriptor of a key nobody set one for: self-relative, no owner, no group, a null DACL.
const std::string kDefaultSecurity(
    "\x01\x00\x04\x80\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00",
    20);

struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::int64_t mtimeNs = 0;
    off_t size = 0;
    bool operator==(const FileId&) const = default;
};

FileId IdOf(const struct stat& st) {
    FileId id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.size = st.st_size;
    return id;
}

FileId StatFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {};
    return IdOf(st);
}

struct Hive {
    std::string file;
    std::string label;
    std::unique_ptr<Node> root;
    FileId id;
    bool loaded = false;
    bool swept = false;
};

struct OpenKey {
    int root = 0;
    std::vector<std::string> path;
    REGSAM access = 0;
};

struct Watch {
    int root = 0;
    std::vector<std::string> path;
    bool subtree = false;
    DWORD filter = 0;
    HANDLE event = nullptr;
    std::string snapshot;
};

// Where a key lives: its hive and its path inside that hive.
struct Location {
    Hive* hive = nullptr;
    std::vector<std::string> inner;
};

std::uint64_t NowFiletime() {
    return kFiletimeEpoch +
           static_cast<std::uint64_t>(orvane::clock::Current().WallSeconds()) * 10000000ULL;
}

std::string FolderOfFile(const std::string& file) {
    fs::path p(file);
    return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

// Holds an exclusive flock on a folder (creating the folder when needed).
class FolderLock {
public:
    explicit FolderLock(const std::string& folder) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

LONG ErrnoToError(int e) {
    switch (e) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOENT:
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        default:
            return ERROR_CANTWRITE;
    }
}

// Hive files are settings; anything larger is not one of ours (or is an endless special file).
constexpr std::size_t kMaxHiveBytes = 256u << 20;

// Writes a file whole or not at all (a new file is private); with `mustBeNew` an existing file is
// never replaced.
LONG WriteFileAtomically(const std::string& file, const std::string& text, bool mustBeNew) {
    if (text.size() > kMaxHiveBytes) return ERROR_NOT_ENOUGH_MEMORY;
    orvane::fs::WriteOptions options;
    options.mode = 0600;
    options.mustBeNew = mustBeNew;
    const orvane::fs::Status status = orvane::fs::WriteFileAtomically(file, text, options);
    return status ? ERROR_SUCCESS : ErrnoToError(status.code);
}

// Removes temporary files that writers killed half-way left behind (called under the folder
// lock, so no writer is busy with one).
void SweepTemps(const std::string& file) {
    orvane::fs::SweepStaleTemps(FolderOfFile(file), fs::path(file).filename().string(), 0);
}

// Reads a hive or key file; `id` names the file that was read.
orvane::fs::Status ReadWhole(const std::string& file, std::string& text, FileId& id) {
    struct stat st {};
    orvane::fs::Status status = orvane::fs::ReadFile(file, kMaxHiveBytes, text, &st);
    if (status) id = IdOf(st);
    return status;
}

// A hive the user may not write: the file is marked read-only or not writable for us, or it
// does not exist and its folder cannot take it.
bool HiveReadOnly(const Hive& hive) {
    struct stat st;
    if (::stat(hive.file.c_str(), &st) == 0)
        return !(st.st_mode & S_IWUSR) || ::access(hive.file.c_str(), W_OK) != 0;
    fs::path folder = FolderOfFile(hive.file);
    std::error_code ec;
    while (!folder.empty() && !fs::exists(folder, ec)) {
        if (folder == folder.parent_path()) break;
        folder = folder.parent_path();
    }
    return ::access(folder.c_str(), W_OK) != 0;
}

std::string SetAsideName(const std::string& file) {
    char stamp[32];
    std::time_t now = static_cast<std::time_t>(orvane::clock::Current().WallSeconds());
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string base = file + ".corrupt-" + stamp;
    std::string name = base;
    for (int n = 1; fs::exists(name); ++n)
        name = base + "-" + std::to_string(n);
    return name;
}

class Registry {
public:
    ~Registry() { StopWatcher(); }

    std::mutex mutex;

    void Reset() {
        StopWatcher();
        std::lock_guard lock(mutex);
        folder_.clear();
        roots_.clear();
        mounts_.clear();
        handles_.clear();
        watches_.clear();
    }

    std::string Folder() {
        if (folder_.empty()) {
            const char* env = std::getenv("ORVANE_REGISTRY_DIR");
            const char* xdg = std::getenv("XDG_CONFIG_HOME");
            if (env && *env)
                folder_ = env;
            else if (xdg && *xdg == '/')
                folder_ = std::string(xdg) + "/orvane";
            else
                folder_ = orvane::shell::HomeFolder() + "/.config/orvane";
            while (folder_.size() > 1 && folder_.back() == '/')
                folder_.pop_back();
        }
        return folder_;
    }

    Hive& RootHive(int root) {
        auto& slot = roots_[root];
        if (!slot) {
            slot = std::make_unique<Hive>();
            slot->label = kRootNames[root];
            slot->file = Folder() + "/" + kRootNames[root] + ".reg";
        }
        return *slot;
    }

    // Brings a hive up to the file on disk.
    void Refresh(Hive& hive) {
        FileId now = StatFile(hive.file);
        if (hive.loaded && now == hive.id) return;
        if (!now.exists) {
            hive.root = std::make_unique<Node>();
            hive.root->name = hive.label;
            hive.id = now;
            hive.loaded = true;
            return;
        }
        std::string text;
        FileId id;
        const orvane::fs::Status read = ReadWhole(hive.file, text, id);
        if (read.kind == orvane::fs::Status::Kind::NotRegularFile ||
            read.kind == orvane::fs::Status::Kind::TooLarge) {
            ParseResult refused;
            refused.error = read.message;
            SetAside(hive, now, refused);
            return;
        }
        if (!read) {
            // Unreadable (permissions): serve what we have, or an empty hive.
            if (!hive.root) {
                hive.root = std::make_unique<Node>();
                hive.root->name = hive.label;
            }
            hive.id = now;
            hive.loaded = true;
            return;
        }
        ParseResult parsed = Parse(text);
        if (parsed.root) {
            parsed.root->name = hive.label;
            hive.root = std::move(parsed.root);
            hive.id = id;
            hive.loaded = true;
            return;
        }
        SetAside(hive, id, parsed);
    }

    // A hive file that cannot be parsed is renamed out of the way, never overwritten.
    void SetAside(Hive& hive, const FileId& badId, const ParseResult& parsed) {
        std::string aside;
        {
            FolderLock lock(FolderOfFile(hive.file));
            if (StatFile(hive.file) == badId) {
                aside = SetAsideName(hive.file);
                if (::rename(hive.file.c_str(), aside.c_str()) != 0) aside.clear();
            }
        }
        if (!aside.empty()) {
            const std::string why =
                parsed.errorLine > 0
                    ? "line " + std::to_string(parsed.errorLine) + ": " + parsed.error
                    : parsed.error;
            std::fprintf(stderr,
                         "orvane: the registry file %s cannot be read (%s); it was "
                         "kept as %s and its settings start empty.\n",
                         hive.file.c_str(), why.c_str(), aside.c_str());
        }
        // Another process may have set it aside (or replaced it) meanwhile: read afresh.
        hive.loaded = false;
        FileId now = StatFile(hive.file);
        if (now.exists && !(now == badId)) {
            Refresh(hive);
            return;
        }
        hive.root = std::make_unique<Node>();
        hive.root->name = hive.label;
        hive.id = now.exists ? badId : FileId{};
        hive.loaded = true;
    }

    // Changes a hive under the folder lock and writes it back; `change` returns a Win32 result
    // and alters the tree only when it succeeds.
    template <typename Change>
    LONG Write(Hive& hive, Change&& change) {
        if (HiveReadOnly(hive)) return ERROR_ACCESS_DENIED;
        FolderLock lock(FolderOfFile(hive.file));
        if (!lock.Held()) return ERROR_ACCESS_DENIED;
        if (!hive.swept) {
            SweepTemps(hive.file);
            hive.swept = true;
        }
        Refresh(hive);
        LONG result = change(*hive.root);
        if (result != ERROR_SUCCESS) return result;
        result = WriteFileAtomically(hive.file, Serialize(*hive.root, hive.label), false);
        if (result != ERROR_SUCCESS) {
            hive.loaded = false;  // drop the change that did not reach the disk
            Refresh(hive);
            return result;
        }
        hive.id = StatFile(hive.file);
        CheckWatches();
        return ERROR_SUCCESS;
    }

    LONG Resolve(HKEY key, OpenKey& out) {
        auto value = reinterpret_cast<std::uintptr_t>(key);
        if (value >= 0x80000000u && value < 0x80000000u + kRootCount) {
            out.root = static_cast<int>(value - 0x80000000u);
            out.path.clear();
            out.access = KEY_ALL_ACCESS;
            if (out.root == kDyn) return ERROR_INVALID_HANDLE;
            return ERROR_SUCCESS;
        }
        auto it = handles_.find(value);
        if (it == handles_.end()) return ERROR_INVALID_HANDLE;
        out = it->second;
        return ERROR_SUCCESS;
    }

    HKEY NewHandle(const OpenKey& key) {
        std::uintptr_t value = nextHandle_;
        nextHandle_ += 4;
        handles_[value] = key;
        return reinterpret_cast<HKEY>(value);
    }

    void CloseHandle(std::uintptr_t value, bool& found) { found = handles_.erase(value) > 0; }

    Hive* Mount(int root, const std::string& name) {
        auto it = mounts_.find({root, Fold(name)});
        return it == mounts_.end() ? nullptr : it->second.get();
    }

    // The hive and inner path of a key given by root and full path.
    Location Locate(int root, const std::vector<std::string>& path) {
        Location loc;
        std::vector<std::string> full = path;
        if (root == kClassesRoot) {
            full.insert(full.begin(), {"Software", "Classes"});
            root = kLocalMachine;
        }
        if ((root == kLocalMachine || root == kUsers) && !full.empty()) {
            if (Hive* mounted = Mount(root, full[0])) {
                loc.hive = mounted;
                loc.inner.assign(full.begin() + 1, full.end());
                Refresh(*mounted);
                return loc;
            }
        }
        loc.hive = &RootHive(root);
        loc.inner = std::move(full);
        Refresh(*loc.hive);
        return loc;
    }

    static Node* Walk(Node* node, const std::vector<std::string>& path) {
        for (const auto& part : path) {
            if (!node) return nullptr;
            node = node->Child(part);
        }
        return node;
    }

    Node* Find(int root, const std::vector<std::string>& path) {
        Location loc = Locate(root, path);
        return Walk(loc.hive->root.get(), loc.inner);
    }

    // Names of the subkeys of a key, with the hives loaded below a root counted in.
    std::vector<std::pair<std::string, const Node*>> Children(int root,
                                                              const std::vector<std::string>& path,
                                                              const Node* node) {
        std::map<std::string, std::pair<std::string, const Node*>> byFold;
        for (const auto& [folded, child] : node->children)
            byFold[folded] = {child->name, child.get()};
        if ((root == kLocalMachine || root == kUsers) && path.empty()) {
            for (auto& [id, hive] : mounts_) {
                if (id.first != root) continue;
                Refresh(*hive);
                byFold[id.second] = {hive->label, hive->root.get()};
            }
        }
        std::vector<std::pair<std::string, const Node*>> out;
        for (auto& [folded, entry] : byFold)
            out.push_back(entry);
        return out;
    }

    // Registers a change notification and returns its current snapshot state.
    void AddWatch(Watch watch) {
        watches_.push_back(std::move(watch));
        StartWatcher();
    }

    std::string SnapshotOf(int root, const std::vector<std::string>& path, DWORD filter,
                           bool subtree) {
        Node* node = Find(root, path);
        return node ? Snapshot(*node, filter, subtree)
                    : std::string(
                          "\x01"
                          "deleted");
    }

    // Signals (once) every notification whose key changed since it was registered.
    void CheckWatches() {
        for (auto it = watches_.begin(); it != watches_.end();) {
            if (SnapshotOf(it->root, it->path, it->filter, it->subtree) != it->snapshot) {
                SetEvent(it->event);
                it = watches_.erase(it);
            } else {
                ++it;
            }
        }
    }

    LONG LoadMount(int root, const std::string& name, const std::string& file) {
        if (Mount(root, name)) return ERROR_ALREADY_EXISTS;
        Hive& base = RootHive(root);
        Refresh(base);
        if (base.root->Child(name)) return ERROR_ALREADY_EXISTS;
        auto hive = std::make_unique<Hive>();
        hive->file = fs::absolute(file).string();
        hive->label = name;
        if (!fs::exists(hive->file)) {
            auto empty = std::make_unique<Node>();
            empty->lastWrite = NowFiletime();
            LONG r = WriteFileAtomically(hive->file, Serialize(*empty, name), true);
            if (r != ERROR_SUCCESS && r != ERROR_ALREADY_EXISTS) return r;
        }
        std::string text;
        FileId id;
        const orvane::fs::Status read = ReadWhole(hive->file, text, id);
        if (read.kind == orvane::fs::Status::Kind::NotRegularFile ||
            read.kind == orvane::fs::Status::Kind::TooLarge)
            return ERROR_BADDB;
        if (!read) return ERROR_ACCESS_DENIED;
        ParseResult parsed = Parse(text);
        if (!parsed.root) return ERROR_BADDB;
        parsed.root->name = name;
        hive->root = std::move(parsed.root);
        hive->id = id;
        hive->loaded = true;
        mounts_[{root, Fold(name)}] = std::move(hive);
        RewatchFolders();
        CheckWatches();
        return ERROR_SUCCESS;
    }

    LONG Unmount(int root, const std::string& name) {
        if (!mounts_.erase({root, Fold(name)})) return ERROR_INVALID_PARAMETER;
        CheckWatches();
        return ERROR_SUCCESS;
    }

    // Called by the folder watcher when a hive file may have changed behind our back.
    void ExternalChange() {
        std::lock_guard lock(mutex);
        for (auto& [root, hive] : roots_)
            Refresh(*hive);
        for (auto& [id, hive] : mounts_)
            Refresh(*hive);
        CheckWatches();
    }

private:
    void StartWatcher() {
        if (watcherRunning_) {
            RewatchFolders();
            return;
        }
        inotifyFd_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (inotifyFd_ < 0) return;
        if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
            ::close(inotifyFd_);
            inotifyFd_ = -1;
            return;
        }
        watchedFolders_.clear();
        RewatchFolders();
        watcherRunning_ = true;
        watcher_ = std::thread([this] { WatchLoop(); });
    }

    void RewatchFolders() {
        if (inotifyFd_ < 0) return;
        std::set<std::string> folders{Folder()};
        for (auto& [id, hive] : mounts_)
            folders.insert(FolderOfFile(hive->file));
        for (const auto& folder : folders) {
            if (watchedFolders_.count(folder)) continue;
            std::error_code ec;
            fs::create_directories(folder, ec);
            if (inotify_add_watch(inotifyFd_, folder.c_str(),
                                  IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE | IN_CREATE) >= 0)
                watchedFolders_.insert(folder);
        }
    }

    void WatchLoop() {
        char buf[4096];
        for (;;) {
            pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
            int n = ::poll(fds, 2, -1);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || fds[1].revents) return;
            if (fds[0].revents) {
                while (::read(inotifyFd_, buf, sizeof buf) > 0) {
                }
                ExternalChange();
            }
        }
    }

    void StopWatcher() {
        if (!watcherRunning_) return;
        char c = 1;
        [[maybe_unused]] ssize_t w = ::write(wakePipe_[1], &c, 1);
        watcher_.join();
        ::close(wakePipe_[0]);
        ::close(wakePipe_[1]);
        ::close(inotifyFd_);
        inotifyFd_ = -1;
        watcherRunning_ = false;
    }

    std::string folder_;
    std::map<int, std::unique_ptr<Hive>> roots_;
    std::map<std::pair<int, std::string>, std::unique_ptr<Hive>> mounts_;
    std::map<std::uintptr_t, OpenKey> handles_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::vector<Watch> watches_;
    std::thread watcher_;
    bool watcherRunning_ = false;
    int inotifyFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::set<std::string> watchedFolders_;
};

Registry& State() {
    static Registry registry;
    return registry;
}

// Splits "a\b\c" into its names. One leading backslash is accepted (callers write keys as
// "\Software\..." too); an empty name inside the path is a bad path.
LONG SplitPath(LPCSTR subKey, std::vector<std::string>& parts) {
    parts.clear();
    if (!subKey || !*subKey) return ERROR_SUCCESS;
    std::string text(subKey);
    if (text[0] == '\\') text.erase(0, 1);
    if (text.empty()) return ERROR_SUCCESS;
    if (text[0] == '\\') return ERROR_BAD_PATHNAME;
    if (text.back() == '\\') text.pop_back();
    size_t start = 0;
    for (;;) {
        size_t sep = text.find('\\', start);
        std::string part = text.substr(start, sep == std::string::npos ? sep : sep - start);
        if (part.empty()) return ERROR_BAD_PATHNAME;
        if (part.size() > 255) return ERROR_INVALID_PARAMETER;
        parts.push_back(part);
        if (sep == std::string::npos) break;
        start = sep + 1;
    }
    return ERROR_SUCCESS;
}

std::vector<std::string> Join(const std::vector<std::string>& a,
                              const std::vector<std::string>& b) {
    std::vector<std::string> out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// Copies a name into a caller's buffer of `*size` characters (terminating zero included);
// on success *size is the length without the zero.
LONG CopyName(const std::string& name, LPSTR buffer, LPDWORD size) {
    if (!size) return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > *size || !buffer) {
        *size = static_cast<DWORD>(name.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Value data into a caller's buffer: the size alone when there is no buffer, ERROR_MORE_DATA
// with the needed size when the buffer is too small.
LONG CopyData(const std::string& data, LPBYTE buffer, LPDWORD size) {
    if (buffer && !size) return ERROR_INVALID_PARAMETER;
    if (!size) return ERROR_SUCCESS;
    DWORD needed = static_cast<DWORD>(data.size());
    if (!buffer) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(buffer, data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

FILETIME ToFiletime(std::uint64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

// Length of a self-relative security descriptor, 0 when it is not one.
size_t DescriptorLength(const BYTE* sd) {
    if (!sd || sd[0] != 1) return 0;
    unsigned control = sd[2] | sd[3] << 8;
    if (!(control & 0x8000)) return 0;
    auto offset = [&](int at) {
        return static_cast<size_t>(sd[at] | sd[at + 1] << 8 | sd[at + 2] << 16 |
                                   static_cast<unsigned>(sd[at + 3]) << 24);
    };
    size_t end = 20;
    for (int at : {4, 8}) {  // owner, group: SIDs
        size_t off = offset(at);
        if (!off) continue;
        if (off > 65536) return 0;
        end = std::max(end, off + 8 + 4 * static_cast<size_t>(sd[off + 1]));
    }
    for (int at : {12, 16}) {  // SACL, DACL: ACLs with their size at +2
        size_t off = offset(at);
        if (!off) continue;
        if (off > 65536) return 0;
        end = std::max(end, off + (sd[off + 2] | sd[off + 3] << 8));
    }
    return end > 65536 ? 0 : end;
}

bool IsLocalMachine(LPCSTR machine) {
    if (!machine || !*machine) return true;
    std::string name = machine;
    while (!name.empty() && name[0] == '\\')
        name.erase(0, 1);
    std::string host = orvane::shell::HostName();
    std::string shortHost = host.substr(0, host.find('.'));
    return Fold(name) == Fold(host) || Fold(name) == Fold(shortHost);
}

}  // namespace

namespace {

// Changes meant for one hive, each with its key's path inside that hive.
using ChangesInHive = std::vector<std::pair<const KeyChange*, std::vector<std::string>>>;

// Makes the changes in `root`. A key whose time the changes give keeps it.
LONG ApplyToHive(Node& root, const ChangesInHive& list) {
    const std::uint64_t now = NowFiletime();
    std::set<std::string> pinned;  // folded paths of keys with a given time
    auto Key = [](const std::vector<std::string>& path) {
        std::string key;
        for (const auto& part : path)
            key += Fold(part) + '\\';
        return key;
    };
    for (const auto& [change, inner] : list) {
        if (inner.size() > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
        switch (change->kind) {
            case KeyChange::Kind::CreateKey: {
                Node* node = &root;
                std::string walked;
                for (const auto& part : inner) {
                    Node* child = node->Child(part);
                    if (!child) {
                        if (!pinned.count(walked)) node->lastWrite = now;
                        child = node->AddChild(part);
                        child->lastWrite = now;
                    }
                    walked += Fold(part) + '\\';
                    node = child;
                }
                if (change->className) node->className = *change->className;
                if (change->security) node->security = *change->security;
                if (change->lastWrite) {
                    node->lastWrite = *change->lastWrite;
                    pinned.insert(Key(inner));
                }
                break;
            }
            case KeyChange::Kind::DeleteKey: {
                if (inner.empty()) return ERROR_ACCESS_DENIED;  // a root or a loaded hive's top
                std::vector<std::string> parentPath(inner.begin(), inner.end() - 1);
                Node* parent = Registry::Walk(&root, parentPath);
                if (parent && parent->children.erase(Fold(inner.back())) &&
                    !pinned.count(Key(parentPath)))
                    parent->lastWrite = now;
                break;
            }
            case KeyChange::Kind::SetValue:
            case KeyChange::Kind::DeleteValue: {
                Node* node = Registry::Walk(&root, inner);
                if (!node) return ERROR_FILE_NOT_FOUND;
                const std::string folded = Fold(change->value.name);
                auto it = std::find_if(node->values.begin(), node->values.end(),
                                       [&](const Value& v) { return Fold(v.name) == folded; });
                if (change->kind == KeyChange::Kind::SetValue) {
                    if (it != node->values.end()) {
                        it->type = change->value.type;
                        it->data = change->value.data;
                    } else {
                        node->values.push_back(change->value);
                    }
                } else if (it != node->values.end()) {
                    node->values.erase(it);
                } else {
                    break;
                }
                if (!pinned.count(Key(inner))) node->lastWrite = now;
                break;
            }
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace

LONG ApplyChanges(const std::vector<KeyChange>& changes) {
    std::lock_guard lock(State().mutex);
    Registry& reg = State();
    std::vector<std::pair<Hive*, ChangesInHive>> byHive;
    for (const KeyChange& change : changes) {
        OpenKey root;
        if (LONG r = reg.Resolve(change.root, root)) return r;
        if (!root.path.empty() || root.root == kPerformance) return ERROR_INVALID_HANDLE;
        Location loc = reg.Locate(root.root, change.path);
        auto it = std::find_if(byHive.begin(), byHive.end(),
                               [&](const auto& entry) { return entry.first == loc.hive; });
        if (it == byHive.end()) it = byHive.insert(byHive.end(), {loc.hive, ChangesInHive{}});
        it->second.push_back({&change, std::move(loc.inner)});
    }
    for (auto& entry : byHive) {
        // Not a structured binding: clang before 16 cannot capture those in a lambda.
        const ChangesInHive& work = entry.second;
        LONG r = reg.Write(*entry.first, [&](Node& root) {
            // Made on a copy, so a change that fails half-way leaves the hive as it was.
            std::unique_ptr<Node> copy = root.Clone();
            if (LONG failed = ApplyToHive(*copy, work)) return failed;
            root.className = std::move(copy->className);
            root.lastWrite = copy->lastWrite;
            root.security = std::move(copy->security);
            root.values = std::move(copy->values);
            root.children = std::move(copy->children);
            return ERROR_SUCCESS;
        });
        if (r) return r;
    }
    return ERROR_SUCCESS;
}

std::string RegistryFolder() {
    std::lock_guard lock(State().mutex);
    return State().Folder() + "/";
}

void ResetForTesting() { State().Reset(); }

}  // namespace orvane::registry

using orvane::registry::Fold;
using orvane::registry::Node;
using orvane::registry::OpenKey;
using orvane::registry::Registry;
using orvane::registry::State;
using orvane::registry::Value;

namespace {
using orvane::registry::kLocalMachine;
using orvane::registry::kPerformance;
using orvane::registry::kUsers;

// The key a handle names, locked state and all; every call below starts here.
struct Call {
    Registry& reg = State();
    std::unique_lock<std::mutex> lock{State().mutex};
    OpenKey key;
    LONG status = ERROR_SUCCESS;

    explicit Call(HKEY h) { status = reg.Resolve(h, key); }
    bool Performance() const { return key.root == kPerformance; }
    // The node of the key; nullptr with ERROR_KEY_DELETED when it went away.
    Node* Node_() {
        Node* n = reg.Find(key.root, key.path);
        // A root always exists; only HKEY_CLASSES_ROOT can lack its key before it is created.
        if (!n) status = key.path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        return n;
    }
};
}  // namespace

LONG RegConnectRegistryA(LPCSTR machineName, HKEY key, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    auto value = reinterpret_cast<std::uintptr_t>(key);
    if (value < 0x80000000u || value > 0x80000006u) return ERROR_INVALID_HANDLE;
    if (!orvane::registry::IsLocalMachine(machineName)) return ERROR_BAD_NETPATH;
    if (key == HKEY_DYN_DATA) return ERROR_INVALID_HANDLE;
    *result = key;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Call call(hKey);
    if (call.status) return call.status;
    std::vector<std::string> parts;
    if (LONG r = orvane::registry::SplitPath(subKey, parts)) return r;
    if (call.Performance()) {
        if (!parts.empty()) return ERROR_FILE_NOT_FOUND;
        *result = hKey;
        return ERROR_SUCCESS;
    }
    if (!call.key.path.empty() && !call.Node_()) return call.status;
    OpenKey opened{call.key.root, orvane::registry::Join(call.key.path, parts), desired};
    orvane::registry::Location loc = call.reg.Locate(opened.root, opened.path);
    if (!Registry::Walk(loc.hive->root.get(), loc.inner)) return ERROR_FILE_NOT_FOUND;
    if ((desired & orvane::registry::kWriteRights) && orvane::registry::HiveReadOnly(*loc.hive))
        return ERROR_ACCESS_DENIED;
    *result = call.reg.NewHandle(opened);
    return ERROR_SUCCESS;
}

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    return RegOpenKeyExA(key, subKey, 0, KEY_ALL_ACCESS, result);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR subKey, DWORD, LPSTR className, DWORD, REGSAM desired,
                     LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition) {
    if (!result || !subKey) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_ACCESS_DENIED;
    std::vector<std::string> parts;
    if (LONG r = orvane::registry::SplitPath(subKey, parts)) return r;
    if (!call.key.path.empty() && !call.Node_()) return call.status;
    OpenKey opened{call.key.root, orvane::registry::Join(call.key.path, parts), desired};
    orvane::registry::Location loc = call.reg.Locate(opened.root, opened.path);
    bool existed = Registry::Walk(loc.hive->root.get(), loc.inner) != nullptr;
    if (!existed && loc.inner.size() > orvane::registry::kMaxKeyDepth)
        return ERROR_INVALID_PARAMETER;
    if (!existed) {
        if (!(call.key.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
        std::string cls = className ? className : "";
        std::string sd;
        if (security && security->lpSecurityDescriptor) {
            auto* bytes = static_cast<const BYTE*>(security->lpSecurityDescriptor);
            size_t len = orvane::registry::DescriptorLength(bytes);
            if (!len) return ERROR_INVALID_SECURITY_DESCR;
            sd.assign(reinterpret_cast<const char*>(bytes), len);
        }
        std::vector<std::string> inner = loc.inner;
        LONG r = call.reg.Write(*loc.hive, [&](Node& root) {
            Node* node = &root;
            std::uint64_t now = orvane::registry::NowFiletime();
            for (size_t i = 0; i < inner.size(); ++i) {
                Node* child = node->Child(inner[i]);
                if (!child) {
                    node->lastWrite = now;
                    child = node->AddChild(inner[i]);
                    child->lastWrite = now;
                    if (i + 1 == inner.size()) {
                        child->className = cls;
                        child->security = sd;
                    }
                }
                node = child;
            }
            return ERROR_SUCCESS;
        });
        if (r) return r;
    } else if ((desired & orvane::registry::kWriteRights) &&
               orvane::registry::HiveReadOnly(*loc.hive)) {
        return ERROR_ACCESS_DENIED;
    }
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *result = call.reg.NewHandle(opened);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    return RegCreateKeyExA(key, subKey ? subKey : "", 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, result, nullptr);
}

LONG RegCloseKey(HKEY key) {
    auto value = reinterpret_cast<std::uintptr_t>(key);
    if (value >= 0x80000000u && value <= 0x80000006u) return ERROR_SUCCESS;
    std::lock_guard lock(State().mutex);
    bool found = false;
    State().CloseHandle(value, found);
    return found ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_ACCESS_DENIED;
    std::vector<std::string> parts;
    if (LONG r = orvane::registry::SplitPath(subKey, parts)) return r;
    if (!call.Node_()) return call.status;
    std::vector<std::string> full = orvane::registry::Join(call.key.path, parts);
    orvane::registry::Location loc = call.reg.Locate(call.key.root, full);
    if (loc.inner.empty()) return ERROR_ACCESS_DENIED;  // a root or a loaded hive's top key
    Node* node = Registry::Walk(loc.hive->root.get(), loc.inner);
    if (!node) return ERROR_FILE_NOT_FOUND;
    if (!node->children.empty()) return ERROR_ACCESS_DENIED;
    std::vector<std::string> inner = loc.inner;
    return call.reg.Write(*loc.hive, [&](Node& root) {
        std::vector<std::string> parentPath(inner.begin(), inner.end() - 1);
        Node* parent = Registry::Walk(&root, parentPath);
        if (!parent || !parent->Child(inner.back())) return ERROR_FILE_NOT_FOUND;
        if (!parent->Child(inner.back())->children.empty()) return ERROR_ACCESS_DENIED;
        parent->children.erase(Fold(inner.back()));
        parent->lastWrite = orvane::registry::NowFiletime();
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR valueName) {
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_ACCESS_DENIED;
    if (!(call.key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    Node* node = call.Node_();
    if (!node) return call.status;
    std::string name = valueName ? valueName : "";
    if (!node->FindValue(name)) return ERROR_FILE_NOT_FOUND;
    orvane::registry::Location loc = call.reg.Locate(call.key.root, call.key.path);
    return call.reg.Write(*loc.hive, [&](Node& root) {
        Node* n = Registry::Walk(&root, loc.inner);
        if (!n) return ERROR_KEY_DELETED;
        std::string folded = Fold(name);
        auto it = std::find_if(n->values.begin(), n->values.end(),
                               [&](const Value& v) { return Fold(v.name) == folded; });
        if (it == n->values.end()) return ERROR_FILE_NOT_FOUND;
        n->values.erase(it);
        n->lastWrite = orvane::registry::NowFiletime();
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExA(HKEY hKey, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD, LPSTR className,
                   LPDWORD classSize, PFILETIME lastWriteTime) {
    if (!name || !nameSize) return ERROR_INVALID_PARAMETER;
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_NO_MORE_ITEMS;
    if (!(call.key.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    Node* node = call.Node_();
    if (!node) return call.status;
    auto children = call.reg.Children(call.key.root, call.key.path, node);
    if (index >= children.size()) return ERROR_NO_MORE_ITEMS;
    const auto& [childName, child] = children[index];
    if (className && classSize) {
        if (LONG r = orvane::registry::CopyName(child->className, className, classSize)) return r;
    }
    if (lastWriteTime) *lastWriteTime = orvane::registry::ToFiletime(child->lastWrite);
    return orvane::registry::CopyName(childName, name, nameSize);
}

LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize) {
    return RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY hKey, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    if (!valueName || !valueNameSize) return ERROR_INVALID_PARAMETER;
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_NO_MORE_ITEMS;
    if (!(call.key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    Node* node = call.Node_();
    if (!node) return call.status;
    if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
    const Value& v = node->values[index];
    if (LONG r = orvane::registry::CopyName(v.name, valueName, valueNameSize)) return r;
    if (type) *type = v.type;
    return orvane::registry::CopyData(v.data, data, dataSize);
}

LONG RegFlushKey(HKEY hKey) {
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_SUCCESS;
    // Every change is already on disk, synced, when its call returns.
    return call.Node_() ? ERROR_SUCCESS : call.status;
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR className, LPDWORD classSize, LPDWORD, LPDWORD subKeys,
                      LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                      LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityDescriptorSize,
                      PFILETIME lastWriteTime) {
    Call call(hKey);
    if (call.status) return call.status;
    Node empty;
    Node* node = call.Performance() ? &empty : call.Node_();
    if (!node) return call.status;
    auto children = call.Performance() ? std::vector<std::pair<std::string, const Node*>>{}
                                       : call.reg.Children(call.key.root, call.key.path, node);
    DWORD longestName = 0, longestClass = 0, longestValueName = 0, longestData = 0;
    for (const auto& [name, child] : children) {
        longestName = std::max<DWORD>(longestName, static_cast<DWORD>(name.size()));
        longestClass = std::max<DWORD>(longestClass, static_cast<DWORD>(child->className.size()));
    }
    for (const auto& v : node->values) {
        longestValueName = std::max<DWORD>(longestValueName, static_cast<DWORD>(v.name.size()));
        longestData = std::max<DWORD>(longestData, static_cast<DWORD>(v.data.size()));
    }
    if (className) {
        if (LONG r = orvane::registry::CopyName(node->className, className, classSize)) return r;
    } else if (classSize) {
        *classSize = static_cast<DWORD>(node->className.size());
    }
    if (subKeys) *subKeys = static_cast<DWORD>(children.size());
    if (maxSubKeyLen) *maxSubKeyLen = longestName;
    if (maxClassLen) *maxClassLen = longestClass;
    if (values) *values = static_cast<DWORD>(node->values.size());
    if (maxValueNameLen) *maxValueNameLen = longestValueName;
    if (maxValueLen) *maxValueLen = longestData;
    if (securityDescriptorSize)
        *securityDescriptorSize =
            static_cast<DWORD>(node->security.empty() ? orvane::registry::kDefaultSecurity.size()
                                                      : node->security.size());
    if (lastWriteTime) *lastWriteTime = orvane::registry::ToFiletime(node->lastWrite);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_FILE_NOT_FOUND;
    if (!(call.key.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    Node* node = call.Node_();
    if (!node) return call.status;
    Value* v = node->FindValue(valueName ? valueName : "");
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    return orvane::registry::CopyData(v->data, data, dataSize);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    std::string name = valueName ? valueName : "";
    if (name.size() > 16383) return ERROR_INVALID_PARAMETER;
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_ACCESS_DENIED;
    if (!(call.key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!call.Node_()) return call.status;
    std::string bytes(reinterpret_cast<const char*>(data), dataSize);
    orvane::registry::Location loc = call.reg.Locate(call.key.root, call.key.path);
    return call.reg.Write(*loc.hive, [&](Node& root) {
        Node* n = Registry::Walk(&root, loc.inner);
        if (!n) return ERROR_KEY_DELETED;
        if (Value* v = n->FindValue(name)) {
            v->type = type;
            v->data = bytes;
        } else {
            n->values.push_back(Value{name, type, bytes});
        }
        n->lastWrite = orvane::registry::NowFiletime();
        return ERROR_SUCCESS;
    });
}

LONG RegLoadKeyA(HKEY key, LPCSTR subKey, LPCSTR file) {
    if (!subKey || !*subKey || !file || !*file || std::strchr(subKey, '\\'))
        return ERROR_INVALID_PARAMETER;
    if (key != HKEY_USERS && key != HKEY_LOCAL_MACHINE) return ERROR_INVALID_PARAMETER;
    if (std::strlen(subKey) > 255) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(State().mutex);
    return State().LoadMount(key == HKEY_USERS ? kUsers : kLocalMachine, subKey, file);
}

LONG RegUnLoadKeyA(HKEY key, LPCSTR subKey) {
    if (!subKey || !*subKey) return ERROR_INVALID_PARAMETER;
    if (key != HKEY_USERS && key != HKEY_LOCAL_MACHINE) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(State().mutex);
    return State().Unmount(key == HKEY_USERS ? kUsers : kLocalMachine, subKey);
}

LONG RegSaveKeyA(HKEY hKey, LPCSTR file, LPSECURITY_ATTRIBUTES) {
    if (!file || !*file) return ERROR_INVALID_PARAMETER;
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_ACCESS_DENIED;
    Node* node = call.Node_();
    if (!node) return call.status;
    std::string label =
        call.key.path.empty() ? orvane::registry::kRootNames[call.key.root] : call.key.path.back();
    return orvane::registry::WriteFileAtomically(file, orvane::registry::Serialize(*node, label),
                                                 true);
}

namespace {
// Reads a key file written by RegSaveKeyA; the Win32 result on failure.
LONG ReadKeyFile(LPCSTR file, std::unique_ptr<Node>& out) {
    std::string text;
    orvane::registry::FileId id;
    if (!file || !*file) return ERROR_INVALID_PARAMETER;
    const orvane::fs::Status read = orvane::registry::ReadWhole(file, text, id);
    if (read.kind == orvane::fs::Status::Kind::Missing) return ERROR_FILE_NOT_FOUND;
    if (read.kind == orvane::fs::Status::Kind::NotRegularFile ||
        read.kind == orvane::fs::Status::Kind::TooLarge)
        return ERROR_BADDB;
    if (!read) return ERROR_ACCESS_DENIED;
    orvane::registry::ParseResult parsed = orvane::registry::Parse(text);
    if (!parsed.root) return ERROR_BADDB;
    out = std::move(parsed.root);
    return ERROR_SUCCESS;
}
}  // namespace

LONG RegRestoreKeyA(HKEY hKey, LPCSTR file, DWORD) {
    std::unique_ptr<Node> saved;
    if (LONG r = ReadKeyFile(file, saved)) return r;
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_ACCESS_DENIED;
    if (!(call.key.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!call.Node_()) return call.status;
    orvane::registry::Location loc = call.reg.Locate(call.key.root, call.key.path);
    if (loc.inner.size() + saved->Depth() > orvane::registry::kMaxKeyDepth)
        return ERROR_INVALID_PARAMETER;
    return call.reg.Write(*loc.hive, [&](Node& root) {
        Node* n = Registry::Walk(&root, loc.inner);
        if (!n) return ERROR_KEY_DELETED;
        n->values = std::move(saved->values);
        n->children = std::move(saved->children);
        n->className = saved->className;
        n->security = saved->security;
        n->lastWrite = orvane::registry::NowFiletime();
        return ERROR_SUCCESS;
    });
}

LONG RegReplaceKeyA(HKEY hKey, LPCSTR subKey, LPCSTR newFile, LPCSTR oldFile) {
    if (!newFile || !*newFile || !oldFile || !*oldFile) return ERROR_INVALID_PARAMETER;
    std::unique_ptr<Node> replacement;
    if (LONG r = ReadKeyFile(newFile, replacement)) return r;
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_ACCESS_DENIED;
    std::vector<std::string> parts;
    if (LONG r = orvane::registry::SplitPath(subKey, parts)) return r;
    std::vector<std::string> full = orvane::registry::Join(call.key.path, parts);
    orvane::registry::Location loc = call.reg.Locate(call.key.root, full);
    // Only the top key of a hive is backed by a file of its own.
    if (!loc.inner.empty()) return ERROR_INVALID_PARAMETER;
    orvane::registry::Hive& hive = *loc.hive;
    if (orvane::registry::HiveReadOnly(hive)) return ERROR_ACCESS_DENIED;
    orvane::registry::FolderLock folderLock(orvane::registry::FolderOfFile(hive.file));
    call.reg.Refresh(hive);
    // The old content goes to oldFile first; the hive then takes the new file's content.
    LONG r = orvane::registry::WriteFileAtomically(
        oldFile, orvane::registry::Serialize(*hive.root, hive.label), true);
    if (r) return r;
    replacement->name = hive.label;
    r = orvane::registry::WriteFileAtomically(
        hive.file, orvane::registry::Serialize(*replacement, hive.label), false);
    if (r) return r;
    hive.loaded = false;
    call.reg.Refresh(hive);
    call.reg.CheckWatches();
    return ERROR_SUCCESS;
}

LONG RegNotifyChangeKeyValue(HKEY hKey, BOOL watchSubtree, DWORD filter, HANDLE event,
                             BOOL asynchronous) {
    constexpr DWORD kThreadAgnostic = 0x10000000;
    if (!(filter & 0xF) || (filter & ~(0xFu | kThreadAgnostic))) return ERROR_INVALID_PARAMETER;
    if (asynchronous && !event) return ERROR_INVALID_PARAMETER;
    HANDLE own = nullptr;
    {
        Call call(hKey);
        if (call.status) return call.status;
        if (call.Performance()) return ERROR_INVALID_HANDLE;
        if (!(call.key.access & KEY_NOTIFY)) return ERROR_ACCESS_DENIED;
        if (!call.Node_()) return call.status;
        if (!asynchronous) own = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        orvane::registry::Watch watch;
        watch.root = call.key.root;
        watch.path = call.key.path;
        watch.subtree = watchSubtree != FALSE;
        watch.filter = filter & 0xF;
        watch.event = asynchronous ? event : own;
        watch.snapshot = call.reg.SnapshotOf(watch.root, watch.path, watch.filter, watch.subtree);
        call.reg.AddWatch(std::move(watch));
    }
    if (own) {
        WaitForSingleObject(own, INFINITE);
        CloseHandle(own);
    }
    return ERROR_SUCCESS;
}

LONG RegGetKeySecurity(HKEY hKey, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor,
                       LPDWORD descriptorSize) {
    if (!descriptorSize) return ERROR_INVALID_PARAMETER;
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_INVALID_HANDLE;
    Node* node = call.Node_();
    if (!node) return call.status;
    const std::string& sd =
        node->security.empty() ? orvane::registry::kDefaultSecurity : node->security;
    if (!descriptor || *descriptorSize < sd.size()) {
        *descriptorSize = static_cast<DWORD>(sd.size());
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(descriptor, sd.data(), sd.size());
    *descriptorSize = static_cast<DWORD>(sd.size());
    return ERROR_SUCCESS;
}

LONG RegSetKeySecurity(HKEY hKey, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor) {
    if (!descriptor) return ERROR_INVALID_PARAMETER;
    size_t len = orvane::registry::DescriptorLength(static_cast<const BYTE*>(descriptor));
    if (!len) return ERROR_INVALID_SECURITY_DESCR;
    std::string sd(static_cast<const char*>(descriptor), len);
    Call call(hKey);
    if (call.status) return call.status;
    if (call.Performance()) return ERROR_INVALID_HANDLE;
    if (!call.Node_()) return call.status;
    orvane::registry::Location loc = call.reg.Locate(call.key.root, call.key.path);
    return call.reg.Write(*loc.hive, [&](Node& root) {
        Node* n = Registry::Walk(&root, loc.inner);
        if (!n) return ERROR_KEY_DELETED;
        n->security = sd;
        return ERROR_SUCCESS;
    });
}

BOOL GetComputerNameA(LPSTR buffer, LPDWORD size) {
    if (!size) return FALSE;
    std::string host = orvane::shell::HostName();
    host = host.substr(0, host.find('.'));
    if (!buffer || *size < host.size() + 1) {
        *size = static_cast<DWORD>(host.size() + 1);
        return FALSE;
    }
    std::memcpy(buffer, host.c_str(), host.size() + 1);
    *size = static_cast<DWORD>(host.size());
    return TRUE;
}
