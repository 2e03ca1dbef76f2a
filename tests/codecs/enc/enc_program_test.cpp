// Runs dist/enc.dll as the encoder job does: the options, the WAVE path and the output path as
// arguments, the sample data on standard input. Its output is decoded by dist/dec.dll and, when
// installed, by the system's mpg123 and checked by ffmpeg.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "tests/codecs/support/audio_util.h"
#include "tests/support/temp_dir.h"

namespace orvane::test {
namespace {

struct RoundTrip {
    int layer;
    const char* mode;  // -ms -mj -md -mm
    int rate;
    int kbps;
    int channelsIn;
    bool fast;
    int outRate;    // rate the stream carries
    double minSnr;  // dB, per channel, against the input
};

std::ostream& operator<<(std::ostream& os, const RoundTrip& c) {
    return os << "L" << c.layer << c.mode << " " << c.rate << " Hz " << c.kbps << " kbit/s "
              << c.channelsIn << "ch" << (c.fast ? " fast" : "");
}

std::string KhzOption(int rate) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "-s%4.2f", rate * 0.001);
    return buf;
}

// The options exactly as the encoder job lays them out.
std::vector<std::string> EncoderArgv(const RoundTrip& c, const std::string& in,
                                     const std::string& out,
                                     std::vector<std::string> flags = {"", "", ""}) {
    std::vector<std::string> argv = {DistProgram("enc.dll"),
                                     c.mode,
                                     "-b" + std::to_string(c.kbps),
                                     KhzOption(c.rate),
                                     c.layer == 3 ? "-p2" : "-p1",
                                     "-l" + std::to_string(c.layer),
                                     "-dn"};
    argv.insert(argv.end(), flags.begin(), flags.end());
    argv.push_back(c.fast ? "-t" : "");
    argv.push_back(in);
    argv.push_back(out);
    return argv;
}

// Writes the WAVE file and, next to it, its sample data as the job feeds it.
std::filesystem::path PrepareInput(const TempDir& dir, const Pcm& pcm) {
    const std::string wave = WaveBytes(pcm);
    WriteFile(dir / "in.wav", wave);
    WriteFile(dir / "in.pcm", wave.substr(44));
    return dir / "in.pcm";
}

void ExpectShortLines(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        EXPECT_LE(line.size(), 100u) << line;
}

class EncoderRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(EncoderRoundTrip, DecodesToTheInputWithinTheLayersFidelity) {
    const RoundTrip& c = GetParam();
    TempDir dir;
    const std::vector<double> tones =
        c.channelsIn == 2 ? std::vector<double>{440, 1000} : std::vector<double>{440};
    const Pcm input = Tones(c.rate, tones, 0.8);
    const auto pcmPath = PrepareInput(dir, input);
    const std::string mp3 = (dir / "out.mp3").string();

    std::string log;
    ASSERT_EQ(RunProgram(EncoderArgv(c, (dir / "in.wav").string(), mp3), pcmPath, &log), 0) << log;
    ExpectShortLines(log);
    EXPECT_NE(log.find("Done:"), std::string::npos) << log;
    // Nothing but the input and the finished output remains in the folder.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 3);

    const bool monoOut = std::string(c.mode) == "-mm";
    const int spf = c.layer == 1 ? 384 : (c.layer == 3 && c.outRate < 32000 ? 576 : 1152);
    const double expectedFrames =
        static_cast<double>(input.frames()) * c.outRate / static_cast<double>(c.rate);

