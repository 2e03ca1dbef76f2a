#include "tools/orvane-reg/regtool.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/fs/fs.h"
#include "platform/registry/hive.h"
#include "platform/registry/reg_import.h"
#include "platform/registry/winreg.h"

namespace orvane::regtool {

namespace {

struct KeyName {
    std::string machine;
    HKEY root = nullptr;
    std::string rootName;  // full name, as the tool prints keys
    std::string path;
};

class Failure {
public:
    explicit Failure(std::string why) : text(std::move(why)) {}
    std::string text;
};

[[noreturn]] void Fail(const std::string& text) { throw Failure(text); }
[[noreturn]] void Fail(LONG code) { throw Failure(ErrorText(code)); }

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

KeyName ParseKey(const std::string& text) {
    KeyName key;
    std::string rest = text;
    if (rest.rfind("\\\\", 0) == 0) {
        size_t sep = rest.find('\\', 2);
        if (sep == std::string::npos) Fail("Invalid key name.");
        key.machine = rest.substr(2, sep - 2);
        rest = rest.substr(sep + 1);
    }
    size_t sep = rest.find('\\');
    key.path = sep == std::string::npos ? "" : rest.substr(sep + 1);
    while (!key.path.empty() && key.path.back() == '\\')
        key.path.pop_back();
    key.root = registry::RootByName(rest.substr(0, sep), &key.rootName);
    if (!key.root) Fail("Invalid key name.");
    return key;
}

std::string FullName(const KeyName& key) {
    return key.path.empty() ? key.rootName : key.rootName + "\\" + key.path;
}

// An open key; closed when it goes.
class Key {
public:
    Key() = default;
    explicit Key(HKEY h) : h_(h) {}
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* Out() { return &h_; }
    HKEY Get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

HKEY ConnectRoot(const KeyName& key) {
    if (key.machine.empty()) return key.root;
    HKEY root = nullptr;
    LONG r = RegConnectRegistryA(key.machine.c_str(), key.root, &root);
    if (r) Fail(r);
    return root;
}

void OpenKey(const KeyName& key, REGSAM access, Key& out) {
    LONG r = RegOpenKeyExA(ConnectRoot(key), key.path.c_str(), 0, access, out.Out());
    if (r) Fail(r);
}

struct Options {
    std::vector<std::string> positional;
    std::optional<std::string> valueName;  // /v NAME, or "" for /ve
    bool allValues = false;                // /va
    bool recurse = false;                  // /s (query)
    bool force = false;                    // /f, /y
    std::string type = "REG_SZ";
    std::optional<std::string> data;
    std::string separator = "\\0";
};

Options ParseOptions(const std::string& command, const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string a = args[i];
        std::string flag = Upper(a);
        auto next = [&]() -> std::string {
            if (i + 1 >= args.size()) Fail("Option " + a + " needs a value.");
            return args[++i];
        };
        if (flag == "/V") {
            o.valueName = next();
        } else if (flag == "/VE") {
            o.valueName = "";
        } else if (flag == "/VA" && command == "DELETE") {
            o.allValues = true;
        } else if (flag == "/S" && command == "QUERY") {
            o.recurse = true;
        } else if (flag == "/S" && command == "ADD") {
            o.separator = next();
        } else if (flag == "/F" || flag == "/Y") {
            o.force = true;
        } else if (flag == "/T") {
            o.type = Upper(next());
        } else if (flag == "/D") {
            o.data = next();
        } else if (a.size() <= 3 && a[0] == '/') {
            Fail("Invalid option: " + a);
        } else {
            o.positional.push_back(a);
        }
    }
    return o;
}

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_NONE:
            return "REG_NONE";
        case REG_SZ:
            return "REG_SZ";
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ";
        case REG_BINARY:
            return "REG_BINARY";
        case REG_DWORD:
            return "REG_DWORD";
        case REG_DWORD_BIG_ENDIAN:
            return "REG_DWORD_BIG_ENDIAN";
        case REG_LINK:
            return "REG_LINK";
        case REG_MULTI_SZ:
            return "REG_MULTI_SZ";
        default:
            return nullptr;
    }
}

std::string HexBytes(const std::string& data) {
    std::string out;
    char buf[4];
    for (unsigned char c : data) {
        std::snprintf(buf, sizeof buf, "%02X", c);
        out += buf;
    }
    return out;
}

std::string ShowData(DWORD type, const std::string& data) {
    if ((type == REG_SZ || type == REG_EXPAND_SZ)) return data.substr(0, data.find('\0'));
    if (type == REG_DWORD && data.size() == 4) {
        DWORD v;
        std::memcpy(&v, data.data(), 4);
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", v);
        return buf;
    }
    if (type == REG_MULTI_SZ) {
        std::string out;
        std::string rest = data;
        if (rest.size() >= 2 && rest.compare(rest.size() - 2, 2, std::string(2, '\0')) == 0)
            rest.resize(rest.size() - 2);
        else if (!rest.empty() && rest.back() == '\0')
            rest.pop_back();
        for (char c : rest)
            out += c == '\0' ? std::string("\\0") : std::string(1, c);
        return out;
    }
    return HexBytes(data);
}

