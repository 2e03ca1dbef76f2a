#include "encoder/app/status_dialog.h"

#include "encoder/app/encoder_app.h"
#include "encoder/app/resource.h"
#include "encoder/job/job_notice.h"
#include "platform/clock/clock.h"

namespace orvane::encoder {

namespace {

int TextControl(JobText which) {
    switch (which) {
        case JobText::Title:
            return 0;
        case JobText::Input:
            return IDC_STATUS_INPUT;
        case JobText::Output:
            return IDC_STATUS_OUTPUT;
        case JobText::Elapsed:
            return IDC_STATUS_ELAPSED;
        case JobText::Remaining:
            return IDC_STATUS_REMAINING;
        case JobText::Rate:
            return IDC_STATUS_FPS;
        case JobText::Bitrate:
            return IDC_STATUS_BITRATE;
        case JobText::FileNumber:
            return IDC_STATUS_FILENO;
        case JobText::FileCount:
            return IDC_STATUS_FILECOUNT;
        case JobText::Compression:
            return IDC_STATUS_COMPRESSION;
        case JobText::Log:
            return IDC_STATUS_LOG;
    }
    return IDC_STATUS_LOG;
}

int BarControl(JobBar bar) {
    return bar == JobBar::CurrentFile ? IDC_STATUS_FILEBAR : IDC_STATUS_OVERALLBAR;
}

}  // namespace

ProcessingStatusDialog::ProcessingStatusDialog(EncoderApp& app) : app_(app), sheet_(app) {}

ProcessingStatusDialog::~ProcessingStatusDialog() { Detach(); }

void ProcessingStatusDialog::Detach() {
    // The window is going: a job still running is cancelled quietly.
    if (runner_) runner_->Stop();
    port_ = nullptr;
}

void ProcessingStatusDialog::WaitForWorker() {
    if (runner_) runner_->Wait();
}

JobOutcome ProcessingStatusDialog::Outcome() const {
    return runner_ ? runner_->Outcome() : JobOutcome{};
}

std::string ProcessingStatusDialog::LogText() const {
    std::lock_guard lock(logMutex_);
    return log_;
}

// ---------------------------------------------------------------------------------------------
// Window events

void ProcessingStatusDialog::InitControls() {
    WindowPort& w = *port_;
    w.SetText(IDC_STATUS_INPUT, "");
    w.SetText(IDC_STATUS_OUTPUT, "");
    w.SetText(IDC_STATUS_ELAPSED, "00:00:00");
    w.SetText(IDC_STATUS_REMAINING, "00:00:00");
    w.SetText(IDC_STATUS_FPS, "FPS");
    w.SetText(IDC_STATUS_BITRATE, "0kbps");
    w.SetText(IDC_STATUS_FILENO, "1");
    w.SetText(IDC_STATUS_FILECOUNT, "1");
    w.SetText(IDC_STATUS_COMPRESSION, "0MB Compressed to 0MB");
}

void ProcessingStatusDialog::OnInitDialog() {
    InitControls();
    int result = port_->DoModal(IDD_SHEET);
    if (result == IDCANCEL || sheet_.Result() != ID_WIZFINISH || sheet_.InputText().empty() ||
        sheet_.OutputText().empty()) {
        port_->PostCommand(IDCANCEL);
        return;
    }
    StartJob(sheet_.Request());
}

void ProcessingStatusDialog::StartJob(const JobRequest& request) {
    WindowPort& w = *port_;
    {
        std::lock_guard lock(logMutex_);
        log_.clear();
    }
    w.SetText(IDC_STATUS_LOG, "");
    runner_ = std::make_unique<JobRunner>(request, *this);
    w.SetText(IDC_STATUS_INPUT, runner_->Request().input);
    w.SetText(IDC_STATUS_OUTPUT, runner_->Request().output);
    runner_->Start();
    if (const auto& started = TheJobWindowHooks().started) started(runner_->Request());
}

void ProcessingStatusDialog::OnCancel() {
    if (!JobStarted()) {
        port_->EndDialog(IDCANCEL);
        return;
    }
    runner_->Cancel();
}

void ProcessingStatusDialog::OnTimer(int timerId) {
    if (timerId == ID_TIMER_WMA_END) {
        port_->KillTimer(ID_TIMER_WMA_END);
        clock::Pause(500);
        port_->EndDialog(IDCANCEL);
    }
    if (runner_) runner_->Tick(timerId);
}

void ProcessingStatusDialog::OnSysCommand(int commandId) {
    if (commandId == IDM_ABOUTBOX) port_->DoModal(IDD_ABOUTBOX);
}

// ---------------------------------------------------------------------------------------------
// The job's reports

void ProcessingStatusDialog::JobSetText(JobText which, const std::string& text) {
    if (which == JobText::Log) {
        std::lock_guard lock(logMutex_);
        log_ = text;
    }
    port_->SetText(TextControl(which), text);
}

void ProcessingStatusDialog::JobSetRange(JobBar bar, int low, int high) {
    port_->SetRange(BarControl(bar), low, high);
}

void ProcessingStatusDialog::JobSetPos(JobBar bar, int pos) { port_->SetPos(BarControl(bar), pos); }

void ProcessingStatusDialog::JobSetCounter(JobCounter which, int value) {
    port_->SetPos(which == JobCounter::CurrentFrame ? IDC_STATUS_FRAME : IDC_STATUS_FRAMES, value);
}

int ProcessingStatusDialog::JobMessage(const std::string& text, const std::string& caption,
                                       unsigned flags) {
    return port_->MessageBox(text, caption, flags);
}

void ProcessingStatusDialog::JobFinished(const JobOutcome& outcome) {
    message_ = outcome.message;
    if (const auto& finished = TheJobWindowHooks().finished) finished(runner_->Request(), outcome);
    if (!outcome.message.empty()) port_->MessageBox(outcome.message, "", MB_OK);
    port_->EndDialog(IDCANCEL);
}

void ProcessingStatusDialog::JobWorkerEnded() {
    if (const auto& ended = TheJobWindowHooks().ended) ended();
}

void ProcessingStatusDialog::JobClose(int result) { port_->EndDialog(result); }

void ProcessingStatusDialog::JobRedraw() { port_->Redraw(); }

void ProcessingStatusDialog::JobStatisticsTimer(unsigned periodMs) {
    if (periodMs > 0)
        port_->SetTimer(ID_TIMER_WMA, periodMs);
    else
        port_->KillTimer(ID_TIMER_WMA);
}

void ProcessingStatusDialog::JobCloseAfter(unsigned ms) { port_->SetTimer(ID_TIMER_WMA_END, ms); }

void ProcessingStatusDialog::JobWaitCursor(bool on) { port_->SetWaitCursor(on); }

void ProcessingStatusDialog::JobProcessMessages() { port_->ProcessMessages(); }

void ProcessingStatusDialog::JobSetOthers(const std::vector<std::string>& lines) {
    // The list appears with the first file that runs beside another and stays to the end.
    if (lines.empty() && !othersShown_) return;
    if (!othersShown_.exchange(true)) port_->Show(IDC_STATUS_OTHERS, true);
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\r\n") + line;
    port_->SetText(IDC_STATUS_OTHERS, text);
}

}  // namespace orvane::encoder
