// CD-Text as a drive answers READ TOC format 5, read into a disc: every text taken is UTF-8 of
// at most the longest text a block holds, only the disc and the tracks it has get texts, and
// what the encoder writes is read back as it was.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/cdrom/cd_text.h"

namespace {

using orvane::fuzz::Check;
namespace cdrom = orvane::cdrom;

void CheckText(const std::string& text) {
    Check(orvane::fuzz::WellFormedUtf8(text), "a text is UTF-8");
    // ISO 8859-1 takes at most two bytes of UTF-8 a character.
    Check(text.size() <= 2 * cdrom::kMaxCdTextBytes, "a text is cut to the block's longest");
    Check(text.find('\0') == std::string::npos, "a text holds no zero byte");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A disc of three tracks numbered from the input's first byte, so that packs of other
    // track numbers are met too.
    cdrom::DiscInfo disc;
    const int first = size > 0 ? 1 + data[0] % 97 : 1;
    for (int n = first; n < first + 3; ++n) {
        cdrom::TrackInfo t;
        t.number = static_cast<std::uint8_t>(n);
        disc.tracks.push_back(t);
    }
    disc.firstTrack = disc.tracks.front().number;
    disc.lastTrack = disc.tracks.back().number;
    const cdrom::DiscInfo before = disc;
    const bool found = cdrom::DecodeCdText(data, size, disc);
    Check(disc.tracks.size() == before.tracks.size(), "the tracks stay the disc's");
    bool any = false;
    for (const std::string* text : {&disc.title, &disc.performer, &disc.songwriter}) {
        CheckText(*text);
        any = any || !text->empty();
    }
    for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
        const cdrom::TrackInfo& t = disc.tracks[i];
        Check(t.number == before.tracks[i].number && t.start == before.tracks[i].start,
              "a track keeps its place");
        for (const std::string* text : {&t.title, &t.performer, &t.songwriter}) {
            CheckText(*text);
            any = any || !text->empty();
        }
    }
    Check(found == any, "a text read is a text kept");

    // What was read, written again, reads back the same.
    if (found) {
        const std::vector<std::uint8_t> encoded = cdrom::EncodeCdText(disc);
        cdrom::DiscInfo again = before;
        cdrom::DecodeCdText(encoded.data(), encoded.size(), again);
        // Characters beyond ISO 8859-1 cannot come from a block in it, so the texts round trip.
        Check(again == disc, "the texts written read back as they were");
    }
    return 0;
}