    struct Decoder {
        const char* name;
        std::vector<std::string> argv;
        bool viaStdin;
    };
    std::vector<Decoder> decoders = {
        {"dec.dll", {DistProgram("dec.dll"), mp3, (dir / "dec.wav").string()}, true}};
    if (!SystemTool("mpg123").empty()) {
        decoders.push_back(
            {"mpg123", {SystemTool("mpg123"), "-q", "-w", (dir / "dec.wav").string(), mp3}, false});
    }
    for (const Decoder& d : decoders) {
        SCOPED_TRACE(d.name);
        std::string decodeLog;
        ASSERT_EQ(RunProgram(d.argv, d.viaStdin ? mp3 : "", &decodeLog), 0) << decodeLog;
        Pcm out;
        ASSERT_TRUE(ParseWave(ReadFile(dir / "dec.wav"), &out));
        EXPECT_EQ(out.rate, c.outRate);
        EXPECT_EQ(out.channels, monoOut ? 1 : 2);
        // Every input sample is there; at most one frame and the codec delay more.
        EXPECT_GE(static_cast<double>(out.frames()), expectedFrames - 2);
        EXPECT_LE(static_cast<double>(out.frames()), expectedFrames + spf + 1200);

        const Pcm reference = Tones(c.outRate, tones, 0.8);
        for (int ch = 0; ch < out.channels; ++ch) {
            const auto y = out.Channel(ch);
            if (monoOut && c.channelsIn == 2) {
                // Mixed down: both tones at half their level.
                EXPECT_GT(TonePower(y, c.outRate, 440), 0.25 * 0.09 * 0.25);
                EXPECT_GT(TonePower(y, c.outRate, 1000), 0.25 * 0.09 * 0.25);
                continue;
            }
            const int source = c.channelsIn == 2 ? ch : 0;
            const auto x = reference.Channel(source);
            double gain = 0;
            const double snr = SnrDb(x, y, BestLag(x, y, 2500), &gain);
            std::cout << c << " " << d.name << " ch" << ch << " SNR " << snr << " dB\n";
            EXPECT_GE(snr, c.minSnr) << "channel " << ch;
            EXPECT_NEAR(20 * std::log10(gain), 0.0, 1.0) << "channel " << ch;
            if (c.channelsIn == 2 && !monoOut) {
                // The other channel's tone stays out of this one.
                const double own = TonePower(y, c.outRate, tones[ch]);
                const double other = TonePower(y, c.outRate, tones[1 - ch]);
                EXPECT_LT(10 * std::log10(other / own), -30.0) << "channel " << ch;
            }
        }
    }
}

// Signal-to-noise floors: measured on these sines (440 Hz left, 1000 Hz right, -10 dBFS), after
// matching the level, less 5 to 6 dB of margin. Layer 1 (our encoder) analyses with the
// standard window, evens out the ripple of analysis and synthesis together and spends the bits
// left after the masking model's needs where they remove the most noise: every Layer 1 case
// measures 82 to 92 dB, near what 16-bit output allows for a tone at -10 dBFS (the decoders
// round to 16 bits, and the 15-bit quantisers of Layer 1 add about as much again). Layers 2
// and 3 put their noise just under the masking threshold, so where a tone masks much (a low
// tone at a low bit rate) the waveform keeps only about 23 dB although it sounds clean.
INSTANTIATE_TEST_SUITE_P(Layers, EncoderRoundTrip,
                         ::testing::Values(RoundTrip{1, "-ms", 44100, 384, 2, false, 44100, 78},
                                           RoundTrip{1, "-mj", 48000, 256, 2, false, 48000, 78},
                                           RoundTrip{1, "-md", 32000, 192, 2, false, 32000, 78},
                                           RoundTrip{1, "-mm", 44100, 128, 1, false, 44100, 78},
                                           RoundTrip{1, "-ms", 44100, 128, 2, true, 44100, 78},
                                           RoundTrip{1, "-mm", 44100, 192, 2, false, 44100, 0},
                                           RoundTrip{1, "-ms", 22050, 192, 2, false, 22050, 78},
                                           RoundTrip{1, "-mm", 8000, 64, 1, false, 16000, 76},
                                           RoundTrip{2, "-ms", 44100, 192, 2, false, 44100, 45},
                                           RoundTrip{2, "-mj", 48000, 256, 2, true, 48000, 20},
                                           RoundTrip{2, "-md", 32000, 128, 2, false, 32000, 75},
                                           RoundTrip{2, "-mm", 44100, 96, 1, false, 44100, 45},
                                           RoundTrip{2, "-ms", 22050, 128, 2, false, 22050, 45},
                                           RoundTrip{2, "-mm", 11025, 64, 1, false, 16000, 70},
                                           RoundTrip{3, "-mj", 44100, 128, 2, false, 44100, 50},
                                           RoundTrip{3, "-ms", 48000, 192, 2, true, 48000, 74},
                                           RoundTrip{3, "-md", 32000, 128, 2, false, 32000, 18},
                                           RoundTrip{3, "-mm", 44100, 64, 1, false, 44100, 18},
                                           RoundTrip{3, "-ms", 44100, 128, 1, false, 44100, 50},
                                           RoundTrip{3, "-mj", 22050, 64, 2, false, 22050, 18},
                                           RoundTrip{3, "-mm", 8000, 32, 1, false, 8000, 74}));

}  // namespace
}  // namespace orvane::test

