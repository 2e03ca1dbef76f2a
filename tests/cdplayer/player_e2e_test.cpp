// The engine on the real layers: the MCI device plays the demo disc from an image drive into
// the null sink, on virtual time.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "cdplayer/background.h"
#include "cdplayer/commands.h"
#include "cdplayer/dialogs.h"
#include "cdplayer/status_thread.h"
#include "demo_disc.h"
#include "fake_mci.h"
#include "platform/audio/audio_sink.h"
#include "platform/cdrom/drives.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"

extern char** environ;

using namespace orvane::cdplayer;
using orvane::cdplayer::test::RecordingDisplay;

namespace {

// Virtual time that moves in steps: each step waits until every thread it woke from a sleep
// has gone back to sleep, so the status thread polls exactly on its schedule however busy the
// machine is. (The playback thread only reads the clock.)
class SteppedClock final : public orvane::clock::Clock {
public:
    std::uint64_t NowMs() override {
        std::lock_guard g(mutex_);
        return now_;
    }
    std::int64_t WallSeconds() override {
        std::lock_guard g(mutex_);
        return 1000000000 + static_cast<std::int64_t>(now_ / 1000);
    }
    void SleepMs(std::uint32_t ms) override {
        std::unique_lock l(mutex_);
        if (autoAdvance_) {
            now_ += ms;
            return;
        }
        ++entries_;
        const std::uint64_t deadline = now_ + ms;
        const auto it = deadlines_.insert(deadline);
        changed_.notify_all();
        changed_.wait(l, [&] { return now_ >= deadline || autoAdvance_; });
        deadlines_.erase(it);
    }
    void Advance(std::uint64_t ms) {
        std::unique_lock l(mutex_);
        now_ += ms;
        std::uint64_t woken = 0;
        for (auto d : deadlines_)
            woken += d <= now_ ? 1 : 0;
        const std::uint64_t target = entries_ + woken;
        changed_.notify_all();
        changed_.wait_for(l, std::chrono::seconds(5), [&] { return entries_ >= target; });
    }
    // Waits until n threads are asleep on the clock.
    void WaitForSleepers(std::size_t n) {
        std::unique_lock l(mutex_);
        changed_.wait_for(l, std::chrono::seconds(5), [&] { return deadlines_.size() >= n; });
    }
    void SetAutoAdvance(bool on) {
        std::lock_guard g(mutex_);
        autoAdvance_ = on;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t now_ = 0;
    std::uint64_t entries_ = 0;
    std::multiset<std::uint64_t> deadlines_;
    bool autoAdvance_ = false;
};

// Demo disc: tracks of 34, 27, 38, 26 and 30 seconds from 0:02 on.
class DemoDisc : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::StartOnDemoDisc(clock_, player_, box_, dir_.path()));
    }
    void TearDown() override {
        clock_.SetAutoAdvance(true);  // lets every sleeping thread finish
        if (thread_) thread_->Stop();
        CloseDevice(player_);
        orvane::cdrom::ResetDrives();
        orvane::audio::InstallSinkFactory({});
        orvane::clock::Install(nullptr);
    }

    // Lets ms of virtual time pass in steps.
    void Run(unsigned ms) {
        for (unsigned done = 0; done < ms; done += 50)
            clock_.Advance(50);
    }
    DWORD Seconds() {
        std::lock_guard lock(player_.lock);
        player_.device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
        return MsfSeconds(player_.device.Status(0, MCI_STATUS_POSITION));
    }
    DWORD Mode() { return player_.device.Status(0, MCI_STATUS_MODE); }

    SteppedClock clock_;
    orvane::test::TempDir dir_;
    PlayerState player_;
    RecordingDisplay box_;
    std::unique_ptr<CStatusThread> thread_;
};

}  // namespace

TEST_F(DemoDisc, TransportCommandsMoveTheHeardPosition) {
    EXPECT_EQ(Seconds(), 2u);
    PlayPauseCommand(player_);
    EXPECT_EQ(Mode(), MCI_MODE_PLAY);
    Run(5000);
    EXPECT_NEAR(Seconds(), 7, 1);

    PlayPauseCommand(player_);
    EXPECT_EQ(Mode(), MCI_MODE_PAUSE);
    const DWORD paused = Seconds();
    Run(2000);
    EXPECT_EQ(Seconds(), paused);
    PlayPauseCommand(player_);
    Run(1000);
    EXPECT_NEAR(Seconds(), paused + 1, 1);

    NextTrackCommand(player_);
    {
        std::lock_guard lock(player_.lock);  // left at TMSF: track 2 from its start
        const DWORD tmsf = player_.device.Status(0, MCI_STATUS_POSITION);
        EXPECT_EQ(MCI_TMSF_TRACK(tmsf), 2u);
        EXPECT_EQ(MCI_TMSF_MINUTE(tmsf) * 60 + MCI_TMSF_SECOND(tmsf), 0u);
    }
    EXPECT_EQ(Seconds(), 36u);

    PlayTrackCommand(player_, 4);  // track 5
    {
        std::lock_guard lock(player_.lock);
        EXPECT_EQ(player_.device.Status(0, MCI_STATUS_CURRENT_TRACK), 5u);
        EXPECT_EQ(player_.device.Status(MCI_TRACK, MCI_STATUS_POSITION, 5),
                  player_.device.Status(0, MCI_STATUS_POSITION));
    }
    StopCommand(player_);
    EXPECT_EQ(Mode(), MCI_MODE_STOP);
    EXPECT_EQ(Seconds(), 2u);
    NextTrackCommand(player_);  // not playing: nothing happens
    EXPECT_EQ(Mode(), MCI_MODE_STOP);
}

