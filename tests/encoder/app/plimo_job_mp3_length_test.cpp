// Layer 3 files of plimo-job decode, in decoders that honour the stream's own account of its
// delay and padding, to exactly the samples of the WAVE file: the same number, not shifted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::test {
namespace {

constexpr int kRate = 44100;
constexpr std::uint32_t kFrames = 26583;  // no whole number of 1152-sample frames

// Three tones, one of them high enough that a shift of one sample shows, in each channel.
std::vector<std::int16_t> Signal(int channels) {
    std::vector<std::int16_t> s;
    for (std::uint32_t i = 0; i < kFrames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double t = static_cast<double>(i) / kRate;
            s.push_back(static_cast<std::int16_t>(6000 * std::sin(2 * M_PI * 440 * t + c) +
                                                  4000 * std::sin(2 * M_PI * 1234.5 * t) +
                                                  3000 * std::sin(2 * M_PI * 3001 * t + 2 * c)));
        }
    return s;
}

std::string WaveOf(const std::vector<std::int16_t>& samples, int channels) {
    std::string data;
    for (std::int16_t v : samples)
        PutLe(data, static_cast<std::uint16_t>(v), 2);
    return WaveWithData(channels, kRate, 16, data);
}

std::vector<std::int16_t> Raw(const std::string& bytes) {
    std::vector<std::int16_t> out(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                           (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return out;
}

// The shift (in sample frames, within ±16) at which the decoded samples match the input best:
// decoded frame i against input frame i + shift, over the middle of the file.
int BestShift(const std::vector<std::int16_t>& in, const std::vector<std::int16_t>& out,
              int channels) {
    int best = 0;
    double bestError = -1;
    const std::size_t frames = std::min(in.size(), out.size()) / channels;
    for (int shift = -16; shift <= 16; ++shift) {
        double error = 0;
        for (std::size_t i = 2000; i + 2000 < frames; ++i)
            for (int c = 0; c < channels; ++c) {
                const double d = out[i * channels + c] - in[(i + shift) * channels + c];
                error += d * d;
            }
        if (bestError < 0 || error < bestError) bestError = error, best = shift;
    }
    return best;
}

struct Case {
    const char* bitrate;
    int mode;  // plimo-job's --mode: 0 Stereo, 2 Joint Stereo, 3 Mono
    int channels;
};

TEST(PlimoJobMp3Length, DecodesToExactlyTheInputsSamplesAtEveryRateAndMode) {
    TempDir dir;
    const Case cases[] = {{"128", 0, 2}, {"192", 0, 2}, {"320", 0, 2}, {"128", 2, 2},
                          {"192", 2, 2}, {"320", 2, 2}, {"128", 3, 1}, {"320", 3, 1}};
    // The encodes run at once: each spends most of its time in the job's pauses.
    std::string script;
    for (const Case& c : cases) {
        const std::string name = std::string(c.bitrate) + "-" + std::to_string(c.mode);
        WriteFile(dir / (name + ".wav"), WaveOf(Signal(c.channels), c.channels));
        script += "'" + (DistDir() / "plimo-job").string() + "' --bitrate " + c.bitrate +
                  " --mode " + std::to_string(c.mode) + " '" + (dir / (name + ".wav")).string() +
                  "' '" + (dir / (name + ".mp3")).string() + "' >/dev/null 2>&1 &\n";
    }
    ASSERT_EQ(std::system((script + "wait\n").c_str()), 0);
    for (const Case& c : cases) {
        const std::string name = std::string(c.bitrate) + "-" + std::to_string(c.mode);
        const std::filesystem::path mp3 = dir / (name + ".mp3");
        ASSERT_TRUE(std::filesystem::exists(mp3)) << name;
        const std::vector<std::int16_t> in = Signal(c.channels);
        const struct {
            const char* decoder;
            std::string command;
        } decoders[] = {
            {"ffmpeg", "ffmpeg -nostdin -v error -i '" + mp3.string() +
                           "' -f s16le -acodec pcm_s16le -y '" + (dir / "out.raw").string() + "'"},
            {"mpg123", "mpg123 -q --gapless -s '" + mp3.string() + "' > '" +
                           (dir / "out.raw").string() + "'"},
        };
        for (const auto& d : decoders) {
            std::filesystem::remove(dir / "out.raw");
            ASSERT_EQ(std::system(d.command.c_str()), 0) << d.decoder << " " << name;
            const std::vector<std::int16_t> out = Raw(ReadFile(dir / "out.raw"));
            EXPECT_EQ(out.size(), in.size()) << d.decoder << " " << name;
            EXPECT_EQ(BestShift(in, out, c.channels), 0) << d.decoder << " " << name;
        }
    }
}

}  // namespace
}  // namespace orvane::test
