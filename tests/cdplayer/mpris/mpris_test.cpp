// The player's engine on the demo disc, served on a private bus and driven by the desktop's
// command-line client; what the client does is checked against the engine's own state, and the
// bus's signals are counted by the bus monitor over a minute of polls on virtual time.

#include "cdplayer/mpris/mpris_service.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <cstdlib>
#include <filesystem>

#include "cdplayer/commands.h"
#include "cdplayer/status_thread.h"
#include "demo_disc.h"
#include "fake_mci.h"
#include "platform/audio/audio_sink.h"
#include "platform/cdrom/drives.h"
#include "platform/cdrom/image_drive.h"
#include "platform/clock/clock.h"
#include "platform/desktop/private_bus.h"
#include "support/temp_dir.h"

using namespace orvane::cdplayer;
using orvane::cdplayer::test::RecordingDisplay;
using orvane::test::PrivateBus;
using orvane::test::RunClient;

namespace {

// The bus monitor's view of the player's signals.
class Monitor {
public:
    explicit Monitor(PrivateBus& bus, QDBusConnection& player) : player_(player) {
        p_.setProcessEnvironment(bus.Environment());
        p_.start("dbus-monitor", {"--session", "type='signal'"});
        p_.waitForStarted(10000);
        // Ready once it shows a mark of ours.
        for (int i = 0; i < 200 && !Saw("ready"); ++i)
            Mark("ready");
    }
    ~Monitor() {
        p_.kill();
        p_.waitForFinished(2000);
    }
    // Sends a mark on the player's own connection, after everything it sent before.
    void Mark(const QString& name) {
        player_.send(QDBusMessage::createSignal("/test", "org.orvane.Test", name));
        orvane::test::Spin(20);
        out_ += p_.readAllStandardOutput().toStdString();
    }
    bool Saw(const std::string& member) {
        return out_.find("member=" + member) != std::string::npos;
    }
    // Signals of a member sent since the last Count (up to a new mark).
    int Count(const std::string& member) {
        const QString mark = QString("m%1").arg(++marks_);
        for (int i = 0; i < 500 && !Saw(mark.toStdString()); ++i)
            Mark(mark);
        int n = 0;
        const std::string what = "path=/org/mpris/MediaPlayer2; interface=";
        for (std::size_t at = out_.find(what, from_); at != std::string::npos;
             at = out_.find(what, at + 1)) {
            const std::size_t end = out_.find('\n', at);
            if (out_.substr(at, end - at).find("member=" + member) != std::string::npos) ++n;
        }
        from_ = out_.size();
        return n;
    }

private:
    QDBusConnection& player_;
    QProcess p_;
    std::string out_;
    std::size_t from_ = 0;
    int marks_ = 0;
};

class OnTheBus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.Up()) << "dbus-daemon did not start";
        ASSERT_TRUE(test::StartOnDemoDisc(clock_, player_, box_, dir_.path()));
        thread_ = std::make_unique<CStatusThread>(player_, box_);
        thread_->Poll();  // the names
        service_ = std::make_unique<mpris::MprisService>(
            player_, mpris::MprisService::Hooks{[this] { ++raised_; }, [this] { ++quits_; },
                                                mpris::ReadDriveTexts});
        conn_ = bus_.Connect("tarvo");
        ASSERT_TRUE(service_->Start(conn_));
        tap_ = std::make_unique<mpris::PollTap>(box_, *service_);
        env_ = bus_.Environment();
        // The drive's texts are read beside the window; they are in before the test begins.
        service_->Refresh();
        for (int i = 0; i < 500 && service_->Last().title != "Morning Pulse"; ++i)
            orvane::test::Spin(10);
        ASSERT_EQ(service_->Last().title, "Morning Pulse");
    }
    void TearDown() override {
        clock_.SetAutoAdvance(true);
        service_.reset();
        CloseDevice(player_);
        orvane::cdrom::ResetDrives();
        orvane::audio::InstallSinkFactory({});
        orvane::clock::Install(nullptr);
    }

    // One poll as the status thread makes it, the service told as the window's tap tells it.
    void Poll() {
        thread_->Poll();
        service_->Refresh();
    }
    // Lets ms of playback pass, polling every half second.
    void Play(unsigned ms) {
        for (unsigned done = 0; done < ms; done += 500) {
            clock_.Advance(500);
            Poll();
        }
    }
    std::string Ctl(const QStringList& args) {
        QStringList all{"-p", "tarvo"};
        all << args;
        const orvane::test::ClientRun run = RunClient(env_, "playerctl", all);
        EXPECT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << ": " << run.out;
        Poll();
        return run.out;
    }
    DWORD Mode() { return player_.device.Status(0, MCI_STATUS_MODE); }
    DWORD Track() {
        std::lock_guard lock(player_.lock);
        return player_.device.Status(0, MCI_STATUS_CURRENT_TRACK);
    }
    // Whole seconds into the current track, from the device.
    long Elapsed() {
        std::lock_guard lock(player_.lock);
        auto& d = player_.device;
        d.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
        const DWORD t = d.Status(0, MCI_STATUS_CURRENT_TRACK);
        return static_cast<long>(MsfSeconds(d.Status(0, MCI_STATUS_POSITION))) -
               static_cast<long>(MsfSeconds(d.Status(MCI_TRACK, MCI_STATUS_POSITION, t)));
    }

    PrivateBus bus_;
    QDBusConnection conn_{""};
    QProcessEnvironment env_;
    orvane::clock::VirtualClock clock_;
    orvane::test::TempDir dir_;
    PlayerState player_;
    RecordingDisplay box_;
    std::unique_ptr<CStatusThread> thread_;
    std::unique_ptr<mpris::MprisService> service_;
    std::unique_ptr<mpris::PollTap> tap_;
    int raised_ = 0, quits_ = 0;
};

}  // namespace

