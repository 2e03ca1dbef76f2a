// WMA jobs started the way a user starts them: Plimo's wizard, its WMA settings page, the CD
// grabber and the processing window, driven under the offscreen platform, with the real job,
// encoder objects, grabbing code and SCSI transport library behind them. The files that come
// out are read back with FFmpeg.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/app/settings_store.h"
#include "encoder/app/status_dialog.h"
#include "encoder/app/ui/views.h"
#include "encoder/cdda/resource_cdda.h"
#include "encoder/cdda/ui/cdda_views.h"
#include "encoder/freedb/cddb_server.h"
#include "encoder/freedb/freedb_resource.h"
#include "encoder/freedb/ui/freedb_views.h"
#include "encoder/wma/settings_page.h"
#include "encoder/wma/ui/settings_page_view.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"
#include "support/wma_util.h"
#include "tests/encoder/app/ui/window_script.h"

namespace orvane::wma {
namespace {

namespace fs = std::filesystem;
using namespace encoder::ui::script;

constexpr const char* kStudioProfile = "Audio for HI-FI Studio-maximum quality (192 Kbps stereo)";
constexpr const char* kBatchText = "Not available in batch mode.";

class WmaWizard : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("ffprobe -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffprobe";
        encoder::EncoderApp& app = encoder::TheApp();
        app.settings = &settings_;
        app.appFolder = test::DistDir().string() + "/";
        app.splashPending = 0;
        app.windowEffects = 0;
        if (app.genreList.empty()) encoder::FillGenreList(app.genreList);
        InstallWmaEncoding(app);
        ui::RegisterWmaSettingsPage();
        cdda::ui::RegisterCddaViews();
        test::CopyShippedProfiles(profiles_.path());
        test::RegisterProfileFolder(profiles_.path().string());
    }
    void TearDown() override {
        clock::Install(nullptr);
        test::UnregisterProfileFolder();
    }

    // The wizard, the job and its final message; the status window's result.
    int RunPlimo() {
        Watchdog watchdog(120000);
        encoder::ProcessingStatusDialog dialog(encoder::TheApp());
        return encoder::ui::RunStatusDialog(dialog);
    }

    // Makes the WMA settings page pick a profile by name and move on, checking the batch texts.
    static void PickProfileAndGoOn(QWidget* sheet, const char* profile) {
        QWidget* page = CurrentPage(sheet);
        for (int id : {IDC_WMA_TITLE, IDC_WMA_AUTHOR, IDC_WMA_COPYRIGHT, IDC_WMA_RATING}) {
            EXPECT_EQ(TextOf(page, id), kBatchText) << id;
            EXPECT_FALSE(Find(page, id)->isEnabled()) << id;
        }
        auto* list = Find<QComboBox>(page, IDC_WMA_PROFILE);
        ASSERT_NE(list, nullptr);
        const int at = list->findText(profile);
        if (at < 0) {
            ADD_FAILURE() << "no profile " << profile << " among " << list->count();
            Click(sheet, IDCANCEL);
            return;
        }
        list->setCurrentIndex(at);
        Click(sheet, ID_WIZNEXT);
    }

    // Finish on the summary page. The job's fixed pauses then pass at once, while encoding and
    // grabbing run in real time (the CD database's time limits, before, stay real).
    void Finish(QWidget* sheet) {
        clock::Install(&clock_);
        Click(sheet, ID_WIZFINISH);
    }