void PrintValue(std::ostream& out, const std::string& name, DWORD type, const std::string& data) {
    const char* typeName = TypeName(type);
    char other[24];
    if (!typeName) {
        std::snprintf(other, sizeof other, "REG_0x%x", static_cast<unsigned>(type));
        typeName = other;
    }
    out << "    " << (name.empty() ? "(Default)" : name) << "    " << typeName << "    "
        << ShowData(type, data) << "\n";
}

bool ReadValueAt(HKEY key, DWORD index, std::string& name, DWORD& type, std::string& data) {
    char nameBuf[16384];
    DWORD nameSize = sizeof nameBuf;
    DWORD size = 0;
    LONG r = RegEnumValueA(key, index, nameBuf, &nameSize, nullptr, &type, nullptr, &size);
    if (r == ERROR_NO_MORE_ITEMS) return false;
    if (r) Fail(r);
    name.assign(nameBuf, nameSize);
    data.assign(size, '\0');
    nameSize = sizeof nameBuf;
    r = RegEnumValueA(key, index, nameBuf, &nameSize, nullptr, &type,
                      reinterpret_cast<LPBYTE>(data.data()), &size);
    if (r) Fail(r);
    data.resize(size);
    return true;
}

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    char buf[512];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof buf;
        LONG r = RegEnumKeyExA(key, i, buf, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r) Fail(r);
        names.emplace_back(buf, size);
    }
    return names;
}

void QueryTree(HKEY key, const std::string& name, bool recurse, std::ostream& out) {
    out << "\n" << name << "\n";
    std::string valueName, data;
    DWORD type;
    for (DWORD i = 0; ReadValueAt(key, i, valueName, type, data); ++i)
        PrintValue(out, valueName, type, data);
    for (const auto& sub : SubkeyNames(key)) {
        if (!recurse) {
            out << name << "\\" << sub << "\n";
            continue;
        }
        Key child;
        LONG r = RegOpenKeyExA(key, sub.c_str(), 0, KEY_READ, child.Out());
        if (r) Fail(r);
        QueryTree(child.Get(), name + "\\" + sub, true, out);
    }
}

int Query(const Options& o, std::ostream& out) {
    if (o.positional.size() != 1) Fail("Usage: orvane-reg query KEY [/v NAME | /ve] [/s]");
    KeyName name = ParseKey(o.positional[0]);
    Key key;
    OpenKey(name, KEY_READ, key);
    if (o.valueName) {
        DWORD type = 0, size = 0;
        LONG r = RegQueryValueExA(key.Get(), o.valueName->c_str(), nullptr, &type, nullptr, &size);
        std::string data(size, '\0');
        if (!r)
            r = RegQueryValueExA(key.Get(), o.valueName->c_str(), nullptr, &type,
                                 reinterpret_cast<LPBYTE>(data.data()), &size);
        if (r) Fail(r);
        data.resize(size);
        out << "\n" << FullName(name) << "\n";
        PrintValue(out, *o.valueName, type, data);
        return 0;
    }
    QueryTree(key.Get(), FullName(name), o.recurse, out);
    return 0;
}

DWORD ParseType(const std::string& name) {
    static const std::pair<const char*, DWORD> kTypes[] = {
        {"REG_SZ", REG_SZ},       {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_MULTI_SZ", REG_MULTI_SZ},
        {"REG_DWORD", REG_DWORD}, {"REG_BINARY", REG_BINARY},       {"REG_NONE", REG_NONE}};
    for (const auto& [text, type] : kTypes)
        if (name == text) return type;
    Fail("Invalid type: " + name);
}

std::string EncodeData(DWORD type, const std::string& text, const std::string& separator) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return text + '\0';
        case REG_MULTI_SZ: {
            std::string out;
            if (!text.empty()) {
                size_t start = 0;
                for (;;) {
                    size_t sep =
                        separator.empty() ? std::string::npos : text.find(separator, start);
                    out += text.substr(start, sep == std::string::npos ? sep : sep - start);
                    out += '\0';
                    if (sep == std::string::npos) break;
                    start = sep + separator.size();
                }
            }
            return out + '\0';
        }
        case REG_DWORD: {
            errno = 0;
            char* end = nullptr;
            unsigned long long v = std::strtoull(text.c_str(), &end, 0);
            if (text.empty() || *end || errno || v > 0xffffffffULL || text[0] == '-')
                Fail("Invalid DWORD data: " + text);
            DWORD d = static_cast<DWORD>(v);
            return std::string(reinterpret_cast<const char*>(&d), 4);
        }
        default: {
            if (text.size() % 2) Fail("Invalid binary data: " + text);
            std::string out;
            for (size_t i = 0; i < text.size(); i += 2) {
                char pair[3] = {text[i], text[i + 1], 0};
                char* end = nullptr;
                long v = std::strtol(pair, &end, 16);
                if (*end || !std::isxdigit(static_cast<unsigned char>(pair[0])))
                    Fail("Invalid binary data: " + text);
                out += static_cast<char>(v);
            }
            return out;
        }
    }
}

