#include "platform/registry/hive.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace orvane::registry {

namespace {

constexpr DWORD kSz = 1, kBinary = 3, kDword = 4;
constexpr DWORD kNotifyName = 0x1, kNotifyAttributes = 0x2, kNotifyLastSet = 0x4,
                kNotifySecurity = 0x8;

const char kHex[] = "0123456789abcdef";

void AppendHexByte(std::string& out, unsigned char c) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

// Quoted text: backslash and quote escaped, control bytes as \xHH, other bytes as they are.
std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            AppendHexByte(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// A key name inside a section header: control bytes and '%' as %HH.
std::string EscapeKeyName(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7f || c == '%') {
            out += '%';
            AppendHexByte(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string HexList(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ',';
        AppendHexByte(out, static_cast<unsigned char>(bytes[i]));
    }
    return out;
}

bool PlainString(const Value& v) {
    if (v.type != kSz || v.data.empty() || v.data.back() != '\0') return false;
    return v.data.find('\0') == v.data.size() - 1;
}

std::string ValueLine(const Value& v) {
    std::string line = v.name.empty() ? "@" : Quote(v.name);
    line += '=';
    if (PlainString(v)) {
        line += Quote(v.data.substr(0, v.data.size() - 1));
    } else if (v.type == kDword && v.data.size() == 4) {
        unsigned value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(v.data[i]);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", value);
        line += buf;
    } else if (v.type == kBinary) {
        line += "hex:" + HexList(v.data);
    } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
        line += buf + HexList(v.data);
    }
    return line;
}

void WriteKeyHeader(const Node& node, const std::string& path, std::string& out) {
    out += "\n[" + path + "]\n";
    if (!node.className.empty()) out += ";!class=" + Quote(node.className) + "\n";
    char buf[32];
    std::snprintf(buf, sizeof buf, ";!time=%016llx\n",
                  static_cast<unsigned long long>(node.lastWrite));
    out += buf;
    if (!node.security.empty()) out += ";!security=hex:" + HexList(node.security) + "\n";
    for (const auto& v : node.values)
        out += ValueLine(v) + "\n";
}

// Every key in order (a key, then its subkeys sorted by folded name), with an explicit stack so
// that the depth of the tree never reaches the call stack.
void WriteKeys(const Node& top, const std::string& topPath, std::string& out) {
    struct Frame {
        const Node* node;
        std::map<std::string, std::unique_ptr<Node>>::const_iterator next;
        std::size_t pathLength;
    };
    std::string path = topPath;
    WriteKeyHeader(top, path, out);
    std::vector<Frame> stack{{&top, top.children.begin(), path.size()}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.node->children.end()) {
            stack.pop_back();
            continue;
        }
        const Node& child = *(frame.next++)->second;
        path.resize(frame.pathLength);
        path += '\\';
        path += EscapeKeyName(child.name);
        WriteKeyHeader(child, path, out);
        stack.push_back({&child, child.children.begin(), path.size()});
    }
}

void SnapshotKey(const Node& node, DWORD filter, std::string& out) {
    out += '[' + node.name + ']';
    if (filter & kNotifyAttributes) out += Quote(node.className);
    if (filter & kNotifySecurity) out += HexList(node.security);
    if (filter & kNotifyLastSet)
        for (const auto& v : node.values)
            out += ValueLine(v) + ';';
    if (filter & kNotifyName)
        for (const auto& [folded, child] : node.children)
            out += Quote(child->name);
}

void SnapshotInto(const Node& top, DWORD filter, bool subtree, std::string& out) {
    SnapshotKey(top, filter, out);
    if (!subtree) return;
    using Iterator = std::map<std::string, std::unique_ptr<Node>>::const_iterator;
    std::vector<std::pair<Iterator, Iterator>> stack{{top.children.begin(), top.children.end()}};
    while (!stack.empty()) {
        auto& [next, end] = stack.back();
        if (next == end) {
            stack.pop_back();
            if (!stack.empty()) out += '}';
            continue;
        }
        const Node& child = *(next++)->second;
        out += '{';
        SnapshotKey(child, filter, out);
        stack.push_back({child.children.begin(), child.children.end()});
    }
}

}  // namespace

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text starting at line[pos] (the opening quote); pos ends after the closing one.
bool Unquote(const std::string& line, size_t& pos, std::string& out) {
    if (pos >= line.size() || line[pos] != '"') return false;
    ++pos;
    out.clear();
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"') return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= line.size()) return false;
        char e = line[pos++];
        if (e == '\\' || e == '"') {
            out += e;
        } else if (e == 'x' && pos + 2 <= line.size()) {
            int hi = HexDigit(line[pos]), lo = HexDigit(line[pos + 1]);
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi << 4 | lo);
            pos += 2;
        } else {
            return false;
        }
    }
    return false;
}

