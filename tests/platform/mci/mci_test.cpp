#include "platform/mci/mmsystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "platform/audio/audio_sink.h"
#include "platform/cdrom/drives.h"
#include "platform/clock/clock.h"
#include "platform/mci/cd_player.h"
#include "tests/platform/cdrom/disc_fixture.h"

namespace {

using orvane::cdrom::FaultPlan;
using orvane::cdrom::ImageDrive;

// A disc of three tracks: 10 s, 20 s and 15 s (750, 1500 and 1125 frames).
class MciTest : public ::testing::Test {
protected:
    void SetUp() override {
        orvane::clock::Install(&clock_);
        orvane::audio::InstallSinkFactory(
            [] { return std::make_unique<orvane::audio::NullSink>(); });
        std::string error;
        auto drive =
            ImageDrive::Open(orvane::test::WriteSimpleDisc(dir_, {750, 1500, 1125}), error);
        ASSERT_TRUE(drive) << error;
        drive_ = drive.get();
        orvane::cdrom::InstallDrives({std::move(drive)});
    }
    void TearDown() override {
        // A playing device's thread may be asleep on the clock: let time run so closing can
        // join it.
        clock_.SetAutoAdvance(true);
        mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, MCI_WAIT, 0);
        orvane::cdrom::ResetDrives();
        orvane::audio::InstallSinkFactory({});
        orvane::clock::Install(nullptr);
    }

    MCIERROR OpenDevice(const char* element = "D:", const char* alias = "CD1998:",
                        DWORD flags = 0x3702) {
        MCI_OPEN_PARMSA p;
        p.lpstrDeviceType =
            reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(MCI_DEVTYPE_CD_AUDIO));
        p.lpstrElementName = element;
        p.lpstrAlias = alias;
        MCIERROR e = mciSendCommand(0, MCI_OPEN, flags, reinterpret_cast<DWORD_PTR>(&p));
        if (e == 0) id_ = p.wDeviceID;
        return e;
    }
    MCIERROR SetFormat(DWORD format) {
        MCI_SET_PARMS p;
        p.dwTimeFormat = format;
        return mciSendCommand(id_, MCI_SET, MCI_WAIT | MCI_SET_TIME_FORMAT,
                              reinterpret_cast<DWORD_PTR>(&p));
    }
    DWORD Status(DWORD item, DWORD track = 0, MCIERROR* error = nullptr) {
        MCI_STATUS_PARMS p;
        p.dwItem = item;
        p.dwTrack = track;
        DWORD flags = MCI_STATUS_ITEM | (track ? MCI_TRACK : 0);
        MCIERROR e = mciSendCommand(id_, MCI_STATUS, flags, reinterpret_cast<DWORD_PTR>(&p));
        if (error) *error = e;
        return static_cast<DWORD>(p.dwReturn);
    }
    MCIERROR Play(DWORD from, DWORD to) {
        MCI_PLAY_PARMS p;
        DWORD flags = 0;
        if (from != static_cast<DWORD>(-1)) {
            flags |= MCI_FROM;
            p.dwFrom = from;
        }
        if (to != static_cast<DWORD>(-2)) {
            flags |= MCI_TO;
            p.dwTo = to;
        }
        return mciSendCommand(id_, MCI_PLAY, flags, reinterpret_cast<DWORD_PTR>(&p));
    }
    MCIERROR Command(UINT message, DWORD flags = MCI_WAIT) {
        MCI_GENERIC_PARMS p;
        return mciSendCommand(id_, message, flags, reinterpret_cast<DWORD_PTR>(&p));
    }
    // Moves time in steps, as the player's status polls would see it.
    void Run(std::uint32_t ms) {
        for (std::uint32_t done = 0; done < ms; done += 100) {
            clock_.Advance(std::min<std::uint32_t>(100, ms - done));
        }
    }

    orvane::clock::VirtualClock clock_;
    orvane::test::TempDir dir_;
    ImageDrive* drive_ = nullptr;
    MCIDEVICEID id_ = 0;
};

