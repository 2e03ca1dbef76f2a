#pragma once
// The system's version and shut-down requests. The programs run on an NT-family system as far
// as their code can tell; a request to restart the machine is recorded, never carried out.

#include <string>
#include <vector>

#include "platform/base/wintypes.h"

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    DWORD dwPlatformId = 0;
    char szCSDVersion[128] = {};
};

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

constexpr UINT EWX_LOGOFF = 0;
constexpr UINT EWX_SHUTDOWN = 1;
constexpr UINT EWX_REBOOT = 2;
constexpr UINT EWX_FORCE = 4;
constexpr UINT EWX_POWEROFF = 8;

// Fills the structure: version 5.0, build 2195, platform VER_PLATFORM_WIN32_NT. FALSE when the
// size field is not that of the structure.
BOOL GetVersionExA(OSVERSIONINFOA* info);

// Records the request (flags and reason) and returns TRUE; the machine is never shut down or
// restarted. The record is kept for the process and appended as a line
// "<unix time> flags=<n> reason=<n>" to the file RestartRequestFile().
BOOL ExitWindowsEx(UINT flags, DWORD reason);

namespace orvane::shell {

// $ORVANE_STATE_DIR/restart-requests, else ~/.local/state/orvane/restart-requests.
std::string RestartRequestFile();
// The flags of the requests recorded by this process, in order.
std::vector<UINT> RecordedExitRequests();

}  // namespace orvane::shell
