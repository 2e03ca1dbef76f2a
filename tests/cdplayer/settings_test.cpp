#include <gtest/gtest.h>

#include "cdplayer/default_player.h"
#include "cdplayer/settings.h"
#include "fake_mci.h"
#include "platform/registry/profile.h"
#include "platform/registry/registry_fixture.h"

using namespace orvane::cdplayer;

using Settings = orvane::test::RegistryTest;

TEST_F(Settings, AFreshUserGetsTheDefaultsAndSavedValuesComeBack) {
    orvane::registry::Profile profile(kCompanyKey, "Tarvo");
    EXPECT_EQ(profile.KeyPath(), "Software\\Orvane Systems\\Tarvo");
    PlayerSettings settings;
    settings.IntroScanSeconds = 99;
    settings.Load(profile);
    EXPECT_EQ(settings.DriveLetter, 0);
    EXPECT_EQ(settings.IntroScanSeconds, 5);
    EXPECT_EQ(settings.PlayOnStartUp + settings.StopCDOnExit + settings.SaveSettings, 0);

    settings.DriveLetter = 'F';
    settings.IntroScanSeconds = 12;
    settings.PlayOnStartUp = 1;
    settings.SaveSettings = 1;
    settings.Save(profile);
    EXPECT_EQ(profile.GetProfileString("General", "DriveLetter"), "F");

    orvane::registry::Profile again(kCompanyKey, "Tarvo");
    PlayerSettings loaded;
    loaded.Load(again);
    EXPECT_EQ(loaded.DriveLetter, 'F');
    EXPECT_EQ(loaded.IntroScanSeconds, 12);
    EXPECT_EQ(loaded.PlayOnStartUp, 1);
    EXPECT_EQ(loaded.StopCDOnExit, 0);
    EXPECT_EQ(loaded.SaveSettings, 1);

    // A longer text stored by hand: its first character is the drive.
    again.WriteProfileString("General", "DriveLetter", "G:");
    loaded.Load(again);
    EXPECT_EQ(loaded.DriveLetter, 'G');
}

TEST_F(Settings, TheOfferWritesThePlayCommandOfTheMachine) {
    orvane::cdplayer::test::RecordingDisplay box;
    box.answer = IDYES;
    // Without the AudioCD command key the offer is skipped silently.
    EXPECT_FALSE(OfferDefaultPlayer(*RegistryPlayCommandKey(), box, "/opt/Tarvo/Tarvo.EXE"));
    EXPECT_TRUE(box.messages.empty());

    HKEY key = Create(HKEY_LOCAL_MACHINE, kPlayCommandSubkey);
    RegCloseKey(key);
    EXPECT_TRUE(OfferDefaultPlayer(*RegistryPlayCommandKey(), box, "/opt/Tarvo/Tarvo.EXE"));
    key = Create(HKEY_LOCAL_MACHINE, kPlayCommandSubkey);
    EXPECT_EQ(GetBytes(key, ""), std::string("/opt/Tarvo/Tarvo.EXE /play %%1\0", 31));
    RegCloseKey(key);
    EXPECT_FALSE(OfferDefaultPlayer(*RegistryPlayCommandKey(), box, "/opt/Tarvo/Tarvo.EXE"));
    EXPECT_EQ(box.messages.size(), 1u);
}
