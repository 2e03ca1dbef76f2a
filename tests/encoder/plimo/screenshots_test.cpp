// The review command of the installed program: one MP3 job through the real windows and the
// real encoder, with a picture of each window.

#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

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

}  // namespace
