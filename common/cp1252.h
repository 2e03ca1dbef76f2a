#pragma once
// Windows-1252 at the boundary of files and protocols that carry single-byte text.
// In memory text is UTF-8; stored bytes are Windows-1252 so files stay byte-compatible with
// the ones the Windows programs wrote.

#include <string>
#include <string_view>

namespace orvane::cp1252 {

// Converts Windows-1252 bytes to UTF-8. The five bytes the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same value, as the Windows
// conversion does, so every byte string survives a round trip.
std::string ToUtf8(std::string_view bytes);

// Converts UTF-8 text to Windows-1252 bytes. A character the code page cannot hold becomes '?',
// and so does each byte of a malformed UTF-8 sequence.
std::string FromUtf8(std::string_view text);

// The Windows-1252 byte of one Unicode code point; false when the code page has none.
bool FromCodePoint(char32_t codePoint, char& byte);

// Converts UTF-16 little-endian bytes (an even count) to Windows-1252 bytes; characters the
// code page cannot hold and unpaired surrogates become '?'.
std::string FromUtf16Le(std::string_view bytes);

}  // namespace orvane::cp1252
