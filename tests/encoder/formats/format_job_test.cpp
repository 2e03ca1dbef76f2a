// The in-process encoding jobs' own parts: reading WAVE samples, the tag as Vorbis comments,
// and a FLAC job's end when its disk fills up or the user cancels it mid-file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "encoder/app/job_recorder.h"
#include "encoder/formats/flac_job.h"
#include "encoder/formats/opus_job.h"
#include "encoder/formats/vorbis_tags.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/job_runner.h"
#include "encoder/job/pcm_feed.h"
#include "encoder/job/progress.h"
#include "encoder/wave/pcm_wave.h"
#include "platform/clock/clock.h"
#include "support/full_disk.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::test {
namespace {

namespace sfs = std::filesystem;
using wave::PcmWave;

// A tone of `frames` frames: 16-bit samples of both signs on every channel.
std::string Tone16(int channels, std::uint32_t frames) {
    std::string data;
    for (std::uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            PutLe(data, static_cast<std::uint16_t>(9000 * std::sin(i * 0.05 + c)), 2);
    return WaveWithData(channels, 44100, 16, data);
}

class PcmWaveTest : public ::testing::Test {
protected:
    // Reads the header and every frame of bytes; the reason when the file is refused.
    std::string Read(const std::string& bytes, PcmWave& wave, std::vector<std::int32_t>& all) {
        WriteFile(dir / "in.wav", bytes);
        int fd = ::open((dir / "in.wav").c_str(), O_RDONLY);
        std::string reason = wave::ReadPcmWave(fd, static_cast<std::int64_t>(bytes.size()), wave);
        all.clear();
        std::vector<std::int32_t> part;
        // An odd piece size makes the reads end inside the data.
        for (std::int64_t at = 0; reason.empty() && at < wave.frames; at += 3) {
            EXPECT_GT(wave::ReadFrames(fd, wave, at, 3, part), 0);
            all.insert(all.end(), part.begin(), part.end());
        }
        ::close(fd);
        return reason;
    }
    TempDir dir;
};

TEST_F(PcmWaveTest, SamplesOfEveryDepthBecomeSignedValues) {
    PcmWave w;
    std::vector<std::int32_t> s;
    // 8-bit samples are unsigned around 128.
    ASSERT_EQ(Read(WaveWithData(1, 8000, 8, std::string("\x00\x80\xff\x7f\x81", 5)), w, s), "");
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.frames, 5);
    EXPECT_EQ(s, (std::vector<std::int32_t>{-128, 0, 127, -1, 1}));
    // 24-bit samples keep their sign; a partial last frame is not a frame.
    ASSERT_EQ(
        Read(WaveWithData(2, 48000, 24, std::string("\x01\x00\x80\xff\xff\x7f\x05", 7)), w, s), "");
    EXPECT_EQ(w.frames, 1);
    EXPECT_EQ(s, (std::vector<std::int32_t>{-8388607, 8388607}));
    // 16-bit, with an odd number of frames.
    ASSERT_EQ(
        Read(WaveWithData(2, 44100, 16,
                          std::string("\x00\x80\xff\x7f\x02\x00\xfe\xff\x03\x00\x04\x00", 12)),
             w, s),
        "");
    EXPECT_EQ(s, (std::vector<std::int32_t>{-32768, 32767, 2, -2, 3, 4}));
}

TEST_F(PcmWaveTest, ChunkLayoutsAndDataSizesAsTheMp3JobReadsThem) {
    PcmWave w;
    std::vector<std::int32_t> s;
    // A data size of 0 (a recording never finished) and one past the end read to the end.
    std::string wave = Tone16(2, 10);
    for (std::uint32_t declared : {0u, 0x7FFFFFF0u}) {
        std::string bytes = wave;
        for (int i = 0; i < 4; ++i)
            bytes[40 + static_cast<std::size_t>(i)] =
                static_cast<char>((declared >> (8 * i)) & 0xFF);
        ASSERT_EQ(Read(bytes, w, s), "");
        EXPECT_EQ(w.frames, 10) << declared;
    }
    // A chunk before the format and an extensible PCM format with its sub-format.
    std::string ext = "RIFF....WAVE";
    ext += std::string(
        "LIST\x03\x00\x00\x00"
        "abc\x00",
        12);  // odd size, padded
    ext += std::string("fmt \x28\x00\x00\x00", 8);
    PutLe(ext, 0xFFFE, 2), PutLe(ext, 1, 2), PutLe(ext, 22050, 4), PutLe(ext, 44100, 4);
    PutLe(ext, 2, 2), PutLe(ext, 16, 2), PutLe(ext, 22, 2), PutLe(ext, 16, 2), PutLe(ext, 4, 4);
    PutLe(ext, 1, 2);
    ext += std::string(14, '\x10');
    ext += std::string("data\x04\x00\x00\x00\x10\x00\xf0\xff", 12);
    ASSERT_EQ(Read(ext, w, s), "");
    EXPECT_EQ(w.sampleRate, 22050u);
    EXPECT_EQ(s, (std::vector<std::int32_t>{16, -16}));
}

TEST_F(PcmWaveTest, WhatCannotBeReadIsRefusedWithItsReason) {
    PcmWave w;
    std::vector<std::int32_t> s;
    std::string wave = Tone16(2, 4);
    auto patched = [&](std::size_t at, std::uint32_t value, int bytes) {
        std::string b = wave;
        for (int i = 0; i < bytes; ++i)
            b[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
        return b;
    };
    EXPECT_EQ(Read("RIFX", w, s), "Error: Input file is not a WAV");
    EXPECT_EQ(Read(patched(20, 3, 2), w, s), "Error: The WAV file is not PCM (format 3)");
    EXPECT_EQ(Read(patched(22, 0, 2), w, s), "Error: The WAV file names no channels");
    EXPECT_EQ(Read(patched(24, 0, 4), w, s), "Error: The WAV file names no sample rate");
    EXPECT_NE(Read(patched(34, 12, 2), w, s).find("12-bit WAV files are not supported"),
              std::string::npos);
    EXPECT_EQ(Read(wave.substr(0, 36), w, s), "Error: The WAV file has no samples");
}

TEST(VorbisTagsTest, FullTextsWinOverTheRecordAndEveryKnownFieldIsAComment) {
    encoder::GenreList genres;
    encoder::FillGenreList(genres);
    encoder::Id3Tag tag;
    tag.SetMarker();
    tag.SetTitle("A title the record cuts at thirty bytes");
    tag.SetArtist("Band");
    tag.SetYear("1999");
    tag.SetGenre(17);
    tags::TrackTags full;
    full.Set(tags::TagField::Title, "A title the record cuts at thirty bytes, whole \xc3\xa9");
    full.Set(tags::TagField::AlbumArtist, "Various");
    full.Set(tags::TagField::DiscNumber, "2");
    full.Set(tags::TagField::DiscTotal, "3");
    full.Set(tags::TagField::Isrc, "USRC17607839");
    EXPECT_EQ(formats::CommentsOfTag(formats::FieldsOfItem(full, tag, 4)),
              (formats::VorbisComments{
                  {"TITLE", "A title the record cuts at thirty bytes, whole \xc3\xa9"},
                  {"ARTIST", "Band"},
                  {"ALBUMARTIST", "Various"},
                  {"DATE", "1999"},
                  {"TRACKNUMBER", "4"},
                  {"DISCNUMBER", "2"},
                  {"DISCTOTAL", "3"},
                  {"GENRE", genres[17]},
                  {"ISRC", "USRC17607839"}}));
    // The full texts' own track number and genre win; no genre (255) and no number: none.
    full.Set(tags::TagField::TrackNumber, "9");
    EXPECT_EQ(formats::FieldsOfItem(full, tag, 4).Get(tags::TagField::TrackNumber), "9");
    tag.SetGenre(255);
    tags::TrackTags fields = formats::FieldsOfItem({}, tag, 0);
    EXPECT_FALSE(fields.Has(tags::TagField::Genre));
    EXPECT_FALSE(fields.Has(tags::TagField::TrackNumber));
    EXPECT_EQ(formats::CommentsOfTag(fields).size(), 3u);
}

using test::FullDisk;

// Writes as asked, and cancels the job (as its window's Cancel does) at the second write to the
// output of b.wav (whose temporary file is named after it).
class CancelWhileWriting : public fs::FileOps {
public:
    ssize_t Write(int fd, const void* data, std::size_t bytes, off_t offset) override {
        char target[4096] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        if (::readlink(link.c_str(), target, sizeof target - 1) > 0 &&
            std::string(target).find("/out/.b.") != std::string::npos && ++writesOfB_ == 2 &&
            runner.load())
            runner.load()->Cancel();
        return FileOps::Write(fd, data, bytes, offset);
    }
    std::atomic<encoder::JobRunner*> runner{nullptr};

private:
    std::atomic<int> writesOfB_{0};
};

// The in-process jobs, each with its kind and the extension of its files.
struct Format {
    encoder::JobKind kind;
    std::unique_ptr<encoder::Job> (*make)(fs::FileOps*);
    const char* extension;
};
const Format kFormats[] = {{encoder::JobKind::EncodeFlac, &formats::MakeFlacJob, ".FLAC"},
                           {encoder::JobKind::EncodeOpus, &formats::MakeOpusJob, ".OPUS"}};

class FormatJobTest : public ::testing::TestWithParam<Format> {
protected:
    FormatJobTest() {
        sfs::create_directory(dir / "in");
        sfs::create_directory(dir / "out");
        request.kind = GetParam().kind;
        request.batch = true;
        request.input = (dir / "in").string();
        request.output = (dir / "out").string();
        WriteFile(dir / "in/a.wav", Tone16(2, 4410));
        WriteFile(dir / "in/b.wav", Tone16(2, 44100 * 10));
    }
    ~FormatJobTest() override {
        encoder::RegisterKind(GetParam().kind, nullptr, encoder::KindEntry(GetParam().kind).batch);
    }

    std::string Out(const std::string& stem) { return stem + GetParam().extension; }

    encoder::JobOutcome Run(fs::FileOps* ops, CancelWhileWriting* canceller = nullptr) {
        auto make = GetParam().make;
        encoder::RegisterKind(
            GetParam().kind, [ops, make](const encoder::JobRequest&) { return make(ops); },
            encoder::KindEntry(GetParam().kind).batch);
        encoder::JobRunner runner(request, recorder);
        if (canceller) canceller->runner = &runner;
        runner.Start();
        EXPECT_TRUE(recorder.WaitEnd());
        runner.Stop();
        return recorder.Outcome().value_or(encoder::JobOutcome{});
    }
    std::vector<std::string> Files() {
        std::vector<std::string> names;
        for (const auto& e : sfs::directory_iterator(dir / "out"))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    encoder::JobRequest request;
    JobRecorder recorder;
};

TEST_P(FormatJobTest, AFullDiskFailsTheFileWithItsReasonAndLeavesNoPartOfIt) {
    // The first file fits; the second does not. An older file of its name stays as it was.
    WriteFile(dir / "out" / Out("b"), "older");
    FullDisk disk(30000);
    encoder::JobOutcome outcome = Run(&disk);
    EXPECT_EQ(outcome.result, encoder::JobResult::Failed);
    EXPECT_EQ(outcome.message,
              "Error: 1 of 2 files could not be encoded:\nb.wav: Error: Cannot write " +
                  (dir / "out" / Out("b")).string() + ": No space left on device");
    EXPECT_EQ(Files(), (std::vector<std::string>{Out("a"), Out("b")}));
    EXPECT_TRUE(ReadFile(dir / "out" / Out("b")) == "older");
    EXPECT_GT(sfs::file_size(dir / "out" / Out("a")), 2000u);
    // The overall bar counts the one file done, not both.
    EXPECT_EQ(recorder.Range(encoder::JobBar::Overall), std::make_pair(0, 200));
    EXPECT_EQ(recorder.Pos(encoder::JobBar::Overall), 100);
}

TEST_P(FormatJobTest, ACancelInsideAFileEndsTheJobWithoutThatFile) {
    // The first file is kept, nothing of the second is left.
    CancelWhileWriting cancel;
    encoder::JobOutcome outcome = Run(&cancel, &cancel);
    EXPECT_EQ(outcome.result, encoder::JobResult::Cancelled);
    EXPECT_EQ(outcome.message, "Current Process was Canceled.");
    EXPECT_TRUE(recorder.Closes().empty());
    EXPECT_EQ(Files(), (std::vector<std::string>{Out("a")}));
}

// The samples of Tone16 as a decoder would hand them over: in pieces of odd sizes, broken
// after `breakAt` frames when that is not negative.
class ToneFeed : public encoder::PcmFeed {
public:
    ToneFeed(std::uint32_t frames, long breakAt) : breakAt_(breakAt) {
        const std::string wave = Tone16(2, frames);
        for (std::size_t at = 44; at + 1 < wave.size(); at += 2)
            samples_.push_back(
                static_cast<std::int16_t>(static_cast<unsigned char>(wave[at]) |
                                          static_cast<unsigned char>(wave[at + 1]) << 8));
    }
    wave::PcmWave Format() const override {
        wave::PcmWave w;
        w.channels = 2;
        w.sampleRate = 44100;
        w.bits = 16;
        w.frames = static_cast<std::int64_t>(samples_.size() / 2) + 1000;  // an estimate
        return w;
    }
    long Read(std::size_t frames, std::vector<std::int32_t>& out, std::string& error) override {
        out.clear();
        if (breakAt_ >= 0 && at_ >= static_cast<std::size_t>(breakAt_) * 2) {
            error = "the decoder broke";
            return -1;
        }
        const std::size_t n = std::min({frames, std::size_t{777}, (samples_.size() - at_) / 2});
        out.assign(samples_.begin() + static_cast<std::ptrdiff_t>(at_),
                   samples_.begin() + static_cast<std::ptrdiff_t>(at_ + 2 * n));
        at_ += 2 * n;
        return static_cast<long>(n);
    }

private:
    std::vector<std::int32_t> samples_;
    std::size_t at_ = 0;
    long breakAt_;
};

TEST_P(FormatJobTest, AFedFileHoldsWhatItsWaveFileWouldAndABrokenFeedLeavesNothing) {
    encoder::RegisterKind(
        GetParam().kind, [](const encoder::JobRequest&) { return GetParam().make(nullptr); },
        encoder::KindEntry(GetParam().kind).batch);
    auto run = [&](const std::string& stem, std::shared_ptr<encoder::PcmFeed> feed) {
        encoder::JobRequest single = request;
        single.batch = false;
        single.input = (dir / "in/a.wav").string();
        single.output = (dir / "out" / Out(stem)).string();
        single.feed = std::move(feed);
        JobRecorder seen;
        encoder::JobRunner runner(single, seen);
        runner.Start();
        EXPECT_TRUE(seen.WaitEnd());
        runner.Stop();
        return seen.Outcome().value_or(encoder::JobOutcome{});
    };
    auto decoded = [&](const std::string& stem) {
        return RunShell("ffmpeg -v quiet -i '" + (dir / "out" / Out(stem)).string() +
                        "' -f s16le -ar 44100 -")
            .output;
    };
    // The same samples from the WAVE file and from a feed decode alike, to the input's length.
    ASSERT_EQ(run("file", nullptr).result, encoder::JobResult::Succeeded);
    ASSERT_EQ(run("fed", std::make_shared<ToneFeed>(4410, -1)).result,
              encoder::JobResult::Succeeded);
    const std::string file = decoded("file"), fed = decoded("fed");
    EXPECT_EQ(fed.size(), 4410u * 4);
    EXPECT_TRUE(fed == file);
    // Broken midway: the job fails with the feed's reason, and no part of the file is left.
    encoder::JobOutcome outcome = run("broken", std::make_shared<ToneFeed>(44100, 30000));
    EXPECT_EQ(outcome.result, encoder::JobResult::Failed);
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures.front().reason, "Error: the decoder broke");
    EXPECT_EQ(Files(), (std::vector<std::string>{Out("fed"), Out("file")}));
}

// Each step of the current file's bar takes a second of virtual time; the remaining times
// shown are kept.
class TimedRecorder : public JobRecorder {
public:
    explicit TimedRecorder(clock::VirtualClock& c) : clock_(c) {}
    void JobSetPos(encoder::JobBar bar, int pos) override {
        if (bar == encoder::JobBar::CurrentFile) clock_.Advance(1000);
        JobRecorder::JobSetPos(bar, pos);
    }
    void JobSetText(encoder::JobText which, const std::string& text) override {
        if (which == encoder::JobText::Remaining) {
            std::lock_guard l(m_);
            remaining_.push_back(text);
        }
        JobRecorder::JobSetText(which, text);
    }
    std::vector<std::string> Remaining() {
        std::lock_guard l(m_);
        return remaining_;
    }

private:
    clock::VirtualClock& clock_;
    std::mutex m_;
    std::vector<std::string> remaining_;
};

TEST_P(FormatJobTest, TheStatusWindowShowsTimesAndRateAsForMp3) {
    clock::VirtualClock virtualClock;
    clock::Install(&virtualClock);
    TimedRecorder timed(virtualClock);
    auto make = GetParam().make;
    encoder::RegisterKind(
        GetParam().kind, [make](const encoder::JobRequest&) { return make(nullptr); },
        encoder::KindEntry(GetParam().kind).batch);
    request.formats.opusKbps = 96;
    {
        encoder::JobRunner runner(request, timed);
        runner.Start();
        EXPECT_TRUE(timed.WaitEnd());
        runner.Stop();
    }
    clock::Install(nullptr);
    ASSERT_EQ(timed.Outcome().value_or(encoder::JobOutcome{}).result,
              encoder::JobResult::Succeeded);
    // Every step of the bars was a second: the elapsed time is the job's, less the steps of
    // the bars after the last count (the last chunk's and the job's full bars).
    const std::int64_t seconds = static_cast<std::int64_t>(virtualClock.NowMs() / 1000);
    EXPECT_EQ(timed.Text(encoder::JobText::Elapsed), encoder::ElapsedText(seconds - 2));
    EXPECT_GT(seconds, 10);
    // The ten-second file is 379 frames of the MP3 job's count (441000 frames of 4 bytes).
    const std::string rate = timed.Text(encoder::JobText::Rate);
    ASSERT_EQ(rate.rfind(" [", 0), 0u) << rate;
    EXPECT_EQ(rate.substr(rate.find(']')), "] Frames / second. ");
    const int fps = std::atoi(rate.c_str() + 2);
    EXPECT_GT(fps, 0);
    EXPECT_LT(fps, 379);
    EXPECT_EQ(timed.Text(encoder::JobText::Remaining), "00:00:00");
    EXPECT_EQ(timed.Text(encoder::JobText::Bitrate),
              GetParam().kind == encoder::JobKind::EncodeOpus ? "96 Kbps" : "N/A");
    // The sizes are those of the last file: its samples read and the file written of them.
    char sizes[96];
    std::snprintf(sizes, sizeof sizes, " %dMB Compressed to %.1fMB ", 1764000 / 1048576,
                  static_cast<double>(sfs::file_size(dir / "out" / Out("b"))) / 1048576.0);
    EXPECT_EQ(timed.Text(encoder::JobText::Compression), sizes);
    // While the long file was on its way, the time left was counted down.
    const std::vector<std::string> remaining = timed.Remaining();
    EXPECT_GT(std::count_if(remaining.begin(), remaining.end(),
                            [](const std::string& t) { return t > "00:00:05"; }),
              0)
        << ::testing::PrintToString(remaining);
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatJobTest, ::testing::ValuesIn(kFormats),
                         [](const auto& p) { return std::string(p.param.extension + 1); });

// An Ogg Opus comment header keeps its length: what does not fit is refused and the file is
// left as it was.
TEST(OpusTagsTest, CommentsThatDoNotFitTheHeaderLeaveTheFileAlone) {
    TempDir dir;
    encoder::JobRequest request;
    request.input = (dir / "in.wav").string();
    request.output = (dir / "out.opus").string();
    request.kind = encoder::JobKind::EncodeOpus;
    WriteFile(dir / "in.wav", Tone16(1, 4800));
    formats::RegisterOpusJob();
    JobRecorder recorder;
    {
        encoder::JobRunner runner(request, recorder);
        runner.Start();
        ASSERT_TRUE(recorder.WaitEnd());
        runner.Stop();
    }
    encoder::RegisterKind(encoder::JobKind::EncodeOpus, nullptr,
                          encoder::KindEntry(encoder::JobKind::EncodeOpus).batch);
    const std::string before = ReadFile(dir / "out.opus");
    ASSERT_GT(before.size(), 100u);
    std::string error;
    EXPECT_FALSE(formats::RewriteOpusTags((dir / "out.opus").string(),
                                          {{"COMMENT", std::string(2000, 'x')}}, error));
    EXPECT_NE(error.find("do not fit"), std::string::npos) << error;
    EXPECT_TRUE(ReadFile(dir / "out.opus") == before);
    // What fits replaces a comment of the same name, whatever its case.
    ASSERT_TRUE(
        formats::RewriteOpusTags((dir / "out.opus").string(), {{"r128_track_gain", "1"}}, error));
    ASSERT_TRUE(
        formats::RewriteOpusTags((dir / "out.opus").string(), {{"R128_TRACK_GAIN", "-2"}}, error));
    const std::string after = ReadFile(dir / "out.opus");
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(after.find("r128_track_gain=1"), std::string::npos);
    EXPECT_NE(after.find("R128_TRACK_GAIN=-2"), std::string::npos);
}

// A front picture makes the comment header span many pages, far beyond its first mebibyte: the
// loudness values still go into it.
TEST(OpusTagsTest, AHeaderHoldingAPictureIsRewrittenWhole) {
    TempDir dir;
    encoder::JobRequest request;
    request.input = (dir / "in.wav").string();
    request.output = (dir / "out.opus").string();
    request.kind = encoder::JobKind::EncodeOpus;
    request.singleFileTag = true;
    request.fullTags.resize(2);
    auto picture = std::make_shared<tags::Picture>();
    picture->mime = "image/png";
    picture->bytes.assign(3u << 20, 0x5A);
    request.fullTags[1].SetFrontPicture(picture);
    WriteFile(dir / "in.wav", Tone16(1, 4800));
    formats::RegisterOpusJob();
    JobRecorder recorder;
    {
        encoder::JobRunner runner(request, recorder);
        runner.Start();
        ASSERT_TRUE(recorder.WaitEnd());
        runner.Stop();
    }
    encoder::RegisterKind(encoder::JobKind::EncodeOpus, nullptr,
                          encoder::KindEntry(encoder::JobKind::EncodeOpus).batch);
    const std::string before = ReadFile(dir / "out.opus");
    ASSERT_GT(before.size(), 4u << 20);
    std::string error;
    ASSERT_TRUE(
        formats::RewriteOpusTags((dir / "out.opus").string(), {{"R128_TRACK_GAIN", "-2"}}, error))
        << error;
    const std::string after = ReadFile(dir / "out.opus");
    EXPECT_EQ(after.size(), before.size());
    EXPECT_NE(after.find("R128_TRACK_GAIN=-2"), std::string::npos);
    EXPECT_NE(after.find("METADATA_BLOCK_PICTURE="), std::string::npos);
}

}  // namespace
}  // namespace orvane::test
