#include "platform/cdrom/drives.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/platform/cdrom/disc_fixture.h"

namespace orvane::cdrom {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(DriveConfig, ReadsImagesFaultsAndReportsBadLines) {
    std::vector<std::string> errors;
    DriveConfig config = ParseDriveConfig(
        "# my drives\n"
        "real_drives = no\n"
        "image = /discs/one.cue\n"
        "faults = fail=10-20 slow=0-4 slow_ms=250 tray_open\n"
        "faults = fail=oops\n"
        "image = two.cue\n"
        "colour = blue\n"
        "just words\n",
        "/home/me/.config/orvane/", "drives.conf", errors);
    EXPECT_FALSE(config.realDrives);
    ASSERT_EQ(config.images.size(), 2u);
    EXPECT_EQ(config.images[0].cuePath, "/discs/one.cue");
    EXPECT_EQ(config.images[1].cuePath, "/home/me/.config/orvane/two.cue");
    const FaultPlan& f = config.images[0].faults;
    ASSERT_EQ(f.failing.size(), 1u);
    EXPECT_EQ(f.failing[0].first, 10u);
    EXPECT_EQ(f.failing[0].last, 20u);
    EXPECT_EQ(f.slowMs, 250u);
    EXPECT_TRUE(f.trayOpen);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].rfind("drives.conf:5:", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1].rfind("drives.conf:7:", 0), 0u) << errors[1];
    EXPECT_EQ(errors[2].rfind("drives.conf:8:", 0), 0u) << errors[2];
}

TEST(Drives, LettersFromDAndDriveTypes) {
    TempDir dir;
    std::string error;
    auto a = ImageDrive::Open(test::WriteSimpleDisc(dir, {100}, "a"), error);
    auto b = ImageDrive::Open(test::WriteSimpleDisc(dir, {100}, "b"), error);
    ASSERT_TRUE(a && b);
    DiscDrive* second = b.get();
    InstallDrives({std::move(a), std::move(b)});
    EXPECT_EQ(DriveForLetter('e').get(), second);
    EXPECT_EQ(GetDriveType("D:\\"), DRIVE_CDROM);
    EXPECT_EQ(GetDriveType("e:"), DRIVE_CDROM);
    EXPECT_EQ(GetDriveType("E:/"), DRIVE_CDROM);
    EXPECT_EQ(GetDriveType("F:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveType("C:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveType("D:\\x"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveType(""), DRIVE_NO_ROOT_DIR);

    InstallDrives({});
    EXPECT_TRUE(Drives().empty());
    for (char c = 'A'; c <= 'Z'; ++c) {
        char root[4] = {c, ':', '\\', 0};
        EXPECT_NE(GetDriveType(root), DRIVE_CDROM) << root;
    }
    ResetDrives();
}

TEST(Drives, DiscoversConfiguredAndEnvironmentImages) {
    TempDir dir;
    std::filesystem::create_directories(dir / "orvane");
    test::WriteSimpleDisc(dir, {100}, "conf");
    std::string env = test::WriteSimpleDisc(dir, {50, 50}, "env");
    WriteFile(dir / "orvane/drives.conf",
              "real_drives = no\nimage = ../conf.cue\nfaults = no_disc\nimage = ../absent.cue\n");
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    setenv("ORVANE_CD_IMAGES", env.c_str(), 1);
    ResetDrives();
    std::vector<DriveEntry> drives = Drives();
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("ORVANE_CD_IMAGES");
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].letter, 'D');
    EXPECT_TRUE(drives[0].drive->TestUnitReady().NoMedium());  // its fault came along
    Toc toc;
    ASSERT_TRUE(drives[1].drive->ReadToc(toc).ok);
    EXPECT_EQ(toc.tracks.size(), 2u);
    std::vector<std::string> messages = DriveMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("absent.cue"), std::string::npos);
    ResetDrives();
}

}  // namespace
}  // namespace orvane::cdrom
