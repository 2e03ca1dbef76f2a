#include "encoder/coverart/cover_beside.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "encoder/tags/cover_image.h"
#include "platform/fs/fs.h"

namespace orvane::coverart {

namespace {

std::string Joined(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// A file of the folder named "cover" with any extension, in any case; empty when none.
std::string ExistingCover(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return {};
    std::string found;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() > 6 && name[5] == '.' && ::strncasecmp(name.c_str(), "cover", 5) == 0) {
            found = Joined(folder, name);
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

BesideOutcome WriteCoverBeside(const std::string& folder, const tags::Picture& picture) {
    BesideOutcome out;
    if (std::string there = ExistingCover(folder); !there.empty()) {
        out.path = std::move(there);
        return out;
    }
    const std::string path = Joined(folder, tags::CoverFileName(picture));
    fs::WriteOptions options;
    options.mustBeNew = true;
    const std::string_view bytes(reinterpret_cast<const char*>(picture.bytes.data()),
                                 picture.bytes.size());
    const fs::Status status = fs::WriteFileAtomically(path, bytes, options);
    if (status.ok()) {
        out.path = path;
        out.written = true;
    } else if (Exists(path)) {
        out.path = path;  // another writer put one there meanwhile: it stays
    } else {
        out.why = "Cannot write " + path + ": " + status.message;
    }
    return out;
}

}  // namespace orvane::coverart
