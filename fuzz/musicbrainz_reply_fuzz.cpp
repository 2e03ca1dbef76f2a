// MusicBrainz discid replies as the web service (or anything posing as it) sends them: whatever
// the bytes, the reader returns releases or says why not, and never more than the reply lists.

#include <cstdint>
#include <string>

#include "encoder/freedb/musicbrainz.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto releases =
        orvane::freedb::ParseMusicBrainzReply(text, "lwHl8fGzJyLXQR33ug60E8jhf4k-", error);
    Check(error.empty() || releases.empty(), "a refused reply gives no release");
    std::size_t tracks = 0;
    for (const auto& r : releases) {
        tracks += r.tracks.size();
        Check(r.discNumber >= 0 && r.discCount >= 0, "disc numbers are not negative");
    }
    Check(releases.size() + tracks <= size, "no more releases and tracks than the reply holds");
    return 0;
}
