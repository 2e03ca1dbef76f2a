// The real window program of the program folder on a real drive's road: its SG_IO commands go to
// the MMC drive model behind a preloaded ioctl, and what it shows is read back from the LCD line
// of the picture it takes of its window.

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <cstdlib>
#include <filesystem>

#include "cdplayer/display.h"
#include "cdplayer/ui/drawing.h"
#include "support/temp_dir.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace {

using orvane::test::TempDir;

struct PlayerRun {
    std::string lcd;    // the LCD line of the compact window, as far as its cells can be read
    std::string trace;  // the command blocks the drive model answered
};

// The characters of the LCD cells of a picture of the window, by matching each 16 x 20 cell with
// the cells of the LCD font; '#' for a cell that is none of them.
std::string ReadLcd(const QImage& picture) {
    const QImage shot = picture.convertToFormat(QImage::Format_RGB32);
    const QImage font = orvane::cdplayer::ui::Bitmap(orvane::cdplayer::IDB_LCD_FONT)
                            .convertToFormat(QImage::Format_RGB32);
    std::string text;
    for (int x = orvane::cdplayer::kLcdX; x + 16 <= shot.width() && text.size() < 16; x += 16) {
        const QImage cell = shot.copy(x, orvane::cdplayer::kLcdY, 16, 20);
        char found = '#';
        for (int c = 95; c >= 32; --c) {  // the blank cell also stands for unknown characters
            if (font.copy(orvane::cdplayer::LcdCellX(static_cast<unsigned char>(c)), 0, 16, 20) ==
                cell)
                found = static_cast<char>(c);
        }
        text += found;
    }
    return text;
}

class TarvoOnADrive : public ::testing::Test {
protected:
    void SetUp() override {
        // Two tracks of 10 and 5 seconds.
        cue_ = orvane::test::WriteSimpleDisc(dir_, {750, 375});
        orvane::test::WriteFile(dir_ / "sr0", "");
    }
    // Starts the player, which plays from the drive, takes its pictures and ends.
    PlayerRun Start(const std::string& state) {
        const std::string device = (dir_ / "sr0").string();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        auto set = [&](const char* name, const std::string& value) {
            env.insert(name, QString::fromStdString(value));
        };
        set("QT_QPA_PLATFORM", "offscreen");
        set("ORVANE_AUDIO", "null");
        set("ORVANE_REGISTRY_DIR", (dir_ / "registry").string());
        set("XDG_CONFIG_HOME", (dir_ / "config").string());
        set("HOME", dir_.path().string());
        set("ORVANE_CD_IMAGES", "");
        set("ORVANE_CD_DEVICES", device);
        set("ORVANE_MMC_MODEL_DEVICE", device);
        set("ORVANE_MMC_MODEL_CUE", cue_);
        set("ORVANE_MMC_MODEL_STATE", state);
        set("ORVANE_MMC_MODEL_TRACE", "1");
        set("ASAN_OPTIONS", "verify_asan_link_order=0");
        set("LD_PRELOAD", ORVANE_MMC_SHIM);
        QProcess tarvo;
        tarvo.setProcessEnvironment(env);
        const std::filesystem::path dist = std::getenv("ORVANE_DIST")
                                               ? orvane::test::DistDir()
                                               : std::filesystem::path(ORVANE_DIST_DIR);
        const std::filesystem::path shots = dir_ / ("shots-" + state);
        tarvo.start(QString::fromStdString((dist / "Tarvo" / "Tarvo.EXE").string()),
                    {"--screenshots", QString::fromStdString(shots.string())});
        PlayerRun run;
        if (!tarvo.waitForStarted(30000) || !tarvo.waitForFinished(60000)) return run;
        EXPECT_EQ(tarvo.exitCode(), 0);
        run.trace = tarvo.readAllStandardError().toStdString();
        QImage picture;
        if (picture.load(QString::fromStdString((shots / "tarvo-compact.png").string())))
            run.lcd = ReadLcd(picture);
        return run;
    }

    TempDir dir_;
    std::string cue_;
};

TEST_F(TarvoOnADrive, PlaysFromTheDriveAndShowsNoDiscAndAnOpenTray) {
    // A disc: track 1 plays from the drive's sectors, its position within the track.
    PlayerRun run = Start("");
    ASSERT_EQ(run.lcd.substr(0, 6), "01 00:") << run.lcd << "\n" << run.trace;
    const int elapsed = std::atoi(run.lcd.substr(6, 2).c_str());
    EXPECT_LE(elapsed, 10) << run.lcd;
    EXPECT_EQ(run.lcd.substr(8, 4), " 00:") << run.lcd;
    EXPECT_NE(run.trace.find("mmc model: BE"), std::string::npos);  // READ CD of the audio

    // No disc in the drive: no track and no time.
    run = Start("no_disc");
    EXPECT_EQ(run.lcd.substr(0, 14), "00 00:00 00:00") << run.lcd;
    EXPECT_EQ(run.trace.find("mmc model: BE"), std::string::npos);

    // A tray left open that the drive cannot pull in: the player says no disc is loaded.
    run = Start("tray_stuck_open");
    EXPECT_EQ(run.lcd.substr(0, 14), "NO DISC LOADED") << run.lcd;
    EXPECT_NE(run.trace.find("-> 2/3A/02"), std::string::npos) << run.trace;
}

}  // namespace
