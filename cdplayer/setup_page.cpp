#include "cdplayer/setup_page.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace orvane::cdplayer {

namespace {

// An integer as the framework reads one from an edit: optional blanks and sign, digits, optional
// trailing blanks, nothing else.
bool ParseInt(const std::string& text, int& value) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    const std::size_t digits = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    if (i == digits) return false;
    const std::size_t end = i;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i != text.size()) return false;
    errno = 0;
    const long v = std::strtol(text.substr(start, end - start).c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

SetupPageValues OpenSetupPage(const PlayerSettings& settings, const DriveTypeFn& driveType,
                              std::vector<std::string>& drives) {
    drives = driveType ? CdRomDrives(driveType) : std::vector<std::string>();
    SetupPageValues values;
    if (!drives.empty()) values.drive = drives.front();
    values.playOnStartUp = settings.PlayOnStartUp;
    values.stopCdOnExit = settings.StopCDOnExit;
    values.saveSettings = settings.SaveSettings;
    values.introScan = std::to_string(settings.IntroScanSeconds);
    return values;
}

SetupPageError ValidateSetupPage(const SetupPageValues& values) {
    if (values.drive.size() > 3)
        return {IDC_SETUP_DRIVE, "Please enter no more than 3 characters."};
    int intro = 0;
    if (!ParseInt(values.introScan, intro))
        return {IDC_SETUP_INTRO_SCAN, "Please enter an integer."};
    if (intro < kIntroScanLow || intro > kIntroScanHigh)
        return {IDC_SETUP_INTRO_SCAN, "Please enter an integer between 3 and 60."};
    return {};
}

void ApplySetupPage(const SetupPageValues& values, PlayerSettings& settings) {
    int intro = settings.IntroScanSeconds;
    ParseInt(values.introScan, intro);
    settings.IntroScanSeconds = intro;
    settings.PlayOnStartUp = values.playOnStartUp;
    settings.StopCDOnExit = values.stopCdOnExit;
    settings.SaveSettings = values.saveSettings;
    if (!values.drive.empty()) settings.DriveLetter = values.drive[0];
}

}  // namespace orvane::cdplayer
