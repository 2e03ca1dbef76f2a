#pragma once
// The job interface of the encoder front-end. A job (one kind per JobKind) runs a JobRequest on
// a worker thread of its JobRunner; it reports only through the runner, which passes every
// report on to one JobObserver (the processing status window, or the command-line runner).
//
// Adding a job kind: its entry in the table of kinds (job_kinds.h), one file with a class that
// derives from Job, and the one RegisterKind call its room makes at start-up.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "encoder/job/job_request.h"
#include "platform/base/wintypes.h"

namespace orvane::encoder {

// What the user sees of a job, without knowing how it is drawn.
// The timers a job's observer runs for it (JobObserver::JobStatisticsTimer, Job::OnTick).
constexpr int ID_TIMER_PROGRESS = 1;  // progress update called by the worker thread
constexpr int ID_TIMER_WMA = 2;       // WMA statistics, every 1000 ms
constexpr int ID_TIMER_WMA_END = 3;   // WMA job end

enum class JobText {
    Title,        // the window's title
    Input,        // the file being read
    Output,       // the file being written
    Elapsed,      // "00:00:00"
    Remaining,    // "00:00:00"
    Rate,         // frames or samples per second
    Bitrate,      // "128 Kbps", "N/A" ...
    FileNumber,   // n of a batch
    FileCount,    // the number of files of a batch
    Compression,  // the compressed-size estimate
    Log,          // the whole log, lines ending with "\r\n"
};
enum class JobBar { CurrentFile, Overall };
enum class JobCounter { CurrentFrame, Frames };

enum class JobResult { Succeeded, Failed, Cancelled };

// A file of a job that failed, and why (empty where the job did not tell: its final message
// says it).
struct FileFailure {
    std::string input, reason;
};

// The final message of a job with failed files: the one file and why, or how many of a batch's
// files failed, each named with its reason. verb: "encoded", "decoded".
std::string FailureReport(const std::string& verb, const std::vector<FileFailure>& failures,
                          int files, bool batch);

struct JobOutcome {
    JobResult result = JobResult::Failed;
    std::string message;                // the final message; empty for none
    std::vector<FileFailure> failures;  // the inputs that failed, in order
};

// Receives a job's reports. Everything but Message may be called from any thread and must not
// block (a window queues it to its own thread); Message blocks until the user answered.
class JobObserver {
public:
    virtual ~JobObserver() = default;

    virtual void JobSetText(JobText which, const std::string& text) = 0;
    virtual void JobSetRange(JobBar bar, int low, int high) = 0;
    virtual void JobSetPos(JobBar bar, int pos) = 0;
    virtual void JobSetCounter(JobCounter which, int value) = 0;
    // A message box; returns IDOK, IDYES, IDNO ...
    virtual int JobMessage(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // The job's end: show the final message (when there is one) and close.
    virtual void JobFinished(const JobOutcome& outcome) = 0;
    // Closes the job's window without a final message, with a result (IDCANCEL, IDOK).
    virtual void JobClose(int result) = 0;

    // Window services a job may use; a windowless observer ignores them.
    virtual void JobRedraw() {}
    // A statistics tick on the window's thread every periodMs (0 stops it): Job::OnTick.
    virtual void JobStatisticsTimer(unsigned /*periodMs*/) {}
    // Closes the window after ms on its own thread (the tick then reaches the job once more).
    virtual void JobCloseAfter(unsigned /*ms*/) {}
    virtual void JobWaitCursor(bool /*on*/) {}
    virtual void JobProcessMessages() {}
    // The job's worker thread has ended, with or without a Finish (any thread).
    virtual void JobWorkerEnded() {}
    // The other files of a batch that are running beside the one the texts follow, a line each
    // (empty: none).
    virtual void JobSetOthers(const std::vector<std::string>& /*lines*/) {}
};

class JobRunner;

// One job kind. Run is the worker thread's body; the other operations are called on the
// observer's (window) thread.
class Job {
public:
    virtual ~Job() = default;

