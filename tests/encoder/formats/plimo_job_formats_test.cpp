// The FLAC job through the command-line job runner, checked with independent tools: the
// reference decoder and tag lister, a tag library and a loudness meter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/folder_writes.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::test {
namespace {

namespace sfs = std::filesystem;

ProgramResult PlimoJob(const std::vector<std::string>& args) {
    return RunDistProgram("plimo-job", args);
}

// Runs a shell command; its standard output and exit status.
ProgramResult Sh(const std::string& command) { return RunShell(command); }

std::string Q(const sfs::path& p) { return test::ShellQuote(p.string()); }

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Samples of two tones (a low one left, a higher one right) at amplitude (full scale 1.0).
std::string TwoTones(int channels, std::uint32_t rate, int bits, std::uint32_t frames,
                     double amplitude) {
    std::string data;
    const double full = std::ldexp(1.0, bits - 1) - 1;
    for (std::uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double hz = c == 0 ? 440 : 1000;
            const auto v = static_cast<std::int32_t>(
                std::lround(amplitude * full * std::sin(2 * M_PI * hz * i / rate)));
            if (bits == 8)
                data += static_cast<char>(v + 128);
            else
                PutLe(data, static_cast<std::uint32_t>(v), bits / 8);
        }
    return data;
}

// The integrated loudness (LUFS) the meter of the FFmpeg tool finds in the files, as one stream.
double MeterLoudness(const std::vector<sfs::path>& files) {
    std::string cmd = "ffmpeg -nostats -hide_banner";
    std::string inputs;
    for (std::size_t i = 0; i < files.size(); ++i) {
        cmd.append(" -i ").append(Q(files[i]));
        inputs.append("[").append(std::to_string(i)).append(":a]");
    }
    cmd.append(" -filter_complex '").append(inputs).append("concat=n=");
    cmd.append(std::to_string(files.size())).append(":v=0:a=1,ebur128' -f null -");
    ProgramResult r = Sh(cmd);
    std::size_t at = r.output.rfind("I:");
    EXPECT_NE(at, std::string::npos) << r.output;
    return at == std::string::npos ? 0 : std::atof(r.output.c_str() + at + 2);
}

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

std::string Tag(const sfs::path& flac, const std::string& name) {
    std::string out = Sh("metaflac --show-tag=" + name + " " + Q(flac)).output;
    std::size_t eq = out.find('=');
    return eq == std::string::npos ? "" : out.substr(eq + 1, out.find('\n') - eq - 1);
}

class PlimoJobFlacTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(PlimoJobFlacTest, DecodesToItsInputSampleForSampleInEveryInputFormat) {
    struct Case {
        const char* name;
        int channels;
        std::uint32_t rate;
        int bits;
        std::uint32_t frames;
    } cases[] = {
        {"CD audio, an odd length", 2, 44100, 16, 57331},
        {"8-bit mono", 1, 22050, 8, 12345},
        {"24-bit at 48 kHz", 2, 48000, 24, 9001},
        {"16-bit mono", 1, 44100, 16, 1},
    };
    for (const Case& c : cases) {
        const std::string data = TwoTones(c.channels, c.rate, c.bits, c.frames, 0.7);
        WriteFile(dir / "in.wav", WaveWithData(c.channels, c.rate, c.bits, data));
        ProgramResult r = PlimoJob(
            {"--flac", "--verify", (dir / "in.wav").string(), (dir / "out.flac").string()});
        EXPECT_EQ(r.status, 0) << c.name << r.output;
        EXPECT_TRUE(Contains(r.output, "FLAC Compression Finished.")) << c.name << r.output;
        EXPECT_EQ(Sh("flac -t -s " + Q(dir / "out.flac")).status, 0) << c.name;
        ASSERT_EQ(Sh("flac -d -s -f " + Q(dir / "out.flac") + " -o " + Q(dir / "back.wav")).status,
                  0)
            << c.name;
        EXPECT_TRUE(DataChunk(ReadFile(dir / "back.wav")) == data) << c.name;
    }
}

TEST_F(PlimoJobFlacTest, TagsMd5AndSeekTableAreThereForOtherTools) {
    const std::string data = TwoTones(2, 8000, 16, 8000 * 25, 0.5);
    WriteFile(dir / "in.wav", WaveWithData(2, 8000, 16, data));
    WriteFile(dir / "raw", data);
    const sfs::path out = dir / "out.flac";
    ProgramResult r =
        PlimoJob({"--flac", "--level", "8", "--title", "Caf\xc3\xa9", "--artist", "Band", "--album",
                  "Album", "--year", "2001", "--comment", "Note", "--genre", "17", "--track", "7",
                  (dir / "in.wav").string(), out.string()});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Tag(out, "TITLE"), "Caf\xc3\xa9");
    EXPECT_EQ(Tag(out, "ARTIST"), "Band");
    EXPECT_EQ(Tag(out, "ALBUM"), "Album");
    EXPECT_EQ(Tag(out, "DATE"), "2001");
    EXPECT_EQ(Tag(out, "COMMENT"), "Note");
    EXPECT_EQ(Tag(out, "GENRE"), "Rock");
    EXPECT_EQ(Tag(out, "TRACKNUMBER"), "7");
    const std::string md5 = Sh("md5sum < " + Q(dir / "raw")).output.substr(0, 32);
    EXPECT_EQ(Sh("metaflac --show-md5sum " + Q(out)).output, md5 + "\n");
    // A seek point every ten seconds.
    EXPECT_TRUE(
        Contains(Sh("metaflac --list --block-type=SEEKTABLE " + Q(out)).output, "seek points: 3"));
    ProgramResult m =
        Sh("/usr/bin/python3 -c 'import sys, mutagen.flac; f = mutagen.flac.FLAC(sys.argv[1]); "
           "print(f[\"title\"][0], f[\"tracknumber\"][0], \"%032x\" % f.info.md5_signature)' " +
           Q(out));
    EXPECT_EQ(m.output, "Caf\xc3\xa9 7 " + md5 + "\n");
    // The fields beyond the record's, and texts longer than its thirty bytes, reach the comments
    // whole; the full genre text wins over the record's code.
    const std::string longTitle =
        "\xd0\x9f\xd0\xb5\xd1\x81\xd0\xbd\xd1\x8f: a title well over thirty bytes";
    r = PlimoJob({"--flac", "--title", longTitle, "--genre", "17", "--genre-text", "Art Pop",
                  "--album-artist", "Various", "--disc", "2/3", (dir / "in.wav").string(),
                  out.string()});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Tag(out, "TITLE"), longTitle);
    EXPECT_EQ(Tag(out, "GENRE"), "Art Pop");
    EXPECT_EQ(Tag(out, "ALBUMARTIST"), "Various");
    EXPECT_EQ(Tag(out, "DISCNUMBER"), "2");
    EXPECT_EQ(Tag(out, "DISCTOTAL"), "3");
    // No genre asked for: none written (a tag record's genre 0 would otherwise name one).
    ASSERT_EQ(PlimoJob({"--flac", "--title", "T", (dir / "in.wav").string(), out.string()}).status,
              0);
    EXPECT_EQ(Tag(out, "GENRE"), "");
}

