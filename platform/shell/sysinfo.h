#pragma once
// System information the programs ask for: their own path and folder, the user and the machine.

#include <cstdint>
#include <string>

namespace orvane::shell {

// Full path of the running executable (/proc/self/exe); empty when it cannot be read.
std::string ModuleFileName();
// Folder of the running executable with a trailing '/' (the program folder).
std::string ModuleFolder();
// Base name of the running executable without its extension ("Tarvo" for Tarvo.EXE).
std::string ModuleBaseName();
// Folder part of a path with a trailing '/', empty when the path has no folder part.
std::string FolderOf(const std::string& path);
// Base name of a path without folder and without its last extension.
std::string BaseNameOf(const std::string& path);
// The login name of the user running the program.
std::string UserName();
// The machine's host name.
std::string HostName();
// The user's home folder.
std::string HomeFolder();
// Physical memory available to programs, in KB: the kernel's own estimate, else the free
// memory. False when neither can be read.
bool AvailableMemoryKb(std::uint64_t& kb);
// Space free to the user on the file system holding folder, in KB; false when the query fails.
bool FreeDiskKb(const std::string& folder, std::uint64_t& kb);

}  // namespace orvane::shell
