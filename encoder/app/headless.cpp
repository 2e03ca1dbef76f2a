#include "encoder/app/headless.h"

#include "encoder/app/status_dialog.h"

namespace orvane::encoder {

int MemoryWindow::MessageBox(const std::string& text, const std::string&, unsigned flags) {
    std::lock_guard l(m_);
    messages_.push_back(text);
    if (out_) *out_ << text << std::endl;
    return (flags & 0xF) == MB_YESNO ? IDYES : IDOK;
}

void MemoryWindow::EndDialog(int result) {
    std::lock_guard l(m_);
    ended_.push_back(result);
}

std::vector<std::string> MemoryWindow::Messages() const {
    std::lock_guard l(m_);
    return messages_;
}

std::vector<int> MemoryWindow::Ended() const {
    std::lock_guard l(m_);
    return ended_;
}

JobOutcome RunHeadlessJob(EncoderApp& app, const JobRequest& request, MemoryWindow& window) {
    ProcessingStatusDialog dialog(app);
    dialog.Attach(&window);
    dialog.StartJob(request);
    dialog.WaitForWorker();
    dialog.Detach();
    return dialog.Outcome();
}

}  // namespace orvane::encoder
