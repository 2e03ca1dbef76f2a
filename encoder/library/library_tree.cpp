#include "encoder/library/library_tree.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "encoder/job/job.h"
#include "encoder/tags/file_names.h"
#include "platform/fs/fs.h"

namespace orvane::library {

namespace {

constexpr int kMaxDepth = 64;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Extension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : Lower(name.substr(dot + 1));
}

bool Newer(const struct stat& a, const struct stat& b) {
    return a.st_mtim.tv_sec != b.st_mtim.tv_sec ? a.st_mtim.tv_sec > b.st_mtim.tv_sec
                                                : a.st_mtim.tv_nsec > b.st_mtim.tv_nsec;
}

struct Walk {
    const TreeOptions& options;
    std::string out;
    bool outExists = false;
    struct stat outInfo {};
    std::vector<LibraryEntry>& plan;
    std::map<std::string, std::string> outputs;  // output -> the source that has it

    bool IsOutputFolder(const struct stat& info) const {
        return outExists && info.st_dev == outInfo.st_dev && info.st_ino == outInfo.st_ino;
    }

    // A disc image's entry: an output per track, up to date when every one is newer than
    // both the image and its sheet.
    void Image(LibraryEntry& e, const std::string& rel, const struct stat& info,
               const std::pair<std::string, std::shared_ptr<const ImageCue>>& image) {
        e.image = image.second;
        const std::size_t slash = rel.rfind('/');
        const std::string folder =
            out + "/" + (slash == std::string::npos ? "" : rel.substr(0, slash + 1));
        bool upToDate = !options.force;
        struct stat cue {};
        if (::stat(image.first.c_str(), &cue) != 0) upToDate = false;
        for (const ImageTrack& t : e.image->tracks) {
            char number[8];
            std::snprintf(number, sizeof number, "%02d", t.number);
            std::string title =
                encoder::CleanNameCharacters(t.tags.Get(tags::TagField::Title), true);
            if (title.empty() || title[0] == '.') title = "Track " + std::string(number);
            e.trackOutputs.push_back(folder + number + " - " + title + options.extension);
            auto [it, fresh] = outputs.emplace(e.trackOutputs.back(), rel);
            if (!fresh) {
                e.action = LibraryEntry::Action::Fail;
                e.reason = "Error: the output of its track " + std::to_string(t.number) +
                           " is also the output of " + it->second;
                return;
            }
            struct stat o {};
            upToDate = upToDate && ::stat(e.trackOutputs.back().c_str(), &o) == 0 &&
                       S_ISREG(o.st_mode) && Newer(o, info) && Newer(o, cue);
        }
        e.output = e.trackOutputs.front();
        if (upToDate) e.action = LibraryEntry::Action::Skip;
    }

    void File(const std::string& path, const std::string& rel, const std::string& name,
              const struct stat& info,
              const std::map<std::string, std::pair<std::string, std::shared_ptr<const ImageCue>>>&
                  images) {
        LibraryEntry e;
        e.source = path;
        e.relative = rel;
        bool copy = false;
        if (auto image = images.find(name); image != images.end() && IsAudioName(name)) {
            Image(e, rel, info, image->second);
            plan.push_back(std::move(e));
            return;
        }
        if (IsAudioName(name)) {
            const std::size_t dot = rel.rfind('.');
            e.output = out + "/" + rel.substr(0, dot) + options.extension;
        } else {
            // A sheet that split its image names a file the output folder does not hold.
            for (const auto& [file, image] : images)
                if (image.first == path) return;
            for (const std::string& p : options.copyPatterns)
                copy = copy || ::fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
            if (!copy) return;
            e.output = out + "/" + rel;
            e.action = LibraryEntry::Action::Copy;
        }
        auto [it, fresh] = outputs.emplace(e.output, rel);
        struct stat same {};
        if (!fresh) {
            e.action = LibraryEntry::Action::Fail;
            e.reason = "Error: its output is also the output of " + it->second;
        } else if (::stat(e.output.c_str(), &same) == 0 && same.st_dev == info.st_dev &&
                   same.st_ino == info.st_ino) {
            // The output folder is the input folder and the name stays: the source would go.
            e.action = LibraryEntry::Action::Fail;
            e.reason = "Error: its output would replace it";
        } else if (struct stat o{}; !options.force && ::stat(e.output.c_str(), &o) == 0 &&
                                    S_ISREG(o.st_mode) && Newer(o, info)) {
            e.action = LibraryEntry::Action::Skip;
        }
        plan.push_back(std::move(e));
    }

