#include "platform/registry/reg_import.h"

#include <cstdint>

#include "platform/base/utf8.h"

namespace orvane::registry {
namespace {

constexpr DWORD kSz = 1, kExpandSz = 2, kMultiSz = 7;
const char kVersion5[] = "Windows Registry Editor Version 5.00";

// UTF-16LE bytes (an odd last byte is dropped) as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(const std::string& bytes, std::size_t from) {
    std::string out;
    out.reserve((bytes.size() - from) / 2);
    auto unit = [&](std::size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
    };
    for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= s.size()) return false;
        char a = s[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

// The value data as other editors write it too: any case of "dword:"/"hex", 1 to 8 digits of
// a DWORD, blanks after the commas of a hex list.
bool ReadData(std::string text, Value& v) {
    if (StartsWithNoCase(text, "dword:")) {
        const std::string digits = text.substr(6);
        if (digits.empty() || digits.size() > 8) return false;
        text = "dword:" + std::string(8 - digits.size(), '0') + digits;
    } else if (StartsWithNoCase(text, "hex")) {
        std::string compact;
        for (char c : text)
            if (c != ' ' && c != '\t') compact += c;
        text = "hex" + compact.substr(3);
    }
    return ParseValueData(text, v);
}

}  // namespace

HKEY RootByName(const std::string& name, std::string* fullName) {
    static const struct {
        const char* shortName;
        const char* longName;
        HKEY key;
    } kRoots[] = {{"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                  {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                  {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                  {"HKU", "HKEY_USERS", HKEY_USERS},
                  {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
    const std::string folded = Fold(name);
    for (const auto& r : kRoots) {
        if (folded == Fold(r.shortName) || folded == Fold(r.longName)) {
            if (fullName) *fullName = r.longName;
            return r.key;
        }
    }
    return nullptr;
}

RegImport ReadRegFile(const std::string& bytes) {
    RegImport result;
    auto fail = [&](int line, const std::string& why) {
        result.changes.clear();
        result.errorLine = line;
        result.error = why;
        return std::move(result);
    };
    std::string text;
    if (bytes.size() >= 2 && bytes[0] == '\xff' && bytes[1] == '\xfe') {
        text = Utf16LeToUtf8(bytes, 2);
    } else if (bytes.rfind("\xef\xbb\xbf", 0) == 0) {
        text = bytes.substr(3);
    } else {
        text = bytes;
    }

    bool wide = false;        // the data of text values is UTF-16LE
    bool haveKey = false;     // a section was read
    bool deletedKey = false;  // the current section deletes its key: its values are ignored
    HKEY root = nullptr;
    std::vector<std::string> path;
    std::size_t pos = 0;
    int lineNo = 0;
    auto nextLine = [&](std::string& line) {
        if (pos >= text.size()) return false;
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        return true;
    };
    std::string line;
    if (!nextLine(line)) return fail(1, "empty file");
    if (line == kVersion5) {
        wide = true;
    } else if (line != "REGEDIT4") {
        return fail(1, "not a registry file");
    }
    while (nextLine(line)) {
        const int at = lineNo;
        const std::string trimmed = Trim(line);
        if (trimmed.empty()) continue;
        if (trimmed[0] == '[') {
            if (trimmed.back() != ']') return fail(at, "unterminated key name");
            std::string inner = trimmed.substr(1, trimmed.size() - 2);
            deletedKey = !inner.empty() && inner[0] == '-';
            if (deletedKey) inner.erase(0, 1);
            const std::size_t sep = inner.find('\\');
            root = RootByName(inner.substr(0, sep));
            if (!root) return fail(at, "unknown root key");
            path.clear();
            for (std::size_t start = sep; start != std::string::npos;) {
                const std::size_t next = inner.find('\\', start + 1);
                const std::string part = inner.substr(
                    start + 1, next == std::string::npos ? std::string::npos : next - start - 1);
                std::string name;
                // A name holding a backslash after unescaping would land in another key; one
                // holding a NUL could never be opened again (keys are named by C strings).
                if (!UnescapeKeyName(part, name) || name.size() > 255 ||
                    name.find('\\') != std::string::npos || name.find('\0') != std::string::npos)
                    return fail(at, "bad key name");
                if (path.size() == kMaxKeyDepth) return fail(at, "the key lies too deep");
                path.push_back(std::move(name));
                start = next;
            }
            KeyChange change;
            change.kind = deletedKey ? KeyChange::Kind::DeleteKey : KeyChange::Kind::CreateKey;
            change.root = root;
            change.path = path;
            result.changes.push_back(std::move(change));
            haveKey = true;
            continue;
        }
        if (trimmed[0] == ';') {
            if (!haveKey || deletedKey || result.changes.empty()) continue;
            KeyChange& key = result.changes.back();
            if (key.kind != KeyChange::Kind::CreateKey) continue;
            if (trimmed.rfind(";!class=", 0) == 0) {
                std::size_t p = 8;
                std::string cls;
                if (!Unquote(trimmed, p, cls) || p != trimmed.size())
                    return fail(at, "bad class name");
                key.className = cls;
            } else if (trimmed.rfind(";!time=", 0) == 0) {
                const std::string digits = trimmed.substr(7);
                if (digits.empty() || digits.size() > 16) return fail(at, "bad time");
                std::uint64_t t = 0;
                for (char c : digits) {
                    const int d = HexDigit(c);
                    if (d < 0) return fail(at, "bad time");
                    t = t << 4 | static_cast<unsigned>(d);
                }
                key.lastWrite = t;
            } else if (trimmed.rfind(";!security=hex:", 0) == 0) {
                std::string sd;
                if (!ParseHexList(trimmed.substr(15), sd))
                    return fail(at, "bad security descriptor");
                key.security = sd;
            }
            continue;  // any other comment
        }
        if (!haveKey) return fail(at, "value before the first key");
        Value v;
        std::size_t p = 0;
        if (trimmed[0] == '@') {
            p = 1;
        } else if (!Unquote(trimmed, p, v.name)) {
            return fail(at, "bad value name");
        }
        while (p < trimmed.size() && (trimmed[p] == ' ' || trimmed[p] == '\t'))
            ++p;
        if (p >= trimmed.size() || trimmed[p] != '=') return fail(at, "'=' expected");
        std::string data = Trim(trimmed.substr(p + 1));
        // A hex list goes on over the lines that follow a trailing backslash.
        if (StartsWithNoCase(data, "hex")) {
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                std::string more;
                if (!nextLine(more)) return fail(at, "the file ends inside a value");
                data += Trim(more);
            }
        }
        if (deletedKey) continue;
        KeyChange change;
        change.root = root;
        change.path = path;
        if (data == "-") {
            change.kind = KeyChange::Kind::DeleteValue;
            change.value = std::move(v);
            result.changes.push_back(std::move(change));
            continue;
        }
        if (!ReadData(data, v)) return fail(at, "bad value data");
        // The other form keeps text in UTF-16LE; the registry here holds UTF-8.
        if (wide && !StartsWithNoCase(data, "hex:") && StartsWithNoCase(data, "hex(") &&
            (v.type == kSz || v.type == kExpandSz || v.type == kMultiSz))
            v.data = Utf16LeToUtf8(v.data, 0);
        change.kind = KeyChange::Kind::SetValue;
        change.value = std::move(v);
        result.changes.push_back(std::move(change));
    }
    return result;
}

}  // namespace orvane::registry