    static std::vector<std::string> FilesIn(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    clock::VirtualClock clock_{true};
    encoder::MemorySettings settings_;
    test::TempDir profiles_;
};

// A folder of WAVE files of different layouts becomes one WMA file each, at the profile the
// user picked, with no texts (the page offers none in batch mode).
TEST_F(WmaWizard, FolderOfWaveFilesBecomesOneFileEachAtThePickedProfile) {
    test::TempDir in, out;
    test::WriteFile(in / "Song One.wav", test::SineWave(2, 44100, 3.0, {440, 660}));
    test::WriteFile(in / "quiet.WAV", test::SineWave(1, 22050, 2.0, {550}));
    test::WriteFile(in / "notes.txt", "not a sound");
    Script script;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Click(w, IDC_TO_WMA);
        Click(w, IDC_BATCH);
        Type(w, IDC_INPUT, in.path().string() + "/");
        Type(w, IDC_OUTPUT, out.path().string() + "/");
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_WMA_SETTINGS, [](QWidget* w) { PickProfileAndGoOn(w, kStudioProfile); });
    script.On(IDD_PAGE3, [&](QWidget* w) {
        EXPECT_EQ(TextOf(w, IDC_SUM_INPUT), in.path().string() + "/");
        EXPECT_EQ(TextOf(w, IDC_SUM_OUTPUT), out.path().string() + "/");
        Finish(w);
    });
    RunPlimo();

    EXPECT_EQ(script.messages, std::vector<std::string>{"Compression Finished."});
    EXPECT_EQ(script.Visits(IDD_PAGE2), 0);  // the MP3 options are not asked for
    ASSERT_EQ(FilesIn(out.path()), (std::vector<std::string>{"Song One.WMA", "quiet.WMA"}));
    // The next wizard offers the same profile again.
    EXPECT_NE(settings_.GetProfileInt("Settings", "WMABitrate", -1), -1);

    const std::pair<const char*, double> written[] = {{"Song One.WMA", 3.0}, {"quiet.WMA", 2.0}};
    for (const auto& [name, seconds] : written) {
        auto probe = test::Probe(out / name);
        EXPECT_EQ(probe["format_name"], "asf") << name;
        EXPECT_EQ(probe["codec_name"], "wmav2") << name;
        EXPECT_EQ(probe["bit_rate"], "192000") << name;
        EXPECT_EQ(probe["channels"], "2") << name;
        EXPECT_EQ(probe["sample_rate"], "44100") << name;
        EXPECT_EQ(probe.count("TAG:title"), 0u) << name;
        ASSERT_TRUE(probe.count("duration")) << name;
        EXPECT_NEAR(std::stod(probe["duration"]), seconds, 2048.0 / 44100) << name;
    }
    // Each file holds its own input: the left channel of the first its 440 Hz, the mono file's
    // tone on both channels.
    const auto first = test::Decode(out / "Song One.WMA");
    EXPECT_GT(test::FitTone(first, 2, 0, 44100, 440).snrDb, 20);
    EXPECT_GT(test::FitTone(first, 2, 1, 44100, 660).snrDb, 20);
    const auto second = test::Decode(out / "quiet.WMA");
    for (int c = 0; c < 2; ++c)
        EXPECT_GT(test::FitTone(second, 2, c, 44100, 550).snrDb, 20) << c;
}

// One file: the texts typed on the settings page, non-ASCII ones and a description of two
// lines included, are what a player shows.
TEST_F(WmaWizard, SingleFileCarriesTheTextsTypedOnThePage) {
    test::TempDir dir;
    test::WriteFile(dir / "lied.wav", test::SineWave(2, 48000, 2.0, {330, 495}));
    Script script;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Click(w, IDC_TO_WMA);
        Type(w, IDC_INPUT, (dir / "lied.wav").string());
        // The suggestion follows the target.
        EXPECT_EQ(TextOf(w, IDC_OUTPUT), (dir / "lied.wma").string());
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_WMA_SETTINGS, [](QWidget* sheet) {
        QWidget* w = CurrentPage(sheet);
        Type(w, IDC_WMA_TITLE, "Abendlied – Größe");
        Type(w, IDC_WMA_AUTHOR, "Åsa Ørn");
        Type(w, IDC_WMA_COPYRIGHT, "© 2001 Åsa Ørn");
        Type(w, IDC_WMA_RATING, "Für alle");
        Find<QPlainTextEdit>(w, IDC_WMA_DESCRIPTION)->setPlainText("Zwei\nZeilen");
        Click(sheet, ID_WIZNEXT);
    });
    script.On(IDD_PAGE3, [this](QWidget* w) { Finish(w); });
    RunPlimo();

