// Registry hive files, read at every start of both programs and by restore and load. A hive
// that parses must write out as text that parses to the same tree (the programs replace the
// file with that text on the next change), and copying a tree must not change it.

#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/registry/hive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    namespace reg = orvane::registry;
    const reg::ParseResult parsed =
        reg::Parse(std::string(reinterpret_cast<const char*>(data), size));
    if (!parsed.root) {
        Check(parsed.errorLine >= 1 && !parsed.error.empty(), "a refusal names a line and why");
        return 0;
    }
    const std::string text = reg::Serialize(*parsed.root, "HKEY_CURRENT_USER");
    const reg::ParseResult again = reg::Parse(text);
    Check(again.root != nullptr, "a written hive reads again");
    Check(reg::Serialize(*again.root, "HKEY_CURRENT_USER") == text,
          "a written hive reads as the same tree");
    Check(reg::Serialize(*parsed.root->Clone(), "HKEY_CURRENT_USER") == text,
          "a copied tree is the same tree");
    Check(reg::Snapshot(*parsed.root, 0xF, true) == reg::Snapshot(*again.root, 0xF, true),
          "change notification sees no change after a round trip");
    return 0;
}
