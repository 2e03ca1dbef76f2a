#include "platform/cdrom/cd_text.h"

#include <algorithm>
#include <array>
#include <string>

namespace orvane::cdrom {

namespace {

constexpr std::uint8_t kPackTitle = 0x80, kPackPerformer = 0x81, kPackSongwriter = 0x82;
constexpr std::uint8_t kPackSizeInfo = 0x8F;
constexpr std::size_t kTextBytes = 12;
// A block has 256 sequence numbers; the three size packs take the last ones.
constexpr std::size_t kMaxTextPacks = 253;
constexpr std::uint8_t kCharsetLatin1 = 0x00, kCharsetAscii = 0x01;
constexpr std::uint8_t kLanguageEnglish = 0x09;

std::string* Field(DiscInfo& disc, std::uint8_t type) {
    switch (type) {
        case kPackTitle:
            return &disc.title;
        case kPackPerformer:
            return &disc.performer;
        case kPackSongwriter:
            return &disc.songwriter;
        default:
            return nullptr;
    }
}

std::string* Field(TrackInfo& track, std::uint8_t type) {
    switch (type) {
        case kPackTitle:
            return &track.title;
        case kPackPerformer:
            return &track.performer;
        case kPackSongwriter:
            return &track.songwriter;
        default:
            return nullptr;
    }
}

std::string ToLatin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += c == 0 ? '?' : static_cast<char>(c);
            ++i;
            continue;
        }
        std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (length == 2 && i + 1 < utf8.size()) {
            const unsigned code =
                ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            out += code >= 0xA0 && code <= 0xFF ? static_cast<char>(code) : '?';
        } else {
            out += '?';
        }
        i += length;
    }
    return out;
}

std::string FromLatin1(const std::string& latin1) {
    std::string out;
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

std::uint16_t CdCrc(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
        for (int k = 0; k < 8; ++k)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return static_cast<std::uint16_t>(~crc);
}

std::vector<std::uint8_t> EncodeCdText(const DiscInfo& disc) {
    std::vector<std::uint8_t> out(4, 0);
    std::array<std::uint8_t, 16> packsOfType{};
    std::size_t sequence = 0;
    auto pack = [&](std::uint8_t type, std::uint8_t track, std::uint8_t position,
                    const std::uint8_t* text) {
        std::uint8_t p[kCdTextPackBytes] = {type, track, static_cast<std::uint8_t>(sequence++),
                                            static_cast<std::uint8_t>(std::min<int>(position, 15))};
        std::copy(text, text + kTextBytes, p + 4);
        const std::uint16_t crc = CdCrc(p, 16);
        p[16] = static_cast<std::uint8_t>(crc >> 8);
        p[17] = static_cast<std::uint8_t>(crc);
        out.insert(out.end(), p, p + kCdTextPackBytes);
        ++packsOfType[type & 0x0F];
    };
    DiscInfo copy = disc;
    for (std::uint8_t type : {kPackTitle, kPackPerformer, kPackSongwriter}) {
        // The texts in order, each with the track it belongs to (0: the disc).
        std::vector<std::pair<std::uint8_t, std::string>> texts{{0, ToLatin1(*Field(copy, type))}};
        bool any = !texts[0].second.empty();
        for (TrackInfo& t : copy.tracks) {
            texts.emplace_back(t.number, ToLatin1(*Field(t, type)));
            any = any || !texts.back().second.empty();
        }
        if (!any) continue;
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint8_t> trackOf, positionOf;  // of each byte
        for (const auto& [track, text] : texts) {
            for (std::size_t i = 0; i <= text.size(); ++i) {
                bytes.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
                trackOf.push_back(track);
                positionOf.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(i, 15)));
            }
        }
        bytes.resize((bytes.size() + kTextBytes - 1) / kTextBytes * kTextBytes, 0);
        for (std::size_t at = 0; at < bytes.size() && sequence < kMaxTextPacks; at += kTextBytes) {
            const std::size_t owner = std::min(at, trackOf.size() - 1);
            pack(type, trackOf[owner], at < positionOf.size() ? positionOf[owner] : 0,
                 bytes.data() + at);
        }
    }
    if (sequence == 0) {
        out[1] = 2;
        return out;
    }
    packsOfType[kPackSizeInfo & 0x0F] = 3;
    std::uint8_t size[3 * kTextBytes] = {kCharsetLatin1, disc.firstTrack, disc.lastTrack, 0};
    std::copy(packsOfType.begin(), packsOfType.end(), size + 4);
    size[20] = static_cast<std::uint8_t>(sequence + 2);  // the last sequence number of block 0
    size[28] = kLanguageEnglish;
    for (std::uint8_t i = 0; i < 3; ++i)
        pack(kPackSizeInfo, i, 0, size + i * kTextBytes);
    const std::size_t length = out.size() - 2;
    out[0] = static_cast<std::uint8_t>(length >> 8);
    out[1] = static_cast<std::uint8_t>(length);
    return out;
}

