#pragma once
// Hooks into the encoder front-end's windows for automation: answering message boxes and
// pickers without a user, and watching each window as it appears (screenshots, view tests).

#include <QWidget>
#include <functional>
#include <map>

#include "platform/window/qt/qt_window_port.h"

namespace orvane::encoder::ui {

struct ViewHooks {
    // Called on the GUI thread once a window has been laid out and shown (dialogId: its
    // resource number; 104-106 and 619 for the wizard pages as they become active).
    std::function<void(QWidget* window, int dialogId)> shown;
    QtWindowPort::MessageBoxHandler messageBox;
    QtWindowPort::PickerHandler picker;
    // Splash display time in milliseconds instead of the requested one (-1: as requested).
    int splashMs = -1;
};

// Dialogs that other parts of the program add to the wizard (the CD grabber 143, the options
// dialog 183, ...): each runs modally over its owner and returns its result. The wizard offers
// them to its logic's DoModal requests.
void RegisterWizardDialog(int dialogId, std::function<int(QWidget* owner)> run);
const std::map<int, std::function<int(QWidget*)>>& WizardDialogs();

// Wizard pages that other parts of the program lay out (the WMA settings page 619): the
// builder places the page's controls on page and binds them in the page's own port.
void RegisterWizardPage(int pageId, std::function<void(QWidget* page, QtWindowPort& port)> build);
const std::map<int, std::function<void(QWidget*, QtWindowPort&)>>& WizardPages();

// The hooks in force (none by default).
ViewHooks& Hooks();

// Applies the message box and picker hooks to a window's port.
void ApplyHooks(QtWindowPort& port);
// Reports a shown window to the hook.
void ReportShown(QWidget* window, int dialogId);

}  // namespace orvane::encoder::ui
