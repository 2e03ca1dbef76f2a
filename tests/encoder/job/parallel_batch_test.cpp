// Folder batches that run several files at once, with the stand-in codec program: the files and
// the final report of the whole batch, a file that fails among others, a cancel that meets
// files at different steps, and what the status texts follow meanwhile.
#include "encoder/job/parallel_batch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "encoder/job/input_source.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/job_runner.h"
#include "encoder/mp3/mp3_jobs.h"
#include "platform/clock/clock.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"
#include "tests/encoder/app/files_at_once.h"
#include "tests/encoder/app/job_recorder.h"

namespace orvane::encoder {
namespace {

namespace fs = std::filesystem;

// The recorder, also keeping the list of the other running files.
class BatchRecorder : public test::JobRecorder {
public:
    void JobSetOthers(const std::vector<std::string>& lines) override {
        std::lock_guard l(othersMutex_);
        others_ = lines;
        if (lines.size() > most_) most_ = lines.size();
        othersChanged_.notify_all();
    }
    // Waits (real time, at most a minute) until the list is as given.
    bool WaitOthers(const std::vector<std::string>& lines) {
        std::unique_lock l(othersMutex_);
        return othersChanged_.wait_for(l, std::chrono::seconds(60),
                                       [&] { return others_ == lines; });
    }
    std::vector<std::string> Others() {
        std::lock_guard l(othersMutex_);
        return others_;
    }
    std::size_t MostOthers() {
        std::lock_guard l(othersMutex_);
        return most_;
    }

private:
    std::mutex othersMutex_;
    std::condition_variable othersChanged_;
    std::vector<std::string> others_;
    std::size_t most_ = 0;
};

// Each MP3 file's job of a batch, once it has done its work, waits until the test lets it end:
// the test decides which files are running at a moment and in which order they end.
class HeldFiles {
public:
    HeldFiles() {
        RegisterKind(
            JobKind::EncodeMp3,
            [this](const JobRequest& request) {
                std::unique_ptr<Job> job = MakeMp3EncodeJob();
                if (!request.OneItem()) return job;
                return std::unique_ptr<Job>(
                    std::make_unique<Held>(std::move(job), *this, request.item.number));
            },
            KindEntry(JobKind::EncodeMp3).batch);
    }
    ~HeldFiles() { ReleaseAll(); }

    // Waits (real time, at most a minute) until file number has done its work.
    bool WaitDone(int number) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(60),
                                 [&] { return arrived_.count(number) > 0; });
    }
    void Release(int number) {
        std::lock_guard lock(mutex_);
        released_.insert(number);
        changed_.notify_all();
    }
    void ReleaseAll() {
        std::lock_guard lock(mutex_);
        all_ = true;
        changed_.notify_all();
    }

private:
    void Arrive(int number) {
        std::unique_lock lock(mutex_);
        arrived_.insert(number);
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(60),
                          [&] { return all_ || released_.count(number) > 0; });
    }

    class Held : public Job {
    public:
        Held(std::unique_ptr<Job> job, HeldFiles& gate, int number)
            : job_(std::move(job)), gate_(gate), number_(number) {}
        void Run(JobRunner& r) override {
            job_->Run(r);
            gate_.Arrive(number_);
        }
        void Cancel(JobRunner& r) override { job_->Cancel(r); }
        void WindDown(JobRunner& r) override { job_->WindDown(r); }
        void OnTick(JobRunner& r, int timerId) override { job_->OnTick(r, timerId); }
        bool Busy() const override { return job_->Busy(); }
        void Interrupt() override { job_->Interrupt(); }
        void Join() override { job_->Join(); }

    private:
        std::unique_ptr<Job> job_;
        HeldFiles& gate_;
        int number_;
    };

    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<int> arrived_, released_;
    bool all_ = false;
};

class ParallelBatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock::Install(&clk);
        fs::create_symlink(FAKE_CHILD_PATH, progDir / "enc.dll");
        fs::create_symlink(FAKE_CHILD_PATH, progDir / "dec.dll");
        fs::create_directory(work / "in");
        fs::create_directory(work / "out");
        ::setenv("FAKE_MODE", "copy", 1);
        ::unsetenv("FAKE_MODE_FOR");
    }
    void TearDown() override {
        ::unsetenv("FAKE_MODE_FOR");
        ::unsetenv("FAKE_CODE");
        RegisterKind(
            JobKind::EncodeMp3, [](const JobRequest&) { return MakeMp3EncodeJob(); },
            KindEntry(JobKind::EncodeMp3).batch);
        RegisterKind(
            JobKind::Decode, [](const JobRequest&) { return MakeMp3DecodeJob(); },
            KindEntry(JobKind::Decode).batch);
        clock::Install(nullptr);
    }
    JobRequest Batch(JobKind kind, int jobs) {
        JobRequest r;
        r.kind = kind;
        r.batch = true;
        r.input = (work / "in").string();
        r.output = (work / "out").string();
        r.appFolder = progDir.path().string() + "/";
        r.parallelJobs = jobs;
        return r;
    }
    // Writes n WAVE files of different lengths: a.wav, b.wav ...
    void Waves(int n) {
        for (int i = 0; i < n; ++i)
            test::WriteFile(work / "in" / (std::string(1, static_cast<char>('a' + i)) + ".wav"),
                            test::CanonicalWave(2, 44100, 16, 3000 + 7000 * i));
    }
    std::map<std::string, std::string> Outputs() {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(work / "out"))
            files[e.path().filename().string()] = test::ReadFile(e.path());
        return files;
    }
    JobOutcome RunBatch(const JobRequest& r, BatchRecorder& seen) {
        JobRunner runner(r, seen);
        runner.Start();
        runner.Wait();
        runner.Stop();
        EXPECT_TRUE(seen.Outcome());
        return seen.Outcome().value_or(JobOutcome{});
    }

    clock::VirtualClock clk{true};
    test::TempDir progDir, work;
};

TEST_F(ParallelBatchTest, SeveralAtOnceWriteWhatOneAtATimeWritesAndEndTheSame) {
    Waves(5);
    for (JobKind kind : {JobKind::EncodeMp3, JobKind::Decode}) {
        if (kind == JobKind::Decode) {
            fs::remove_all(work / "in");
            fs::rename(work / "out", work / "in");
            fs::create_directory(work / "out");
        }
        BatchRecorder one, four;
        JobOutcome sequential = RunBatch(Batch(kind, 1), one);
        auto expected = Outputs();
        fs::remove_all(work / "out");
        fs::create_directory(work / "out");
        // All four files have done their work before any of them ends.
        test::FilesAtOnce gate(kind, 4, [kind] {
            return kind == JobKind::Decode ? MakeMp3DecodeJob() : MakeMp3EncodeJob();
        });
        JobOutcome parallel = RunBatch(Batch(kind, 4), four);
        EXPECT_TRUE(gate.Filled());
        EXPECT_EQ(Outputs(), expected);
        EXPECT_EQ(expected.size(), 5u);
        EXPECT_EQ(parallel.result, JobResult::Succeeded);
        EXPECT_EQ(parallel.message, sequential.message);
        EXPECT_EQ(parallel.message,
                  kind == JobKind::Decode ? "Decoding finished" : "MP3 Compression Finished.");
        // The window listed the others running side by side, and ends as the one-at-a-time
        // batch's does.
        EXPECT_EQ(four.MostOthers(), 3u);
        EXPECT_TRUE(four.Others().empty());
        EXPECT_EQ(one.MostOthers(), 0u);
        EXPECT_EQ(four.Pos(JobBar::Overall), 100);
        EXPECT_EQ(four.Text(JobText::FileCount), "5");
    }
}