namespace orvane::test {
namespace {

struct Header {
    int layerBits = 0;
    bool crc = false;
    int mode = 0;
    bool copyright = false;
    bool original = false;
    int emphasis = 0;
};

// The header of the first frame whose sync word starts at `from` or later.
bool FindHeader(const std::string& s, size_t from, Header* h) {
    for (size_t i = from; i + 4 <= s.size(); ++i) {
        const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
        if (b(0) != 0xFF || (b(1) & 0xE0) != 0xE0) continue;
        h->layerBits = (b(1) >> 1) & 3;
        h->crc = (b(1) & 1) == 0;
        h->mode = b(3) >> 6;
        h->copyright = (b(3) >> 3) & 1;
        h->original = (b(3) >> 2) & 1;
        h->emphasis = b(3) & 3;
        return true;
    }
    return false;
}

RoundTrip Settings(int layer, const char* mode = "-mj", int kbps = 192) {
    return RoundTrip{layer, mode, 44100, kbps, 2, false, 44100, 0};
}

TEST(EncoderProgram, HeaderBitsAndCrcFollowTheOptionsInEveryLayer) {
    const std::string ffmpeg = SystemTool("ffmpeg");
    for (int layer : {1, 2, 3}) {
        SCOPED_TRACE(layer);
        TempDir dir;
        const auto pcm = PrepareInput(dir, Chord(44100, 2, 0.5));
        const std::string out = (dir / "out.mp3").string();
        auto argv =
            EncoderArgv(Settings(layer, "-md"), (dir / "in.wav").string(), out, {"-c", "-o", "-e"});
        argv[6] = "-d5";
        std::string log;
        ASSERT_EQ(RunProgram(argv, pcm, &log), 0) << log;
        const std::string stream = ReadFile(out);
        Header h;
        ASSERT_TRUE(FindHeader(stream, 0, &h));
        EXPECT_EQ(h.layerBits, 4 - layer);
        EXPECT_TRUE(h.crc);
        EXPECT_EQ(h.mode, 2);  // dual channel
        EXPECT_TRUE(h.copyright);
        EXPECT_TRUE(h.original);
        EXPECT_EQ(h.emphasis, 1);

        // Without the switches the bits are clear.
        argv = EncoderArgv(Settings(layer, "-ms"), (dir / "in.wav").string(), out);
        ASSERT_EQ(RunProgram(argv, pcm, &log), 0) << log;
        ASSERT_TRUE(FindHeader(ReadFile(out), 0, &h));
        EXPECT_FALSE(h.crc || h.copyright || h.original);
        EXPECT_EQ(h.emphasis, 0);
        EXPECT_EQ(h.mode, 0);

        if (ffmpeg.empty()) continue;
        // An independent decoder finds every checksum right, and a damaged frame wrong.
        WriteFile(dir / "crc.mp3", stream);
        std::string report;
        RunProgram({ffmpeg, "-v", "error", "-err_detect", "crccheck", "-i",
                    (dir / "crc.mp3").string(), "-f", "null", "-"},
                   "", &report);
        EXPECT_EQ(report.find("CRC"), std::string::npos) << report;
        if (layer == 1) {
            // Walk to the tenth frame and flip a bit of its allocation.
            size_t pos = 0;
            for (int frame = 0; frame < 10; ++frame) {
                const bool padded = (static_cast<unsigned char>(stream[pos + 2]) >> 1) & 1;
                pos += 4 * (12 * 192000 / 44100 + (padded ? 1 : 0));
            }
            ASSERT_EQ(static_cast<unsigned char>(stream[pos]), 0xFF);
            std::string damaged = stream;
            damaged[pos + 7] ^= 0x10;
            WriteFile(dir / "crc.mp3", damaged);
            RunProgram({ffmpeg, "-v", "error", "-err_detect", "crccheck", "-i",
                        (dir / "crc.mp3").string(), "-f", "null", "-"},
                       "", &report);
            EXPECT_NE(report.find("CRC"), std::string::npos) << report;
        }
    }
}

// A rate the layer lacks is replaced by one it has; the line that tells the plan (and so what
// Plimo shows) names the rate the frames carry, as an independent prober reads them.
TEST(EncoderProgram, TheRateItTellsIsTheRateItWrites) {
    const std::string ffprobe = SystemTool("ffprobe");
    if (ffprobe.empty()) GTEST_SKIP() << "no ffprobe";
    struct Case {
        RoundTrip c;
        int kbps;
    };
    const Case cases[] = {
        {{1, "-ms", 44100, 48, 2, false, 44100, 0}, 64},  // no 48 in Layer 1
        {{2, "-mm", 44100, 320, 1, false, 44100, 0}, 192},
        {{3, "-ms", 22050, 320, 2, true, 22050, 0}, 160},  // MPEG-2
        {{3, "-ms", 8000, 128, 2, true, 8000, 0}, 64},     // MPEG-2.5
        {{3, "-mm", 11025, 96, 1, true, 11025, 0}, 64},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::PrintToString(k.c));
        TempDir dir;
        const auto pcm = PrepareInput(dir, Tones(k.c.rate, {440, 1000}, 0.5));
        const std::string out = (dir / "out.mp3").string();
        std::string log;
        ASSERT_EQ(RunProgram(EncoderArgv(k.c, (dir / "in.wav").string(), out), pcm, &log), 0)
            << log;
        EXPECT_NE(log.substr(0, log.find('\n')).find(" " + std::to_string(k.kbps) + " kbit/s"),
                  std::string::npos)
            << log;
        std::string probe;
        RunProgram({ffprobe, "-v", "error", "-select_streams", "a:0", "-show_entries",
                    "stream=bit_rate", "-of", "csv=p=0", out},
                   "", &probe);
        EXPECT_EQ(probe, std::to_string(k.kbps * 1000) + "\n");
    }
}

TEST(EncoderProgram, JointStereoKeepsEachChannelsLevelInTheSharedBands) {
    // Above 11 kHz every joint-stereo frame of our Layer 1 carries one signal for both
    // channels; each channel's own scale factor must bring back its own level there.
    TempDir dir;
    Pcm pcm = Tones(44100, {12500, 15000}, 0.8);
    for (size_t i = 0; i < pcm.frames(); ++i)
        pcm.samples[2 * i + 1] /= 8;  // right: -18 dB
    const auto in = PrepareInput(dir, pcm);
    const std::string out = (dir / "out.mp3").string();
    std::string log;
    ASSERT_EQ(
        RunProgram(EncoderArgv(Settings(1, "-mj", 128), (dir / "in.wav").string(), out), in, &log),
        0)
        << log;
    ASSERT_EQ(RunProgram({DistProgram("dec.dll"), out, (dir / "d.wav").string()}, out, &log), 0)
        << log;
    Pcm decoded;
    ASSERT_TRUE(ParseWave(ReadFile(dir / "d.wav"), &decoded));
    Header h;
    ASSERT_TRUE(FindHeader(ReadFile(out), 0, &h));
    EXPECT_EQ(h.mode, 1);
    auto level = [](const Pcm& p, int ch, double hz) {
        return 10 * std::log10(TonePower(p.Channel(ch), p.rate, hz) + 1e-20);
    };
    EXPECT_NEAR(level(decoded, 0, 12500), level(pcm, 0, 12500), 1.0);
    EXPECT_NEAR(level(decoded, 1, 15000), level(pcm, 1, 15000), 1.0);
    EXPECT_LT(level(decoded, 1, 12500), level(pcm, 0, 12500) - 30);
    EXPECT_LT(level(decoded, 0, 15000), level(pcm, 1, 15000) - 30);
}

// Input that stops before the WAVE's data does (a cancelled or killed front-end, a failed read)
// is no song's end: nothing takes the output's name, and a file there stays as it was.
TEST(EncoderProgram, InputThatEndsEarlyWritesNoOutputAndKeepsTheOlderFile) {
    for (int layer : {1, 3}) {
        SCOPED_TRACE(layer);
        TempDir dir;
        const Pcm pcm = Tones(44100, {440, 1000}, 1.0);
        PrepareInput(dir, pcm);
        const std::string out = (dir / "out.mp3").string();
        WriteFile(out, "the older song");
        Child enc(EncoderArgv(Settings(layer), (dir / "in.wav").string(), out));
        const std::string data = WaveBytes(pcm).substr(44);
        ASSERT_TRUE(enc.Write(data.substr(0, 4 * 17640)));
        enc.CloseInput();
        const std::string log = enc.ReadAll();
        EXPECT_EQ(enc.Wait(), 1) << log;
        EXPECT_NE(log.find("Error: The input ended early after 0.40 s of 1.00 s"),
                  std::string::npos)
            << log;
        EXPECT_EQ(ReadFile(out), "the older song");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()),
                  3);  // in.wav, in.pcm and out.mp3: no temporary file either
    }
}

