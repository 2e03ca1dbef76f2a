#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include "cdplayer/mcdb.h"
#include "cdplayer/names.h"
#include "cdplayer/ui/about_info.h"
#include "cdplayer/ui/dialogs_ui.h"
#include "cdplayer/ui/qt_messenger.h"
#include "fake_mci.h"
#include "support/temp_dir.h"

using namespace orvane::cdplayer;
using namespace orvane::cdplayer::ui;
using orvane::cdplayer::test::FakeMci;

namespace {

struct DialogFixture : ::testing::Test {
    DialogFixture() : player(mci) {
        player.databasePath = (dir / "Nerop.DB").string();
        player.device.Open("D:");
        player.discPresent = true;
        messenger.SetHandler([this](const std::string& text, const std::string&, unsigned) {
            messages.push_back(text);
            return IDOK;
        });
    }

    orvane::test::TempDir dir;
    FakeMci mci{{100, 120, 140, 160}};
    PlayerState player;
    QtMessenger messenger;
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(DialogFixture, ProgramDialogAllowsThirtySixEntriesAndReenablesAdd) {
    CProgramDlg dialog(player, messenger, nullptr);
    ASSERT_EQ(dialog.Tracks()->count(), 4);
    EXPECT_EQ(dialog.Tracks()->currentRow(), 0);
    dialog.Tracks()->setCurrentRow(2);
    for (int i = 0; i < 35; ++i)
        dialog.Add();
    EXPECT_TRUE(dialog.AddButton()->isEnabled());
    dialog.Add();
    EXPECT_EQ(dialog.Order()->count(), 36);
    EXPECT_FALSE(dialog.AddButton()->isEnabled());
    dialog.Add();  // refused past 36
    EXPECT_EQ(dialog.Order()->count(), 36);
    EXPECT_EQ(dialog.Order()->item(0)->data(Qt::UserRole).toInt(), 3);

    dialog.Order()->setCurrentRow(5);
    dialog.Remove();
    EXPECT_EQ(dialog.Order()->count(), 35);
    EXPECT_TRUE(dialog.AddButton()->isEnabled());
    dialog.Add();
    EXPECT_FALSE(dialog.AddButton()->isEnabled());
    dialog.Reset();
    EXPECT_EQ(dialog.Order()->count(), 0);
    EXPECT_TRUE(dialog.AddButton()->isEnabled());
    // Remove with nothing listed does nothing.
    dialog.Remove();
    EXPECT_EQ(dialog.Order()->count(), 0);
}

TEST_F(DialogFixture, ProgramDialogDragReordersAndOkStartsTheFirstEntry) {
    CProgramDlg dialog(player, messenger, nullptr);
    for (int row : {2, 0, 1}) {
        dialog.Tracks()->setCurrentRow(row);
        dialog.Add();
    }
    // Drag the first entry (track 3) below the last.
    ASSERT_TRUE(dialog.Order()->model()->moveRow(QModelIndex(), 0, QModelIndex(), 3));
    ASSERT_EQ(dialog.Data().Entries().size(), 3u);
    EXPECT_EQ(dialog.Data().Entries()[0].track, 1);
    EXPECT_EQ(dialog.Data().Entries()[1].track, 2);
    EXPECT_EQ(dialog.Data().Entries()[2].track, 3);
    EXPECT_EQ(dialog.Order()->item(2)->data(Qt::UserRole).toInt(), 3);

    dialog.ApplyOk();
    EXPECT_EQ(player.modes.ProgramPosition, 1u);
    EXPECT_EQ(player.modes.ProgramCount, 3u);
    EXPECT_EQ(player.modes.ProgramOrder[0], 1);
    EXPECT_EQ(mci.CurrentTrack(), 1u);
    EXPECT_EQ(mci.mode, static_cast<DWORD>(MCI_MODE_PLAY));
}

TEST_F(DialogFixture, CdDatabaseDialogEditsNamesThroughTheEditField) {
    // An empty database file: no messages, names made up for the dialog.
    ASSERT_TRUE(CreateDatabaseFile(player.databasePath));
    CCdDatabaseDlg dialog(player, messenger, nullptr);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(dialog.TrackList()->count(), 4);
    EXPECT_EQ(dialog.TrackList()->item(0)->text(), "Track 1");
    EXPECT_EQ(dialog.TrackEdit()->text(), "Track 1");
    EXPECT_EQ(dialog.DiscNameEdit()->text(), "Unknown DiscName");
    EXPECT_EQ(dialog.DiscNameEdit()->maxLength(), 22);
    EXPECT_EQ(dialog.TrackEdit()->maxLength(), 40);
    EXPECT_EQ(static_cast<QLabel*>(dialog.Control(1004))->text(), "00A1B2C3");

    dialog.TrackEdit()->setText("Overture");
    dialog.TrackList()->setCurrentRow(3);
    EXPECT_EQ(dialog.TrackList()->item(0)->text(), "Overture");
    EXPECT_EQ(dialog.TrackEdit()->text(), "Track 4");
    EXPECT_EQ(static_cast<QLabel*>(dialog.Control(1003))->text(), "4");
    // The arrow keys in the edit field step through the list, keeping what was typed.
    const auto key = [&](int k) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(dialog.TrackEdit(), &press);
    };
    dialog.TrackEdit()->setText("Coda");
    key(Qt::Key_Down);
    EXPECT_EQ(dialog.TrackList()->currentRow(), 3);
    EXPECT_EQ(dialog.TrackEdit()->text(), "Coda");
    key(Qt::Key_Up);
    EXPECT_EQ(dialog.TrackList()->currentRow(), 2);
    EXPECT_EQ(dialog.TrackList()->item(3)->text(), "Coda");
    EXPECT_EQ(dialog.TrackEdit()->text(), "Track 3");
    EXPECT_EQ(static_cast<QLabel*>(dialog.Control(1003))->text(), "3");
    dialog.TrackEdit()->setText("Rondo");
    key(Qt::Key_Down);
    EXPECT_EQ(dialog.TrackEdit()->text(), "Coda");
    dialog.DiscNameEdit()->setText("Suite");
    const auto items = dialog.ApplyOk();
    EXPECT_EQ(items, (std::vector<std::string>{"01 - Overture", "02 - Track 2", "03 - Rondo",
                                               "04 - Coda"}));
    EXPECT_EQ(player.CurrentDiscName, "Suite");

