// A FLAC job started the way a user starts it: Plimo's wizard with its FLAC / Opus target and
// options page, the CD grabber and the processing window, driven under the offscreen platform,
// with the real job, grabbing code and SCSI transport library behind them. The files that come
// out are checked with the reference decoder and compared with the command-line grabber's.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QPointer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
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
#include "encoder/formats/opus_job.h"
#include "platform/clock/clock.h"
#include "platform/dynlib/dynlib.h"
#include "support/first_start.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"
#include "support/wma_util.h"
#include "tests/encoder/app/ui/window_script.h"
#include "tests/encoder/freedb/loopback_server.h"

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

// The database's v1 sum of a track from its definition: word k (left sample low, right high)
// weighted by k, every word counted on a track neither first nor last on the disc.
std::uint32_t ReferenceV1(const std::string& pcm) {
    std::uint64_t sum = 0;
    for (std::uint64_t k = 1; k <= pcm.size() / 4; ++k) {
        const auto* p = reinterpret_cast<const unsigned char*>(pcm.data() + (k - 1) * 4);
        sum += k * (p[0] | p[1] << 8 | p[2] << 16 | std::uint64_t{p[3]} << 24);
    }
    return static_cast<std::uint32_t>(sum);
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

    // The image drive of the demo disc, the only drive the grabber finds.
    static fs::path UseDemoDisc() {
        const fs::path cue = test::DistDir() / "demo" / "Demo.cue";
        EXPECT_TRUE(fs::exists(cue)) << cue;
        const char* config = std::getenv("XDG_CONFIG_HOME");
        EXPECT_TRUE(config);
        fs::create_directories(fs::path(config) / "orvane");
        test::WriteFile(fs::path(config) / "orvane" / "drives.conf",
                        "real_drives = no\nimage = " + cue.string() + "\n");
        return cue;
    }
    // The transport library finds its drives anew, as drives.conf now names them.
    static void Rescan() {
        const auto rescan = reinterpret_cast<void (*)()>(
            GetProcAddress(LoadLibraryA("wnaspi32.dll"), "OrvaneAspiRescan"));
        ASSERT_TRUE(rescan);
        rescan();
    }
    // The samples of a demo-disc track as the command-line grabber reads it.
    static std::string GrabbedSamples(const fs::path& folder, int track) {
        const fs::path wav = folder / ("track" + std::to_string(track) + ".wav");
        const std::string grab = (test::DistDir() / "orvane-cdda").string() +
                                 " grab D: " + std::to_string(track) + " " +
                                 test::Quote(wav.string()) + " > /dev/null 2>&1";
        EXPECT_EQ(std::system(grab.c_str()), 0) << grab;
        return DataChunk(test::ReadFile(wav));
    }

    clock::VirtualClock clock_{true};
    encoder::MemorySettings settings_;
};