TEST_F(DemoDisc, TheStatusThreadFollowsTheDiscAndRepeatsIt) {
    thread_ = std::make_unique<CStatusThread>(player_, box_);
    thread_->Start();
    clock_.WaitForSleepers(1);
    PlayPauseCommand(player_);
    Run(3000);
    ASSERT_GE(box_.messages.size(), 2u);  // a new database for the first disc
    EXPECT_EQ(box_.messages[1].first, "A new database was created.");
    EXPECT_EQ(box_.trackList.size(), 5u);
    EXPECT_EQ(box_.trackList[4], "05 - TRACK 5");
    const std::string line = box_.polls.back().lcdText;
    EXPECT_EQ(line.substr(0, 6), "01 00:");
    EXPECT_NEAR(std::stoi(line.substr(6, 2)), 5, 1);

    // Repeat pressed once, then the last track ends: play goes on at track 1.
    RepeatCommand(player_);
    PlayTrackCommand(player_, 4);
    Run(29000);
    EXPECT_EQ(Mode(), MCI_MODE_PLAY);
    EXPECT_LT(Seconds(), 10u);

    // Opening the door.
    EjectCommand(player_);
    Run(1000);
    EXPECT_EQ(box_.polls.back().lcdText, "NO DISC LOADED...      ");
    EXPECT_EQ(player_.modes.RepeatState, 0u);
    EXPECT_TRUE(thread_->ReloadNames());
}

TEST_F(DemoDisc, ARepeatedStretchComesBackToItsStart) {
    thread_ = std::make_unique<CStatusThread>(player_, box_);
    thread_->Start();
    clock_.WaitForSleepers(1);
    PlayTrackCommand(player_, 0);
    Run(10000);  // 0:12
    RepeatCommand(player_);
    const DWORD a = player_.modes.RepeatA;
    Run(4000);
    RepeatCommand(player_);
    const DWORD b = player_.modes.RepeatB;
    EXPECT_NEAR(b - a, 4, 1);
    DWORD lowest = 1000, highest = 0;
    for (int i = 0; i < 20; ++i) {
        Run(500);
        lowest = std::min(lowest, Seconds());
        highest = std::max(highest, Seconds());
    }
    EXPECT_GE(lowest, a);
    EXPECT_LE(highest, b + 1);
}

TEST_F(DemoDisc, ProgrammedOrderAndIntroScanFollowTheTrackEnds) {
    thread_ = std::make_unique<CStatusThread>(player_, box_);
    thread_->Start();
    clock_.WaitForSleepers(1);
    Run(500);
    ProgramDialogData program;
    program.Open(player_, box_);
    for (int index : {2, 0, 1})
        program.Add(index);
    program.Ok(player_);
    const auto track = [&] { return player_.device.Status(0, MCI_STATUS_CURRENT_TRACK); };
    std::vector<DWORD> order{track()};
    for (int i = 0; i < 260 && player_.modes.ProgramPosition != 0; ++i) {
        Run(500);
        if (track() != order.back()) order.push_back(track());
    }
    EXPECT_EQ(order, (std::vector<DWORD>{3, 1, 2}));
    EXPECT_EQ(player_.modes.ProgramPosition, 0u);
    EXPECT_EQ(Mode(), MCI_MODE_STOP);

    // Intro scan from track 4: a little over five seconds each, then back to track 1.
    player_.settings.IntroScanSeconds = 5;
    IntroScanCommand(player_);
    PlayTrackCommand(player_, 3);
    order = {track()};
    for (int i = 0; i < 40; ++i) {
        Run(500);
        if (track() != order.back()) order.push_back(track());
    }
    EXPECT_EQ(order, (std::vector<DWORD>{4, 5, 1, 2}));
}