TEST_F(ParallelBatchTest, AFailingFileIsNamedAndTheOthersAreStillWritten) {
    Waves(4);
    ::setenv("FAKE_MODE_FOR", "b.MP3=exit;d.MP3=exit", 1);
    ::setenv("FAKE_CODE", "3", 1);
    BatchRecorder one, three;
    JobOutcome sequential = RunBatch(Batch(JobKind::EncodeMp3, 1), one);
    fs::remove_all(work / "out");
    fs::create_directory(work / "out");
    JobOutcome parallel = RunBatch(Batch(JobKind::EncodeMp3, 3), three);
    EXPECT_EQ(parallel.result, JobResult::Failed);
    EXPECT_EQ(parallel.message,
              "Error: 2 of 4 files could not be encoded:\nb.wav: enc.dll ended with status 3\n"
              "d.wav: enc.dll ended with status 3");
    EXPECT_EQ(parallel.message, sequential.message);
    EXPECT_EQ(test::FailedFiles(parallel), test::FailedFiles(sequential));
    EXPECT_EQ(
        test::FailedFiles(parallel),
        (std::vector<std::string>{(work / "in/b.wav").string(), (work / "in/d.wav").string()}));
    auto written = Outputs();
    EXPECT_TRUE(written.count("a.MP3") && written.count("c.MP3"));
    EXPECT_FALSE(written.count("b.MP3") || written.count("d.MP3"));
}

TEST_F(ParallelBatchTest, AFileThatEndsTheSequentialBatchFailsAloneHere) {
    // Not a WAVE file: one at a time, the batch stops there; at once, only that file fails.
    Waves(3);
    test::WriteFile(work / "in/b.wav", std::string(200, 'x'));
    BatchRecorder seen;
    JobOutcome outcome = RunBatch(Batch(JobKind::EncodeMp3, 2), seen);
    EXPECT_EQ(outcome.result, JobResult::Failed);
    EXPECT_EQ(outcome.message,
              "Error: 1 of 3 files could not be encoded:\nb.wav: Error: Input file is not a WAV");
    EXPECT_EQ(test::FailedFiles(outcome), std::vector<std::string>{(work / "in/b.wav").string()});
    auto written = Outputs();
    EXPECT_TRUE(written.count("a.MP3") && written.count("c.MP3"));
    EXPECT_TRUE(seen.Messages().empty());  // the file's own end is not shown
}

TEST_F(ParallelBatchTest, CancelEndsEveryRunningChildWhateverItsStep) {
    // a: its child never reads (the feed is blocked); b: its child took everything but does
    // not end; c: its child never reads nor says anything; d never starts.
    Waves(4);
    test::WriteFile(work / "in/a.wav", test::CanonicalWave(2, 44100, 16, 2000000));
    test::WriteFile(work / "in/c.wav", test::CanonicalWave(2, 44100, 16, 2000000));
    ::setenv("FAKE_MODE_FOR", "a.MP3=stall;b.MP3=linger;c.MP3=ignore", 1);
    BatchRecorder seen;
    JobRunner runner(Batch(JobKind::EncodeMp3, 3), seen);
    runner.Start();
    ASSERT_TRUE(seen.WaitLog("stalling"));
    // b's child has taken all its input (its output is complete) but does not end.
    auto complete = [&] {
        return fs::exists(work / "out/b.MP3") && fs::file_size(work / "out/b.MP3") == 10000u;
    };
    for (int i = 0; i < 20000 && !complete(); ++i)
        ::usleep(500);
    ASSERT_TRUE(complete());
    EXPECT_EQ(seen.Others().size(), 2u);
    runner.Cancel();
    // Virtual time runs on by itself: the children's grace time passes at once, and a child
    // no cancel reached would hold the worker until the test gives up.
    runner.Wait();
    runner.Stop();
    ASSERT_TRUE(seen.Outcome());
    EXPECT_EQ(seen.Outcome()->result, JobResult::Cancelled);
    EXPECT_EQ(seen.Messages(), std::vector<std::string>{});
    EXPECT_EQ(seen.Outcome()->message, "Current Process was Canceled.");
    EXPECT_FALSE(fs::exists(work / "out/d.MP3"));
    EXPECT_FALSE(runner.Busy());
}

