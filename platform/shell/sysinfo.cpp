#include "platform/shell/sysinfo.h"

#include <limits.h>
#include <pwd.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace orvane::shell {

std::string ModuleFileName() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    return std::string(buffer.data(), static_cast<size_t>(n));
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1);
}

std::string BaseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::string ModuleFolder() { return FolderOf(ModuleFileName()); }

std::string ModuleBaseName() { return BaseNameOf(ModuleFileName()); }

std::string UserName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
    if (const char* user = std::getenv("USER")) return user;
    return {};
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

bool AvailableMemoryKb(std::uint64_t& kb) {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        unsigned long long value = 0;
        if (std::sscanf(line.c_str(), "MemAvailable: %llu kB", &value) == 1) {
            kb = value;
            return true;
        }
    }
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) return false;
    kb = static_cast<std::uint64_t>(info.freeram) * info.mem_unit / 1024;
    return true;
}

bool FreeDiskKb(const std::string& folder, std::uint64_t& kb) {
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) return false;
    kb = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize / 1024;
    return true;
}

}  // namespace orvane::shell
