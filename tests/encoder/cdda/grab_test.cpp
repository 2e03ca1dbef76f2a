#include "encoder/cdda/grab.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "encoder/app/fake_window.h"
#include "encoder/cdda/resource_cdda.h"
#include "encoder/rip/deemphasis.h"
#include "platform/clock/clock.h"
#include "support/full_disk.h"
#include "tests/encoder/cdda/transport_fixture.h"

namespace orvane::cdda {
namespace {

using test::FakeWindow;
using test::TempDir;

// A progress window whose message loop presses Cancel after a number of requests.
class FakeProgress : public ProgressWindow {
public:
    class CancelPort : public FakeWindow {
    public:
        void ProcessMessages() override {
            if (++calls == cancelAt && logic) logic->OnCancel();
        }
        int calls = 0;
        int cancelAt = -1;
        GrabProgress* logic = nullptr;
    };
    WindowPort& Port() override { return port; }
    CancelPort port;
};

struct Opened {
    int count = 0;
    int cancelAt = -1;
    OpenProgressFn Fn() {
        return [this](GrabProgress& logic) {
            auto w = std::make_unique<FakeProgress>();
            w->port.logic = &logic;
            w->port.cancelAt = cancelAt;
            ++count;
            return w;
        };
    }
};

std::uint32_t Le32(const std::string& s, std::size_t at) {
    return std::uint32_t(std::uint8_t(s[at])) | std::uint32_t(std::uint8_t(s[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(s[at + 2])) << 16 |
           std::uint32_t(std::uint8_t(s[at + 3])) << 24;
}

// A valid 44-byte header for exactly the samples that follow it, and those samples are the
// disc's frames from `first` on.
void ExpectWave(const std::filesystem::path& file, std::uint32_t first, std::uint32_t frames) {
    std::string bytes = test::ReadFile(file);
    ASSERT_EQ(bytes.size(), 44 + std::size_t{frames} * kFrameBytes) << file;
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le32(bytes, 24), 44100u);
    EXPECT_EQ(Le32(bytes, 28), 176400u);
    EXPECT_EQ(Le32(bytes, 40), bytes.size() - 44);
    EXPECT_EQ(bytes.substr(44), test::PatternFrames(first, frames));
}

class GrabTest : public ::testing::Test {
protected:
    // Tracks of 100, 32, 30, 40, 60 and 20 frames.
    void Load(const std::string& faults = {}) {
        transport_.reset();
        transport_ =
            std::make_unique<test::Transport>(std::vector<std::shared_ptr<cdrom::DiscDrive>>{
                test::ImageOf(dir_, {100, 32, 30, 40, 60, 20}, faults)});
        ASSERT_EQ(DiscoverDrives(session_.drives), 1);
        ASSERT_EQ(session_.drives[0].ReadToc(session_.toc), 1);
        ComputeTrackArrays(session_);
        session_.selectedDrive = 0;
    }
    std::vector<test::SentBlock> Reads() { return transport_->Sent(0xBE); }
    static std::uint32_t Count(const test::SentBlock& b) { return b.cdb[7] << 8 | b.cdb[8]; }
    static std::uint32_t Lba(const test::SentBlock& b) {
        return std::uint32_t(b.cdb[2]) << 24 | b.cdb[3] << 16 | b.cdb[4] << 8 | b.cdb[5];
    }
    ReadOutcome Read(int track, int n, WaveFileWriter& file, FakeWindow& port, bool inJob = false) {
        GrabProgress progress(&port);
        ReadTrackParams p;
        p.drive = &session_.Drive();
        p.range = TrackRange(session_, track, false, 0);
        p.sectorsPerRead = n;
        p.inJob = inJob;
        GrabCounters counters;
        std::string error;
        return ReadTrack(p, file, progress, counters, error);
    }

    GrabNextTrackResult NextTrack(int& next, int& buffer, Opened& opened, FakeWindow* job,
                                  bool introOnly, int introSeconds) {
        NextTrackOptions o;
        o.introOnly = introOnly;
        o.introSeconds = introSeconds;
        o.openProgress = opened.Fn();
        if (job) o.message = [job](const std::string& t, unsigned f) { job->MessageBox(t, "", f); };
        return GrabNextTrack(session_, out_.path().string(), next, buffer, o);
    }

    TempDir dir_;
    TempDir out_;
    std::unique_ptr<test::Transport> transport_;
    CdSession session_;
};

TEST(WaveHeader, CanonicalLayout) {
    auto h = WaveHeader(44 + 8, 2, 44100.7);
    std::string s(h.begin(), h.end());
    EXPECT_EQ(s.substr(0, 4), "RIFF");
    EXPECT_EQ(Le32(s, 4), 44u);
    EXPECT_EQ(s.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le32(s, 16), 16u);
    EXPECT_EQ(Le32(s, 20), 1u | 2u << 16);  // PCM, two channels
    EXPECT_EQ(Le32(s, 24), 44100u);
    EXPECT_EQ(Le32(s, 28), 176400u);
    EXPECT_EQ(Le32(s, 32), 4u | 16u << 16);
    EXPECT_EQ(s.substr(36, 4), "data");
    EXPECT_EQ(Le32(s, 40), 8u);
}

TEST_F(GrabTest, HundredFramesInRequestsOfSixteen) {
    Load();
    FakeWindow port;
    WaveFileWriter file;
    std::string error;
    ASSERT_TRUE(file.Create((out_ / "t.WAV").string(), error)) << error;
    EXPECT_EQ(Read(0, 16, file, port), ReadOutcome::Done);
    ASSERT_TRUE(file.Finish(error)) << error;
    auto reads = Reads();
    ASSERT_EQ(reads.size(), 7u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(Lba(reads[i]), 16 * i);
        EXPECT_EQ(Count(reads[i]), 16u);
    }
    EXPECT_EQ(Count(reads[6]), 4u);
    EXPECT_EQ(port.Text(IDC_GRAB_GRABBED), "0 MBytes, 112 Sectors.");
    ExpectWave(out_ / "t.WAV", 0, 100);

    // A track that is a multiple of n: no request past its end.
    transport_->Clear();
    ASSERT_TRUE(file.Create((out_ / "u.WAV").string(), error));
    EXPECT_EQ(Read(1, 16, file, port), ReadOutcome::Done);
    ASSERT_TRUE(file.Finish(error));
    EXPECT_EQ(Reads().size(), 2u);
    ExpectWave(out_ / "u.WAV", 100, 32);
}

TEST_F(GrabTest, FailingRequestsAreRetried) {
    // Frame 40 fails five times, then reads.
    Load("fail=40 fail_times=5");
    FakeWindow port;
    WaveFileWriter file;
    std::string error;
    ASSERT_TRUE(file.Create((out_ / "t.WAV").string(), error));
    EXPECT_EQ(Read(0, 8, file, port), ReadOutcome::Done);
    ASSERT_TRUE(file.Finish(error));
    int at40 = 0;
    for (const auto& r : Reads())
        at40 += Lba(r) == 40;
    EXPECT_EQ(at40, 6);
    ExpectWave(out_ / "t.WAV", 0, 100);
}

TEST_F(GrabTest, ASectorThatNeverReadsEndsTheTrackWithTheFramesReadSoFar) {
    Load("fail=40");
    FakeWindow port;
    WaveFileWriter file;
    std::string error;
    ASSERT_TRUE(file.Create((out_ / "t.WAV").string(), error));
    EXPECT_EQ(Read(0, 8, file, port), ReadOutcome::Failed);
    ASSERT_TRUE(file.Finish(error));
    EXPECT_EQ(Reads().size(), 5u + 6u);  // five good requests, six attempts at frame 40
    ExpectWave(out_ / "t.WAV", 0, 40);

    // Inside a job the last request of a track gets ten attempts.
    transport_->Clear();
    ASSERT_TRUE(file.Create((out_ / "u.WAV").string(), error));
    EXPECT_EQ(Read(0, 48, file, port, true), ReadOutcome::Failed);
    file.Discard();
    EXPECT_EQ(Reads().size(), 6u);
    transport_->Clear();
    Load("fail=99");
    ASSERT_TRUE(file.Create((out_ / "u.WAV").string(), error));
    EXPECT_EQ(Read(0, 48, file, port, true), ReadOutcome::Failed);
    file.Discard();
    EXPECT_EQ(Reads().size(), 2u + 10u);
    EXPECT_FALSE(std::filesystem::exists(out_ / "u.WAV"));
}

TEST_F(GrabTest, NextTrackGrabsTheCheckedTracksInTurn) {
    Load();
    session_.checked = {0, 0, 1, 0, 0, 1};
    int next = 0, buffer = 16;
    Opened opened;
    FakeWindow job;
    auto r = NextTrack(next, buffer, opened, &job, false, 15);
    EXPECT_EQ(r.result, GrabResult::Grabbed);
    EXPECT_EQ(r.track, 2);
    EXPECT_EQ(r.path, (out_ / "Track2.WAV").string());
    EXPECT_EQ(next, 3);
    EXPECT_EQ(buffer, 4);  // the smaller of the buffer size and the drive's value
    ExpectWave(out_ / "Track2.WAV", 132, 30);
    r = NextTrack(next, buffer, opened, &job, false, 15);
    EXPECT_EQ(r.track, 5);
    ExpectWave(out_ / "Track5.WAV", 262, 20);
    r = NextTrack(next, buffer, opened, &job, false, 15);
    EXPECT_EQ(r.result, GrabResult::NoTrack);
    EXPECT_EQ(opened.count, 2);  // nothing opened when no track is left
    EXPECT_TRUE(job.Boxes().empty());
}

TEST_F(GrabTest, ReadSpeedAndDeemphasisFollowTheSettings) {
    // Two tracks of 30 frames; the second recorded with pre-emphasis.
    test::WriteFile(dir_ / "pre.bin", test::PatternFrames(0, 60));
    test::WriteFile(dir_ / "pre.cue",
                    "FILE \"pre.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                    "  TRACK 02 AUDIO\n    FLAGS PRE\n    INDEX 01 00:00:30\n");
    std::string error;
    std::shared_ptr<cdrom::DiscDrive> drive =
        cdrom::ImageDrive::Open((dir_ / "pre.cue").string(), error);
    ASSERT_TRUE(drive) << error;
    transport_.reset();
    transport_ = std::make_unique<test::Transport>(std::vector{drive});
    ASSERT_EQ(DiscoverDrives(session_.drives), 1);
    ASSERT_EQ(session_.drives[0].ReadToc(session_.toc), 1);
    ComputeTrackArrays(session_);
    session_.selectedDrive = 0;
    session_.checked = {1, 1};
    EXPECT_FALSE(TrackHasPreEmphasis(session_, 0));
    EXPECT_TRUE(TrackHasPreEmphasis(session_, 1));

    Opened opened;
    auto grabBoth = [&](const CdReadSettings& read) {
        NextTrackOptions o;
        o.openProgress = opened.Fn();
        o.cdRead = read;
        int next = 0, buffer = 7;
        EXPECT_EQ(GrabNextTrack(session_, out_.path().string(), next, buffer, o).result,
                  GrabResult::Grabbed);
        EXPECT_EQ(GrabNextTrack(session_, out_.path().string(), next, buffer, o).result,
                  GrabResult::Grabbed);
    };
    // By default the drive keeps its speed and the samples are written as read.
    grabBoth({});
    EXPECT_TRUE(transport_->Sent(0xBB).empty());
    ExpectWave(out_ / "Track0.WAV", 0, 30);
    ExpectWave(out_ / "Track1.WAV", 30, 30);

    // 8x and de-emphasis: SET CD SPEED at 8 x 176 kB/s before each track, and only the flagged
    // track filtered, as one stream across the read requests.
    transport_->Clear();
    grabBoth({8, true});
    const std::vector<test::SentBlock> speeds = transport_->Sent(0xBB);
    ASSERT_EQ(speeds.size(), 2u);
    EXPECT_EQ((speeds[0].cdb[2] << 8) | speeds[0].cdb[3], 8 * 176);
    EXPECT_EQ((speeds[0].cdb[4] << 8) | speeds[0].cdb[5], 0xFFFF);
    ExpectWave(out_ / "Track0.WAV", 0, 30);
    std::string filtered = test::PatternFrames(30, 30);
    Deemphasis filter;
    filter.Process(reinterpret_cast<std::uint8_t*>(filtered.data()), 30 * 588);
    ASSERT_NE(filtered, test::PatternFrames(30, 30));
    EXPECT_TRUE(test::ReadFile(out_ / "Track1.WAV").substr(44) == filtered);
}

TEST_F(GrabTest, NextTrackCancelledOrFailing) {
    Load("fail=110");
    session_.checked = {1, 1, 0, 0, 0, 0};
    int next = 0, buffer = 4;
    Opened opened;
    opened.cancelAt = 3;
    FakeWindow job;
    auto r = NextTrack(next, buffer, opened, &job, false, 15);
    EXPECT_EQ(r.result, GrabResult::Cancelled);
    EXPECT_EQ(next, 1);
    ExpectWave(out_ / "Track0.WAV", 0, 12);
    ASSERT_EQ(job.Boxes().size(), 1u);
    EXPECT_EQ(job.Boxes()[0].text, "Reading aborted by user!");

    orvane::clock::VirtualClock virtualClock(true);
    orvane::clock::Install(&virtualClock);
    opened.cancelAt = -1;
    r = NextTrack(next, buffer, opened, &job, false, 15);
    orvane::clock::Install(nullptr);
    EXPECT_EQ(r.result, GrabResult::Failed);
    EXPECT_EQ(r.track, 1);
    ExpectWave(out_ / "Track1.WAV", 100, 8);
}

using test::FullDisk;

TEST_F(GrabTest, AFullDiskIsReportedWithItsReason) {
    Load();
    FakeWindow port;
    port.PickNext(out_.path().string());
    GrabToFolderRequest request;
    request.rows = {{0, "one"}, {1, "two"}};
    FullDisk full(44 + 110 * kFrameBytes);  // the first track and a part of the second
    request.fileOps = &full;
    Opened opened;
    int buffer = 16;
    GrabToFolder(session_, request, port, opened.Fn(), buffer);
    ASSERT_EQ(port.Boxes().size(), 1u);
    const std::string text = port.Boxes()[0].text;
    EXPECT_EQ(
        text.rfind("Error: Cannot write the file \"" + (out_ / "two.WAV").string() + "\".\n", 0),
        0u)
        << text;
    EXPECT_NE(text.find("No space left on device"), std::string::npos) << text;
    ExpectWave(out_ / "one.WAV", 0, 100);
    EXPECT_FALSE(std::filesystem::exists(out_ / "two.WAV"));

    // Inside a job: the file the caller names, and the reason as an error number.
    session_.checked = {0, 1, 0, 0, 0, 0};
    int next = 0;
    FullDisk fuller(1000);
    NextTrackOptions o;
    o.fileOps = &fuller;
    o.wavePath = [&](int track, std::string&) {
        return (out_ / ("job-" + std::to_string(track) + ".WAV")).string();
    };
    orvane::clock::VirtualClock virtualClock(true);
    orvane::clock::Install(&virtualClock);
    auto r = GrabNextTrack(session_, out_.path().string(), next, buffer, o);
    orvane::clock::Install(nullptr);
    EXPECT_EQ(r.result, GrabResult::Failed);
    EXPECT_EQ(r.path, (out_ / "job-1.WAV").string());
    EXPECT_EQ(r.errorCode, ENOSPC);
    EXPECT_FALSE(std::filesystem::exists(r.path));
}

TEST_F(GrabTest, IntroOnlyStopsAtTheEndOfTheDisc) {
    Load();
    session_.checked = {0, 0, 0, 0, 0, 1};
    int next = 0, buffer = 16;
    Opened opened;
    auto r = NextTrack(next, buffer, opened, nullptr, true, 1);
    EXPECT_EQ(r.result, GrabResult::Grabbed);
    ExpectWave(out_ / "Track5.WAV", 262, 20);  // 75 frames asked, 20 left on the disc
    session_.checked = {1, 0, 0, 0, 0, 0};
    next = 0;
    r = NextTrack(next, buffer, opened, nullptr, true, 1);
    ExpectWave(out_ / "Track0.WAV", 0, 75);
    session_.checked = {0, 1, 0, 0, 0, 0};
    next = 0;
    r = NextTrack(next, buffer, opened, nullptr, true, 1);
    ExpectWave(out_ / "Track1.WAV", 100, 75);  // on into the next track
}

TEST_F(GrabTest, GrabToFolderKeepsEveryFileInsideTheFolder) {
    Load();
    FakeWindow port;
    port.PickNext(out_.path().string());
    GrabToFolderRequest request;
    request.rows = {{0, "../../escape"}, {2, "a/b\\c:d*e?\"f\"<g>|h"}, {3, ".."}};
    Opened opened;
    int buffer = 16;
    GrabToFolder(session_, request, port, opened.Fn(), buffer);
    EXPECT_EQ(buffer, 4);
    ASSERT_EQ(port.Boxes().size(), 1u);
    EXPECT_EQ(port.Boxes()[0].text, "The selected track(s) has been saved to disk.");
    ExpectWave(out_ / "..-..-escape.WAV", 0, 100);
    ExpectWave(out_ / "a-b-c-de'f'-g--h.WAV", 132, 30);
    ExpectWave(out_ / "Track4.WAV", 162, 40);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out_.path()),
                            std::filesystem::directory_iterator()),
              3);
    EXPECT_EQ(opened.count, 1);
}

TEST_F(GrabTest, GrabToFolderNamesFilesByThePatternInsideTheFolder) {
    Load();
    FakeWindow port;
    port.PickNext(out_.path().string());
    GrabToFolderRequest request;
    request.namePattern = "%a/%B/%N %A - %T";
    auto row = [](int track, const std::string& artist, const std::string& album,
                  const std::string& title) {
        GrabRow r{track, "row name", {}};
        r.fields.Set(tags::TagField::Artist, artist);
        r.fields.Set(tags::TagField::AlbumArtist, "Various");
        r.fields.Set(tags::TagField::Album, album);
        r.fields.Set(tags::TagField::Title, title);
        return r;
    };
    request.rows = {row(0, "Band", "Hits", "Intro"),
                    // Hostile values: climbing, folders of their own, control characters.
                    row(2, "../..", "../../etc", "a/b\ttab\x01"), row(3, "..", "..", ".."),
                    row(4, "Band", "Hits", "Intro")};
    Opened opened;
    int buffer = 16;
    GrabToFolder(session_, request, port, opened.Fn(), buffer);
    ASSERT_EQ(port.Boxes().size(), 1u);
    EXPECT_EQ(port.Boxes()[0].text, "The selected track(s) has been saved to disk.");
    const std::filesystem::path hits = out_.path() / "Various" / "Hits";
    ExpectWave(hits / "01 Band - Intro.WAV", 0, 100);
    ExpectWave(out_.path() / "Various" / "..-..-etc" / "03 ..-.. - a-btab.WAV", 132, 30);
    ExpectWave(out_.path() / "Various" / "_" / "04 .. - ...WAV", 162, 40);
    ExpectWave(hits / "05 Band - Intro.WAV", 202, 60);
    // Nothing beside the pattern's one top folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out_.path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(out_.path()),
                            std::filesystem::recursive_directory_iterator()),
              4 + 4);  // Various, Hits, ..-..-etc, _ and the four files
}

