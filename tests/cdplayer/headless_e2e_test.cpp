// The player's engine as a user runs it: dist/Tarvo/tarvo-headless on image drives, with the
// song database beside a copy of the program so that every test has its own.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace fs = std::filesystem;
using orvane::test::ReadFile;
using orvane::test::TempDir;
using orvane::test::WriteFile;

namespace {

struct Outcome {
    int status = -1;     // exit code, -1 when it had to be killed
    std::string output;  // standard output and error
};

// Runs a program with extra environment entries; ends it if it has not finished within a
// generous limit (a program that hangs fails the test instead of stopping the suite).
Outcome RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                   const fs::path& outputFile) {
    std::vector<std::string> envText(extraEnv);
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& extra : extraEnv)
            replaced |=
                entry.substr(0, entry.find('=') + 1) == extra.substr(0, extra.find('=') + 1);
        if (!replaced) envText.push_back(entry);
    }
    std::vector<char*> env, args;
    for (auto& e : envText)
        env.push_back(e.data());
    env.push_back(nullptr);
    std::vector<std::string> argText(argv);
    for (auto& a : argText)
        args.push_back(a.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    Outcome run;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return run;
    int status = 0;
    for (int waited = 0; waited < 3000; ++waited) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            run.output = ReadFile(outputFile);
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    run.output = ReadFile(outputFile);
    return run;
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override {
        // The database lives beside the program: a copy of it in a folder of the test's own.
        program_ = dir_ / "tarvo-headless";
        fs::copy_file(orvane::test::DistDir() / "Tarvo" / "tarvo-headless", program_);
        fs::permissions(program_, fs::perms::owner_all);
        fs::create_directory(dir_ / "config");
    }
    Outcome Play(const std::string& cue, const std::vector<std::string>& args) {
        std::vector<std::string> argv{program_.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(argv,
                          {"ORVANE_CD_IMAGES=" + cue, "ORVANE_AUDIO=null",
                           "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
                           "XDG_RUNTIME_DIR=" + dir_.path().string()},
                          dir_ / "output.txt");
    }
    std::string Demo() const { return (orvane::test::DistDir() / "demo" / "Demo.cue").string(); }
    std::string Database() const { return (dir_ / "Nerop.DB").string(); }

    TempDir dir_;
    fs::path program_;
};

}  // namespace

TEST_F(Headless, ADamagedDatabaseIsKeptAndTheMessageSaysWhere) {
    const std::string damaged("\xFF\xFF\x01\x00\x04\x00MCDB\x05", 11);
    WriteFile(Database(), damaged);
    const Outcome run = Play(Demo(), {"1"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("(message) Error: Can't open database file Nerop.DB\n"
                              "(message) A new database was created.\n\n"
                              "The old database could not be read (the file ends early); its "
                              "names were kept in " +
                              Database() + ".unreadable."),
              std::string::npos)
        << run.output;
    EXPECT_EQ(ReadFile(Database() + ".unreadable"), damaged);
    EXPECT_GT(fs::file_size(Database()), 11u);  // the new one holds the demo disc
}

TEST_F(Headless, AFifoNamedLikeTheDatabaseHoldsNothingUp) {
    ASSERT_EQ(::mkfifo(Database().c_str(), 0600), 0);
    const Outcome run = Play(Demo(), {"1"});
    ASSERT_EQ(run.status, 0) << run.output;  // ends on its own, after one second of play
    EXPECT_NE(run.output.find("(it is not a regular file)"), std::string::npos) << run.output;
    EXPECT_TRUE(fs::is_fifo(Database() + ".unreadable"));
}

namespace {

// A disc image of one data track of 4 seconds followed by audio tracks of the given seconds
// (none: a data-only disc).
std::string MixedModeDisc(const fs::path& folder, const std::vector<int>& audioSeconds) {
    std::string cue = "FILE \"disc.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n";
    int at = 4;
    for (std::size_t i = 0; i < audioSeconds.size(); ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:00\n",
                      static_cast<int>(i + 2), at / 60, at % 60);
        cue += line;
        at += audioSeconds[i];
    }
    // A soft tone, so that the audio tracks are not silence.
    std::string bytes(static_cast<std::size_t>(at) * 75 * 2352, '\0');
    for (std::size_t i = 4 * 75 * 2352; i + 1 < bytes.size(); i += 2)
        bytes[i] = static_cast<char>((i / 2) % 64);
    WriteFile(folder / "disc.bin", bytes);
    WriteFile(folder / "disc.cue", cue);
    return (folder / "disc.cue").string();
}

// The display lines of a run that showed the play mark on a track ("[>] 02 ...").
int PlayingLinesOf(const std::string& output, const std::string& track) {
    int lines = 0;
    for (std::size_t at = output.find("[>] " + track + " "); at != std::string::npos;
         at = output.find("[>] " + track + " ", at + 1))
        ++lines;
    return lines;
}

}  // namespace