TEST_F(MciTest, OpensDriveLettersOnceAndRefusesWhatItCannotOpen) {
    ASSERT_EQ(OpenDevice(), 0u);
    EXPECT_NE(id_, 0u);
    MCIDEVICEID first = id_;
    EXPECT_EQ(OpenDevice("D:", "cd1998:"), MCIERR_DUPLICATE_ALIAS);
    EXPECT_EQ(OpenDevice("E:", "other"), MCIERR_INVALID_DEVICE_NAME);
    EXPECT_EQ(
        OpenDevice("D:", "plain",
                   MCI_WAIT | MCI_OPEN_ELEMENT | MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ALIAS),
        MCIERR_MUST_USE_SHAREABLE);
    ASSERT_EQ(OpenDevice("D:", "second"), 0u);  // shareable opens share the drive
    EXPECT_NE(id_, first);
    EXPECT_EQ(mciSendCommand(first, MCI_CLOSE, MCI_WAIT, 0), 0u);
    EXPECT_EQ(mciSendCommand(first, MCI_CLOSE, MCI_WAIT, 0), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(mciSendCommand(first, MCI_STOP, MCI_WAIT, 0), MCIERR_INVALID_DEVICE_ID);

    FaultPlan busy;
    busy.busy = true;
    drive_->SetFaults(busy);
    EXPECT_EQ(OpenDevice("D:", "third"), MCIERR_DEVICE_OPEN);
    orvane::cdrom::InstallDrives({});
    EXPECT_EQ(OpenDevice("D:", "fourth"), MCIERR_DEVICE_NOT_INSTALLED);
}

TEST_F(MciTest, StatusOfTheDiscInEachTimeFormat) {
    ASSERT_EQ(OpenDevice(), 0u);
    EXPECT_EQ(Status(MCI_STATUS_NUMBER_OF_TRACKS), 3u);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(MCI_STATUS_CURRENT_TRACK), 1u);
    ASSERT_EQ(SetFormat(MCI_FORMAT_MSF), 0u);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_MSF(0, 2, 0));  // the disc starts at 00:02:00
    EXPECT_EQ(Status(MCI_STATUS_POSITION, 2), MCI_MAKE_MSF(0, 12, 0));
    EXPECT_EQ(Status(MCI_STATUS_LENGTH, 2), MCI_MAKE_MSF(0, 20, 0));
    EXPECT_EQ(Status(MCI_STATUS_LENGTH), MCI_MAKE_MSF(0, 45, 0));
    ASSERT_EQ(SetFormat(MCI_FORMAT_TMSF), 0u);
    EXPECT_EQ(Status(MCI_STATUS_POSITION, 3), MCI_MAKE_TMSF(3, 0, 0, 0));
    EXPECT_EQ(Status(MCI_STATUS_LENGTH, 3), MCI_MAKE_MSF(0, 15, 0));  // lengths stay MSF
    EXPECT_EQ(Status(MCI_STATUS_TIME_FORMAT), MCI_FORMAT_TMSF);
    ASSERT_EQ(SetFormat(MCI_FORMAT_MILLISECONDS), 0u);
    EXPECT_EQ(Status(MCI_STATUS_POSITION, 2), 12000u);
    EXPECT_EQ(SetFormat(MCI_FORMAT_FRAMES), MCIERR_BAD_TIME_FORMAT);

    MCIERROR e = 0;
    DWORD v = Status(MCI_STATUS_POSITION, 4, &e);
    EXPECT_EQ(e, MCIERR_OUTOFRANGE);
    EXPECT_GT(MCI_MSF_SECOND(v), 60u);
    MCI_STATUS_PARMS p;
    EXPECT_EQ(mciSendCommand(id_, MCI_STATUS, 0, reinterpret_cast<DWORD_PTR>(&p)),
              MCIERR_MISSING_PARAMETER);
}

