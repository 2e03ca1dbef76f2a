#include <gtest/gtest.h>

#include "cdplayer/commands.h"
#include "fake_mci.h"
#include "platform/clock/clock.h"

using namespace orvane::cdplayer;
using orvane::cdplayer::test::FakeMci;
using orvane::cdplayer::test::RecordingDisplay;

namespace {

struct Player : ::testing::Test {
    Player() : player(mci) {
        orvane::clock::Install(&clock);
        player.device.Open("D:");
        mci.ClearLog();
    }
    ~Player() override { orvane::clock::Install(nullptr); }

    orvane::clock::VirtualClock clock{true};
    FakeMci mci;
    PlayerState player;
    RecordingDisplay box;
};

DriveTypeFn CdromAt(std::string letters) {
    return [letters](const std::string& root) {
        return letters.find(root[0]) != std::string::npos ? DRIVE_CDROM : DRIVE_FIXED;
    };
}

}  // namespace

TEST_F(Player, StartUpClosesAnOpenTrayAndOpensTheFirstCdRomDrive) {
    PlayerState fresh(mci);
    mci.modeText = "open";
    const auto before = clock.NowMs();
    ASSERT_TRUE(StartDevice(fresh, box, CdromAt("FH")));
    EXPECT_EQ(mci.strings,
              (std::vector<std::string>{"status cdaudio mode", "set cdaudio door closed"}));
    EXPECT_GE(clock.NowMs() - before, 500u);
    EXPECT_EQ(mci.Log().back(), "open " + std::to_string(0x3702) + " F: CD1998: 516");
    EXPECT_TRUE(box.messages.empty());

    EXPECT_EQ(CdRomDrives(CdromAt("HF")), (std::vector<std::string>{"F:", "H:"}));
    PlayerState chosen(mci);
    chosen.settings.DriveLetter = 'H';
    ASSERT_TRUE(StartDevice(chosen, box, CdromAt("FH")));
    EXPECT_NE(mci.Log().back().find(" H: "), std::string::npos);
}

TEST_F(Player, StartUpEndsWithoutADriveOrAfterFiftyFailedOpens) {
    PlayerState fresh(mci);
    EXPECT_FALSE(StartDevice(fresh, box, CdromAt("")));
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0].first, "Error: No CD-ROM drive found.");
    EXPECT_EQ(box.messages[0].second, MB_OK);

    box.messages.clear();
    mci.failOpen = true;
    mci.openAttempts = 0;
    EXPECT_FALSE(StartDevice(fresh, box, CdromAt("E")));
    EXPECT_EQ(mci.openAttempts, 50);
    ASSERT_EQ(box.messages.size(), 2u);
    EXPECT_EQ(box.messages[0].first, kCantOpenCdAudio);
    EXPECT_EQ(box.messages[0].second, MB_ICONERROR);
    EXPECT_EQ(box.messages[1].first, "The device is locked.");
}

TEST_F(Player, TransportCommands) {
    PlayPauseCommand(player);  // stopped: play
    EXPECT_EQ(mci.mode, MCI_MODE_PLAY);
    PlayPauseCommand(player);
    EXPECT_EQ(mci.mode, MCI_MODE_PAUSE);
    PreviousTrackCommand(player);  // only while playing
    NextTrackCommand(player);
    PlayPauseCommand(player);
    EXPECT_EQ(mci.mode, MCI_MODE_PLAY);
    NextTrackCommand(player);
    EXPECT_EQ(mci.CurrentTrack(), 2u);
    EXPECT_EQ(mci.format, MCI_FORMAT_TMSF);  // left for the next poll
    PreviousTrackCommand(player);
    PreviousTrackCommand(player);  // track 0 does not exist: play goes on
    EXPECT_EQ(mci.CurrentTrack(), 1u);
    EXPECT_EQ(mci.mode, MCI_MODE_PLAY);

    PlayTrackCommand(player, 3);
    EXPECT_EQ(mci.CurrentTrack(), 4u);
    EXPECT_EQ(mci.format, MCI_FORMAT_MSF);

    player.modes.RandomOn = player.modes.RepeatState = 1;
    player.modes.RepeatA = 20;
    StopCommand(player);
    EXPECT_EQ(player.modes.RandomOn + player.modes.RepeatState + player.modes.RepeatA, 0u);
    EXPECT_EQ(mci.position, FakeMci::kLeadIn);
    PlayPauseCommand(player);  // plays from the start of the disc again
    EXPECT_EQ(mci.CurrentTrack(), 1u);

    EjectCommand(player);
    EXPECT_EQ(mci.mode, MCI_MODE_OPEN);
    EjectCommand(player);
    EXPECT_EQ(mci.mode, MCI_MODE_STOP);

    player.settings.StopCDOnExit = 1;
    mci.ClearLog();
    CloseDevice(player);
    EXPECT_EQ(mci.Log(), (std::vector<std::string>{"stop", "close"}));
}

