#pragma once
// ProcessingStatusDialog (dialog 102): runs the wizard, then the job the wizard asked for, and
// shows that job's reports in its controls, texts and message boxes. The job itself runs in a
// JobRunner; the view implements the WindowPort and forwards the dialog's events.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "encoder/app/wizard.h"
#include "encoder/job/job_runner.h"
#include "platform/window/window_port.h"

namespace orvane::encoder {

struct EncoderApp;

class ProcessingStatusDialog : public JobObserver {
public:
    explicit ProcessingStatusDialog(EncoderApp& app);
    ~ProcessingStatusDialog() override;
    ProcessingStatusDialog(const ProcessingStatusDialog&) = delete;
    ProcessingStatusDialog& operator=(const ProcessingStatusDialog&) = delete;

    // The dialog window's port. Before the window goes away the view calls Detach(), which
    // stops and joins the job's threads.
    void Attach(WindowPort* port) { port_ = port; }
    void Detach();

    // The wizard, run by OnInitDialog through DoModal(IDD_SHEET).
    MLSheet& Sheet() { return sheet_; }

    // --- Events from the view (GUI thread) ---
    // Runs the wizard and starts the job it asks for.
    void OnInitDialog();
    // Cancel button, Escape, the close box and the close request posted to itself.
    void OnCancel();
    void OnTimer(int timerId);
    void OnSysCommand(int commandId);

    // Starts the job of a request without the wizard (the command-line runner and tests).
    void StartJob(const JobRequest& request);
    // The window's first texts, then the job of a request without the wizard (the review
    // pictures of a batch).
    void OnInitDialogWith(const JobRequest& request) {
        InitControls();
        StartJob(request);
    }

    bool JobStarted() const { return runner_ && runner_->Started(); }
    bool WorkerRunning() const { return runner_ && runner_->WorkerRunning(); }
    bool CancelRequested() const { return runner_ && runner_->CancelRequested(); }
    // True while the job does its work (its child's output is read, its engine runs).
    bool JobBusy() const { return runner_ && runner_->Busy(); }
    JobOutcome Outcome() const;
    const std::string& FinalMessage() const { return message_; }
    // The log as last shown.
    std::string LogText() const;
    // Waits until the worker thread has ended (tests and the headless driver).
    void WaitForWorker();

    // --- JobObserver: the job's reports, from any of its threads ---
    void JobSetText(JobText which, const std::string& text) override;
    void JobSetRange(JobBar bar, int low, int high) override;
    void JobSetPos(JobBar bar, int pos) override;
    void JobSetCounter(JobCounter which, int value) override;
    int JobMessage(const std::string& text, const std::string& caption, unsigned flags) override;
    void JobFinished(const JobOutcome& outcome) override;
    void JobClose(int result) override;
    void JobRedraw() override;
    void JobStatisticsTimer(unsigned periodMs) override;
    void JobCloseAfter(unsigned ms) override;
    void JobWaitCursor(bool on) override;
    void JobProcessMessages() override;
    void JobSetOthers(const std::vector<std::string>& lines) override;
    void JobWorkerEnded() override;

private:
    void InitControls();

    EncoderApp& app_;
    WindowPort* port_ = nullptr;
    MLSheet sheet_;
    std::unique_ptr<JobRunner> runner_;
    std::string message_;
    mutable std::mutex logMutex_;
    std::string log_;
    std::atomic<bool> othersShown_{false};
};

}  // namespace orvane::encoder