TEST_F(MciTest, PlayPauseResumeSeekAndStopFollowTheClock) {
    ASSERT_EQ(OpenDevice(), 0u);
    ASSERT_EQ(SetFormat(MCI_FORMAT_TMSF), 0u);
    ASSERT_EQ(Play(2, -2), 0u);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_PLAY);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 0, 0));
    Run(3000);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 3, 0));
    EXPECT_EQ(Status(MCI_STATUS_CURRENT_TRACK), 2u);
    Run(40);  // 3 frames
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 3, 3));

    ASSERT_EQ(Command(MCI_PAUSE), 0u);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_PAUSE);
    DWORD paused = Status(MCI_STATUS_POSITION);
    clock_.Advance(5000);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), paused);
    ASSERT_EQ(Command(MCI_RESUME), 0u);
    Run(2000);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 5, 3));
    EXPECT_EQ(Command(MCI_RESUME), MCIERR_NONAPPLICABLE_FUNCTION);  // not paused

    // Seeking stops play at the new place; play without "from" starts there.
    MCI_SEEK_PARMS seek;
    seek.dwTo = MCI_MAKE_TMSF(3, 0, 10, 0);
    ASSERT_EQ(mciSendCommand(id_, MCI_SEEK, MCI_TO, reinterpret_cast<DWORD_PTR>(&seek)), 0u);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(3, 0, 10, 0));
    ASSERT_EQ(Play(-1, -2), 0u);
    Run(1000);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(3, 0, 11, 0));

    ASSERT_EQ(Command(MCI_STOP), 0u);
    clock_.Advance(3000);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(3, 0, 11, 0));
    ASSERT_EQ(mciSendCommand(id_, MCI_SEEK, MCI_SEEK_TO_START, reinterpret_cast<DWORD_PTR>(&seek)),
              0u);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(1, 0, 0, 0));
    ASSERT_EQ(mciSendCommand(id_, MCI_SEEK, MCI_SEEK_TO_END, reinterpret_cast<DWORD_PTR>(&seek)),
              0u);
    ASSERT_EQ(SetFormat(MCI_FORMAT_MSF), 0u);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_MSF(0, 47, 0));
    EXPECT_EQ(mciSendCommand(id_, MCI_SEEK, MCI_SEEK_TO_START | MCI_SEEK_TO_END,
                             reinterpret_cast<DWORD_PTR>(&seek)),
              MCIERR_FLAGS_NOT_COMPATIBLE);
}

TEST_F(MciTest, PlayEndsAtItsEndPointOrTheEndOfTheDisc) {
    ASSERT_EQ(OpenDevice(), 0u);
    ASSERT_EQ(SetFormat(MCI_FORMAT_TMSF), 0u);
    ASSERT_EQ(Play(MCI_MAKE_TMSF(1, 0, 8, 0), 2), 0u);  // the last two seconds of track 1
    Run(1900);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_PLAY);
    Run(200);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 0, 0));

    ASSERT_EQ(Play(MCI_MAKE_TMSF(3, 0, 14, 0), -2), 0u);
    Run(1500);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(3, 0, 15, 0));

    EXPECT_EQ(Play(4, -2), MCIERR_OUTOFRANGE);  // no track 4: nothing changes
    EXPECT_EQ(Play(0, -2), MCIERR_OUTOFRANGE);
    EXPECT_EQ(Play(3, 2), MCIERR_OUTOFRANGE);  // backwards
    EXPECT_EQ(Play(MCI_MAKE_TMSF(1, 0, 61, 0), -2), MCIERR_OUTOFRANGE);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
}

