#include <gtest/gtest.h>

#include "cdplayer/mci_cd_audio.h"
#include "fake_mci.h"

using namespace orvane::cdplayer;
using orvane::cdplayer::test::FakeMci;
using orvane::cdplayer::test::RecordingDisplay;

TEST(CMciCdAudio, NothingIsSentWhileNoDeviceIsOpen) {
    FakeMci mci;
    {
        CMciCdAudio device(mci);
        EXPECT_EQ(device.DeviceType(), "cdaudio");
        EXPECT_EQ(device.Play(1, kToEnd), 2u);
        EXPECT_EQ(device.Stop(), 2u);
        EXPECT_EQ(device.Seek(0), 2u);
        EXPECT_EQ(device.Pause(), 2u);
        EXPECT_EQ(device.Resume(), 2u);
        EXPECT_EQ(device.Set(MCI_SET_DOOR_OPEN), 2u);
        EXPECT_EQ(device.Close(), 2u);
        EXPECT_EQ(device.Info(MCI_INFO_MEDIA_IDENTITY), nullptr);
        EXPECT_EQ(device.Status(0, MCI_STATUS_POSITION), kInvalidPosition);
    }
    EXPECT_TRUE(mci.Log().empty());
}

TEST(CMciCdAudio, OpenSendsTheDriveAndAliasOnceAndCloseForgetsTheDevice) {
    FakeMci mci;
    CMciCdAudio device(mci);
    ASSERT_EQ(device.Open("E:"), 0u);
    EXPECT_EQ(device.DeviceId(), 7u);
    EXPECT_EQ(device.Open("E:"), 1u);  // already open: nothing sent
    ASSERT_EQ(mci.Log().size(), 1u);
    EXPECT_EQ(mci.Log()[0], "open " + std::to_string(0x3702) + " E: CD1998: 516");
    EXPECT_EQ(device.Close(), 0u);
    EXPECT_EQ(device.DeviceId(), 0u);
}

TEST(CMciCdAudio, PlaySeekAndStatusFlags) {
    FakeMci mci;
    CMciCdAudio device(mci);
    ASSERT_EQ(device.Open("D:"), 0u);
    mci.ClearLog();
    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_TMSF);
    EXPECT_EQ(device.Play(kFromCurrent, kToEnd), 0u);
    EXPECT_EQ(device.Play(2, 3), 0u);
    EXPECT_EQ(device.Play(9, kToEnd), MCIERR_OUTOFRANGE);
    EXPECT_EQ(device.LastError(), MCIERR_OUTOFRANGE);
    device.Seek(0);
    device.Seek(kToEnd);
    device.Seek(0x0203);
    EXPECT_EQ(mci.Log(),
              (std::vector<std::string>{"format 10", "play", "play from 2 to 3", "play from 9",
                                        "seek start", "seek end", "seek to 515"}));

    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_MSF);
    mci.PlayingAt(2 * 60 + 2);
    EXPECT_EQ(device.Status(0, MCI_STATUS_POSITION), MCI_MAKE_MSF(2, 2, 0));
    EXPECT_EQ(device.Status(MCI_TRACK, MCI_STATUS_LENGTH, 2), MCI_MAKE_MSF(4, 0, 0));
    EXPECT_EQ(device.Status(0, MCI_STATUS_NUMBER_OF_TRACKS), 4u);
    device.Set(MCI_SET_TIME_FORMAT, MCI_FORMAT_TMSF);
    EXPECT_EQ(device.Status(0, MCI_STATUS_POSITION), MCI_MAKE_TMSF(1, 2, 0, 0));

    mci.disc = false;  // a failed position query reads as no disc
    const DWORD none = device.Status(0, MCI_STATUS_POSITION);
    EXPECT_GT(MCI_MSF_SECOND(none), 60u);
    EXPECT_EQ(device.Status(0, MCI_STATUS_NUMBER_OF_TRACKS), 0u);
}

TEST(CMciCdAudio, InfoFillsTheSharedBufferAndShowErrorExplainsTheLastError) {
    FakeMci mci;
    mci.identity = std::string(200, 'x');
    CMciCdAudio device(mci);
    ASSERT_EQ(device.Open("D:"), 0u);
    const char* text = device.Info(MCI_INFO_MEDIA_IDENTITY);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), std::string(127, 'x'));

    RecordingDisplay box;
    device.ShowError(box);  // last error 0: no text for it
    mci.failOpen = true;
    CMciCdAudio other(mci);
    EXPECT_EQ(other.Open("D:"), MCIERR_DEVICE_LOCKED);
    other.ShowError(box);
    ASSERT_EQ(box.messages.size(), 2u);
    EXPECT_EQ(box.messages[0].first, "Unknown MCI Error");
    EXPECT_EQ(box.messages[1].first, "The device is locked.");
    EXPECT_EQ(box.messages[1].second, MB_ICONWARNING);
}