    EXPECT_EQ(script.messages, std::vector<std::string>{"Compression Finished."});
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"lied.wav", "lied.wma"}));
    auto probe = test::Probe(dir / "lied.wma");
    EXPECT_EQ(probe["codec_name"], "wmav2");
    EXPECT_EQ(probe["bit_rate"], "192000");  // the list's last profile unless one was picked
    EXPECT_EQ(probe["TAG:title"], "Abendlied – Größe");
    EXPECT_EQ(probe["TAG:artist"], "Åsa Ørn");
    EXPECT_EQ(probe["TAG:copyright"], "© 2001 Åsa Ørn");
    EXPECT_EQ(probe["TAG:rating"], "Für alle");
    EXPECT_EQ(test::RunCommand("ffprobe -v error -show_entries format_tags=comment "
                               "-of default=nw=1:nk=1 " +
                               test::Quote((dir / "lied.wma").string())),
              "Zwei\nZeilen\n");
    const auto decoded = test::Decode(dir / "lied.wma");
    EXPECT_GT(test::FitTone(decoded, 2, 1, 44100, 495).snrDb, 20);
}

// Loudness over 50 ms windows, in dB, of the channels' mean.
std::vector<double> Envelope(const std::vector<float>& samples) {
    constexpr std::size_t kWindow = 2205;
    std::vector<double> out;
    for (std::size_t at = 0; at + 2 * kWindow <= samples.size(); at += 2 * kWindow) {
        double sum = 0;
        for (std::size_t i = at; i < at + 2 * kWindow; i += 2) {
            const double m = (samples[i] + samples[i + 1]) / 2.0;
            sum += m * m;
        }
        out.push_back(10 * std::log10(sum / kWindow + 1e-10));
    }
    return out;
}

// The best correlation of two envelopes over shifts of up to four windows either way.
double EnvelopeMatch(const std::vector<double>& a, const std::vector<double>& b) {
    double best = -1;
    for (int shift = -4; shift <= 4; ++shift) {
        std::vector<double> x, y;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const long j = static_cast<long>(i) + shift;
            if (j < 0 || j >= static_cast<long>(b.size())) continue;
            x.push_back(a[i]);
            y.push_back(b[static_cast<std::size_t>(j)]);
        }
        if (x.size() < 20) continue;
        const double mx = std::accumulate(x.begin(), x.end(), 0.0) / x.size();
        const double my = std::accumulate(y.begin(), y.end(), 0.0) / y.size();
        double sxy = 0, sxx = 0, syy = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            sxy += (x[i] - mx) * (y[i] - my);
            sxx += (x[i] - mx) * (x[i] - mx);
            syy += (y[i] - my) * (y[i] - my);
        }
        if (sxx > 0 && syy > 0) best = std::max(best, sxy / std::sqrt(sxx * syy));
    }
    return best;
}

