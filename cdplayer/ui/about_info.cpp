#include "cdplayer/ui/about_info.h"

#include <cstdint>
#include <cstdio>

#include "platform/shell/sysinfo.h"

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "3.0.0"
#endif

namespace orvane::cdplayer::ui {

VersionValues ProgramVersion() {
    return {"Orvane CD Player", ORVANE_VERSION, "Copyright (C) Orvane Systems"};
}

std::string FreeMemoryText() {
    std::uint64_t kb = 0;
    shell::AvailableMemoryKb(kb);
    char text[64];
    std::snprintf(text, sizeof text, "%lu KB", static_cast<unsigned long>(kb));
    return text;
}

std::string FreeDiskText(const std::string& folder) {
    std::uint64_t kb = 0;
    if (!shell::FreeDiskKb(folder, kb)) return "Unavailable";
    char text[64];
    // The file system is drive C: to the player.
    std::snprintf(text, sizeof text, "%lu KB Free on %c:", static_cast<unsigned long>(kb), 'C');
    return text;
}

}  // namespace orvane::cdplayer::ui
