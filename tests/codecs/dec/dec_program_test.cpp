// Runs dist/dec.dll as the decoder job does: input and output paths as arguments, the MPEG
// bytes on standard input. Streams come from the system's lame and twolame where installed,
// else from our own enc.dll.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/fs/fs.h"
#include "tests/codecs/support/audio_util.h"
#include "tests/support/temp_dir.h"

namespace orvane::test {
namespace {

std::string Decoder() { return DistProgram("dec.dll"); }

struct Decoded {
    int status = 0;
    std::string log;
    Pcm pcm;
    uint32_t declared = 0;
    bool valid = false;
    size_t fileSize = 0;
};

Decoded Decode(const TempDir& dir, const std::string& stream) {
    WriteFile(dir / "in.mp3", stream);
    Decoded d;
    const auto out = dir / "out.wav";
    std::filesystem::remove(out);
    d.status =
        RunProgram({Decoder(), (dir / "in.mp3").string(), out.string()}, dir / "in.mp3", &d.log);
    const std::string bytes = ReadFile(out);
    d.fileSize = bytes.size();
    d.valid = ParseWave(bytes, &d.pcm, &d.declared);
    return d;
}

// A stream made by an encoder program from `pcm`; empty when the program is missing.
std::string Encode(const TempDir& dir, const Pcm& pcm, std::vector<std::string> argv) {
    if (argv[0].empty()) return "";
    WriteFile(dir / "src.wav", WaveBytes(pcm));
    argv.push_back((dir / "src.wav").string());
    argv.push_back((dir / "src.mp3").string());
    std::string log;
    if (RunProgram(argv, "", &log) != 0) {
        ADD_FAILURE() << log;
        return "";
    }
    return ReadFile(dir / "src.mp3");
}

std::string OwnStream(const TempDir& dir, const Pcm& pcm, int layer, int kbps) {
    WriteFile(dir / "src.wav", WaveBytes(pcm));
    WriteFile(dir / "src.pcm", WaveBytes(pcm).substr(44));
    std::string log;
    EXPECT_EQ(RunProgram({DistProgram("enc.dll"), "-ms", "-b" + std::to_string(kbps), "-s44.10",
                          "-p1", "-l" + std::to_string(layer), "-dn", "", "", "", "",
                          (dir / "src.wav").string(), (dir / "src.mp3").string()},
                         dir / "src.pcm", &log),
              0)
        << log;
    return ReadFile(dir / "src.mp3");
}

struct SystemStream {
    const char* tool;
    std::vector<std::string> options;
    int rate;  // of the input WAVE
    int channels;
    int outRate;    // of the stream
    int spf;        // samples per frame
    double minSnr;  // measured, less a margin
};

void PrintTo(const SystemStream& c, std::ostream* os) {
    *os << c.tool << " at " << c.rate << " Hz, " << c.channels << " channel(s)";
}

class SystemEncoderStreams : public ::testing::TestWithParam<SystemStream> {};

TEST_P(SystemEncoderStreams, DecodeToTheirSource) {
    const SystemStream& c = GetParam();
    const std::string tool = SystemTool(c.tool);
    if (tool.empty()) GTEST_SKIP() << c.tool << " is not installed";
    TempDir dir;
    const std::vector<double> tones =
        c.channels == 2 ? std::vector<double>{440, 1000} : std::vector<double>{440};
    const Pcm source = Tones(c.rate, tones, 0.8);
    std::vector<std::string> argv = {tool};
    argv.insert(argv.end(), c.options.begin(), c.options.end());
    const std::string stream = Encode(dir, source, argv);
    ASSERT_FALSE(stream.empty());
    Decoded d = Decode(dir, stream);
    ASSERT_EQ(d.status, 0) << d.log;
    ASSERT_TRUE(d.valid);
    EXPECT_EQ(d.declared + 44u, d.fileSize);
    EXPECT_EQ(d.pcm.rate, c.outRate);
    EXPECT_EQ(d.pcm.channels, c.channels);
    const double expected = static_cast<double>(source.frames()) * c.outRate / c.rate;
    EXPECT_GE(static_cast<double>(d.pcm.frames()), expected - 2);
    EXPECT_LE(static_cast<double>(d.pcm.frames()), expected + c.spf + 1200);
    EXPECT_NE(d.log.find("Done:"), std::string::npos) << d.log;
    const Pcm reference = Tones(c.outRate, tones, 0.8);
    for (int ch = 0; ch < c.channels; ++ch) {
        const auto x = reference.Channel(ch);
        const auto y = d.pcm.Channel(ch);
        EXPECT_GE(SnrDb(x, y, BestLag(x, y, 2500)), c.minSnr) << "channel " << ch;
    }
}

// Floors: measured on the same sines (440 Hz left, 1000 Hz right) after matching the level, less
// about 5 dB: lame 128 kbit/s 44.9 and 78.9 dB, mono 64 kbit/s 77.8, MPEG-2 64 kbit/s 22.6 and
// 78.1, MPEG-2.5 32 kbit/s 79.9; twolame 192 kbit/s 50.9 and 86.9, MPEG-2 mono 73.3, dual
// channel 80.9 and 82.6. The low figures are the 440 Hz tone, under which Layer 3 hides much
// noise at low bit rates.
INSTANTIATE_TEST_SUITE_P(
    Tools, SystemEncoderStreams,
    ::testing::Values(
        SystemStream{"lame", {"--quiet", "-b", "128"}, 44100, 2, 44100, 1152, 40},
        SystemStream{"lame", {"--quiet", "-m", "m", "-b", "64"}, 48000, 1, 48000, 1152, 72},
        SystemStream{"lame", {"--quiet", "-b", "64"}, 22050, 2, 22050, 576, 18},
        SystemStream{"lame", {"--quiet", "-b", "32"}, 8000, 1, 8000, 576, 74},
        SystemStream{"twolame", {"--quiet", "-b", "192"}, 44100, 2, 44100, 1152, 45},
        SystemStream{"twolame", {"--quiet", "-m", "m", "-b", "64"}, 24000, 1, 24000, 1152, 68},
        SystemStream{"twolame", {"--quiet", "-m", "d", "-b", "128"}, 32000, 2, 32000, 1152, 75}));

Pcm Source() { return Tones(44100, {440, 1000}, 1.0); }

TEST(DecoderProgram, SkipsTagsAndJunkAroundTheFrames) {
    TempDir dir;
    const std::string stream = OwnStream(dir, Source(), 2, 192);
    const Decoded plain = Decode(dir, stream);
    ASSERT_EQ(plain.status, 0) << plain.log;

    // ID3v2 tag (10-byte header, 600 bytes of frames), junk, the frames, an ID3v1 tag.
    std::string id3v2 = std::string("ID3\x03\x00\x00", 6) + std::string("\x00\x00\x04\x58", 4) +
                        std::string(600, '\0');
    std::string junk;
    for (int i = 0; i < 3000; ++i)
        junk.push_back(static_cast<char>((i * 7919) % 251));
    std::string id3v1 = "TAG" + std::string(125, ' ');
    const Decoded tagged = Decode(dir, id3v2 + junk + stream + id3v1);
    ASSERT_EQ(tagged.status, 0) << tagged.log;
    EXPECT_EQ(tagged.pcm.frames(), plain.pcm.frames());
    EXPECT_EQ(tagged.pcm.samples, plain.pcm.samples);
    EXPECT_EQ(tagged.log.find("inside a frame"), std::string::npos) << tagged.log;
}

TEST(DecoderProgram, DamagedStreamsDecodeWhatCanBeDecoded) {
    TempDir dir;
    const std::string stream = OwnStream(dir, Source(), 3, 128);
    const Decoded full = Decode(dir, stream);
    ASSERT_EQ(full.status, 0) << full.log;

    // Cut inside a frame: the frames before it come out, and the log says what was lost.
    const Decoded cut = Decode(dir, stream.substr(0, stream.size() / 2 + 100));
    EXPECT_EQ(cut.status, 0) << cut.log;
    ASSERT_TRUE(cut.valid);
    EXPECT_EQ(cut.declared + 44u, cut.fileSize);
    EXPECT_NE(cut.log.find("inside a frame"), std::string::npos) << cut.log;
    EXPECT_GT(cut.pcm.frames(), full.pcm.frames() / 2 - 2 * 1152);
    EXPECT_LT(cut.pcm.frames(), full.pcm.frames() / 2 + 2 * 1152);

    // Garbage over a stretch in the middle: decoding resumes after it.
    std::string damaged = stream;
    for (size_t i = damaged.size() / 3; i < damaged.size() / 3 + 1500; ++i) {
        damaged[i] = static_cast<char>(i * 31 % 256);
    }
    const Decoded hurt = Decode(dir, damaged);
    EXPECT_EQ(hurt.status, 0) << hurt.log;
    ASSERT_TRUE(hurt.valid);
    EXPECT_GT(hurt.pcm.frames(), full.pcm.frames() * 3 / 4);
}

TEST(DecoderProgram, InputWithoutAudioIsReportedAndLeavesNoFile) {
    TempDir dir;
    std::string noise;
    uint32_t seed = 1;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        // Never 0xFF, so no byte pair can pass for a frame header.
        noise.push_back(static_cast<char>((seed >> 16) % 255));
    }
    for (const std::string& input : {noise, std::string()}) {
        const Decoded d = Decode(dir, input);
        EXPECT_EQ(d.status, 1);
        EXPECT_NE(d.log.find("no MPEG audio"), std::string::npos) << d.log;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
    }
    // A file of the output's name survives input without audio.
    std::string log;
    WriteFile(dir / "in.mp3", noise);
    WriteFile(dir / "out.wav", "an earlier decode");
    EXPECT_EQ(RunProgram({Decoder(), (dir / "in.mp3").string(), (dir / "out.wav").string()},
                         dir / "in.mp3", &log),
              1);
    EXPECT_EQ(ReadFile(dir / "out.wav"), "an earlier decode");

