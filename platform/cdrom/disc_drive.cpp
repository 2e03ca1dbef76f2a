#include "platform/cdrom/disc_drive.h"

#include <algorithm>
#include <cstdio>

#include "platform/cdrom/disc_info.h"

namespace orvane::cdrom {

DriveResult DriveResult::Sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                               std::string message) {
    DriveResult r;
    r.ok = false;
    r.senseKey = key;
    r.asc = asc;
    r.ascq = ascq;
    r.message = std::move(message);
    return r;
}

DriveResult DriveResult::Failure(std::string message) {
    DriveResult r;
    r.ok = false;
    r.message = std::move(message);
    return r;
}

std::string DriveResult::Describe() const {
    if (ok) return "ok";
    std::string text;
    if (senseKey == 0) {
        text = "transport failure";
    } else {
        static const char* const kKeys[16] = {
            "no sense",       "recovered error", "not ready",      "medium error",
            "hardware error", "illegal request", "unit attention", "data protect",
            "blank check",    "vendor specific", "copy aborted",   "aborted command",
            "equal",          "volume overflow", "miscompare",     "reserved"};
        char codes[32];
        std::snprintf(codes, sizeof codes, " (%02X/%02X)", asc, ascq);
        text = std::string(kKeys[senseKey & 0x0F]) + codes;
    }
    if (!message.empty()) text += ": " + message;
    return text;
}

DriveResult DiscDrive::ReadDiscInfo(DiscInfo& out) {
    Toc toc;
    DriveResult r = ReadToc(toc);
    if (r.ok) out = DiscInfoFromToc(toc);
    return r;
}

DriveResult DiscDrive::ReadCddaC2(std::uint32_t, std::uint32_t, std::uint8_t*, std::uint8_t*) {
    return DriveResult::Sense(kSenseIllegalRequest, 0x24, 0x00, "no C2 error pointers");
}

DriveResult DiscDrive::SetSpeed(std::uint16_t) {
    return DriveResult::Sense(kSenseIllegalRequest, 0x20, 0x00, "the drive sets no speed");
}

std::uint32_t Toc::TrackFrames(std::size_t i) const {
    if (i >= tracks.size()) return 0;
    std::uint32_t end = i + 1 < tracks.size() ? tracks[i + 1].lba : leadOut;
    return end > tracks[i].lba ? end - tracks[i].lba : 0;
}