// Two tracks of the demo disc through the grabber's OK and the FLAC options page, with
// verification and loudness values: one FLAC file each that the reference tools accept,
// holding the track's samples exactly, and one album gain for both.
TEST_F(FormatsWizard, DemoDiscTracksBecomeVerifiedFlacFiles) {
    UseDemoDisc();

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

// A verified rip from the grabber's OK: secure reading and the database check chosen in the
// grabber's settings, the database (a loopback server) knowing the pressing's second track and
// another checksum for its third. The final message in the status window adds the third track;
// the log and cue sheet lie beside the files. Set ORVANE_SHOTS to a folder to keep a picture of
// the status window with its final message.
TEST_F(FormatsWizard, AVerifiedRipFromTheGrabberNamesTheTrackTheDatabaseDoesNotConfirm) {
    UseDemoDisc();
    test::TempDir out, scratch, home;
    // An installed registry, where the grabber's settings are saved.
    const char* old = std::getenv("ORVANE_REGISTRY_DIR");
    const std::string saved = old ? old : "";
    test::UseRegistryFolder(home.path());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, encoder::kMachineKey, 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    const std::uint32_t second = ReferenceV1(GrabbedSamples(scratch.path(), 2));
    std::string body = std::string(1, '\x05') + std::string(12, '\0');
    for (int t = 1; t <= 5; ++t) {
        const std::uint32_t sum = t == 2   ? second
                                  : t == 3 ? ~ReferenceV1(GrabbedSamples(scratch.path(), 3))
                                           : 0;
        body += '\x07';
        for (int i = 0; i < 4; ++i)
            body += static_cast<char>((sum >> (8 * i)) & 0xFF);
        body += std::string(4, '\0');
    }
    test::LoopbackServer server([&](const std::string&) {
        return test::LoopbackReply{{"HTTP/1.0 200 OK\r\n\r\n" + body}};
    });
    settings_.WriteProfileString("Rip", "AccurateRipServer", "http://" + server.Address());

    Script script;
    QPointer<QWidget> status;
    QImage finalShot;
    encoder::ui::Hooks().messageBox = [&](const std::string& text, const std::string&, unsigned) {
        script.messages.push_back(text);
        if (status) finalShot = status->grab().toImage();
        return IDOK;
    };
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Click(w, IDC_TO_FORMATS);
        Click(w, IDC_SRC_CDAUDIO);  // runs the grabber
        Type(w, IDC_OUTPUT, out.path().string() + "/");
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_CDA_GRABBER, [](QWidget* w) {
        Click(w, IDC_CD_SETTINGS);
        auto* tree = Find<QTreeWidget>(w, IDC_CD_TRACKS);
        ASSERT_EQ(tree->topLevelItemCount(), 5);
        for (int row : {1, 2})
            tree->topLevelItem(row)->setCheckState(0, Qt::Checked);
        Click(w, IDOK);
    });
    script.On(IDD_CDA_SETTINGS, [](QWidget* w) {
        Find<QComboBox>(w, IDC_CDA_READMODE)->setCurrentIndex(1);  // Secure
        Find<QAbstractButton>(w, IDC_CDA_ACCURATERIP)->setChecked(true);
        Click(w, IDOK);
    });
    script.On(IDD_FORMAT_SETTINGS, [](QWidget* w) { Click(w, ID_WIZNEXT); });
    // The system clock: the lookup waits for the loopback server in real time.
    script.On(IDD_PAGE3, [](QWidget* w) { Click(w, ID_WIZFINISH); });
    script.On(IDD_PROCESSING_STATUS, [&](QWidget* w) { status = w; });
    {
        Watchdog watchdog(120000);
        encoder::ProcessingStatusDialog dialog(encoder::TheApp());
        encoder::ui::RunStatusDialog(dialog);
    }
    if (old)
        test::UseRegistryFolder(saved);
    else
        ::unsetenv("ORVANE_REGISTRY_DIR");
    registry::ResetForTesting();

    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(script.messages,
              std::vector<std::string>{"FLAC Compression Finished.\nTrack 3: not accurately ripped "
                                       "(checksum differs from the AccurateRip database)"});
    // Two FLAC files, a log and a cue sheet.
    std::map<std::string, std::vector<fs::path>> files;
    for (const auto& entry : fs::directory_iterator(out.path()))
        files[entry.path().extension().string()].push_back(entry.path());
    ASSERT_EQ(files.size(), 3u);
    ASSERT_EQ(files[".FLAC"].size(), 2u);
    ASSERT_EQ(files[".log"].size(), 1u);
    ASSERT_EQ(files[".cue"].size(), 1u);
    const std::string log = test::ReadFile(files[".log"][0]);
    EXPECT_NE(log.find("Read mode: secure"), std::string::npos) << log;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", second);
    EXPECT_NE(log.find(hex), std::string::npos) << log;
    const std::string sheet = test::ReadFile(files[".cue"][0]);
    for (const fs::path& flac : files[".FLAC"]) {
        EXPECT_NE(log.find("File: " + flac.string()), std::string::npos) << log;
        EXPECT_NE(sheet.find("FILE \"" + flac.filename().string() + "\""), std::string::npos)
            << sheet;
    }
    EXPECT_FALSE(finalShot.isNull());
    if (const char* shots = std::getenv("ORVANE_SHOTS"))
        finalShot.save(QString(shots) + "/status-verified-rip.png");
}

