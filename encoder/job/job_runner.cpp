#include "encoder/job/job_runner.h"

#include <mutex>

#include "encoder/job/job_kinds.h"
#include "encoder/job/parallel_batch.h"
#include "encoder/tags/paths.h"
#include "platform/clock/clock.h"

namespace orvane::encoder {

// ---------------------------------------------------------------------------------------------
// Job kinds

namespace {

std::mutex& CdRipMutex() {
    static std::mutex m;
    return m;
}

JobFactory& CdRipFactory() {
    static JobFactory factory;
    return factory;
}

}  // namespace

void SetCdRipJobFactory(JobFactory factory) {
    std::lock_guard lock(CdRipMutex());
    CdRipFactory() = std::move(factory);
}

std::unique_ptr<Job> CreateJob(const JobRequest& request) {
    if (request.CdAudio() && !request.OneItem()) {
        JobFactory rip;
        {
            std::lock_guard lock(CdRipMutex());
            rip = CdRipFactory();
        }
        if (rip)
            if (std::unique_ptr<Job> job = rip(request)) return job;
    }
    const JobFactory factory = KindEntry(request.kind).factory;
    if (!factory) return nullptr;
    // A batch allowed several jobs at once runs each file or track as a job of the kind.
    if (request.parallelJobs > 1 && request.batch && !request.OneItem())
        if (std::unique_ptr<Job> batch = MakeParallelBatchJob(request)) return batch;
    return factory(request);
}

// ---------------------------------------------------------------------------------------------
// The engine job's cancel

void Job::Cancel(JobRunner& r) {
    if (Busy() || r.WorkerRunning()) {
        r.RequestCancel();
        // The job's own end stays silent from here on: one final message only.
        if (!r.MarkFinished()) return;
        r.WaitCursor(true);
        r.SetText(JobText::Log, "Stopping the Encoder Engine...\r\nPlease wait a few seconds...");
        r.ProcessMessages();
        r.Pause(2000, true);
        r.Message("Current Process was Canceled.", "", MB_ICONINFORMATION);
        r.Close(IDCANCEL);
        r.WaitCursor(false);
        return;
    }
    r.WaitCursor(true);
    r.ProcessMessages();
    r.Pause(1000, true);
    if (r.CancelRequested()) r.Message("Current Process was Canceled.", "", MB_OK);
    r.WaitCursor(false);
    r.Close(IDCANCEL);
}

// ---------------------------------------------------------------------------------------------
// Runner

JobRunner::JobRunner(JobRequest request, JobObserver& observer)
    : request_(std::move(request)), observer_(observer) {}

JobRunner::~JobRunner() { Stop(); }

void JobRunner::Start() {
    job_ = CreateJob(request_);
    if (job_ && job_->StatisticsPeriodMs() > 0)
        observer_.JobStatisticsTimer(job_->StatisticsPeriodMs());
    started_ = true;
    workerRunning_ = true;
    worker_ = std::thread([this] {
        // A batch writes into the folder named, never beside it: made when it is missing.
        const std::string folderProblem =
            request_.batch ? MakeOutputFolder(request_.output) : std::string();
        if (!folderProblem.empty())
            Finish(folderProblem, JobResult::Failed);
        else if (job_)
            job_->Run(*this);
        else
            Finish(request_.kind == JobKind::EncodeWma
                       ? "Windows Media Audio encoding is not available."
                       : "This kind of job is not available.",
                   JobResult::Failed);
        workerRunning_ = false;
        observer_.JobWorkerEnded();
    });
}

void JobRunner::Cancel() {
    if (job_) {
        job_->Cancel(*this);
        return;
    }
    RequestCancel();
    Close(IDCANCEL);
}

void JobRunner::Tick(int timerId) {
    if (job_) job_->OnTick(*this, timerId);
}

void JobRunner::Wait() {
    if (worker_.joinable()) worker_.join();
}

void JobRunner::Stop() {
    if (worker_.joinable()) {
        if (workerRunning_) {
            finished_ = true;
            RequestCancel();
        }
        worker_.join();
    }
    if (job_) job_->Join();
}

JobOutcome JobRunner::Outcome() const {
    std::lock_guard lock(outcomeMutex_);
    return outcome_;
}

void JobRunner::RequestCancel() {
    cancelRequested_ = true;
    clock::Current().WakeSleepers();
    if (job_) job_->Interrupt();
}

void JobRunner::WaitMs(unsigned ms) {
    // One sleep that a cancel ends at once (it wakes the clock's sleepers).
    clock::Current().SleepMsUnless(ms, [this] { return cancelRequested_.load(); });
}

void JobRunner::Pause(unsigned ms, bool uninterruptible) {
    if (!request_.paced || ms == 0) return;
    if (uninterruptible)
        clock::Pause(ms);
    else
        clock::PauseUnless(ms, [this] { return cancelRequested_.load(); });
}

bool JobRunner::ShowBox(const std::string& text, unsigned flags) {
    if (finished_) return false;
    observer_.JobMessage(text, "", flags);
    return true;
}

void JobRunner::Finish(const std::string& message, JobResult result,
                       const std::vector<std::string>& failedFiles) {
    JobOutcome outcome{result, message, {}};
    for (const std::string& file : failedFiles)
        outcome.failures.push_back({file, ""});
    Finish(std::move(outcome));
}

void JobRunner::OnFinish(std::function<void(JobOutcome&)> hook) {
    std::lock_guard lock(outcomeMutex_);
    finishHook_ = std::move(hook);
}

void JobRunner::Finish(JobOutcome outcome) {
    if (finished_.exchange(true)) return;
    std::function<void(JobOutcome&)> hook;
    {
        std::lock_guard lock(outcomeMutex_);
        hook = std::move(finishHook_);
    }
    if (hook && outcome.result != JobResult::Cancelled) hook(outcome);
    {
        std::lock_guard lock(outcomeMutex_);
        outcome_ = outcome;
    }
    if (job_) job_->WindDown(*this);
    observer_.JobFinished(outcome);
}

// ---------------------------------------------------------------------------------------------
// Failed files

std::string FailureReport(const std::string& verb, const std::vector<FileFailure>& failures,
                          int files, bool batch) {
    if (failures.empty()) return {};
    if (!batch)
        return "Error: The file could not be " + verb + ":\n" + failures[0].input + "\n" +
               failures[0].reason;
    std::string text = "Error: " + std::to_string(failures.size()) + " of " +
                       std::to_string(std::max<int>(files, static_cast<int>(failures.size()))) +
                       " files could not be " + verb + ":";
    constexpr std::size_t kNamed = 10;
    for (std::size_t i = 0; i < failures.size() && i < kNamed; ++i) {
        std::size_t slash = failures[i].input.rfind('/');
        std::string name =
            slash == std::string::npos ? failures[i].input : failures[i].input.substr(slash + 1);
        text += "\n" + name + ": " + failures[i].reason;
    }
    if (failures.size() > kNamed)
        text += "\n... and " + std::to_string(failures.size() - kNamed) + " more";
    return text;
}

}  // namespace orvane::encoder
