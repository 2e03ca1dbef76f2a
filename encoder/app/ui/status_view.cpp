#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <atomic>
#include <thread>

#include "encoder/app/resource.h"
#include "encoder/app/status_dialog.h"
#include "encoder/app/ui/dialog_layouts.h"
#include "encoder/app/ui/modal_run.h"
#include "encoder/app/ui/view_hooks.h"
#include "encoder/app/ui/views.h"
#include "encoder/app/ui/windows.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::encoder::ui {

namespace {

class StatusWindow : public QDialog {
public:
    explicit StatusWindow(ProcessingStatusDialog& logic)
        : QDialog(nullptr, Qt::Dialog | Qt::WindowMinimizeButtonHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
          logic_(logic),
          port_(this) {
        setWindowTitle("Orvane Encoder 2001 - Processing Status");
        setWindowIcon(QIcon(QString(":/icons/%1.png").arg(IDR_MAINFRAME)));
        ApplyHooks(port_);
        BuildStatusWindow(this, port_);
        InstallWindowMenu(this, [this](int command) { logic_.OnSysCommand(command); });
        port_.OnCommand([this](int command) {
            if (command == IDCANCEL) logic_.OnCancel();
        });
        port_.OnTimer([this](int timerId) { logic_.OnTimer(timerId); });
        port_.OnEndDialog([this](int result) { run_.End(result, [this](int r) { done(r); }); });
        port_.RegisterDialog(IDD_SHEET, [this](QWidget*) {
            // The wizard comes before the status window is shown; it has no owner then.
            return RunSheet(logic_.Sheet(), isVisible() ? this : nullptr);
        });
        port_.RegisterDialog(IDD_ABOUTBOX, [](QWidget* owner) { return RunAboutBox(owner); });
        if (auto* cancel = qobject_cast<QAbstractButton*>(port_.Control(IDCANCEL))) {
            connect(cancel, &QAbstractButton::clicked, this, [this] { logic_.OnCancel(); });
        }
    }

    // request: the job to run without the wizard; null runs the wizard first.
    int Run(const JobRequest* request = nullptr) {
        logic_.Attach(&port_);
        if (request)
            logic_.OnInitDialogWith(*request);
        else
            logic_.OnInitDialog();
        // A close request the initialisation posted to itself (the wizard was cancelled or
        // left without paths) is handled before the window would appear. A job's reports wait
        // for the window: its messages are owned by the window on show.
        if (!logic_.JobStarted()) QCoreApplication::sendPostedEvents(&port_, QEvent::MetaCall);
        const int result = run_.Exec(*this, [this] {
            QTimer::singleShot(0, this, [this] { ReportShown(this, IDD_PROCESSING_STATUS); });
        });
        // The job's threads are stopped and joined while the GUI thread keeps serving them:
        // a worker may be waiting for an answer from this thread. The window's own events no
        // longer reach the logic meanwhile.
        port_.OnCommand(nullptr);
        port_.OnTimer(nullptr);
        for (int id : {ID_TIMER_PROGRESS, ID_TIMER_WMA, ID_TIMER_WMA_END})
            port_.KillTimer(id);
        std::atomic<bool> detached{false};
        std::thread detach([&] {
            logic_.Detach();
            detached = true;
        });
        while (!detached)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        detach.join();
        return result;
    }

protected:
    // Escape and the close box reach the dialog's cancel operation.
    void reject() override { logic_.OnCancel(); }

private:
    ProcessingStatusDialog& logic_;
    QtWindowPort port_;
    ModalRun run_;
};

}  // namespace

int RunStatusDialog(ProcessingStatusDialog& dialog) {
    StatusWindow window(dialog);
    return window.Run();
}

int RunStatusDialogFor(ProcessingStatusDialog& dialog, const JobRequest& request) {
    StatusWindow window(dialog);
    return window.Run(&request);
}

}  // namespace orvane::encoder::ui
