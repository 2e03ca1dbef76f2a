#include "cdplayer/ui/about_info.h"

#include <sys/statvfs.h>
#include <sys/sysinfo.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "3.0.0"
#endif

namespace orvane::cdplayer::ui {

VersionValues ProgramVersion() {
    return {"Orvane CD Player", ORVANE_VERSION, "Copyright (C) Orvane Systems"};
}

namespace {

// Available memory in KB: the kernel's own estimate, else the free memory.
unsigned long AvailableKb() {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        unsigned long kb = 0;
        if (std::sscanf(line.c_str(), "MemAvailable: %lu kB", &kb) == 1) return kb;
    }
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) return 0;
    return static_cast<unsigned long>(info.freeram / 1024 * info.mem_unit);
}

}  // namespace

std::string FreeMemoryText() {
    char text[64];
    std::snprintf(text, sizeof text, "%lu KB", AvailableKb());
    return text;
}

std::string FreeDiskText(const std::string& folder) {
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0) return "Unavailable";
    const unsigned long long kb = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize / 1024;
    char text[64];
    // The file system is drive C: to the player.
    std::snprintf(text, sizeof text, "%lu KB Free on %c:", static_cast<unsigned long>(kb), 'C');
    return text;
}

}  // namespace orvane::cdplayer::ui