    void Folder(const std::string& path, const std::string& rel, int depth) {
        DIR* dir = ::opendir(path.c_str());
        if (!dir) {
            LibraryEntry e;
            e.action = LibraryEntry::Action::Fail;
            e.source = path;
            e.relative = rel.empty() ? "." : rel;
            e.reason = std::string("Error: the folder cannot be read: ") + std::strerror(errno);
            plan.push_back(std::move(e));
            return;
        }
        std::vector<std::string> names;
        while (dirent* d = ::readdir(dir))
            if (d->d_name[0] != '.') names.emplace_back(d->d_name);
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        // The sheets of disc images: each names one file of this folder, with several tracks.
        std::map<std::string, std::pair<std::string, std::shared_ptr<const ImageCue>>> images;
        for (const std::string& name : names) {
            if (!options.split || Extension(name) != "cue") continue;
            std::string text;
            if (!fs::ReadFile(path + "/" + name, kMaxCueBytes, text)) continue;
            auto cue = std::make_shared<ImageCue>();
            std::string ignored;
            if (!ParseImageCue(text, *cue, ignored) || cue->tracks.size() < 2) continue;
            if (std::find(names.begin(), names.end(), cue->file) == names.end()) continue;
            const std::string file = cue->file;
            images.emplace(file, std::make_pair(path + "/" + name, std::move(cue)));
        }
        for (const std::string& name : names) {
            const std::string p = path + "/" + name;
            const std::string r = rel.empty() ? name : rel + "/" + name;
            struct stat link {};
            if (::lstat(p.c_str(), &link) != 0) continue;
            struct stat info = link;
            // A link to a file is taken as the file; a link to a folder is not followed.
            if (S_ISLNK(link.st_mode) && (::stat(p.c_str(), &info) != 0 || !S_ISREG(info.st_mode)))
                continue;
            if (S_ISDIR(info.st_mode)) {
                if (options.subfolders && depth < kMaxDepth && !IsOutputFolder(info))
                    Folder(p, r, depth + 1);
            } else if (S_ISREG(info.st_mode)) {
                File(p, r, name, info, images);
            }
        }
    }
};

}  // namespace

bool IsAudioName(const std::string& name) {
    static const char* const kExtensions[] = {
        "flac", "m4a",  "mp4", "alac", "aac", "wv",  "ape",  "tta",  "ogg", "oga",
        "opus", "mp3",  "mp2", "wma",  "asf", "aif", "aiff", "aifc", "wav", "wave",
        "w64",  "rf64", "mka", "dsf",  "mpc", "spx", "caf",  "ac3",  "dts",
    };
    const std::string ext = Extension(name);
    return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                       [&](const char* e) { return ext == e; });
}

std::vector<std::string> SplitPatterns(const std::string& list) {
    if (list == "default") return {"cover.*", "folder.*", "*.cue", "*.log"};
    std::vector<std::string> patterns;
    std::size_t from = 0;
    while (from <= list.size()) {
        std::size_t comma = list.find(',', from);
        if (comma == std::string::npos) comma = list.size();
        if (comma > from) patterns.push_back(list.substr(from, comma - from));
        from = comma + 1;
    }
    return patterns;
}

std::string LibraryFolderProblem(const std::string& in) {
    struct stat info {};
    if (::stat(in.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return "Error: " + in + " is not a folder";
    return {};
}

bool PlanLibrary(const std::string& in, const std::string& out, const TreeOptions& options,
                 std::vector<LibraryEntry>& plan, std::string& error) {
    error = LibraryFolderProblem(in);
    if (!error.empty()) return false;
    Walk walk{options, out, false, {}, plan, {}};
    walk.outExists = ::stat(out.c_str(), &walk.outInfo) == 0;
    walk.Folder(in, "", 0);
    return true;
}

}  // namespace orvane::library
