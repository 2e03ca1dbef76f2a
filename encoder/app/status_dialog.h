#pragma once
// ProcessingStatusDialog (dialog 102): runs the wizard, then one job on a worker thread, shows
// its progress and ends it through FinishJob. The view implements the WindowPort and forwards
// the dialog's events; worker threads reach the window only through that port.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "encoder/app/job.h"
#include "encoder/app/wizard.h"
#include "platform/process/process.h"
#include "platform/window/window_port.h"

namespace orvane::encoder {

struct EncoderApp;

// The job record: what the wizard chose and what the running job keeps.
struct JobRecord {
    std::string inputPath, outputPath;
    JobKind kind = JobKind::EncodeMp3;
    EncoderSettings settings;
    int layer = 3;
    int psychoacousticModel = 2;
    int bitrateKbps = 0;
    std::uint32_t sampleRate = 0;
    EncoderCommandLine options;
    DWORD exitCode = 1234;
    // Folder scan of a batch.
    std::string batchFolder, batchPattern;
    bool firstFind = true;
    std::vector<std::string> finder;
    std::size_t findIndex = 0;
    // CD-Audio grabbing.
    int trackNumber = 0;
    std::int64_t grabPosition = 0;
    bool showCompressionInfo = false;
    // The file now being worked on.
    std::string currentInput, currentOutput;
};

class ProcessingStatusDialog {
public:
    explicit ProcessingStatusDialog(EncoderApp& app);
    ~ProcessingStatusDialog();
    ProcessingStatusDialog(const ProcessingStatusDialog&) = delete;
    ProcessingStatusDialog& operator=(const ProcessingStatusDialog&) = delete;

    // The dialog window's port. Before the window goes away the view calls Detach(), which
    // stops and joins the job's threads.
    void Attach(WindowPort* port) { port_ = port; }
    void Detach();

    // The wizard, run by OnInitDialog through DoModal(IDD_SHEET).
    MLSheet& Sheet() { return sheet_; }

    // --- Events from the view (GUI thread) ---
    void OnInitDialog();
    // Cancel button, Escape, the close box and the close request posted to itself.
    void OnCancel();
    void OnTimer(int timerId);
    void OnSysCommand(int commandId);

    // --- Used by the jobs ---
    void ProgressUpdate(int eventId);
    void DecoderProgressUpdate();
    void FinishJob(const std::string& message);
    // Fills the job record and the option strings from the wizard.
    void BuildEncoderOptions();
    // The next file of a batch: full path, or empty when no file is left.
    std::string NextBatchFile();

    // The input counters the progress updates read (the WMA job keeps them too); -1 as the
    // position means no input is open.
    void SetInputProgress(std::int64_t inputSize, std::int64_t position, std::int64_t bytesFed) {
        inputSize_ = inputSize;
        inputPosition_ = position;
        bytesFed_ = bytesFed;
    }
    // The WMA job marks the time it runs (the reader flag of the MP3 jobs stands for it).
    void MarkWmaJobRunning(bool running) {
        if (running)
            readerDone_ = false;
        else
            SetReaderDone();
    }
    // Start time = now (the elapsed time counts from here).
    void ResetStartTime();

    EncoderApp& App() { return app_; }
    WindowPort& Port() { return *port_; }
    JobRecord& Job() { return job_; }

    bool JobStarted() const { return jobStarted_; }
    bool WorkerRunning() const { return workerRunning_; }
    bool CancelRequested() const { return cancelRequested_; }
    bool ReaderDone() const { return readerDone_; }
    const std::string& FinalMessage() const { return message_; }
    std::string LogText();
    // Waits until the worker thread has ended (tests and the headless driver).
    void WaitForWorker();

    // Waits ms on the toolkit's clock, returning early once the job is cancelled.
    void WaitMs(unsigned ms);

    // One file through a child program. Returns false when the job has ended (FinishJob
    // was called, or the input could not be opened).
    int OpenInput(const std::string& input, const std::string& output, std::int64_t& size);
    bool EncodeFile(const std::string& input, const std::string& output, bool batch);
    bool DecodeFile(const std::string& input, const std::string& output);

private:
    void StartWorker();
    void RunJob();
    void RunEncoderJob();
    void RunDecoderJob();

    // Child start, feed end and clean-up shared by both jobs.
    bool StartChild(const std::string& program, const std::vector<std::string>& args, int pipeSize);
    void StopReaderAndClosePipes(bool decoder);
    void WaitChildAndReader();
    void ReaderBody(int fd);
    void SetReaderDone();
    bool WriteStopByte();
    bool ShowBox(const std::string& text, unsigned flags);
    void SetBars100();
    // Sets cancelRequested_ and ends a WaitMs in progress.
    void RequestCancel();

    EncoderApp& app_;
    WindowPort* port_ = nullptr;
    MLSheet sheet_;
    JobRecord job_;

    std::thread worker_;
    std::thread reader_;
    std::atomic<bool> jobStarted_{false};
    std::atomic<bool> workerRunning_{false};
    std::atomic<bool> readerDone_{true};
    std::atomic<bool> cancelRequested_{false};
    std::atomic<bool> finished_{false};
    // Every file of the job has been handled; only the closing pause and message are left.
    std::atomic<bool> filesDone_{false};
    std::string message_;

    // Progress.
    std::atomic<std::int64_t> inputSize_{0};
    std::atomic<std::int64_t> inputPosition_{-1};
    std::atomic<std::int64_t> bytesFed_{0};
    std::atomic<std::int64_t> bytesWritten_{0};
    std::int64_t startTime_ = 0;
    std::int64_t framesTotal_ = 0;
    std::int64_t framesAtLastUpdate_ = 0;
    std::mutex updateMutex_;

    // Pipes of the current file: A feeds the child, B carries its output. A's write end is the
    // worker's alone; B's write end is shared (stop bytes) under pipeMutex_; B's read end
    // belongs to the reader thread, which closes it.
    std::mutex pipeMutex_;
    process::Pipe pipeA_, pipeB_;
    std::unique_ptr<process::Process> child_;
    process::WakeEvent cancelWake_;
    std::unique_ptr<process::WakeEvent> drainWake_;
    std::mutex readerMutex_;
    std::condition_variable readerCv_;

    // Log box.
    std::mutex logMutex_;
    std::string log_;
    std::uint64_t lastLogShown_ = 0;
    std::string stoppingText_;
};

}  // namespace orvane::encoder
