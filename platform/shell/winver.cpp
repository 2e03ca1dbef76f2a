#include "platform/shell/winver.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/shell/sysinfo.h"

namespace {

std::mutex gMutex;
std::vector<UINT> gRequests;

}  // namespace

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return FALSE;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 2195;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

BOOL ExitWindowsEx(UINT flags, DWORD reason) {
    std::lock_guard lock(gMutex);
    gRequests.push_back(flags);
    std::string file = orvane::shell::RestartRequestFile();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    std::ofstream out(file, std::ios::app);
    out << static_cast<long long>(std::time(nullptr)) << " flags=" << flags << " reason=" << reason
        << "\n";
    return TRUE;
}

namespace orvane::shell {

std::string RestartRequestFile() {
    const char* dir = std::getenv("ORVANE_STATE_DIR");
    if (dir && *dir) return std::string(dir) + "/restart-requests";
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base = state && *state ? std::string(state) : HomeFolder() + "/.local/state";
    return base + "/orvane/restart-requests";
}

std::vector<UINT> RecordedExitRequests() {
    std::lock_guard lock(gMutex);
    return gRequests;
}

}  // namespace orvane::shell
