#pragma once
// The desktop's services on the D-Bus session and system buses that both programs use: keeping
// the machine awake while they work, and desktop notifications. Every call is asynchronous: no
// call waits for a reply, and without a bus or a service nothing happens at all.

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace orvane::desktop {

// The session bus when one answers. Connecting fails at once when no bus runs (an address that
// points nowhere, or none); it never waits on a timeout.
std::optional<QDBusConnection> SessionBus();
// The system bus the same way.
std::optional<QDBusConnection> SystemBus();

// Keeps the machine from sleeping (and the screen from blanking) while held: the login
// manager's "sleep:idle" inhibitor on the system bus, else the desktop's screen-saver inhibit
// on the session bus. Held and released from the thread that owns it (the GUI thread).
class SleepInhibitor {
public:
    // who: the program's name; why: the reason the desktop shows.
    SleepInhibitor(QString who, QString why);
    ~SleepInhibitor();
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    // Asks for the inhibitor (on) or gives it back (off); asking twice asks once.
    void Hold(bool on);
    bool Wanted() const { return wanted_; }
    // An inhibitor was granted and is held now.
    bool Held() const { return fd_.isValid() || cookie_.has_value(); }

    // The buses to use (tests give private ones); by default the system and the session bus.
    void UseBuses(std::optional<QDBusConnection> system, std::optional<QDBusConnection> session);

private:
    void Ask();
    void AskScreenSaver();
    void Release();

    QString who_, why_;
    std::optional<QDBusConnection> system_, session_;
    bool busesChosen_ = false;
    bool wanted_ = false;
    bool pending_ = false;
    QDBusUnixFileDescriptor fd_;
    std::optional<quint32> cookie_;
    std::unique_ptr<QObject> context_;  // owns the reply watchers
};

// One desktop notification. failed marks it urgent.
struct Notice {
    QString summary;
    QString body;
    bool failed = false;
};

// Sends it to the notification service (org.freedesktop.Notifications) on bus without waiting
// for the answer; false when there is no bus to send it on. desktopEntry names the sender's
// desktop file (its name without ".desktop").
bool Notify(const Notice& notice, const QString& appName, const QString& desktopEntry,
            std::optional<QDBusConnection> bus = SessionBus());

}  // namespace orvane::desktop
