#include "encoder/tags/name_pattern.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "encoder/tags/file_names.h"
#include "encoder/tags/paths.h"

namespace orvane::encoder {

namespace {

using tags::TagField;

// A field's text made safe for a name: the cleaning of CD track names, with '/' never kept.
std::string CleanField(const std::string& text) { return CleanNameCharacters(text, true); }

bool OnlyDots(const std::string& part) { return part.find_first_not_of('.') == std::string::npos; }

std::string FieldText(char code, const tags::TrackTags& f, int trackNumber) {
    switch (code) {
        case 'A':
            return f.Get(TagField::Artist);
        case 'a':
            return f.Has(TagField::AlbumArtist) ? f.Get(TagField::AlbumArtist)
                                                : f.Get(TagField::Artist);
        case 'T':
            return f.Get(TagField::Title);
        case 'B':
            return f.Get(TagField::Album);
        case 'N': {
            std::string n = std::to_string(trackNumber);
            return n.size() < 2 ? "0" + n : n;
        }
        case 'Y':
            return f.Get(TagField::Year);
        case 'G':
            return f.Get(TagField::Genre);
        case 'D':
            return f.Get(TagField::DiscNumber);
        default:
            return {};
    }
}

}  // namespace

std::string ExpandNamePattern(const std::string& pattern, const tags::TrackTags& fields,
                              int trackNumber) {
    if (pattern.empty()) return {};
    // The parts between the pattern's own '/'; fields never add one.
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char ch = pattern[i];
        if (ch == '/') {
            parts.emplace_back();
        } else if (ch == '%' && i + 1 < pattern.size()) {
            const char code = pattern[++i];
            if (code == '%')
                parts.back() += '%';
            else if (std::strchr("AaTBNYGD", code))
                parts.back() += CleanField(FieldText(code, fields, trackNumber));
            else
                parts.back() += CleanField(std::string("%") + code);
        } else {
            // The pattern's own text is cleaned as well, but for its '/'.
            parts.back() += CleanField(std::string(1, ch));
        }
    }
    std::string last = CutCharacters(parts.back(), 65);
    parts.pop_back();
    std::string path;
    for (std::string& part : parts) {
        part = CutCharacters(part, 65);
        if (part.empty()) continue;
        if (OnlyDots(part)) part = "_";
        path += part + "/";
    }
    if (OnlyDots(last)) last = "Track" + std::to_string(trackNumber);
    return path + last;
}

bool MakeNameFolders(const std::string& folder, const std::string& relative, std::string& error) {
    std::string path = WithTrailingSlash(folder);
    for (std::size_t at = 0, slash; (slash = relative.find('/', at)) != std::string::npos;
         at = slash + 1) {
        path += relative.substr(at, slash - at);
        if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "Cannot create the folder " + path + ": " + std::strerror(errno);
            return false;
        }
        path += '/';
    }
    return true;
}

}  // namespace orvane::encoder
