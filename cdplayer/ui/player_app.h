#pragma once
// The player's application object: its start-up in order (settings, the single-instance lock,
// the default-player offer, the main window with its regions, controls, tray icon and slide
// panel, the device, the status thread, the slider, On Top, play on start-up, tooltips), the
// run of the window, and a mode that writes pictures of the window and the dialogs.

#include <QApplication>
#include <memory>
#include <string>

#include "cdplayer/default_player.h"
#include "cdplayer/mpris/mpris_service.h"
#include "cdplayer/player_state.h"
#include "cdplayer/status_thread.h"
#include "cdplayer/ui/desktop_default.h"
#include "cdplayer/ui/player_frame.h"
#include "cdplayer/ui/qt_messenger.h"
#include "platform/registry/profile.h"
#include "platform/shell/instance_lock.h"

namespace orvane::cdplayer::ui {

// The default-player offer; when it wrote the play command, the desktop is told as well.
// Returns true when the player became the default.
bool OfferDefaultCdPlayer(PlayCommandKey& key, Messenger& messenger,
                          const std::string& executablePath, const DesktopFolders& folders);

class CPlayerApp {
public:
    CPlayerApp();
    ~CPlayerApp();

    // Runs the player; with "--screenshots DIR" writes PNG pictures of the compact and the full
    // window and of each dialog into DIR instead, then ends. Returns the exit code.
    int Run(const QStringList& arguments);

    // Start-up; false when the program must end (exitCode tells how).
    bool InitInstance(bool screenshots, int& exitCode);

    PlayerState& Player() { return player_; }
    CPlayerFrame* Frame() { return frame_.get(); }

private:
    int Screenshots(const std::string& folder);

    PlayerState player_;
    QtMessenger messenger_;
    registry::Profile profile_;
    shell::InstanceLock instance_;
    std::unique_ptr<CPlayerFrame> frame_;
    // The player on the session bus; it outlives the status thread that feeds it.
    std::unique_ptr<mpris::MprisService> mpris_;
    std::unique_ptr<mpris::PollTap> tap_;
    std::unique_ptr<CStatusThread> status_;
};

}  // namespace orvane::cdplayer::ui
