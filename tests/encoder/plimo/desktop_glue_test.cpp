// Plimo's jobs on the desktop: the notification a stand-in notification server receives on a
// private bus when a job ends unwatched, and the inhibitor held while a job runs.

#include "encoder/plimo/desktop_glue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "encoder/cdda/verified_rip.h"
#include "platform/desktop/fake_services.h"
#include "platform/desktop/private_bus.h"

using namespace orvane;
using orvane::test::FakeService;

namespace {

template <typename F>
bool Until(F done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

cdda::RipReport Rip(std::vector<cdda::AccurateRipResult> results) {
    cdda::RipReport r;
    for (auto result : results) {
        cdda::RipTrackReport t;
        t.verdict.result = result;
        r.tracks.push_back(t);
    }
    return r;
}

TEST(RipOutcomeLine, CountsTheAccurateTracks) {
    using R = cdda::AccurateRipResult;
    EXPECT_EQ(plimo::RipOutcomeLine(Rip({R::Match, R::Match})),
              "AccurateRip: all 2 tracks accurately ripped");
    EXPECT_EQ(plimo::RipOutcomeLine(Rip({R::Match, R::Mismatch, R::NotFound})),
              "AccurateRip: 1 of 3 tracks accurately ripped");
    cdda::RipReport offline = Rip({R::Unavailable});
    offline.lookupMessage = "cannot reach the server";
    EXPECT_EQ(plimo::RipOutcomeLine(offline), "AccurateRip: cannot reach the server");
    EXPECT_EQ(plimo::RipOutcomeLine(Rip({})), "");
}

class PlimoOnTheBus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.Up());
        ASSERT_TRUE(server_.Serve(bus_.Connect("server"), "org.freedesktop.Notifications",
                                  "/org/freedesktop/Notifications"));
        ASSERT_TRUE(saver_.Serve(bus_.Connect("saver"), "org.freedesktop.ScreenSaver",
                                 "/org/freedesktop/ScreenSaver"));
        desktop_ = std::make_unique<plimo::PlimoDesktop>(
            settings_, [this] { return active_; }, bus_.Connect("plimo"));
        desktop_->Install();
        rip_.batch = true;
        rip_.input = encoder::kCdAudioInput;
        rip_.fullTags.resize(2);
        rip_.fullTags[1].Set(tags::TagField::Album, "Orvane Demo Disc");
    }

    test::PrivateBus bus_;
    FakeService server_, saver_;
    encoder::MemorySettings settings_;
    bool active_ = false;
    std::unique_ptr<plimo::PlimoDesktop> desktop_;
    encoder::JobRequest rip_;
};

TEST_F(PlimoOnTheBus, AnUnwatchedRipEndsWithANotificationAndTheMachineMaySleepAgain) {
    // The job's start holds the inhibitor through the window's listeners.
    encoder::TheJobWindowHooks().started(rip_);
    ASSERT_TRUE(Until([&] { return desktop_->Inhibitor().Held(); }));
    EXPECT_EQ(saver_.Count("Inhibit"), 1);

    using R = cdda::AccurateRipResult;
    desktop_->RipListener()(Rip({R::Match, R::Match, R::Mismatch}), true);
    encoder::TheJobWindowHooks().finished(
        rip_, {encoder::JobResult::Failed, "1 of 3 tracks failed.\nTrack 3: ...", {{"3", ""}}});
    encoder::TheJobWindowHooks().ended();
    ASSERT_TRUE(Until([&] { return server_.Count("Notify") == 1; }));
    const QList<QVariant>& a = server_.calls[0].args;
    EXPECT_EQ(a[3].toString(), "Plimo: the job failed");
    EXPECT_EQ(a[4].toString(),
              "1 of 3 tracks failed.\nAlbum: Orvane Demo Disc\n"
              "AccurateRip: 2 of 3 tracks accurately ripped");
    ASSERT_TRUE(Until([&] { return saver_.Count("UnInhibit") == 1; }));
    EXPECT_FALSE(desktop_->Inhibitor().Held());
}

TEST_F(PlimoOnTheBus, NoNotificationWhileWatchedOrWhenTurnedOff) {
    const encoder::JobOutcome done{encoder::JobResult::Succeeded, "Encoding Finished.", {}};
    encoder::JobRequest file;
    // Each end is looked at on the window's thread, as it comes.
    active_ = true;
    desktop_->JobFinished(file, done);
    orvane::test::Spin(50);
    settings_.WriteProfileInt("Preferences", "Notify", 0);
    active_ = false;
    desktop_->JobFinished(file, done);
    orvane::test::Spin(50);
    settings_.WriteProfileInt("Preferences", "Notify", 1);
    desktop_->JobFinished(file, done);
    ASSERT_TRUE(Until([&] { return server_.Count("Notify") == 1; }));
    orvane::test::Spin(100);
    EXPECT_EQ(server_.Count("Notify"), 1);
    EXPECT_EQ(server_.calls[0].args[4].toString(), "Encoding Finished.");
    EXPECT_EQ(server_.calls[0].args[3].toString(), "Plimo: the job is done");
}

TEST(PlimoWithoutABus, JobsEndAsBefore) {
    encoder::MemorySettings settings;
    plimo::PlimoDesktop desktop(
        settings, [] { return false; }, std::nullopt);
    desktop.Install();
    QElapsedTimer t;
    t.start();
    desktop.JobStarted();
    desktop.JobFinished({}, {encoder::JobResult::Succeeded, "Done.", {}});
    desktop.JobEnded();
    orvane::test::Spin(50);
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_FALSE(desktop.Inhibitor().Held());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
