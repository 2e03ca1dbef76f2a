#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "cdplayer/commands.h"
#include "cdplayer/dialogs.h"
#include "cdplayer/mcdb.h"
#include "cdplayer/status_thread.h"
#include "fake_mci.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"

using namespace orvane::cdplayer;
using orvane::cdplayer::test::FakeMci;
using orvane::cdplayer::test::RecordingDisplay;

namespace {

// Tracks of 200, 240, 180 and 300 seconds; track 1 starts at 0:02, track 2 at 3:22, track 3
// at 7:22 and track 4 at 10:22.
struct Poller : ::testing::Test {
    Poller() : player(mci), thread(player, display) {
        orvane::clock::Install(&clock);
        player.databasePath = (dir / "Nerop.DB").string();
        player.device.Open("D:");
    }
    ~Poller() override { orvane::clock::Install(nullptr); }

    // A poll after the names are loaded, with the log cleared.
    void Settle() {
        thread.Poll();
        display.messages.clear();
        display.polls.clear();
        mci.ClearLog();
    }
    std::string Line() { return display.polls.back().lcdText; }
    // Plays at a number of seconds before the end of a track.
    void Before(unsigned track, unsigned seconds) {
        mci.PlayingAt(mci.TrackStart(track + 1) / 75 - seconds);
    }

    orvane::clock::VirtualClock clock{true};
    orvane::test::TempDir dir;
    FakeMci mci;
    PlayerState player;
    RecordingDisplay display;
    CStatusThread thread;
};

}  // namespace

TEST_F(Poller, FirstDetectionCreatesTheDatabaseWithTheDisc) {
    thread.Poll();
    ASSERT_EQ(display.messages.size(), 2u);
    EXPECT_EQ(display.messages[0].first, "Error: Can't open database file Nerop.DB");
    EXPECT_EQ(display.messages[0].second, MB_ICONERROR);
    EXPECT_EQ(display.messages[1].first, "A new database was created.");
    EXPECT_EQ(display.messages[1].second, MB_ICONINFORMATION);

    MCDB db;
    ASSERT_EQ(ReadDatabaseFile(player.databasePath, db), DbRead::Ok);
    EXPECT_EQ(db.DiscIds, (std::vector<std::string>{"00A1B2C3"}));
    EXPECT_EQ(db.DiscNames, (std::vector<std::string>{"UNKNOWN DISC"}));
    EXPECT_EQ(db.TrackNames,
              (std::vector<std::string>{"TRACK 1", "TRACK 2", "TRACK 3", "TRACK 4"}));
    EXPECT_EQ(player.CurrentDiscName, "UNKNOWN DISC");
    EXPECT_EQ(display.trackList[3], "04 - TRACK 4");
    EXPECT_TRUE(display.polls[0].invalidate);
    EXPECT_FALSE(thread.ReloadNames());

    // Loaded once: the next poll neither reads nor announces anything.
    display.messages.clear();
    thread.Poll();
    EXPECT_TRUE(display.messages.empty());
    EXPECT_FALSE(display.polls.back().trackList.has_value());
}

TEST_F(Poller, EmptyUnknownAndCorruptDatabases) {
    orvane::test::WriteFile(player.databasePath, "");
    thread.Poll();  // an empty file takes the disc without a word
    EXPECT_TRUE(display.messages.empty());
    EXPECT_EQ(player.CurrentDiscName, "UNKNOWN DISC");

    MCDB other = MCDB::ForSingleDisc("OTHER", 2);
    ASSERT_TRUE(WriteDatabaseFile(player.databasePath, other));
    CStatusThread second(player, display);
    second.Poll();  // a disc that is not stored is shown but not added
    EXPECT_EQ(player.CurrentDiscName, "UNKNOWN DISC NAME");
    EXPECT_EQ(player.CurrentTrackNames.size(), 4u);
    EXPECT_EQ(player.CurrentTrackNames[0], "TRACK 1");
    MCDB db;
    ASSERT_EQ(ReadDatabaseFile(player.databasePath, db), DbRead::Ok);
    EXPECT_EQ(db.DiscIds.size(), 1u);

    orvane::test::WriteFile(player.databasePath,
                            std::string("\xFF\xFF\x01\x00\x04\x00MCDB\x05", 11));
    CStatusThread third(player, display);
    third.Poll();  // unreadable: kept aside, a new file is started
    EXPECT_EQ(orvane::test::ReadFile(player.databasePath + ".unreadable").size(), 11u);
    ASSERT_EQ(display.messages.size(), 2u);
    EXPECT_EQ(display.messages[1].first,
              "A new database was created.\n\nThe old database could not be read (the file ends "
              "early); its names were kept in " +
                  player.databasePath + ".unreadable.");
    EXPECT_EQ(player.CurrentDiscName, "UNKNOWN DISC");
}

