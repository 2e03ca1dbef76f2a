#include "encoder/tags/paths.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/fs/fs.h"
#include "platform/shell/sysinfo.h"

namespace orvane::encoder {

namespace fs = std::filesystem;

std::string DriveAndDirectory(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::string WithTrailingSlash(const std::string& folder) {
    if (!folder.empty() && folder.back() == '/') return folder;
    return folder + '/';
}

namespace {

// XDG_MUSIC_DIR from user-dirs.dirs: XDG_MUSIC_DIR="$HOME/Music".
std::string UserDirsMusic(const std::string& home) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string file =
        (config && *config ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_MUSIC_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        return value;
    }
    return {};
}

}  // namespace

std::string MusicFolder() {
    std::string home = shell::HomeFolder();
    const char* env = std::getenv("XDG_MUSIC_DIR");
    std::string music = env && *env ? std::string(env) : UserDirsMusic(home);
    std::error_code ec;
    if (!music.empty() && fs::is_directory(music, ec)) return WithTrailingSlash(music);
    if (fs::is_directory(home + "/Music", ec)) return WithTrailingSlash(home + "/Music");
    return WithTrailingSlash(home.empty() ? "/" : home);
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    // Iterative matcher with one back-tracking point for the last '*'.
    std::size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || (pattern[p] != '*' && same(pattern[p], name[n])))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<std::string> FindFiles(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!WildcardMatch(pattern, name)) continue;
        std::error_code fec;
        if (!fs::is_regular_file(it->path(), fec)) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return std::tolower(static_cast<unsigned char>(x)) <
                                                       std::tolower(static_cast<unsigned char>(y));
                                            });
    });
    return names;
}

std::string OutputFolderOf(const std::string& outputText) {
    return outputText.empty() ? std::string() : WithTrailingSlash(outputText);
}

std::string MakeOutputFolder(const std::string& outputText) {
    std::string folder = OutputFolderOf(outputText);
    if (folder.empty()) return {};
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (fs::is_directory(status)) return {};
    if (fs::exists(status))
        return "Error: The output folder " + folder + " is a file, not a folder";
    fs::create_directories(folder, ec);
    if (!ec && !fs::is_directory(folder, ec)) ec = std::make_error_code(std::errc::not_a_directory);
    if (ec) return "Error: Cannot create the output folder " + folder + ": " + ec.message();
    return {};
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (from == to) return true;
    return orvane::fs::RenameNoReplace(from, to);
}

std::string NumberedName(const std::string& stem, const std::string& ext, int number) {
    if (number <= 1) return stem + ext;
    return stem + " (" + std::to_string(number) + ")" + ext;
}

std::string MoveToFreeName(const std::string& from, const std::string& stem, const std::string& ext,
                           std::string& error) {
    // Far more files of one name than anyone keeps; the bound only ends a hopeless search.
    constexpr int kMaxNumber = 9999;
    for (int number = 1; number <= kMaxNumber; ++number) {
        std::string to = NumberedName(stem, ext, number);
        if (RenameNoReplace(from, to)) return to;
        if (errno != EEXIST) {
            error = std::string("Cannot rename to ") + to + ": " + std::strerror(errno);
            return {};
        }
    }
    error = "Cannot rename to " + stem + ext + ": every numbered name is taken";
    return {};
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec) && !ec) return true;
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace orvane::encoder

namespace orvane::encoder {

namespace {

// At most n bytes of text, never ending inside a UTF-8 character.
std::string Prefix(const std::string& text, std::size_t n) {
    if (text.size() <= n) return text;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.substr(0, n) + "...";
}

}  // namespace

std::string PathLengthProblem(const std::string& path) {
    if (path.size() > kMaxPathBytes)
        return "The path is " + std::to_string(path.size()) + " bytes long; the system allows " +
               std::to_string(kMaxPathBytes) + " bytes: " + Prefix(path, 60);
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end - start > kMaxNameBytes)
            return "The name " + Prefix(path.substr(start, end - start), 60) + " is " +
                   std::to_string(end - start) + " bytes long; the system allows " +
                   std::to_string(kMaxNameBytes) + " bytes for a name";
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return {};
}

}  // namespace orvane::encoder
