// The library's job kind on a runner of its own, as the processing window runs it: a cancel
// while a file is converted ends the batch at once and leaves no part of any output behind;
// with ReplayGain each output folder's files get their album's values.
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

// A stereo 16-bit WAVE file of one of FFmpeg's generated sources ("sine=f=440:d=1"), with its
// folder.
void MakeWave(const sfs::path& file, const std::string& source) {
    sfs::create_directories(file.parent_path());
    const test::ProgramResult r =
        test::RunShell("ffmpeg -v error -y -f lavfi -i " + test::ShellQuote(source) +
                       " -ac 2 -c:a pcm_s16le " + test::ShellQuote(file.string()));
    ASSERT_EQ(r.status, 0) << r.output;
}

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

// Keeps the batch's log; answers every question with OK.
class LogObserver : public encoder::JobObserver {
public:
    void JobSetText(encoder::JobText which, const std::string& text) override {
        std::lock_guard lock(mutex_);
        if (which == encoder::JobText::Log) log_ = text;
    }
    void JobSetRange(encoder::JobBar, int, int) override {}
    void JobSetPos(encoder::JobBar, int) override {}
    void JobSetCounter(encoder::JobCounter, int) override {}
    int JobMessage(const std::string&, const std::string&, unsigned) override { return IDOK; }
    void JobFinished(const encoder::JobOutcome&) override {}
    void JobClose(int) override {}
    std::string Log() {
        std::lock_guard lock(mutex_);
        return log_;
    }

private:
    std::mutex mutex_;
    std::string log_;
};

TEST(LibraryJob, ACancelWhileAFileIsConvertedLeavesNothingOfItAndTakesNoOtherFile) {
    test::TempDir dir;
    const sfs::path in = dir / "in", out = dir / "out";
    sfs::create_directories(in / "b");
    // A long file first, so the cancel comes while it is read or encoded.
    ASSERT_NO_FATAL_FAILURE(MakeWave(in / "a/long.wav", "anoisesrc=d=30:r=44100:a=0.3"));
    ASSERT_NO_FATAL_FAILURE(MakeWave(in / "b/short.wav", "anoisesrc=d=1:r=44100:a=0.3"));
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

TEST(LibraryJob, WithReplayGainTheFilesOfAnOutputFolderShareTheirAlbumsValues) {
    if (test::RunShell("metaflac --version").status != 0) GTEST_SKIP() << "no metaflac";
    test::TempDir dir;
    const sfs::path in = dir / "in", out = dir / "out";
    // Two files of A, 6 dB apart, and one of B: two albums, the files run side by side.
    for (const auto& [rel, volume] :
         {std::pair<std::string, std::string>{"A/1.wav", "2"}, {"A/2.wav", "1"}, {"B/3.wav", "1"}})
        ASSERT_NO_FATAL_FAILURE(MakeWave(in / rel, "sine=f=440:r=44100:d=1,volume=" + volume));
    formats::RegisterFlacJob();
    RegisterLibraryJob();
    LibraryOptions o;
    o.target = Target::Flac;
    o.in = in.string();
    o.out = out.string();
    o.jobs = 2;
    o.base.formats.replayGain = true;
    encoder::JobRequest request = LibraryRequest(o);
    request.paced = false;
    LogObserver observer;
    encoder::JobRunner runner(std::move(request), observer);
    runner.Start();
    runner.Wait();
    runner.Stop();
    ASSERT_EQ(runner.Outcome().result, encoder::JobResult::Succeeded) << runner.Outcome().message;
    auto tag = [&](const std::string& rel, const std::string& name) {
        return test::RunShell("metaflac --show-tag=" + name + " '" + (out / rel).string() + "'")
            .output;
    };
    const std::string album = tag("A/1.flac", "REPLAYGAIN_ALBUM_GAIN");
    ASSERT_NE(album, "");
    EXPECT_EQ(tag("A/2.flac", "REPLAYGAIN_ALBUM_GAIN"), album);
    EXPECT_NE(tag("A/1.flac", "REPLAYGAIN_TRACK_GAIN").substr(22), album.substr(22));
    // A folder of one file: its album is its track.
    EXPECT_EQ(tag("B/3.flac", "REPLAYGAIN_ALBUM_GAIN").substr(22),
              tag("B/3.flac", "REPLAYGAIN_TRACK_GAIN").substr(22));
    const std::string log = observer.Log();
    EXPECT_NE(log.find("album A: gain "), std::string::npos) << log;
    EXPECT_NE(log.find("album B: gain "), std::string::npos) << log;
}

}  // namespace
}  // namespace orvane::library