    // The names are in the file: a new dialog finds them.
    CCdDatabaseDlg again(player, messenger, nullptr);
    EXPECT_EQ(again.DiscNameEdit()->text(), "Suite");
    EXPECT_EQ(again.TrackList()->item(3)->text(), "Coda");
}

TEST_F(DialogFixture, CdDatabaseDialogKeepsStoredNamesLongerThanWhatCanBeTyped) {
    const std::string disc(30, 'D');
    const std::string longName(50, 'L');
    MCDB db;
    db.DiscIds = {"00A1B2C3"};
    db.DiscNames = {disc};
    db.TrackNames = {longName, "Two", "Three", longName + "!"};
    db.FirstTrack = {0};
    db.LastTrack = {3};
    ASSERT_TRUE(CreateDatabaseFile(player.databasePath));
    ASSERT_TRUE(WriteDatabaseFile(player.databasePath, db));

    CCdDatabaseDlg dialog(player, messenger, nullptr);
    EXPECT_EQ(dialog.DiscNameEdit()->text().toStdString(), disc);
    EXPECT_EQ(dialog.TrackEdit()->text().toStdString(), longName);
    dialog.TrackList()->setCurrentRow(1);
    EXPECT_EQ(dialog.TrackEdit()->maxLength(), 40);
    dialog.TrackList()->setCurrentRow(3);
    EXPECT_EQ(dialog.TrackEdit()->text().toStdString(), longName + "!");
    dialog.ApplyOk();

    MCDB back;
    ASSERT_EQ(ReadDatabaseFile(player.databasePath, back), DbRead::Ok);
    EXPECT_EQ(back.DiscNames, (std::vector<std::string>{disc}));
    EXPECT_EQ(back.TrackNames, db.TrackNames);
}

TEST_F(DialogFixture, CdDatabaseDialogWithoutAFileSaysSoAndShowsTemplateTexts) {
    CCdDatabaseDlg dialog(player, messenger, nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Fatal Error: Can't open database file Nerop.DB");
    EXPECT_EQ(dialog.DiscNameEdit()->text(), "");
    EXPECT_EQ(static_cast<QLabel*>(dialog.Control(1003))->text(), "1");
    EXPECT_EQ(static_cast<QLabel*>(dialog.Control(1004))->text(), "0");
}

TEST_F(DialogFixture, PreferencesSheetRefusesBadInputAndStoresGoodInput) {
    player.settings.DriveLetter = 'G';
    const DriveTypeFn types = [](const std::string& root) -> UINT {
        return root == "E:\\" || root == "G:\\" ? DRIVE_CDROM : DRIVE_NO_ROOT_DIR;
    };
    int saves = 0;
    CSetupProp sheet(player, messenger, types, nullptr);
    sheet.OnSave([&] { ++saves; });
    // The first CD-ROM drive is selected each time, whatever the setting.
    ASSERT_EQ(sheet.Drives()->count(), 2);
    EXPECT_EQ(sheet.Drives()->currentText(), "E:");
    EXPECT_EQ(sheet.IntroScan()->text(), "5");
    EXPECT_FALSE(sheet.Check(1010)->isChecked());

    sheet.IntroScan()->setText("61");
    EXPECT_FALSE(sheet.TryOk());
    sheet.IntroScan()->setText("2");
    EXPECT_FALSE(sheet.TryOk());
    EXPECT_EQ(messages, (std::vector<std::string>{"Please enter an integer between 3 and 60.",
                                                  "Please enter an integer between 3 and 60."}));
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(player.settings.IntroScanSeconds, 5);

    sheet.IntroScan()->setText("12");
    sheet.Check(1010)->setChecked(true);
    sheet.Check(1008)->setChecked(true);
    EXPECT_TRUE(sheet.TryOk());
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(player.settings.IntroScanSeconds, 12);
    EXPECT_EQ(player.settings.PlayOnStartUp, 1);
    EXPECT_EQ(player.settings.StopCDOnExit, 1);
    EXPECT_EQ(player.settings.SaveSettings, 0);
    EXPECT_EQ(player.settings.DriveLetter, 'E');
}

TEST_F(DialogFixture, UpDownStaysWithinItsRange) {
    CSetupProp sheet(player, messenger, nullptr, nullptr);
    EXPECT_EQ(sheet.Drives()->count(), 0);
    QLineEdit* edit = sheet.IntroScan();
    edit->setText("59");
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QApplication::sendEvent(edit, &up);
    QApplication::sendEvent(edit, &up);
    EXPECT_EQ(edit->text(), "60");
    edit->setText("3");
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(edit, &down);
    EXPECT_EQ(edit->text(), "3");
}

TEST(About, ShowsVersionMemoryAndDisk) {
    CAboutDlg about(nullptr);
    EXPECT_EQ(about.windowTitle(), "About Orvane CD Player...");
    EXPECT_EQ(static_cast<QLabel*>(about.Control(622))->text(), "Orvane CD Player");
    EXPECT_EQ(static_cast<QLabel*>(about.Control(625))->text(), "Built on Mar 29 2001 at 04:01:38");
    EXPECT_TRUE(static_cast<QLabel*>(about.Control(284))->text().endsWith(" KB"));
    EXPECT_TRUE(static_cast<QLabel*>(about.Control(1001))->text().endsWith(" KB Free on C:"));
    EXPECT_EQ(FreeDiskText("/no/such/folder/anywhere"), "Unavailable");
}

TEST(About, CreditsRunPausedAndStopWhenTheBoxIsHidden) {
    CAboutDlg about(nullptr);
    int pauses = 0, resumes = 0, steps = 0;
    about.SetPauser([&] { ++pauses; }, [&] { ++resumes; });
    about.show();
    about.SetWait([&](unsigned ms) {
        EXPECT_EQ(ms, 20u);
        EXPECT_TRUE(about.CreditsRunning());
        if (++steps == 5) about.hide();
    });
    EXPECT_EQ(about.RunCredits(), 5);
    EXPECT_FALSE(about.CreditsRunning());
    EXPECT_EQ(pauses, 1);
    EXPECT_EQ(resumes, 1);

    // Run to the end: the text scrolls through and the saved picture scrolls back in.
    about.show();
    steps = 0;
    about.SetWait([&](unsigned) { ++steps; });
    const int rows = about.RunCredits();
    EXPECT_GT(about.CreditsHeight(), 50);
    EXPECT_EQ(rows, steps);
    EXPECT_EQ(rows, about.CreditsHeight() + about.Control(627)->height() - 11);
    EXPECT_EQ(resumes, 2);
}
