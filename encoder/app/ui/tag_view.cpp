#include <QAbstractButton>
#include <QDialog>
#include <QTimer>

#include "encoder/app/resource.h"
#include "encoder/app/tag_dialog.h"
#include "encoder/app/ui/dialog_layouts.h"
#include "encoder/app/ui/view_hooks.h"
#include "encoder/app/ui/views.h"
#include "platform/window/qt/qt_window_port.h"

namespace orvane::encoder::ui {

namespace {

class TagWindow : public QDialog {
public:
    TagWindow(TagDialog& logic, QWidget* owner) : QDialog(owner), logic_(logic), port_(this) {
        setWindowTitle("ID3 Tag Information for selected Track/Song...");
        ApplyHooks(port_);
        BuildTagDialog(this, port_);
        port_.OnEndDialog([this](int result) {
            ended_ = true;
            result_ = result;
            if (running_) done(result);
        });
        if (auto* ok = qobject_cast<QAbstractButton*>(port_.Control(IDOK))) {
            connect(ok, &QAbstractButton::clicked, this, [this] { logic_.OnOK(); });
        }
        if (auto* cancel = qobject_cast<QAbstractButton*>(port_.Control(IDCANCEL))) {
            connect(cancel, &QAbstractButton::clicked, this, [this] { reject(); });
        }
    }

    int Run() {
        logic_.Attach(&port_);
        logic_.OnInitDialog();
        if (!ended_) {
            QTimer::singleShot(0, this, [this] { ReportShown(this, IDD_ID3TAG); });
            running_ = true;
            result_ = exec();
            running_ = false;
        }
        logic_.Attach(nullptr);
        return result_;
    }

protected:
    void reject() override { logic_.OnCancel(); }

private:
    TagDialog& logic_;
    QtWindowPort port_;
    bool running_ = false;
    bool ended_ = false;
    int result_ = IDCANCEL;
};

}  // namespace

int RunTagDialog(TagDialog& dialog, QWidget* owner) {
    TagWindow window(dialog, owner);
    return window.Run();
}

}  // namespace orvane::encoder::ui
