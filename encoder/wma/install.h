#pragma once
// Installation of the Windows Media encoder components on the first start: runs the installer
// "WMEDist.exe" of the program folder silently, offers a restart when file replacements are
// pending, and copies the two audio profiles into the encoder's profile folder.

#include <string>

#include "encoder/app/settings_store.h"
#include "platform/window/window_port.h"

namespace orvane::wma {

// The registry key (below HKEY_CLASSES_ROOT) whose default value is the profile folder.
constexpr const char* kProfileDirectoryKey =
    "\\Software\\Microsoft\\Windows Media Tools\\Encoder\\ProfileMgr\\Directory";
constexpr const char* kSessionManagerKey = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kProfileFiles[2] = {
    "Audio for HI-FI CD-quality (160 Kbps stereo).prx",
    "Audio for HI-FI Studio-maximum quality (192 Kbps stereo).prx"};
// Installer time limit.
constexpr unsigned kInstallerLimitMs = 1800000;

// Whether a pending restart may be offered. A run without a window has nobody to ask and never
// agrees to one: it says what is pending instead.
enum class RestartQuestion { Ask, Refuse };

// 1 lets start-up go on, 0 ends it. ui shows the messages (owner-less boxes at start-up);
// registry answers the machine-wide reads; programFolder ends with '/'.
int InstallWmaComponents(WindowPort& ui, encoder::SettingsStore& registry,
                         const std::string& programFolder,
                         RestartQuestion restart = RestartQuestion::Ask);

// True when the system has file replacements waiting for a restart.
bool IsRestartPending(encoder::SettingsStore& registry);
// What a run that may not restart says about the replacements waiting for a restart.
std::string PendingRestartText(encoder::SettingsStore& registry);
// The check of systems outside the NT family: a "wininit.ini" in windowsFolder that exists
// and is not empty.
bool WininitPending(const std::string& windowsFolder);

}  // namespace orvane::wma
