#pragma once
// The run of a window its logic drives modally. The logic may end the window during its own
// initialisation, before the window runs (it then never appears), or at any time while it runs.

#include <QDialog>
#include <functional>

#include "platform/window/window_port.h"

namespace orvane::encoder::ui {

class ModalRun {
public:
    // The logic's end of the window (the port's end-dialog request): close runs at once when the
    // window runs; otherwise the window will not run.
    void End(int result, const std::function<void(int)>& close) {
        ended_ = true;
        result_ = result;
        if (running_) close(result);
    }
    // Unless the logic has ended it already: prepare(), then the window runs modally. Returns
    // the logic's result (IDCANCEL when it gave none).
    int Exec(QDialog& window, const std::function<void()>& prepare) {
        if (!ended_) {
            prepare();
            running_ = true;
            result_ = window.exec();
            running_ = false;
        }
        return result_;
    }

private:
    bool running_ = false;
    bool ended_ = false;
    int result_ = IDCANCEL;
};

}  // namespace orvane::encoder::ui
