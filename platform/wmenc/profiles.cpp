#include "platform/wmenc/profiles.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/base/utf8.h"
#include "platform/registry/winreg.h"
#include "platform/wmenc/wmenc.h"

namespace orvane::wmenc {

namespace fs = std::filesystem;

namespace {

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == ':' ||
           c == '.';
}

// Replaces the five predefined entities and numeric character references.
std::optional<std::string> Unescape(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '&') {
            out += raw[i];
            continue;
        }
        std::size_t end = raw.find(';', i);
        if (end == std::string::npos || end - i > 10) return std::nullopt;
        std::string entity = raw.substr(i + 1, end - i - 1);
        static const std::map<std::string, char> named = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        if (auto it = named.find(entity); it != named.end()) {
            out += it->second;
        } else if (entity.size() > 1 && entity[0] == '#') {
            unsigned long code = 0;
            bool hex = entity[1] == 'x';
            const char* first = entity.data() + (hex ? 2 : 1);
            const char* last = entity.data() + entity.size();
            auto [p, ec] = std::from_chars(first, last, code, hex ? 16 : 10);
            // No character has a surrogate's number: it would give a name that is not UTF-8.
            if (ec != std::errc() || p != last || code == 0 || code > 0x10FFFF ||
                (code >= 0xD800 && code <= 0xDFFF))
                return std::nullopt;
            AppendUtf8(out, static_cast<char32_t>(code));
        } else {
            return std::nullopt;
        }
        i = end;
    }
    return out;
}

std::optional<long> Number(const std::map<std::string, std::string>& attrs, const char* name) {
    auto it = attrs.find(name);
    if (it == attrs.end()) return std::nullopt;
    long value = 0;
    const std::string& s = it->second;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<ProfileData> ParseProfile(const std::string& text) {
    // The element's start: "<profile" followed by a blank, "/" or ">".
    std::size_t pos = 0;
    for (;;) {
        pos = text.find("<profile", pos);
        if (pos == std::string::npos) return std::nullopt;
        char next = pos + 8 < text.size() ? text[pos + 8] : '\0';
        if (next == '/' || next == '>' || std::isspace(static_cast<unsigned char>(next))) break;
        pos += 8;
    }
    pos += 8;
    std::map<std::string, std::string> attrs;
    for (;;) {
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
            ++pos;
        if (pos >= text.size()) return std::nullopt;
        if (text[pos] == '/' || text[pos] == '>') break;
        std::size_t nameStart = pos;
        while (pos < text.size() && IsNameChar(text[pos]))
            ++pos;
        if (pos == nameStart) return std::nullopt;
        std::string name = text.substr(nameStart, pos - nameStart);
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
            ++pos;
        if (pos >= text.size() || text[pos] != '=') return std::nullopt;
        ++pos;
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
            ++pos;
        if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\'')) return std::nullopt;
        char quote = text[pos++];
        std::size_t end = text.find(quote, pos);
        if (end == std::string::npos) return std::nullopt;
        auto value = Unescape(text.substr(pos, end - pos));
        if (!value || value->find('<') != std::string::npos) return std::nullopt;
        attrs[name] = *value;
        pos = end + 1;
    }
    ProfileData p;
    auto name = attrs.find("name");
    if (name == attrs.end() || name->second.empty()) return std::nullopt;
    p.name = name->second;
    auto bitrate = Number(attrs, "bitrate");
    auto channels = Number(attrs, "channels");
    auto rate = Number(attrs, "samplerate");
    if (!bitrate || !channels || !rate) return std::nullopt;
    if (*channels < 1 || *channels > 2 || *rate < 8000 || *rate > 48000 || *bitrate < 8000 ||
        *bitrate > 384000)
        return std::nullopt;
    p.bitrate = *bitrate;
    p.channels = *channels;
    p.sampleRate = *rate;
    return p;
}

std::vector<ProfileData> LoadProfiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() < 4) continue;
        std::string ext = name.substr(name.size() - 4);
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (ext != ".prx") continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::vector<ProfileData> profiles;
    for (const std::string& name : names) {
        std::ifstream in(fs::path(folder) / name, std::ios::binary);
        if (!in) continue;
        std::string text(kMaxProfileBytes + 1, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        std::size_t got = static_cast<std::size_t>(in.gcount());
        if (got > kMaxProfileBytes) continue;
        text.resize(got);
        if (auto p = ParseProfile(text)) profiles.push_back(std::move(*p));
    }
    return profiles;
}

std::string RegisteredProfileFolder() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kProfileFolderKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    char buffer[4096];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    LONG r = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    std::string folder(buffer, size);
    while (!folder.empty() && folder.back() == '\0')
        folder.pop_back();
    return folder;
}

}  // namespace orvane::wmenc
