#pragma once
// Reading and writing files safely, in one place for the whole toolkit.
//
// Reading: only regular files are read; the file is opened without blocking (a FIFO or a device
// named like the file cannot stall the reader) and read up to a limit the caller gives, so
// nothing reads an endless input whole.
//
// Writing: a file is replaced whole or not at all. The bytes go to a hidden temporary file in the
// same folder (".<name>.tmp-<pid>-<n>"), which is synced and renamed over the target, and the
// folder is synced. On any failure the old file stays as it was and the temporary file is
// removed; a writer killed half-way leaves only its temporary file, which SweepStaleTemps
// clears on a later run.
//
// The system calls of the writers go through FileOps, so tests can simulate a full disk or a
// crash between writing and renaming.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::fs {

// The outcome of an operation: Ok, or what went wrong with the errno and a message naming the
// file ("Cannot write /a/b: No space left on device").
struct Status {
    enum class Kind { Ok, Missing, NotRegularFile, TooLarge, Failed };
    Kind kind = Kind::Ok;
    int code = 0;  // errno of the failure
    std::string message;

    bool ok() const { return kind == Kind::Ok; }
    explicit operator bool() const { return ok(); }
};

// The system calls a writer makes. The default forwards to the system.
class FileOps {
public:
    virtual ~FileOps() = default;
    // ::write when offset < 0, else ::pwrite at offset.
    virtual ssize_t Write(int fd, const void* data, std::size_t bytes, off_t offset);
    virtual int Sync(int fd);
    virtual int Rename(const char* from, const char* to);
};
FileOps& SystemOps();

// Opens a regular file for reading (O_NONBLOCK, close-on-exec) and refuses anything else with
// Kind::NotRegularFile. Returns the descriptor, or -1 with `status` filled. `info` receives the
// opened file's fstat when given.
int OpenForReading(const std::string& path, Status& status, struct stat* info = nullptr);

// Reads a whole regular file of at most `maxBytes` bytes into `bytes`; a larger one (even one
// that grows while it is read) gives Kind::TooLarge and leaves `bytes` empty. `info` receives
// the fstat of the file that was read.
Status ReadFile(const std::string& path, std::size_t maxBytes, std::string& bytes,
                struct stat* info = nullptr);

// Writes all `bytes` to `fd` (at `offset` when it is not negative), going on after EINTR and
// short writes. False with errno set when the descriptor takes no more.
bool WriteAll(int fd, const void* data, std::size_t bytes, off_t offset = -1,
              FileOps& ops = SystemOps());

struct WriteOptions {
    unsigned mode = 0666;    // permission bits of a new file; the umask applies
    bool keepMode = true;    // a replaced file keeps its permission bits
    bool mustBeNew = false;  // refuse (EEXIST) rather than replace an existing file, also
                             // one that another writer puts there while this one writes
    FileOps* ops = nullptr;  // nullptr: SystemOps()
};

// A file written piece by piece that appears under its name only when Commit succeeds. The
// destructor discards an uncommitted file. A symbolic link at the path is written through: its
// target is replaced, the link stays.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    Status Open(const std::string& path, const WriteOptions& options = {});
    Status Write(const void* data, std::size_t bytes);
    Status WriteAt(std::int64_t offset, const void* data, std::size_t bytes);
    // Writes what is left to read of fd (named source in messages), to its end.
    Status CopyFrom(int fd, const std::string& source);
    // Syncs, renames over the target and syncs the folder; discards the file on failure.
    Status Commit();
    void Discard();

    std::int64_t size() const { return size_; }
    const std::string& tempPath() const { return tempPath_; }

    // Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of every AtomicFile that is
    // open (up to 64 at once) before the process ends. first, when given, runs before that
    // with the signal's number; it must be async-signal-safe.
    static void InstallSignalCleanup(void (*first)(int) = nullptr);

private:
    Status Fail(const char* what);

    int fd_ = -1;
    std::string path_;  // the file to replace (a link's target)
    std::string tempPath_;
    std::int64_t size_ = 0;
    WriteOptions options_;
    int signalSlot_ = -1;  // where the signal handler finds tempPath_
};

// Renames from to to unless a file (or any name) is at to already; false with errno set
// (EEXIST for a taken name) when nothing was renamed. Never replaces what is there, also when
// another process takes the name at the same moment.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Names a file of the program's own that the signal clean-up of AtomicFile removes too (a
// scratch file that is not an AtomicFile's); returns the handle for KeepOnSignal, -1 when the
// file cannot be named (it then stays after a signal).
int RemoveOnSignal(const std::string& path);
// The file of handle stays after a signal again; handle becomes -1.
void KeepOnSignal(int& handle);

// Replaces (or creates) `path` with `bytes`, whole or not at all.
Status WriteFileAtomically(const std::string& path, std::string_view bytes,
                           const WriteOptions& options = {});

// Copies the regular file from to path through an AtomicFile, in pieces (never read whole).
Status CopyFileAtomically(const std::string& from, const std::string& path,
                          const WriteOptions& options = {});

// Removes the temporary files writers left in `folder` when they ended without finishing: those
// named like ours (for `forName` only, or any name when it is empty), owned by this user, whose
// writer process is gone and which were not changed for `minAgeSeconds`. Returns how many.
int SweepStaleTemps(const std::string& folder, const std::string& forName = {},
                    int minAgeSeconds = 60);

// The size of what is being written to `path`: the newest temporary file beside it of a writer
// still running, else the file itself (0 when there is none). For progress shown by watching
// an output grow, which works the same whether the output is new or replaces a file.
std::int64_t SizeBeingWritten(const std::string& path);

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path);

}  // namespace orvane::fs
