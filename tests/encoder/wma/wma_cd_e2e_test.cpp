// A WMA job of CD tracks through the real CD source: an image drive read through
// libwnaspi32.so, each checked track grabbed into a WAVE file and encoded to a WMA file named
// and described by the track's tag; a track that cannot be read is named in the final message.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "encoder/app/job_runner.h"
#include "encoder/cdda/cd_job.h"
#include "encoder/wma/wma_job.h"
#include "platform/clock/clock.h"
#include "tests/encoder/app/job_recorder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_util.h"
#include "tests/support/wma_util.h"

namespace orvane::wma {
namespace {

namespace fs = std::filesystem;

TEST(WmaCdJobEndToEnd, ReadableTracksBecomeDescribedWmaFilesAndTheUnreadableOneIsNamed) {
    constexpr double kTones[] = {440, 660, 880};
    constexpr std::uint32_t kFrames[] = {150, 75, 100};  // 2, 1 and 1.33 seconds
    test::TempDir dir, out, profiles;
    std::string image, cue = "FILE \"tones.bin\" BINARY\n";
    std::uint32_t at = 0;
    for (int t = 0; t < 3; ++t) {
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02u:%02u:%02u\n", t + 1,
                      at / 75 / 60, at / 75 % 60, at % 75);
        cue += line;
        image += test::CdToneFrames(kTones[t], kFrames[t]);
        at += kFrames[t];
    }
    test::WriteFile(dir / "tones.bin", image);
    test::WriteFile(dir / "tones.cue", cue);
    // The second track has a sector that never reads.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(config);
    fs::create_directories(std::string(config) + "/orvane");
    test::WriteFile(std::string(config) + "/orvane/drives.conf",
                    "real_drives = no\nimage = " + (dir / "tones.cue").string() +
                        "\nfaults = fail=" + std::to_string(kFrames[0] + 30) + "\n");

    test::CopyShippedProfiles(profiles.path());
    test::RegisterProfileFolder(profiles.path().string());
    RegisterWmaJob();
    // The job's fixed pauses pass at once; the encoder and the drive run in real time.
    clock::VirtualClock clk(true);
    clock::Install(&clk);

    encoder::JobRequest request;
    request.kind = encoder::JobKind::EncodeWma;
    request.input = encoder::kCdAudioInput;
    request.batch = true;
    request.output = out.path().string() + "/";
    request.appFolder = test::DistDir().string() + "/";
    request.wma.profileIndex = 0;
    const char* titles[] = {"Morning: Bells", "Broken", "Night/Fall"};
    for (int t = 1; t <= 3; ++t) {
        request.tags[t].SetMarker();
        request.tags[t].SetArtist("Orvane Players");
        request.tags[t].SetTitle(titles[t - 1]);
        request.tags[t].SetAlbum("Tones");
    }
    request.cd.driveIndex = 0;
    request.cd.checked = {1, 1, 1};
    request.cd.names = {"Morning", "Broken", "Night"};
    request.cd.trackCount = 3;
    request.cd.readBufferSize = 16;
    request.cd.deleteGrabbedWav = true;

    cdda::InstallCdTrackSource(nullptr);
    test::JobRecorder recorder;
    {
        encoder::JobRunner runner(request, recorder);
        runner.Start();
        runner.Wait();
    }
    encoder::SetCdTrackSource(nullptr);
    clock::Install(nullptr);
    test::UnregisterProfileFolder();

    EXPECT_TRUE(recorder.Messages().empty());
    ASSERT_TRUE(recorder.Outcome().has_value());
    EXPECT_EQ(recorder.Outcome()->result, encoder::JobResult::Failed);
    EXPECT_EQ(recorder.Outcome()->message,
              "Compression Finished.\nError: 1 of 3 files could not be encoded:\n"
              "Track2 (Broken): Error: Can't read RAW Audio Data.");
    // One file per readable track; the unreadable one left nothing, and every grabbed WAVE
    // file went once encoded.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(out.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Orvane Players - Morning- Bells.WMA",
                                               "Orvane Players - Night-Fall.WMA"}));

    if (std::system("ffprobe -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffprobe";
    const std::pair<int, const char*> written[] = {{0, "Orvane Players - Morning- Bells.WMA"},
                                                   {2, "Orvane Players - Night-Fall.WMA"}};
    for (const auto& [track, name] : written) {
        auto probe = test::Probe(out / name);
        EXPECT_EQ(probe["codec_name"], "wmav2") << name;
        EXPECT_EQ(probe["TAG:title"], titles[track]) << name;
        EXPECT_EQ(probe["TAG:artist"], "Orvane Players") << name;
        EXPECT_EQ(probe["TAG:comment"], "Tones") << name;
        // Within one codec frame (2048 samples) of the track's length.
        ASSERT_TRUE(probe.count("duration")) << name;
        EXPECT_NEAR(std::stod(probe["duration"]), kFrames[track] / 75.0, 2048.0 / 44100) << name;
        // The file holds the track's own tone.
        test::ToneFit fit = test::FitTone(test::Decode(out / name), 2, 0, 44100, kTones[track]);
        EXPECT_GT(fit.snrDb, 20) << name;
    }
}

}  // namespace
}  // namespace orvane::wma
