#pragma once
// The tree of one registry hive and its text form: a REGEDIT4-like file with one section per key,
// key metadata on ";!" lines right below the section, and values in exact byte form.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/wintypes.h"

namespace orvane::registry {

// Key and value names compare without regard to ASCII case and keep the spelling they were
// created with.
std::string Fold(const std::string& name);

struct Value {
    std::string name;
    DWORD type = 0;
    std::string data;  // the exact bytes
};

// The deepest a key may sit below the top key of its hive; a hive file with deeper keys is not
// one the registry can have written.
constexpr std::size_t kMaxKeyDepth = 512;

struct Node {
    Node() = default;
    ~Node();  // takes the tree apart without recursion, so any depth is safe
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    std::string name;
    std::string className;
    std::uint64_t lastWrite = 0;  // FILETIME ticks (100 ns since 1601)
    std::string security;         // opaque self-relative descriptor; empty = the default one
    std::vector<Value> values;    // in the order they were first set
    std::map<std::string, std::unique_ptr<Node>> children;  // by folded name: sorted enumeration

    Node* Child(const std::string& name) const;
    Node* AddChild(const std::string& name);
    Value* FindValue(const std::string& name);
    std::unique_ptr<Node> Clone() const;
    // How many levels of keys lie below this one (0 for a key without subkeys).
    std::size_t Depth() const;
};

// Text of a hive whose top key is labelled `label` (a root name or the name of a saved key).
std::string Serialize(const Node& root, const std::string& label);
// The text of one key and everything below it, as change notification compares it; `filter`
// holds the REG_NOTIFY_CHANGE_* bits that matter, `subtree` whether keys below count.
std::string Snapshot(const Node& node, DWORD filter, bool subtree);

// Reads a hive file's text. Keys deeper than kMaxKeyDepth, a key name holding a backslash (the
// separator of key paths) and every other malformed line make the text unreadable.
struct ParseResult {
    std::unique_ptr<Node> root;  // null when the text is not a hive
    int errorLine = 0;
    std::string error;
};
ParseResult Parse(const std::string& text);

// Pieces of the text form, shared with the reader of .reg files.
int HexDigit(char c);
// A quoted text at line[pos] (the opening quote), with \\, \" and \xHH escapes; pos ends after
// the closing quote.
bool Unquote(const std::string& line, size_t& pos, std::string& out);
// Comma-separated hex bytes ("00,ff").
bool ParseHexList(const std::string& text, std::string& out);
// A key name of a section line ("%HH" escapes); false for an empty name.
bool UnescapeKeyName(const std::string& s, std::string& out);
// The data after '=': "text", dword:HHHHHHHH, hex:..., hex(T):...
bool ParseValueData(const std::string& text, Value& v);

}  // namespace orvane::registry
