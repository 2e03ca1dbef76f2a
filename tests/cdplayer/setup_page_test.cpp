// The rules of the preferences page "General": what it shows on opening, what it refuses, and
// what OK stores.

#include "cdplayer/setup_page.h"

#include <gtest/gtest.h>

using namespace orvane::cdplayer;

TEST(SetupPage, IntroScanTimeMustBeAnIntegerFrom3To60) {
    SetupPageValues v;
    v.drive = "E:";
    for (const char* bad : {"2", "61", "-5", "", "abc", "5x", "99999999999"}) {
        v.introScan = bad;
        const SetupPageError e = ValidateSetupPage(v);
        EXPECT_EQ(e.controlId, IDC_SETUP_INTRO_SCAN) << bad;
    }
    v.introScan = "2";
    EXPECT_EQ(ValidateSetupPage(v).message, "Please enter an integer between 3 and 60.");
    v.introScan = "abc";
    EXPECT_EQ(ValidateSetupPage(v).message, "Please enter an integer.");
    for (const char* good : {"3", "60", " 17 "}) {
        v.introScan = good;
        EXPECT_EQ(ValidateSetupPage(v).controlId, 0) << good;
    }
    v.drive = "E:\\x";
    EXPECT_EQ(ValidateSetupPage(v).controlId, IDC_SETUP_DRIVE);
}

TEST(SetupPage, OpensOnTheFirstCdRomDriveAndStoresOnlyANonEmptyDriveText) {
    PlayerSettings settings;
    settings.DriveLetter = 'G';
    settings.IntroScanSeconds = 17;
    settings.StopCDOnExit = 1;
    const DriveTypeFn types = [](const std::string& root) -> UINT {
        return root == "G:\\" || root == "E:\\" ? DRIVE_CDROM : DRIVE_NO_ROOT_DIR;
    };
    std::vector<std::string> drives;
    SetupPageValues v = OpenSetupPage(settings, types, drives);
    EXPECT_EQ(drives, (std::vector<std::string>{"E:", "G:"}));
    EXPECT_EQ(v.drive, "E:");  // the first drive, not the stored one
    EXPECT_EQ(v.introScan, "17");
    EXPECT_EQ(v.stopCdOnExit, 1);
    EXPECT_EQ(v.playOnStartUp + v.saveSettings, 0);

    v.introScan = " 30 ";
    v.playOnStartUp = 1;
    ApplySetupPage(v, settings);
    EXPECT_EQ(settings.DriveLetter, 'E');
    EXPECT_EQ(settings.IntroScanSeconds, 30);
    EXPECT_EQ(settings.PlayOnStartUp, 1);

    // A machine without CD-ROM drives: an empty drive text keeps the stored letter.
    v = OpenSetupPage(
        settings, [](const std::string&) -> UINT { return DRIVE_FIXED; }, drives);
    EXPECT_TRUE(drives.empty());
    ApplySetupPage(v, settings);
    EXPECT_EQ(settings.DriveLetter, 'E');
}
