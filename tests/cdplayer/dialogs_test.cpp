#include <gtest/gtest.h>

#include "cdplayer/dialogs.h"
#include "cdplayer/mcdb.h"
#include "cdplayer/names.h"
#include "fake_mci.h"
#include "support/temp_dir.h"

using namespace orvane::cdplayer;
using orvane::cdplayer::test::FakeMci;
using orvane::cdplayer::test::RecordingDisplay;

namespace {

struct Dialogs : ::testing::Test {
    Dialogs() : player(mci) {
        player.databasePath = (dir / "Nerop.DB").string();
        player.device.Open("D:");
    }
    MCDB Stored() {
        MCDB db;
        EXPECT_EQ(ReadDatabaseFile(player.databasePath, db), DbRead::Ok);
        return db;
    }

    orvane::test::TempDir dir;
    FakeMci mci{{100, 100, 100}};
    PlayerState player;
    RecordingDisplay box;
};

}  // namespace

TEST_F(Dialogs, NamingANewDiscAddsItAndRenamingRewritesItInPlace) {
    MCDB other = MCDB::ForSingleDisc("OTHER", 2);
    ASSERT_TRUE(CreateDatabaseFile(player.databasePath));
    ASSERT_TRUE(WriteDatabaseFile(player.databasePath, other));

    CdDatabaseDialogData dialog;
    dialog.Open(player, box);
    EXPECT_TRUE(box.messages.empty());
    EXPECT_EQ(dialog.Items(), (std::vector<std::string>{"Track 1", "Track 2", "Track 3"}));
    EXPECT_EQ(dialog.DiscName(), "Unknown DiscName");
    EXPECT_EQ(dialog.IdentityText(), "00A1B2C3");
    EXPECT_TRUE(player.CurrentTrackNames.empty());  // the look-up found nothing

    dialog.SelectionChanged("Intro", 2);  // item 0 takes the edit text; item 2 is next
    EXPECT_EQ(dialog.SelectedText(), "3");
    const auto list = dialog.Ok(player, box, "Finale", "My Disc");
    EXPECT_EQ(list, (std::vector<std::string>{"01 - Intro", "02 - Track 2", "03 - Finale"}));
    EXPECT_EQ(player.CurrentDiscName, "My Disc");
    MCDB db = Stored();
    EXPECT_EQ(db.DiscIds, (std::vector<std::string>{"OTHER", "00A1B2C3"}));
    EXPECT_EQ(db.FirstTrack, (std::vector<std::uint16_t>{0, 2}));
    EXPECT_EQ(db.LastTrack, (std::vector<std::uint16_t>{1, 4}));

    // Opening again finds the stored names; a shorter disc name leaves a shorter file.
    CdDatabaseDialogData again;
    again.Open(player, box);
    EXPECT_EQ(again.DiscName(), "My Disc");
    EXPECT_EQ(again.Items()[2], "Finale");
    again.Ok(player, box, "X", "D");
    db = Stored();
    EXPECT_EQ(db.TrackNames[2], "X");
    EXPECT_EQ(db.DiscNames[1], "D");
    EXPECT_EQ(db.TrackNames.size(), 5u);
}

TEST_F(Dialogs, AStoredDiscWithFewerNamesNeverTouchesAnotherDisc) {
    MCDB db;
    db.TrackNames = {"a1", "b1", "b2"};
    db.DiscIds = {"00A1B2C3", "B"};
    db.DiscNames = {"A", "Bee"};
    db.FirstTrack = {0, 1};
    db.LastTrack = {0, 2};
    ASSERT_TRUE(CreateDatabaseFile(player.databasePath));
    ASSERT_TRUE(WriteDatabaseFile(player.databasePath, db));

    CdDatabaseDialogData dialog;
    dialog.Open(player, box);
    EXPECT_EQ(dialog.Items(), (std::vector<std::string>{"a1", "Track 2", "Track 3"}));
    dialog.Ok(player, box, "a1", "A");
    MCDB back = Stored();
    std::vector<std::string> names;
    ASSERT_TRUE(back.FindDisc("B", names));
    EXPECT_EQ(names, (std::vector<std::string>{"b1", "b2"}));
    ASSERT_TRUE(back.FindDisc("00A1B2C3", names));
    EXPECT_EQ(names, (std::vector<std::string>{"a1", "Track 2", "Track 3"}));
}

TEST_F(Dialogs, UnreadableOrUnwritableFilesAreReported) {
    EXPECT_FALSE(DiscLoadedForDialog(player, box));  // no poll has seen the disc yet
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0].first, kNoDiscLoaded);
    box.messages.clear();

    CdDatabaseDialogData dialog;
    dialog.Open(player, box);  // no file
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0].first, "Fatal Error: Can't open database file Nerop.DB");
    EXPECT_TRUE(dialog.Items().empty());
    EXPECT_EQ(dialog.IdentityText(), "0");
    dialog.Ok(player, box, "x", "y");  // nothing to update, nothing written
    EXPECT_FALSE(std::filesystem::exists(player.databasePath));

    // The file goes away while the dialog is open: OK reports and writes nothing.
    ASSERT_TRUE(CreateDatabaseFile(player.databasePath));
    box.messages.clear();
    CdDatabaseDialogData second;
    second.Open(player, box);
    std::filesystem::remove(player.databasePath);
    second.Ok(player, box, "x", "y");
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0].first, "Error: Can't open database file Nerop.DB");
    EXPECT_FALSE(std::filesystem::exists(player.databasePath));
}

TEST_F(Dialogs, ProgramOrderListsTracksLimitsEntriesAndStartsTheFirst) {
    ProgramDialogData dialog;
    dialog.Open(player, box);
    ASSERT_EQ(box.messages.size(), 1u);  // no database file yet
    EXPECT_EQ(dialog.Tracks(),
              (std::vector<std::string>{"01 - Track 1", "02 - Track 2", "03 - Track 3"}));
    for (int i = 0; i < 36; ++i) {
        EXPECT_TRUE(dialog.AddEnabled()) << i;
        dialog.Add(i % 3);
    }
    EXPECT_FALSE(dialog.AddEnabled());
    dialog.Add(0);
    EXPECT_EQ(dialog.Entries().size(), 36u);
    dialog.Remove(35);
    EXPECT_TRUE(dialog.AddEnabled());
    dialog.Reset();
    EXPECT_TRUE(dialog.Entries().empty());

    dialog.Add(0);
    dialog.Add(1);
    dialog.Add(2);
    dialog.Move(2, 0);  // dragged to the top: 3, 1, 2
    player.modes.RandomOn = 1;
    dialog.Ok(player);
    EXPECT_EQ(player.modes.ProgramCount, 3u);
    EXPECT_EQ(player.modes.ProgramPosition, 1u);
    EXPECT_EQ(player.modes.RandomOn, 0u);
    EXPECT_EQ(player.modes.ProgramOrder[0], 3);
    EXPECT_EQ(mci.CurrentTrack(), 3u);
    EXPECT_EQ(mci.mode, MCI_MODE_PLAY);
    EXPECT_EQ(mci.format, MCI_FORMAT_MSF);

    player.CurrentTrackNames = {"Alpha"};
    ProgramDialogData reopened;
    reopened.Open(player, box);
    ASSERT_EQ(reopened.Entries().size(), 3u);
    EXPECT_EQ(reopened.Entries()[0].text, "01 - Track 3");
    EXPECT_EQ(reopened.Entries()[0].track, 3);

    ProgramDialogData empty;
    empty.Open(player, box);
    empty.Reset();
    empty.Ok(player);
    EXPECT_EQ(player.modes.ProgramPosition, 0u);
}
