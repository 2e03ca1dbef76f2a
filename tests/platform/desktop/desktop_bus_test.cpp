// The sleep inhibitor and the notifications on a private bus with stand-in services, and
// without any bus.

#include "platform/desktop/desktop_bus.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "platform/desktop/fake_services.h"
#include "platform/desktop/private_bus.h"

using orvane::desktop::SleepInhibitor;
using orvane::test::FakeService;
using orvane::test::PrivateBus;

namespace {

// Handles events until done answers true (at most five seconds of real time: the answers of
// services in this very process).
template <typename F>
bool Until(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

TEST(SleepInhibitor, IsAskedForOnceHeldAndGivenBack) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Up());
    FakeService saver;
    ASSERT_TRUE(saver.Serve(bus.Connect("saver"), "org.freedesktop.ScreenSaver",
                            "/org/freedesktop/ScreenSaver"));
    {
        SleepInhibitor inhibitor("Tarvo", "Playing an audio CD");
        // No login manager (no system bus): the desktop's screen-saver inhibit.
        inhibitor.UseBuses(std::nullopt, bus.Connect("player"));
        inhibitor.Hold(true);
        inhibitor.Hold(true);
        ASSERT_TRUE(Until([&] { return inhibitor.Held(); }));
        EXPECT_EQ(saver.Count("Inhibit"), 1);
        ASSERT_EQ(saver.calls[0].args.size(), 2);
        EXPECT_EQ(saver.calls[0].args[0].toString(), "Tarvo");
        EXPECT_EQ(saver.calls[0].args[1].toString(), "Playing an audio CD");

        inhibitor.Hold(false);
        EXPECT_FALSE(inhibitor.Held());
        ASSERT_TRUE(Until([&] { return saver.Count("UnInhibit") == 1; }));
        EXPECT_EQ(saver.calls.back().args[0].toUInt(), 42u);

        // Given back before the answer came: the cookie is handed back as soon as it comes.
        inhibitor.Hold(true);
        inhibitor.Hold(false);
        ASSERT_TRUE(Until([&] { return saver.Count("UnInhibit") == 2; }));
        EXPECT_FALSE(inhibitor.Held());

        // Held when the inhibitor goes: given back too.
        inhibitor.Hold(true);
        ASSERT_TRUE(Until([&] { return inhibitor.Held(); }));
    }
    EXPECT_TRUE(Until([&] { return saver.Count("UnInhibit") == 3; }));
}

TEST(SleepInhibitor, WithoutServiceOrBusNothingIsHeldAndNothingWaits) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Up());
    SleepInhibitor inhibitor("Plimo", "Encoding audio");
    inhibitor.UseBuses(std::nullopt, bus.Connect("lonely"));
    QElapsedTimer t;
    t.start();
    inhibitor.Hold(true);
    EXPECT_LT(t.elapsed(), 1000);
    orvane::test::Spin(200);
    EXPECT_FALSE(inhibitor.Held());
    inhibitor.Hold(false);

    SleepInhibitor none("Plimo", "Encoding audio");
    none.UseBuses(std::nullopt, std::nullopt);
    none.Hold(true);
    EXPECT_FALSE(none.Held());
    none.Hold(false);
}

TEST(Notify, ReachesTheNotificationServiceWithTextsAndUrgency) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Up());
    FakeService server;
    ASSERT_TRUE(server.Serve(bus.Connect("server"), "org.freedesktop.Notifications",
                             "/org/freedesktop/Notifications"));
    ASSERT_TRUE(orvane::desktop::Notify({"Plimo: the job failed", "Could not write.", true},
                                        "Plimo", "org.orvane.Plimo", bus.Connect("plimo")));
    ASSERT_TRUE(Until([&] { return server.Count("Notify") == 1; }));
    const QList<QVariant>& a = server.calls[0].args;
    ASSERT_EQ(a.size(), 8);
    EXPECT_EQ(a[0].toString(), "Plimo");
    EXPECT_EQ(a[2].toString(), "org.orvane.Plimo");
    EXPECT_EQ(a[3].toString(), "Plimo: the job failed");
    EXPECT_EQ(a[4].toString(), "Could not write.");
    EXPECT_EQ(a[7].toInt(), -1);

    EXPECT_FALSE(
        orvane::desktop::Notify({"x", "y", false}, "Plimo", "org.orvane.Plimo", std::nullopt));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
