#pragma once
// The rules of the preferences page "General" (dialog 106): the drive list, the validation of
// its fields with the framework's standard messages, and what OK stores.

#include <string>
#include <vector>

#include "cdplayer/commands.h"
#include "cdplayer/settings.h"

namespace orvane::cdplayer::ui {

constexpr int kIntroScanLow = 3;
constexpr int kIntroScanHigh = 60;

struct SetupPageValues {
    std::string drive;      // 1007
    int playOnStartUp = 0;  // 1010
    int stopCdOnExit = 0;   // 1008
    int saveSettings = 0;   // 1009
    std::string introScan;  // 1016, as typed
};

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

}  // namespace orvane::cdplayer::ui
