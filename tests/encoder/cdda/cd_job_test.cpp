#include "encoder/cdda/cd_job.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "encoder/app/fake_window.h"
#include "tests/encoder/cdda/transport_fixture.h"

namespace orvane::cdda {
namespace {

class CdJobTest : public ::testing::Test {
protected:
    void Load(const std::string& faults) {
        transport_ =
            std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{
                test::ImageOf(dir_, {30, 40, 50, 60}, faults)});
        ASSERT_EQ(DiscoverDrives(session_.drives), 1);
        ASSERT_EQ(session_.drives[0].ReadToc(session_.toc), 1);
        ComputeTrackArrays(session_);
        session_.names = {"Intro", "Second", "Third", "Last"};
        app_.cdaReadBufferSize = 16;
        app_.deleteGrabbedWav = 1;
    }
    test::TempDir dir_, out_;
    std::unique_ptr<test::Transport> transport_;
    CdSession session_;
    encoder::EncoderApp app_;
    test::FakeWindow messages_;
};

TEST_F(CdJobTest, UnreadableTracksAreSkippedAndNamedAtTheEnd) {
    Load("fail=75");  // inside the third track
    session_.checked = {1, 0, 1, 1};
    CdTrackSource source(app_, session_, nullptr, &messages_);
    auto t = source.Next(out_.path().string());
    EXPECT_EQ(t.wavePath, (out_ / "Track0.WAV").string());
    EXPECT_EQ(t.trackNumber, 1);
    t = source.Next(out_.path().string());
    EXPECT_EQ(t.wavePath, (out_ / "Track3.WAV").string());
    EXPECT_EQ(t.trackNumber, 4);
    EXPECT_FALSE(std::filesystem::exists(out_ / "Track2.WAV"));  // the partial file is gone
    EXPECT_TRUE(source.Next(out_.path().string()).wavePath.empty());
    EXPECT_FALSE(source.Cancelled());
    EXPECT_EQ(source.Unreadable(), std::vector<std::string>{"Third"});
    EXPECT_EQ(source.FinalMessage("MP3 Compression Finished."),
              "MP3 Compression Finished.\nThese track(s) could not be read and were not "
              "encoded: Third.");
    EXPECT_TRUE(messages_.Boxes().empty());
}

TEST_F(CdJobTest, FinishTagsRemovesTheWaveAndRenames) {
    Load("");
    session_.checked = {0, 1, 0, 0};
    app_.tagTable[2].SetMarker();
    app_.tagTable[2].SetArtist("A/B");
    app_.tagTable[2].SetTitle("Song: One?");
    CdTrackSource source(app_, session_, nullptr, &messages_);
    auto t = source.Next(out_.path().string());
    ASSERT_EQ(t.trackNumber, 2);
    test::WriteFile(out_ / "Track1.MP3", "mp3 bytes");
    std::string final = source.Finish(t, (out_ / "Track1.MP3").string(), out_.path().string());
    EXPECT_EQ(final, (out_ / "A-B - Song- One.MP3").string());
    std::string bytes = test::ReadFile(final);
    ASSERT_EQ(bytes.size(), 9u + 128u);
    EXPECT_EQ(bytes.substr(9, 3), "TAG");
    EXPECT_FALSE(std::filesystem::exists(t.wavePath));
    EXPECT_EQ(source.FinalMessage("done"), "done");
}

}  // namespace
}  // namespace orvane::cdda
