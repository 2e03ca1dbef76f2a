// The library's job kind on a runner of its own, as the processing window runs it: a cancel
// while a file is converted ends the batch at once and leaves no part of any output behind.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>

#include "encoder/formats/flac_job.h"
#include "encoder/job/job_runner.h"
#include "encoder/library/library_run.h"
#include "support/temp_dir.h"

namespace orvane::library {
namespace {

namespace sfs = std::filesystem;

// Tells once the first file's bar has moved; answers every question with OK.
class FirstProgress : public encoder::JobObserver {
public:
    void JobSetText(encoder::JobText, const std::string&) override {}
    void JobSetRange(encoder::JobBar, int, int) override {}
    void JobSetPos(encoder::JobBar bar, int pos) override {
        if (bar != encoder::JobBar::CurrentFile || pos <= 0) return;
        std::lock_guard lock(mutex_);
        moved_ = true;
        changed_.notify_all();
    }
    void JobSetCounter(encoder::JobCounter, int) override {}
    int JobMessage(const std::string&, const std::string&, unsigned) override { return IDOK; }
    void JobFinished(const encoder::JobOutcome&) override {}
    void JobClose(int) override {}
    // Waits until the bar moved; false when it did not within a minute.
    bool WaitForProgress() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::minutes(1), [this] { return moved_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool moved_ = false;
};

TEST(LibraryJob, ACancelWhileAFileIsConvertedLeavesNothingOfItAndTakesNoOtherFile) {
    test::TempDir dir;
    const sfs::path in = dir / "in", out = dir / "out";
    sfs::create_directories(in / "b");
    // A long file first, so the cancel comes while it is read or encoded.
    for (const auto& [rel, seconds] :
         {std::pair<std::string, int>{"a/long.wav", 30}, {"b/short.wav", 1}}) {
        sfs::create_directories((in / rel).parent_path());
        const test::ProgramResult r = test::RunShell(
            "ffmpeg -v error -y -f lavfi -i 'anoisesrc=d=" + std::to_string(seconds) +
            ":r=44100:a=0.3' -ac 2 -c:a pcm_s16le '" + (in / rel).string() + "'");
        ASSERT_EQ(r.status, 0) << r.output;
    }
    formats::RegisterFlacJob();
    RegisterLibraryJob();
    LibraryOptions o;
    o.target = Target::Flac;
    o.in = in.string();
    o.out = out.string();
    o.jobs = 1;
    encoder::JobRequest request = LibraryRequest(o);
    request.paced = false;
    FirstProgress observer;
    encoder::JobRunner runner(std::move(request), observer);
    runner.Start();
    ASSERT_TRUE(observer.WaitForProgress());
    runner.Cancel();
    runner.Wait();
    runner.Stop();
    EXPECT_EQ(runner.Outcome().result, encoder::JobResult::Cancelled);
    // No output, no scratch file, no temporary file: the folders the job made are empty.
    for (const auto& e : sfs::recursive_directory_iterator(out))
        EXPECT_TRUE(e.is_directory()) << e.path() << " was left behind";
}

}  // namespace
}  // namespace orvane::library
