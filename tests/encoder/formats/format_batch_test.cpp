// FLAC and Opus folder batches that run several files at once: the same files, log and final
// report as one file after the other, the album's loudness over the files written, and a
// cancel that leaves no part of a file.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>

#include "encoder/app/files_at_once.h"
#include "encoder/app/job_recorder.h"
#include "encoder/formats/flac_job.h"
#include "encoder/formats/opus_job.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/job_runner.h"
#include "support/folder_writes.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::test {
namespace {

namespace sfs = std::filesystem;

// A stereo tone of `frames` frames at amplitude (full scale 1.0), 16-bit.
std::string Tone(std::uint32_t frames, double amplitude, double hz) {
    std::string data;
    for (std::uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c)
            PutLe(data,
                  static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(
                      amplitude * 32767 * std::sin(2 * M_PI * hz * (c + 1) * i / 44100)))),
                  2);
    return WaveWithData(2, 44100, 16, data);
}

// An Ogg file with every page's stream serial number and checksum cleared: each stream gets a
// serial number of its own at random, so only the rest can match between two runs.
std::string WithoutSerials(std::string ogg) {
    for (std::size_t at = 0; at + 27 <= ogg.size() && ogg.compare(at, 4, "OggS") == 0;) {
        const std::size_t segments = static_cast<unsigned char>(ogg[at + 26]);
        std::size_t size = 27 + segments;
        for (std::size_t i = 0; i < segments && at + 27 + i < ogg.size(); ++i)
            size += static_cast<unsigned char>(ogg[at + 27 + i]);
        for (std::size_t i : {14, 15, 16, 17, 22, 23, 24, 25})
            ogg[at + i] = 0;
        at += size;
    }
    return ogg;
}

struct Kind {
    encoder::JobKind kind;
    const char* extension;
    const char* albumGain;  // the comment of the album's loudness
};
const Kind kKinds[] = {{encoder::JobKind::EncodeFlac, ".FLAC", "REPLAYGAIN_ALBUM_GAIN="},
                       {encoder::JobKind::EncodeOpus, ".OPUS", "R128_ALBUM_GAIN="}};

class FormatBatchTest : public ::testing::TestWithParam<Kind> {
protected:
    FormatBatchTest() {
        formats::RegisterFlacJob();
        formats::RegisterOpusJob();
        sfs::create_directory(dir / "in");
        sfs::create_directory(dir / "out");
        // Different lengths and loudness, so the files end out of order and the album's value
        // is no file's own; c.wav is no WAVE file.
        WriteFile(dir / "in/a.wav", Tone(44100 * 2, 0.8, 440));
        WriteFile(dir / "in/b.wav", Tone(44100 / 2, 0.2, 300));
        WriteFile(dir / "in/c.wav", std::string(5000, 'x'));
        WriteFile(dir / "in/d.wav", Tone(44100, 0.5, 1000));
        WriteFile(dir / "in/e.wav", Tone(44100 * 3 / 2, 0.05, 200));
    }
    ~FormatBatchTest() override {
        encoder::RegisterKind(encoder::JobKind::EncodeFlac, nullptr,
                              encoder::KindEntry(encoder::JobKind::EncodeFlac).batch);
        encoder::RegisterKind(encoder::JobKind::EncodeOpus, nullptr,
                              encoder::KindEntry(encoder::JobKind::EncodeOpus).batch);
    }

    encoder::JobRequest Batch(int jobs) {
        encoder::JobRequest r;
        r.kind = GetParam().kind;
        r.batch = true;
        r.input = (dir / "in").string();
        r.output = (dir / "out").string();
        r.formats.replayGain = true;
        r.formats.verify = true;
        r.parallelJobs = jobs;
        return r;
    }
    encoder::JobOutcome Run(const encoder::JobRequest& r, JobRecorder& seen) {
        encoder::JobRunner runner(r, seen);
        runner.Start();
        EXPECT_TRUE(seen.WaitEnd());
        runner.Stop();
        return seen.Outcome().value_or(encoder::JobOutcome{});
    }
    // The output folder's files, and empties it.
    std::map<std::string, std::string> TakeOutputs() {
        std::map<std::string, std::string> files;
        for (const auto& e : sfs::directory_iterator(dir / "out"))
            files[e.path().filename().string()] = WithoutSerials(ReadFile(e.path()));
        sfs::remove_all(dir / "out");
        sfs::create_directory(dir / "out");
        return files;
    }

    TempDir dir;
};

TEST_P(FormatBatchTest, SeveralAtOnceWriteWhatOneAtATimeWritesWithTheAlbumsLoudness) {
    JobRecorder one, three;
    FolderWrites oneAtATime(dir / "out");
    const encoder::JobOutcome sequential = Run(Batch(1), one);
    EXPECT_EQ(oneAtATime.MostAtOnce(), 1);
    const auto expected = TakeOutputs();
    // The album's loudness does not hold the files back to one at a time: three files have
    // done their work before any of them ends.
    const bool flac = GetParam().kind == encoder::JobKind::EncodeFlac;
    FilesAtOnce gate(GetParam().kind, 3,
                     [flac] { return flac ? formats::MakeFlacJob() : formats::MakeOpusJob(); });
    const encoder::JobOutcome parallel = Run(Batch(3), three);
    EXPECT_TRUE(gate.Filled());
    const auto written = TakeOutputs();
    ASSERT_EQ(written.size(), expected.size());
    for (const auto& [name, bytes] : expected)
        EXPECT_TRUE(written.count(name) && written.at(name) == bytes) << name;

    ASSERT_EQ(expected.size(), 4u);
    for (const auto& [name, bytes] : expected)
        EXPECT_NE(bytes.find(GetParam().albumGain), std::string::npos) << name;
    EXPECT_EQ(parallel.result, encoder::JobResult::Failed);
    EXPECT_EQ(parallel.message, sequential.message);
    EXPECT_EQ(parallel.message,
              "Error: 1 of 5 files could not be encoded:\nc.wav: Error: Input "
              "file is not a WAV");
    EXPECT_EQ(test::FailedFiles(parallel), test::FailedFiles(sequential));
    // The log holds every file's lines in the folder's order, then the album's.
    const std::string log = three.Text(encoder::JobText::Log);
    EXPECT_EQ(log, one.Text(encoder::JobText::Log));
    EXPECT_NE(log.find("Album gain "), std::string::npos);
    EXPECT_LT(log.find("Encoding " + (dir / "in/a.wav").string()),
              log.find("Encoding " + (dir / "in/e.wav").string()));
}

TEST_P(FormatBatchTest, ACancelEndsEveryFileAndLeavesNoPartOfOne) {
    JobRecorder seen;
    encoder::JobRunner runner(Batch(4), seen);
    runner.Start();
    ASSERT_TRUE(seen.WaitLog("Encoding "));
    runner.Cancel();
    EXPECT_TRUE(seen.WaitEnd());
    runner.Stop();
    ASSERT_TRUE(seen.Outcome());
    EXPECT_EQ(seen.Outcome()->result, encoder::JobResult::Cancelled);
    EXPECT_EQ(seen.Outcome()->message, "Current Process was Canceled.");
    // Whole files only: every file left in the folder is a whole one of its kind's name.
    for (const auto& e : sfs::directory_iterator(dir / "out")) {
        const std::string name = e.path().filename().string();
        EXPECT_NE(name[0], '.') << name;
        EXPECT_EQ(e.path().extension(), GetParam().extension) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatBatchTest, ::testing::ValuesIn(kKinds),
                         [](const auto& p) { return std::string(p.param.extension + 1); });

}  // namespace
}  // namespace orvane::test
