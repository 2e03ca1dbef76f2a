#pragma once
// Windows-1252 text at the boundary of files and protocols that carry single-byte text
// (ID3 version 1 tags, the song database, CDDB). In memory all text is UTF-8.

#include <string>

namespace orvane::cp1252 {

// Single-byte Windows-1252 text to UTF-8. The five bytes the code page leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 control characters of the same value, so
// every byte string survives a round trip.
std::string ToUtf8(const std::string& bytes);

// UTF-8 to Windows-1252; a character the code page cannot hold, and every byte of a broken
// UTF-8 sequence, becomes '?'.
std::string FromUtf8(const std::string& utf8);

}  // namespace orvane::cp1252
