// The demo disc of the program folder, played through the MCI device on virtual time.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>

#include "platform/audio/audio_sink.h"
#include "platform/cdrom/drives.h"
#include "platform/clock/clock.h"
#include "platform/mci/mmsystem.h"
#include "support/temp_dir.h"

namespace {

using orvane::cdrom::ImageDrive;

TEST(DemoDisc, HasShortMusicTracksInEveryFileType) {
    std::string error;
    auto drive = ImageDrive::Open((orvane::test::DistDir() / "demo/Demo.cue").string(), error);
    ASSERT_TRUE(drive) << error;
    const auto& sheet = drive->Sheet();
    ASSERT_EQ(sheet.toc.tracks.size(), 5u);
    std::set<orvane::cdrom::CueFileType> types;
    for (const auto& f : sheet.files)
        types.insert(f.type);
    EXPECT_EQ(types.size(), 3u);  // BINARY, MOTOROLA and WAVE
    for (std::size_t i = 0; i < sheet.toc.tracks.size(); ++i) {
        double seconds = sheet.toc.TrackFrames(i) / 75.0;
        EXPECT_GE(seconds, 20.0) << i;
        EXPECT_LE(seconds, 42.0) << i;
        // The middle of every track is audible and not clipped, and both byte orders come out
        // as the same little-endian samples: a swapped track would measure as loud noise.
        std::vector<std::uint8_t> frames(75 * 2352);
        ASSERT_TRUE(drive
                        ->ReadCdda(sheet.toc.tracks[i].lba + sheet.toc.TrackFrames(i) / 2, 75,
                                   frames.data())
                        .ok);
        double sum = 0, diff = 0;
        std::int16_t previous = 0;
        for (std::size_t k = 0; k + 1 < frames.size(); k += 4) {
            auto s = static_cast<std::int16_t>(frames[k] | (frames[k + 1] << 8));
            sum += double(s) * s;
            diff += std::fabs(double(s) - previous);
            previous = s;
        }
        double count = frames.size() / 4.0;
        double rms = std::sqrt(sum / count);
        EXPECT_GT(rms, 500) << "track " << i + 1;
        EXPECT_LT(rms, 20000) << "track " << i + 1;
        EXPECT_LT(diff / count, rms) << "track " << i + 1 << " sounds like noise";
    }
}

TEST(DemoDisc, PlaysThroughTheMciDeviceWithPositionsAdvancing) {
    orvane::clock::VirtualClock clock;
    orvane::clock::Install(&clock);
    orvane::audio::InstallSinkFactory([] { return std::make_unique<orvane::audio::NullSink>(); });
    std::string error;
    auto drive = ImageDrive::Open((orvane::test::DistDir() / "demo/Demo.cue").string(), error);
    ASSERT_TRUE(drive) << error;
    orvane::cdrom::InstallDrives({std::move(drive)});

    char answer[64];
    ASSERT_EQ(
        mciSendString("open D: type cdaudio alias demo shareable", answer, sizeof answer, nullptr),
        0u);
    ASSERT_EQ(mciSendString("set demo time format tmsf", nullptr, 0, nullptr), 0u);
    ASSERT_EQ(mciSendString("play demo from 4", nullptr, 0, nullptr), 0u);
    std::string last;
    for (int s = 1; s <= 30; ++s) {
        clock.Advance(1000);
        ASSERT_EQ(mciSendString("status demo position", answer, sizeof answer, nullptr), 0u);
        EXPECT_GT(std::string(answer), last);
        last = answer;
    }
    // Track 4 lasts 24 s, then the two seconds of track 5's pregap: 4 s into track 5 now.
    EXPECT_EQ(last, "05:00:04:00");
    ASSERT_EQ(mciSendString("status demo mode", answer, sizeof answer, nullptr), 0u);
    EXPECT_STREQ(answer, "playing");
    clock.Advance(30000);
    ASSERT_EQ(mciSendString("status demo mode", answer, sizeof answer, nullptr), 0u);
    EXPECT_STREQ(answer, "stopped");
    clock.SetAutoAdvance(true);
    ASSERT_EQ(mciSendString("close demo", nullptr, 0, nullptr), 0u);
    orvane::cdrom::ResetDrives();
    orvane::audio::InstallSinkFactory({});
    orvane::clock::Install(nullptr);
}

}  // namespace

namespace {

// The headless player of the program folder finds the demo disc by itself.
TEST(DemoDisc, HeadlessPlayerListsAndPlaysIt) {
    orvane::test::TempDir config;
    std::filesystem::create_directories(config / "orvane");
    orvane::test::WriteFile(config / "orvane/drives.conf", "real_drives = no\n");
    std::string command = "XDG_CONFIG_HOME='" + config.path().string() +
                          "' ORVANE_CD_IMAGES= ORVANE_AUDIO=null '" +
                          (orvane::test::DistDir() / "cdplay").string() + "' 0 2 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    EXPECT_EQ(pclose(pipe), 0) << output;
    EXPECT_NE(output.find("demo/Demo.cue"), std::string::npos) << output;
    EXPECT_NE(output.find(": 5 tracks"), std::string::npos) << output;
    EXPECT_NE(output.find("track 03  00:38"), std::string::npos) << output;
    EXPECT_NE(output.find("track 02  00:00.00  playing"), std::string::npos) << output;
}

}  // namespace
