#pragma once
// CD-Text as a drive gives it in READ TOC/PMA/ATIP format 5: a 4-byte header, then packs of 18
// bytes (type, track, sequence number, block and character position, 12 bytes of text, CRC).
// The texts of one kind (title, performer, songwriter) run on from pack to pack, each ended by a
// zero byte, first the disc's then one per track; a pack of type 8Fh tells the block's size and
// character set. Only block 0 in ISO 8859-1 or ASCII is read; its texts are kept as UTF-8.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/cdrom/disc_info.h"

namespace orvane::cdrom {

constexpr std::size_t kCdTextPackBytes = 18;
// A text longer than this is cut (a block holds at most 253 packs of 12 text bytes anyway).
constexpr std::size_t kMaxCdTextBytes = 255;

// The answer of READ TOC format 5 for the disc's title, performer and songwriter texts and its
// tracks', in block 0 (ISO 8859-1; characters beyond it become '?'). Only the header when the
// disc has no text.
std::vector<std::uint8_t> EncodeCdText(const DiscInfo& disc);

// Reads the texts of such an answer into the disc and its tracks (tracks it does not list are
// left out). Packs whose CRC fails are skipped, and with them the texts they carry a part of.
// Returns false when the answer holds no readable text.
bool DecodeCdText(const std::uint8_t* data, std::size_t length, DiscInfo& disc);

// CRC of a pack (and of the Q sub-channel): CCITT polynomial x^16 + x^12 + x^5 + 1, inverted.
std::uint16_t CdCrc(const std::uint8_t* data, std::size_t length);

}  // namespace orvane::cdrom
