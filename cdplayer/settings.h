#pragma once
// The player's settings, kept under HKEY_CURRENT_USER\Software\Orvane Systems\Tarvo\General.

namespace orvane::registry {
class Profile;
}

namespace orvane::cdplayer {

struct PlayerSettings {
    char DriveLetter = 0;  // 0: the first CD-ROM drive
    int IntroScanSeconds = 5;
    int PlayOnStartUp = 0;
    int StopCDOnExit = 0;
    int SaveSettings = 0;

    void Load(const registry::Profile& profile);
    // A write the registry refuses is not reported.
    void Save(registry::Profile& profile) const;
};

// The registry key the player keeps its settings under.
inline constexpr const char* kCompanyKey = "Orvane Systems";
inline constexpr const char* kSettingsSection = "General";

}  // namespace orvane::cdplayer
