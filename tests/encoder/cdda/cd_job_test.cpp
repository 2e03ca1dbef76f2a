#include "encoder/cdda/cd_job.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "encoder/app/job_runner.h"
#include "tests/encoder/app/job_recorder.h"
#include "tests/encoder/cdda/transport_fixture.h"

namespace orvane::cdda {
namespace {

using Step = encoder::InputSource::Step;

class CdSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        request_.kind = encoder::JobKind::EncodeMp3;
        request_.input = encoder::kCdAudioInput;
        request_.batch = true;
        request_.output = out_.path().string() + "/";
        request_.cd.driveIndex = 0;
        request_.cd.names = {"Intro", "Second", "Track3", "Last"};
        request_.cd.readBufferSize = 16;
        request_.cd.deleteGrabbedWav = true;
        request_.tags[2].SetMarker();
        request_.tags[2].SetArtist("A/B");
        request_.tags[2].SetTitle("Song: One?");
    }
    void Load(const std::string& faults) {
        transport_ =
            std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{
                test::ImageOf(dir_, {30, 40, 50, 60}, faults)});
    }
    test::TempDir dir_, out_;
    std::unique_ptr<test::Transport> transport_;
    encoder::JobRequest request_;
    test::JobRecorder recorder_;
};

TEST_F(CdSourceTest, TracksBecomeTaggedItemsWithTheirFinalNames) {
    Load("");
    request_.cd.checked = {0, 1, 0, 0};
    CdSession empty;  // no disc read before: the source reads it itself
    CdTrackSource source(request_, empty, nullptr);
    encoder::JobRunner runner(request_, recorder_);
    EXPECT_EQ(source.Count(), 1);
    auto next = source.Take(runner);
    ASSERT_EQ(next.step, Step::Item);
    EXPECT_EQ(next.item.input, (out_ / "Track1.WAV").string());
    EXPECT_EQ(next.item.output, (out_ / "Track1.MP3").string());
    EXPECT_EQ(next.item.finalStem, (out_ / "A-B - Song- One").string());
    EXPECT_TRUE(next.item.tagged);
    EXPECT_EQ(next.item.tag.Artist(), "A/B");
    EXPECT_EQ(next.item.trackNumber, 2);
    EXPECT_TRUE(next.item.deleteInput);
    EXPECT_EQ(source.Take(runner).step, Step::End);
}

TEST_F(CdSourceTest, ATracksEncodeNeverGoesIntoTheFinalFileOfTheTrackBefore) {
    Load("");
    request_.cd.checked = {1, 1, 0, 0};
    CdTrackSource source(request_, CdSession{}, nullptr);
    encoder::JobRunner runner(request_, recorder_);
    auto first = source.Take(runner);
    ASSERT_EQ(first.step, Step::Item);
    EXPECT_EQ(first.item.output, (out_ / "Track0.MP3").string());
    EXPECT_EQ(first.item.finalStem, (out_ / "Track1").string());
    auto second = source.Take(runner);
    ASSERT_EQ(second.step, Step::Item);
    EXPECT_EQ(second.item.input, (out_ / "Track1.WAV").string());
    EXPECT_NE(second.item.output, first.item.finalStem + ".MP3");
    EXPECT_NE(second.item.output, first.item.output);
    EXPECT_EQ(second.item.finalStem, (out_ / "A-B - Song- One").string());
}

TEST_F(CdSourceTest, UnreadableTracksFailAloneAndLeaveNoFile) {
    Load("fail=75");  // inside the third track
    request_.cd.checked = {1, 0, 1, 1};
    CdTrackSource source(request_, CdSession{}, nullptr);
    encoder::JobRunner runner(request_, recorder_);
    EXPECT_EQ(source.Take(runner).step, Step::Item);
    auto failed = source.Take(runner);
    EXPECT_EQ(failed.step, Step::Failed);
    EXPECT_EQ(failed.item.input, "Track3");
    EXPECT_FALSE(std::filesystem::exists(out_ / "Track2.WAV"));
    auto last = source.Take(runner);
    EXPECT_EQ(last.step, Step::Item);
    EXPECT_EQ(last.item.trackNumber, 4);
    EXPECT_EQ(source.Take(runner).step, Step::End);
    EXPECT_TRUE(recorder_.Messages().empty());
    EXPECT_EQ(UnreadableTrackName(request_.cd, 1), "Track2 (Second)");
}

TEST_F(CdSourceTest, ACancelledJobStopsTheGrabQuietly) {
    Load("slow=0-10 slow_ms=1");
    request_.cd.checked = {1, 1, 0, 0};
    CdTrackSource source(request_, CdSession{}, nullptr);
    encoder::JobRunner runner(request_, recorder_);
    runner.RequestCancel();
    auto next = source.Take(runner);
    EXPECT_EQ(next.step, Step::Cancelled);
    EXPECT_EQ(next.message, "Current Process was Canceled.");
    EXPECT_TRUE(recorder_.Messages().empty());  // no second message of its own
}

TEST_F(CdSourceTest, NoDriveMakesEveryTrackFail) {
    transport_ =
        std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{});
    request_.cd.checked = {1, 0, 1, 0};
    CdTrackSource source(request_, CdSession{}, nullptr);
    encoder::JobRunner runner(request_, recorder_);
    EXPECT_EQ(source.Take(runner).step, Step::Failed);
    EXPECT_EQ(source.Take(runner).step, Step::Failed);
    EXPECT_EQ(source.Take(runner).step, Step::End);
}

}  // namespace
}  // namespace orvane::cdda
