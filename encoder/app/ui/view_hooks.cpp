#include "encoder/app/ui/view_hooks.h"

namespace orvane::encoder::ui {

namespace {
std::map<int, std::function<int(QWidget*)>>& Dialogs() {
    static std::map<int, std::function<int(QWidget*)>> dialogs;
    return dialogs;
}
}  // namespace

void RegisterWizardDialog(int dialogId, std::function<int(QWidget*)> run) {
    Dialogs()[dialogId] = std::move(run);
}

const std::map<int, std::function<int(QWidget*)>>& WizardDialogs() { return Dialogs(); }

namespace {
std::map<int, std::function<void(QWidget*, QtWindowPort&)>>& Pages() {
    static std::map<int, std::function<void(QWidget*, QtWindowPort&)>> pages;
    return pages;
}
}  // namespace

void RegisterWizardPage(int pageId, std::function<void(QWidget*, QtWindowPort&)> build) {
    Pages()[pageId] = std::move(build);
}

const std::map<int, std::function<void(QWidget*, QtWindowPort&)>>& WizardPages() { return Pages(); }

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
