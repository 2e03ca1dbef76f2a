#pragma once
// The player on the session bus as a media player the desktop's controls drive (the panel's
// media widget, the lock screen, headset buttons and media keys, command-line tools): the bus
// name "org.mpris.MediaPlayer2.tarvo" with the object "/org/mpris/MediaPlayer2" and its two
// interfaces. Requests run the window's own commands on the GUI thread; what changed is
// signalled after the status thread's polls, only when something did.

#include <QDBusConnection>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "cdplayer/display.h"
#include "cdplayer/player_state.h"
#include "cdplayer/remote_control.h"
#include "platform/desktop/desktop_bus.h"

namespace orvane::cdplayer::mpris {

inline constexpr const char* kBusName = "org.mpris.MediaPlayer2.tarvo";
inline constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
inline constexpr const char* kIdentity = "Tarvo";
inline constexpr const char* kDesktopEntry = "org.orvane.Tarvo";

class MprisObject;

class MprisService {
public:
    struct Hooks {
        std::function<void()> raise;  // show the window, as the tray icon does
        std::function<void()> quit;   // close the player, as Exit does
        // The CD-Text of the disc in the drive of a letter; called on a worker thread.
        std::function<DiscTexts(char letter, const std::string& identity)> readTexts;
    };

    MprisService(PlayerState& player, Hooks hooks);
    ~MprisService();
    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    // Takes the name on bus and serves the object; false (nothing registered) without a bus or
    // when another process has the name.
    bool Start(std::optional<QDBusConnection> bus);
    bool Started() const { return bus_.has_value(); }

    // Compares the playback with the last picture and signals what changed (GUI thread).
    void Refresh();
    // Refresh from any thread: queued to the GUI thread.
    void RefreshLater();

    // The inhibitor held while the disc plays.
    desktop::SleepInhibitor& Inhibitor() { return inhibitor_; }

    // For the bus object.
    PlayerState& Player() { return player_; }
    const RemoteSnapshot& Last() const { return last_; }
    RemoteSnapshot Now();
    void Raise();
    void Quit();
    // After a request that moved the position: the picture, and Seeked with the new position.
    void AfterSeek();
    void EmitSeeked(std::int64_t positionMs);

private:
    void Signal(const RemoteSnapshot& now, const std::vector<RemoteChange>& changes);
    void ReadTextsFor(const std::string& identity);

    PlayerState& player_;
    Hooks hooks_;
    std::optional<QDBusConnection> bus_;
    std::unique_ptr<MprisObject> object_;
    RemoteSnapshot last_;
    std::uint32_t lastMs_ = 0;
    desktop::SleepInhibitor inhibitor_;

    std::mutex textsMutex_;
    DiscTexts texts_;            // the last texts read
    std::string textsAskedFor_;  // the identity whose texts were asked for
    bool textsReading_ = false;
    std::thread textsThread_;
};

// Forwards each poll to the window and then has the service refresh: the status thread's
// display for a player on the bus.
class PollTap final : public PlayerDisplay {
public:
    PollTap(PlayerDisplay& window, MprisService& service) : window_(window), service_(service) {}
    void ShowPoll(const PollDisplay& display) override {
        window_.ShowPoll(display);
        service_.RefreshLater();
    }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        return window_.MessageBox(text, caption, flags);
    }

private:
    PlayerDisplay& window_;
    MprisService& service_;
};

// The CD-Text of the disc in a drive letter's drive (the drives of platform/cdrom).
DiscTexts ReadDriveTexts(char letter, const std::string& identity);

}  // namespace orvane::cdplayer::mpris
