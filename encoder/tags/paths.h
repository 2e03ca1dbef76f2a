#pragma once
// Path helpers of the encoder front-end: folders end with '/', names keep their spelling.

#include <string>
#include <vector>

namespace orvane::encoder {

// Drive and directory of a path: everything up to and including its last '/'; empty when it
// has none.
std::string DriveAndDirectory(const std::string& path);
// The file name of a path without its folder and without its last extension.
std::string BaseName(const std::string& path);
// Appends '/' unless the text already ends with one.
std::string WithTrailingSlash(const std::string& folder);
// The user's music folder with a trailing '/': XDG_MUSIC_DIR (from the environment or
// user-dirs.dirs), else ~/Music when it exists, else the home folder.
std::string MusicFolder();
// True when the file name matches a pattern of '*' and '?' without regard to case.
bool WildcardMatch(const std::string& pattern, const std::string& name);
// The regular files of folder whose names match pattern, sorted without regard to case.
std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern);
// True when both paths name the same file (the same path after resolution, or the same inode).
bool SameFile(const std::string& a, const std::string& b);

// The folder of a batch's outputs: the output text itself, with a trailing '/' (empty: the
// current folder). Outputs never land next to the chosen folder, also before it exists.
std::string OutputFolderOf(const std::string& outputText);
// Makes the folder of a batch's outputs, with the folders above it, where it does not exist.
// Empty when it is there; else the message naming the folder and why it cannot be (a file
// holds its name, or it cannot be created).
std::string MakeOutputFolder(const std::string& outputText);
// Renames from to to unless a file named to exists already (as a rename on Windows would
// refuse); false (errno set, EEXIST for a taken name) when nothing was renamed.
bool RenameNoReplace(const std::string& from, const std::string& to);

// The name a file gets when the names before it are taken: stem + ext for number 1, else
// stem + " (number)" + ext ("Band - Song (2).MP3").
std::string NumberedName(const std::string& stem, const std::string& ext, int number);
// Moves from to the first of NumberedName(stem, ext, 1), (2), ... that no file holds, without
// ever replacing a file. Returns the path taken; empty, with error saying why, when the file
// could not be moved (it then stays where it was).
std::string MoveToFreeName(const std::string& from, const std::string& stem, const std::string& ext,
                           std::string& error);

}  // namespace orvane::encoder

namespace orvane::encoder {

// The longest path (in bytes, without the closing NUL) and the longest name within it that the
// system's file calls accept.
constexpr std::size_t kMaxPathBytes = 4095;
constexpr std::size_t kMaxNameBytes = 255;
// Empty when the system can take the path; else a message naming the limit it exceeds.
std::string PathLengthProblem(const std::string& path);

}  // namespace orvane::encoder