    WriteFile(dir / "good.mp3", OwnStream(dir, Source(), 2, 192));
    EXPECT_EQ(RunProgram({Decoder(), "in.mp3", (dir / "no/folder/out.wav").string()},
                         dir / "good.mp3", &log),
              1);
    EXPECT_NE(log.find("Cannot create"), std::string::npos) << log;
    // The output named as the input is refused, and the input stays as it was.
    WriteFile(dir / "same.mp3", noise);
    EXPECT_EQ(RunProgram({Decoder(), (dir / "same.mp3").string(), (dir / "same.mp3").string()},
                         dir / "same.mp3", &log),
              1);
    EXPECT_NE(log.find("is the input file"), std::string::npos) << log;
    EXPECT_EQ(ReadFile(dir / "same.mp3"), noise);
    EXPECT_EQ(RunProgram({Decoder(), "only-one-argument"}, "", &log), 2);
    EXPECT_NE(log.find("Usage"), std::string::npos) << log;
}

std::vector<std::string> HiddenTemps(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename().string().rfind(".out.wav.tmp-", 0) == 0)
            names.push_back(e.path().string());
    return names;
}

TEST(DecoderProgram, AnExistingOutputSurvivesADecodeThatFails) {
    TempDir dir;
    const std::string stream = OwnStream(dir, Tones(44100, {440, 1000}, 3.0), 1, 384);
    WriteFile(dir / "in.mp3", stream);
    const auto out = dir / "out.wav";
    WriteFile(out, "an earlier decode");

    // Killed half-way: the old file stays, while the growth was there to watch meanwhile.
    {
        Child dec({Decoder(), (dir / "in.mp3").string(), out.string()});
        ASSERT_TRUE(dec.Write(stream.substr(0, stream.size() / 3)));
        // Read on until a third of the file is decoded.
        std::string line;
        do {
            line = dec.ReadLine();
        } while (!line.empty() &&
                 !(line.find("Decoding ") == 0 && std::atoi(line.c_str() + 9) >= 30));
        ASSERT_FALSE(line.empty());
        EXPECT_GT(orvane::fs::SizeBeingWritten(out.string()), 44 + 100000);
        EXPECT_EQ(ReadFile(out), "an earlier decode");
        dec.Kill(SIGKILL);
        EXPECT_EQ(dec.Wait(), -SIGKILL);
    }
    EXPECT_EQ(ReadFile(out), "an earlier decode");
    EXPECT_EQ(orvane::fs::SizeBeingWritten(out.string()), 17);  // the killed writer is gone
    ASSERT_EQ(HiddenTemps(dir).size(), 1u);

    // A full disk (a file size limit here) ends the decode with an error; the old file stays.
    std::string log;
    const std::string limited = "trap '' XFSZ; ulimit -f 200; exec '" + Decoder() + "' '" +
                                (dir / "in.mp3").string() + "' '" + out.string() + "'";
    EXPECT_EQ(RunProgram({"/bin/sh", "-c", limited}, dir / "in.mp3", &log), 1);
    EXPECT_NE(log.find("was left as it was"), std::string::npos) << log;
    EXPECT_EQ(ReadFile(out), "an earlier decode");
    EXPECT_EQ(HiddenTemps(dir).size(), 1u);  // only the killed one's, too young to sweep

    // A decode that finishes replaces the file and clears what killed writers left long ago.
    for (const std::string& temp : HiddenTemps(dir)) {
        const struct timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, temp.c_str(), old, 0), 0);
    }
    ASSERT_EQ(
        RunProgram({Decoder(), (dir / "in.mp3").string(), out.string()}, dir / "in.mp3", &log), 0)
        << log;
    Pcm pcm;
    uint32_t declared = 0;
    const std::string bytes = ReadFile(out);
    ASSERT_TRUE(ParseWave(bytes, &pcm, &declared));
    EXPECT_EQ(declared + 44u, bytes.size());
    EXPECT_TRUE(HiddenTemps(dir).empty());
}