TEST_F(GrabTest, GrabToFolderGivesRowsOfTheSameFileNameTheirOwnFiles) {
    Load();
    // A file left by an earlier grab is replaced by the new first row, as before.
    test::WriteFile(out_ / "Intro.WAV", "an earlier grab");
    FakeWindow port;
    port.PickNext(out_.path().string());
    GrabToFolderRequest request;
    request.rows = {{0, "Intro"}, {1, "Intro"}, {2, "A:B"}, {3, "A-B"}, {4, "Intro"}};
    Opened opened;
    int buffer = 16;
    GrabToFolder(session_, request, port, opened.Fn(), buffer);
    ASSERT_EQ(port.Boxes().size(), 1u);
    EXPECT_EQ(port.Boxes()[0].text, "The selected track(s) has been saved to disk.");
    ExpectWave(out_ / "Intro.WAV", 0, 100);
    ExpectWave(out_ / "Intro (2).WAV", 100, 32);
    ExpectWave(out_ / "A-B.WAV", 132, 30);
    ExpectWave(out_ / "A-B (2).WAV", 162, 40);
    ExpectWave(out_ / "Intro (3).WAV", 202, 60);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out_.path()),
                            std::filesystem::directory_iterator()),
              5);
}

TEST_F(GrabTest, GrabToFolderMessages) {
    Load("fail=140");
    FakeWindow port;
    Opened opened;
    int buffer = 16;
    GrabToFolderRequest request;
    GrabToFolder(session_, request, port, opened.Fn(), buffer);
    EXPECT_EQ(port.Boxes().back().text, "You did not selected any Audio track for reading...!");

    request.rows = {{0, "one"}, {1, "two"}, {2, "three"}};
    GrabToFolder(session_, request, port, opened.Fn(), buffer);  // folder picker cancelled
    EXPECT_EQ(port.Boxes().size(), 1u);
    EXPECT_EQ(opened.count, 0);

    port.PickNext((out_ / "missing" / "deeper").string());
    GrabToFolder(session_, request, port, opened.Fn(), buffer);
    EXPECT_NE(port.Boxes().back().text.find((out_ / "missing" / "deeper" / "one.WAV").string()),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out_ / "missing"));

    // A sector that never reads stops the grab after the file being written.
    port.PickNext(out_.path().string());
    GrabToFolder(session_, request, port, opened.Fn(), buffer);
    EXPECT_EQ(port.Boxes().back().text, "Error: Can't read RAW Audio Data.");
    ExpectWave(out_ / "one.WAV", 0, 100);
    ExpectWave(out_ / "two.WAV", 100, 32);
    ExpectWave(out_ / "three.WAV", 132, 8);

    // Cancel after the second request: the file there stays as it was, nothing of the
    // cancelled one is left.
    opened.cancelAt = 2;
    port.PickNext(out_.path().string());
    GrabToFolder(session_, request, port, opened.Fn(), buffer);
    EXPECT_EQ(port.Boxes().back().text, "Reading aborted by user!");
    ExpectWave(out_ / "one.WAV", 0, 100);
    std::filesystem::remove(out_ / "one.WAV");
    port.PickNext(out_.path().string());
    GrabToFolder(session_, request, port, opened.Fn(), buffer);
    EXPECT_EQ(port.Boxes().back().text, "Reading aborted by user!");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out_.path()),
                            std::filesystem::directory_iterator()),
              2);
}

}  // namespace
}  // namespace orvane::cdda