bool ParseHexList(const std::string& text, std::string& out) {
    out.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        if (pos + 2 > text.size()) return false;
        int hi = HexDigit(text[pos]), lo = HexDigit(text[pos + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi << 4 | lo);
        pos += 2;
        if (pos == text.size()) break;
        if (text[pos] != ',') return false;
        ++pos;
        if (pos == text.size()) return false;
    }
    return true;
}

bool UnescapeKeyName(const std::string& s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        // "%HH" is an escaped byte; any other '%' stands for itself, as in names other
        // programs write.
        int hi = i + 2 < s.size() ? HexDigit(s[i + 1]) : -1;
        int lo = i + 2 < s.size() ? HexDigit(s[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
            out += '%';
            continue;
        }
        out += static_cast<char>(hi << 4 | lo);
        i += 2;
    }
    return !out.empty();
}

bool ParseValueData(const std::string& text, Value& v) {
    if (!text.empty() && text[0] == '"') {
        size_t pos = 0;
        std::string s;
        if (!Unquote(text, pos, s) || pos != text.size()) return false;
        v.type = kSz;
        v.data = s + '\0';
        return true;
    }
    if (text.rfind("dword:", 0) == 0) {
        std::string digits = text.substr(6);
        if (digits.size() != 8) return false;
        unsigned value = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0) return false;
            value = value << 4 | static_cast<unsigned>(d);
        }
        v.type = kDword;
        v.data.assign(4, '\0');
        for (int i = 0; i < 4; ++i)
            v.data[i] = static_cast<char>(value >> (8 * i));
        return true;
    }
    if (text.rfind("hex:", 0) == 0) {
        v.type = kBinary;
        return ParseHexList(text.substr(4), v.data);
    }
    if (text.rfind("hex(", 0) == 0) {
        size_t close = text.find("):");
        if (close == std::string::npos || close == 4 || close > 12) return false;
        unsigned long long type = 0;
        for (size_t i = 4; i < close; ++i) {
            int d = HexDigit(text[i]);
            if (d < 0) return false;
            type = type << 4 | static_cast<unsigned>(d);
        }
        if (type > 0xffffffffULL) return false;
        v.type = static_cast<DWORD>(type);
        return ParseHexList(text.substr(close + 2), v.data);
    }
    return false;
}

std::string Fold(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

Node* Node::Child(const std::string& childName) const {
    auto it = children.find(Fold(childName));
    return it == children.end() ? nullptr : it->second.get();
}

Node* Node::AddChild(const std::string& childName) {
    auto& slot = children[Fold(childName)];
    if (!slot) {
        slot = std::make_unique<Node>();
        slot->name = childName;
    }
    return slot.get();
}

Value* Node::FindValue(const std::string& valueName) {
    std::string folded = Fold(valueName);
    for (auto& v : values)
        if (Fold(v.name) == folded) return &v;
    return nullptr;
}

Node::~Node() {
    std::vector<std::unique_ptr<Node>> pending;
    for (auto& [folded, child] : children)
        pending.push_back(std::move(child));
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<Node> node = std::move(pending.back());
        pending.pop_back();
        for (auto& [folded, child] : node->children)
            pending.push_back(std::move(child));
        node->children.clear();
    }
}

std::unique_ptr<Node> Node::Clone() const {
    auto CopyKey = [](const Node& from) {
        auto copy = std::make_unique<Node>();
        copy->name = from.name;
        copy->className = from.className;
        copy->lastWrite = from.lastWrite;
        copy->security = from.security;
        copy->values = from.values;
        return copy;
    };
    auto top = CopyKey(*this);
    std::vector<std::pair<const Node*, Node*>> pending{{this, top.get()}};
    while (!pending.empty()) {
        auto [from, to] = pending.back();
        pending.pop_back();
        for (const auto& [folded, child] : from->children) {
            auto& slot = to->children[folded];
            slot = CopyKey(*child);
            pending.push_back({child.get(), slot.get()});
        }
    }
    return top;
}

