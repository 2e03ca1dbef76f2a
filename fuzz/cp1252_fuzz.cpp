// Windows-1252 conversion, used on every stored name and every text of the song database: any
// byte string must come back unchanged through UTF-8, what comes out as UTF-8 must be well
// formed, and malformed UTF-8 or UTF-16 input must give one byte per character at most.

#include <cstdint>
#include <string>
#include <vector>

#include "common/cp1252.h"
#include "fuzz/fuzz_support.h"
#include "platform/base/utf8.h"

namespace {

// UTF-8 of one code point (surrogates included, as a plain bit layout).
std::string Encode(char32_t cp) {
    std::string out;
    orvane::AppendUtf8(out, cp);
    return out;
}

std::size_t CodePoints(std::string_view utf8) {
    std::size_t n = 0;
    for (char c : utf8)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    namespace cp = orvane::cp1252;
    const std::string_view bytes = orvane::fuzz::Bytes(data, size);

    const std::string utf8 = cp::ToUtf8(bytes);
    Check(orvane::fuzz::WellFormedUtf8(utf8), "ToUtf8 gives well-formed UTF-8");
    Check(cp::FromUtf8(utf8) == bytes, "a byte string survives the round trip through UTF-8");

    // The same bytes read as UTF-8 typed by a user or stored by another program.
    const std::string narrowed = cp::FromUtf8(bytes);
    Check(narrowed.size() <= bytes.size(), "FromUtf8 gives at most one byte per input byte");
    if (orvane::fuzz::WellFormedUtf8(std::string(bytes))) {
        Check(narrowed.size() == CodePoints(bytes), "FromUtf8 gives one byte per character");
    }

    // UTF-16 little-endian units, as a database string may hold them.
    const std::string_view units = bytes.substr(0, size & ~std::size_t{1});
    Check(cp::FromUtf16Le(units).size() <= units.size() / 2, "one byte per UTF-16 unit at most");

    // A code point has a byte exactly when some byte converts to it.
    if (size >= 3) {
        static const std::vector<std::string> table = [] {
            std::vector<std::string> t;
            for (int b = 0; b < 256; ++b)
                t.push_back(cp::ToUtf8(std::string(1, static_cast<char>(b))));
            return t;
        }();
        const char32_t codePoint = data[0] | (data[1] << 8) | (char32_t{data[2]} << 16);
        const std::string encoded = Encode(codePoint);
        int expected = -1;
        for (int b = 0; b < 256 && expected < 0; ++b)
            if (table[b] == encoded) expected = b;
        char byte = 0;
        const bool mapped = cp::FromCodePoint(codePoint, byte);
        Check(mapped == (expected >= 0), "FromCodePoint knows exactly the code page's characters");
        Check(!mapped || static_cast<unsigned char>(byte) == expected,
              "FromCodePoint gives the byte that converts back to the code point");
    }
    return 0;
}
