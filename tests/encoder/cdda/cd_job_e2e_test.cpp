// A whole CD job through the shipped programs: an image drive read through libwnaspi32.so,
// each track encoded by enc.dll, tagged and renamed; the MP3 files decoded again by dec.dll
// must carry the tones of the disc.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "encoder/app/job_runner.h"
#include "encoder/cdda/cd_job.h"
#include "tests/encoder/app/job_recorder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_util.h"

namespace orvane::cdda {
namespace {

constexpr double kTones[] = {440, 880, 660, 550};
constexpr std::uint32_t kFrames[] = {225, 150, 150, 150};  // 3, 2, 2 and 2 seconds

// Samples of the left channel of a decoded WAVE file (data from byte 44).
std::vector<double> LeftChannel(const std::string& wave) {
    std::vector<double> out;
    for (std::size_t at = 44; at + 4 <= wave.size(); at += 4)
        out.push_back(
            static_cast<std::int16_t>(std::uint8_t(wave[at]) | std::uint8_t(wave[at + 1]) << 8));
    return out;
}

// Share of the signal's power at hz over one second from the middle of the samples.
double PowerShare(const std::vector<double>& s, double hz) {
    std::size_t start = s.size() / 4, n = 44100;
    if (start + n > s.size()) n = s.size() - start;
    double re = 0, im = 0, total = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double x = s[start + i];
        re += x * std::cos(2 * M_PI * hz * double(i) / 44100);
        im += x * std::sin(2 * M_PI * hz * double(i) / 44100);
        total += x * x;
    }
    return total > 0 ? 2 * (re * re + im * im) / (double(n) * total) : 0;
}

TEST(CdJobEndToEnd, TracksBecomeTaggedRenamedMp3FilesWithTheDiscsAudio) {
    test::TempDir dir;
    std::string image, cue = "FILE \"tones.bin\" BINARY\n";
    std::uint32_t at = 0;
    for (int t = 0; t < 4; ++t) {
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02u:%02u:%02u\n", t + 1,
                      at / 75 / 60, at / 75 % 60, at % 75);
        cue += line;
        image += test::CdToneFrames(kTones[t], kFrames[t], 0);
        at += kFrames[t];
    }
    test::WriteFile(dir / "tones.bin", image);
    test::WriteFile(dir / "tones.cue", cue);
    // The third track has a sector that never reads.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(config);
    std::filesystem::create_directories(std::string(config) + "/orvane");
    test::WriteFile(std::string(config) + "/orvane/drives.conf",
                    "real_drives = no\nimage = " + (dir / "tones.cue").string() +
                        "\nfaults = fail=" + std::to_string(225 + 150 + 70) + "\n");

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
    const char* titles[] = {"First Light", "Second: Wind", "Third", "Last/Call"};
    for (int t = 1; t <= 4; ++t) {
        request.tags[t].SetMarker();
        request.tags[t].SetArtist("Orvane Players");
        request.tags[t].SetTitle(titles[t - 1]);
        request.tags[t].SetAlbum("Tones");
    }
    request.cd.driveIndex = 0;
    request.cd.checked = {1, 1, 1, 1};
    request.cd.names = {"First", "Second", "Third", "Last"};
    request.cd.trackCount = 4;
    request.cd.readBufferSize = 16;
    request.cd.deleteGrabbedWav = true;

    InstallCdTrackSource(nullptr);
    test::JobRecorder recorder;
    encoder::JobRunner runner(request, recorder);
    runner.Start();
    ASSERT_TRUE(recorder.WaitEnd());
    runner.Stop();
    encoder::SetCdTrackSource(nullptr);

    ASSERT_TRUE(recorder.Outcome().has_value());
    EXPECT_EQ(recorder.Outcome()->message,
              "MP3 Compression Finished.\nError: 1 of 4 files could not be encoded:\n"
              "Track3 (Third): Error: Can't read RAW Audio Data.");
    const std::pair<int, const char*> expected[] = {{0, "Orvane Players - First Light.MP3"},
                                                    {1, "Orvane Players - Second- Wind.MP3"},
                                                    {3, "Orvane Players - Last-Call.MP3"}};
    for (const auto& [track, name] : expected) {
        std::filesystem::path mp3 = out / name;
        std::string bytes = test::ReadFile(mp3);
        ASSERT_GT(bytes.size(), 128u) << name;
        std::string tag = bytes.substr(bytes.size() - 128);
        EXPECT_EQ(tag.substr(0, 3), "TAG");
        EXPECT_EQ(tag.substr(3, std::string(titles[track]).size()), titles[track]);
        // Decoded again, the file holds the track's tone for the track's length.
        std::filesystem::path wav = out / ("decoded" + std::to_string(track) + ".wav");
        std::string command = "'" + (test::DistDir() / "dec.dll").string() + "' '" + mp3.string() +
                              "' '" + wav.string() + "' < '" + mp3.string() + "' > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << name;
        std::vector<double> samples = LeftChannel(test::ReadFile(wav));
        double seconds = double(samples.size()) / 44100;
        EXPECT_NEAR(seconds, kFrames[track] / 75.0, 0.1) << name;
        EXPECT_GT(PowerShare(samples, kTones[track]), 0.9) << name;
        for (double other : kTones) {
            if (other == kTones[track]) continue;
            EXPECT_LT(PowerShare(samples, other), 0.05) << name;
        }
    }
    // No WAVE file is left: the grabbed ones were removed after encoding, the partial one at
    // once.
    for (const auto& entry : std::filesystem::directory_iterator(out.path()))
        EXPECT_NE(entry.path().extension(), ".WAV") << entry.path();
    EXPECT_FALSE(std::filesystem::exists(out / "Track2.MP3"));
}

}  // namespace
}  // namespace orvane::cdda