TEST_F(OnTheBus, TheClientDrivesTheDemoDiscThroughTheWindowsCommands) {
    EXPECT_EQ(Ctl({"status"}), "Stopped");
    // The demo disc's names come from its CD-Text (the song database does not know it).
    EXPECT_EQ(Ctl({"metadata", "--format", "{{title}}|{{artist}}|{{album}}|{{xesam:trackNumber}}"}),
              "Morning Pulse|Orvane Demo Ensemble|Orvane Demo Disc|1");
    const std::string length = Ctl({"metadata", "mpris:length"});
    {
        std::lock_guard lock(player_.lock);
        player_.device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
        const DWORD len = player_.device.Status(MCI_TRACK, MCI_STATUS_LENGTH, 1);
        const long long us = ((len & 0xFF) * 60 + ((len >> 8) & 0xFF)) * 1000000LL +
                             ((len >> 16) & 0xFF) * 1000000LL / 75;
        EXPECT_NEAR(std::atof(length.c_str()), static_cast<double>(us), 1000.0);
    }

    Ctl({"play-pause"});
    EXPECT_EQ(Mode(), static_cast<DWORD>(MCI_MODE_PLAY));
    EXPECT_EQ(Ctl({"status"}), "Playing");
    Play(2000);

    Ctl({"next"});
    EXPECT_EQ(Track(), 2u);
    EXPECT_EQ(Ctl({"metadata", "title"}), "Glass Stairs");
    Ctl({"next"});
    Ctl({"previous"});
    EXPECT_EQ(Track(), 2u);

    Ctl({"position", "30"});  // beyond track 2's end: nothing, as a position past a track
    EXPECT_EQ(Track(), 2u);
    EXPECT_LT(Elapsed(), 27);
    Ctl({"next"});
    Ctl({"position", "30"});
    EXPECT_EQ(Track(), 3u);
    EXPECT_EQ(Elapsed(), 30);
    EXPECT_EQ(Ctl({"position"}).substr(0, 2), "30");

    Ctl({"play-pause"});
    EXPECT_EQ(Mode(), static_cast<DWORD>(MCI_MODE_PAUSE));
    EXPECT_EQ(Ctl({"status"}), "Paused");
    Ctl({"play"});
    EXPECT_EQ(Mode(), static_cast<DWORD>(MCI_MODE_PLAY));

    Ctl({"shuffle", "On"});
    EXPECT_EQ(player_.modes.RandomOn, 1u);
    EXPECT_EQ(Ctl({"shuffle"}), "On");
    Ctl({"loop", "Track"});
    // The repeated stretch is track 3 itself; random play went off, as with the Repeat button.
    EXPECT_EQ(player_.modes.RepeatState, 1u);
    EXPECT_EQ(player_.modes.RandomOn, 0u);
    EXPECT_EQ(Ctl({"loop"}), "Track");
    EXPECT_EQ(Ctl({"shuffle"}), "Off");
    Play(10000);  // past the track's end, back to its start
    EXPECT_EQ(Track(), 3u);
    EXPECT_LT(Elapsed(), 10);
    Ctl({"loop", "None"});
    EXPECT_EQ(player_.modes.RepeatState, 0u);

    Ctl({"stop"});
    EXPECT_EQ(Ctl({"status"}), "Stopped");
    EXPECT_EQ(Mode(), static_cast<DWORD>(MCI_MODE_STOP));

    // Something to open is refused; the player plays its drive.
    const orvane::test::ClientRun open =
        RunClient(env_, "playerctl", {"-p", "tarvo", "open", "file:///tmp/x.mp3"});
    EXPECT_EQ(Track(), 1u);
    EXPECT_EQ(Mode(), static_cast<DWORD>(MCI_MODE_STOP));
    (void)open;
}

