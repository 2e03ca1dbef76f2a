#pragma once
// The main window of the player: a frameless, skinned window cut to a rounded shape, with the
// LCD display drawn from each poll of the status thread, the transport and mode buttons, the
// track list, the song-position slider, the menu, the tray icon and the size switch.

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "cdplayer/commands.h"
#include "cdplayer/display.h"
#include "cdplayer/player_state.h"
#include "cdplayer/resource.h"
#include "cdplayer/ui/buttons.h"
#include "cdplayer/ui/qt_messenger.h"
#include "cdplayer/ui/slide_panel.h"

namespace orvane::registry {
class Profile;
}

namespace orvane::cdplayer {
class CStatusThread;
}

namespace orvane::cdplayer::ui {

class CPlayerFrame : public QWidget, public PlayerDisplay {
public:
    // profile: where confirmed preferences are saved (may be null: not saved).
    CPlayerFrame(PlayerState& player, QtMessenger& messenger, registry::Profile* profile);
    ~CPlayerFrame() override;

    // Start-up steps of the window (in this order): the regions, the controls with the icons
    // and the tray icon, the slide panel; then the slider and the tooltips after the device.
    void BuildRegions();
    void CreateControls();
    void AddTrayIcon();
    void CreateSlidePanel();
    void CreateSlider();
    void CreateTooltips();

    void SetStatusThread(CStatusThread* thread) { statusThread_ = thread; }
    void SetDriveType(DriveTypeFn driveType) { driveType_ = std::move(driveType); }
    // Handles pending window messages and waits (the slide panel and the credits); tests replace
    // it so that nothing waits on the real clock.
    void SetWait(std::function<void(unsigned)> wait) { wait_ = std::move(wait); }
    // Shows a popup menu at a screen point; tests replace it to look at the menu.
    void SetPopupRunner(std::function<void(QMenu*, const QPoint&)> run) {
        popupRunner_ = std::move(run);
    }
    // The program that keeps the disc playing after the window closes (StopCDOnExit 0); none
    // by default.
    void SetBackgroundProgram(std::string program) { backgroundProgram_ = std::move(program); }
    // Called once the window has closed (the program then ends).
    void OnClosed(std::function<void()> closed) { closed_ = std::move(closed); }

    // PlayerDisplay: queued to the GUI thread.
    void ShowPoll(const PollDisplay& display) override;
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    // Draws one poll's display (GUI thread).
    void ApplyPoll(const PollDisplay& display);

    // Menu commands.
    void SetOnTop(bool on);
    void ToggleOnTop() { SetOnTop(!onTop_); }
    void ToggleHidden();
    void ToggleFullSize();
    void RunPreferences();
    void RunAbout();
    void RunCdDatabase();
    void RunProgram();
    // The tray icon's events.
    void TrayActivated(QSystemTrayIcon::ActivationReason reason);
    void ShowTrayMenu(const QPoint& at);

    QMenu* Popup() const { return popup_.get(); }
    QAction* Action(int id) const;
    bool OnTop() const { return onTop_; }
    bool Hidden() const { return hidden_; }
    bool FullSize() const { return player_.fullSize; }
    const QRegion& Shape() const { return shape_; }
    QWidget* Control(int id) const;
    QSystemTrayIcon* Tray() const { return tray_; }
    CSlidePanel* SlidePanel() const { return slidePanel_.get(); }
    const std::string& LcdText() const { return lcdText_; }

    // Pauses the status thread, and lets it go on.
    void PauseStatus();
    void ContinueStatus();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    void Command(int id);
    void FillTrackList(const std::vector<std::string>& items, int select);
    void Wait(unsigned ms);
    void RunPopup(QMenu* menu, const QPoint& at);
    // Lets Tab reach only the controls the window's shape shows.
    void KeepKeyboardOnShownControls();

    PlayerState& player_;
    QtMessenger& messenger_;
    registry::Profile* profile_;
    CStatusThread* statusThread_ = nullptr;
    DriveTypeFn driveType_;
    std::function<void(unsigned)> wait_;
    std::function<void(QMenu*, const QPoint&)> popupRunner_;
    std::function<void()> closed_;
    std::string backgroundProgram_;

    QImage band132_, band134_, panel183_, panel185_, font184_;
    std::map<int, QImage> marks_;

    std::unique_ptr<QMenu> popup_;
    std::map<int, QAction*> actions_;
    QRegion region1_, region2_, compact_, full_, shape_;
    std::map<int, QWidget*> controls_;
    QPointer<QSystemTrayIcon> tray_;
    std::unique_ptr<CSlidePanel> slidePanel_;

    bool onTop_ = false;
    bool hidden_ = false;
    bool closing_ = false;
    bool dragging_ = false;
    QPoint pressPoint_;

    // What the last polls drew.
    std::string lcdText_;
    bool progressShown_ = false;
    unsigned elapsed_ = 0;
    unsigned length_ = 0;
    int mark_ = 0;
};

}  // namespace orvane::cdplayer::ui