// One read of a short disc's tracks from the grabber's OK, written as every format ticked on the
// FLAC / Opus page, each into the folder Preferences\MultiFormatFolders names, with the disc's
// place typed into the grabber in the tags. The MP3 encoder fails: its files alone fail, and the
// final message names them.
TEST_F(FormatsWizard, OneReadOfTheGrabbedTracksBecomesEveryTickedFormatInItsOwnFolder) {
    constexpr double kTones[] = {440, 660};
    test::TempDir disc, out, programs;
    std::string bin, cue = "FILE \"tones.bin\" BINARY\n";
    for (int t = 0; t < 2; ++t) {
        cue += "  TRACK 0" + std::to_string(t + 1) + " AUDIO\n    INDEX 01 00:0" +
               std::to_string(2 * t) + ":00\n";
        bin += test::CdToneFrames(kTones[t], 150, 0);
    }
    test::WriteFile(disc / "tones.bin", bin);
    test::WriteFile(disc / "tones.cue", cue);
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(config);
    fs::create_directories(fs::path(config) / "orvane");
    test::WriteFile(fs::path(config) / "orvane" / "drives.conf",
                    "real_drives = no\nimage = " + (disc / "tones.cue").string() + "\n");
    Rescan();
    test::WriteFile(programs / "enc.dll", "#!/bin/sh\necho 'Error: no MP3 encoder here'\nexit 3\n");
    fs::permissions(programs / "enc.dll", fs::perms::owner_all);
    RegisterOpusJob();
    encoder::EncoderApp& app = encoder::TheApp();
    settings_.WriteProfileString("Preferences", "MultiFormatFolders", "Rip/%F");
    const int parallel = app.parallelJobs;
    encoder::ReadSettings(app);
    app.windowEffects = 0;
    app.appFolder = programs.path().string() + "/";

    Script script;
    script.On(IDD_PAGE1, [&](QWidget* w) {
        Click(w, IDC_TO_FORMATS);
        Click(w, IDC_SRC_CDAUDIO);
        Type(w, IDC_OUTPUT, out.path().string() + "/");
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_CDA_GRABBER, [](QWidget* w) {
        Click(w, IDC_CD_SELECTALL);
        // A count below the number is refused, and the dialog stays.
        Type(w, IDC_CD_DISC, "3/2");
        Click(w, IDOK);
        ASSERT_TRUE(w->isVisible());
        Type(w, IDC_CD_DISC, "2/3");
        Click(w, IDOK);
    });
    script.On(IDD_FORMAT_SETTINGS, [](QWidget* w) {
        QWidget* page = CurrentPage(w);
        // The chosen format is written anyway: its box cannot be cleared.
        EXPECT_TRUE(Find<QAbstractButton>(page, IDC_FMT_ALSO_FLAC)->isChecked());
        EXPECT_FALSE(Enabled(page, IDC_FMT_ALSO_FLAC));
        for (int id : {IDC_FMT_ALSO_OPUS, IDC_FMT_ALSO_MP3, IDC_FMT_ALSO_WAV}) {
            EXPECT_TRUE(Enabled(page, id));
            EXPECT_FALSE(Find<QAbstractButton>(page, id)->isChecked());
            Click(page, id);
        }
        Click(w, ID_WIZNEXT);
    });
    script.On(IDD_PAGE3, [this](QWidget* w) {
        EXPECT_EQ(TextOf(w, IDC_SUM_METHOD), "FLAC (lossless), level 5 + Opus, MP3, WAVE");
        clock::Install(&clock_);
        Click(w, ID_WIZFINISH);
    });
    {
        Watchdog watchdog(120000);
        encoder::ProcessingStatusDialog dialog(encoder::TheApp());
        encoder::ui::RunStatusDialog(dialog);
    }
    app.parallelJobs = parallel;
    app.formatFolders = encoder::kDefaultFormatFolders;
    app.appFolder = test::DistDir().string() + "/";
    UseDemoDisc();
    Rescan();
    EXPECT_EQ(settings_.GetProfileString("Formats", "CdAlso"), "opus,mp3,wav");

    ASSERT_EQ(script.messages.size(), 2u);
    EXPECT_EQ(script.messages[0],
              "Please enter the disc as its number, or its number and the "
              "album's count of discs (2 or 2/3).");
    const std::string& final = script.messages[1];
    EXPECT_EQ(final.rfind("Error: 2 of 8 files could not be saved:\n", 0), 0u) << final;
    EXPECT_EQ(final.find("(FLAC)"), std::string::npos) << final;
    EXPECT_NE(final.find("Track2 (MP3): Error: no MP3 encoder here"), std::string::npos) << final;
    // Every format's files in its folder, and nothing of the job's own left anywhere.
    std::map<std::string, std::vector<fs::path>> files;
    for (const auto& entry : fs::recursive_directory_iterator(out.path())) {
        EXPECT_NE(entry.path().filename().string().rfind(".cdjob-", 0), 0u) << entry.path();
        if (entry.is_regular_file())
            files[fs::relative(entry.path().parent_path(), out.path()).string()].push_back(
                entry.path());
    }
    for (auto& [folder, list] : files)
        std::sort(list.begin(), list.end());
    EXPECT_EQ(files.size(), 3u);
    ASSERT_EQ(files["Rip/FLAC"].size(), 2u);
    ASSERT_EQ(files["Rip/Opus"].size(), 2u);
    ASSERT_EQ(files["Rip/WAV"].size(), 2u);
    for (std::size_t t = 0; t < 2; ++t) {
        const std::string tone = test::CdToneFrames(kTones[t], 150, 0);
        const fs::path& wav = files["Rip/WAV"][t];
        EXPECT_TRUE(DataChunk(test::ReadFile(wav)) == tone) << wav;
        const fs::path& flac = files["Rip/FLAC"][t];
        EXPECT_EQ(flac.stem(), wav.stem());
        const fs::path decoded = disc / ("decoded" + std::to_string(t) + ".wav");
        ASSERT_EQ(std::system(("flac -d -s -o " + test::Quote(decoded.string()) + " " +
                               test::Quote(flac.string()))
                                  .c_str()),
                  0);
        EXPECT_TRUE(DataChunk(test::ReadFile(decoded)) == tone) << flac;
        EXPECT_EQ(test::RunCommand("metaflac --show-tag=DISCNUMBER --show-tag=DISCTOTAL " +
                                   test::Quote(flac.string())),
                  "DISCNUMBER=2\nDISCTOTAL=3\n");
        const fs::path& opus = files["Rip/Opus"][t];
        EXPECT_EQ(opus.stem(), wav.stem());
        const std::string probe = test::RunCommand(
            "ffprobe -v error -show_entries stream=codec_name:format=duration "
            "-of default=noprint_wrappers=1 " +
            test::Quote(opus.string()));
        EXPECT_NE(probe.find("codec_name=opus"), std::string::npos) << probe;
        const auto at = probe.find("duration=");
        ASSERT_NE(at, std::string::npos) << probe;
        EXPECT_NEAR(std::stod(probe.substr(at + 9)), 2.0, 0.05) << probe;
    }
}

}  // namespace
}  // namespace orvane::formats
