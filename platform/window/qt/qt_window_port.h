#pragma once
// The window port over Qt widgets. A window registers its widgets under their control ids; logic
// then drives them through orvane::WindowPort from any thread. Calls made on the GUI thread act at
// once. From another thread, changes are queued to the GUI thread in the order they were made
// (the caller goes on at once; of texts set faster than they are shown only each control's
// latest is shown), while queries, message boxes, pickers and child dialogs block the caller
// until the GUI thread has answered. A thread must therefore not query the window while the
// GUI thread waits for that thread.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/window/window_port.h"

class QTimer;

namespace orvane {

// A custom control that wants to be driven through the port implements this next to QWidget;
// the port prefers it over the standard widget kinds.
class PortControl {
public:
    virtual ~PortControl() = default;
    virtual void SetPortText(const std::string& /*text*/) {}
    virtual std::string PortText() const { return {}; }
    virtual void SetPortRange(int /*low*/, int /*high*/) {}
    virtual void SetPortPos(int /*pos*/) {}
    virtual int PortPos() const { return 0; }
};

// Converts a filter of the form "Name (*.a)|*.a|All Files (*.*)|*.*||" into Qt's form
// "Name (*.a);;All Files (*)". Patterns match without regard to case in the Qt pickers.
QString QtFilter(const std::string& filter);

// Shows a modal message box with the buttons and icon of a MB_* style on the GUI thread and
// returns the ID* answer; closing it without a button gives the cancel answer where there is one.
int RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                  unsigned flags);

class QtWindowPort : public QObject, public WindowPort {
public:
    using MessageBoxHandler =
        std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;
    using PickerHandler =
        std::function<std::string(int kind, const std::string& title, const std::string& filter)>;

    // window: the top-level widget whose title is control 0 and which owns message boxes and
    // child dialogs. Lives on the GUI thread.
    explicit QtWindowPort(QWidget* window);
    ~QtWindowPort() override;

    // Registers a widget under a control id (replacing an earlier one); a widget without a name
    // is named "id<controlId>".
    void Bind(int controlId, QWidget* widget);
    QWidget* Control(int controlId) const;
    QWidget* Window() const { return window_; }

    // Where posted commands and timer ticks go (called on the GUI thread).
    void OnCommand(std::function<void(int)> handler) { commandHandler_ = std::move(handler); }
    void OnTimer(std::function<void(int)> handler) { timerHandler_ = std::move(handler); }
    // What EndDialog does; by default a QDialog window is ended with done(result).
    void OnEndDialog(std::function<void(int)> handler) { endHandler_ = std::move(handler); }
    // Child dialogs by resource id, run by DoModal on the GUI thread.
    void RegisterDialog(int dialogId, std::function<int(QWidget* owner)> run);

    // Caption of message boxes given without one.
    void SetDefaultCaption(const std::string& caption) { defaultCaption_ = caption; }
    // Answers message boxes and pickers without showing them (automation and screenshots).
    void SetMessageBoxHandler(MessageBoxHandler handler) {
        messageBoxHandler_ = std::move(handler);
    }
    void SetPickerHandler(PickerHandler handler) { pickerHandler_ = std::move(handler); }
    static constexpr int kPickOpen = 0, kPickSave = 1, kPickFolder = 2;

    void SetText(int controlId, const std::string& text) override;
    std::string Text(int controlId) const override;
    void SetRange(int controlId, int low, int high) override;
    void SetPos(int controlId, int pos) override;
    int Pos(int controlId) const override;
    void Enable(int controlId, bool enabled) override;
    bool IsEnabled(int controlId) const override;
    void Show(int controlId, bool visible) override;
    void SetCheck(int controlId, int state) override;
    int Check(int controlId) const override;
    void ResetContent(int controlId) override;
    int AddString(int controlId, const std::string& text) override;
    void SetItemData(int controlId, int index, long data) override;
    long ItemData(int controlId, int index) const override;
    int Count(int controlId) const override;
    std::string ItemText(int controlId, int index) const override;
    void SetCurSel(int controlId, int index) override;
    int CurSel(int controlId) const override;
    void DeleteString(int controlId, int index) override;
    void SetColumns(int controlId, const std::vector<std::string>& headers) override;
    void SetListRow(int controlId, int row, const std::vector<std::string>& texts) override;
    void SetListCell(int controlId, int row, int column, const std::string& text) override;
    void SetRowCheck(int controlId, int row, bool checked) override;
    std::string ListCell(int controlId, int row, int column) const override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void EndDialog(int result) override;
    void Redraw() override;
    std::string ChooseOpenFile(const std::string& title, const std::string& filter,
                               const std::string& initial) override;
    std::string ChooseSaveFile(const std::string& title, const std::string& filter,
                               const std::string& initial) override;
    std::string ChooseFolder(const std::string& title) override;
    int DoModal(int dialogId) override;
    void PostCommand(int commandId) override;
    void SetTimer(int timerId, unsigned periodMs) override;
    void KillTimer(int timerId) override;
    void SetWaitCursor(bool on) override;
    void ProcessMessages() override;

protected:
    bool OnGuiThread() const;
    // Runs fn on the GUI thread: at once there, else queued behind the earlier changes.
    void Post(std::function<void()> fn);
    // Runs fn on the GUI thread and waits for it.
    void Call(const std::function<void()>& fn) const;

private:
    void DoSetText(int controlId, const std::string& text);
    // Shows the texts other threads set since the last flush (GUI thread).
    void FlushTexts();
    std::string DoText(int controlId) const;

    QPointer<QWidget> window_;
    std::map<int, QPointer<QWidget>> controls_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    std::map<int, std::function<int(QWidget*)>> dialogs_;
    std::function<void(int)> commandHandler_;
    std::function<void(int)> timerHandler_;
    std::function<void(int)> endHandler_;
    MessageBoxHandler messageBoxHandler_;
    PickerHandler pickerHandler_;
    std::string defaultCaption_;
    int waitCursorDepth_ = 0;
    std::mutex pendingMutex_;
    std::map<int, std::string> pendingTexts_;
    std::map<int, std::string> shownLogs_;
};

// The port of a wizard sheet's window: what the wizard buttons, the splash window, the help
// window and the page effect calls do is given when the port is made (each runs on the GUI
// thread; a missing handler does nothing).
class QtWizardPort : public QtWindowPort, public WizardPort {
public:
    struct Handlers {
        std::function<void(unsigned flags)> wizardButtons;
        std::function<void(unsigned ms)> splash;
        std::function<void(const std::string& path)> help;
        std::function<void(bool opening)> pageEffect;
    };
    QtWizardPort(QWidget* window, Handlers handlers);

    void SetWizardButtons(unsigned flags) override;
    void ShowSplash(unsigned ms) override;
    void ShowHelp(const std::string& path) override;
    void PlayPageEffect(bool opening) override;

private:
    Handlers handlers_;
};

}  // namespace orvane