TEST_F(Headless, ADiscThatStartsWithDataPlaysItsFirstAudioTrack) {
    const std::string cue = MixedModeDisc(dir_.path(), {6, 6});
    const Outcome run = Play(cue, {"2", "1"});  // two seconds from track 1
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_GT(PlayingLinesOf(run.output, "02"), 0) << run.output;
    EXPECT_EQ(PlayingLinesOf(run.output, "01"), 0) << run.output;
    EXPECT_EQ(run.output.find("no audio tracks"), std::string::npos);
}

TEST_F(Headless, ADiscWithoutAudioTracksSaysSo) {
    const std::string cue = MixedModeDisc(dir_.path(), {});
    const Outcome run = Play(cue, {"1"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(
        run.output.find("(message) This disc holds no audio tracks: there is nothing to play."),
        std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("[>]"), std::string::npos) << run.output;
}

TEST_F(Headless, AnImageLongerThanACdIsRefusedNamingItsSheetAndLength) {
    WriteFile(dir_ / "long.bin", "");
    fs::resize_file(dir_ / "long.bin", 120ull * 60 * 75 * 2352);  // sparse: two hours
    WriteFile(dir_ / "long.cue", "FILE long.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    const std::string cue = (dir_ / "long.cue").string();
    const Outcome run = Play(cue, {"1"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find(cue + ": the disc image lasts 120:00:00, longer than a CD can hold "
                                    "(99:57:74, as its times end at 99:59:74)"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Error: No CD-ROM drive found."), std::string::npos) << run.output;
}

TEST_F(Headless, PlaysFromARealDriveOverSgIo) {
    // The drive is the MMC drive model behind a preloaded ioctl, on a device node of the
    // test's own: the player's MCI device reads it with its real SG_IO code.
    const std::string cue = MixedModeDisc(dir_.path(), {6, 6});
    WriteFile(dir_ / "sr0", "");
    const std::string device = (dir_ / "sr0").string();
    std::vector<std::string> argv{program_.string(), "2", "1"};  // two seconds from track 1
    const Outcome run = RunProgram(
        argv,
        {"ORVANE_CD_IMAGES=", "ORVANE_AUDIO=null", "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
         "XDG_RUNTIME_DIR=" + dir_.path().string(), "LD_PRELOAD=" ORVANE_MMC_SHIM,
         "ASAN_OPTIONS=verify_asan_link_order=0", "ORVANE_CD_DEVICES=" + device,
         "ORVANE_MMC_MODEL_DEVICE=" + device, "ORVANE_MMC_MODEL_CUE=" + cue},
        dir_ / "output.txt");
    ASSERT_EQ(run.status, 0) << run.output;
    // The first audio track plays, its position moving on as on an image drive.
    EXPECT_GT(PlayingLinesOf(run.output, "02"), 0) << run.output;
    EXPECT_EQ(PlayingLinesOf(run.output, "01"), 0) << run.output;
    EXPECT_EQ(run.output.find("No CD-ROM drive found"), std::string::npos) << run.output;
}
