// The command-line job runner with the real codec programs, as a user or a script sees it: its
// messages and its exit status, for jobs that fail as much as for jobs that succeed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::test {
namespace {

namespace fs = std::filesystem;

ProgramResult PlimoJob(const std::vector<std::string>& args) {
    return RunDistProgram("plimo-job", args);
}

// A stereo 16-bit tone of the given length.
std::string Tone(double seconds, int channels = 2) {
    auto frames = static_cast<std::uint32_t>(seconds * 44100);
    std::string data;
    for (std::uint32_t i = 0; i < frames; ++i)
        for (int ch = 0; ch < channels; ++ch)
            PutLe(data, static_cast<std::uint16_t>(8000 * std::sin(i * 0.06)), 2);
    return WaveWithData(channels, 44100, 16, data);
}

// The header's 16-bit or 32-bit field at offset set to value.
std::string Patched(std::string wave, std::size_t offset, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        wave[offset + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return wave;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class PlimoJobTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(PlimoJobTest, EncodesThatTheEncoderRefusesFailWithItsReason) {
    struct Case {
        const char* name;
        std::string wave;
        const char* reason;
    } cases[] = {
        {"six channels", Tone(0.2, 6), "channels"},
        {"no channels", Patched(Tone(0.2), 22, 0, 2), "channels"},
        // Rates the encoder cannot take are named, never a bare status of the encoder.
        {"rate 0", Patched(Tone(0.2), 24, 0, 4),
         "Error: The WAV file's sample rate of 0 Hz cannot be encoded; 1000 to 192000 Hz can."},
        {"rate 1", Patched(Tone(0.2), 24, 1, 4), "sample rate of 1 Hz cannot be encoded"},
        {"rate 768000", Patched(Tone(0.2), 24, 768000, 4),
         "sample rate of 768000 Hz cannot be encoded"},
        {"rate 4294967295", Patched(Tone(0.2), 24, 0xFFFFFFFFu, 4),
         "sample rate of 4294967295 Hz cannot be encoded"},
    };
    for (const Case& c : cases) {
        WriteFile(dir / "in.wav", c.wave);
        fs::remove(dir / "out.mp3");
        ProgramResult r = PlimoJob({(dir / "in.wav").string(), (dir / "out.mp3").string()});
        EXPECT_NE(r.status, 0) << c.name;
        EXPECT_FALSE(Contains(r.output, "MP3 Compression Finished.")) << c.name << r.output;
        EXPECT_TRUE(Contains(r.output, "Error: The file could not be encoded:")) << c.name;
        EXPECT_TRUE(Contains(r.output, c.reason)) << c.name << ": " << r.output;
    }
}

TEST_F(PlimoJobTest, SamplesThatAreNoSixteenBitPcmEndTheJobWithTheDescribedMessage) {
    const std::string tone = Tone(0.2);
    // The extensible format naming float samples in its sub-format, 16 bits a sample.
    std::string fmt = tone.substr(20, 16);
    fmt.replace(0, 2, "\xFE\xFF");
    fmt += std::string("\x16\0\x10\0\x03\0\0\0\x03\0", 10) + std::string(14, '\x01');
    const std::string floats =
        tone.substr(0, 16) + std::string("\x28\0\0\0", 4) + fmt + tone.substr(36);
    for (const std::string& wave : {floats, Patched(tone, 20, 2, 2), Patched(tone, 20, 3, 2)}) {
        WriteFile(dir / "in.wav", wave);
        ProgramResult r = PlimoJob({(dir / "in.wav").string(), (dir / "out.mp3").string()});
        EXPECT_NE(r.status, 0);
        EXPECT_TRUE(Contains(r.output, "Error: Input file is not a 16-bit WAV File.")) << r.output;
        EXPECT_FALSE(fs::exists(dir / "out.mp3"));
    }
}

TEST_F(PlimoJobTest, AMissingOutputFolderIsAFailure) {
    WriteFile(dir / "in.wav", Tone(0.3));
    ProgramResult r = PlimoJob({(dir / "in.wav").string(), (dir / "nowhere/out.mp3").string()});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Contains(r.output, "Error: The file could not be encoded:")) << r.output;
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

// A batch writes into the folder it names: made when it is missing, refused when a file holds
// its name; never beside it, never into the current folder.
TEST_F(PlimoJobTest, ABatchWritesIntoTheFolderItNamesOrSaysWhyItCannot) {
    fs::create_directories(dir / "in");
    WriteFile(dir / "in" / "a.wav", Tone(0.3));
    fs::create_directories(dir / "Music");
    WriteFile(dir / "Music" / "a.FLAC", "the user's a.FLAC");
    WriteFile(dir / "Music" / "a.MP3", "the user's a.MP3");
    ProgramResult r = PlimoJob(
        {"--flac", "--batch", (dir / "in").string(), (dir / "Music" / "New" / "Album").string()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(fs::exists(dir / "Music" / "New" / "Album" / "a.FLAC"));
    r = PlimoJob({"--batch", (dir / "in").string(), (dir / "Music" / "NewAlbum").string()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(fs::exists(dir / "Music" / "NewAlbum" / "a.MP3"));
    EXPECT_EQ(ReadFile(dir / "Music" / "a.FLAC"), "the user's a.FLAC");
    EXPECT_EQ(ReadFile(dir / "Music" / "a.MP3"), "the user's a.MP3");

    const fs::path file = dir / "Music" / "notes.txt";
    WriteFile(file, "notes");
    for (const char* kind : {"", "--flac", "--opus", "--decode"}) {
        std::vector<std::string> args{"--batch", (dir / "in").string(), file.string()};
        if (*kind) args.insert(args.begin(), kind);
        r = PlimoJob(args);
        EXPECT_NE(r.status, 0) << r.output;
        EXPECT_TRUE(Contains(
            r.output, "Error: The output folder " + file.string() + " is a file, not a folder"))
            << r.output;
    }
    EXPECT_EQ(ReadFile(file), "notes");
    EXPECT_EQ(ReadFile(dir / "Music" / "a.FLAC"), "the user's a.FLAC");
    EXPECT_EQ(ReadFile(dir / "Music" / "a.MP3"), "the user's a.MP3");

    WriteFile(dir / "blocked", "a file where a folder would go");
    r = PlimoJob({"--flac", "--batch", (dir / "in").string(), (dir / "blocked" / "x").string()});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Contains(
        r.output, "Error: Cannot create the output folder " + (dir / "blocked" / "x").string()))
        << r.output;
}

// The MP3 roads read only regular files: a FIFO is refused at once, never waited on.
TEST_F(PlimoJobTest, AnInputThatIsNoRegularFileIsRefused) {
    ASSERT_EQ(::mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
    for (const char* kind : {"mp3", "--decode"}) {
        std::vector<std::string> args{(dir / "pipe.wav").string(), (dir / "out").string()};
        if (std::string(kind) == "--decode") args.insert(args.begin(), kind);
        ProgramResult r = PlimoJob(args);
        EXPECT_NE(r.status, 0) << kind;
        EXPECT_TRUE(Contains(r.output, "not a regular file")) << kind << ": " << r.output;
        EXPECT_FALSE(fs::exists(dir / "out"));
    }
}

TEST_F(PlimoJobTest, AFailedEncodeLeavesAnOlderFileOfTheSameNameAlone) {
    WriteFile(dir / "in.wav", Tone(0.2, 6));
    WriteFile(dir / "out.mp3", "an older file that is not ours to change");
    ProgramResult r =
        PlimoJob({"--title", "Song", (dir / "in.wav").string(), (dir / "out.mp3").string()});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(ReadFile(dir / "out.mp3"), "an older file that is not ours to change");
}

TEST_F(PlimoJobTest, DecodingSomethingThatIsNoMpegFails) {
    WriteFile(dir / "in.mp3", std::string(20000, 'x'));
    ProgramResult r = PlimoJob({"--decode", (dir / "in.mp3").string(), (dir / "out.wav").string()});
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(Contains(r.output, "Decoding finished"));
    EXPECT_TRUE(Contains(r.output, "Error: The file could not be decoded:")) << r.output;
    EXPECT_TRUE(Contains(r.output, "no MPEG audio")) << r.output;
}

TEST_F(PlimoJobTest, ABatchNamesTheFilesThatFailedAndEncodesTheOthers) {
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "out");
    WriteFile(dir / "in/good.wav", Tone(0.3));
    WriteFile(dir / "in/six.wav", Tone(0.2, 6));
    ProgramResult r = PlimoJob({"--batch", (dir / "in").string(), (dir / "out").string()});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Contains(r.output, "Error: 1 of 2 files could not be encoded:\nsix.wav: "))
        << r.output;
    EXPECT_GT(fs::file_size(dir / "out/good.MP3"), 1000u);
    EXPECT_FALSE(fs::exists(dir / "out/six.MP3"));
}

std::map<std::string, std::string> FolderFiles(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = ReadFile(e.path());
    return files;
}

TEST_F(PlimoJobTest, SeveralFilesAtOnceGiveTheFilesAndTheReportOfOneAtATime) {
    // Mono chosen, and a stereo file among mono ones: from it on, one at a time encodes in
    // stereo; a file the encoder refuses fails alone.
    fs::create_directory(dir / "in");
    WriteFile(dir / "in/a.wav", Tone(0.4, 1));
    WriteFile(dir / "in/b.wav", Tone(0.3, 2));
    WriteFile(dir / "in/c.wav", Tone(0.2, 6));
    WriteFile(dir / "in/d.wav", Tone(0.5, 1));
    std::map<std::string, std::string> encoded[2];
    std::string reports[2];
    const char* jobs[2] = {"1", "3"};
    for (int i = 0; i < 2; ++i) {
        const fs::path mp3 = dir / ("mp3-" + std::to_string(i));
        fs::create_directory(mp3);
        ProgramResult r = PlimoJob({"--batch", "--mode", "3", "--bitrate", "128", "--jobs", jobs[i],
                                    (dir / "in").string(), mp3.string()});
        EXPECT_EQ(r.status, 1) << r.output;
        reports[i] = r.output;
        encoded[i] = FolderFiles(mp3);
    }
    EXPECT_EQ(encoded[0].size(), 3u);
    EXPECT_EQ(encoded[1], encoded[0]);
    EXPECT_TRUE(Contains(reports[0], "Error: 1 of 4 files could not be encoded:\nc.wav: "))
        << reports[0];
    EXPECT_EQ(reports[1], reports[0]);
    EXPECT_NE(PlimoJob({"--jobs", "0", "--batch", "x", "y"}).status, 0);
}

TEST_F(PlimoJobTest, SucceededJobsKeepTheirMessagesAndExitZero) {
    WriteFile(dir / "in.wav", Tone(0.3));
    ProgramResult r = PlimoJob({(dir / "in.wav").string(), (dir / "out.mp3").string()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "MP3 Compression Finished.\n");
    r = PlimoJob({"--decode", (dir / "out.mp3").string(), (dir / "back.wav").string()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "Decoding finished\n");
}

TEST_F(PlimoJobTest, LongPathsWorkWholeAndTooLongOnesAreNamed) {
    // A deep folder of non-Latin names, over 1 KB of path in all.
    std::string name;
    for (int i = 0; i < 60; ++i)
        name += "\u6b4c";  // three bytes each
    fs::path folder = dir.path();
    for (int depth = 0; depth < 7; ++depth)
        folder /= name;
    fs::create_directories(folder);
    ASSERT_GT((folder / (name + ".mp3")).string().size(), 1100u);
    WriteFile(folder / (name + ".wav"), Tone(0.2));
    ProgramResult r =
        PlimoJob({(folder / (name + ".wav")).string(), (folder / (name + ".mp3")).string()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_GT(fs::file_size(folder / (name + ".mp3")), 1000u);

    // A name beyond what the system allows is refused with the limit, not as an unreadable
    // input.
    std::string tooLong(300, 'n');
    r = PlimoJob({(dir / (tooLong + ".wav")).string(), (dir / "out.mp3").string()});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Contains(r.output, "255 bytes")) << r.output;
    EXPECT_FALSE(Contains(r.output, "Cannot open the input file"));
}

TEST_F(PlimoJobTest, AnUnfinishedWaveHeaderMeansTheWholeFile) {
    std::string wave = Tone(0.5);
    WriteFile(dir / "whole.wav", wave);
    WriteFile(dir / "zero.wav", Patched(wave, 40, 0, 4));
    WriteFile(dir / "beyond.wav", Patched(wave, 40, 0x7FFFFFF0, 4));
    for (const char* name : {"whole", "zero", "beyond"}) {
        ProgramResult r = PlimoJob({(dir / (std::string(name) + ".wav")).string(),
                                    (dir / (std::string(name) + ".mp3")).string()});
        EXPECT_EQ(r.status, 0) << name << r.output;
    }
    EXPECT_GT(fs::file_size(dir / "whole.mp3"), 4000u);
    EXPECT_EQ(fs::file_size(dir / "zero.mp3"), fs::file_size(dir / "whole.mp3"));
    EXPECT_EQ(fs::file_size(dir / "beyond.mp3"), fs::file_size(dir / "whole.mp3"));
}

// plimo-job ended from outside while it writes a WMA file, which it writes itself (the codec
// programs clean up after themselves). The settings, the profile folder and the installer's
// records go into the test's own folders.
class PlimoJobSignalTest : public PlimoJobTest {
protected:
    void SetUp() override {
        ::setenv("ORVANE_REGISTRY_DIR", (dir / "registry").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
        fs::create_directory(dir / "out");
        // Long enough that the encoder is still at work when the signal arrives.
        WriteFile(dir / "long.wav", Tone(120));
    }

    // Starts plimo-job on the long input and returns its pid once its temporary output file
    // is there; -1 when that never happened.
    pid_t StartAndAwaitOutput(const fs::path& output, bool mp3 = false,
                              const fs::path& log = "/dev/null") {
        const int watch = ::inotify_init1(IN_CLOEXEC);
        if (watch < 0 || ::inotify_add_watch(watch, output.parent_path().c_str(), IN_CREATE) < 0)
            return -1;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGTERM, SIG_DFL);
            const std::string program = (DistDir() / "plimo-job").string();
            const std::string input = (dir / "long.wav").string();
            std::freopen(log.c_str(), "w", stdout);
            if (mp3)
                ::execl(program.c_str(), program.c_str(), input.c_str(), output.c_str(),
                        static_cast<char*>(nullptr));
            else
                ::execl(program.c_str(), program.c_str(), "--wma", "--profile", "0", input.c_str(),
                        output.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        bool begun = false;
        alignas(inotify_event) char buffer[4096];
        // The poll's limit only keeps a broken program from hanging the test.
        pollfd p{watch, POLLIN, 0};
        while (!begun && ::poll(&p, 1, 60000) > 0) {
            const ssize_t n = ::read(watch, buffer, sizeof buffer);
            for (ssize_t at = 0; n > 0 && at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                if (e->len && std::string(e->name).find(".tmp-") != std::string::npos) begun = true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
        ::close(watch);
        if (!begun) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return -1;
        }
        return pid;
    }

    std::vector<std::string> Temporaries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir / "out"))
            if (e.path().filename().string().find(".tmp-") != std::string::npos)
                names.push_back(e.path().filename().string());
        return names;
    }
};

TEST_F(PlimoJobSignalTest, InterruptedOrTerminatedJobsLeaveNoTemporaryFile) {
    for (int sig : {SIGINT, SIGTERM}) {
        const pid_t pid = StartAndAwaitOutput(dir / "out" / "song.wma");
        ASSERT_GT(pid, 0) << "signal " << sig;
        ASSERT_FALSE(Temporaries().empty());
        ::kill(pid, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0))
            << "signal " << sig;
        EXPECT_TRUE(Temporaries().empty()) << "signal " << sig << ": " << Temporaries()[0];
        EXPECT_FALSE(fs::exists(dir / "out" / "song.wma")) << "signal " << sig;
    }
}

// Only the job is told to stop (a service manager, kill PID): the encoder child must not
// take its input's sudden end for the end of the song and put a cut-short file over the
// user's older one.
TEST_F(PlimoJobSignalTest, AStoppedJobStopsItsCodecChildAndKeepsTheOlderOutput) {
    const fs::path output = dir / "out" / "song.mp3";
    WriteFile(output, "the older song");
    const pid_t pid = StartAndAwaitOutput(output, true);
    ASSERT_GT(pid, 0);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0));
    // The child is not ours to wait for: its temporary file going away tells it has ended
    // (either removed, or renamed over the output).
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (dir / "out").c_str(), IN_DELETE | IN_MOVED_FROM), 0);
    alignas(inotify_event) char buffer[4096];
    pollfd p{watch, POLLIN, 0};
    while (!Temporaries().empty() && ::poll(&p, 1, 60000) > 0)
        (void)!::read(watch, buffer, sizeof buffer);
    ::close(watch);
    EXPECT_TRUE(Temporaries().empty());
    EXPECT_EQ(ReadFile(output), "the older song");
}

// The input cut short while it is encoded: the file fails with the reason, the cut stream
// never takes the output's name.
TEST_F(PlimoJobSignalTest, AnInputCutShortDuringTheEncodeFailsTheFile) {
    const fs::path output = dir / "out" / "song.mp3";
    WriteFile(output, "the older song");
    const pid_t pid = StartAndAwaitOutput(output, true, dir / "log.txt");
    ASSERT_GT(pid, 0);
    fs::resize_file(dir / "long.wav", 2 << 20);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    const std::string log = ReadFile(dir / "log.txt");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << log;
    EXPECT_TRUE(Contains(log, "Error: Cannot read " + (dir / "long.wav").string() +
                                  ": the file ended before its audio data did"))
        << log;
    EXPECT_FALSE(Contains(log, "MP3 Compression Finished.")) << log;
    EXPECT_EQ(ReadFile(output), "the older song");
}

TEST_F(PlimoJobSignalTest, TheNextRunSweepsWhatAKilledRunLeft) {
    const pid_t pid = StartAndAwaitOutput(dir / "out" / "song.wma");
    ASSERT_GT(pid, 0);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    const std::vector<std::string> left = Temporaries();
    ASSERT_EQ(left.size(), 1u);
    // Left alone for two minutes, as a killed run's file is by the time anyone looks.
    const timespec old[2] = {{std::time(nullptr) - 120, 0}, {std::time(nullptr) - 120, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "out" / left[0]).c_str(), old, 0), 0);
    // Files of the user's that only look alike stay.
    WriteFile(dir / "out" / ".notes.tmp-draft", "mine");
    WriteFile(dir / "out" / "song.wma.tmp-1-1", "mine too");

    // A WMA job: no codec program runs that could sweep the folder on its own.
    WriteFile(dir / "short.wav", Tone(0.3));
    ProgramResult r = PlimoJob({"--wma", "--profile", "0", (dir / "short.wav").string(),
                                (dir / "out" / "short.wma").string()});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(fs::exists(dir / "out" / left[0]));
    EXPECT_EQ(ReadFile(dir / "out" / ".notes.tmp-draft"), "mine");
    EXPECT_EQ(ReadFile(dir / "out" / "song.wma.tmp-1-1"), "mine too");
}

}  // namespace
}  // namespace orvane::test