TEST_F(MciTest, DoorAndMissingDiscReportThemselves) {
    ASSERT_EQ(OpenDevice(), 0u);
    ASSERT_EQ(SetFormat(MCI_FORMAT_MSF), 0u);
    ASSERT_EQ(Play(-1, -2), 0u);
    Run(1000);
    ASSERT_EQ(mciSendCommand(id_, MCI_SET, MCI_SET_DOOR_OPEN, 0), 0u);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_OPEN);
    MCIERROR e = 0;
    DWORD position = Status(MCI_STATUS_POSITION, 0, &e);
    EXPECT_EQ(e, MCIERR_DEVICE_NOT_READY);
    EXPECT_GT(MCI_MSF_SECOND(position), 60u);  // what the player reads as "no disc"
    EXPECT_EQ(Play(-1, -2), MCIERR_DEVICE_NOT_READY);

    char answer[64] = "x";
    ASSERT_EQ(mciSendString("status cdaudio mode", answer, sizeof answer, nullptr), 0u);
    EXPECT_STREQ(answer, "open");
    ASSERT_EQ(mciSendString("set cdaudio door closed", nullptr, 0, nullptr), 0u);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_MSF(0, 2, 0));  // back at the start

    FaultPlan noDisc;
    noDisc.noDisc = true;
    drive_->SetFaults(noDisc);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_NOT_READY);
    position = Status(MCI_STATUS_POSITION, 0, &e);
    EXPECT_NE(e, 0u);
    EXPECT_GT(MCI_MSF_SECOND(position), 60u);
    ASSERT_EQ(mciSendString("status cdaudio mode", answer, sizeof answer, nullptr), 0u);
    EXPECT_STREQ(answer, "not ready");
}

TEST_F(MciTest, UnreadableSectorsPlayAsSilenceAndTimeGoesOn) {
    ASSERT_EQ(OpenDevice(), 0u);
    FaultPlan plan;
    plan.failing.push_back({100, 300});
    drive_->SetFaults(plan);
    ASSERT_EQ(SetFormat(MCI_FORMAT_MSF), 0u);
    ASSERT_EQ(Play(-1, -2), 0u);
    Run(6000);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_PLAY);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_MSF(0, 8, 0));
}

TEST_F(MciTest, MediaIdentityIsStableShortAndTellsTablesApart) {
    ASSERT_EQ(OpenDevice(), 0u);
    char a[128] = {}, b[128] = {};
    MCI_INFO_PARMSA info;
    info.lpstrReturn = a;
    info.dwRetSize = sizeof a;
    ASSERT_EQ(
        mciSendCommand(id_, MCI_INFO, MCI_INFO_MEDIA_IDENTITY, reinterpret_cast<DWORD_PTR>(&info)),
        0u);
    info.lpstrReturn = b;
    ASSERT_EQ(
        mciSendCommand(id_, MCI_INFO, MCI_INFO_MEDIA_IDENTITY, reinterpret_cast<DWORD_PTR>(&info)),
        0u);
    EXPECT_STREQ(a, b);
    EXPECT_GT(std::strlen(a), 0u);
    char small[4];
    info.lpstrReturn = small;
    info.dwRetSize = sizeof small;
    EXPECT_EQ(
        mciSendCommand(id_, MCI_INFO, MCI_INFO_MEDIA_IDENTITY, reinterpret_cast<DWORD_PTR>(&info)),
        MCIERR_PARAM_OVERFLOW);
    EXPECT_EQ(std::strlen(small), 3u);

    // Tables that differ in one start, in a data flag, or in length; and long tables.
    orvane::cdrom::Toc base;
    base.firstTrack = 1;
    base.lastTrack = 99;
    for (std::uint8_t n = 1; n <= 99; ++n)
        base.tracks.push_back({n, 1, 0, n * 3000u});
    base.leadOut = 400000;
    std::set<std::string> seen;
    for (std::size_t count : {1u, 2u, 17u, 18u, 40u, 99u}) {
        orvane::cdrom::Toc t = base;
        t.tracks.resize(count);
        t.lastTrack = static_cast<std::uint8_t>(count);
        std::string plain = orvane::mci::MediaIdentity(t);
        t.tracks.back().lba += 1;
        std::string moved = orvane::mci::MediaIdentity(t);
        t.tracks.back().control = 4;
        std::string data = orvane::mci::MediaIdentity(t);
        for (const std::string& id : {plain, moved, data}) {
            EXPECT_LE(id.size(), 127u);
            EXPECT_TRUE(seen.insert(id).second) << id;
        }
    }
}

