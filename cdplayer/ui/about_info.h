#pragma once
// The values the About box shows: the version values compiled into the program, the available
// physical memory and the free space of the current drive.

#include <string>

namespace orvane::cdplayer::ui {

struct VersionValues {
    std::string productName;
    std::string fileVersion;
    std::string legalCopyright;
};

VersionValues ProgramVersion();

// "%lu KB" of the available physical memory (string 102).
std::string FreeMemoryText();
// "%lu KB Free on %c:" for the current folder's file system (string 103), or "Unavailable"
// (string 104) when the query fails.
std::string FreeDiskText(const std::string& folder = ".");

inline constexpr const char* kBuildStamp = "Built on Mar 29 2001 at 04:01:38";

}  // namespace orvane::cdplayer::ui