TEST_F(Poller, ADatabaseThatCanBeNeitherReadNorSetAsideIsNeverTouched) {
    // A name at the file system's limit cannot take the ".unreadable" suffix, so the damaged
    // file can be neither read nor renamed, whoever runs the test.
    player.databasePath = (dir / std::string(255, 'N')).string();
    const std::string damaged("\xFF\xFF\x01\x00\x04\x00MCDB\x05", 11);
    orvane::test::WriteFile(player.databasePath, damaged);
    thread.Poll();
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(display.messages[0].first,
              "Names will not be saved: " + player.databasePath +
                  " cannot be read (the file ends early) and cannot be set aside (File name too "
                  "long). The player keeps the names in memory until it is closed.");
    EXPECT_EQ(player.CurrentDiscName, "UNKNOWN DISC NAME");
    EXPECT_EQ(player.CurrentTrackNames[3], "TRACK 4");

    // Naming the disc keeps the names for this run without writing anything.
    ASSERT_TRUE(DiscLoadedForDialog(player, display));
    CdDatabaseDialogData dialog;
    dialog.Open(player, display);
    EXPECT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(dialog.Items()[0], "Track 1");
    dialog.Ok(player, display, "Overture", "Live");
    EXPECT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(player.CurrentDiscName, "Live");

    // The disc taken out and put back: its names come back from memory, with no second word.
    mci.mode = MCI_MODE_OPEN;
    thread.Poll();
    mci.mode = MCI_MODE_STOP;
    thread.Poll();
    EXPECT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(player.CurrentDiscName, "Live");
    EXPECT_EQ(player.CurrentTrackNames[0], "Overture");
    ProgramDialogData program;
    program.Open(player, display);
    EXPECT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(program.Tracks()[0], "Overture");

    EXPECT_EQ(orvane::test::ReadFile(player.databasePath), damaged);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(Poller, SpecialFilesNamedLikeTheDatabaseNeitherBlockNorGetRead) {
    ASSERT_EQ(::mkfifo(player.databasePath.c_str(), 0600), 0);
    thread.Poll();  // returns: the FIFO is not opened for a blocking read
    ASSERT_EQ(display.messages.size(), 2u);
    EXPECT_EQ(display.messages[1].first,
              "A new database was created.\n\nThe old database could not be read (it is not a "
              "regular file); its names were kept in " +
                  player.databasePath + ".unreadable.");
    EXPECT_TRUE(std::filesystem::is_fifo(player.databasePath + ".unreadable"));
    MCDB db;
    EXPECT_EQ(ReadDatabaseFile(player.databasePath, db), DbRead::Ok);
}

TEST_F(Poller, PlayModesNeverPickADataTrack) {
    mci.dataTracks = {1, 3};
    Settle();
    auto& m = player.modes;

    // Repeat of the disc starts again at the first audio track.
    m.RepeatState = 1;
    Before(4, 2);
    thread.Poll();
    EXPECT_EQ(mci.CurrentTrack(), 2u);
    m.RepeatState = 0;

    // Random picks land on audio tracks only.
    std::set<unsigned> picked;
    m.RandomOn = 1;
    for (int i = 0; i < 40; ++i) {
        clock.Advance(1000);  // a new seed each time
        Before(mci.CurrentTrack(), 1);
        thread.Poll();
        ASSERT_EQ(mci.mode, MCI_MODE_PLAY);
        picked.insert(mci.CurrentTrack());
    }
    EXPECT_EQ(picked, (std::set<unsigned>{2, 4}));
    m.RandomOn = 0;

    // Intro scan goes from track 2 to track 4, then back to track 2.
    m.IntroScanOn = 1;
    std::vector<unsigned> scanned;
    mci.PlayingAt(mci.TrackStart(2) / 75);
    for (int i = 0; i < 2; ++i) {
        mci.PlayFor(player.settings.IntroScanSeconds + 2);
        thread.Poll();
        scanned.push_back(mci.CurrentTrack());
    }
    EXPECT_EQ(scanned, (std::vector<unsigned>{4, 2}));
}

TEST(PollerDataDisc, ADiscWithoutAudioTracksSaysSo) {
    orvane::clock::VirtualClock clock{true};
    orvane::clock::Install(&clock);
    orvane::test::TempDir dir;
    FakeMci mci({200, 100});
    mci.dataTracks = {1, 2};
    PlayerState player(mci);
    player.databasePath = (dir / "Nerop.DB").string();
    player.device.Open("D:");
    RecordingDisplay display;
    CStatusThread thread(player, display);
    thread.Poll();
    ASSERT_FALSE(display.messages.empty());
    EXPECT_EQ(display.messages.back().first,
              "This disc holds no audio tracks: there is nothing to play.");
    display.messages.clear();
    thread.Poll();  // said once per disc
    EXPECT_TRUE(display.messages.empty());
    orvane::clock::Install(nullptr);
}

TEST_F(Poller, DisplayLineShowsTrackTimesAndAScrollingName) {
    Settle();
    player.CurrentTrackNames = {"One", "ab"};
    mci.PlayingAt(3 * 60 + 32);  // 10 s into track 2
    thread.Poll();
    // Name text "        ab " (11 characters); the first poll left the window at offset 1.
    EXPECT_EQ(Line(), "02 03:32 03:50       ab");
    std::vector<std::string> windows;
    for (int i = 0; i < 12; ++i) {
        thread.Poll();
        windows.push_back(Line().substr(15));
    }
    EXPECT_EQ(windows[0], "     ab ");
    EXPECT_EQ(windows[5], "ab      ");
    EXPECT_EQ(windows[6], "b       ");
    EXPECT_EQ(windows[7], "        ");  // offset 10: the trailing blank, then the start
    EXPECT_EQ(windows[8], "        ");  // offset 11, the text's length: still shown
    EXPECT_EQ(windows[9], "        ");  // past the text: back to offset 0
    EXPECT_EQ(windows[10], "       a");
    EXPECT_EQ(thread.ScrollOffset(), 2u);

    mci.PlayingAt(7 * 60 + 30);  // track 3 has no name
    thread.Poll();
    EXPECT_EQ(Line().substr(0, 15), "03 07:30 02:52 ");
    EXPECT_EQ(CStatusThread::NameText(player.CurrentTrackNames, 3), "        UNKNOWN TRACK NAME ");
    EXPECT_EQ(CStatusThread::VisiblePart("        Caf\u00E9 ", 9), "af\u00E9     ");
}

TEST_F(Poller, ProgressSelectionAndBlinkingMark) {
    Settle();
    mci.PlayingAt(3 * 60 + 22 + 60);
    thread.Poll();
    const auto& d = display.polls.back();
    EXPECT_TRUE(d.progress);
    EXPECT_EQ(d.elapsed, 60u);
    EXPECT_EQ(d.length, 240u);
    EXPECT_EQ(ProgressBarRight(d.elapsed, d.length), 55);
    EXPECT_EQ(d.selectTrack, 1);
    EXPECT_EQ(ProgressBarRight(240, 240), 130);
    EXPECT_EQ(ProgressBarRight(0xFFFFFFF0u, 240), 130);
    EXPECT_EQ(ProgressBarRight(10, 0), 30);

    std::vector<int> marks{d.mark};
    thread.Poll();
    marks.push_back(display.polls.back().mark);
    PlayPauseCommand(player);
    for (int i = 0; i < 2; ++i) {
        thread.Poll();
        marks.push_back(display.polls.back().mark);
    }
    StopCommand(player);
    thread.Poll();
    marks.push_back(display.polls.back().mark);
    EXPECT_EQ(marks, (std::vector<int>{190, 191, 192, 191, 0}));

    player.trackListDropped = true;
    thread.Poll();
    EXPECT_EQ(display.polls.back().selectTrack, -1);
}

TEST_F(Poller, OpeningTheDoorShowsNoDiscAndResetsThePlayModes) {
    Settle();
    player.modes.RandomOn = player.modes.RepeatState = 1;
    player.modes.ProgramPosition = 2;
    player.modes.RepeatA = 40;
    EjectCommand(player);
    thread.Poll();
    const auto& d = display.polls.back();
    EXPECT_EQ(d.lcdText, "NO DISC LOADED...      ");
    EXPECT_TRUE(d.invalidate);
    EXPECT_FALSE(d.progress);
    EXPECT_EQ(player.modes.RandomOn + player.modes.RepeatState + player.modes.ProgramPosition, 0u);
    EXPECT_EQ(player.modes.RepeatA, 40u);
    EXPECT_TRUE(thread.ReloadNames());
    EXPECT_FALSE(player.discPresent);

    // Another disc goes in: its names are loaded on the next poll.
    mci.identity = "NEWDISC";
    EjectCommand(player);
    thread.Poll();
    EXPECT_TRUE(player.discPresent);
    EXPECT_FALSE(thread.ReloadNames());
    EXPECT_EQ(player.CurrentDiscName, "UNKNOWN DISC NAME");
    EXPECT_TRUE(display.polls.back().trackList.has_value());
}

TEST_F(Poller, RepeatOfTheDiscAndOfAStretch) {
    Settle();
    player.modes.RepeatState = 1;
    Before(3, 2);  // the end of a track that is not the last: nothing
    thread.Poll();
    EXPECT_EQ(mci.CurrentTrack(), 3u);
    Before(4, 3);
    thread.Poll();
    EXPECT_EQ(mci.CurrentTrack(), 1u);
    EXPECT_EQ(mci.DiscSeconds(), 2u);
    EXPECT_EQ(mci.format, MCI_FORMAT_MSF);

    player.modes.RepeatA = 160;
    player.modes.RepeatB = 190;
    for (unsigned at : {195u, 150u}) {
        mci.PlayingAt(at);
        thread.Poll();
        EXPECT_EQ(mci.DiscSeconds(), 160u) << at;
    }
    mci.PlayingAt(175);
    thread.Poll();
    EXPECT_EQ(mci.DiscSeconds(), 175u);
}

TEST_F(Poller, ProgrammedOrderWithAndWithoutRepeat) {
    Settle();
    auto& m = player.modes;
    m.ProgramOrder[0] = 3;
    m.ProgramOrder[1] = 1;
    m.ProgramOrder[2] = 2;
    m.ProgramCount = 3;
    m.ProgramPosition = 1;
    std::vector<unsigned> played;
    for (unsigned current : {3u, 1u, 2u}) {
        Before(current, 1);
        thread.Poll();
        played.push_back(mci.mode == MCI_MODE_PLAY ? mci.CurrentTrack() : 0);
    }
    EXPECT_EQ(played, (std::vector<unsigned>{1, 2, 0}));
    EXPECT_EQ(m.ProgramPosition, 0u);

    m.ProgramPosition = 3;
    m.RepeatState = 1;
    Before(2, 1);
    thread.Poll();
    EXPECT_EQ(m.ProgramPosition, 1u);
    EXPECT_EQ(mci.CurrentTrack(), 3u);

    // An entry beyond the disc is never asked for: play goes on at track 1.
    m.RepeatState = 0;
    m.ProgramOrder[1] = 9;
    m.ProgramPosition = 1;
    Before(3, 1);
    mci.ClearLog();
    thread.Poll();
    EXPECT_EQ(mci.CurrentTrack(), 1u);
    for (const auto& line : mci.Log())
        EXPECT_NE(line, "play from 9");
}

TEST_F(Poller, RandomPicksStayOnTheDiscAndIntroScanMovesOn) {
    Settle();
    player.modes.RandomOn = 1;
    std::set<unsigned> picks;
    for (int i = 0; i < 60; ++i) {
        clock.Advance(1000);  // a new seed every pick
        Before(1, 2);
        thread.Poll();
        ASSERT_EQ(mci.mode, MCI_MODE_PLAY);
        picks.insert(mci.CurrentTrack());
    }
    EXPECT_GE(picks.size(), 3u);
    EXPECT_GE(*picks.begin(), 1u);
    EXPECT_LE(*picks.rbegin(), 4u);

    player.modes.RandomOn = 0;
    IntroScanCommand(player);
    player.settings.IntroScanSeconds = 5;
    mci.PlayingAt(3 * 60 + 22 + 5);
    thread.Poll();
    EXPECT_EQ(mci.CurrentTrack(), 2u);  // five seconds are not past the setting
    mci.PlayFor(1);
    thread.Poll();
    EXPECT_EQ(mci.CurrentTrack(), 3u);
    mci.PlayingAt(10 * 60 + 22 + 6);
    mci.ClearLog();
    thread.Poll();
    EXPECT_EQ(mci.CurrentTrack(), 1u);  // after the last track: the first
    for (const auto& line : mci.Log())
        EXPECT_NE(line, "play from 5");
}

TEST(PollerEmptyDisc, RandomPlayOnADiscWithoutTracksChoosesNothing) {
    orvane::test::TempDir dir;
    FakeMci mci(std::vector<unsigned>{});
    PlayerState player(mci);
    player.databasePath = (dir / "Nerop.DB").string();
    player.device.Open("D:");
    RecordingDisplay display;
    CStatusThread thread(player, display);
    player.modes.RandomOn = 1;
    mci.mode = MCI_MODE_PLAY;
    thread.Poll();
    for (const auto& line : mci.Log())
        EXPECT_EQ(line.rfind("play", 0), std::string::npos);
}

TEST_F(Poller, HoldToScanShowsTheTargetAndCrossesIntoTheNextTrack) {
    Settle();
    Before(1, 5);
    auto& forward = player.skipForward;
    ASSERT_TRUE(forward.OnButtonDown(player));
    EXPECT_EQ(thread.Poll(), CStatusThread::kSeekingPollMs);
    for (int i = 0; i < 2; ++i)
        forward.OnTimer();
    mci.PlayFor(1);
    thread.Poll();  // shows the target, still in track 1
    EXPECT_EQ(Line().substr(0, 15), "01 03:21 00:01 ");
    forward.OnTimer();  // one second past the end of track 1
    mci.ClearLog();
    thread.Poll();
    EXPECT_EQ(mci.CurrentTrack(), 2u);
    EXPECT_EQ(mci.DiscSeconds(), 3 * 60 + 23u);
    EXPECT_TRUE(forward.OnButtonUp(player));
    EXPECT_EQ(thread.Poll(), CStatusThread::kPollMs);
}

TEST_F(Poller, TheSliderSeeksWithinTheTrackAndPlayResumes) {
    Settle();
    player.fullSize = true;
    mci.PlayingAt(3 * 60 + 30);
    thread.Poll();
    ASSERT_TRUE(display.polls.back().sliderMax.has_value());
    EXPECT_EQ(*display.polls.back().sliderMax, 240);
    EXPECT_EQ(display.polls.back().sliderPos, 8);

    player.slider.OnButtonDown();
    player.slider.SetPosition(95);
    thread.Poll();
    EXPECT_EQ(mci.DiscSeconds(), 3 * 60 + 22 + 95u);
    EXPECT_FALSE(display.polls.back().sliderPos.has_value());
    player.slider.OnButtonUp();
    player.slider.SetPosition(100);
    thread.Poll();
    EXPECT_FALSE(player.slider.Released());
    EXPECT_EQ(mci.DiscSeconds(), 3 * 60 + 22 + 100u);
    StopCommand(player);
    mci.position = mci.TrackStart(2) + 100 * 75;
    thread.Poll();  // play was stopped after the seek: it resumes
    EXPECT_EQ(mci.mode, MCI_MODE_PLAY);
    EXPECT_EQ(display.polls.back().sliderPos, 100);
    EXPECT_FALSE(display.polls.back().sliderMax.has_value());
}

TEST_F(Poller, PollsAndCommandsOfTwoThreadsNeverInterleaveAFormatChange) {
    Settle();
    mci.PlayingAt(60);
    std::atomic<bool> done{false};
    std::thread ui([&] {
        for (int i = 0; i < 500; ++i) {
            PlayTrackCommand(player, i % 4);
            RepeatCommand(player);
        }
        done = true;
    });
    while (!done)
        thread.Poll();
    ui.join();
    // Every track play of the commands was sent while TMSF was in force.
    const auto log = mci.Log();
    DWORD format = MCI_FORMAT_MSF;
    for (const auto& line : log) {
        if (line == "format 10") format = MCI_FORMAT_TMSF;
        if (line == "format 2") format = MCI_FORMAT_MSF;
        if (line.rfind("play from ", 0) == 0 && std::stoul(line.substr(10)) <= 4) {
            ASSERT_EQ(format, MCI_FORMAT_TMSF);
        }
    }
}

TEST(StatusThreadRun, PollsOnTheClockAndStopsPollingWhilePaused) {
    orvane::clock::VirtualClock clock;
    orvane::clock::Install(&clock);
    orvane::test::TempDir dir;
    FakeMci mci;
    PlayerState player(mci);
    player.databasePath = (dir / "Nerop.DB").string();
    player.CurrentTrackNames = {"Intro"};
    player.device.Open("D:");
    RecordingDisplay display;
    {
        CStatusThread thread(player, display);
        thread.Start();
        ASSERT_TRUE(clock.WaitForSleepers(1));
        EXPECT_EQ(display.polls.size(), 2u);  // the initial track list and the first poll
        EXPECT_EQ(display.polls[0].trackList->at(0), "01 - Intro");
        clock.Advance(499);
        EXPECT_EQ(clock.Sleepers(), 1);
        thread.Pause();
        clock.Advance(1);
        while (clock.Sleepers() != 0)
            std::this_thread::yield();
        clock.Advance(5000);
        EXPECT_EQ(display.polls.size(), 2u);
        thread.Continue();
        ASSERT_TRUE(clock.WaitForSleepers(1));
        EXPECT_EQ(display.polls.size(), 3u);
        clock.SetAutoAdvance(true);
        thread.Stop();
    }
    orvane::clock::Install(nullptr);
}
