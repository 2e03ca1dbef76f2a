#include "encoder/wma/install.h"

#include <sys/stat.h>

#include <filesystem>

#include "encoder/tags/paths.h"
#include "platform/fs/fs.h"
#include "platform/process/process.h"
#include "platform/shell/winver.h"

namespace orvane::wma {

namespace fs = std::filesystem;

namespace {

// Profiles are short text files; nothing larger is one.
constexpr std::size_t kMaxProfileBytes = 16u << 20;

// Copies a file over an existing one so that the target is always whole.
bool CopyReplacing(const fs::path& from, const fs::path& to) {
    std::string bytes;
    return orvane::fs::ReadFile(from.string(), kMaxProfileBytes, bytes) &&
           orvane::fs::WriteFileAtomically(to.string(), bytes);
}

}  // namespace

bool WininitPending(const std::string& windowsFolder) {
    struct stat st;
    std::string file = encoder::WithTrailingSlash(windowsFolder) + "wininit.ini";
    return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size != 0;
}

bool IsRestartPending(encoder::SettingsStore& registry) {
    OSVERSIONINFOA info;
    GetVersionExA(&info);
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        std::string value;
        return registry.ReadMachineValue("HKEY_LOCAL_MACHINE", kSessionManagerKey,
                                         "PendingFileRenameOperations", value);
    }
    return false;
}

std::string PendingRestartText(encoder::SettingsStore& registry) {
    std::string value;
    registry.ReadMachineValue("HKEY_LOCAL_MACHINE", kSessionManagerKey,
                              "PendingFileRenameOperations", value);
    std::string text =
        "Error: The Windows Media Audio encoder components need a restart of the computer: file "
        "replacements are waiting for it (PendingFileRenameOperations).";
    // The value holds the files' names, separated by NULs.
    constexpr int kNamed = 10;
    int named = 0;
    std::size_t start = 0;
    while (start < value.size()) {
        std::size_t end = value.find('\0', start);
        if (end == std::string::npos) end = value.size();
        if (end > start && named++ < kNamed) text += "\n  " + value.substr(start, end - start);
        start = end + 1;
    }
    if (named > kNamed) text += "\n  ... and " + std::to_string(named - kNamed) + " more";
    return text + "\nNothing was restarted. Restart the computer, then try again.";
}

int InstallWmaComponents(WindowPort& ui, encoder::SettingsStore& registry,
                         const std::string& programFolder, RestartQuestion restart) {
    ui.SetWaitCursor(true);
    std::string folder = encoder::WithTrailingSlash(programFolder);
    std::string installer = folder + "WMEDist.exe";
    process::Process child;
    if (!child.Spawn(installer, {installer, "/Q:A", "/R:N"})) {
        ui.SetWaitCursor(false);
        ui.MessageBox(
            "Error: Can't find WMEDist.exe in the folder where Orvane Encoder was installed.", "",
            MB_ICONEXCLAMATION);
        int answer = ui.MessageBox(
            "Windows Media Audio encoding will not work.\nDo you want to start Orvane Encoder "
            "without WMA Support?",
            "", MB_YESNO | MB_ICONQUESTION);
        return answer == IDYES ? 1 : 0;
    }
    unsigned waited = 0;
    while (child.Wait(250) == WAIT_TIMEOUT) {
        waited += 250;
        if (waited > kInstallerLimitMs) {
            child.Terminate(0x80004005);
            break;
        }
    }
    if (IsRestartPending(registry)) {
        ui.SetWaitCursor(false);
        if (restart == RestartQuestion::Refuse) {
            ui.MessageBox(PendingRestartText(registry), "", MB_ICONEXCLAMATION);
            return 0;
        }
        int answer = ui.MessageBox(
            "Orvane Encoder needs to restart your computer in order to register the Windows "
            "Media Audio Encoder DLL files,\n\nDo you want restart now ?",
            "", MB_YESNO | MB_ICONQUESTION);
        if (answer == IDYES) {
            ExitWindowsEx(EWX_REBOOT, 0);
            return 0;
        }
        ui.SetWaitCursor(true);
    }
    std::string profileFolder;
    if (registry.ReadMachineValue("HKEY_CLASSES_ROOT", kProfileDirectoryKey, "", profileFolder) &&
        profileFolder.size() > 1) {
        profileFolder = encoder::WithTrailingSlash(profileFolder);
        for (const char* name : kProfileFiles)
            CopyReplacing(folder + name, profileFolder + name);
    }
    ui.SetWaitCursor(false);
    return 1;
}

}  // namespace orvane::wma
