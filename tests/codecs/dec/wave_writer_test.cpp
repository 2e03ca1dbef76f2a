#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "codecs/dec/wave_writer.h"
#include "tests/codecs/support/audio_util.h"
#include "tests/support/temp_dir.h"

namespace orvane::codecs {
namespace {

TEST(GrowingWaveFile, IsAValidWaveWhileItGrowsAndAtTheEnd) {
    test::TempDir dir;
    const auto path = dir / "out.wav";
    GrowingWaveFile wave(path.string());
    std::string error;
    ASSERT_TRUE(wave.Create(&error)) << error;
    ASSERT_TRUE(wave.SetFormat(22050, 1, &error)) << error;
    std::vector<int16_t> block(30000);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<int16_t>(i);
    // 1.2 MB of samples: the header has been brought up to date on the way.
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(wave.Append(block.data(), 60000, &error)) << error;
    // It grows beside its name, which it takes only once complete.
    EXPECT_FALSE(std::filesystem::exists(path));
    std::filesystem::path growing;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        growing = e.path();
    EXPECT_EQ(growing.filename().string().rfind(".out.wav.tmp-", 0), 0u) << growing;
    test::Pcm pcm;
    uint32_t declared = 0;
    ASSERT_TRUE(test::ParseWave(test::ReadFile(growing), &pcm, &declared));
    EXPECT_EQ(pcm.rate, 22050);
    EXPECT_EQ(pcm.channels, 1);
    EXPECT_GE(declared, 1u << 20);
    EXPECT_LE(declared, 1200000u);

    ASSERT_TRUE(wave.Close(&error)) << error;
    const std::string bytes = test::ReadFile(path);
    ASSERT_TRUE(test::ParseWave(bytes, &pcm, &declared));
    EXPECT_EQ(declared, 1200000u);
    EXPECT_EQ(bytes.size(), 44u + 1200000u);
    EXPECT_EQ(pcm.samples[29999], 29999);
}

TEST(GrowingWaveFile, HeaderLayout) {
    unsigned char h[44];
    BuildWaveHeader(44100, 2, 1000, h);
    const std::string s(reinterpret_cast<char*>(h), 44);
    EXPECT_EQ(s.substr(0, 4), "RIFF");
    EXPECT_EQ(h[4] | (h[5] << 8), 1036);
    EXPECT_EQ(s.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(h[22], 2);
    EXPECT_EQ(h[24] | (h[25] << 8) | (h[26] << 16), 44100);
    EXPECT_EQ(h[28] | (h[29] << 8) | (h[30] << 16), 176400);
    EXPECT_EQ(h[32], 4);
    EXPECT_EQ(h[34], 16);
    EXPECT_EQ(s.substr(36, 4), "data");
    EXPECT_EQ(h[40] | (h[41] << 8), 1000);
}

}  // namespace
}  // namespace orvane::codecs
