// A FLAC job started the way a user starts it: Plimo's wizard with its FLAC / Opus target and
// options page, the CD grabber and the processing window, driven under the offscreen platform,
// with the real job, grabbing code and SCSI transport library behind them. The files that come
// out are checked with the reference decoder and compared with the command-line grabber's.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/settings_store.h"
#include "encoder/app/status_dialog.h"
#include "encoder/app/ui/views.h"
#include "encoder/cdda/resource_cdda.h"
#include "encoder/cdda/ui/cdda_views.h"
#include "encoder/formats/flac_job.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"
#include "support/wma_util.h"
#include "tests/encoder/app/ui/window_script.h"

namespace orvane::formats {
namespace {

namespace fs = std::filesystem;
using namespace encoder::ui::script;

// The samples of a WAVE file's data chunk.
std::string DataChunk(const std::string& wave) {
    for (std::size_t at = 12; at + 8 <= wave.size();) {
        std::size_t size = 0;
        for (int i = 3; i >= 0; --i)
            size =
                size << 8 | static_cast<unsigned char>(wave[at + 4 + static_cast<std::size_t>(i)]);
        if (wave.compare(at, 4, "data") == 0) return wave.substr(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}

class FormatsWizard : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("flac --version > /dev/null 2>&1") != 0 ||
            std::system("metaflac --version > /dev/null 2>&1") != 0)
            GTEST_SKIP() << "no flac tools";
        encoder::EncoderApp& app = encoder::TheApp();
        app.settings = &settings_;
        app.appFolder = test::DistDir().string() + "/";
        app.splashPending = 0;
        app.windowEffects = 0;
        if (app.genreList.empty()) encoder::FillGenreList(app.genreList);
        RegisterFlacJob();
        cdda::ui::RegisterCddaViews();
    }
    void TearDown() override { clock::Install(nullptr); }

    clock::VirtualClock clock_{true};
    encoder::MemorySettings settings_;
};

// Two tracks of the demo disc through the grabber's OK and the FLAC options page, with
// verification and loudness values: one FLAC file each that the reference tools accept,
// holding the track's samples exactly, and one album gain for both.
TEST_F(FormatsWizard, DemoDiscTracksBecomeVerifiedFlacFiles) {
    const fs::path cue = test::DistDir() / "demo" / "Demo.cue";
    ASSERT_TRUE(fs::exists(cue)) << cue;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(config);
    fs::create_directories(fs::path(config) / "orvane");
    test::WriteFile(fs::path(config) / "orvane" / "drives.conf",
                    "real_drives = no\nimage = " + cue.string() + "\n");

    test::TempDir out, scratch;
    Script script;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Click(w, IDC_TO_FORMATS);
        ASSERT_TRUE(Enabled(w, IDC_SRC_CDAUDIO));
        Click(w, IDC_SRC_CDAUDIO);  // runs the grabber
        EXPECT_EQ(TextOf(w, IDC_INPUT), "CD-Audio");
        Type(w, IDC_OUTPUT, out.path().string() + "/");
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_CDA_GRABBER, [](QWidget* w) {
        auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
        ASSERT_EQ(tree->topLevelItemCount(), 5);
        // A raw-sample track and the WAVE-file one.
        for (int row : {1, 4})
            tree->topLevelItem(row)->setCheckState(0, Qt::Checked);
        Click(w, IDOK);
    });
    script.On(IDD_FORMAT_SETTINGS, [](QWidget* w) {
        QWidget* page = CurrentPage(w);
        auto* flac = Find<QAbstractButton>(page, IDC_FMT_FLAC);
        ASSERT_NE(flac, nullptr);
        EXPECT_TRUE(flac->isChecked());
        Click(page, IDC_FMT_VERIFY);
        Click(page, IDC_FMT_REPLAYGAIN);
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_PAGE3, [this](QWidget* w) {
        // The job's fixed pauses then pass at once; grabbing and encoding run in real time.
        clock::Install(&clock_);
        Click(w, ID_WIZFINISH);
    });
    {
        Watchdog watchdog(120000);
        encoder::ProcessingStatusDialog dialog(encoder::TheApp());
        encoder::ui::RunStatusDialog(dialog);
    }

    EXPECT_EQ(script.messages, std::vector<std::string>{"FLAC Compression Finished."});
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(out.path()))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    // One file per checked track, and no grabbed WAVE file left behind.
    ASSERT_EQ(files.size(), 2u);
    const int tracks[] = {2, 5};
    std::string album;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path& file = files[i];
        EXPECT_EQ(file.extension(), ".FLAC") << file;
        EXPECT_EQ(
            std::system(("flac -t -s " + test::Quote(file.string()) + " 2>/dev/null").c_str()), 0)
            << file;
        // The command-line grabber's copy of the same track is the reference, sample for sample.
        const fs::path reference = scratch / ("track" + std::to_string(tracks[i]) + ".wav");
        const std::string grab = (test::DistDir() / "orvane-cdda").string() +
                                 " grab D: " + std::to_string(tracks[i]) + " " +
                                 test::Quote(reference.string()) + " > /dev/null 2>&1";
        ASSERT_EQ(std::system(grab.c_str()), 0) << grab;
        const fs::path decoded = scratch / ("decoded" + std::to_string(i) + ".wav");
        ASSERT_EQ(std::system(("flac -d -s -o " + test::Quote(decoded.string()) + " " +
                               test::Quote(file.string()))
                                  .c_str()),
                  0);
        const std::string samples = DataChunk(test::ReadFile(decoded));
        EXPECT_GT(samples.size(), 44100u * 4) << file;
        EXPECT_TRUE(samples == DataChunk(test::ReadFile(reference))) << file;
        const std::string gain = test::RunCommand("metaflac --show-tag=REPLAYGAIN_ALBUM_GAIN " +
                                                  test::Quote(file.string()));
        EXPECT_NE(gain.find(" dB"), std::string::npos) << file;
        if (i > 0) {
            EXPECT_EQ(gain, album);
        }
        album = gain;
    }
}

}  // namespace
}  // namespace orvane::formats