bool DecodeCdText(const std::uint8_t* data, std::size_t length, DiscInfo& disc) {
    if (length < 4) return false;
    length = std::min<std::size_t>(length, ((data[0] << 8) | data[1]) + 2u);
    std::vector<const std::uint8_t*> packs;
    for (std::size_t at = 4; at + kCdTextPackBytes <= length; at += kCdTextPackBytes) {
        const std::uint8_t* p = data + at;
        const bool blockZero = (p[3] & 0x70) == 0, singleByte = !(p[3] & 0x80);
        if (blockZero && singleByte && CdCrc(p, 16) == ((p[16] << 8) | p[17])) packs.push_back(p);
    }
    // The character set from the first size pack; without one, ISO 8859-1 is the default.
    for (const std::uint8_t* p : packs) {
        if (p[0] == kPackSizeInfo && p[1] == 0 && p[4] != kCharsetLatin1 && p[4] != kCharsetAscii)
            return false;
    }
    // The texts of the tracks follow the disc's from the disc's first track on, which the size
    // pack names (else the table of contents).
    int firstTrack = disc.firstTrack > 0 ? disc.firstTrack : 1;
    for (const std::uint8_t* p : packs) {
        if (p[0] == kPackSizeInfo && p[1] == 0 && p[5] >= 1 && p[5] <= 99) {
            firstTrack = p[5];
            break;
        }
    }
    bool found = false;
    for (std::uint8_t type : {kPackTitle, kPackPerformer, kPackSongwriter}) {
        int track = -1;  // the text being read; -1 until a pack starts one whole
        std::string text, previous;
        int lastSequence = -2;
        auto store = [&]() {
            // A lone tab stands for the text of the track before.
            const std::string value = text == "\t" ? previous : FromLatin1(text);
            previous = value;
            std::string* field = nullptr;
            if (track == 0) {
                field = Field(disc, type);
            } else {
                for (TrackInfo& t : disc.tracks) {
                    if (t.number == track) field = Field(t, type);
                }
            }
            if (field && !value.empty()) {
                *field = value;
                found = true;
            }
        };
        for (const std::uint8_t* p : packs) {
            if (p[0] != type) continue;
            if (p[2] != lastSequence + 1) {
                // A pack before this one was lost: its text is not whole. A text already
                // begun in a lost pack is skipped up to its end.
                track = (p[3] & 0x0F) == 0 ? (p[1] & 0x7F) : -1;
                text.clear();
            }
            lastSequence = p[2];
            for (std::size_t i = 4; i < 16; ++i) {
                if (p[i] == 0) {
                    if (track >= 0) store();
                    const int ended = track >= 0 ? track : p[1] & 0x7F;
                    track = ended == 0 ? firstTrack : ended + 1;
                    text.clear();
                } else if (text.size() < kMaxCdTextBytes) {
                    text += static_cast<char>(p[i]);
                }
            }
        }
    }
    return found;
}

}  // namespace orvane::cdrom
