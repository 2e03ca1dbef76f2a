#include "cdplayer/ui/qt_messenger.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "platform/base/wintypes.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::cdplayer::ui {

int RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                  unsigned flags) {
    return orvane::RunMessageBox(owner, text,
                                 caption.empty() ? QtMessenger::kDefaultCaption : caption, flags);
}

QtMessenger::QtMessenger() = default;

int QtMessenger::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    if (handler_) return handler_(text, caption, flags);
    if (QThread::currentThread() == thread()) {
        {
            std::lock_guard g(mutex_);
            if (cancelled_) return IDCANCEL;
        }
        return RunMessageBox(owner_, text, caption, flags);
    }
    unsigned long long ticket = 0;
    {
        std::lock_guard g(mutex_);
        if (cancelled_) return IDCANCEL;
        ticket = ++asked_;
    }
    // Boxes from the worker are shown one at a time, in the order they were asked for.
    QMetaObject::invokeMethod(
        this,
        [this, text, caption, flags, ticket] {
            bool cancelled;
            {
                std::lock_guard g(mutex_);
                cancelled = cancelled_;
            }
            const int answer = cancelled ? IDCANCEL : RunMessageBox(owner_, text, caption, flags);
            {
                std::lock_guard g(mutex_);
                done_ = ticket;
                lastAnswer_ = answer;
            }
            answered_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock l(mutex_);
    answered_.wait(l, [&] { return cancelled_ || done_ >= ticket; });
    return cancelled_ ? IDCANCEL : lastAnswer_;
}

void QtMessenger::Cancel() {
    {
        std::lock_guard g(mutex_);
        cancelled_ = true;
    }
    answered_.notify_all();
}

}  // namespace orvane::cdplayer::ui
