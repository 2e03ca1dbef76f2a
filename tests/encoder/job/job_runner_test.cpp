// The job interface without a window: a recording observer sees a job's reports and its end;
// the input sources and the seam a CD source plugs into.
#include "encoder/job/job_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "encoder/job/input_source.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/progress.h"
#include "encoder/mp3/child_job.h"
#include "encoder/mp3/mp3_jobs.h"
#include "platform/clock/clock.h"
#include "support/pause_log.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"
#include "tests/encoder/app/job_recorder.h"

namespace orvane::encoder {
namespace {

namespace fs = std::filesystem;

using Recorder = test::JobRecorder;

class JobRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock::Install(&clk);
        fs::create_symlink(FAKE_CHILD_PATH, progDir / "enc.dll");
        fs::create_symlink(FAKE_CHILD_PATH, progDir / "dec.dll");
        ::setenv("FAKE_MODE", "copy", 1);
    }
    void TearDown() override {
        SetCdTrackSource(nullptr);
        clock::Install(nullptr);
    }
    JobRequest Request(JobKind kind, const std::string& in, const std::string& out) {
        JobRequest r;
        r.kind = kind;
        r.input = in;
        r.output = out;
        r.appFolder = progDir.path().string() + "/";
        return r;
    }

    clock::VirtualClock clk{true};
    test::TempDir progDir, work;
    Recorder seen;
};

TEST_F(JobRunnerTest, ADecodeReportsToAnObserverWithoutAnyWindow) {
    test::WriteFile(work / "in.mp3", std::string(30000, 'm'));
    JobRunner runner(
        Request(JobKind::Decode, (work / "in.mp3").string(), (work / "out.wav").string()), seen);
    runner.Start();
    runner.Wait();
    ASSERT_TRUE(seen.Outcome());
    EXPECT_EQ(seen.Outcome()->message, "Decoding finished");
    EXPECT_EQ(seen.Outcome()->result, JobResult::Succeeded);
    EXPECT_EQ(runner.Outcome().result, JobResult::Succeeded);
    EXPECT_EQ(test::ReadFile(work / "out.wav"), std::string(30000, 'm'));
    EXPECT_EQ(seen.Text(JobText::Bitrate), "N/A");
    EXPECT_EQ(seen.Range(JobBar::Overall), std::make_pair(0, 100));
    EXPECT_EQ(seen.Pos(JobBar::Overall), 100);
    EXPECT_FALSE(runner.Busy());
}

// The bars of one file only ever rise and end full; the frame counters and the sizes end at
// what was fed, not at nothing once the input is closed while the child's output is drained.
TEST_F(JobRunnerTest, TheBarsOfAnEncodeRiseToTheEndWithoutFallingBack) {
    test::WriteFile(work / "in.wav", test::CanonicalWave(2, 44100, 16, 2000000));
    JobRunner runner(
        Request(JobKind::EncodeMp3, (work / "in.wav").string(), (work / "out.mp3").string()), seen);
    runner.Start();
    runner.Wait();
    ASSERT_TRUE(seen.Outcome());
    EXPECT_EQ(seen.Outcome()->result, JobResult::Succeeded);
    for (JobBar bar : {JobBar::CurrentFile, JobBar::Overall}) {
        const std::vector<int> percents = seen.Percents(bar);
        ASSERT_GT(percents.size(), 10u);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()))
            << ::testing::PrintToString(percents);
        EXPECT_EQ(percents.back(), 100);
    }
    // 2,000,044 bytes: 434 frames of the count, 430 of them done at the end of the feed.
    EXPECT_EQ(seen.Counter(JobCounter::Frames), 434);
    EXPECT_EQ(seen.Counter(JobCounter::CurrentFrame), 430);
    EXPECT_EQ(seen.Text(JobText::Compression), CompressionText(2000000, 320, true));
    EXPECT_EQ(seen.Text(JobText::Remaining), "00:00:00");
}

