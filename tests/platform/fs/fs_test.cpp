#include "platform/fs/fs.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace orvane::test {
namespace {

using orvane::fs::AtomicFile;
using orvane::fs::FileOps;
using orvane::fs::Status;
using orvane::fs::WriteFileAtomically;
using orvane::fs::WriteOptions;

std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

unsigned ModeOf(const std::filesystem::path& file) {
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0);
    return st.st_mode & 0777;
}

// A disk that takes `room` bytes, a few at a time with interruptions, and then is full.
class FullDisk : public FileOps {
public:
    explicit FullDisk(std::size_t room) : room_(room) {}
    ssize_t Write(int fd, const void* data, std::size_t bytes, off_t offset) override {
        if (interrupt_ = !interrupt_; interrupt_) {
            errno = EINTR;
            return -1;
        }
        if (room_ == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t now = std::min({bytes, room_, std::size_t{3}});
        room_ -= now;
        return FileOps::Write(fd, data, now, offset);
    }

private:
    std::size_t room_;
    bool interrupt_ = false;
};

// Syncing fails as it does after a delayed write error.
class FailingSync : public FileOps {
public:
    int Sync(int) override {
        errno = EIO;
        return -1;
    }
};

// The process dies where the rename would be.
class CrashBeforeRename : public FileOps {
public:
    int Rename(const char*, const char*) override { ::_exit(7); }
};

TEST(AtomicWrite, ReplacesWholeThroughShortAndInterruptedWrites) {
    TempDir dir;
    const auto file = dir / "settings.reg";
    WriteFile(file, "old");
    const std::string text(1000, 'x');
    FullDisk roomy(1 << 20);
    WriteOptions options;
    options.ops = &roomy;
    ASSERT_TRUE(WriteFileAtomically(file.string(), text, options));
    EXPECT_EQ(ReadFile(file), text);
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"settings.reg"});
}

TEST(AtomicWrite, AFullDiskOrAFailedSyncLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    const auto file = dir / "Nerop.DB";
    WriteFile(file, "the old names");
    FullDisk full(100);
    WriteOptions options;
    options.ops = &full;
    Status status = WriteFileAtomically(file.string(), std::string(5000, 'n'), options);
    EXPECT_FALSE(status);
    EXPECT_EQ(status.code, ENOSPC);
    EXPECT_NE(status.message.find(file.string()), std::string::npos) << status.message;
    EXPECT_EQ(ReadFile(file), "the old names");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"Nerop.DB"});

    FailingSync badSync;
    options.ops = &badSync;
    status = WriteFileAtomically(file.string(), "new", options);
    EXPECT_EQ(status.code, EIO);
    EXPECT_EQ(ReadFile(file), "the old names");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"Nerop.DB"});

    // A file given up half-way (an encoder that failed) leaves nothing either.
    {
        AtomicFile out;
        ASSERT_TRUE(out.Open((dir / "song.mp3").string()));
        ASSERT_TRUE(out.Write("abc", 3));
    }
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"Nerop.DB"});
}

TEST(AtomicWrite, AnUnwritableFolderFailsAndKeepsTheFile) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const auto folder = dir / "locked";
    std::filesystem::create_directory(folder);
    WriteFile(folder / "a.reg", "kept");
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    // Root may write anywhere: the write is tried as an ordinary user then.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        const Status status = WriteFileAtomically((folder / "a.reg").string(), "new");
        ::_exit(!status && status.code == EACCES &&
                        status.message.find("a.reg") != std::string::npos
                    ? 0
                    : 1);
    }
    int wstatus = 0;
    ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
    EXPECT_EQ(ReadFile(folder / "a.reg"), "kept");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"a.reg"});
}

TEST(AtomicWrite, ACrashBeforeTheRenameLeavesTheOldFileAndTheNextRunSweeps) {
    TempDir dir;
    const auto file = dir / "out.wav";
    WriteFile(file, "previous decode");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CrashBeforeRename crash;
        WriteOptions options;
        options.ops = &crash;
        WriteFileAtomically(file.string(), "half of a new decode", options);
        ::_exit(0);
    }
    int wstatus = 0;
    ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
    ASSERT_EQ(WEXITSTATUS(wstatus), 7);
    EXPECT_EQ(ReadFile(file), "previous decode");
    auto names = Names(dir.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].rfind(".out.wav.tmp-" + std::to_string(pid) + "-", 0), 0u) << names[0];

    // Others' files and temporary files of writers still running are left alone; so is a
    // dead writer's file younger than the age asked for.
    WriteFile(dir / ".other.mp3.tmp-x-1", "not ours");
    WriteFile(dir / ("song.mp3.tmp-" + std::to_string(pid) + "-1"), "not hidden");
    WriteFile(dir / (".live.mp3.tmp-" + std::to_string(::getpid()) + "-3"), "in progress");
    EXPECT_EQ(orvane::fs::SweepStaleTemps(dir.path().string(), {}, 3600), 0);
    EXPECT_EQ(orvane::fs::SweepStaleTemps(dir.path().string(), "other.wav", 0), 0);
    EXPECT_EQ(orvane::fs::SweepStaleTemps(dir.path().string(), {}, 0), 1);
    EXPECT_EQ(Names(dir.path()),
              (std::vector<std::string>{".live.mp3.tmp-" + std::to_string(::getpid()) + "-3",
                                        ".other.mp3.tmp-x-1", "out.wav",
                                        "song.mp3.tmp-" + std::to_string(pid) + "-1"}));
}