TEST_F(MciTest, ClosingAPlayingDeviceDoesNotWaitForTimeToPass) {
    ASSERT_EQ(OpenDevice(), 0u);
    ASSERT_EQ(SetFormat(MCI_FORMAT_MSF), 0u);
    ASSERT_EQ(Play(MCI_MAKE_MSF(0, 2, 0), static_cast<DWORD>(-2)), 0u);
    // The playback thread has filled the sink and sleeps on the stopped clock.
    ASSERT_TRUE(clock_.WaitForSleepers(1));
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        mciSendCommand(id_, MCI_CLOSE, MCI_WAIT, 0);
        closed = true;
    });
    auto start = std::chrono::steady_clock::now();
    while (!closed && std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
        std::this_thread::yield();
    const bool closedInTime = closed;
    if (!closedInTime) clock_.SetAutoAdvance(true);  // let the test end either way
    closer.join();
    EXPECT_TRUE(closedInTime);
}

TEST_F(MciTest, CommandStrings) {
    char answer[128];
    ASSERT_EQ(mciSendString("open cdaudio alias disc shareable", answer, sizeof answer, nullptr),
              0u);
    id_ = static_cast<MCIDEVICEID>(std::atoi(answer));
    EXPECT_NE(id_, 0u);
    ASSERT_EQ(mciSendString("set disc time format tmsf", nullptr, 0, nullptr), 0u);
    ASSERT_EQ(mciSendString("play disc from 2 to 3", nullptr, 0, nullptr), 0u);
    Run(1500);
    ASSERT_EQ(mciSendString("status disc position", answer, sizeof answer, nullptr), 0u);
    EXPECT_STREQ(answer, "02:00:01:37");  // 112.5 frames heard
    ASSERT_EQ(mciSendString("status disc mode", answer, sizeof answer, nullptr), 0u);
    EXPECT_STREQ(answer, "playing");
    ASSERT_EQ(mciSendString("status disc length track 2", answer, sizeof answer, nullptr), 0u);
    EXPECT_STREQ(answer, "00:20:00");
    ASSERT_EQ(mciSendString("status disc number of tracks", answer, sizeof answer, nullptr), 0u);
    EXPECT_STREQ(answer, "3");
    ASSERT_EQ(mciSendString("pause disc", nullptr, 0, nullptr), 0u);
    ASSERT_EQ(mciSendString("status cdaudio mode", answer, sizeof answer, nullptr), 0u);
    EXPECT_STREQ(answer, "paused");  // the type name reaches the same drive
    ASSERT_EQ(mciSendString("seek disc to 3:0:5:0", nullptr, 0, nullptr), 0u);
    ASSERT_EQ(mciSendString("status disc position", answer, sizeof answer, nullptr), 0u);
    EXPECT_STREQ(answer, "03:00:05:00");

    EXPECT_EQ(mciSendString("status disc colour", answer, sizeof answer, nullptr),
              MCIERR_UNRECOGNIZED_KEYWORD);
    EXPECT_EQ(mciSendString("dance disc", answer, sizeof answer, nullptr),
              MCIERR_UNRECOGNIZED_COMMAND);
    EXPECT_EQ(mciSendString("status nothing mode", answer, sizeof answer, nullptr),
              MCIERR_INVALID_DEVICE_NAME);
    EXPECT_EQ(mciSendString("play disc from \"2", answer, sizeof answer, nullptr),
              MCIERR_NO_CLOSING_QUOTE);
    EXPECT_EQ(mciSendString("", answer, sizeof answer, nullptr), MCIERR_MISSING_COMMAND_STRING);
    EXPECT_EQ(mciSendString("play disc from x", answer, sizeof answer, nullptr),
              MCIERR_BAD_INTEGER);
    char tiny[3];
    EXPECT_EQ(mciSendString("status disc position", tiny, sizeof tiny, nullptr),
              MCIERR_PARAM_OVERFLOW);
    ASSERT_EQ(mciSendString("close disc", nullptr, 0, nullptr), 0u);
    EXPECT_EQ(mciSendString("status disc mode", answer, sizeof answer, nullptr),
              MCIERR_INVALID_DEVICE_NAME);
}

