#pragma once
// The one seam between logic and windows. Logic addresses controls by their dialog control ids;
// a Qt window implements the port (calls from worker threads are queued to the GUI thread, a
// message box blocks the caller until answered), tests implement it with a recorder.

#include <string>
#include <vector>

#include "platform/base/wintypes.h"

namespace orvane {

// Message box styles beside those of platform/base/wintypes.h: the second button as the
// default, and ours, "Yes to All" (IDYES) and "No" (IDNO) for one question about several files.
constexpr unsigned MB_DEFBUTTON2 = 0x100;
constexpr unsigned kMbYesToAllNo = 0x7;

class WindowPort {
public:
    virtual ~WindowPort() = default;

    // Static texts, edits, labels and the window's own title (controlId 0).
    virtual void SetText(int controlId, const std::string& text) = 0;
    virtual std::string Text(int controlId) const = 0;

    // Progress bars, sliders, up-down controls and digit counters.
    virtual void SetRange(int controlId, int low, int high) = 0;
    virtual void SetPos(int controlId, int pos) = 0;
    virtual int Pos(int controlId) const = 0;

    virtual void Enable(int controlId, bool enabled) = 0;
    virtual bool IsEnabled(int controlId) const = 0;
    virtual void Show(int controlId, bool visible) = 0;

    // Check boxes and radio buttons (0 or 1).
    virtual void SetCheck(int controlId, int state) = 0;
    virtual int Check(int controlId) const = 0;

    // List boxes and combo boxes: items, selection (-1 for none) and per-item data.
    virtual void ResetContent(int controlId) = 0;
    virtual int AddString(int controlId, const std::string& text) = 0;
    virtual void SetItemData(int controlId, int index, long data) = 0;
    virtual long ItemData(int controlId, int index) const = 0;
    virtual int Count(int controlId) const = 0;
    virtual std::string ItemText(int controlId, int index) const = 0;
    virtual void SetCurSel(int controlId, int index) = 0;
    virtual int CurSel(int controlId) const = 0;
    virtual void DeleteString(int controlId, int index) = 0;

    // List views with columns and check boxes: Count, ResetContent, CurSel, SetCurSel,
    // SetItemData and ItemData address their rows as they do a list box's items.
    virtual void SetColumns(int /*controlId*/, const std::vector<std::string>& /*headers*/) {}
    // Sets the texts of a row; a row number equal to the row count appends a row.
    virtual void SetListRow(int /*controlId*/, int /*row*/,
                            const std::vector<std::string>& /*texts*/) {}
    virtual void SetListCell(int /*controlId*/, int /*row*/, int /*column*/,
                             const std::string& /*text*/) {}
    virtual void SetRowCheck(int /*controlId*/, int /*row*/, bool /*checked*/) {}

    // A modal message box owned by the window; returns IDOK, IDYES, IDNO ...
    // An empty caption means the program's default caption.
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;

    // Ends the modal window with a result (IDOK, IDCANCEL ...).
    virtual void EndDialog(int result) = 0;

    // Asks the window to repaint itself.
    virtual void Redraw() {}

    // Shows an image (the bytes of a JPEG or PNG file) in a picture control; empty: none.
    virtual void SetImage(int /*controlId*/, const std::vector<unsigned char>& /*bytes*/) {}

    // The text of one cell of a list view (empty when there is none).
    virtual std::string ListCell(int /*controlId*/, int /*row*/, int /*column*/) const {
        return {};
    }

    // Pickers; each returns an empty text when the user cancels. A filter has the form
    // "Windows PCM (*.wav)|*.wav|All Files (*.*)|*.*||".
    virtual std::string ChooseOpenFile(const std::string& /*title*/, const std::string& /*filter*/,
                                       const std::string& /*initial*/) {
        return {};
    }
    virtual std::string ChooseSaveFile(const std::string& /*title*/, const std::string& /*filter*/,
                                       const std::string& /*initial*/) {
        return {};
    }
    virtual std::string ChooseFolder(const std::string& /*title*/) { return {}; }

    // Runs another dialog (by its resource id) modally, owned by this window; returns its result.
    virtual int DoModal(int /*dialogId*/) { return IDCANCEL; }

    // Posts a command to this window's own queue (for example IDCANCEL as a close request).
    virtual void PostCommand(int /*commandId*/) {}

    // Timers of the window; each tick reaches the window's logic with the timer id.
    virtual void SetTimer(int /*timerId*/, unsigned /*periodMs*/) {}
    virtual void KillTimer(int /*timerId*/) {}

    // The wait cursor over the window, and handling the window messages already waiting.
    virtual void SetWaitCursor(bool /*on*/) {}
    virtual void ProcessMessages() {}
};

// What only a wizard sheet's window does, next to its WindowPort. Every call must be
// implemented: a sheet cannot be attached to a window that lacks one.
class WizardPort {
public:
    virtual ~WizardPort() = default;

    // Enables the sheet's Back (1), Next (2) and Finish (4) buttons.
    virtual void SetWizardButtons(unsigned flags) = 0;
    // Shows the splash window over this window for at most ms milliseconds (a key or mouse
    // press closes it earlier) and returns when it has closed.
    virtual void ShowSplash(unsigned ms) = 0;
    // Opens a help file (a path) in the help window.
    virtual void ShowHelp(const std::string& path) = 0;
    // Plays the window open (opening) or close effect over the area of the sheet's pages and
    // returns when it has run.
    virtual void PlayPageEffect(bool opening) = 0;
};

}  // namespace orvane
