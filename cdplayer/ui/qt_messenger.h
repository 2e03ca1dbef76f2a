#pragma once
// Message boxes of the player on Qt. A box asked for on the GUI thread runs at once; one asked
// for by the status thread is shown on the GUI thread while the status thread waits for the
// answer. Closing the player releases a waiting thread, so stopping it never deadlocks.

#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "cdplayer/messenger.h"

class QWidget;

namespace orvane::cdplayer::ui {

// Shows a modal box with the Win32 button and icon flags; returns IDOK, IDYES, IDNO ...
int RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                  unsigned flags);

class QtMessenger : public QObject, public Messenger {
public:
    using Handler =
        std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;

    QtMessenger();

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;

    // Owner window of the boxes (may be null).
    void SetOwner(QWidget* owner) { owner_ = owner; }
    // Answers every box without showing it (tests, screenshots); called on the asking thread.
    void SetHandler(Handler handler) { handler_ = std::move(handler); }
    // From now on boxes are not shown and a waiting thread gets IDCANCEL.
    void Cancel();

    static constexpr const char* kDefaultCaption = "Tarvo";

private:
    QWidget* owner_ = nullptr;
    Handler handler_;
    std::mutex mutex_;
    std::condition_variable answered_;
    bool cancelled_ = false;
    unsigned long long asked_ = 0;
    unsigned long long done_ = 0;
    int lastAnswer_ = 0;
};

}  // namespace orvane::cdplayer::ui
