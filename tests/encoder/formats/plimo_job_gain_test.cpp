// ReplayGain 2.0 values in the formats another program encodes (MP3 through the encoder child,
// WMA through the encoder objects), through the command-line job runner, read back by
// independent tools (a tag library, the FFmpeg prober) and compared with FFmpeg's loudness
// meter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/folder_writes.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::test {
namespace {

namespace sfs = std::filesystem;

ProgramResult Shell(const std::string& command) { return RunShell(command); }

std::string Quoted(const sfs::path& p) { return "'" + p.string() + "'"; }

// A tone in every channel at amplitude (full scale 1.0), 16-bit.
std::string Tone(int channels, double hz, std::uint32_t frames, double amplitude) {
    std::string data;
    for (std::uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            PutLe(data,
                  static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(
                      amplitude * 32767 * std::sin(2 * M_PI * (hz + 100 * c) * i / 44100)))),
                  2);
    return data;
}

// The integrated loudness FFmpeg's meter finds in the files played one after the other.
double Meter(const std::vector<sfs::path>& files) {
    std::string cmd = "ffmpeg -nostats -hide_banner", inputs;
    for (std::size_t i = 0; i < files.size(); ++i) {
        cmd += " -i " + Quoted(files[i]);
        inputs += "[" + std::to_string(i) + ":a]";
    }
    cmd += " -filter_complex '" + inputs + "concat=n=" + std::to_string(files.size()) +
           ":v=0:a=1,ebur128' -f null -";
    const ProgramResult r = Shell(cmd);
    const std::size_t at = r.output.rfind("I:");
    EXPECT_NE(at, std::string::npos) << r.output;
    return at == std::string::npos ? 0 : std::atof(r.output.c_str() + at + 2);
}

// The file's tags as a tag library reads them: "name=value" a line; ID3v2 user text frames
// as "TXXX:<description>".
std::map<std::string, std::string> Tags(const sfs::path& file) {
    const ProgramResult r = Shell(
        "/usr/bin/python3 -c 'import sys, mutagen\n"
        "f = mutagen.File(sys.argv[1])\n"
        "for k, v in (f.tags or {}).items():\n"
        "    t = v[0] if isinstance(v, list) else v\n"
        "    print(\"%s=%s\" % (k, getattr(t, \"value\", t)))' " +
        Quoted(file));
    std::map<std::string, std::string> tags;
    std::size_t at = 0;
    while (at < r.output.size()) {
        std::size_t end = r.output.find('\n', at);
        if (end == std::string::npos) end = r.output.size();
        const std::string line = r.output.substr(at, end - at);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) tags[line.substr(0, eq)] = line.substr(eq + 1);
        at = end + 1;
    }
    EXPECT_EQ(r.status, 0) << r.output;
    return tags;
}

class ReplayGainJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        sfs::create_directory(dir / "in");
        sfs::create_directory(dir / "out");
        // Both pass the meter's relative gate, so the meter over the two as one stream
        // measures the album as the job does.
        WriteFile(dir / "in/loud.wav", WaveWithData(2, 44100, 16, Tone(2, 440, 44100 * 3, 0.7)));
        WriteFile(dir / "in/quiet.wav", WaveWithData(2, 44100, 16, Tone(2, 1000, 44100 * 4, 0.35)));
    }

    // Checks the values the files of the folder batch got under the names given.
    void ExpectBatchValues(const std::string& extension, const std::string& prefix) {
        std::map<std::string, std::string> album;
        for (const char* name : {"loud", "quiet"}) {
            const sfs::path out = dir / "out" / (std::string(name) + extension);
            const std::map<std::string, std::string> tags = Tags(out);
            const std::string gain = tags.count(prefix + "REPLAYGAIN_TRACK_GAIN")
                                         ? tags.at(prefix + "REPLAYGAIN_TRACK_GAIN")
                                         : "";
            ASSERT_NE(gain.find(" dB"), std::string::npos) << name << ": " << gain;
            EXPECT_NEAR(std::atof(gain.c_str()),
                        -18 - Meter({dir / "in" / (std::string(name) + ".wav")}), 0.1)
                << name;
            EXPECT_NEAR(std::atof(tags.at(prefix + "REPLAYGAIN_TRACK_PEAK").c_str()),
                        std::string(name) == "loud" ? 0.7 : 0.35, 0.001)
                << name;
            for (const char* value : {"REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_PEAK"}) {
                ASSERT_TRUE(tags.count(prefix + value)) << name << " " << value;
                if (album.count(value)) {
                    EXPECT_EQ(album[value], tags.at(prefix + value));
                }
                album[value] = tags.at(prefix + value);
            }
        }
        EXPECT_NEAR(std::atof(album["REPLAYGAIN_ALBUM_GAIN"].c_str()),
                    -18 - Meter({dir / "in/loud.wav", dir / "in/quiet.wav"}), 0.1);
        EXPECT_NEAR(std::atof(album["REPLAYGAIN_ALBUM_PEAK"].c_str()), 0.7, 0.001);
    }

    TempDir dir;
};

