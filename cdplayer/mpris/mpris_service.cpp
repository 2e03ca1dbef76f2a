#include "cdplayer/mpris/mpris_service.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>

#include "cdplayer/commands.h"
#include "platform/cdrom/disc_info.h"
#include "platform/cdrom/drives.h"
#include "platform/clock/clock.h"

namespace orvane::cdplayer::mpris {

namespace {
constexpr const char* kRoot = "org.mpris.MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kIntrospectable = "org.freedesktop.DBus.Introspectable";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
// Said to a client that asks the player to open something: it plays the disc in its drive.
constexpr const char* kOpenUriRefused = "Tarvo plays the disc in its drive only.";

constexpr const char* kInterfaces = R"(  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
    <method name="SetPosition">
      <arg name="TrackId" type="o" direction="in"/>
      <arg name="Position" type="x" direction="in"/>
    </method>
    <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="LoopStatus" type="s" access="readwrite"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Shuffle" type="b" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
)";

QString StatusText(RemoteStatus s) {
    switch (s) {
        case RemoteStatus::Playing:
            return "Playing";
        case RemoteStatus::Paused:
            return "Paused";
        case RemoteStatus::Stopped:
            break;
    }
    return "Stopped";
}

QString LoopText(RemoteLoop l) {
    switch (l) {
        case RemoteLoop::Track:
            return "Track";
        case RemoteLoop::Playlist:
            return "Playlist";
        case RemoteLoop::None:
            break;
    }
    return "None";
}

QVariantMap Metadata(const RemoteSnapshot& s) {
    QVariantMap m;
    if (!s.discPresent || s.track == 0) {
        m["mpris:trackid"] = QVariant::fromValue(QDBusObjectPath(kNoTrack));
        return m;
    }
    m["mpris:trackid"] = QVariant::fromValue(
        QDBusObjectPath(QString::fromStdString(RemoteTrackId(s.identity, s.track))));
    m["mpris:length"] = QVariant::fromValue(static_cast<qlonglong>(s.lengthMs) * 1000);
    m["xesam:trackNumber"] = static_cast<int>(s.track);
    if (!s.title.empty()) m["xesam:title"] = QString::fromStdString(s.title);
    if (!s.artist.empty()) m["xesam:artist"] = QStringList{QString::fromStdString(s.artist)};
    if (!s.album.empty()) m["xesam:album"] = QString::fromStdString(s.album);
    return m;
}

QVariantMap RootProperties() {
    return {{"CanQuit", true},
            {"CanRaise", true},
            {"HasTrackList", false},
            {"Identity", QString(kIdentity)},
            {"DesktopEntry", QString(kDesktopEntry)},
            {"SupportedUriSchemes", QStringList{"cdda"}},
            {"SupportedMimeTypes", QStringList{"x-content/audio-cdda"}}};
}

QVariantMap PlayerProperties(const RemoteSnapshot& s) {
    return {{"PlaybackStatus", StatusText(s.status)},
            {"LoopStatus", LoopText(s.loop)},
            {"Rate", 1.0},
            {"Shuffle", s.shuffle},
            {"Metadata", Metadata(s)},
            {"Volume", 1.0},
            {"Position", QVariant::fromValue(static_cast<qlonglong>(s.positionMs) * 1000)},
            {"MinimumRate", 1.0},
            {"MaximumRate", 1.0},
            {"CanGoNext", s.canGoNext},
            {"CanGoPrevious", s.canGoPrevious},
            {"CanPlay", s.canPlay},
            {"CanPause", s.canPlay},
            {"CanSeek", s.canSeek},
            {"CanControl", true}};
}
}  // namespace

// The object's messages, on the GUI thread.
class MprisObject final : public QDBusVirtualObject {
public:
    explicit MprisObject(MprisService& service) : service_(service) {}