// A program writing several files at once (a batch running files side by side), ended by a
// signal: none of its temporary files and none of the scratch files it named stays.
TEST(AtomicWrite, ASignalRemovesEveryFileBeingWrittenAndNamedScratch) {
    for (int sig : {SIGINT, SIGTERM}) {
        TempDir dir;
        WriteFile(dir / "b.flac", "the user's b");
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            AtomicFile::InstallSignalCleanup();
            AtomicFile a, b, c;
            a.Open((dir / "a.flac").string());
            b.Open((dir / "b.flac").string());
            c.Open((dir / "c.flac").string());
            b.Write("half", 4);
            c.Discard();  // given up before: its slot is free again
            WriteFile(dir / ".scratch-track1.wav", "grabbed");
            WriteFile(dir / ".scratch-track2.wav", "grabbed and kept");
            orvane::fs::RemoveOnSignal((dir / ".scratch-track1.wav").string());
            int kept = orvane::fs::RemoveOnSignal((dir / ".scratch-track2.wav").string());
            orvane::fs::KeepOnSignal(kept);
            EXPECT_EQ(kept, -1);
            (void)!::write(ready[1], "x", 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char x;
        ASSERT_EQ(::read(ready[0], &x, 1), 1);
        ::close(ready[0]);
        ASSERT_EQ(Names(dir.path()).size(), 5u);
        ::kill(pid, sig);
        int wstatus = 0;
        ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == sig);
        EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{".scratch-track2.wav", "b.flac"}));
        EXPECT_EQ(ReadFile(dir / "b.flac"), "the user's b");
    }
}

TEST(AtomicWrite, KeepsPermissionsLinksAndRefusesToReplaceWhenAsked) {
    TempDir dir;
    const auto file = dir / "Nerop.DB";
    WriteFile(file, "v1");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(file.string(), "v2"));
    EXPECT_EQ(ModeOf(file), 0640u);

    const mode_t mask = ::umask(022);
    WriteOptions privateFile;
    privateFile.mode = 0600;
    ASSERT_TRUE(WriteFileAtomically((dir / "new.reg").string(), "x", privateFile));
    ASSERT_TRUE(WriteFileAtomically((dir / "plain").string(), "x"));
    ::umask(mask);
    EXPECT_EQ(ModeOf(dir / "new.reg"), 0600u);
    EXPECT_EQ(ModeOf(dir / "plain"), 0644u);

    // A link to the file stays a link; the file it points at gets the content.
    std::filesystem::create_symlink("Nerop.DB", dir / "link.DB");
    ASSERT_TRUE(WriteFileAtomically((dir / "link.DB").string(), "v3"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.DB"));
    EXPECT_EQ(ReadFile(file), "v3");

    WriteOptions onlyNew;
    onlyNew.mustBeNew = true;
    EXPECT_EQ(WriteFileAtomically(file.string(), "v4", onlyNew).code, EEXIST);
    EXPECT_EQ(ReadFile(file), "v3");
    EXPECT_FALSE(WriteFileAtomically(dir.path().string(), "a folder", {}));
    EXPECT_EQ(Names(dir.path()),
              (std::vector<std::string>{"Nerop.DB", "link.DB", "new.reg", "plain"}));
}

TEST(AtomicWrite, ANewFileNeverTakesANameSomeoneTookMeanwhile) {
    TempDir dir;
    WriteOptions onlyNew;
    onlyNew.mustBeNew = true;
    // Free when the writer opens, taken before it commits: the other file stays.
    AtomicFile mine;
    ASSERT_TRUE(mine.Open((dir / "Rip.log").string(), onlyNew));
    ASSERT_TRUE(mine.Write("mine", 4));
    WriteFile(dir / "Rip.log", "theirs");
    const Status status = mine.Commit();
    EXPECT_EQ(status.code, EEXIST) << status.message;
    EXPECT_EQ(ReadFile(dir / "Rip.log"), "theirs");
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"Rip.log"});
    // A dangling link holds its name too.
    std::filesystem::create_symlink("nowhere", dir / "link");
    EXPECT_EQ(WriteFileAtomically((dir / "link").string(), "x", onlyNew).code, EEXIST);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));

    // The moving itself: never onto a taken name.
    WriteFile(dir / "a", "a");
    WriteFile(dir / "b", "b");
    EXPECT_FALSE(orvane::fs::RenameNoReplace((dir / "a").string(), (dir / "b").string()));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFile(dir / "b"), "b");
    EXPECT_TRUE(orvane::fs::RenameNoReplace((dir / "a").string(), (dir / "c").string()));
    EXPECT_EQ(ReadFile(dir / "c"), "a");
    EXPECT_FALSE(std::filesystem::exists(dir / "a"));
}