TEST_F(ReplayGainJobTest, Mp3BatchGetsTrackAndAlbumValuesAsId3v2UserTextFrames) {
    const ProgramResult r = RunDistProgram(
        "plimo-job", {"--batch", "--replaygain", (dir / "in").string(), (dir / "out").string()});
    ASSERT_EQ(r.status, 0) << r.output;
    ExpectBatchValues(".MP3", "TXXX:");
    // The values went in without breaking the audio.
    EXPECT_EQ(Shell("ffmpeg -v error -i " + Quoted(dir / "out/loud.MP3") + " -f null -").output,
              "");
}

// A Layer 1 stream without CRC begins every frame with FFh FFh, which a tag library can take
// for no frame at all; its files get their values all the same, and still play.
TEST_F(ReplayGainJobTest, Layer1FilesGetTheirValuesToo) {
    const ProgramResult r =
        RunDistProgram("plimo-job", {"--batch", "--replaygain", "--layer", "1", "--bitrate", "192",
                                     (dir / "in").string(), (dir / "out").string()});
    ASSERT_EQ(r.status, 0) << r.output;
    ExpectBatchValues(".MP3", "TXXX:");
    for (const char* name : {"loud.MP3", "quiet.MP3"}) {
        const sfs::path file = dir / "out" / name;
        const std::string probe = Shell(
                                      "ffprobe -v error -select_streams a:0 -show_entries "
                                      "stream=codec_name,bit_rate -of default=nw=1 " +
                                      Quoted(file))
                                      .output;
        EXPECT_NE(probe.find("codec_name=mp1\n"), std::string::npos) << probe;
        EXPECT_NE(probe.find("bit_rate=192000\n"), std::string::npos) << probe;
        EXPECT_EQ(Shell("ffmpeg -v error -i " + Quoted(file) + " -f null -").output, "");
        EXPECT_EQ(Shell("mpg123 -q -t " + Quoted(file)).status, 0);
    }
}

TEST_F(ReplayGainJobTest, Mp3SingleFileKeepsItsTagsBesideTheTrackValues) {
    const ProgramResult r = RunDistProgram(
        "plimo-job", {"--replaygain", "--title", "Night", "--artist", "Ana", "--year", "1999",
                      (dir / "in/quiet.wav").string(), (dir / "out/q.mp3").string()});
    ASSERT_EQ(r.status, 0) << r.output;
    std::map<std::string, std::string> tags = Tags(dir / "out/q.mp3");
    EXPECT_EQ(tags["TIT2"], "Night");
    EXPECT_EQ(tags["TPE1"], "Ana");
    EXPECT_NEAR(std::atof(tags["TXXX:REPLAYGAIN_TRACK_GAIN"].c_str()),
                -18 - Meter({dir / "in/quiet.wav"}), 0.1);
    // A single file is no album.
    EXPECT_EQ(tags.count("TXXX:REPLAYGAIN_ALBUM_GAIN"), 0u);
    // The version 1 record at the end is still there, after the audio.
    const std::string bytes = ReadFile(dir / "out/q.mp3");
    ASSERT_GT(bytes.size(), 128u);
    EXPECT_EQ(bytes.compare(bytes.size() - 128, 3, "TAG"), 0);
    EXPECT_EQ(bytes.compare(bytes.size() - 125, 5, "Night"), 0);
}