    QString introspect(const QString&) const override { return kInterfaces; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString iface = message.interface();
        const QString member = message.member();
        const QList<QVariant> args = message.arguments();
        QDBusConnection bus(connection);
        const auto reply = [&](const QList<QVariant>& values = {}) {
            bus.send(message.createReply(values));
            return true;
        };
        const auto error = [&](const char* name, const QString& text) {
            bus.send(message.createErrorReply(name, text));
            return true;
        };
        if (iface == kIntrospectable && member == "Introspect") {
            return reply({QString("<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object "
                                  "Introspection 1.0//EN\"\n"
                                  "\"http://www.freedesktop.org/standards/dbus/1.0/"
                                  "introspect.dtd\">\n<node>\n") +
                          kInterfaces + "</node>\n"});
        }
        if (iface == kProperties) return Properties(member, args, reply, error);
        if (iface == kRoot || (iface.isEmpty() && (member == "Raise" || member == "Quit"))) {
            if (member == "Raise") {
                service_.Raise();
                return reply();
            }
            if (member == "Quit") {
                reply();
                service_.Quit();
                return true;
            }
            return false;
        }
        if (iface != kPlayer && !iface.isEmpty()) return false;
        PlayerState& player = service_.Player();
        if (member == "Next") {
            NextTrackCommand(player);
        } else if (member == "Previous") {
            PreviousTrackCommand(player);
        } else if (member == "Play") {
            RemotePlay(player);
        } else if (member == "Pause") {
            RemotePause(player);
        } else if (member == "PlayPause") {
            PlayPauseCommand(player);
        } else if (member == "Stop") {
            StopCommand(player);
        } else if (member == "Seek" && args.size() == 1) {
            const RemoteSnapshot now = service_.Now();
            if (now.canSeek) {
                const qlonglong offsetUs = args[0].toLongLong();
                RemoteSetPosition(player,
                                  std::max<std::int64_t>(now.positionMs + offsetUs / 1000, 0));
                reply();
                service_.AfterSeek();
                return true;
            }
        } else if (member == "SetPosition" && args.size() == 2) {
            const RemoteSnapshot now = service_.Now();
            const QString track = qvariant_cast<QDBusObjectPath>(args[0]).path();
            const qlonglong us = args[1].toLongLong();
            // A position for another track than the one playing (a stale id) is ignored, as is
            // one outside the track.
            if (now.canSeek && track.toStdString() == RemoteTrackId(now.identity, now.track) &&
                us >= 0 && us <= now.lengthMs * 1000) {
                RemoteSetPosition(player, us / 1000);
                reply();
                service_.AfterSeek();
                return true;
            }
        } else if (member == "OpenUri") {
            return error("org.freedesktop.DBus.Error.NotSupported", kOpenUriRefused);
        } else {
            return false;
        }
        reply();
        service_.Refresh();
        return true;
    }

private:
    template <typename Reply, typename Error>
    bool Properties(const QString& member, const QList<QVariant>& args, const Reply& reply,
                    const Error& error) {
        if (args.isEmpty()) return false;
        const QString iface = args[0].toString();
        const bool root = iface == kRoot;
        if (!root && iface != kPlayer)
            return error("org.freedesktop.DBus.Error.UnknownInterface", iface);
        if (member == "GetAll")
            return reply({root ? RootProperties() : PlayerProperties(service_.Now())});
        if (args.size() < 2) return false;
        const QString name = args[1].toString();
        const QVariantMap all = root ? RootProperties() : PlayerProperties(service_.Now());
        if (!all.contains(name)) return error("org.freedesktop.DBus.Error.UnknownProperty", name);
        if (member == "Get") return reply({QVariant::fromValue(QDBusVariant(all.value(name)))});
        if (member != "Set" || args.size() < 3) return false;
        const QVariant value = qvariant_cast<QDBusVariant>(args[2]).variant();
        PlayerState& player = service_.Player();
        if (!root && name == "Shuffle") {
            RemoteSetShuffle(player, value.toBool());
        } else if (!root && name == "LoopStatus") {
            const QString loop = value.toString();
            if (loop == "None")
                RemoteSetLoop(player, RemoteLoop::None);
            else if (loop == "Track")
                RemoteSetLoop(player, RemoteLoop::Track);
            else if (loop == "Playlist")
                RemoteSetLoop(player, RemoteLoop::Playlist);
            else
                return error("org.freedesktop.DBus.Error.InvalidArgs", loop);
        } else if (root || (name != "Rate" && name != "Volume")) {
            return error("org.freedesktop.DBus.Error.PropertyReadOnly", name);
        }
        // The rate and the volume are fixed: setting them has no effect.
        reply();
        service_.Refresh();
        return true;
    }

    MprisService& service_;
};

MprisService::MprisService(PlayerState& player, Hooks hooks)
    : player_(player),
      hooks_(std::move(hooks)),
      object_(std::make_unique<MprisObject>(*this)),
      inhibitor_("Tarvo", "Playing an audio CD") {}

MprisService::~MprisService() {
    if (textsThread_.joinable()) textsThread_.join();
    if (bus_) {
        bus_->unregisterService(kBusName);
        bus_->unregisterObject(kObjectPath);
    }
    inhibitor_.Hold(false);
}

bool MprisService::Start(std::optional<QDBusConnection> bus) {
    last_ = Now();
    lastMs_ = clock::GetTickCount();
    inhibitor_.UseBuses(desktop::SystemBus(), bus && bus->isConnected() ? bus : std::nullopt);
    if (!bus || !bus->isConnected()) return false;
    if (!bus->registerVirtualObject(kObjectPath, object_.get())) return false;
    // A name another player holds is not queued for: that player answers.
    if (!bus->registerService(kBusName)) {
        bus->unregisterObject(kObjectPath);
        return false;
    }
    bus_ = bus;
    return true;
}

