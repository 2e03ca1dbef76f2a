// The player as the desktop's media controls see and drive it, on the scripted device.

#include "cdplayer/remote_control.h"

#include <gtest/gtest.h>

#include "cdplayer/commands.h"
#include "cdplayer/status_thread.h"
#include "fake_mci.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"

using namespace orvane::cdplayer;
using orvane::cdplayer::test::FakeMci;
using orvane::cdplayer::test::RecordingDisplay;

namespace {

// Tracks of 200, 240, 180 and 300 seconds; track 1 starts at 0:02, track 2 at 3:22.
struct Remote : ::testing::Test {
    Remote() : player(mci), thread(player, display) {
        orvane::clock::Install(&clock);
        player.databasePath = (dir / "Nerop.DB").string();
        player.device.Open("D:");
        thread.Poll();  // the names are loaded
    }
    ~Remote() override { orvane::clock::Install(nullptr); }

    RemoteSnapshot Now() { return TakeRemoteSnapshot(player, texts); }

    orvane::test::TempDir dir;
    orvane::clock::VirtualClock clock{true};
    FakeMci mci;
    PlayerState player;
    RecordingDisplay display;
    CStatusThread thread;
    DiscTexts texts;
};

}  // namespace

TEST_F(Remote, TheStatusTrackAndNamesFollowTheDeviceAndTheSongDatabase) {
    RemoteSnapshot s = Now();
    EXPECT_EQ(s.status, RemoteStatus::Stopped);
    EXPECT_TRUE(s.discPresent);
    EXPECT_EQ(s.track, 1u);
    EXPECT_FALSE(s.canGoNext);  // Next acts only while the disc plays

    mci.PlayingAt(200 + 2 + 30);  // 30 s into track 2
    s = Now();
    EXPECT_EQ(s.status, RemoteStatus::Playing);
    EXPECT_EQ(s.track, 2u);
    EXPECT_EQ(s.lengthMs, 240000);
    EXPECT_EQ(s.positionMs, 30000);
    EXPECT_TRUE(s.canGoNext);
    EXPECT_TRUE(s.canGoPrevious);
    // A disc the song database does not know: its placeholder names, until the drive's own
    // texts for this very disc are there.
    EXPECT_EQ(s.title, "TRACK 2");
    EXPECT_EQ(s.album, "");
    EXPECT_EQ(player.CurrentDiscName, "UNKNOWN DISC");  // a new file's record
    texts.identity = "someone else";
    texts.trackTitles = {"One", "Two"};
    EXPECT_EQ(Now().title, "TRACK 2");
    texts.identity = mci.identity;
    texts.title = "The Album";
    texts.performer = "The Band";
    s = Now();
    EXPECT_EQ(s.title, "Two");
    EXPECT_EQ(s.album, "The Album");
    EXPECT_EQ(s.artist, "The Band");
    // Names the user gave in the song database come first, track by track.
    player.CurrentDiscName = "My Disc";
    player.CurrentTrackNames[1] = "My Song";
    s = Now();
    EXPECT_EQ(s.title, "My Song");
    EXPECT_EQ(s.album, "My Disc");
    EXPECT_EQ(s.artist, "The Band");
    mci.PlayingAt(2 + 10);
    EXPECT_EQ(Now().title, "One");

    PlayPauseCommand(player);
    EXPECT_EQ(Now().status, RemoteStatus::Paused);
    EXPECT_FALSE(Now().canGoNext);

    // On the last track there is nowhere to go next.
    mci.PlayingAt(mci.TrackStart(4) / 75 + 5);
    EXPECT_FALSE(Now().canGoNext);
    EXPECT_TRUE(Now().canGoPrevious);

    // An open tray and a missing disc are Stopped, without a track.
    mci.mode = MCI_MODE_OPEN;
    s = Now();
    EXPECT_EQ(s.status, RemoteStatus::Stopped);
    EXPECT_FALSE(s.discPresent);
    EXPECT_EQ(s.track, 0u);
    EXPECT_FALSE(s.canPlay);
}