HKEY CreateKey(const KeyName& name, Key& key, const char* className = nullptr) {
    std::string cls = className ? className : "";
    LONG r = RegCreateKeyExA(ConnectRoot(name), name.path.c_str(), 0, cls.data(),
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.Out(), nullptr);
    if (r) Fail(r);
    return key.Get();
}

int Add(const Options& o, std::ostream& out) {
    if (o.positional.size() != 1)
        Fail("Usage: orvane-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]");
    KeyName name = ParseKey(o.positional[0]);
    Key key;
    CreateKey(name, key);
    if (o.valueName || o.data) {
        std::string valueName = o.valueName.value_or("");
        DWORD type = ParseType(o.type);
        std::string bytes = EncodeData(type, o.data.value_or(""), o.separator);
        if (!o.force && RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, nullptr, nullptr,
                                         nullptr) == ERROR_SUCCESS)
            Fail("The value " + (valueName.empty() ? std::string("(Default)") : valueName) +
                 " exists already; add /f to overwrite it.");
        LONG r = RegSetValueExA(key.Get(), valueName.c_str(), 0, type,
                                reinterpret_cast<const BYTE*>(bytes.data()),
                                static_cast<DWORD>(bytes.size()));
        if (r) Fail(r);
    }
    out << "The operation completed successfully.\n";
    return 0;
}

LONG DeleteTree(HKEY parent, const std::string& sub) {
    Key key;
    LONG r = RegOpenKeyExA(parent, sub.c_str(), 0, KEY_ALL_ACCESS, key.Out());
    if (r) return r;
    for (const auto& child : SubkeyNames(key.Get())) {
        r = DeleteTree(key.Get(), child);
        if (r) return r;
    }
    return RegDeleteKeyA(parent, sub.c_str());
}

int Delete(const Options& o, std::ostream& out) {
    if (o.positional.size() != 1) Fail("Usage: orvane-reg delete KEY [/v NAME | /ve | /va] /f");
    if (!o.force) Fail("Nothing was deleted; add /f to delete without a question.");
    KeyName name = ParseKey(o.positional[0]);
    if (o.valueName || o.allValues) {
        Key key;
        OpenKey(name, KEY_ALL_ACCESS, key);
        if (o.valueName) {
            LONG r = RegDeleteValueA(key.Get(), o.valueName->c_str());
            if (r) Fail(r);
        } else {
            std::string valueName, data;
            DWORD type;
            while (ReadValueAt(key.Get(), 0, valueName, type, data)) {
                LONG r = RegDeleteValueA(key.Get(), valueName.c_str());
                if (r) Fail(r);
            }
        }
    } else {
        if (name.path.empty()) Fail("A root key cannot be deleted.");
        size_t sep = name.path.rfind('\\');
        KeyName parent = name;
        parent.path = sep == std::string::npos ? "" : name.path.substr(0, sep);
        Key key;
        OpenKey(parent, KEY_ALL_ACCESS, key);
        LONG r = DeleteTree(key.Get(), name.path.substr(sep == std::string::npos ? 0 : sep + 1));
        if (r) Fail(r);
    }
    out << "The operation completed successfully.\n";
    return 0;
}

// Builds the tree of a key through the registry calls, as export writes it.
void ReadTree(HKEY key, registry::Node& node) {
    char cls[2048];
    DWORD clsSize = sizeof cls;
    FILETIME written{};
    if (LONG r = RegQueryInfoKeyA(key, cls, &clsSize, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, &written))
        Fail(r);
    node.className.assign(cls, clsSize);
    node.lastWrite =
        static_cast<std::uint64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime;
    std::string valueName, data;
    DWORD type;
    for (DWORD i = 0; ReadValueAt(key, i, valueName, type, data); ++i)
        node.values.push_back({valueName, type, data});
    for (const auto& sub : SubkeyNames(key)) {
        Key child;
        LONG r = RegOpenKeyExA(key, sub.c_str(), 0, KEY_READ, child.Out());
        if (r) Fail(r);
        ReadTree(child.Get(), *node.AddChild(sub));
    }
}