TEST(AtomicWrite, PiecesAndLaterPatchesLandInTheFile) {
    TempDir dir;
    AtomicFile out;
    ASSERT_TRUE(out.Open((dir / "a.mp3").string()));
    ASSERT_TRUE(out.Write("....body", 8));
    ASSERT_TRUE(out.WriteAt(0, "HEAD", 4));
    EXPECT_EQ(out.size(), 8);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.mp3"));
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(ReadFile(dir / "a.mp3"), "HEADbody");
}

// A copy lands whole under its new name; a name taken, a missing or special source is refused
// and leaves nothing behind.
TEST(AtomicWrite, CopiesLandWholeAndNeverTakeATakenName) {
    TempDir dir;
    const std::string big(3 << 20, 'x');
    WriteFile(dir / "from", big + "end");
    WriteOptions fresh;
    fresh.mustBeNew = true;
    ASSERT_TRUE(
        orvane::fs::CopyFileAtomically((dir / "from").string(), (dir / "to").string(), fresh));
    EXPECT_TRUE(ReadFile(dir / "to") == big + "end");
    WriteFile(dir / "taken", "mine");
    EXPECT_FALSE(
        orvane::fs::CopyFileAtomically((dir / "from").string(), (dir / "taken").string(), fresh));
    EXPECT_EQ(ReadFile(dir / "taken"), "mine");
    const Status missing =
        orvane::fs::CopyFileAtomically((dir / "gone").string(), (dir / "other").string(), fresh);
    EXPECT_EQ(missing.kind, Status::Kind::Missing);
    EXPECT_FALSE(orvane::fs::CopyFileAtomically("/dev/zero", (dir / "zero").string(), fresh));
    EXPECT_FALSE(std::filesystem::exists(dir / "other"));
    EXPECT_FALSE(std::filesystem::exists(dir / "zero"));
}

TEST(ReadWhole, ReadsRegularFilesWithinTheLimitOnly) {
    TempDir dir;
    const auto file = dir / "hive.reg";
    WriteFile(file, std::string(100, 'a'));
    std::string bytes;
    ASSERT_TRUE(orvane::fs::ReadFile(file.string(), 100, bytes));
    EXPECT_EQ(bytes, std::string(100, 'a'));
    Status status = orvane::fs::ReadFile(file.string(), 99, bytes);
    EXPECT_EQ(status.kind, Status::Kind::TooLarge);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(orvane::fs::ReadFile((dir / "none").string(), 10, bytes).kind, Status::Kind::Missing);

    // A file that reports no size but has content (as /proc files do) is read to its end.
    ASSERT_TRUE(orvane::fs::ReadFile("/proc/self/status", 1 << 20, bytes));
    EXPECT_NE(bytes.find("Pid:"), std::string::npos);
    EXPECT_EQ(orvane::fs::ReadFile("/proc/self/status", 10, bytes).kind, Status::Kind::TooLarge);
}

TEST(ReadWhole, SpecialFilesAreRefusedWithoutBlocking) {
    TempDir dir;
    const auto fifo = dir / "Nerop.DB";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string bytes;
    // Nobody writes the FIFO: opening it the usual way would wait forever.
    for (const std::string& path : {fifo.string(), std::string("/dev/zero"), dir.path().string()}) {
        const Status status = orvane::fs::ReadFile(path, 1 << 20, bytes);
        EXPECT_EQ(status.kind, Status::Kind::NotRegularFile) << path;
        EXPECT_NE(status.message.find(path), std::string::npos) << status.message;
    }
    Status status;
    EXPECT_EQ(orvane::fs::OpenForReading("/dev/zero", status), -1);
    struct stat info {};
    WriteFile(dir / "seven", "1234567");
    const int fd = orvane::fs::OpenForReading((dir / "seven").string(), status, &info);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(info.st_size, 7);
    ::close(fd);
}

}  // namespace
}  // namespace orvane::test
