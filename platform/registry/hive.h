#pragma once
// The tree of one registry hive and its text form: a REGEDIT4-like file with one section per key,
// key metadata on ";!" lines right below the section, and values in exact byte form.

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

struct Node {
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
};

// Text of a hive whose top key is labelled `label` (a root name or the name of a saved key).
std::string Serialize(const Node& root, const std::string& label);
// The text of one key and everything below it, as change notification compares it; `filter`
// holds the REG_NOTIFY_CHANGE_* bits that matter, `subtree` whether keys below count.
std::string Snapshot(const Node& node, DWORD filter, bool subtree);

struct ParseResult {
    std::unique_ptr<Node> root;  // null when the text is not a hive
    int errorLine = 0;
    std::string error;
};
ParseResult Parse(const std::string& text);

}  // namespace orvane::registry