    virtual void Run(JobRunner& runner) = 0;
    // The user cancels. The default suits a job that drives an encoder engine in this process:
    // while it is busy it is asked to stop (Run sees CancelRequested), the log says the engine
    // is stopping, and after two seconds the window says so and closes; when it is idle the
    // window closes after a second, saying so if a cancel had been asked for before.
    virtual void Cancel(JobRunner& runner);
    // Before the final message of Finish is shown: end what still runs beside the job (on the
    // thread that called Finish).
    virtual void WindDown(JobRunner& /*runner*/) {}
    // The window's statistics tick (JobStatisticsTimer), and its progress and close ticks.
    virtual void OnTick(JobRunner& /*runner*/, int /*timerId*/) {}
    // Milliseconds between statistics ticks, started with the job; 0 for none.
    virtual unsigned StatisticsPeriodMs() const { return 0; }
    // True while the job does its work (its engine or its child's output reader runs).
    virtual bool Busy() const { return busy_; }
    // A cancel was asked for: wake every wait of the job (any thread).
    virtual void Interrupt() {}
    // The window is going and the worker has ended: join what else the job started.
    virtual void Join() {}

protected:
    void SetBusy(bool busy) { busy_ = busy; }

private:
    std::atomic<bool> busy_{false};
};

using JobFactory = std::function<std::unique_ptr<Job>(const JobRequest&)>;

// A new job for the request's kind (job_kinds.h), or null when the kind is not registered. A
// CD-Audio request is first offered to the CD rip's factory, when one is installed.
std::unique_ptr<Job> CreateJob(const JobRequest& request);

// The jobs that read the CD's tracks once for a whole rip of their own (several formats from one
// read, the disc as one image): the factory answers a CD-Audio request (never one file of a
// batch) with such a job, or with null for the request kind's own job. Installed by the CD
// grabbing code (process-wide); null: none.
void SetCdRipJobFactory(JobFactory factory);

// Runs one request on its own thread and hands its reports to the observer.
class JobRunner {
public:
    JobRunner(JobRequest request, JobObserver& observer);
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Creates the job and starts its worker thread (a statistics timer first, when the job
    // asks for one). A kind without a job ends at once with a message.
    void Start();
    // The user's cancel (window thread).
    void Cancel();
    // A tick of the window's timers (window thread).
    void Tick(int timerId);
    // Waits until the worker thread has ended.
    void Wait();
    // The window is going: a job still running is cancelled quietly, and every thread joined.
    void Stop();

    bool Started() const { return started_; }
    bool WorkerRunning() const { return workerRunning_; }
    bool Busy() const { return job_ && job_->Busy(); }
    JobOutcome Outcome() const;

    // --- For the jobs ---
    const JobRequest& Request() const { return request_; }
    bool CancelRequested() const { return cancelRequested_; }
    // Sets the cancel token and wakes every wait of the job.
    void RequestCancel();
    // Waits ms on the toolkit's clock; returns early once the job is cancelled.
    void WaitMs(unsigned ms);
    // One of the window's fixed pauses (clock::Pause): none for an unpaced request; a cancel
    // ends it early unless uninterruptible.
    void Pause(unsigned ms, bool uninterruptible = false);

    void SetText(JobText which, const std::string& text) { observer_.JobSetText(which, text); }
    void SetRange(JobBar bar, int low, int high) { observer_.JobSetRange(bar, low, high); }
    void SetPos(JobBar bar, int pos) { observer_.JobSetPos(bar, pos); }
    void SetCounter(JobCounter which, int value) { observer_.JobSetCounter(which, value); }
    void Redraw() { observer_.JobRedraw(); }
    int Message(const std::string& text, const std::string& caption, unsigned flags) {
        return observer_.JobMessage(text, caption, flags);
    }
    // A message with the default caption, unless the job has already ended; false then.
    bool ShowBox(const std::string& text, unsigned flags);
    void Close(int result) { observer_.JobClose(result); }
    void CloseAfter(unsigned ms) { observer_.JobCloseAfter(ms); }
    void StatisticsTimer(unsigned periodMs) { observer_.JobStatisticsTimer(periodMs); }
    void WaitCursor(bool on) { observer_.JobWaitCursor(on); }
    void ProcessMessages() { observer_.JobProcessMessages(); }
    void SetOthers(const std::vector<std::string>& lines) { observer_.JobSetOthers(lines); }

    // Ends the job once: the job winds down, then the observer shows the outcome and closes.
    // A second call (a cancel racing the job's own end) returns at once. failedFiles: the
    // inputs that failed, the message saying why.
    void Finish(const std::string& message, JobResult result,
                const std::vector<std::string>& failedFiles = {});
    void Finish(JobOutcome outcome);
    // Runs once on the outcome of a job that was not cancelled, before the observer sees it:
    // a source adds to the final message what it alone knows (the CD job's verified rip).
    void OnFinish(std::function<void(JobOutcome&)> hook);
    // True once Finish ran or the job's end was otherwise settled.
    bool Finished() const { return finished_; }
    // Settles the end without a final message; false when it was settled before.
    bool MarkFinished() { return !finished_.exchange(true); }

private:
    JobRequest request_;
    JobObserver& observer_;
    std::unique_ptr<Job> job_;
    std::thread worker_;
    std::atomic<bool> started_{false};
    std::atomic<bool> workerRunning_{false};
    std::atomic<bool> cancelRequested_{false};
    std::atomic<bool> finished_{false};
    mutable std::mutex outcomeMutex_;
    JobOutcome outcome_;
    std::function<void(JobOutcome&)> finishHook_;  // under outcomeMutex_
};

}  // namespace orvane::encoder