void WriteNewFile(const std::string& file, const std::string& text, bool force) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec) && !force)
        Fail("The file " + file + " exists; add /y to replace it.");
    if (!orvane::fs::WriteFileAtomically(file, text)) Fail("Cannot write " + file + ".");
}

int Export(const Options& o, std::ostream& out) {
    if (o.positional.size() != 2) Fail("Usage: orvane-reg export KEY FILE [/y]");
    KeyName name = ParseKey(o.positional[0]);
    Key key;
    OpenKey(name, KEY_READ, key);
    registry::Node root;
    ReadTree(key.Get(), root);
    WriteNewFile(o.positional[1], registry::Serialize(root, FullName(name)), o.force);
    out << "The operation completed successfully.\n";
    return 0;
}

// The largest .reg file the tool reads: far more than any set of settings.
constexpr std::size_t kMaxImportBytes = 256u << 20;

int Import(const Options& o, std::ostream& out) {
    if (o.positional.size() != 1) Fail("Usage: orvane-reg import FILE");
    const std::string& file = o.positional[0];
    std::string bytes;
    const orvane::fs::Status read = orvane::fs::ReadFile(file, kMaxImportBytes, bytes);
    if (read.kind == orvane::fs::Status::Kind::Missing) Fail("Cannot open " + file + ".");
    if (!read) Fail(read.message + ".");
    registry::RegImport parsed = registry::ReadRegFile(bytes);
    if (parsed.errorLine)
        Fail(file + " line " + std::to_string(parsed.errorLine) + ": " + parsed.error);
    if (LONG r = registry::ApplyChanges(parsed.changes)) Fail(r);
    out << "The operation completed successfully.\n";
    return 0;
}

int Save(const Options& o, std::ostream& out) {
    if (o.positional.size() != 2) Fail("Usage: orvane-reg save KEY FILE [/y]");
    KeyName name = ParseKey(o.positional[0]);
    Key key;
    OpenKey(name, KEY_READ, key);
    std::error_code ec;
    if (o.force) std::filesystem::remove(o.positional[1], ec);
    LONG r = RegSaveKeyA(key.Get(), o.positional[1].c_str(), nullptr);
    if (r == ERROR_ALREADY_EXISTS)
        Fail("The file " + o.positional[1] + " exists; add /y to replace it.");
    if (r) Fail(r);
    out << "The operation completed successfully.\n";
    return 0;
}

int Restore(const Options& o, std::ostream& out) {
    if (o.positional.size() != 2) Fail("Usage: orvane-reg restore KEY FILE");
    KeyName name = ParseKey(o.positional[0]);
    Key key;
    OpenKey(name, KEY_ALL_ACCESS, key);
    LONG r = RegRestoreKeyA(key.Get(), o.positional[1].c_str(), 0);
    if (r) Fail(r);
    out << "The operation completed successfully.\n";
    return 0;
}

}  // namespace

std::string ErrorText(LONG code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return "The system was unable to find the specified registry key or value.";
        case ERROR_PATH_NOT_FOUND:
            return "The system cannot find the path specified.";
        case ERROR_ACCESS_DENIED:
            return "Access is denied.";
        case ERROR_INVALID_HANDLE:
            return "The handle is invalid.";
        case ERROR_BAD_NETPATH:
            return "The network path was not found.";
        case ERROR_INVALID_PARAMETER:
            return "The parameter is incorrect.";
        case ERROR_BAD_PATHNAME:
            return "The specified path is invalid.";
        case ERROR_ALREADY_EXISTS:
            return "Cannot create a file when that file already exists.";
        case ERROR_MORE_DATA:
            return "More data is available.";
        case ERROR_NO_MORE_ITEMS:
            return "No more data is available.";
        case ERROR_BADDB:
            return "The configuration registry database is corrupt.";
        case ERROR_CANTWRITE:
            return "The configuration registry key could not be written.";
        case ERROR_KEY_DELETED:
            return "Illegal operation attempted on a registry key that has been marked for "
                   "deletion.";
        default:
            return "Error " + std::to_string(code) + ".";
    }
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "Usage: orvane-reg query|add|delete|export|import|save|restore ...\n";
        return 1;
    }
    std::string command = Upper(args[0]);
    try {
        Options o = ParseOptions(command, args);
        if (command == "QUERY") return Query(o, out);
        if (command == "ADD") return Add(o, out);
        if (command == "DELETE") return Delete(o, out);
        if (command == "EXPORT") return Export(o, out);
        if (command == "IMPORT") return Import(o, out);
        if (command == "SAVE") return Save(o, out);
        if (command == "RESTORE") return Restore(o, out);
        Fail("Unknown command: " + args[0]);
    } catch (const Failure& f) {
        err << "ERROR: " << f.text << "\n";
        return 1;
    }
}

}  // namespace orvane::regtool
