// The real codec programs of the program folder driven by the jobs: a WAVE file to a tagged MP3
// and back, and a folder batch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "encoder/app/encoder_app.h"
#include "encoder/app/headless.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::encoder {
namespace {

namespace fs = std::filesystem;

// A stereo 16-bit sine of the given length, canonical header.
std::string SineWave(double seconds, std::uint32_t rate = 44100) {
    auto frames = static_cast<std::uint32_t>(seconds * rate);
    std::string data;
    data.reserve(frames * 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        auto v = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 440 * i / rate));
        for (int ch = 0; ch < 2; ++ch)
            test::PutLe(data, static_cast<std::uint16_t>(v), 2);
    }
    return test::WaveWithData(2, rate, 16, data);
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        clock::Install(&clk);
        app.settings = &settings;
        app.splashPending = 0;
        FillGenreList(app.genreList);
        const char* dist = std::getenv("ORVANE_DIST");
        app.appFolder = std::string(dist ? dist : ORVANE_DIST_DIR) + "/";
        ASSERT_TRUE(fs::exists(app.appFolder + "enc.dll"));
    }
    void TearDown() override { clock::Install(nullptr); }
    JobRequest Request() const {
        JobRequest r;
        r.appFolder = app.appFolder;
        return r;
    }

    clock::VirtualClock clk{true};
    MemorySettings settings;
    EncoderApp app;
    test::TempDir dir;
};

TEST_F(EndToEnd, WaveToTaggedMp3AndBack) {
    test::WriteFile(dir / "tone.wav", SineWave(2.0));
    JobRequest encode = Request();
    encode.singleFileTag = true;
    Id3Tag& tag = encode.tags[1];
    tag.SetMarker();
    tag.SetTitle("Tone");
    tag.SetArtist("Orvane");
    tag.SetGenre(12);
    encode.input = (dir / "tone.wav").string();
    encode.output = (dir / "tone.mp3").string();
    encode.settings.bitrate = "128";
    encode.settings.mode = 2;
    MemoryWindow window;
    JobOutcome encoded = RunHeadlessJob(app, encode, window);
    EXPECT_EQ(encoded.message, "MP3 Compression Finished.");
    EXPECT_EQ(encoded.result, JobResult::Succeeded);
    EXPECT_EQ(window.Messages(), std::vector<std::string>{"MP3 Compression Finished."});
    std::string mp3 = test::ReadFile(dir / "tone.mp3");
    ASSERT_GT(mp3.size(), 128u + 10000u);
    // The ID3v2 tag, an MPEG frame header right after it, the ID3v1 tag at the end.
    ASSERT_EQ(mp3.substr(0, 4), std::string("ID3\x04", 4));
    std::size_t audio = 10;
    for (std::size_t i = 6; i < 10; ++i)
        audio += static_cast<std::size_t>(static_cast<unsigned char>(mp3[i]) & 0x7F)
                 << (7 * (9 - i));
    ASSERT_LT(audio, mp3.size());
    EXPECT_EQ(static_cast<unsigned char>(mp3[audio]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(mp3[audio + 1]) & 0xE0, 0xE0);
    EXPECT_EQ(mp3.substr(mp3.size() - 128, 7), "TAGTone");
    EXPECT_EQ(static_cast<unsigned char>(mp3.back()), 12);
    // 2 s at 128 kbit/s is about 32 kB.
    EXPECT_NEAR(static_cast<double>(mp3.size()), 32000.0, 4000.0);
    EXPECT_NE(window.Text(1059).find("Layer 3"), std::string::npos);

    JobRequest decode = Request();
    decode.kind = JobKind::Decode;
    decode.input = (dir / "tone.mp3").string();
    decode.output = (dir / "back.wav").string();
    MemoryWindow window2;
    JobOutcome decoded = RunHeadlessJob(app, decode, window2);
    EXPECT_EQ(decoded.message, "Decoding finished");
    EXPECT_EQ(decoded.result, JobResult::Succeeded);
    std::string wav = test::ReadFile(dir / "back.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 4), "WAVE");
    // Two seconds of stereo 16-bit audio, give or take the codec's delay and padding.
    EXPECT_NEAR(static_cast<double>(wav.size() - 44), 2.0 * 176400, 176400 * 0.1);
}

TEST_F(EndToEnd, FolderBatchEncodesEveryWaveFile) {
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "out");
    test::WriteFile(dir / "in/one.wav", SineWave(0.5));
    test::WriteFile(dir / "in/TWO.WAV", SineWave(0.5, 22050));
    test::WriteFile(dir / "in/readme.txt", "not audio");
    JobRequest batch = Request();
    batch.batch = true;
    batch.input = (dir / "in").string();
    batch.output = (dir / "out").string();
    batch.settings.bitrate = "128";
    MemoryWindow window;
    EXPECT_EQ(RunHeadlessJob(app, batch, window).message, "MP3 Compression Finished.");
    EXPECT_GT(fs::file_size(dir / "out/one.MP3"), 4000u);
    EXPECT_GT(fs::file_size(dir / "out/TWO.MP3"), 2000u);
    EXPECT_EQ(window.Text(1057), "2");
}

}  // namespace
}  // namespace orvane::encoder