TEST_F(ParallelBatchTest, TheTextsFollowTheOldestRunningFile) {
    // a's child stalls until the cancel; b and c end meanwhile and never take the texts.
    Waves(3);
    test::WriteFile(work / "in/a.wav", test::CanonicalWave(2, 44100, 16, 2000000));
    ::setenv("FAKE_MODE_FOR", "a.MP3=stall", 1);
    BatchRecorder seen;
    JobRunner runner(Batch(JobKind::EncodeMp3, 3), seen);
    runner.Start();
    ASSERT_TRUE(seen.WaitLog("stalling"));
    for (int i = 0; i < 20000 && !fs::exists(work / "out/c.MP3"); ++i)
        ::usleep(500);
    for (int i = 0; i < 20000 && !seen.Others().empty(); ++i)
        ::usleep(500);
    EXPECT_TRUE(seen.Others().empty());
    EXPECT_EQ(seen.Text(JobText::Input), (work / "in/a.wav").string());
    EXPECT_EQ(seen.Text(JobText::FileNumber), "1");
    EXPECT_EQ(seen.Text(JobText::Title), "Orvane Encoder 2001 - (File 1 of 3)");
    // Two of three files done.
    EXPECT_EQ(seen.Range(JobBar::Overall), std::make_pair(0, 300));
    EXPECT_EQ(seen.Pos(JobBar::Overall), 200);
    runner.Cancel();
    runner.Wait();
}

TEST_F(ParallelBatchTest, TheOverallBarAndTitleShowWhatTheRunningFilesHaveDone) {
    // Two at a time: a and b run, then c and d; d ends before c does.
    Waves(4);
    BatchRecorder seen;
    JobRunner runner(Batch(JobKind::EncodeMp3, 2), seen);
    HeldFiles held;  // goes first: no file stays held once the test has ended
    runner.Start();
    ASSERT_TRUE(held.WaitDone(1) && held.WaitDone(2));
    // No file has ended, but two of four are done.
    EXPECT_EQ(seen.Range(JobBar::Overall), std::make_pair(0, 400));
    EXPECT_EQ(seen.Pos(JobBar::Overall), 200);
    EXPECT_EQ(seen.Text(JobText::Title), "Orvane Encoder 2001 - (File 1 of 4)");
    held.Release(1);
    ASSERT_TRUE(held.WaitDone(3));
    EXPECT_EQ(seen.Pos(JobBar::Overall), 300);
    held.Release(2);
    ASSERT_TRUE(held.WaitDone(4));
    held.Release(4);
    ASSERT_TRUE(seen.WaitOthers({}));  // d has ended, c runs on
    EXPECT_EQ(seen.Text(JobText::Title), "Orvane Encoder 2001 - (File 3 of 4)");
    held.Release(3);
    runner.Wait();
    runner.Stop();
    ASSERT_TRUE(seen.Outcome());
    EXPECT_EQ(seen.Outcome()->result, JobResult::Succeeded);
    // The window ends on the batch's last file, as one file after the other does.
    EXPECT_EQ(seen.Text(JobText::Title), "Orvane Encoder 2001 - (File 4 of 4)");
    EXPECT_EQ(seen.Text(JobText::FileNumber), "4");
    EXPECT_EQ(seen.Text(JobText::Input), (work / "in/d.wav").string());
    const std::vector<int> overall = seen.Percents(JobBar::Overall);
    EXPECT_TRUE(std::is_sorted(overall.begin(), overall.end()))
        << ::testing::PrintToString(overall);
    EXPECT_EQ(seen.Pos(JobBar::Overall), 100);
}

// A kind whose files come from a list of its own making (the library's plan), with a final
// message from what they share: entries the list marks as failed fail alone in their places,
// each file's job gets its own output and label, and what a caller hands in is what the files
// share.
class ListedShared : public BatchShared {
public:
    std::atomic<int> done{0};
    bool fromKind = false;
};

class ListedSource : public InputSource {
public:
    explicit ListedSource(std::vector<std::pair<std::string, bool>> entries)
        : entries_(std::move(entries)) {}
    bool Batch() const override { return true; }
    int Count() const override { return static_cast<int>(entries_.size()); }
    Next Take(JobRunner&) override {
        Next next;
        if (at_ >= entries_.size()) return next;
        const auto& [name, good] = entries_[at_++];
        next.step = good ? Step::Item : Step::Failed;
        next.item.input = "/in/" + name;
        next.item.output = "/out/" + name;
        next.item.label = "listed/" + name;
        next.message = good ? "" : "Error: not in the plan";
        return next;
    }

private:
    std::vector<std::pair<std::string, bool>> entries_;
    std::size_t at_ = 0;
};