std::size_t Node::Depth() const {
    std::size_t deepest = 0;
    std::vector<std::pair<const Node*, std::size_t>> pending{{this, 0}};
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        deepest = std::max(deepest, depth);
        for (const auto& [folded, child] : node->children)
            pending.push_back({child.get(), depth + 1});
    }
    return deepest;
}

std::string Serialize(const Node& root, const std::string& label) {
    std::string out = "REGEDIT4\n";
    WriteKeys(root, EscapeKeyName(label), out);
    return out;
}

std::string Snapshot(const Node& node, DWORD filter, bool subtree) {
    std::string out;
    SnapshotInto(node, filter, subtree, out);
    return out;
}

ParseResult Parse(const std::string& text) {
    ParseResult result;
    auto fail = [&](int line, const std::string& why) {
        result.root.reset();
        result.errorLine = line;
        result.error = why;
        return std::move(result);
    };
    auto root = std::make_unique<Node>();
    Node* current = nullptr;
    size_t pos = 0;
    int lineNo = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) return fail(lineNo + 1, "the file ends inside a line");
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (lineNo == 1) {
            if (line != "REGEDIT4") return fail(1, "not a registry file");
            continue;
        }
        if (line.empty()) continue;
        if (line[0] == '[') {
            if (line.back() != ']') return fail(lineNo, "unterminated key name");
            std::string inner = line.substr(1, line.size() - 2);
            size_t sep = inner.find('\\');
            if (sep == 0 || inner.empty()) return fail(lineNo, "empty key name");
            current = root.get();
            std::size_t depth = 0;
            while (sep != std::string::npos) {
                if (++depth > kMaxKeyDepth) return fail(lineNo, "the key lies too deep");
                size_t next = inner.find('\\', sep + 1);
                std::string part = inner.substr(
                    sep + 1, next == std::string::npos ? std::string::npos : next - sep - 1);
                std::string name;
                if (!UnescapeKeyName(part, name) || name.size() > 255 ||
                    name.find('\\') != std::string::npos)
                    return fail(lineNo, "bad key name");
                current = current->AddChild(name);
                sep = next;
            }
            continue;
        }
        if (line.rfind(";!", 0) == 0) {
            if (!current) return fail(lineNo, "key data before the first key");
            if (line.rfind(";!class=", 0) == 0) {
                size_t p = 8;
                if (!Unquote(line, p, current->className) || p != line.size())
                    return fail(lineNo, "bad class name");
            } else if (line.rfind(";!time=", 0) == 0) {
                std::string digits = line.substr(7);
                if (digits.empty() || digits.size() > 16) return fail(lineNo, "bad time");
                std::uint64_t t = 0;
                for (char c : digits) {
                    int d = HexDigit(c);
                    if (d < 0) return fail(lineNo, "bad time");
                    t = t << 4 | static_cast<unsigned>(d);
                }
                current->lastWrite = t;
            } else if (line.rfind(";!security=hex:", 0) == 0) {
                if (!ParseHexList(line.substr(15), current->security))
                    return fail(lineNo, "bad security descriptor");
            } else {
                return fail(lineNo, "unknown key data");
            }
            continue;
        }
        if (line[0] == ';') continue;
        if (!current) return fail(lineNo, "value before the first key");
        Value v;
        size_t p = 0;
        if (line[0] == '@') {
            p = 1;
        } else if (!Unquote(line, p, v.name)) {
            return fail(lineNo, "bad value name");
        }
        if (p >= line.size() || line[p] != '=') return fail(lineNo, "'=' expected");
        if (!ParseValueData(line.substr(p + 1), v)) return fail(lineNo, "bad value data");
        if (Value* existing = current->FindValue(v.name)) {
            *existing = std::move(v);
        } else {
            current->values.push_back(std::move(v));
        }
    }
    if (lineNo == 0) return fail(1, "empty file");
    result.root = std::move(root);
    return result;
}

}  // namespace orvane::registry
