#pragma once
// The identifiers the disc databases give a disc, computed from its layout: the CDDB id, the
// MusicBrainz disc id and the AccurateRip fingerprint. Each takes the disc as its database does:
// the CDDB id counts every track against the disc's real lead-out; the MusicBrainz id covers the
// first session (a data track before the audio included, a data session after it left out, the
// lead-out being the first session's end); the AccurateRip sums count the audio tracks only,
// against the real lead-out.

#include <array>
#include <cstdint>
#include <string>

#include "platform/cdrom/disc_info.h"

namespace orvane::freedb {

std::uint32_t CddbId(const cdrom::DiscInfo& disc);
// 28 characters of Base64 over the SHA-1 of the audio layout, with '.', '_' and '-' in place
// of '+', '/' and '='.
std::string MusicBrainzId(const cdrom::DiscInfo& disc);
// "nnn-xxxxxxxx-xxxxxxxx-xxxxxxxx": audio track count, id1, id2 and the CDDB id.
std::string AccurateRipId(const cdrom::DiscInfo& disc);

// SHA-1 of bytes (FIPS 180-4).
std::array<std::uint8_t, 20> Sha1(const std::string& bytes);

}  // namespace orvane::freedb
