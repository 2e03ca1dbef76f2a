// Every road that writes files, killed outright (SIGKILL) at moments picked by watching its
// output folder, into a folder that holds the user's own files of the names it writes. After
// each kill no user file is changed or lost, no file under a final name is cut short, and the
// next run completes the job and leaves no temporary file behind.
//
// A few moments per road run by default; ORVANE_CRASH_POINTS=N adds N moments per road spread
// over each file's writing and a batch's files (a longer run), and prints the counts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/wma_util.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace orvane::test {
namespace {

namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;

// A moment to kill at: the nth event of the output folder that matches.
struct KillPoint {
    std::string name;
    std::uint32_t mask;  // inotify events
    std::function<bool(const std::string& file)> matches;
    int nth = 1;
};

bool Hidden(const std::string& file) { return !file.empty() && file[0] == '.'; }

KillPoint FirstWrite() { return {"first write", IN_MODIFY, Hidden, 1}; }
KillPoint MidFile(int nth) { return {"mid-file #" + std::to_string(nth), IN_MODIFY, Hidden, nth}; }
KillPoint BetweenFiles(int nth) {
    return {"after file " + std::to_string(nth), IN_MOVED_TO | IN_CREATE,
            [](const std::string& f) { return !Hidden(f); }, nth};
}
KillPoint Writing(const std::string& ext) {
    return {"writing the " + ext, IN_CREATE | IN_MODIFY,
            [ext](const std::string& f) { return Hidden(f) && f.find(ext + ".tmp-") != f.npos; },
            1};
}

// A job as a command line; {out} stands for the output folder.
struct Road {
    std::string name;
    std::string program;
    std::vector<std::string> args;
    bool batch = false;    // several files, one after another
    bool numbers = false;  // takes "name (2).ext" beside a user's file rather than replacing it
    std::vector<KillPoint> points;
};

Files Read(const fs::path& folder) {
    Files files;
    for (const auto& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = ReadFile(e.path());
    return files;
}

std::string UserBytes(const std::string& name) { return "the user's own " + name + "\n"; }

// The name a numbering road gave a file of the reference's name ("Track1 (2).WAV": Track1.WAV).
std::string Unnumbered(const std::string& name) {
    static const std::regex numbered(R"((.*) \([0-9]+\)(\.[^.]*)$)");
    return std::regex_replace(name, numbered, "$1$2");
}

std::size_t Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

class CrashConsistency : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The codec children of a killed job come to us, so we can tell when they are over.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    void SetUp() override {
        ::setenv("ORVANE_REGISTRY_DIR", (dir / "registry").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        ::setenv("ORVANE_CD_IMAGES", "", 1);
        fs::create_directories(dir / "config" / "orvane");
        fs::create_directories(dir / "wav");
        for (const char* name : {"a", "b", "c"})
            WriteFile(dir / "wav" / (std::string(name) + ".wav"),
                      SineWave(2, 44100, 1.5, {440.0, 660.0}));
        const std::string cue = WriteSimpleDisc(dir, {300, 225, 150});
        WriteFile(dir / "config" / "orvane" / "drives.conf",
                  "real_drives = no\nimage = " + cue + "\n");
        if (const char* more = std::getenv("ORVANE_CRASH_POINTS")) extra_ = std::atoi(more);
    }
    void TearDown() override {
        for (const char* name : {"ORVANE_REGISTRY_DIR", "XDG_DATA_HOME", "XDG_STATE_HOME",
                                 "XDG_CONFIG_HOME", "ORVANE_CD_IMAGES"})
            ::unsetenv(name);
        std::printf(
            "[ crash ] %d kills, %d jobs that ended before the moment, %d files "
            "checked, %d lost\n",
            kills_, finished_, checked_, lost_);
    }

    std::vector<std::string> Argv(const Road& road, const fs::path& out) const {
        std::vector<std::string> argv{(DistDir() / road.program).string()};
        for (std::string a : road.args) {
            if (const auto at = a.find("{out}"); at != a.npos) a.replace(at, 5, out.string());
            argv.push_back(a);
        }
        return argv;
    }

    // Runs the road into out to its end; its exit status.
    int RunToEnd(const Road& road, const fs::path& out) {
        std::vector<std::string> argv = Argv(road, out);
        std::vector<std::string> args(argv.begin() + 1, argv.end());
        ProgramResult r = RunDistProgram(road.program, args);
        if (r.status != 0) ADD_FAILURE() << road.name << ": " << r.output;
        return r.status;
    }

    // Starts the road into out and sends it sig at the point; false when it ended before.
    bool RunAndKill(const Road& road, const fs::path& out, const KillPoint& point,
                    int sig = SIGKILL) {
        const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        EXPECT_GE(watch, 0);
        EXPECT_GE(::inotify_add_watch(watch, out.c_str(), point.mask), 0);
        const std::vector<std::string> argv = Argv(road, out);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setpgid(0, 0);
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            std::vector<char*> raw;
            for (const std::string& a : argv)
                raw.push_back(const_cast<char*>(a.c_str()));
            raw.push_back(nullptr);
            ::execv(raw[0], raw.data());
            ::_exit(127);
        }
        ::setpgid(pid, pid);
        int seen = 0;
        bool killed = false;
        alignas(inotify_event) char buffer[8192];
        while (!killed) {
            pollfd p{watch, POLLIN, 0};
            // The limit only lets the loop look whether the job has ended on its own.
            ::poll(&p, 1, 50);
            for (ssize_t n = ::read(watch, buffer, sizeof buffer), at = 0; n > 0 && at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                if (killed || !e->len || !point.matches(e->name) || ++seen < point.nth) continue;
                ::kill(pid, sig);
                killed = true;
            }
            if (!killed && ::waitpid(pid, nullptr, WNOHANG) == pid) break;
        }
        ::close(watch);
        if (killed) ::waitpid(pid, nullptr, 0);
        // Its children, orphaned: each ends once it sees its input end.
        while (::waitpid(-pid, nullptr, 0) > 0 || errno == EINTR) {
        }
        (killed ? kills_ : finished_)++;
        return killed;
    }

    // Every file of the folder is the user's own, one complete output, or a hidden temporary.
    void ExpectNothingLost(const Road& road, const std::string& when, const Files& user,
                           const Files& reference, const Files& found, bool temporariesAllowed) {
        for (const auto& [name, bytes] : user) {
            ++checked_;
            auto it = found.find(name);
            const bool kept = it != found.end() && it->second == bytes;
            const bool replaced =
                !road.numbers && it != found.end() && Complete(name, it->second, reference);
            if (!kept && !replaced) ++lost_;
            EXPECT_TRUE(kept || replaced) << road.name << ", " << when << ": " << name
                                          << (it == found.end() ? " is gone" : " was cut");
        }
        for (const auto& [name, bytes] : found) {
            if (user.count(name)) continue;
            if (Hidden(name)) {
                EXPECT_TRUE(temporariesAllowed) << road.name << ", " << when << ": left " << name;
                continue;
            }
            ++checked_;
            EXPECT_TRUE(Complete(Unnumbered(name), bytes, reference))
                << road.name << ", " << when << ": " << name << " is not complete (" << bytes.size()
                << " bytes)";
        }
    }

    // A file of a name the reference run wrote holds what that run wrote; a log or cue sheet,
    // which names the folder and files, is only as long.
    static bool Complete(const std::string& name, const std::string& bytes, const Files& ref) {
        auto it = ref.find(name);
        if (it == ref.end()) return false;
        const std::string ext = fs::path(name).extension().string();
        if (ext == ".log" || ext == ".cue")
            return !bytes.empty() && bytes.back() == '\n' && Lines(bytes) == Lines(it->second);
        return WithoutStreamSerials(bytes) == WithoutStreamSerials(it->second);
    }

    // An Ogg stream's pages with their serial number (chosen at random per file) and checksum
    // zeroed; any other file as it is. A cut stream stays shorter than a whole one.
    static std::string WithoutStreamSerials(std::string bytes) {
        for (std::size_t at = 0; at + 27 <= bytes.size() && bytes.compare(at, 4, "OggS") == 0;) {
            const std::size_t segments = static_cast<unsigned char>(bytes[at + 26]);
            if (at + 27 + segments > bytes.size()) break;
            std::size_t body = 0;
            for (std::size_t i = 0; i < segments; ++i)
                body += static_cast<unsigned char>(bytes[at + 27 + i]);
            bytes.replace(at + 14, 4, 4, '\0');
            bytes.replace(at + 22, 4, 4, '\0');
            at += 27 + segments + body;
        }
        return bytes;
    }

    void Drive(Road road) {
        SCOPED_TRACE(road.name);
        // The reference: the road into an empty folder.
        const fs::path refFolder = dir / ("ref-" + std::to_string(serial_++));
        fs::create_directories(refFolder);
        ASSERT_EQ(RunToEnd(road, refFolder), 0);
        const Files reference = Read(refFolder);
        ASSERT_FALSE(reference.empty());
        for (const auto& [name, bytes] : reference)
            ASSERT_FALSE(Hidden(name)) << road.name << " left " << name;

        std::vector<KillPoint> points = road.points;
        for (int i = 1; i <= extra_; ++i) {
            points.push_back(MidFile(1 + i * 7));
            if (road.batch) points.push_back(BetweenFiles(1 + i % 3));
        }
        for (const KillPoint& point : points) {
            const fs::path out = dir / ("out-" + std::to_string(serial_++));
            fs::create_directories(out);
            Files user;
            for (const auto& [name, bytes] : reference) {
                user[name] = UserBytes(name);
                WriteFile(out / name, user[name]);
            }
            RunAndKill(road, out, point);
            ExpectNothingLost(road, point.name, user, reference, Read(out), true);

            // Much later (the temporary files' times moved back, as no test waits a minute):
            // the job again, to its end.
            for (const auto& e : fs::directory_iterator(out)) {
                if (!Hidden(e.path().filename().string())) continue;
                const timespec old[2] = {{std::time(nullptr) - 120, 0},
                                         {std::time(nullptr) - 120, 0}};
                ::utimensat(AT_FDCWD, e.path().c_str(), old, AT_SYMLINK_NOFOLLOW);
            }
            ASSERT_EQ(RunToEnd(road, out), 0) << point.name;
            const Files after = Read(out);
            ExpectNothingLost(road, point.name + ", then run again", user, reference, after, false);
            // The job is complete: every file it writes is there whole.
            for (const auto& [name, bytes] : reference) {
                bool whole = false;
                for (const auto& [found, content] : after)
                    whole =
                        whole || (Unnumbered(found) == name && !(road.numbers && found == name) &&
                                  Complete(name, content, reference));
                EXPECT_TRUE(whole) << point.name << ": no complete " << name;
            }
        }
    }

    std::string Wav(const char* name) const { return (dir / "wav" / name).string(); }

    TempDir dir;
    int extra_ = 0, serial_ = 0;
    int kills_ = 0, finished_ = 0, checked_ = 0, lost_ = 0;
};

// SIGINT and SIGTERM end a run that tidies up: what it was writing goes, also the files of a
// batch running side by side and a rip's scratch files, and the user's files stay.
TEST_F(CrashConsistency, AnInterruptedRunLeavesNoTemporaryFile) {
    const Road roads[] = {
        {"rip",
         "orvane-cdda",
         {"rip", "D:", "{out}", "--format", "wav", "--no-accuraterip"},
         true,
         true,
         {FirstWrite(), Writing(".cue")}},
        {"FLAC batch of 2 at once",
         "plimo-job",
         {"--flac", "--batch", "--jobs", "2", (dir / "wav").string(), "{out}"},
         true,
         false,
         {MidFile(2)}},
        {"Opus batch of 2 at once",
         "plimo-job",
         {"--opus", "--batch", "--jobs", "2", (dir / "wav").string(), "{out}"},
         true,
         false,
         {MidFile(2)}},
        {"MP3 batch of 2 at once",
         "plimo-job",
         {"--batch", "--jobs", "2", (dir / "wav").string(), "{out}"},
         true,
         false,
         {MidFile(2)}},
    };
    for (const Road& road : roads) {
        for (const KillPoint& point : road.points) {
            for (int sig : {SIGINT, SIGTERM}) {
                const fs::path out = dir / ("out-" + std::to_string(serial_++));
                fs::create_directories(out);
                WriteFile(out / "a.FLAC", "the user's a.FLAC");
                RunAndKill(road, out, point, sig);
                const Files found = Read(out);
                for (const auto& [name, bytes] : found)
                    EXPECT_FALSE(Hidden(name)) << road.name << ", " << point.name << ", signal "
                                               << sig << ": left " << name;
                EXPECT_TRUE(found.count("a.FLAC"));
            }
        }
    }
}

TEST_F(CrashConsistency, Mp3) {
    Drive({"MP3",
           "plimo-job",
           {Wav("a.wav"), "{out}/a.MP3"},
           false,
           false,
           {FirstWrite(), MidFile(3)}});
    Drive({"MP3 batch",
           "plimo-job",
           {"--batch", (dir / "wav").string(), "{out}"},
           true,
           false,
           {FirstWrite(), BetweenFiles(1)}});
    Drive({"MP3 batch of 2 at once",
           "plimo-job",
           {"--batch", "--jobs", "2", (dir / "wav").string(), "{out}"},
           true,
           false,
           {BetweenFiles(2)}});
}

TEST_F(CrashConsistency, Decode) {
    const fs::path mp3 = dir / "mp3";
    fs::create_directories(mp3);
    ASSERT_EQ(RunDistProgram("plimo-job", {"--batch", (dir / "wav").string(), mp3.string()}).status,
              0);
    Drive({"decode",
           "plimo-job",
           {"--decode", (mp3 / "a.MP3").string(), "{out}/a.WAV"},
           false,
           false,
           {FirstWrite(), MidFile(4)}});
    Drive({"decode batch",
           "plimo-job",
           {"--decode", "--batch", mp3.string(), "{out}"},
           true,
           false,
           {FirstWrite(), BetweenFiles(2)}});
}

TEST_F(CrashConsistency, Wma) {
    Drive({"WMA",
           "plimo-job",
           {"--wma", "--profile", "0", Wav("a.wav"), "{out}/a.WMA"},
           false,
           false,
           {FirstWrite(), MidFile(3)}});
    // A WMA job takes seconds a file: its batch only in the longer run.
    if (extra_ > 0)
        Drive({"WMA batch",
               "plimo-job",
               {"--wma", "--profile", "0", "--batch", (dir / "wav").string(), "{out}"},
               true,
               false,
               {BetweenFiles(1)}});
}

TEST_F(CrashConsistency, FlacAndOpus) {
    Drive({"FLAC batch",
           "plimo-job",
           {"--flac", "--batch", (dir / "wav").string(), "{out}"},
           true,
           false,
           {FirstWrite(), BetweenFiles(1)}});
    Drive({"FLAC batch of 2 at once",
           "plimo-job",
           {"--flac", "--batch", "--jobs", "2", (dir / "wav").string(), "{out}"},
           true,
           false,
           {MidFile(2)}});
    Drive({"Opus batch",
           "plimo-job",
           {"--opus", "--batch", (dir / "wav").string(), "{out}"},
           true,
           false,
           {FirstWrite(), BetweenFiles(2)}});
}

TEST_F(CrashConsistency, Rip) {
    Drive({"rip",
           "orvane-cdda",
           {"rip", "D:", "{out}", "--format", "wav", "--no-accuraterip"},
           true,
           true,
           {FirstWrite(), BetweenFiles(1), BetweenFiles(3), Writing(".log"), Writing(".cue")}});
}

}  // namespace
}  // namespace orvane::test
