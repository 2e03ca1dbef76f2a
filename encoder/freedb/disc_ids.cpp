#include "encoder/freedb/disc_ids.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "encoder/freedb/cddb_client.h"

namespace orvane::freedb {

namespace {

std::uint32_t Rotl(std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

std::string Hex(const char* format, std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

}  // namespace

std::array<std::uint8_t, 20> Sha1(const std::string& bytes) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::vector<std::uint8_t> m(bytes.begin(), bytes.end());
    const std::uint64_t bits = std::uint64_t{bytes.size()} * 8;
    m.push_back(0x80);
    while (m.size() % 64 != 56)
        m.push_back(0);
    for (int i = 7; i >= 0; --i)
        m.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    for (std::size_t block = 0; block < m.size(); block += 64) {
        std::uint32_t w[80];
        for (int i = 0; i < 16; ++i) {
            const std::uint8_t* p = &m[block + 4 * static_cast<std::size_t>(i)];
            w[i] = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                   (std::uint32_t{p[2]} << 8) | p[3];
        }
        for (int i = 16; i < 80; ++i)
            w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int i = 0; i < 80; ++i) {
            std::uint32_t f, k;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            std::uint32_t t = Rotl(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = Rotl(b, 30);
            b = a;
            a = t;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
    std::array<std::uint8_t, 20> out{};
    for (int i = 0; i < 20; ++i)
        out[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

std::uint32_t CddbId(const cdrom::DiscInfo& disc) { return ComputeDiscId(DiscLayout::Of(disc)); }

std::string MusicBrainzId(const cdrom::DiscInfo& disc) {
    if (disc.tracks.empty()) return {};
    // The first session: its tracks (a data track before the audio included) and its end.
    const int session = disc.tracks.front().session;
    const std::uint8_t first = disc.tracks.front().number;
    std::uint8_t last = first;
    // Offsets on the time scale of the disc (lead-in included); slot 0 holds the lead-out.
    std::uint32_t offsets[100] = {};
    offsets[0] = disc.AudioLeadOut() + cdrom::kMsfOffset;
    for (const cdrom::TrackInfo& t : disc.tracks) {
        if (t.session != session || t.number > 99) continue;
        offsets[t.number] = t.start + cdrom::kMsfOffset;
        last = std::max(last, t.number);
    }
    std::string text = Hex("%02X", first) + Hex("%02X", last);
    for (std::uint32_t offset : offsets)
        text += Hex("%08X", offset);
    const std::array<std::uint8_t, 20> digest = Sha1(text);
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._";
    std::string id;
    for (std::size_t i = 0; i < digest.size(); i += 3) {
        std::uint32_t group = std::uint32_t{digest[i]} << 16;
        const std::size_t have = std::min<std::size_t>(3, digest.size() - i);
        if (have > 1) group |= std::uint32_t{digest[i + 1]} << 8;
        if (have > 2) group |= digest[i + 2];
        for (std::size_t k = 0; k < 4; ++k)
            id += k <= have ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '-';
    }
    return id;
}

std::string AccurateRipId(const cdrom::DiscInfo& disc) {
    std::uint32_t id1 = 0, id2 = 0, n = 0;
    for (const cdrom::TrackInfo& t : disc.tracks) {
        if (!t.audio) continue;
        ++n;
        id1 += t.start;
        id2 += std::max<std::uint32_t>(t.start, 1) * n;
    }
    id1 += disc.leadOut;
    id2 += disc.leadOut * (n + 1);
    char text[48];
    std::snprintf(text, sizeof text, "%03u-%08x-%08x-%08x", n, id1, id2, CddbId(disc));
    return text;
}

}  // namespace orvane::freedb