namespace {

void PutText(std::vector<std::uint8_t>& out, std::size_t at, const std::string& text,
             std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        out[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
    }
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

std::uint32_t Get32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

std::vector<std::uint8_t> EncodeInquiry(const InquiryData& data) {
    std::vector<std::uint8_t> out(36, 0);
    out[0] = data.deviceType & 0x1F;
    out[1] = 0x80;  // removable medium
    out[2] = 0x00;
    out[3] = 0x21;  // response data format 1 (ATAPI style)
    out[4] = 31;    // additional length
    PutText(out, 8, data.vendor, 8);
    PutText(out, 16, data.product, 16);
    PutText(out, 32, data.revision, 4);
    return out;
}

bool ParseInquiry(const std::uint8_t* data, std::size_t length, InquiryData& out) {
    if (length < 36) return false;
    out.deviceType = data[0] & 0x1F;
    out.vendor.assign(reinterpret_cast<const char*>(data + 8), 8);
    out.product.assign(reinterpret_cast<const char*>(data + 16), 16);
    out.revision.assign(reinterpret_cast<const char*>(data + 32), 4);
    return true;
}

std::vector<std::uint8_t> EncodeToc(const Toc& toc) {
    std::size_t descriptors = toc.tracks.size() + 1;
    std::vector<std::uint8_t> out(4 + 8 * descriptors, 0);
    Put16(out.data(), static_cast<std::uint32_t>(out.size() - 2));
    out[2] = toc.firstTrack;
    out[3] = toc.lastTrack;
    std::size_t at = 4;
    auto put = [&](std::uint8_t adrControl, std::uint8_t number, std::uint32_t lba) {
        out[at + 1] = adrControl;
        out[at + 2] = number;
        Put32(&out[at + 4], lba);
        at += 8;
    };
    for (const TocTrack& t : toc.tracks) {
        put(static_cast<std::uint8_t>((t.adr << 4) | (t.control & 0x0F)), t.number, t.lba);
    }
    std::uint8_t leadOutControl = toc.tracks.empty() ? 0 : toc.tracks.back().control & 0x0F;
    put(static_cast<std::uint8_t>(0x10 | leadOutControl), 0xAA, toc.leadOut);
    return out;
}

bool ParseToc(const std::uint8_t* data, std::size_t length, Toc& out, std::string* error) {
    auto fail = [&](const char* text) {
        if (error) *error = text;
        return false;
    };
    if (length < 4) return fail("table of contents shorter than its header");
    std::size_t dataLength = Get16(data) + 2u;
    if (dataLength > length) dataLength = length;
    if (dataLength < 4 + 8) return fail("table of contents without descriptors");
    Toc toc;
    toc.firstTrack = data[2];
    toc.lastTrack = data[3];
    bool leadOut = false;
    for (std::size_t at = 4; at + 8 <= dataLength; at += 8) {
        const std::uint8_t* d = data + at;
        if (d[2] == 0xAA) {
            toc.leadOut = Get32(d + 4);
            leadOut = true;
            break;
        }
        TocTrack t;
        t.adr = TrackControl::AdrOf(d[1]);
        t.control = TrackControl::FromAdrControl(d[1]).bits;
        t.number = d[2];
        t.lba = Get32(d + 4);
        if (!toc.tracks.empty() &&
            (t.number <= toc.tracks.back().number || t.lba < toc.tracks.back().lba)) {
            return fail("table of contents with tracks out of order");
        }
        toc.tracks.push_back(t);
    }
    if (!leadOut) return fail("table of contents without lead-out");
    if (toc.tracks.empty()) return fail("table of contents without tracks");
    if (toc.leadOut < toc.tracks.back().lba) return fail("lead-out before the last track");
    out = std::move(toc);
    return true;
}

std::vector<std::uint8_t> EncodeCapabilities(const Capabilities& caps) {
    std::vector<std::uint8_t> out(28, 0);
    Put16(out.data(), 26);  // mode data length
    std::uint8_t* page = out.data() + 8;
    page[0] = 0x2A;
    page[1] = 18;
    page[2] = 0x03;  // reads CD-R and CD-RW
    page[4] = 0x01;  // plays audio
    page[5] =
        static_cast<std::uint8_t>((caps.cddaSupported ? 0x01 : 0) | (caps.cddaAccurate ? 0x02 : 0));
    page[6] = static_cast<std::uint8_t>(0x01 | (caps.locked ? 0x02 : 0) |
                                        (caps.ejectable ? 0x08 : 0) | 0x20);  // tray loader
    page[7] = 0x03;  // separate volume and mute per channel
    Put16(page + 8, caps.maxSpeedKBs);
    Put16(page + 10, 256);  // volume levels
    Put16(page + 12, caps.bufferKB);
    Put16(page + 14, caps.currentSpeedKBs);
    return out;
}

bool ParseCapabilities(const std::uint8_t* data, std::size_t length, Capabilities& out) {
    if (length < 8 + 16) return false;
    std::size_t blockDescriptors = Get16(data + 6);
    const std::uint8_t* page = data + 8 + blockDescriptors;
    if (8 + blockDescriptors + 16 > length || (page[0] & 0x3F) != 0x2A) return false;
    out.cddaSupported = page[5] & 0x01;
    out.cddaAccurate = page[5] & 0x02;
    out.locked = page[6] & 0x02;
    out.ejectable = page[6] & 0x08;
    out.maxSpeedKBs = Get16(page + 8);
    out.bufferKB = Get16(page + 12);
    out.currentSpeedKBs = Get16(page + 14);
    return true;
}

std::vector<std::uint8_t> EncodeSense(const DriveResult& result) {
    std::vector<std::uint8_t> out(18, 0);
    out[0] = 0x70;  // current error, fixed format
    out[2] = result.ok ? 0 : (result.senseKey & 0x0F);
    out[7] = 10;  // additional sense length
    out[12] = result.ok ? 0 : result.asc;
    out[13] = result.ok ? 0 : result.ascq;
    return out;
}

bool DecodeSense(const std::uint8_t* data, std::size_t length, DriveResult& out) {
    if (length < 3) return false;
    std::uint8_t code = data[0] & 0x7F;
    std::uint8_t key = 0, asc = 0, ascq = 0;
    if (code == 0x72 || code == 0x73) {
        key = data[1] & 0x0F;
        asc = length > 2 ? data[2] : 0;
        ascq = length > 3 ? data[3] : 0;
    } else if (code == 0x70 || code == 0x71) {
        key = data[2] & 0x0F;
        asc = length > 12 ? data[12] : 0;
        ascq = length > 13 ? data[13] : 0;
    } else {
        return false;
    }
    if (key == 0) return false;
    out = DriveResult::Sense(key, asc, ascq);
    return true;
}

}  // namespace orvane::cdrom