TEST_F(OnTheBus, SignalsComeWithRealChangesOnlyOverAMinuteOfPolls) {
    Monitor monitor(bus_, conn_);
    ASSERT_TRUE(monitor.Saw("ready"));
    EXPECT_EQ(monitor.Count("PropertiesChanged"), 0);

    PlayPauseCommand(player_);  // the window's Play button
    Poll();
    EXPECT_EQ(monitor.Count("PropertiesChanged"), 1);  // status and the controls, in one

    // Seventy seconds of play from track 1 on: 140 polls, two track ends (tracks of 34 s and
    // 27 s), so two changes of track and nothing in between; no seek.
    Play(70000);
    EXPECT_EQ(Track(), 3u);
    EXPECT_EQ(monitor.Count("PropertiesChanged"), 2);
    EXPECT_EQ(monitor.Count("Seeked"), 0);

    // An A-B repeat that comes back: one jump each time it returns.
    RepeatCommand(player_);
    Play(3000);
    RepeatCommand(player_);
    Poll();
    EXPECT_EQ(monitor.Count("PropertiesChanged"), 2);  // LoopStatus: Playlist, then Track
    Play(4000);
    EXPECT_GE(monitor.Count("Seeked"), 1);
    EXPECT_EQ(monitor.Count("PropertiesChanged"), 0);
    RepeatCommand(player_);  // off
    Poll();
    EXPECT_EQ(monitor.Count("PropertiesChanged"), 1);

    // A seek from the bus: Seeked once, with the new place; a stale track id changes nothing.
    const std::string id = RemoteTrackId(DiscIdentity(player_.device), Track());
    QDBusMessage set = QDBusMessage::createMethodCall(
        mpris::kBusName, mpris::kObjectPath, "org.mpris.MediaPlayer2.Player", "SetPosition");
    set << QVariant::fromValue(QDBusObjectPath("/org/orvane/Tarvo/disc_x/track_1"))
        << qlonglong(5000000);
    QDBusConnection client = bus_.Connect("client");
    client.call(set, QDBus::BlockWithGui);
    EXPECT_EQ(monitor.Count("Seeked"), 0);
    QDBusMessage good = QDBusMessage::createMethodCall(
        mpris::kBusName, mpris::kObjectPath, "org.mpris.MediaPlayer2.Player", "SetPosition");
    good << QVariant::fromValue(QDBusObjectPath(QString::fromStdString(id))) << qlonglong(5000000);
    client.call(good, QDBus::BlockWithGui);
    EXPECT_EQ(Elapsed(), 5);
    EXPECT_EQ(monitor.Count("Seeked"), 1);

    // Pausing holds still: no signal but the status.
    PlayPauseCommand(player_);
    Play(20000);
    EXPECT_EQ(monitor.Count("PropertiesChanged"), 1);
}