TEST_F(Player, ModeButtonsAreExclusiveAndRepeatMarksAStretchInEitherOrder) {
    player.modes.ProgramPosition = 2;
    RandomCommand(player);
    EXPECT_EQ(player.modes.RandomOn, 1u);
    EXPECT_EQ(player.modes.ProgramPosition, 0u);
    IntroScanCommand(player);
    EXPECT_EQ(player.modes.IntroScanOn, 1u);
    EXPECT_EQ(player.modes.RandomOn, 0u);
    // Its button also ends the scan, and turns nothing else on.
    IntroScanCommand(player);
    EXPECT_EQ(player.modes.IntroScanOn, 0u);
    EXPECT_EQ(player.modes.RandomOn + player.modes.RepeatState + player.modes.ProgramPosition, 0u);
    IntroScanCommand(player);
    EXPECT_EQ(player.modes.IntroScanOn, 1u);

    mci.PlayingAt(3 * 60 + 10);
    RepeatCommand(player);
    EXPECT_EQ(player.modes.IntroScanOn, 0u);
    EXPECT_EQ(player.modes.RepeatA, 190u);
    mci.PlayingAt(2 * 60 + 40);
    RepeatCommand(player);
    EXPECT_EQ(player.modes.RepeatA, 160u);
    EXPECT_EQ(player.modes.RepeatB, 190u);
    RepeatCommand(player);
    EXPECT_EQ(player.modes.RepeatState, 0u);
    EXPECT_EQ(player.modes.RepeatA + player.modes.RepeatB, 0u);
}

TEST_F(Player, SkipButtonStepsFasterTheLongerItIsHeld) {
    mci.PlayingAt(60);
    auto& forward = player.skipForward;
    ASSERT_TRUE(forward.OnButtonDown(player));
    EXPECT_FALSE(forward.OnButtonDown(player));
    EXPECT_EQ(player.modes.Seeking.load(), 1u);
    EXPECT_EQ(forward.Target(), MCI_MAKE_MSF(1, 0, 0));
    int expected = 60;
    for (int tick = 1; tick <= 14; ++tick) {
        forward.OnTimer();
        expected += tick <= 5 ? 2 : tick <= 8 ? 4 : tick <= 12 ? 6 : 8;
        ASSERT_EQ(MsfSeconds(static_cast<DWORD>(forward.Target())), static_cast<DWORD>(expected))
            << tick;
    }
    mci.format = MCI_FORMAT_TMSF;  // as a Next Track command leaves it
    ASSERT_TRUE(forward.OnButtonUp(player));
    EXPECT_EQ(forward.Target(), -1);
    EXPECT_EQ(player.modes.Seeking.load(), 0u);
    EXPECT_EQ(mci.DiscSeconds(), static_cast<unsigned>(expected));
    EXPECT_FALSE(forward.OnButtonUp(player));

    // Backwards across a minute, and never below 0:00.
    EXPECT_EQ(CSkipButton::Step(MCI_MAKE_MSF(2, 1, 30), 2, false), MCI_MAKE_MSF(1, 59, 30));
    EXPECT_EQ(CSkipButton::Step(MCI_MAKE_MSF(0, 1, 30), 2, false), MCI_MAKE_MSF(0, 0, 0));
    EXPECT_EQ(CSkipButton::Step(MCI_MAKE_MSF(3, 58, 5), 4, true), MCI_MAKE_MSF(4, 2, 5));
}

TEST_F(Player, DataTracksAreSteppedOverByPlayAndTheTrackButtons) {
    // A disc that starts with data (track 1) and has data in the middle (track 3).
    mci.dataTracks = {1, 3};
    StopCommand(player);
    PlayPauseCommand(player);
    EXPECT_EQ(mci.mode, MCI_MODE_PLAY);
    EXPECT_EQ(mci.CurrentTrack(), 2u);
    EXPECT_EQ(mci.format, MCI_FORMAT_MSF);

    NextTrackCommand(player);
    EXPECT_EQ(mci.CurrentTrack(), 4u);
    NextTrackCommand(player);  // past the last audio track: the drive refuses, play goes on
    EXPECT_EQ(mci.CurrentTrack(), 4u);
    PreviousTrackCommand(player);
    EXPECT_EQ(mci.CurrentTrack(), 2u);
    PreviousTrackCommand(player);  // nothing but data before it
    EXPECT_EQ(mci.CurrentTrack(), 2u);
    EXPECT_EQ(mci.mode, MCI_MODE_PLAY);

    PlayTrackCommand(player, 2);  // the data track chosen in the list
    EXPECT_EQ(mci.CurrentTrack(), 4u);

    StopCommand(player);
    PlayOnStartUp(player);
    EXPECT_EQ(mci.CurrentTrack(), 2u);
    EXPECT_EQ(mci.mode, MCI_MODE_PLAY);

    // Only data: nothing plays.
    mci.dataTracks = {1, 2, 3, 4};
    StopCommand(player);
    PlayPauseCommand(player);
    EXPECT_EQ(mci.mode, MCI_MODE_STOP);
}