// Tracks of the demo disc: named from a local CD database through "&Get CD Info", grabbed
// through the transport library and encoded one file each, named and described by their tags.
TEST_F(WmaWizard, DemoDiscTracksNamedFromTheCdDatabaseBecomeDescribedFiles) {
    const fs::path cue = test::DistDir() / "demo" / "Demo.cue";
    ASSERT_TRUE(fs::exists(cue)) << cue;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(config);
    fs::create_directories(fs::path(config) / "orvane");
    test::WriteFile(fs::path(config) / "orvane" / "drives.conf",
                    "real_drives = no\nimage = " + cue.string() + "\n");

    freedb::ServedEntry demo;
    std::string why;
    ASSERT_TRUE(freedb::EntryFromCueSheet(cue.string(), demo, why)) << why;
    freedb::CddbServer server({demo});
    ASSERT_TRUE(server.Listen("127.0.0.1", 0, why)) << why;
    freedb::ServingThread serving(server);
    encoder::EncoderApp& app = encoder::TheApp();
    app.freeDbServer = "127.0.0.1:" + std::to_string(server.Port());
    app.useProxy = 0;
    cdda::ui::GetCdInfoHook() = [&app](QWidget* owner, const cdrom::DiscInfo& disc,
                                       cdda::CdInfo& info) {
        const std::vector<std::uint32_t> starts = disc.Starts();
        const std::uint32_t leadOut = disc.leadOut;
        freedb::ui::DiscLookup found;
        if (freedb::ui::LookUpDisc(app, starts, leadOut, found, owner) != IDOK) return false;
        info = {found.artist, found.album, found.category, found.trackTitles};
        return true;
    };

    test::TempDir out, scratch;
    Script script;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Click(w, IDC_TO_WMA);
        ASSERT_TRUE(Enabled(w, IDC_SRC_CDAUDIO));
        Click(w, IDC_SRC_CDAUDIO);  // runs the grabber
        EXPECT_EQ(TextOf(w, IDC_INPUT), "CD-Audio");
        Type(w, IDC_OUTPUT, out.path().string() + "/");
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_CDA_GRABBER, [](QWidget* w) {
        Click(w, IDC_CD_GETINFO);
        auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
        ASSERT_EQ(tree->topLevelItemCount(), 5);
        EXPECT_EQ(tree->topLevelItem(1)->text(0).toStdString(), "Glass Stairs");
        // One track of each of the image's three kinds of file: raw samples, byte-swapped
        // samples and a WAVE file.
        for (int row : {1, 3, 4})
            tree->topLevelItem(row)->setCheckState(0, Qt::Checked);
        Click(w, IDOK);
    });
    script.On(IDD_FREEDB_QUERY, [](QWidget* w) {
        auto* list = Find<QTreeWidget>(w, IDC_MATCH_LIST);
        list->setCurrentItem(list->topLevelItem(0));
        Click(w, IDOK);
    });
    script.On(IDD_WMA_SETTINGS, [](QWidget* w) { PickProfileAndGoOn(w, kStudioProfile); });
    script.On(IDD_PAGE3, [this](QWidget* w) { Finish(w); });
    RunPlimo();
    cdda::ui::GetCdInfoHook() = nullptr;

    EXPECT_EQ(script.messages, std::vector<std::string>{"Compression Finished."});
    EXPECT_EQ(script.Visits(IDD_CDA_GRABBER), 1);
    // One file per checked track, and no grabbed WAVE file left behind.
    const char* titles[] = {"Glass Stairs", "Slow Orbit", "Last Tram Home"};
    const int tracks[] = {2, 4, 5};
    std::vector<std::string> expected;
    for (const char* title : titles)
        expected.push_back(std::string("Orvane Demo Ensemble - ") + title + ".WMA");
    std::vector<std::string> sorted = expected;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(FilesIn(out.path()), sorted);

    for (int i = 0; i < 3; ++i) {
        const fs::path file = out / expected[i];
        auto probe = test::Probe(file);
        EXPECT_EQ(probe["codec_name"], "wmav2") << file;
        EXPECT_EQ(probe["bit_rate"], "192000") << file;
        EXPECT_EQ(probe["TAG:title"], titles[i]) << file;
        EXPECT_EQ(probe["TAG:artist"], "Orvane Demo Ensemble") << file;
        EXPECT_EQ(probe["TAG:comment"], "Orvane Demo Disc") << file;

        // The same track grabbed by the command-line grabber is the reference: same length
        // within a codec frame, and the same loudness from moment to moment.
        const fs::path reference = scratch / ("track" + std::to_string(tracks[i]) + ".wav");
        const std::string command = (test::DistDir() / "orvane-cdda").string() +
                                    " grab D: " + std::to_string(tracks[i]) + " " +
                                    test::Quote(reference.string()) + " > /dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const auto wanted = test::Decode(reference);
        const auto got = test::Decode(file);
        ASSERT_GT(wanted.size(), 44100u * 2) << file;
        EXPECT_NEAR(static_cast<double>(got.size()) / wanted.size(), 1.0,
                    2.0 * 2048 / static_cast<double>(wanted.size()))
            << file;
        EXPECT_GT(EnvelopeMatch(Envelope(wanted), Envelope(got)), 0.95) << file;
    }
}

}  // namespace
}  // namespace orvane::wma
