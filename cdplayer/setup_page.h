#pragma once
// The rules of the preferences page "General" (IDD_SETUP_PAGE1): the drive list, the validation of
// its fields with the framework's standard messages, and what OK stores.

#include <string>
#include <vector>

#include "cdplayer/commands.h"
#include "cdplayer/resource.h"
#include "cdplayer/settings.h"

namespace orvane::cdplayer {

constexpr int kIntroScanLow = 3;
constexpr int kIntroScanHigh = 60;

struct SetupPageValues {
    std::string drive;      // IDC_SETUP_DRIVE
    int playOnStartUp = 0;  // IDC_SETUP_PLAY_ON_STARTUP
    int stopCdOnExit = 0;   // IDC_SETUP_STOP_ON_EXIT
    int saveSettings = 0;   // IDC_SETUP_SAVE_SETTINGS
    std::string introScan;  // IDC_SETUP_INTRO_SCAN, as typed
};

// What the page shows when it opens: the CD-ROM drives in letter order (drives) with the first
// one chosen, the three check boxes from the settings and the intro scan time with "%d".
SetupPageValues OpenSetupPage(const PlayerSettings& settings, const DriveTypeFn& driveType,
                              std::vector<std::string>& drives);

struct SetupPageError {
    int controlId = 0;  // 0: the fields are valid
    std::string message;
};

// Checks the fields as leaving the page with OK does; the first failure with its message.
SetupPageError ValidateSetupPage(const SetupPageValues& values);

// OK on the page, then the closing of the sheet: the settings take the page's values and the
// drive letter becomes the first character of a non-empty drive text. Call only after a
// successful validation.
void ApplySetupPage(const SetupPageValues& values, PlayerSettings& settings);

}  // namespace orvane::cdplayer