TEST_F(OnTheBus, TheRootInterfaceNamesThePlayerAndASecondServiceNeverTakesTheName) {
    QDBusConnection client = bus_.Connect("client");
    const auto get = [&](const char* iface, const char* name) {
        QDBusMessage m = QDBusMessage::createMethodCall(mpris::kBusName, mpris::kObjectPath,
                                                        "org.freedesktop.DBus.Properties", "Get");
        m << QString(iface) << QString(name);
        const QDBusMessage r = client.call(m, QDBus::BlockWithGui);
        return r.arguments().isEmpty() ? QVariant()
                                       : qvariant_cast<QDBusVariant>(r.arguments()[0]).variant();
    };
    EXPECT_EQ(get("org.mpris.MediaPlayer2", "Identity").toString(), "Tarvo");
    EXPECT_EQ(get("org.mpris.MediaPlayer2", "DesktopEntry").toString(), "org.orvane.Tarvo");
    // The desktop entry the package installs carries that name.
    EXPECT_TRUE(std::filesystem::exists(std::string(ORVANE_SOURCE_DIR) + "/packaging/" +
                                        mpris::kDesktopEntry + ".desktop"));
    EXPECT_EQ(get("org.mpris.MediaPlayer2", "SupportedUriSchemes").toStringList(),
              QStringList{"cdda"});
    EXPECT_FALSE(get("org.mpris.MediaPlayer2", "HasTrackList").toBool());
    EXPECT_EQ(get("org.mpris.MediaPlayer2.Player", "Rate").toDouble(), 1.0);

    // Read-only properties refuse to be set.
    QDBusMessage set = QDBusMessage::createMethodCall(mpris::kBusName, mpris::kObjectPath,
                                                      "org.freedesktop.DBus.Properties", "Set");
    set << QString("org.mpris.MediaPlayer2.Player") << QString("PlaybackStatus")
        << QVariant::fromValue(QDBusVariant(QString("Playing")));
    EXPECT_EQ(client.call(set, QDBus::BlockWithGui).type(), QDBusMessage::ErrorMessage);
    EXPECT_NE(Mode(), static_cast<DWORD>(MCI_MODE_PLAY));

    RunClient(env_, "dbus-send",
              {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.tarvo",
               "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Raise"});
    EXPECT_EQ(raised_, 1);
    RunClient(env_, "dbus-send",
              {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.tarvo",
               "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Quit"});
    EXPECT_EQ(quits_, 1);

    // A second player on the same bus does not get the name, and the first keeps answering.
    mpris::MprisService second(player_, {});
    EXPECT_FALSE(second.Start(bus_.Connect("second")));
    EXPECT_EQ(get("org.mpris.MediaPlayer2", "Identity").toString(), "Tarvo");

    // The name goes with the service.
    service_.reset();
    const QDBusMessage owner =
        client.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                   "org.freedesktop.DBus", "NameHasOwner")
                    << QString(mpris::kBusName));
    ASSERT_FALSE(owner.arguments().isEmpty());
    EXPECT_FALSE(owner.arguments()[0].toBool());

    // Without a bus nothing is registered and nothing waits.
    mpris::MprisService none(player_, {});
    EXPECT_FALSE(none.Start(std::nullopt));
    EXPECT_FALSE(none.Start(QDBusConnection::connectToBus(
        QString("unix:path=") + QString::fromStdString((dir_ / "no-bus").string()), "none")));
}
