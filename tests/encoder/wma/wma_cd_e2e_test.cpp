// A WMA job of CD tracks through the real CD source: an image drive read through
// libwnaspi32.so, each checked track grabbed into a WAVE file and encoded to a WMA file named
// and described by the track's tag; a track that cannot be read is named in the final message.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "common/tag_fields.h"
#include "encoder/cdda/cd_job.h"
#include "encoder/job/job_runner.h"
#include "encoder/wma/wma_job.h"
#include "platform/clock/clock.h"
#include "tests/encoder/app/job_recorder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_util.h"
#include "tests/support/wma_util.h"

namespace orvane::wma {
namespace {

namespace fs = std::filesystem;

constexpr double kTones[] = {440, 660, 880};
constexpr std::uint32_t kFrames[] = {150, 75, 100};  // 2, 1 and 1.33 seconds

// The disc of kTones as the image drive, its second track with a sector that never reads.
void LoadDisc(const fs::path& dir) {
    std::string image, cue = "FILE \"tones.bin\" BINARY\n";
    std::uint32_t at = 0;
    for (int t = 0; t < 3; ++t) {
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02u:%02u:%02u\n", t + 1,
                      at / 75 / 60, at / 75 % 60, at % 75);
        cue += line;
        image += test::CdToneFrames(kTones[t], kFrames[t]);
        at += kFrames[t];
    }
    test::WriteFile(dir / "tones.bin", image);
    test::WriteFile(dir / "tones.cue", cue);
    const char* config = std::getenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(config);
    fs::create_directories(std::string(config) + "/orvane");
    test::WriteFile(std::string(config) + "/orvane/drives.conf",
                    "real_drives = no\nimage = " + (dir / "tones.cue").string() +
                        "\nfaults = fail=" + std::to_string(kFrames[0] + 30) + "\n");
}

std::vector<std::string> Files(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WmaCdJobEndToEnd, ReadableTracksBecomeDescribedWmaFilesAndTheUnreadableOneIsNamed) {
    test::TempDir dir, out, profiles;
    LoadDisc(dir.path());

    test::CopyShippedProfiles(profiles.path());
    test::RegisterProfileFolder(profiles.path().string());
    RegisterWmaJob();
    // The job's fixed pauses pass at once; the encoder and the drive run in real time.
    clock::VirtualClock clk(true);
    clock::Install(&clk);

    encoder::JobRequest request;
    request.kind = encoder::JobKind::EncodeWma;
    request.input = encoder::kCdAudioInput;
    request.batch = true;
    request.output = out.path().string() + "/";
    request.appFolder = test::DistDir().string() + "/";
    request.wma.profileIndex = 0;
    const char* titles[] = {"Morning: Bells", "Broken", "Night/Fall"};
    for (int t = 1; t <= 3; ++t) {
        request.tags[t].SetMarker();
        request.tags[t].SetArtist("Orvane Players");
        request.tags[t].SetTitle(titles[t - 1]);
        request.tags[t].SetAlbum("Tones");
    }
    // The grabber's full texts: the third title is longer than the record's thirty bytes.
    const std::string longTitle =
        "Night/Fall \xe2\x80\x94 \xd0\xbd\xd0\xbe\xd1\x87\xd1\x8c, longer than thirty bytes";
    request.fullTags.resize(4);
    for (int t = 1; t <= 3; ++t) {
        tags::TrackTags& f = request.fullTags[static_cast<std::size_t>(t)];
        f.Set(tags::TagField::Title, t == 3 ? longTitle : titles[t - 1]);
        f.Set(tags::TagField::Artist, "Orvane Players");
        f.Set(tags::TagField::Album, "Tones");
        f.Set(tags::TagField::AlbumArtist, "Various \xc3\x84rtists");
        f.Set(tags::TagField::Year, "1998");
        f.Set(tags::TagField::TrackNumber, std::to_string(t));
        f.Set(tags::TagField::TrackTotal, "3");
        f.Set(tags::TagField::DiscNumber, "1");
        f.Set(tags::TagField::DiscTotal, "2");
        f.Set(tags::TagField::Genre, "Ambient Drone");
        f.Set(tags::TagField::Isrc, "XXA0198000" + std::to_string(t) + "0");
    }
    request.cd.driveIndex = 0;
    request.cd.checked = {1, 1, 1};
    request.cd.names = {"Morning", "Broken", "Night"};
    request.cd.trackCount = 3;
    request.cd.readBufferSize = 16;
    request.cd.deleteGrabbedWav = true;

    cdda::InstallCdTrackSource(nullptr);
    test::JobRecorder recorder;
    {
        encoder::JobRunner runner(request, recorder);
        runner.Start();
        runner.Wait();
    }
    encoder::SetCdTrackSource(nullptr);
    clock::Install(nullptr);
    test::UnregisterProfileFolder();

    EXPECT_TRUE(recorder.Messages().empty());
    ASSERT_TRUE(recorder.Outcome().has_value());
    EXPECT_EQ(recorder.Outcome()->result, encoder::JobResult::Failed);
    EXPECT_EQ(recorder.Outcome()->message,
              "Error: 1 of 3 files could not be encoded:\n"
              "Track2 (Broken): Error: Can't read RAW Audio Data.");
    // One file per readable track; the unreadable one left nothing, and every grabbed WAVE
    // file went once encoded.
    EXPECT_EQ(Files(out.path()), (std::vector<std::string>{"Orvane Players - Morning- Bells.WMA",
                                                           "Orvane Players - Night-Fall.WMA"}));
    EXPECT_EQ(recorder.Text(encoder::JobText::Input), "Track3 (Night)");

    if (std::system("ffprobe -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffprobe";
    const std::pair<int, const char*> written[] = {{0, "Orvane Players - Morning- Bells.WMA"},
                                                   {2, "Orvane Players - Night-Fall.WMA"}};
    for (const auto& [track, name] : written) {
        auto probe = test::Probe(out / name);
        EXPECT_EQ(probe["codec_name"], "wmav2") << name;
        EXPECT_EQ(probe["TAG:title"], track == 2 ? longTitle : titles[track]) << name;
        EXPECT_EQ(probe["TAG:artist"], "Orvane Players") << name;
        EXPECT_EQ(probe["TAG:copyright"], "Orvane Players") << name;
        EXPECT_EQ(probe["TAG:comment"], "Tones") << name;
        EXPECT_EQ(probe["TAG:album"], "Tones") << name;
        EXPECT_EQ(probe["TAG:album_artist"], "Various \xc3\x84rtists") << name;
        EXPECT_EQ(probe["TAG:track"], std::to_string(track + 1)) << name;
        EXPECT_EQ(probe["TAG:disc"], "1/2") << name;
        EXPECT_EQ(probe["TAG:genre"], "Ambient Drone") << name;
        EXPECT_EQ(probe["TAG:WM/Year"], "1998") << name;
        EXPECT_EQ(probe["TAG:WM/ISRC"], "XXA0198000" + std::to_string(track + 1) + "0") << name;
        // Within one codec frame (2048 samples) of the track's length.
        ASSERT_TRUE(probe.count("duration")) << name;
        EXPECT_NEAR(std::stod(probe["duration"]), kFrames[track] / 75.0, 2048.0 / 44100) << name;
        // The file holds the track's own tone.
        test::ToneFit fit = test::FitTone(test::Decode(out / name), 2, 0, 44100, kTones[track]);
        EXPECT_GT(fit.snrDb, 20) << name;
    }
}

// Two tracks of one title ripped into a folder holding the user's files, among them one of that
// name, with the grabbed WAVE files kept: nothing of the user's is touched, and each track gets
// its own numbered name.
TEST(WmaCdJobEndToEnd, TheUsersFilesStayAndTakenNamesGetTheNextNumber) {
    test::TempDir dir, out, profiles;
    LoadDisc(dir.path());
    test::CopyShippedProfiles(profiles.path());
    test::RegisterProfileFolder(profiles.path().string());
    RegisterWmaJob();
    clock::VirtualClock clk(true);
    clock::Install(&clk);
    test::WriteFile(out / "Track0.WAV", "the user's wave");
    test::WriteFile(out / "Track0.WMA", "the user's wma");
    test::WriteFile(out / "Orvane Players - Night.WMA", "an earlier rip");

    encoder::JobRequest request;
    request.kind = encoder::JobKind::EncodeWma;
    request.input = encoder::kCdAudioInput;
    request.batch = true;
    request.output = out.path().string() + "/";
    request.appFolder = test::DistDir().string() + "/";
    request.wma.profileIndex = 0;
    for (int t : {1, 3}) {
        request.tags[t].SetMarker();
        request.tags[t].SetArtist("Orvane Players");
        request.tags[t].SetTitle("Night");
    }
    request.cd.driveIndex = 0;
    request.cd.checked = {1, 0, 1};
    request.cd.names = {"Morning", "Broken", "Night"};
    request.cd.trackCount = 3;
    request.cd.readBufferSize = 16;
    request.cd.deleteGrabbedWav = false;

    cdda::InstallCdTrackSource(nullptr);
    test::JobRecorder recorder;
    {
        encoder::JobRunner runner(request, recorder);
        runner.Start();
        runner.Wait();
    }
    encoder::SetCdTrackSource(nullptr);
    clock::Install(nullptr);
    test::UnregisterProfileFolder();

    ASSERT_TRUE(recorder.Outcome().has_value());
    EXPECT_EQ(recorder.Outcome()->message, "Compression Finished.");
    EXPECT_EQ(Files(out.path()),
              (std::vector<std::string>{
                  "Orvane Players - Night (2).WAV", "Orvane Players - Night (2).WMA",
                  "Orvane Players - Night (3).WMA", "Orvane Players - Night.WAV",
                  "Orvane Players - Night.WMA", "Track0.WAV", "Track0.WMA"}));
    EXPECT_EQ(test::ReadFile(out / "Track0.WAV"), "the user's wave");
    EXPECT_EQ(test::ReadFile(out / "Track0.WMA"), "the user's wma");
    EXPECT_EQ(test::ReadFile(out / "Orvane Players - Night.WMA"), "an earlier rip");
    EXPECT_EQ(fs::file_size(out / "Orvane Players - Night.WAV"), 44 + kFrames[0] * 2352u);
    EXPECT_EQ(fs::file_size(out / "Orvane Players - Night (2).WAV"), 44 + kFrames[2] * 2352u);
    EXPECT_EQ(recorder.Text(encoder::JobText::Output),
              (out / "Orvane Players - Night (3).WMA").string());
    if (std::system("ffprobe -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffprobe";
    EXPECT_GT(
        test::FitTone(test::Decode(out / "Orvane Players - Night (3).WMA"), 2, 0, 44100, kTones[2])
            .snrDb,
        20);
}

// A naming pattern files WMA tracks into folders as it does on the other roads.
TEST(WmaCdJobEndToEnd, APatternNamesTheTracksFolders) {
    test::TempDir dir, out, profiles;
    LoadDisc(dir.path());
    test::CopyShippedProfiles(profiles.path());
    test::RegisterProfileFolder(profiles.path().string());
    RegisterWmaJob();
    clock::VirtualClock clk(true);
    clock::Install(&clk);

    encoder::JobRequest request;
    request.kind = encoder::JobKind::EncodeWma;
    request.input = encoder::kCdAudioInput;
    request.batch = true;
    request.output = out.path().string() + "/";
    request.appFolder = test::DistDir().string() + "/";
    request.wma.profileIndex = 0;
    request.tags[1].SetMarker();
    request.tags[1].SetArtist("Orvane Players");
    request.tags[1].SetTitle("Morning: Bells");
    request.tags[1].SetAlbum("Tones");
    request.fullTags.resize(2);
    request.fullTags[1].Set(tags::TagField::AlbumArtist, "Various");
    request.namePattern = "%a/%B/%N %T";
    request.cd.driveIndex = 0;
    request.cd.checked = {1, 0, 0};
    request.cd.names = {"Morning", "Broken", "Night"};
    request.cd.trackCount = 3;
    request.cd.readBufferSize = 16;
    request.cd.deleteGrabbedWav = true;

    cdda::InstallCdTrackSource(nullptr);
    test::JobRecorder recorder;
    {
        encoder::JobRunner runner(request, recorder);
        runner.Start();
        runner.Wait();
    }
    encoder::SetCdTrackSource(nullptr);
    clock::Install(nullptr);
    test::UnregisterProfileFolder();

    ASSERT_TRUE(recorder.Outcome().has_value());
    EXPECT_EQ(recorder.Outcome()->message, "Compression Finished.");
    EXPECT_EQ(Files(out.path()), std::vector<std::string>{"Various"});
    EXPECT_EQ(Files(out / "Various" / "Tones"), std::vector<std::string>{"01 Morning- Bells.WMA"});
    EXPECT_EQ(recorder.Text(encoder::JobText::Output),
              (out / "Various" / "Tones" / "01 Morning- Bells.WMA").string());
}

}  // namespace
}  // namespace orvane::wma