TEST_F(PlimoJobFlacTest, ReplayGainOfEachFileAndOfTheBatchAgreesWithAnIndependentMeter) {
    sfs::create_directory(dir / "in");
    sfs::create_directory(dir / "out");
    WriteFile(dir / "in/loud.wav",
              WaveWithData(2, 44100, 16, TwoTones(2, 44100, 16, 44100 * 3, 0.8)));
    WriteFile(dir / "in/quiet.wav",
              WaveWithData(2, 44100, 16, TwoTones(2, 44100, 16, 44100 * 4, 0.3)));
    // Both files pass the meter's gates, so the meter over the two as one stream measures the
    // album as the job does over its files.
    ProgramResult r = PlimoJob(
        {"--flac", "--batch", "--replaygain", (dir / "in").string(), (dir / "out").string()});
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* name : {"loud", "quiet"}) {
        const sfs::path out = dir / "out" / (std::string(name) + ".FLAC");
        const double gain = std::atof(Tag(out, "REPLAYGAIN_TRACK_GAIN").c_str());
        EXPECT_NEAR(gain, -18 - MeterLoudness({dir / "in" / (std::string(name) + ".wav")}), 0.1)
            << name;
        EXPECT_TRUE(Contains(Tag(out, "REPLAYGAIN_TRACK_GAIN"), " dB")) << name;
    }
    EXPECT_NEAR(std::atof(Tag(dir / "out/loud.FLAC", "REPLAYGAIN_TRACK_PEAK").c_str()), 0.8, 0.001);
    const std::string album = Tag(dir / "out/loud.FLAC", "REPLAYGAIN_ALBUM_GAIN");
    EXPECT_EQ(album, Tag(dir / "out/quiet.FLAC", "REPLAYGAIN_ALBUM_GAIN"));
    EXPECT_NEAR(std::atof(album.c_str()),
                -18 - MeterLoudness({dir / "in/loud.wav", dir / "in/quiet.wav"}), 0.1);
    EXPECT_NEAR(std::atof(Tag(dir / "out/quiet.FLAC", "REPLAYGAIN_ALBUM_PEAK").c_str()), 0.8,
                0.001);
    // The values went into the files without breaking them.
    EXPECT_EQ(Sh("flac -t -s " + Q(dir / "out/loud.FLAC") + " " + Q(dir / "out/quiet.FLAC")).status,
              0);
}

