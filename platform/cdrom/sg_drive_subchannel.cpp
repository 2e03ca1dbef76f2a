// What a real drive tells beyond the table of contents through the Q sub-channel of its sectors
// and the CD-Text of the lead-in.

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/cdrom/cd_text.h"
#include "platform/cdrom/disc_info.h"
#include "platform/cdrom/index_scan.h"
#include "platform/cdrom/sg_drive.h"

namespace orvane::cdrom {

namespace {

// The largest READ TOC answer (its length field is 16 bits); eight blocks of 256 packs fit.
constexpr std::size_t kMaxTocAnswer = 0xFFFF;
// Sub-channel selections of READ CD.
constexpr std::uint8_t kSubRaw = 0x01, kSubFormattedQ = 0x02;

}  // namespace

void SgDrive::ReadCdText(DiscInfo& disc) {
    // The header first, for the length, then the whole answer.
    std::uint8_t cdb[10] = {0x43, 0, 0x05, 0, 0, 0, 0, 0, 4, 0};
    std::uint8_t header[4] = {};
    if (!Execute(cdb, sizeof cdb, header, sizeof header, false).ok) return;
    const std::size_t length =
        std::min<std::size_t>(((header[0] << 8) | header[1]) + 2u, kMaxTocAnswer);
    if (length < 4 + kCdTextPackBytes) return;
    std::vector<std::uint8_t> data(length, 0);
    cdb[7] = static_cast<std::uint8_t>(length >> 8);
    cdb[8] = static_cast<std::uint8_t>(length);
    if (!Execute(cdb, sizeof cdb, data.data(), data.size(), false).ok) return;
    DecodeCdText(data.data(), data.size(), disc);
}

void SgDrive::ScanIndexPoints(DiscInfo& disc) {
    // Formatted Q where the drive gives it, else Q taken out of the raw P-W sub-channel (bit 6
    // of each of its 96 bytes).
    bool raw = false;
    auto readQ = [&](std::uint32_t lba, QPosition& out) {
        std::uint8_t data[96] = {};
        std::uint8_t cdb[12] = {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
        cdb[2] = static_cast<std::uint8_t>(lba >> 24);
        cdb[3] = static_cast<std::uint8_t>(lba >> 16);
        cdb[4] = static_cast<std::uint8_t>(lba >> 8);
        cdb[5] = static_cast<std::uint8_t>(lba);
        cdb[10] = raw ? kSubRaw : kSubFormattedQ;
        DriveResult r = Execute(cdb, sizeof cdb, data, raw ? 96 : 16, false);
        if (!r.ok && !raw && r.senseKey == kSenseIllegalRequest && r.asc == 0x24) {
            raw = true;
            cdb[10] = kSubRaw;
            r = Execute(cdb, sizeof cdb, data, 96, false);
        }
        if (!r.ok) return false;
        std::uint8_t q[12] = {};
        if (raw) {
            for (int i = 0; i < 96; ++i)
                q[i / 8] =
                    static_cast<std::uint8_t>(q[i / 8] | (((data[i] >> 6) & 1) << (7 - i % 8)));
        } else {
            std::memcpy(q, data, sizeof q);
        }
        return ParseQPosition(q, out);
    };
    cdrom::ScanIndexPoints(disc, readQ);
}

}  // namespace orvane::cdrom
