#pragma once
// Many changes to the registry made as one: what an import of a .reg file does.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/hive.h"
#include "platform/registry/winreg.h"

namespace orvane::registry {

struct KeyChange {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = Kind::CreateKey;
    HKEY root = nullptr;            // a predefined root key
    std::vector<std::string> path;  // key names below the root
    Value value;                    // SetValue: the value; DeleteValue: its name
    // CreateKey: the key's data as a file gave it; a key keeps the time given here even when
    // values are set in it by the same changes.
    std::optional<std::string> className;
    std::optional<std::uint64_t> lastWrite;
    std::optional<std::string> security;
};

// Makes the changes in their order: a created key gets the keys above it; deleting a key takes
// everything below it; deleting what does not exist does nothing. Every hive the changes touch
// is written once. On a failure (a read-only hive, a key too deep, a top key to delete) the
// hive it concerns is left as it was and the Win32 result is returned.
LONG ApplyChanges(const std::vector<KeyChange>& changes);

}  // namespace orvane::registry
