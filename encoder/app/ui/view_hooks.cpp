#include "encoder/app/ui/view_hooks.h"

namespace orvane::encoder::ui {

ViewHooks& Hooks() {
    static ViewHooks hooks;
    return hooks;
}

void ApplyHooks(QtWindowPort& port) {
    if (Hooks().messageBox) port.SetMessageBoxHandler(Hooks().messageBox);
    if (Hooks().picker) port.SetPickerHandler(Hooks().picker);
}

void ReportShown(QWidget* window, int dialogId) {
    if (Hooks().shown) Hooks().shown(window, dialogId);
}

}  // namespace orvane::encoder::ui