TEST_F(MciTest, PlaybackThreadSleepsOnTheClockOnlyWhilePlaying) {
    ASSERT_EQ(OpenDevice(), 0u);
    EXPECT_EQ(clock_.Sleepers(), 0);
    ASSERT_EQ(Play(-1, -2), 0u);
    ASSERT_TRUE(clock_.WaitForSleepers(1));
    ASSERT_EQ(Command(MCI_PAUSE), 0u);
    // The pause wakes it at once, with no time passing; paused, it waits for a command instead.
    auto start = std::chrono::steady_clock::now();
    while (clock_.Sleepers() > 0 &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
        std::this_thread::yield();
    EXPECT_EQ(clock_.Sleepers(), 0);
    EXPECT_EQ(clock_.NowMs(), 0u);
}

TEST_F(MciTest, DataTracksAreNotPlayed) {
    // An enhanced disc: two audio tracks, then a data track; the audio ends where data begins.
    orvane::test::WriteFile(dir_ / "e.bin", orvane::test::PatternFrames(0, 600));
    orvane::test::WriteFile(dir_ / "e.cue",
                            "FILE e.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                            "TRACK 02 AUDIO\nINDEX 01 00:02:00\n"
                            "TRACK 03 MODE1/2352\nINDEX 01 00:06:00\n");
    std::string error;
    auto drive = ImageDrive::Open((dir_ / "e.cue").string(), error);
    ASSERT_TRUE(drive) << error;
    orvane::cdrom::InstallDrives({std::move(drive)});
    ASSERT_EQ(OpenDevice(), 0u);
    EXPECT_EQ(Status(MCI_CDA_STATUS_TYPE_TRACK, 2), MCI_CDA_TRACK_AUDIO);
    EXPECT_EQ(Status(MCI_CDA_STATUS_TYPE_TRACK, 3), MCI_CDA_TRACK_OTHER);
    ASSERT_EQ(SetFormat(MCI_FORMAT_TMSF), 0u);
    EXPECT_EQ(Play(3, -2), MCIERR_HARDWARE);
    ASSERT_EQ(Play(2, -2), 0u);
    Run(5000);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(3, 0, 0, 0));
    ASSERT_EQ(SetFormat(MCI_FORMAT_MILLISECONDS), 0u);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), 8000u);  // 6 s of disc after the 2 s before it
    // Positions before the first track mean its start.
    MCI_SEEK_PARMS seek;
    seek.dwTo = 500;
    ASSERT_EQ(mciSendCommand(id_, MCI_SEEK, MCI_TO, reinterpret_cast<DWORD_PTR>(&seek)), 0u);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), 2000u);
}

// Keeps what it is sent; heard in step with the clock, like the null sink; room for ten seconds
// ahead, so a player sends a short play at once.
class RecordingSink final : public orvane::audio::AudioSink {
public:
    std::string Name() const override { return "recording"; }
    bool Write(const void* data, std::size_t bytes) override {
        std::lock_guard lock(mutex_);
        sent_.append(static_cast<const char*>(data), bytes);
        return true;
    }
    std::uint64_t PlayedUs() override { return clock_.PlayedUs(); }
    void Flush() override { clock_.Flush(); }
    std::uint32_t BufferMs() const override { return 10000; }
    std::string Sent() {
        std::lock_guard lock(mutex_);
        return sent_;
    }

private:
    orvane::audio::NullSink clock_;
    std::mutex mutex_;
    std::string sent_;
};