// The output grows where the front-end can watch it, and takes its name only complete: an input
// cut short (a cancelled or killed front-end) or a full disk leaves no file under the name.
TEST(DecoderProgram, OutputGrowsWhileDecodingAndOnlyACompleteOneTakesItsName) {
    TempDir dir;
    const std::string stream = OwnStream(dir, Tones(44100, {440, 1000}, 3.0), 1, 384);
    WriteFile(dir / "in.mp3", stream);
    const auto out = dir / "out.wav";
    {
        Child dec({Decoder(), (dir / "in.mp3").string(), out.string()});
        ASSERT_TRUE(dec.Write(stream.substr(0, stream.size() / 3)));
        std::string line;
        do {
            line = dec.ReadLine();
        } while (!line.empty() &&
                 !(line.find("Decoding ") == 0 && std::atoi(line.c_str() + 9) >= 20));
        ASSERT_FALSE(line.empty());
        EXPECT_GT(orvane::fs::SizeBeingWritten(out.string()), 44 + 100000);
        dec.CloseInput();
        const std::string log = dec.ReadAll();
        EXPECT_EQ(dec.Wait(), 1) << log;
        EXPECT_NE(log.find("The input ended early"), std::string::npos) << log;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_TRUE(HiddenTemps(dir).empty());

    std::string log;
    const std::string limited = "trap '' XFSZ; ulimit -f 200; exec '" + Decoder() + "' '" +
                                (dir / "in.mp3").string() + "' '" + out.string() + "'";
    EXPECT_EQ(RunProgram({"/bin/sh", "-c", limited}, dir / "in.mp3", &log), 1);
    EXPECT_NE(log.find("Error"), std::string::npos) << log;
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_TRUE(HiddenTemps(dir).empty());
}

}  // namespace
}  // namespace orvane::test

namespace orvane::test {
namespace {

TEST(DecoderProgram, AReaderThatGoesAwayDoesNotStopTheDecoding) {
    TempDir dir;
    const std::string stream = OwnStream(dir, Tones(44100, {440, 1000}, 1.0), 2, 192);
    const auto out = dir / "out.wav";
    Child dec({Decoder(), (dir / "src.mp3").string(), out.string()});
    dec.CloseOutput();  // every line it prints now meets a broken pipe
    ASSERT_TRUE(dec.Write(stream));
    dec.CloseInput();
    EXPECT_EQ(dec.Wait(), 0);
    Pcm pcm;
    uint32_t declared = 0;
    const std::string bytes = ReadFile(out);
    ASSERT_TRUE(ParseWave(bytes, &pcm, &declared));
    EXPECT_EQ(declared + 44u, bytes.size());
    EXPECT_GE(pcm.frames(), 44100u);
}

}  // namespace
}  // namespace orvane::test