TEST_F(JobRunnerTest, FolderScanFollowsTheFolderAsItChanges) {
    fs::create_directory(work / "in");
    test::WriteFile(work / "in/b.WAV", "b");
    test::WriteFile(work / "in/A.wav", "a");
    test::WriteFile(work / "in/c.mp3", "c");
    JobRunner runner(JobRequest{}, seen);
    FolderSource source((work / "in").string() + "/", "*.WAV");
    InputSource::Next first = source.Take(runner);
    ASSERT_EQ(first.step, InputSource::Step::Item);
    EXPECT_EQ(first.item.input, (work / "in/A.wav").string());
    EXPECT_EQ(source.Count(), 2);
    // A file that arrives meanwhile is counted, though the scan keeps its first listing.
    test::WriteFile(work / "in/d.wav", "d");
    InputSource::Next second = source.Take(runner);
    EXPECT_EQ(second.item.input, (work / "in/b.WAV").string());
    EXPECT_EQ(source.Count(), 3);
    EXPECT_EQ(source.Take(runner).step, InputSource::Step::End);
}

TEST_F(JobRunnerTest, SingleFileSourceCarriesTheRequestsTag) {
    JobRequest r = Request(JobKind::EncodeMp3, "/a/in.wav", "/a/out.mp3");
    r.singleFileTag = true;
    r.tags[1].SetTitle("Mine");
    std::unique_ptr<InputSource> source = MakeInputSource(r, "*.WAV");
    JobRunner runner(r, seen);
    EXPECT_FALSE(source->Batch());
    InputSource::Next next = source->Take(runner);
    EXPECT_EQ(next.item.input, "/a/in.wav");
    EXPECT_EQ(next.item.output, "/a/out.mp3");
    EXPECT_TRUE(next.item.tagged);
    EXPECT_EQ(next.item.tag.Title(), "Mine");
    EXPECT_EQ(source->Take(runner).step, InputSource::Step::End);
    // A CD request without a CD source has no tracks.
    r.batch = true;
    r.input = kCdAudioInput;
    std::unique_ptr<InputSource> cd = MakeInputSource(r, "*.WAV");
    EXPECT_EQ(cd->Take(runner).step, InputSource::Step::End);
    EXPECT_EQ(cd->Count(), 0);
}

// A CD source whose second track cannot be read, or whose reading the user stops.
class ScriptedTracks : public InputSource {
public:
    ScriptedTracks(std::string folder, Step second) : folder_(std::move(folder)), second_(second) {}
    bool Batch() const override { return true; }
    int Count() const override { return 3; }
    Next Take(JobRunner&) override {
        ++taken_;
        if (taken_ > 3) return {};
        Next n;
        n.item.input = folder_ + "/Track" + std::to_string(taken_) + ".WAV";
        if (taken_ == 2 && second_ != Step::Item) {
            n.step = second_;
            n.message = second_ == Step::Cancelled ? "" : "Error: Can't read RAW Audio Data.";
            return n;
        }
        test::WriteFile(n.item.input, test::CanonicalWave(2, 44100, 16, 2000));
        n.step = Step::Item;
        n.item.deleteInput = true;
        return n;
    }

private:
    std::string folder_;
    Step second_;
    int taken_ = 0;
};

TEST_F(JobRunnerTest, ATrackThatCannotBeReadIsNamedAndTheOthersAreEncoded) {
    std::string folder = work.path().string();
    SetCdTrackSource([&](const JobRequest&) {
        return std::make_unique<ScriptedTracks>(folder, InputSource::Step::Failed);
    });
    JobRequest r = Request(JobKind::EncodeMp3, kCdAudioInput, folder + "/");
    r.batch = true;
    JobRunner runner(r, seen);
    runner.Start();
    runner.Wait();
    EXPECT_TRUE(fs::exists(work / "Track1.MP3"));
    EXPECT_FALSE(fs::exists(work / "Track1.WAV"));  // deleted once encoded
    EXPECT_TRUE(fs::exists(work / "Track3.MP3"));
    ASSERT_TRUE(seen.Outcome());
    EXPECT_EQ(seen.Outcome()->result, JobResult::Failed);
    EXPECT_EQ(test::FailedFiles(*seen.Outcome()), std::vector<std::string>{folder + "/Track2.WAV"});
}

