#include <QAbstractButton>
#include <QDialog>
#include <QTimer>

#include "encoder/app/resource.h"
#include "encoder/app/tag_dialog.h"
#include "encoder/app/ui/dialog_layouts.h"
#include "encoder/app/ui/modal_run.h"
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
        port_.OnEndDialog([this](int result) { run_.End(result, [this](int r) { done(r); }); });
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
        const int result = run_.Exec(*this, [this] {
            QTimer::singleShot(0, this, [this] { ReportShown(this, IDD_ID3TAG); });
        });
        logic_.Attach(nullptr);
        return result;
    }

protected:
    void reject() override { logic_.OnCancel(); }

private:
    TagDialog& logic_;
    QtWindowPort port_;
    ModalRun run_;
};

}  // namespace

int RunTagDialog(TagDialog& dialog, QWidget* owner) {
    TagWindow window(dialog, owner);
    return window.Run();
}

}  // namespace orvane::encoder::ui