TEST(EncoderProgram, AReaderThatGoesAwayDoesNotStopTheEncoding) {
    TempDir dir;
    const Pcm pcm = Tones(44100, {440, 1000}, 1.0);
    PrepareInput(dir, pcm);
    const std::string out = (dir / "out.mp3").string();
    Child enc(EncoderArgv(Settings(1, "-ms", 384), (dir / "in.wav").string(), out));
    enc.CloseOutput();  // every line it prints now meets a broken pipe
    ASSERT_TRUE(enc.Write(WaveBytes(pcm).substr(44)));
    enc.CloseInput();
    EXPECT_EQ(enc.Wait(), 0);
    std::string log;
    ASSERT_EQ(RunProgram({DistProgram("dec.dll"), out, (dir / "d.wav").string()}, out, &log), 0)
        << log;
    Pcm decoded;
    ASSERT_TRUE(ParseWave(ReadFile(dir / "d.wav"), &decoded));
    EXPECT_GE(decoded.frames(), pcm.frames());
}

TEST(EncoderProgram, RefusesBadRequestsWithoutLeavingAFile) {
    TempDir dir;
    const auto pcm = PrepareInput(dir, Tones(44100, {440, 1000}, 0.2));
    const std::string wav = (dir / "in.wav").string();
    const std::string out = (dir / "out.mp3").string();
    struct Case {
        std::vector<std::string> argv;
        const char* says;
    };
    auto argv = [&](const std::string& option, const std::string& in, const std::string& o) {
        auto a = EncoderArgv(Settings(3), in, o);
        if (!option.empty()) a[1] = option;
        return a;
    };
    WriteFile(dir / "garbage.wav", std::string(5000, 'x'));
    std::string eightBit = WaveBytes(Tones(44100, {440}, 0.1));
    eightBit[34] = 8;
    WriteFile(dir / "eight.wav", eightBit);
    const std::vector<Case> cases = {
        {argv("-mq", wav, out), "Invalid option"},
        {argv("-b12k", wav, out), "Invalid option"},
        {argv("-z", wav, out), "Invalid option"},
        {argv("", (dir / "garbage.wav").string(), out), "not a WAVE"},
        {argv("", (dir / "eight.wav").string(), out), "16-bit"},
        {argv("", (dir / "missing.wav").string(), out), "Cannot open"},
        {argv("", wav, (dir / "no/such/folder/out.mp3").string()), "Cannot create"},
        {argv("", wav, dir.path().string()), "is a folder"},
        {{DistProgram("enc.dll"), "-mj"}, "Usage"},
    };
    for (const Case& c : cases) {
        std::string log;
        EXPECT_NE(RunProgram(c.argv, pcm, &log), 0) << c.says;
        EXPECT_NE(log.find(c.says), std::string::npos) << log;
        ExpectShortLines(log);
        EXPECT_FALSE(std::filesystem::exists(out)) << c.says;
    }
    // Only the inputs remain: no temporary file was left behind either.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 4);
}

