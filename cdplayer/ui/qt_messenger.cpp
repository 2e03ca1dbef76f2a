#include "cdplayer/ui/qt_messenger.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "platform/base/wintypes.h"

namespace orvane::cdplayer::ui {

int RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                  unsigned flags) {
    QMessageBox box(owner);
    box.setWindowTitle(
        QString::fromStdString(caption.empty() ? QtMessenger::kDefaultCaption : caption));
    box.setText(QString::fromStdString(text));
    switch (flags & 0xF0) {
        case MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONWARNING:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    switch (flags & 0x0F) {
        case MB_OKCANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MB_YESNO:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case 3:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        case QMessageBox::Cancel:
            return IDCANCEL;
        case QMessageBox::Ok:
            return IDOK;
        default:
            return (flags & 0x0F) == MB_YESNO ? IDNO : IDCANCEL;
    }
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