TEST_F(Remote, OnlyRealChangesCountAndOnlyDiscontinuitiesAreJumps) {
    mci.PlayingAt(2 + 10);
    const RemoteSnapshot a = Now();
    mci.PlayFor(1);
    const RemoteSnapshot b = Now();
    // Playing on moves the position and nothing else.
    EXPECT_TRUE(RemoteChanges(a, b).empty());
    EXPECT_FALSE(PositionJumped(a, b, 1000));
    // Nor is a poll that arrives late a jump.
    EXPECT_FALSE(PositionJumped(a, b, 500));

    PlayPauseCommand(player);
    // Paused, Next and Previous no longer act.
    EXPECT_EQ(RemoteChanges(b, Now()),
              (std::vector<RemoteChange>{RemoteChange::Status, RemoteChange::Controls}));
    PlayPauseCommand(player);

    RandomCommand(player);
    RepeatCommand(player);  // switches random off again, and the disc repeats
    EXPECT_EQ(RemoteChanges(b, Now()), std::vector<RemoteChange>{RemoteChange::Loop});

    // Back by 8 s within the track (an A-B return), or 60 s ahead (a scan): jumps.
    mci.PlayingAt(2 + 3);
    EXPECT_TRUE(PositionJumped(b, Now(), 500));
    mci.PlayingAt(2 + 71);
    EXPECT_TRUE(PositionJumped(b, Now(), 500));

    // The next track from its start is a new track, no jump; into its middle, a jump.
    mci.PlayingAt(202);
    RemoteSnapshot next = Now();
    EXPECT_EQ(RemoteChanges(b, next),
              (std::vector<RemoteChange>{RemoteChange::Metadata, RemoteChange::Loop,
                                         RemoteChange::Controls}));  // Previous now goes back
    EXPECT_FALSE(PositionJumped(b, next, 500));
    mci.PlayingAt(202 + 40);
    EXPECT_TRUE(PositionJumped(b, Now(), 500));
}

TEST_F(Remote, LoopTrackRepeatsTheCurrentTrackThroughTheStatusThread) {
    mci.PlayingAt(202 + 100);  // track 2
    player.modes.RandomOn = 1;
    RemoteSetLoop(player, RemoteLoop::Track);
    EXPECT_EQ(Now().loop, RemoteLoop::Track);
    EXPECT_EQ(player.modes.RandomOn, 0u);
    EXPECT_EQ(player.modes.RepeatA, 202u);
    EXPECT_EQ(player.modes.RepeatB, 202u + 240 - 1);

    // Past the track's end the poll plays it again from its start.
    mci.PlayingAt(202 + 240 + 1);
    thread.Poll();
    EXPECT_EQ(mci.CurrentTrack(), 2u);
    EXPECT_EQ(mci.DiscSeconds(), 202u);

    RemoteSetLoop(player, RemoteLoop::Playlist);
    EXPECT_EQ(Now().loop, RemoteLoop::Playlist);
    EXPECT_EQ(player.modes.RepeatB, 0u);
    RemoteSetLoop(player, RemoteLoop::None);
    EXPECT_EQ(Now().loop, RemoteLoop::None);
    EXPECT_EQ(player.modes.RepeatState, 0u);

    RemoteSetShuffle(player, true);
    EXPECT_TRUE(Now().shuffle);
    RemoteSetShuffle(player, false);
    EXPECT_FALSE(Now().shuffle);
}

TEST_F(Remote, APositionIsSetWithinTheTrackAndPausedPlayStaysPaused) {
    mci.PlayingAt(202 + 5);
    ASSERT_TRUE(RemoteSetPosition(player, 30500));
    RemoteSnapshot s = Now();
    EXPECT_EQ(s.track, 2u);
    EXPECT_EQ(s.status, RemoteStatus::Playing);
    EXPECT_NEAR(static_cast<double>(s.positionMs), 30500, 14);
    // The device is left in the format the status thread expects.
    EXPECT_EQ(mci.format, static_cast<DWORD>(MCI_FORMAT_MSF));

    PlayPauseCommand(player);
    ASSERT_TRUE(RemoteSetPosition(player, -4000));  // before the start: the start
    s = Now();
    EXPECT_EQ(s.status, RemoteStatus::Paused);
    EXPECT_EQ(s.positionMs, 0);
    EXPECT_EQ(s.track, 2u);

    // Past the end: the next track, as Next (which acts while playing).
    PlayPauseCommand(player);
    ASSERT_TRUE(RemoteSetPosition(player, 240000));
    EXPECT_EQ(mci.CurrentTrack(), 3u);

    mci.mode = MCI_MODE_OPEN;
    EXPECT_FALSE(RemoteSetPosition(player, 1000));

    // Track ids are object paths, one per disc and track.
    EXPECT_EQ(RemoteTrackId("00A1-B2:C3", 7), "/org/orvane/Tarvo/disc_00A1_B2_C3/track_7");
    EXPECT_NE(RemoteTrackId("X", 1), RemoteTrackId("Y", 1));
}
