// The real window program of the program folder on a private bus, on no screen, playing the demo
// disc into the null sink: the desktop's command-line client controls it end to end, a second
// player never takes its name, and the name goes when it quits.

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdlib>
#include <filesystem>

#include "platform/desktop/private_bus.h"
#include "support/temp_dir.h"

using orvane::test::PrivateBus;
using orvane::test::RunClient;

namespace {

constexpr const char* kName = "org.mpris.MediaPlayer2.tarvo";

class TarvoOnTheBus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.Up());
        // A copy of the player, so that its song database is the test's own.
        tarvo_ = QString::fromStdString((dir_ / "Tarvo.EXE").string());
        std::filesystem::copy_file(orvane::test::DistDir() / "Tarvo" / "Tarvo.EXE",
                                   tarvo_.toStdString());
        env_ = bus_.Environment();
        const auto set = [&](const char* name, const std::string& value) {
            env_.insert(name, QString::fromStdString(value));
        };
        set("QT_QPA_PLATFORM", "offscreen");
        set("ORVANE_AUDIO", "null");
        set("ORVANE_REGISTRY_DIR", (dir_ / "registry").string());
        set("HOME", dir_.path().string());
        set("XDG_CONFIG_HOME", (dir_ / "config").string());
        set("XDG_DATA_HOME", (dir_ / "data").string());
        set("XDG_RUNTIME_DIR", dir_.path().string());
        set("ORVANE_CD_IMAGES", (orvane::test::DistDir() / "demo" / "Demo.cue").string());
        client_ = bus_.Connect("test-client");
        // The player is the default CD player already: no question at start-up.
        const QString command =
            QString::fromStdString(std::filesystem::canonical(tarvo_.toStdString()).string()) +
            " /play %%1";
        const orvane::test::ClientRun reg = RunClient(
            env_, QString::fromStdString((orvane::test::DistDir() / "orvane-reg").string()),
            {"add", "HKLM\\Software\\Classes\\AudioCD\\shell\\play\\command", "/ve", "/d", command,
             "/f"});
        ASSERT_EQ(reg.exitCode, 0) << reg.out;
    }
    void TearDown() override {
        if (player_.state() != QProcess::NotRunning) {
            player_.kill();
            player_.waitForFinished(5000);
        }
    }

    QString Owner() {
        const QDBusReply<QString> owner = client_.interface()->serviceOwner(kName);
        return owner.isValid() ? owner.value() : QString();
    }
    // Waits (real time, bounded) for something the other process does on its own.
    template <typename F>
    bool Within(int ms, F done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            orvane::test::Spin(50);
        return done();
    }
    std::string Ctl(const QStringList& args) {
        QStringList all{"-p", "tarvo"};
        all << args;
        return RunClient(env_, "playerctl", all).out;
    }

    PrivateBus bus_;
    QDBusConnection client_{""};
    orvane::test::TempDir dir_;
    QString tarvo_;
    QProcessEnvironment env_;
    QProcess player_;
};

}  // namespace

TEST_F(TarvoOnTheBus, TheClientControlsThePlayerAndOnlyTheFirstPlayerHasTheName) {
    player_.setProcessEnvironment(env_);
    player_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    player_.start(tarvo_, {});
    ASSERT_TRUE(player_.waitForStarted(10000));
    ASSERT_TRUE(Within(30000, [&] { return !Owner().isEmpty(); })) << "the name never came";
    const QString first = Owner();

    EXPECT_EQ(Ctl({"status"}), "Stopped");
    // The names come from the disc's CD-Text, read once the disc is seen.
    EXPECT_TRUE(Within(10000, [&] { return Ctl({"metadata", "title"}) == "Morning Pulse"; }));
    EXPECT_EQ(Ctl({"metadata", "artist"}), "Orvane Demo Ensemble");

    Ctl({"play-pause"});
    EXPECT_EQ(Ctl({"status"}), "Playing");
    Ctl({"next"});
    EXPECT_EQ(Ctl({"metadata", "xesam:trackNumber"}), "2");
    EXPECT_EQ(Ctl({"metadata", "title"}), "Glass Stairs");
    Ctl({"previous"});
    EXPECT_EQ(Ctl({"metadata", "xesam:trackNumber"}), "1");
    Ctl({"position", "30"});
    const double at = std::atof(Ctl({"position"}).c_str());
    EXPECT_GE(at, 29.9);
    EXPECT_LT(at, 32.0);  // playing on for the moments the client takes
    Ctl({"shuffle", "On"});
    EXPECT_EQ(Ctl({"shuffle"}), "On");
    Ctl({"loop", "Track"});
    EXPECT_EQ(Ctl({"loop"}), "Track");
    EXPECT_EQ(Ctl({"shuffle"}), "Off");  // as the Repeat button does
    Ctl({"play-pause"});
    EXPECT_EQ(Ctl({"status"}), "Paused");

    // A second player ends at once and leaves the name with the first.
    QProcess second;
    second.setProcessEnvironment(env_);
    second.start(tarvo_, {});
    ASSERT_TRUE(second.waitForStarted(10000));
    EXPECT_TRUE(Within(20000, [&] { return second.state() == QProcess::NotRunning; }));
    EXPECT_EQ(Owner(), first);

    // Quit from the bus closes the window; the name goes with the program.
    RunClient(env_, "dbus-send",
              {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.tarvo",
               "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2.Quit"});
    EXPECT_TRUE(Within(20000, [&] { return player_.state() == QProcess::NotRunning; }));
    EXPECT_EQ(player_.exitCode(), 0);
    EXPECT_TRUE(Owner().isEmpty());
}
