// The review command of the installed program: one MP3 job through the real windows and the
// real encoder, with a picture of each window.

#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace {

TEST(PlimoScreenshotsTest, WritesAPictureOfEachWindow) {
    orvane::test::TempDir dir;
    const std::string command = "QT_QPA_PLATFORM=offscreen ORVANE_REGISTRY_DIR='" +
                                (dir / "registry").string() + "' '" +
                                (orvane::test::DistDir() / "Plimo").string() + "' --screenshots '" +
                                (dir / "shots").string() + "' 2>'" + (dir / "log").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    struct Picture {
        const char* name;
        int width, height;
    };
    for (const Picture& p :
         {Picture{"splash.png", 305, 346}, Picture{"wizard-page1.png", 0, 0},
          Picture{"tag-dialog.png", 380, 250}, Picture{"wizard-page2.png", 0, 0},
          Picture{"wizard-page3.png", 0, 0}, Picture{"status-window.png", 520, 440},
          Picture{"options-dialog.png", 360, 292}, Picture{"server-list.png", 420, 190},
          Picture{"match-list.png", 460, 210}, Picture{"wizard-page1-formats.png", 0, 0},
          Picture{"format-settings.png", 0, 0}, Picture{"format-summary.png", 0, 0}}) {
        const QImage image(QString::fromStdString((dir / "shots" / p.name).string()));
        ASSERT_FALSE(image.isNull()) << p.name;
        if (p.width) {
            EXPECT_EQ(image.width(), p.width) << p.name;
            EXPECT_EQ(image.height(), p.height) << p.name;
        }
    }
    // Several files at once: the described window, and the other running files below it.
    const QImage several(
        QString::fromStdString((dir / "shots/status-window-several-files.png").string()));
    ASSERT_FALSE(several.isNull());
    EXPECT_EQ(several.width(), 520);
    EXPECT_GT(several.height(), 440);
    // The run's second job, chosen with the FLAC / Opus target, encoded its file in the window.
    EXPECT_NE(orvane::test::ReadFile(dir / "log").find("message: FLAC Compression Finished."),
              std::string::npos);
    // The review run keeps its settings in memory: no profile was written.
    EXPECT_FALSE(std::filesystem::exists(dir / "registry"));
}

// The same review run on a real drive: the grabber finds the device node, reads its table of
// contents and grabs the two tracks it checks (1 and 3) with its own command blocks, which the
// MMC drive model behind a preloaded ioctl answers.
TEST(PlimoScreenshotsTest, GrabberGrabsFromARealDrive) {
    orvane::test::TempDir dir;
    std::filesystem::create_directories(dir / "config" / "orvane");
    orvane::test::WriteFile(dir / "config" / "orvane" / "drives.conf", "");
    orvane::test::WriteFile(dir / "sr0", "");
    const std::string cue = orvane::test::WriteSimpleDisc(dir, {300, 150, 75});
    const std::string device = (dir / "sr0").string();
    const std::string command =
        "QT_QPA_PLATFORM=offscreen ORVANE_REGISTRY_DIR='" + (dir / "registry").string() +
        "' XDG_CONFIG_HOME='" + (dir / "config").string() +
        "' ORVANE_CD_IMAGES= " + "ORVANE_CD_DEVICES='" + device + "' ORVANE_MMC_MODEL_DEVICE='" +
        device + "' ORVANE_MMC_MODEL_CUE='" + cue + "' ORVANE_MMC_MODEL_TRACE=1 " +
        "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD='" + ORVANE_MMC_SHIM + "' '" +
        (orvane::test::DistDir() / "Plimo").string() + "' --screenshots '" +
        (dir / "shots").string() + "' 2>'" + (dir / "log").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << orvane::test::ReadFile(dir / "log");
    const std::string log = orvane::test::ReadFile(dir / "log");
    EXPECT_NE(log.find("message: The selected track(s) has been saved to disk."), std::string::npos)
        << log;
    // Every READ CD the drive answered, as sectors read: all of track 1 (0-299) and of track 3
    // (450-524), nothing of track 2, and no command refused.
    std::vector<bool> read(525, false);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("mmc model: BE ", 0) != 0) continue;
        EXPECT_EQ(line.find("->"), std::string::npos) << line;
        std::istringstream hex(line.substr(11));
        std::vector<unsigned> cdb;
        for (unsigned byte = 0; hex >> std::hex >> byte;)
            cdb.push_back(byte);
        ASSERT_GE(cdb.size(), 9u) << line;
        const std::uint32_t lba = cdb[2] << 24 | cdb[3] << 16 | cdb[4] << 8 | cdb[5];
        const std::uint32_t count = cdb[6] << 16 | cdb[7] << 8 | cdb[8];
        for (std::uint32_t s = lba; s < lba + count && s < read.size(); ++s)
            read[s] = true;
    }
    for (std::uint32_t s = 0; s < read.size(); ++s)
        ASSERT_EQ(read[s], s < 300 || s >= 450) << "sector " << s;
    EXPECT_FALSE(
        QImage(QString::fromStdString((dir / "shots/grabber-dialog.png").string())).isNull());
    // With a front cover chosen: its thumbnail and size beside the buttons.
    EXPECT_FALSE(
        QImage(QString::fromStdString((dir / "shots/grabber-cover.png").string())).isNull());
    EXPECT_NE(orvane::test::ReadFile(dir / "log").find("grabber-cover.png"), std::string::npos);
}

}  // namespace