TEST_F(ReplayGainJobTest, Mp3BatchSeveralAtOnceWritesTheBytesAndAlbumOfOneAtATime) {
    WriteFile(dir / "in/mid.wav", WaveWithData(2, 44100, 16, Tone(2, 700, 44100 * 2, 0.5)));
    std::map<std::string, std::string> files[2];
    std::string outputs[2];
    const char* jobs[2] = {"1", "3"};
    for (int i = 0; i < 2; ++i) {
        const sfs::path out = dir / ("out-" + std::string(jobs[i]));
        sfs::create_directory(out);
        FolderWrites writes(out);
        const ProgramResult r = RunDistProgram(
            "plimo-job",
            {"--batch", "--replaygain", "--jobs", jobs[i], (dir / "in").string(), out.string()});
        EXPECT_EQ(r.status, 0) << r.output;
        outputs[i] = r.output;
        // One at a time writes one file at a time. That several at once really run at once,
        // the batch's tests prove with a gate they hold (ParallelBatchTest); a folder watched
        // from outside cannot tell it under load.
        if (i == 0) {
            EXPECT_EQ(writes.MostAtOnce(), 1);
        }
        for (const auto& e : sfs::directory_iterator(out))
            files[i][e.path().filename().string()] = ReadFile(e.path());
    }
    EXPECT_EQ(outputs[0], "MP3 Compression Finished.\n");
    EXPECT_EQ(outputs[1], outputs[0]);
    ASSERT_EQ(files[0].size(), 3u);
    EXPECT_TRUE(files[1] == files[0]);
    // The album's values, as a tag library reads them, are the same in every file and those
    // of the three files played one after the other.
    std::string album;
    for (const char* name : {"loud", "mid", "quiet"}) {
        const std::map<std::string, std::string> tags =
            Tags(dir / "out-3" / (std::string(name) + ".MP3"));
        ASSERT_TRUE(tags.count("TXXX:REPLAYGAIN_ALBUM_GAIN")) << name;
        if (album.empty()) album = tags.at("TXXX:REPLAYGAIN_ALBUM_GAIN");
        EXPECT_EQ(tags.at("TXXX:REPLAYGAIN_ALBUM_GAIN"), album) << name;
        EXPECT_NEAR(std::atof(tags.at("TXXX:REPLAYGAIN_ALBUM_PEAK").c_str()), 0.7, 0.001);
    }
    EXPECT_NEAR(std::atof(album.c_str()),
                -18 - Meter({dir / "in/loud.wav", dir / "in/mid.wav", dir / "in/quiet.wav"}), 0.1);
}

TEST_F(ReplayGainJobTest, WmaBatchGetsTrackAndAlbumValuesAsAttributes) {
    // One file at a time, and both at once: the album's values once both have ended.
    for (const char* jobs : {"2", "1"}) {
        sfs::remove_all(dir / "out");
        sfs::create_directory(dir / "out");
        const ProgramResult r =
            RunDistProgram("plimo-job", {"--wma", "--batch", "--replaygain", "--jobs", jobs,
                                         (dir / "in").string(), (dir / "out").string()});
        ASSERT_EQ(r.status, 0) << r.output;
        ExpectBatchValues(".WMA", "");
    }
    // The FFmpeg prober reads them too, and the file still plays.
    const ProgramResult probe = Shell("ffprobe -v error -show_entries format_tags -of compact " +
                                      Quoted(dir / "out/quiet.WMA"));
    EXPECT_NE(probe.output.find("tag:REPLAYGAIN_ALBUM_GAIN="), std::string::npos) << probe.output;
    EXPECT_EQ(Shell("ffmpeg -v error -i " + Quoted(dir / "out/quiet.WMA") + " -f null -").output,
              "");
}

TEST_F(ReplayGainJobTest, WithoutTheOptionNoValuesAndADecodeRefusesIt) {
    ProgramResult r =
        RunDistProgram("plimo-job", {"--batch", (dir / "in").string(), (dir / "out").string()});
    ASSERT_EQ(r.status, 0) << r.output;
    for (const auto& [name, value] : Tags(dir / "out/loud.MP3"))
        EXPECT_EQ(name.find("REPLAYGAIN"), std::string::npos) << name;
    r = RunDistProgram("plimo-job", {"--decode", "--replaygain", (dir / "out/loud.MP3").string(),
                                     (dir / "back.wav").string()});
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_FALSE(sfs::exists(dir / "back.wav"));
}

}  // namespace
}  // namespace orvane::test