// A file's job: done at once, counted in what the files share; "bad" fails.
class ListedFileJob : public Job {
public:
    void Run(JobRunner& r) override {
        const JobRequest& req = r.Request();
        auto* shared = dynamic_cast<ListedShared*>(req.item.shared.get());
        if (req.item.file.find("bad") != std::string::npos) {
            r.Finish({JobResult::Failed, "", {{req.item.file, "Error: bad file"}}});
            return;
        }
        if (shared) ++shared->done;
        r.Finish({JobResult::Succeeded, "", {}});
    }
};

class ListedBatch : public ::testing::Test {
protected:
    static constexpr JobKind kListed{90};
    void Register(std::vector<std::pair<std::string, bool>> entries) {
        ParallelBatchKind kind;
        kind.finished = "Listed.";
        kind.verb = "listed";
        kind.share = [](const JobRequest&) {
            auto shared = std::make_shared<ListedShared>();
            shared->fromKind = true;
            return shared;
        };
        kind.source = [entries](const JobRequest&, BatchShared*) {
            return std::make_unique<ListedSource>(entries);
        };
        kind.finishedText = [](const JobRequest&, BatchShared* shared) {
            auto* s = dynamic_cast<ListedShared*>(shared);
            return s ? "Listed " + std::to_string(s->done) + (s->fromKind ? " (kind)" : "")
                     : std::string();
        };
        RegisterKind(
            kListed,
            [](const JobRequest& r) -> std::unique_ptr<Job> {
                if (!r.OneItem()) return MakeParallelBatchJob(r);
                return std::make_unique<ListedFileJob>();
            },
            std::make_shared<const ParallelBatchKind>(std::move(kind)));
    }
    JobOutcome Run(std::shared_ptr<BatchShared> given = nullptr) {
        JobRequest req;
        req.kind = kListed;
        req.batch = true;
        req.input = "/in/";
        req.output = dir_.path().string() + "/";
        req.parallelJobs = 2;
        req.paced = false;
        req.item.shared = std::move(given);
        test::JobRecorder recorder;
        JobRunner runner(std::move(req), recorder);
        runner.Start();
        runner.Wait();
        runner.Stop();
        return runner.Outcome();
    }
    test::TempDir dir_;
};

TEST_F(ListedBatch, AKindsOwnListRunsWithItsFailuresInPlaceAndItsOwnFinalMessage) {
    Register({{"a", true}, {"b", false}, {"c", true}});
    JobOutcome outcome = Run();
    EXPECT_EQ(outcome.result, JobResult::Failed);
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0].input, "listed/b");
    EXPECT_EQ(outcome.message,
              "Error: 1 of 3 files could not be listed:\nb: Error: not in the plan");

    Register({{"a", true}, {"c", true}, {"bad", true}, {"d", true}});
    outcome = Run();
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0].input, "/in/bad");
    EXPECT_EQ(outcome.failures[0].reason, "Error: bad file");

    // Every file went well: the kind's message over what they shared, the caller's when given.
    Register({{"a", true}, {"c", true}, {"d", true}});
    EXPECT_EQ(Run().message, "Listed 3 (kind)");
    auto given = std::make_shared<ListedShared>();
    EXPECT_EQ(Run(given).message, "Listed 3");
    EXPECT_EQ(given->done, 3);
    Register({});
    EXPECT_EQ(Run().message, "Listed 0 (kind)");
}

TEST(ParallelJobsSetting, AStoredCountIsKeptAndAnyOtherMeansTheProcessors) {
    const int cores = ParallelJobsSetting(0);
    EXPECT_GE(cores, 1);
    EXPECT_EQ(ParallelJobsSetting(1), 1);
    EXPECT_EQ(ParallelJobsSetting(3), 3);
    EXPECT_EQ(ParallelJobsSetting(-1), cores);
    EXPECT_EQ(ParallelJobsSetting(100000), cores);
}

}  // namespace
}  // namespace orvane::encoder
