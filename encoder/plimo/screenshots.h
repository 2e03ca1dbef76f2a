#pragma once
// A review run: drives one MP3 job through the real windows (wizard pages, tag dialog, status
// window) without a user and writes a PNG picture of each into a folder.

#include <string>

namespace orvane::plimo {

// Returns 0 when every picture was written; messages go to standard error.
int RunScreenshots(const std::string& folder);

}  // namespace orvane::plimo