TEST_F(JobRunnerTest, ASourceStoppedByTheUserEndsTheJobAsCancelled) {
    std::string folder = work.path().string();
    SetCdTrackSource([&](const JobRequest&) {
        return std::make_unique<ScriptedTracks>(folder, InputSource::Step::Cancelled);
    });
    JobRequest r = Request(JobKind::EncodeMp3, kCdAudioInput, folder + "/");
    r.batch = true;
    JobRunner runner(r, seen);
    runner.Start();
    runner.Wait();
    EXPECT_TRUE(fs::exists(work / "Track1.MP3"));
    EXPECT_FALSE(fs::exists(work / "Track3.WAV"));  // nothing is read after the stop
    ASSERT_TRUE(seen.Outcome());
    EXPECT_EQ(seen.Outcome()->result, JobResult::Cancelled);
    EXPECT_TRUE(runner.CancelRequested());
    EXPECT_TRUE(seen.Messages().empty());
}

// A job kind added from outside: it gets its statistics ticks and ends through the runner.
class TickingJob : public Job {
public:
    void Run(JobRunner& r) override {
        while (ticks_ < 2 && !r.CancelRequested())
            ::usleep(200);
        r.Finish("Ticked.", JobResult::Succeeded);
    }
    void OnTick(JobRunner&, int) override { ++ticks_; }
    unsigned StatisticsPeriodMs() const override { return 1000; }

private:
    std::atomic<int> ticks_{0};
};

TEST_F(JobRunnerTest, ARegisteredKindRunsInPlaceOfTheBuiltIn) {
    RegisterKind(
        JobKind::Decode, [](const JobRequest&) { return std::make_unique<TickingJob>(); },
        KindEntry(JobKind::Decode).batch);
    JobRunner runner(Request(JobKind::Decode, "x", "y"), seen);
    runner.Start();
    runner.Tick(ID_TIMER_WMA);
    runner.Tick(ID_TIMER_WMA);
    runner.Wait();
    RegisterKind(
        JobKind::Decode, [](const JobRequest&) { return MakeMp3DecodeJob(); },
        KindEntry(JobKind::Decode).batch);
    ASSERT_TRUE(seen.Outcome());
    EXPECT_EQ(seen.Outcome()->message, "Ticked.");
}

// The window's fixed pauses, each of them, in a paced job; none in one that is not.
TEST_F(JobRunnerTest, OnlyAPacedJobMakesTheWindowsPauses) {
    test::WriteFile(work / "in.wav", test::WaveWithData(2, 44100, 16, std::string(17640, '\x01')));
    test::WriteFile(work / "in.mp3", std::string(30000, 'm'));
    struct Case {
        JobKind kind;
        const char* in;
        const char* out;
        std::vector<std::uint32_t> pauses;  // when paced
    } cases[] = {
        {JobKind::EncodeMp3, "in.wav", "out.mp3", {1500, 500, 700}},
        {JobKind::Decode, "in.mp3", "out.wav", {1500, 500}},
    };
    for (const Case& c : cases) {
        for (bool paced : {true, false}) {
            test::PauseLog log;
            clock::Install(&log);
            JobRequest request = Request(c.kind, (work / c.in).string(), (work / c.out).string());
            request.paced = paced;
            test::JobRecorder recorder;
            JobRunner runner(request, recorder);
            runner.Start();
            runner.Wait();
            clock::Install(&clk);
            ASSERT_TRUE(recorder.Outcome()) << c.in;
            EXPECT_EQ(recorder.Outcome()->result, JobResult::Succeeded) << c.in;
            EXPECT_EQ(log.Pauses(), paced ? c.pauses : std::vector<std::uint32_t>{})
                << c.in << (paced ? " paced" : "");
            fs::remove(work / c.out);
        }
    }
}

}  // namespace
}  // namespace orvane::encoder