TEST_F(PlimoJobFlacTest, SeveralFilesAtOnceGiveTheFilesAndTheAlbumOfOneAtATime) {
    sfs::create_directory(dir / "in");
    WriteFile(dir / "in/a.wav", WaveWithData(2, 44100, 16, TwoTones(2, 44100, 16, 44100, 0.8)));
    WriteFile(dir / "in/b.wav", std::string(5000, 'x'));
    WriteFile(dir / "in/c.wav", WaveWithData(1, 48000, 24, TwoTones(1, 48000, 24, 96000, 0.1)));
    WriteFile(dir / "in/d.wav", WaveWithData(2, 22050, 8, TwoTones(2, 22050, 8, 30000, 0.4)));
    std::string outputs[2];
    std::vector<std::string> files[2];
    const char* jobs[2] = {"1", "3"};
    for (int i = 0; i < 2; ++i) {
        const sfs::path out = dir / ("out-" + std::to_string(i));
        sfs::create_directory(out);
        FolderWrites writes(out);
        ProgramResult r = PlimoJob({"--flac", "--batch", "--replaygain", "--jobs", jobs[i],
                                    (dir / "in").string(), out.string()});
        EXPECT_EQ(r.status, 1) << r.output;
        // One at a time writes one file at a time. That several at once really run at once,
        // the album's loudness notwithstanding, the batch's tests prove with a gate they hold
        // (FormatBatchTest); a folder watched from outside cannot tell it under load.
        if (i == 0) {
            EXPECT_EQ(writes.MostAtOnce(), 1);
        }
        outputs[i] = r.output;
        for (const char* name : {"a", "c", "d"})
            files[i].push_back(ReadFile(out / (std::string(name) + ".FLAC")));
    }
    EXPECT_TRUE(Contains(outputs[0], "Error: 1 of 4 files could not be encoded:\nb.wav: "))
        << outputs[0];
    EXPECT_EQ(outputs[1], outputs[0]);
    EXPECT_TRUE(files[1] == files[0]);
    // Every file written holds the album's value, the same in each.
    const std::string album = Tag(dir / "out-1/a.FLAC", "REPLAYGAIN_ALBUM_GAIN");
    EXPECT_TRUE(Contains(album, " dB")) << album;
    EXPECT_EQ(Tag(dir / "out-1/d.FLAC", "REPLAYGAIN_ALBUM_GAIN"), album);
}