RemoteSnapshot MprisService::Now() {
    DiscTexts texts;
    {
        std::lock_guard lock(textsMutex_);
        texts = texts_;
    }
    return TakeRemoteSnapshot(player_, texts);
}

void MprisService::RefreshLater() {
    QMetaObject::invokeMethod(
        object_.get(), [this] { Refresh(); }, Qt::QueuedConnection);
}

void MprisService::Refresh() {
    const RemoteSnapshot now = Now();
    if (hooks_.readTexts) ReadTextsFor(now.identity);
    const std::uint32_t ms = clock::GetTickCount();
    const bool jumped = PositionJumped(last_, now, static_cast<std::int64_t>(ms - lastMs_));
    Signal(now, RemoteChanges(last_, now));
    if (jumped) EmitSeeked(now.positionMs);
    last_ = now;
    lastMs_ = ms;
    inhibitor_.Hold(now.status == RemoteStatus::Playing);
}

void MprisService::AfterSeek() {
    const RemoteSnapshot now = Now();
    EmitSeeked(now.positionMs);
    Signal(now, RemoteChanges(last_, now));
    last_ = now;
    lastMs_ = clock::GetTickCount();
    inhibitor_.Hold(now.status == RemoteStatus::Playing);
}

void MprisService::EmitSeeked(std::int64_t positionMs) {
    if (!bus_) return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kPlayer, "Seeked");
    signal << static_cast<qlonglong>(positionMs) * 1000;
    bus_->send(signal);
}

void MprisService::Signal(const RemoteSnapshot& now, const std::vector<RemoteChange>& changes) {
    if (!bus_ || changes.empty()) return;
    const QVariantMap all = PlayerProperties(now);
    QVariantMap changed;
    const auto add = [&](const char* name) { changed[name] = all.value(name); };
    for (RemoteChange c : changes) {
        switch (c) {
            case RemoteChange::Status:
                add("PlaybackStatus");
                break;
            case RemoteChange::Metadata:
                add("Metadata");
                break;
            case RemoteChange::Shuffle:
                add("Shuffle");
                break;
            case RemoteChange::Loop:
                add("LoopStatus");
                break;
            case RemoteChange::Controls:
                for (const char* name :
                     {"CanGoNext", "CanGoPrevious", "CanPlay", "CanPause", "CanSeek"})
                    add(name);
                break;
        }
    }
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kProperties, "PropertiesChanged");
    signal << QString(kPlayer) << changed << QStringList();
    bus_->send(signal);
}

void MprisService::Raise() {
    if (hooks_.raise) hooks_.raise();
}

void MprisService::Quit() {
    if (hooks_.quit) hooks_.quit();
}

void MprisService::ReadTextsFor(const std::string& identity) {
    if (identity.empty()) return;
    {
        std::lock_guard lock(textsMutex_);
        if (identity == textsAskedFor_ || textsReading_) return;
        textsAskedFor_ = identity;
        textsReading_ = true;
    }
    if (textsThread_.joinable()) textsThread_.join();
    char letter;
    {
        std::lock_guard lock(player_.lock);
        letter = player_.driveLetter;
    }
    // The drive may take a while to read its texts; the window does not wait for it.
    textsThread_ = std::thread([this, letter, identity] {
        DiscTexts texts = hooks_.readTexts(letter, identity);
        texts.identity = identity;
        {
            std::lock_guard lock(textsMutex_);
            texts_ = std::move(texts);
            textsReading_ = false;
        }
        RefreshLater();
    });
}

DiscTexts ReadDriveTexts(char letter, const std::string& identity) {
    DiscTexts texts;
    texts.identity = identity;
    const auto drive = cdrom::DriveForLetter(letter);
    if (!drive) return texts;
    cdrom::DiscInfo info;
    if (!drive->ReadDiscInfo(info).ok) return texts;
    texts.title = info.title;
    texts.performer = info.performer;
    for (const cdrom::TrackInfo& t : info.tracks) {
        if (t.number < 1) continue;
        const std::size_t i = t.number - 1u;
        if (texts.trackTitles.size() <= i) texts.trackTitles.resize(i + 1);
        if (texts.trackPerformers.size() <= i) texts.trackPerformers.resize(i + 1);
        texts.trackTitles[i] = t.title;
        texts.trackPerformers[i] = t.performer;
    }
    return texts;
}

}  // namespace orvane::cdplayer::mpris
