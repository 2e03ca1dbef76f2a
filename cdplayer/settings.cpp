#include "cdplayer/settings.h"

#include <string>

#include "platform/registry/profile.h"

namespace orvane::cdplayer {

void PlayerSettings::Load(const registry::Profile& profile) {
    const std::string drive = profile.GetProfileString(kSettingsSection, "DriveLetter", "");
    DriveLetter = drive.empty() ? 0 : drive[0];
    IntroScanSeconds =
        static_cast<int>(profile.GetProfileInt(kSettingsSection, "IntroScanSeconds", 5));
    PlayOnStartUp = static_cast<int>(profile.GetProfileInt(kSettingsSection, "PlayOnStartUp", 0));
    StopCDOnExit = static_cast<int>(profile.GetProfileInt(kSettingsSection, "StopCDOnExit", 0));
    SaveSettings = static_cast<int>(profile.GetProfileInt(kSettingsSection, "SaveSettings", 0));
}

void PlayerSettings::Save(registry::Profile& profile) const {
    profile.WriteProfileString(kSettingsSection, "DriveLetter",
                               DriveLetter ? std::string(1, DriveLetter) : std::string());
    profile.WriteProfileInt(kSettingsSection, "IntroScanSeconds", IntroScanSeconds);
    profile.WriteProfileInt(kSettingsSection, "PlayOnStartUp", PlayOnStartUp);
    profile.WriteProfileInt(kSettingsSection, "StopCDOnExit", StopCDOnExit);
    profile.WriteProfileInt(kSettingsSection, "SaveSettings", SaveSettings);
}

}  // namespace orvane::cdplayer