TEST_F(MciTest, PlayGoesOverADataTrackInTheMiddleWithoutPlayingIt) {
    // A mixed disc: 2 s of audio, 2 s of data, 2 s of audio.
    const std::string frames = orvane::test::PatternFrames(0, 450);
    orvane::test::WriteFile(dir_ / "m.bin", frames);
    orvane::test::WriteFile(dir_ / "m.cue",
                            "FILE m.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                            "TRACK 02 MODE1/2352\nINDEX 01 00:02:00\n"
                            "TRACK 03 AUDIO\nINDEX 01 00:04:00\n");
    std::string error;
    auto drive = ImageDrive::Open((dir_ / "m.cue").string(), error);
    ASSERT_TRUE(drive) << error;
    orvane::cdrom::InstallDrives({std::move(drive)});
    RecordingSink* sink = nullptr;
    orvane::audio::InstallSinkFactory([&sink] {
        auto made = std::make_unique<RecordingSink>();
        sink = made.get();
        return made;
    });
    ASSERT_EQ(OpenDevice(), 0u);
    ASSERT_EQ(SetFormat(MCI_FORMAT_TMSF), 0u);
    ASSERT_EQ(Play(1, -2), 0u);
    ASSERT_NE(sink, nullptr);
    // The stream is the two audio tracks back to back: nothing of the data track is sent.
    const std::string audio = frames.substr(0, 150 * 2352) + frames.substr(300 * 2352);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sink->Sent().size() < audio.size() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(sink->Sent() == audio) << sink->Sent().size() << " bytes sent";

    Run(1500);
    EXPECT_EQ(Status(MCI_STATUS_CURRENT_TRACK), 1u);
    // Past the end of the first track play is in the third, and still going.
    Run(1000);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_PLAY);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(3, 0, 0, 37));  // 0.5 s in
    // The whole play lasts the four seconds of audio.
    Run(1400);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_PLAY);
    Run(200);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(MCI_STATUS_POSITION), MCI_MAKE_TMSF(3, 0, 2, 0));
}

TEST(MciErrors, TextsForKnownNumbersOnly) {
    char text[256];
    EXPECT_TRUE(mciGetErrorString(MCIERR_DEVICE_NOT_READY, text, sizeof text));
    EXPECT_GT(std::strlen(text), 10u);
    EXPECT_TRUE(mciGetErrorString(MCIERR_HARDWARE, text, 8));
    EXPECT_EQ(std::strlen(text), 7u);
    EXPECT_FALSE(mciGetErrorString(12345, text, sizeof text));
    EXPECT_STREQ(text, "");
    EXPECT_EQ(MCIERR_INVALID_DEVICE_ID, 257u);
    EXPECT_EQ(MCIERR_DEVICE_NOT_READY, 276u);
    EXPECT_EQ(MCIERR_OUTOFRANGE, 282u);
}

TEST_F(MciTest, CommandsFromTwoThreadsKeepTheDeviceWhole) {
    ASSERT_EQ(OpenDevice(), 0u);
    clock_.SetAutoAdvance(true);
    std::atomic<bool> stop{false};
    std::thread other([&] {
        while (!stop) {
            MCI_STATUS_PARMS p;
            p.dwItem = MCI_STATUS_POSITION;
            mciSendCommand(id_, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p));
            p.dwItem = MCI_STATUS_MODE;
            mciSendCommand(id_, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p));
        }
    });
    for (int i = 0; i < 200; ++i) {
        SetFormat(i % 2 ? MCI_FORMAT_MSF : MCI_FORMAT_TMSF);
        MCI_PLAY_PARMS p;
        p.dwFrom = i % 2 ? MCI_MAKE_MSF(0, 2 + i % 40, 0) : 1 + i % 3;
        EXPECT_EQ(mciSendCommand(id_, MCI_PLAY, MCI_FROM, reinterpret_cast<DWORD_PTR>(&p)), 0u);
        Command(i % 3 ? MCI_PAUSE : MCI_STOP);
        Command(MCI_RESUME);
    }
    stop = true;
    other.join();
    ASSERT_EQ(Command(MCI_STOP), 0u);
    EXPECT_EQ(Status(MCI_STATUS_MODE), MCI_MODE_STOP);
}

}  // namespace
