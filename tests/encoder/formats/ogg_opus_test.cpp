// The Ogg Opus stream as the field's own tools read it: the headers, the pages, the length to
// the sample, a comment header longer than a page, and a sink that fails.
#include "encoder/formats/ogg_opus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "encoder/formats/opus_job.h"
#include "support/temp_dir.h"

namespace orvane::test {
namespace {

using formats::OggOpusStream;

// A tone on every channel, a different pitch each, at half scale.
std::vector<float> Tone(int channels, std::size_t frames) {
    std::vector<float> pcm(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            pcm[i * channels + c] = 0.5f * static_cast<float>(std::sin(0.01 * (c + 2) * i));
    return pcm;
}

// Writes a stream of the tone in pieces of `piece` frames, ended at `end` frames.
std::string Encode(int channels, std::size_t frames, std::size_t piece, std::int64_t end,
                   OggOpusStream::Settings s = {}) {
    s.channels = channels;
    s.inputRate = 44100;
    s.serial = 1234;
    std::string bytes, error;
    OggOpusStream stream;
    EXPECT_TRUE(stream.Begin(
        s,
        [&](const unsigned char* p, std::size_t n) {
            bytes.append(reinterpret_cast<const char*>(p), n);
            return true;
        },
        error))
        << error;
    const std::vector<float> pcm = Tone(channels, frames);
    for (std::size_t at = 0; at < frames; at += piece) {
        const std::size_t n = std::min(piece, frames - at);
        EXPECT_TRUE(stream.Write(pcm.data() + at * channels, n, error)) << error;
    }
    EXPECT_EQ(stream.framesWritten(), static_cast<std::int64_t>(frames));
    EXPECT_TRUE(stream.End(end, error)) << error;
    return bytes;
}

// The frames the reference decoder gives back, at 48 kHz.
long DecodedFrames(const std::filesystem::path& file, int channels) {
    const ProgramResult r = RunShell("opusdec --quiet --rate 48000 " + ShellQuote(file.string()) +
                                     " - 2>/dev/null | wc -c");
    return std::atol(r.output.c_str()) / (2 * channels);
}

TEST(OggOpusStreamTest, EveryLayoutDecodesToItsLengthAndPassesTheReferenceChecks) {
    TempDir dir;
    struct Case {
        int channels;
        std::size_t frames, piece;
        std::int64_t end;
    } cases[] = {
        {1, 48000 * 3 + 17, 4096, 48000 * 3 + 17},  // pieces across frame ends, pages of 1 s
        {2, 960 * 10, 960, 960 * 10},               // whole frames only
        {6, 12345, 12345, 12345},                   // family 1
        {2, 10000, 333, 9998},                      // a resampler's frame or two too many
        {2, 10000, 10000, 10003},                   // or too few: silence after
        {8, 0, 1, 0},                               // nothing at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels, " + std::to_string(c.frames) +
                     " frames ended at " + std::to_string(c.end));
        const auto file = dir / "out.opus";
        WriteFile(file, Encode(c.channels, c.frames, c.piece, c.end));
        const ProgramResult info = RunShell("opusinfo " + ShellQuote(file.string()));
        EXPECT_EQ(info.status, 0) << info.output;
        EXPECT_EQ(info.output.find("WARNING"), std::string::npos) << info.output;
        EXPECT_NE(info.output.find("Channels: " + std::to_string(c.channels)), std::string::npos)
            << info.output;
        EXPECT_NE(info.output.find("Original sample rate: 44100 Hz"), std::string::npos)
            << info.output;
        EXPECT_EQ(DecodedFrames(file, c.channels), c.end);
        const ProgramResult probe =
            RunShell("ffprobe -v error -show_entries stream=codec_name,channels -of csv=p=0 " +
                     ShellQuote(file.string()));
        EXPECT_EQ(probe.output, "opus," + std::to_string(c.channels) + "\n");
    }
}

TEST(OggOpusStreamTest, ALongCommentHeaderRunsOverPagesAndKeepsItsRoom) {
    TempDir dir;
    OggOpusStream::Settings s;
    s.commentRoom = 512;
    // Longer than one page can hold (255 segments of 255 bytes).
    s.comments = {{"TITLE", "Ünïcödé title"}, {"COMMENT", std::string(200000, 'x')}};
    const std::string bytes = Encode(2, 4800, 4800, 4800, s);
    const auto file = dir / "long.opus";
    WriteFile(file, bytes);
    const ProgramResult r = RunShell(
        "/usr/bin/python3 -c 'import sys, mutagen.oggopus as o; f = o.OggOpus(sys.argv[1]); "
        "print(f[\"title\"][0]); print(len(f[\"comment\"][0])); print(f.info.channels)' " +
        ShellQuote(file.string()));
    EXPECT_EQ(r.output, "Ünïcödé title\n200000\n2\n");
    EXPECT_EQ(DecodedFrames(file, 2), 4800);
    // The room after the comments takes the loudness values in place, as long as they fit.
    std::string error;
    EXPECT_TRUE(formats::RewriteOpusTags(file.string(), {{"R128_TRACK_GAIN", "-512"}}, error))
        << error;
    EXPECT_FALSE(formats::RewriteOpusTags(file.string(),
                                          {{"R128_ALBUM_GAIN", std::string(600, '1')}}, error));
    EXPECT_EQ(ReadFile(file).size(), bytes.size());
    const ProgramResult gain = RunShell(
        "/usr/bin/python3 -c 'import sys, mutagen.oggopus as o; "
        "print(o.OggOpus(sys.argv[1])[\"r128_track_gain\"][0])' " +
        ShellQuote(file.string()));
    EXPECT_EQ(gain.output, "-512\n");
}

TEST(OggOpusStreamTest, ASinkThatFailsStopsTheStream) {
    for (int fail : {0, 1, 3}) {
        SCOPED_TRACE("the sink fails page " + std::to_string(fail));
        OggOpusStream stream;
        OggOpusStream::Settings s;
        int pages = 0;
        std::string error;
        const auto sink = [&](const unsigned char*, std::size_t) { return pages++ != fail; };
        bool ok = stream.Begin(s, sink, error);
        const std::vector<float> pcm = Tone(2, 48000 * 3);
        ok = ok && stream.Write(pcm.data(), 48000 * 3, error);
        ok = ok && stream.End(48000 * 3, error);
        EXPECT_FALSE(ok);
        EXPECT_FALSE(error.empty());
    }
    OggOpusStream stream;
    OggOpusStream::Settings s;
    s.channels = 9;
    std::string error;
    EXPECT_FALSE(stream.Begin(
        s, [](const unsigned char*, std::size_t) { return true; }, error));
    EXPECT_NE(error.find("1 to 8 channels"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvane::test
