#include "platform/desktop/desktop_bus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <functional>

namespace orvane::desktop {

namespace {
constexpr const char* kLogin1 = "org.freedesktop.login1";
constexpr const char* kLogin1Path = "/org/freedesktop/login1";
constexpr const char* kLogin1Manager = "org.freedesktop.login1.Manager";
constexpr const char* kScreenSaver = "org.freedesktop.ScreenSaver";
constexpr const char* kScreenSaverPath = "/org/freedesktop/ScreenSaver";
constexpr const char* kNotifications = "org.freedesktop.Notifications";
constexpr const char* kNotificationsPath = "/org/freedesktop/Notifications";

std::optional<QDBusConnection> Connected(QDBusConnection bus) {
    if (!bus.isConnected()) return std::nullopt;
    return bus;
}

// Calls method without starting a service that is not running, and hands the reply to done.
void CallAsync(QDBusConnection& bus, QDBusMessage call, QObject* context,
               std::function<void(QDBusPendingCallWatcher&)> done) {
    call.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [done = std::move(done)](QDBusPendingCallWatcher* w) {
                         done(*w);
                         w->deleteLater();
                     });
}
}  // namespace

std::optional<QDBusConnection> SessionBus() { return Connected(QDBusConnection::sessionBus()); }

std::optional<QDBusConnection> SystemBus() { return Connected(QDBusConnection::systemBus()); }

SleepInhibitor::SleepInhibitor(QString who, QString why)
    : who_(std::move(who)), why_(std::move(why)), context_(std::make_unique<QObject>()) {}

SleepInhibitor::~SleepInhibitor() {
    wanted_ = false;
    Release();
}

void SleepInhibitor::UseBuses(std::optional<QDBusConnection> system,
                              std::optional<QDBusConnection> session) {
    system_ = std::move(system);
    session_ = std::move(session);
    busesChosen_ = true;
}

void SleepInhibitor::Hold(bool on) {
    if (on == wanted_) return;
    wanted_ = on;
    if (on) {
        if (!pending_ && !Held()) Ask();
    } else {
        Release();
    }
}

void SleepInhibitor::Ask() {
    if (!busesChosen_) {
        system_ = SystemBus();
        session_ = SessionBus();
        busesChosen_ = true;
    }
    if (!system_) return AskScreenSaver();
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogin1, kLogin1Path, kLogin1Manager, "Inhibit");
    call << QString("sleep:idle") << who_ << why_ << QString("block");
    pending_ = true;
    CallAsync(*system_, call, context_.get(), [this](QDBusPendingCallWatcher& w) {
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = w;
        if (reply.isError() || !reply.value().isValid()) {
            pending_ = false;
            if (wanted_) AskScreenSaver();
            return;
        }
        pending_ = false;
        fd_ = reply.value();
        if (!wanted_) Release();
    });
}

void SleepInhibitor::AskScreenSaver() {
    if (!session_) return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath, kScreenSaver, "Inhibit");
    call << who_ << why_;
    pending_ = true;
    CallAsync(*session_, call, context_.get(), [this](QDBusPendingCallWatcher& w) {
        QDBusPendingReply<quint32> reply = w;
        pending_ = false;
        if (reply.isError()) return;
        cookie_ = reply.value();
        if (!wanted_) Release();
    });
}

void SleepInhibitor::Release() {
    // The login manager's inhibitor ends when its descriptor closes.
    fd_ = QDBusUnixFileDescriptor();
    if (cookie_ && session_) {
        QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath,
                                                           kScreenSaver, "UnInhibit");
        call << *cookie_;
        call.setAutoStartService(false);
        session_->send(call);
    }
    cookie_.reset();
}

bool Notify(const Notice& notice, const QString& appName, const QString& desktopEntry,
            std::optional<QDBusConnection> bus) {
    if (!bus) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath,
                                                       kNotifications, "Notify");
    QVariantMap hints;
    hints["desktop-entry"] = desktopEntry;
    hints["urgency"] = QVariant::fromValue(static_cast<uchar>(notice.failed ? 2 : 1));
    call << appName << quint32(0) << desktopEntry << notice.summary << notice.body << QStringList()
         << hints << qint32(-1);
    // Sent without waiting for the id; a desktop without the service answers with an error
    // nobody reads.
    call.setAutoStartService(false);
    return bus->send(call);
}

}  // namespace orvane::desktop
