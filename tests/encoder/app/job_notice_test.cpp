// What the desktop is told at a job's end, and when the processing window tells its listeners.

#include "encoder/job/job_notice.h"

#include <gtest/gtest.h>

#include <atomic>

#include "encoder/app/encoder_app.h"
#include "encoder/app/status_dialog.h"
#include "encoder/job/job_kinds.h"
#include "encoder/mp3/child_job.h"
#include "encoder/mp3/mp3_jobs.h"
#include "fake_window.h"
#include "platform/clock/clock.h"

namespace orvane::encoder {
namespace {

TEST(JobNotice, SaysTheResultAndTheFirstLineAndForARipTheAlbumAndItsCheck) {
    JobRequest request;
    JobOutcome outcome{JobResult::Succeeded, "Encoding Finished.\r\nsecond line", {}};
    JobNotice n = MakeJobNotice(request, outcome, "AccurateRip: all 5 tracks accurately ripped");
    EXPECT_EQ(n.summary, "Plimo: the job is done");
    EXPECT_EQ(n.body, "Encoding Finished.");  // no rip: the check's line is not the job's
    EXPECT_FALSE(n.failed);

    outcome = {JobResult::Failed, "Can't open the input file.", {{"a.wav", ""}}};
    n = MakeJobNotice(request, outcome, "");
    EXPECT_EQ(n.summary, "Plimo: the job failed");
    EXPECT_TRUE(n.failed);
    outcome.result = JobResult::Cancelled;
    EXPECT_EQ(MakeJobNotice(request, outcome, "").summary, "Plimo: the job was cancelled");
    EXPECT_FALSE(MakeJobNotice(request, outcome, "").failed);

    request.batch = true;
    request.input = kCdAudioInput;
    request.fullTags.resize(3);
    request.fullTags[2].Set(tags::TagField::Album, "Blue Rooms");
    outcome = {JobResult::Succeeded, "", {}};
    n = MakeJobNotice(request, outcome, "AccurateRip: 3 of 4 tracks accurately ripped");
    EXPECT_EQ(n.body, "Album: Blue Rooms\nAccurateRip: 3 of 4 tracks accurately ripped");
    // The album of the 128-byte records when no full tag names one.
    request.fullTags.clear();
    request.tags[1].SetAlbum("Old Album");
    EXPECT_EQ(JobAlbum(request), "Old Album");
}

class FinishingJob : public Job {
public:
    void Run(JobRunner& r) override {
        r.Finish("Could not write the output.\nmore", JobResult::Failed);
    }
};

TEST(JobNotice, TheWindowTellsItsListenersOfStartEndAndOutcomeBeforeTheFinalBox) {
    clock::VirtualClock clk(true);
    clock::Install(&clk);
    RegisterKind(
        JobKind::Decode, [](const JobRequest&) { return std::make_unique<FinishingJob>(); },
        KindEntry(JobKind::Decode).batch);
    std::atomic<int> started{0}, ended{0};
    std::atomic<std::size_t> boxesAtFinish{99};
    std::string message;
    test::FakeWindow w;
    TheJobWindowHooks().started = [&](const JobRequest&) { ++started; };
    TheJobWindowHooks().finished = [&](const JobRequest&, const JobOutcome& o) {
        message = o.message;
        boxesAtFinish = w.Boxes().size();
    };
    TheJobWindowHooks().ended = [&] { ++ended; };
    {
        EncoderApp app;
        ProcessingStatusDialog dlg(app);
        dlg.Attach(&w);
        JobRequest request;
        request.kind = JobKind::Decode;
        dlg.StartJob(request);
        dlg.WaitForWorker();
    }
    EXPECT_EQ(started, 1);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(message, "Could not write the output.\nmore");
    EXPECT_EQ(boxesAtFinish, 0u);  // told before the user is asked to read the message
    EXPECT_EQ(w.Boxes().size(), 1u);
    TheJobWindowHooks() = {};
    RegisterKind(
        JobKind::Decode, [](const JobRequest&) { return MakeMp3DecodeJob(); },
        KindEntry(JobKind::Decode).batch);
    clock::Install(nullptr);
}

}  // namespace
}  // namespace orvane::encoder