TEST_F(PlimoJobFlacTest, AFailureKeepsAnOlderFileAndSaysWhy) {
    WriteFile(dir / "in.wav", std::string(5000, 'x'));
    WriteFile(dir / "out.flac", "older");
    ProgramResult r = PlimoJob({"--flac", (dir / "in.wav").string(), (dir / "out.flac").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.output, "Error: The file could not be encoded:\n" +
                                       (dir / "in.wav").string() +
                                       "\nError: Input file is not a WAV"))
        << r.output;
    EXPECT_EQ(ReadFile(dir / "out.flac"), "older");
    EXPECT_EQ(std::distance(sfs::directory_iterator(dir.path()), sfs::directory_iterator()), 2);
    // A level outside 0..8 is a wrong command line.
    EXPECT_EQ(PlimoJob({"--flac", "--level", "9", (dir / "in.wav").string(), "o.flac"}).status, 2);
}

std::uint64_t LeAt(const std::string& s, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

// The samples an Ogg Opus file plays: its last granule position less its pre-skip.
std::int64_t OpusLength(const std::string& ogg) {
    const std::size_t head = ogg.find("OpusHead");
    const std::size_t last = ogg.rfind("OggS");
    if (head == std::string::npos || last == std::string::npos) return -1;
    return static_cast<std::int64_t>(LeAt(ogg, last + 6, 8)) -
           static_cast<std::int64_t>(LeAt(ogg, head + 10, 2));
}

std::vector<double> Samples16(const std::string& data) {
    std::vector<double> out(data.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<std::int16_t>(LeAt(data, 2 * i, 2));
    return out;
}

class PlimoJobOpusTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(PlimoJobOpusTest, TheStreamPlaysExactlyTheInputsLength) {
    struct Case {
        int channels;
        std::uint32_t rate, frames;
    } cases[] = {
        {2, 44100, 44100 * 2 + 333}, {1, 22050, 7}, {2, 48000, 48000 + 1}, {1, 8000, 12345}};
    for (const Case& c : cases) {
        WriteFile(dir / "in.wav", WaveWithData(c.channels, c.rate, 16,
                                               TwoTones(c.channels, c.rate, 16, c.frames, 0.5)));
        ProgramResult r =
            PlimoJob({"--opus", (dir / "in.wav").string(), (dir / "out.opus").string()});
        ASSERT_EQ(r.status, 0) << c.rate << r.output;
        EXPECT_TRUE(Contains(r.output, "Opus Compression Finished.")) << r.output;
        const std::int64_t expected = (std::int64_t{c.frames} * 48000 + c.rate / 2) / c.rate;
        EXPECT_NEAR(OpusLength(ReadFile(dir / "out.opus")), expected, 1) << c.rate;
        ProgramResult info = Sh("opusinfo " + Q(dir / "out.opus"));
        EXPECT_EQ(info.status, 0) << info.output;
        EXPECT_FALSE(Contains(info.output, "WARNING")) << info.output;
        EXPECT_FALSE(Contains(info.output, "ERROR")) << info.output;
    }
}

TEST_F(PlimoJobOpusTest, DecodesWithoutDelayAndCloseToTheInput) {
    // Five seconds of the two tones at 48 kHz, at the default bit rate.
    const std::string data = TwoTones(2, 48000, 16, 48000 * 5, 0.5);
    WriteFile(dir / "in.wav", WaveWithData(2, 48000, 16, data));
    ASSERT_EQ(PlimoJob({"--opus", "--title", "Tone", "--track", "2", (dir / "in.wav").string(),
                        (dir / "out.opus").string()})
                  .status,
              0);
    ASSERT_EQ(Sh("opusdec --quiet --rate 48000 " + Q(dir / "out.opus") + " " + Q(dir / "back.raw"))
                  .status,
              0);
    const std::vector<double> in = Samples16(data), out = Samples16(ReadFile(dir / "back.raw"));
    ASSERT_EQ(out.size(), in.size());
    // The cross-correlation of the left channels peaks at lag 0.
    auto correlation = [&](int lag) {
        double sum = 0;
        for (std::size_t i = 4800; i + 4800 < in.size() / 2; ++i)
            sum += in[2 * i] * out[2 * (i + static_cast<std::size_t>(lag + 100)) - 200];
        return sum;
    };
    int best = -100;
    for (int lag = -100; lag <= 100; ++lag)
        if (correlation(lag) > correlation(best)) best = lag;
    EXPECT_EQ(best, 0);
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        signal += in[i] * in[i];
        noise += (in[i] - out[i]) * (in[i] - out[i]);
    }
    EXPECT_GE(10 * std::log10(signal / noise), 25.0);
    const std::string info = Sh("opusinfo " + Q(dir / "out.opus")).output;
    EXPECT_TRUE(Contains(info, "TITLE=Tone")) << info;
    EXPECT_TRUE(Contains(info, "TRACKNUMBER=2")) << info;
}

TEST_F(PlimoJobOpusTest, TheFieldsBeyondTheRecordAreCommentsOtherToolsRead) {
    WriteFile(dir / "in.wav", WaveWithData(1, 48000, 16, TwoTones(1, 48000, 16, 4800, 0.5)));
    const std::string title =
        "\xe6\x98\xa5\xe3\x81\xae\xe6\xad\x8c, a title longer than thirty bytes";
    ProgramResult r = PlimoJob({"--opus", "--title", title, "--album-artist", "Various", "--disc",
                                "1/2", "--genre-text", "\xc3\x89lectro", "--track", "5",
                                (dir / "in.wav").string(), (dir / "out.opus").string()});
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string info = Sh("opusinfo " + Q(dir / "out.opus")).output;
    for (const std::string& line :
         {"TITLE=" + title, std::string("ALBUMARTIST=Various"), std::string("DISCNUMBER=1"),
          std::string("DISCTOTAL=2"), std::string("GENRE=\xc3\x89lectro"),
          std::string("TRACKNUMBER=5")})
        EXPECT_TRUE(Contains(info, line)) << line << "\n" << info;
}

TEST_F(PlimoJobOpusTest, R128GainsOfEachFileAndOfTheBatchAgreeWithAnIndependentMeter) {
    sfs::create_directory(dir / "in");
    sfs::create_directory(dir / "out");
    WriteFile(dir / "in/loud.wav",
              WaveWithData(2, 44100, 16, TwoTones(2, 44100, 16, 44100 * 3, 0.8)));
    WriteFile(dir / "in/quiet.wav",
              WaveWithData(2, 44100, 16, TwoTones(2, 44100, 16, 44100 * 4, 0.3)));
    ProgramResult r = PlimoJob(
        {"--opus", "--batch", "--replaygain", (dir / "in").string(), (dir / "out").string()});
    ASSERT_EQ(r.status, 0) << r.output;
    // Q7.8 dB to the -23 LUFS reference.
    auto gain = [&](const char* file, const std::string& name) {
        const std::string info = Sh("opusinfo " + Q(dir / "out" / file)).output;
        EXPECT_FALSE(Contains(info, "WARNING")) << info;
        const std::size_t at = info.find(name + "=");
        EXPECT_NE(at, std::string::npos) << info;
        return at == std::string::npos ? 1e9 : std::atof(info.c_str() + at + name.size() + 1) / 256;
    };
    EXPECT_NEAR(gain("loud.OPUS", "R128_TRACK_GAIN"), -23 - MeterLoudness({dir / "in/loud.wav"}),
                0.1);
    EXPECT_NEAR(gain("quiet.OPUS", "R128_TRACK_GAIN"), -23 - MeterLoudness({dir / "in/quiet.wav"}),
                0.1);
    const double album = gain("loud.OPUS", "R128_ALBUM_GAIN");
    EXPECT_EQ(album, gain("quiet.OPUS", "R128_ALBUM_GAIN"));
    EXPECT_NEAR(album, -23 - MeterLoudness({dir / "in/loud.wav", dir / "in/quiet.wav"}), 0.1);
    // The rewritten header leaves the audio as it was: the stream still plays its whole length.
    EXPECT_NEAR(OpusLength(ReadFile(dir / "out/quiet.OPUS")), 48000 * 4, 1);
}

TEST_F(PlimoJobOpusTest, WrongBitRatesAreAWrongCommandLine) {
    for (const char* k : {"31", "513", "x"})
        EXPECT_EQ(PlimoJob({"--opus", "--bitrate", k, "in.wav", "out.opus"}).status, 2) << k;
}

}  // namespace
}  // namespace orvane::test