TEST(EncoderProgram, AnEncodingThatIsStoppedLeavesNoFileUnderTheFinalName) {
    for (int sig : {SIGTERM, SIGKILL}) {
        TempDir dir;
        const Pcm pcm = Tones(44100, {440, 1000}, 2.0);
        PrepareInput(dir, pcm);
        const std::string out = (dir / "out.mp3").string();
        Child enc(EncoderArgv(Settings(3, "-mj", 128), (dir / "in.wav").string(), out));
        const std::string data = WaveBytes(pcm).substr(44);
        ASSERT_TRUE(enc.Write(data.substr(0, data.size() / 2)));
        // Progress lines arrive while the input is still open: they are flushed as written.
        std::string line;
        do {
            line = enc.ReadLine();
        } while (!line.empty() && line.find("Encoding") != 0);
        ASSERT_EQ(line.find("Encoding"), 0u);
        enc.Kill(sig);
        EXPECT_EQ(enc.Wait(), -sig);
        EXPECT_FALSE(std::filesystem::exists(out));
        int files = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
            ++files;
        if (sig == SIGTERM) {
            // A polite stop also removes the partial file.
            EXPECT_EQ(files, 2);
            continue;
        }
        // A killed encoder leaves its temporary file; a run after it has aged clears it.
        EXPECT_EQ(files, 3);
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            if (e.path().filename().string().rfind(".out.mp3.tmp-", 0) != 0) continue;
            const struct timespec old[2] = {{::time(nullptr) - 3600, 0},
                                            {::time(nullptr) - 3600, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, e.path().c_str(), old, 0), 0);
        }
        std::string log;
        ASSERT_EQ(RunProgram(EncoderArgv(Settings(3, "-mj", 128), (dir / "in.wav").string(),
                                         (dir / "other.mp3").string()),
                             dir / "in.pcm", &log),
                  0)
            << log;
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"in.pcm", "in.wav", "other.mp3"}));
    }
}

}  // namespace
}  // namespace orvane::test
