// The CD job on a real drive: libwnaspi32.so reaches the drive with its SG_IO code, and the MMC
// drive model answers behind the preloaded ioctl this test program runs with (the device node
// and the disc image lie at the places its environment names).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "encoder/cdda/cd_job.h"
#include "encoder/job/job_runner.h"
#include "tests/encoder/app/job_recorder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_util.h"

namespace orvane::cdda {
namespace {

TEST(CdJobOnSgIo, GrabsEveryTrackBitExactFromTheDrive) {
    const char* device = std::getenv("ORVANE_MMC_MODEL_DEVICE");
    const char* cue = std::getenv("ORVANE_MMC_MODEL_CUE");
    ASSERT_TRUE(device && cue);
    const std::filesystem::path folder = std::filesystem::path(cue).parent_path();
    std::filesystem::create_directories(folder);
    test::WriteFile(device, "");
    const std::string one = test::CdToneFrames(440, 150, 0), two = test::CdToneFrames(880, 75, 0);
    test::WriteFile(folder / "tones.bin", one + two);
    test::WriteFile(cue,
                    "FILE \"tones.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                    "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n");

    test::TempDir out;
    encoder::JobRequest request;
    request.kind = encoder::JobKind::EncodeMp3;
    request.input = encoder::kCdAudioInput;
    request.batch = true;
    request.output = out.path().string() + "/";
    request.settings.layerIndex = 2;
    request.settings.mode = 0;
    request.settings.bitrate = "128";
    request.appFolder = test::DistDir().string() + "/";
    request.cd.driveIndex = 0;
    request.cd.names = {"One", "Two"};
    request.cd.trackCount = 2;
    request.cd.readBufferSize = 16;
    request.cd.deleteGrabbedWav = false;
    request.cd.checked = {1, 1};
    test::JobRecorder recorder;
    InstallCdTrackSource(nullptr);
    encoder::JobRunner runner(request, recorder);
    runner.Start();
    ASSERT_TRUE(recorder.WaitEnd());
    runner.Stop();
    encoder::SetCdTrackSource(nullptr);
    ASSERT_TRUE(recorder.Outcome().has_value());
    EXPECT_EQ(recorder.Outcome()->message, "MP3 Compression Finished.");
    std::string names;
    for (const auto& entry : std::filesystem::directory_iterator(out.path()))
        names += entry.path().filename().string() + " ";
    const std::string first = test::ReadFile(out / "Track1.WAV");
    const std::string second = test::ReadFile(out / "Track2.WAV");
    ASSERT_EQ(first.size(), 44 + one.size()) << names;
    ASSERT_EQ(second.size(), 44 + two.size()) << names;
    EXPECT_TRUE(first.substr(44) == one);
    EXPECT_TRUE(second.substr(44) == two);
    EXPECT_TRUE(std::filesystem::exists(out / "Track2.MP3")) << names;
}

}  // namespace
}  // namespace orvane::cdda
