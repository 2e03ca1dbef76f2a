#include <gtest/gtest.h>

#include "codecs/enc/wave_format.h"
#include "tests/support/temp_dir.h"

namespace orvane::codecs {
namespace {

std::string Le(uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
}

std::string Wave(int tag, int channels, int rate, int bits, uint32_t dataBytes,
                 const std::string& extraChunk = "") {
    std::string fmt = Le(tag, 2) + Le(channels, 2) + Le(rate, 4) +
                      Le(rate * channels * bits / 8, 4) + Le(channels * bits / 8, 2) + Le(bits, 2);
    std::string body = "WAVE" + extraChunk + "fmt " + Le(16, 4) + fmt + "data" + Le(dataBytes, 4) +
                       std::string(dataBytes, '\0');
    return "RIFF" + Le(static_cast<uint32_t>(body.size()), 4) + body;
}

// The extensible format chunk (40 bytes) whose sub-format begins with subTag; cut to
// fmtBytes when given.
std::string Extensible(int subTag, int bits, size_t fmtBytes = 40) {
    std::string fmt = Le(0xFFFE, 2) + Le(2, 2) + Le(44100, 4) + Le(44100 * 2 * bits / 8, 4) +
                      Le(2 * bits / 8, 2) + Le(bits, 2) + Le(22, 2) + Le(bits, 2) + Le(3, 4) +
                      Le(subTag, 2) + std::string("\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 14);
    fmt.resize(fmtBytes);
    std::string body = "WAVEfmt " + Le(static_cast<uint32_t>(fmt.size()), 4) + fmt + "data" +
                       Le(400, 4) + std::string(400, '\0');
    return "RIFF" + Le(static_cast<uint32_t>(body.size()), 4) + body;
}

TEST(WaveFormat, ReadsTheFormatBehindOtherChunks) {
    test::TempDir dir;
    const auto path = dir / "a.wav";
    test::WriteFile(path, Wave(1, 1, 22050, 16, 1000, "LIST" + Le(5, 4) + "abcde" + '\0'));
    WaveFormat f;
    std::string error;
    ASSERT_TRUE(ReadWaveFormat(path.string(), &f, &error)) << error;
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.rate, 22050);
    EXPECT_EQ(f.dataOffset, 12 + 14 + 24 + 8);
    EXPECT_EQ(f.dataBytes, 1000);

    // A data size beyond the end of the file counts only what is there.
    std::string cut = Wave(1, 2, 44100, 16, 4000);
    cut.resize(cut.size() - 1000);
    test::WriteFile(path, cut);
    ASSERT_TRUE(ReadWaveFormat(path.string(), &f, &error)) << error;
    EXPECT_EQ(f.dataBytes, 3000);
}

TEST(WaveFormat, RefusesWhatIsNotSixteenBitPcmWithAReason) {
    test::TempDir dir;
    const auto path = dir / "a.wav";
    struct Case {
        std::string bytes;
        const char* expect;
    };
    const Case cases[] = {
        {Wave(1, 2, 44100, 8, 100), "16-bit"},
        {Wave(1, 2, 44100, 24, 120), "16-bit"},
        {Wave(3, 2, 44100, 32, 100), "not PCM"},
        {Wave(1, 3, 44100, 16, 120), "3 channels"},
        // The extensible format is PCM only when its sub-format says so.
        {Extensible(3, 16), "not PCM"},
        {Extensible(1, 16, 24), "not PCM"},
        {std::string("RIFF\x10\0\0\0WAVEfmt ", 16), "no format"},
        {"garbage that is not a wave file at all", "not a WAVE"},
        {"", "not a WAVE"},
    };
    for (const Case& c : cases) {
        test::WriteFile(path, c.bytes);
        WaveFormat f;
        std::string error;
        EXPECT_FALSE(ReadWaveFormat(path.string(), &f, &error));
        EXPECT_NE(error.find(c.expect), std::string::npos) << error;
    }
    WaveFormat f;
    std::string error;
    test::WriteFile(path, Extensible(1, 16));
    EXPECT_TRUE(ReadWaveFormat(path.string(), &f, &error)) << error;
    EXPECT_EQ(f.dataOffset, 12 + 8 + 40 + 8);
    EXPECT_FALSE(ReadWaveFormat((dir / "missing.wav").string(), &f, &error));
    EXPECT_NE(error.find("Cannot open"), std::string::npos);
}

}  // namespace
}  // namespace orvane::codecs
