#pragma once
// Text as the files of Windows programs hold it: UTF-16 little-endian behind a byte-order mark.

#include <string>

namespace orvane::test {

inline std::string Utf16LeWithBom(const std::u16string& text) {
    std::string out = "\xff\xfe";
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xff);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

}  // namespace orvane::test
