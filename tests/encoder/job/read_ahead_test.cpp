// Taking a source's items ahead of the job: order, limits, a failure in the middle, and what a
// job that goes early leaves behind; and a CD-style job whose next tracks are read while one is
// encoded.
#include "encoder/job/read_ahead_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

#include "encoder/job/job_runner.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"
#include "tests/encoder/app/job_recorder.h"

namespace orvane::encoder {
namespace {

namespace fs = std::filesystem;

// Tracks 1..count as WAVE files made when taken; the track failed names cannot be read. It
// notes how far it ran ahead of the job (taken minus asked for, as the test tells it).
class Tracks : public InputSource {
public:
    Tracks(std::string folder, int count, int failed)
        : folder_(std::move(folder)), count_(count), failed_(failed) {}
    bool Batch() const override { return true; }
    int Count() const override { return count_; }
    Next Take(JobRunner&) override {
        const int n = ++taken;
        ahead = std::max(ahead.load(), n - asked.load());
        if (n > count_) return {};
        Next next;
        next.item.input = folder_ + "/Track" + std::to_string(n) + ".WAV";
        if (n == failed_) {
            next.step = Step::Failed;
            next.message = "Error: Can't read RAW Audio Data.";
            return next;
        }
        next.item.scratch = std::make_shared<ScratchFiles>();
        next.item.scratch->Add(next.item.input);
        test::WriteFile(next.item.input, test::CanonicalWave(2, 44100, 16, 4000 + 1000 * n));
        next.step = Step::Item;
        return next;
    }

    std::atomic<int> taken{0}, asked{0}, ahead{0};

private:
    std::string folder_;
    int count_, failed_;
};

class ReadAheadTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock::Install(&clk);
        fs::create_symlink(FAKE_CHILD_PATH, progDir / "enc.dll");
        ::setenv("FAKE_MODE", "copy", 1);
    }
    void TearDown() override {
        SetCdTrackSource(nullptr);
        clock::Install(nullptr);
    }
    clock::VirtualClock clk{true};
    test::TempDir progDir, work;
    test::JobRecorder seen;
};

TEST_F(ReadAheadTest, ItemsComeInOrderWithAFailureInTheMiddleAndTheEnd) {
    auto tracks = std::make_unique<Tracks>(work.path().string(), 4, 2);
    Tracks& inner = *tracks;
    ReadAheadLimits limits{2, 0, work.path().string()};
    ReadAheadSource source(std::move(tracks), limits);
    JobRunner runner(JobRequest{}, seen);
    std::vector<InputSource::Step> steps;
    for (int i = 0; i < 5; ++i) {
        ++inner.asked;
        InputSource::Next next = source.Take(runner);
        steps.push_back(next.step);
        if (next.step == InputSource::Step::Item) {
            EXPECT_EQ(next.item.input,
                      (work / ("Track" + std::to_string(i + 1) + ".WAV")).string());
        }
    }
    using S = InputSource::Step;
    EXPECT_EQ(steps, (std::vector<S>{S::Item, S::Failed, S::Item, S::Item, S::End}));
    EXPECT_EQ(source.Take(runner).step, S::End);
    EXPECT_EQ(source.Count(), 4);
    // Never more than two waiting beyond the one asked for.
    EXPECT_LE(inner.ahead, 2);
}

TEST_F(ReadAheadTest, WithoutFreeSpaceOnlyTheItemTheJobWaitsForIsTaken) {
    auto tracks = std::make_unique<Tracks>(work.path().string(), 4, 0);
    Tracks& inner = *tracks;
    ReadAheadLimits limits{4, ~std::uint64_t{0}, work.path().string()};
    ReadAheadSource source(std::move(tracks), limits);
    JobRunner runner(JobRequest{}, seen);
    for (int i = 0; i < 4; ++i) {
        ++inner.asked;
        EXPECT_EQ(source.Take(runner).step, InputSource::Step::Item);
    }
    // At most the next one, taken once the queue ran empty.
    EXPECT_LE(inner.ahead, 1);
}

TEST_F(ReadAheadTest, ItemsLeftWaitingGoWithTheirFiles) {
    auto tracks = std::make_unique<Tracks>(work.path().string(), 3, 0);
    JobRunner runner(JobRequest{}, seen);
    {
        ReadAheadSource source(std::make_unique<Tracks>(work.path().string(), 0, 0),
                               ReadAheadLimits{2, 0, work.path().string()});
        EXPECT_EQ(source.Take(runner).step, InputSource::Step::End);
    }
    {
        ReadAheadSource source(std::move(tracks), ReadAheadLimits{2, 0, work.path().string()});
        InputSource::Next first = source.Take(runner);
        ASSERT_EQ(first.step, InputSource::Step::Item);
        // The job ends here (a cancel): the source goes with what it read ahead.
        runner.RequestCancel();
    }
    for (int n = 2; n <= 3; ++n)
        EXPECT_FALSE(fs::exists(work / ("Track" + std::to_string(n) + ".WAV"))) << n;
}

TEST_F(ReadAheadTest, ACdJobReadingAheadEncodesWhatItWouldOneTrackAtATime) {
    // Track 3 cannot be read while the tracks before it are encoded.
    std::string outputs[2], messages[2];
    std::vector<std::string> failed[2];
    for (int jobs : {1, 2}) {
        const fs::path folder = work / std::to_string(jobs);
        fs::create_directory(folder);
        SetCdTrackSource(
            [&](const JobRequest&) { return std::make_unique<Tracks>(folder.string(), 4, 3); });
        JobRequest r;
        r.kind = JobKind::EncodeMp3;
        r.batch = true;
        r.input = kCdAudioInput;
        r.output = folder.string() + "/";
        r.appFolder = progDir.path().string() + "/";
        r.parallelJobs = jobs;
        test::JobRecorder recorder;
        JobRunner runner(r, recorder);
        runner.Start();
        runner.Wait();
        runner.Stop();
        ASSERT_TRUE(recorder.Outcome());
        messages[jobs - 1] = recorder.Outcome()->message;
        failed[jobs - 1] = test::FailedFiles(*recorder.Outcome());
        for (int n : {1, 2, 4})
            outputs[jobs - 1] += test::ReadFile(folder / ("Track" + std::to_string(n) + ".MP3"));
        EXPECT_FALSE(fs::exists(folder / "Track3.MP3"));
    }
    EXPECT_FALSE(outputs[0].empty());
    EXPECT_EQ(outputs[1], outputs[0]);
    EXPECT_EQ(messages[1], messages[0]);
    EXPECT_EQ(failed[1].size(), 1u);
    EXPECT_NE(messages[1].find("Track3.WAV: Error: Can't read RAW Audio Data."), std::string::npos)
        << messages[1];
}

}  // namespace
}  // namespace orvane::encoder