namespace orvane::cdda {
namespace {

TEST(WaveFileWriter, AFileAppearsOnlyWholeAndNeverReplacesOneUnfinished) {
    test::TempDir out;
    test::WriteFile(out / "old.WAV", "the user's file");
    std::string error;
    std::vector<std::uint8_t> frame(kFrameBytes, 7);
    {
        WaveFileWriter file;
        ASSERT_TRUE(file.Create((out / "old.WAV").string(), error)) << error;
        ASSERT_TRUE(file.Write(frame.data(), frame.size(), error));
        // Left without Finish, as a crash or a lost write would leave it.
    }
    EXPECT_EQ(test::ReadFile(out / "old.WAV"), "the user's file");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()),
                            std::filesystem::directory_iterator()),
              1);
    WaveFileWriter file;
    ASSERT_TRUE(file.Create((out / "old.WAV").string(), error));
    ASSERT_TRUE(file.Write(frame.data(), frame.size(), error));
    ASSERT_TRUE(file.Finish(error)) << error;
    std::string bytes = test::ReadFile(out / "old.WAV");
    ASSERT_EQ(bytes.size(), 44 + frame.size());
    EXPECT_EQ(Le32(bytes, 40), frame.size());
    EXPECT_FALSE(file.Create((out / "missing" / "x.WAV").string(), error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvane::cdda

namespace orvane::cdda {
namespace {

class VerifiedGrab : public ::testing::Test {
protected:
    // Tracks of 100, 32 and 30 frames from the drive given (an image drive with faults).
    void Load(std::shared_ptr<cdrom::DiscDrive> drive) {
        transport_.reset();
        transport_ = std::make_unique<test::Transport>(
            std::vector<std::shared_ptr<cdrom::DiscDrive>>{std::move(drive)});
        ASSERT_EQ(DiscoverDrives(session_.drives), 1);
        ASSERT_EQ(session_.drives[0].ReadToc(session_.toc), 1);
        ComputeTrackArrays(session_);
        session_.selectedDrive = 0;
    }
    std::string GrabNow(const ReadSettings& read) {
        FakeWindow port;
        port.PickNext(out_.path().string());
        GrabToFolderRequest request;
        request.rows = {{0, "one"}, {1, "two"}, {2, "three"}};
        request.read = read;
        Opened opened;
        int buffer = 16;
        GrabToFolder(session_, request, port, opened.Fn(), buffer);
        return port.Boxes().empty() ? std::string() : port.Boxes().back().text;
    }
    TempDir dir_, out_;
    CdSession session_;
    std::unique_ptr<test::Transport> transport_;
};

TEST_F(VerifiedGrab, GrabNowCorrectsTheOffsetAndRereadsFlippedSectors) {
    Load(test::ImageOf(dir_, {100, 32, 30}, "read_offset=-300 flip=104-106"));
    ReadSettings read;
    read.offset = -300;
    read.mode = ReadMode::Secure;
    EXPECT_EQ(GrabNow(read), "The selected track(s) has been saved to disk.");
    // The first 300 samples of the disc lie before anything the drive can reach.
    std::string first = test::PatternFrames(0, 100);
    first.replace(0, 300 * 4, 300 * 4, '\0');
    EXPECT_TRUE(test::ReadFile(out_ / "one.WAV").substr(44) == first);
    ExpectWave(out_ / "two.WAV", 100, 32);
    ExpectWave(out_ / "three.WAV", 132, 30);
}

TEST_F(VerifiedGrab, ScratchesAndDifferingTestReadsAreNamedAfterTheClosingMessage) {
    Load(test::ImageOf(dir_, {100, 32, 30}, "c2=140 flip=110"));
    ReadSettings read;
    read.mode = ReadMode::Secure;
    EXPECT_EQ(GrabNow(read),
              "The selected track(s) has been saved to disk.\nSuspicious sector: track 3, "
              "00:00.08 (LBA 140)");
    ExpectWave(out_ / "two.WAV", 100, 32);
    Load(test::ImageOf(dir_, {100, 32, 30}, "flip=110"));
    read.mode = ReadMode::TestAndCopy;
    EXPECT_EQ(GrabNow(read),
              "The selected track(s) has been saved to disk.\nTrack 2: the test and the copy "
              "differ");
}

TEST_F(VerifiedGrab, SecureReadingOfACachingDriveReachesTheDiscTwiceOnlyWhenItDefeatsTheCache) {
    // Flips in a track of several windows, at the end of a window, and in short tracks; a
    // cache of 5 sectors (windows) and of 20 (tracks shorter than two caches).
    for (const char* cache : {"cache=5", "cache=20"}) {
        const std::string faults = std::string(cache) + " flip=30-31,50-52,98-99,104-106,140";
        Load(test::ImageOf(dir_, {100, 32, 30}, faults));
        ReadSettings read;
        read.mode = ReadMode::Secure;
        read.cacheSectors = 0;  // trusting the drive: the cache answers the second read
        EXPECT_EQ(GrabNow(read), "The selected track(s) has been saved to disk.") << cache;
        EXPECT_FALSE(test::ReadFile(out_ / "one.WAV").substr(44) == test::PatternFrames(0, 100));
        EXPECT_FALSE(test::ReadFile(out_ / "two.WAV").substr(44) == test::PatternFrames(100, 32));

        Load(test::ImageOf(dir_, {100, 32, 30}, faults));
        read.cacheSectors = -1;  // from the buffer the drive reports
        EXPECT_EQ(GrabNow(read), "The selected track(s) has been saved to disk.") << cache;
        ExpectWave(out_ / "one.WAV", 0, 100);
        ExpectWave(out_ / "two.WAV", 100, 32);
        ExpectWave(out_ / "three.WAV", 132, 30);

        // A scratch is named as without a cache.
        Load(test::ImageOf(dir_, {100, 32, 30}, std::string(cache) + " c2=140 flip=110"));
        EXPECT_EQ(GrabNow(read),
                  "The selected track(s) has been saved to disk.\nSuspicious sector: track 3, "
                  "00:00.08 (LBA 140)")
            << cache;
        ExpectWave(out_ / "two.WAV", 100, 32);
    }
}

TEST_F(VerifiedGrab, CacheDefeatReadsNothingTwiceBeyondWhatItMust) {
    // A 100-sector track with a cache of 5: windows of 2 x 5 + 26, each sector read twice, the
    // requests never longer than the read loop's.
    Load(test::ImageOf(dir_, {100, 32, 30}, "cache=5"));
    ReadSettings read;
    read.mode = ReadMode::Secure;
    read.useC2 = false;
    SampleReader reader(session_.Drive(), session_.leadOut, read);
    struct Collect final : ReadObserver {
        std::string got;
        bool Samples(std::uint32_t, std::uint32_t count, const std::uint8_t* data,
                     const std::uint8_t*) override {
            got.append(data, data + std::size_t{count} * kFrameBytes);
            return true;
        }
    } collect;
    SpanRequest span;
    span.end = 100;
    span.chunk = 26;
    ASSERT_EQ(reader.ReadSpan(span, collect).outcome, SpanOutcome::Done);
    EXPECT_TRUE(collect.got == test::PatternFrames(0, 100));
    EXPECT_TRUE(reader.Suspicious().empty());
    // Windows 0-35 and 36-99: 2 + 2 requests of up to 26 each, 3 + 3 for the second.
    EXPECT_EQ(reader.Requests(), 10u);
}

TEST_F(VerifiedGrab, SecureReadingReadsTwiceAndCopesWithoutC2Pointers) {
    // A drive that gives no C2 pointers: the reads are compared alone.
    auto image = test::ImageOf(dir_, {100, 32, 30}, "flip=20-21");
    Load(std::make_shared<test::NamedDrive>(image, "ACME", "NO C2", "1.0", true));
    ReadSettings read;
    read.mode = ReadMode::Secure;
    SampleReader reader(session_.Drive(), session_.leadOut, read);
    std::vector<std::uint8_t> buffer(26 * kFrameBytes);
    ASSERT_EQ(reader.Read(0, 26, buffer.data(), 6), 1);
    EXPECT_TRUE(std::string(buffer.begin(), buffer.end()) == test::PatternFrames(0, 26));
    EXPECT_TRUE(reader.Suspicious().empty());
    // One refused C2 read, two full reads, one more of the two sectors that disagreed.
    EXPECT_EQ(reader.Requests(), 4u);
    ASSERT_EQ(reader.Read(26, 26, buffer.data(), 6), 1);
    EXPECT_EQ(reader.Requests(), 6u);
}

}  // namespace
}  // namespace orvane::cdda