namespace {

// Whether a background player answers on the hand-over socket (without asking it anything).
bool BackgroundListening() {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = BackgroundSocketPath();
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// The background process runs on the real clock: waits (at most 20 s) until it has gone.
bool BackgroundGone() {
    for (int i = 0; i < 2000; ++i) {
        if (!BackgroundListening()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class Handover : public DemoDisc {
protected:
    void SetUp() override {
        // The background process finds the same disc, plays into no sound device, and meets
        // the test at a socket of its own.
        ::setenv("ORVANE_CD_IMAGES", (orvane::test::DistDir() / "demo" / "Demo.cue").c_str(), 1);
        ::setenv("ORVANE_AUDIO", "null", 1);
        ::setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        DemoDisc::SetUp();
        player_.settings.StopCDOnExit = 0;
    }
    void TearDown() override {
        TakeOverFromBackground(5000);  // never leaves a player behind
        DemoDisc::TearDown();
    }
    std::string Program() const {
        return (orvane::test::DistDir() / "Tarvo" / "tarvo-headless").string();
    }

    orvane::test::TempDir runtime_;
};

}  // namespace

TEST_F(Handover, PlayGoesOnInTheBackgroundAndComesBackToTheNextPlayer) {
    PlayTrackCommand(player_, 1);
    Run(3000);
    const DWORD handed = Seconds();
    ASSERT_NEAR(handed, 39, 1);
    std::string why;
    ASSERT_TRUE(KeepPlayingInBackground(player_, Program(), why)) << why;
    EXPECT_EQ(Mode(), MCI_MODE_STOP);  // not heard twice
    EXPECT_TRUE(BackgroundListening());

    const auto state = TakeOverFromBackground(10000);
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->drive, 'D');
    EXPECT_FALSE(state->paused);
    EXPECT_GE(MsfSeconds(state->msf), handed);
    EXPECT_LT(MsfSeconds(state->msf), 140u);
    EXPECT_TRUE(BackgroundGone());

    // The next player continues where the background process was.
    ContinueHandedOver(player_, *state);
    EXPECT_EQ(Mode(), MCI_MODE_PLAY);
    EXPECT_EQ(Seconds(), MsfSeconds(state->msf));
}

TEST_F(Handover, APausedDiscIsHeldInTheBackgroundAndComesBackPaused) {
    PlayTrackCommand(player_, 1);
    Run(3000);
    PlayPauseCommand(player_);
    ASSERT_EQ(Mode(), MCI_MODE_PAUSE);
    const DWORD paused = Seconds();
    std::string why;
    ASSERT_TRUE(KeepPlayingInBackground(player_, Program(), why)) << why;
    EXPECT_EQ(Mode(), MCI_MODE_STOP);

    const auto state = TakeOverFromBackground(10000);
    ASSERT_TRUE(state.has_value());
    EXPECT_TRUE(state->paused);
    EXPECT_EQ(MsfSeconds(state->msf), paused);  // a pause does not move
    EXPECT_TRUE(BackgroundGone());

    ContinueHandedOver(player_, *state);
    EXPECT_EQ(Mode(), MCI_MODE_PAUSE);
    EXPECT_EQ(Seconds(), paused);
    PlayPauseCommand(player_);  // and it plays on from there
    EXPECT_EQ(Mode(), MCI_MODE_PLAY);
}

TEST_F(Handover, NothingIsHandedOverWhenTheDiscIsToStopOrIsNotPlaying) {
    std::string why;
    EXPECT_FALSE(KeepPlayingInBackground(player_, Program(), why));  // stopped
    EXPECT_TRUE(why.empty());
    PlayPauseCommand(player_);
    player_.settings.StopCDOnExit = 1;
    EXPECT_FALSE(KeepPlayingInBackground(player_, Program(), why));
    EXPECT_EQ(Mode(), MCI_MODE_PLAY);
    EXPECT_FALSE(BackgroundListening());
    EXPECT_FALSE(TakeOverFromBackground(1000).has_value());
}

TEST_F(Handover, TheBackgroundProcessEndsWithTheDisc) {
    PlayTrackCommand(player_, 4);  // the last track, 30 seconds
    Run(29000);
    ASSERT_EQ(Mode(), MCI_MODE_PLAY);
    ASSERT_NEAR(Seconds(), 156, 1);
    std::string why;
    ASSERT_TRUE(KeepPlayingInBackground(player_, Program(), why)) << why;
    EXPECT_TRUE(BackgroundGone());
    EXPECT_FALSE(std::filesystem::exists(BackgroundSocketPath()));
    EXPECT_FALSE(TakeOverFromBackground(1000).has_value());
}

TEST_F(Handover, TarvoStartingTakesTheDiscBack) {
#ifndef ORVANE_WITH_TARVO
    GTEST_SKIP() << "the window program is not built";
#endif
    PlayTrackCommand(player_, 0);
    Run(2000);
    std::string why;
    ASSERT_TRUE(KeepPlayingInBackground(player_, Program(), why)) << why;

    // The window program, on no screen, with a registry of its own.
    orvane::test::TempDir registry;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("ORVANE_REGISTRY_DIR", registry.path().c_str(), 1);
    // A copy of it, so that its song database is one of the test's own.
    const std::string tarvo = (registry / "Tarvo.EXE").string();
    std::filesystem::copy_file(orvane::test::DistDir() / "Tarvo" / "Tarvo.EXE", tarvo);
    std::filesystem::permissions(tarvo, std::filesystem::perms::owner_all);
    const char* argv[] = {tarvo.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, tarvo.c_str(), &actions, nullptr, const_cast<char* const*>(argv),
                            environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    // It asks the background process to stop as it starts.
    EXPECT_TRUE(BackgroundGone());
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}
