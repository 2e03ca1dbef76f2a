// The engine on the real layers: the MCI device plays the demo disc from an image drive into
// the null sink, on virtual time.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "cdplayer/commands.h"
#include "cdplayer/dialogs.h"
#include "cdplayer/status_thread.h"
#include "fake_mci.h"
#include "platform/audio/audio_sink.h"
#include "platform/cdrom/drives.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"

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
        orvane::clock::Install(&clock_);
        orvane::audio::InstallSinkFactory(
            [] { return std::make_unique<orvane::audio::NullSink>(); });
        std::string error;
        std::shared_ptr<orvane::cdrom::DiscDrive> drive = orvane::cdrom::ImageDrive::Open(
            (orvane::test::DistDir() / "demo" / "Demo.cue").string(), error);
        ASSERT_TRUE(drive) << error;
        orvane::cdrom::InstallDrives({drive});
        player_.databasePath = (dir_ / "Nerop.DB").string();
        clock_.SetAutoAdvance(true);  // the start-up's waits
        ASSERT_TRUE(StartDevice(
            player_, box_, [](const std::string& root) { return GetDriveType(root.c_str()); }));
        clock_.SetAutoAdvance(false);
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
