// CUETools database lookup replies as the server (or anything posing as it) sends them: whatever
// the bytes, the reader returns entries and releases whose every field was checked, or says why
// not.

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/ctdb/ctdb_client.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    using namespace orvane::ctdb;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const CtdbReply r = ParseCtdbReply(text, 3);
    Check(r.status == CtdbStatus::Found || r.entries.empty(), "only a found reply has entries");
    Check(!r.message.empty(), "every reply is reported");
    for (const CtdbEntry& e : r.entries) {
        Check(e.npar >= 2 && e.npar <= 16 && e.npar % 2 == 0, "npar is checked");
        Check(e.stride == 5880, "the stride is the database's");
        Check(e.syndrome.empty() || e.syndrome.size() == static_cast<std::size_t>(e.npar),
              "a syndrome holds npar words");
        Check(e.parityUrl.empty() || !e.syndrome.empty(), "parity comes with a syndrome");
        Check(e.trackCrcs.empty() || e.trackCrcs.size() == 3, "track CRCs fit the disc");
        Check(e.confidence >= 0 && !e.id.empty(), "confidence and id are checked");
    }
    Check(r.status != CtdbStatus::Unavailable || r.releases.empty(),
          "a refused reply names nothing");
    Check(r.releases.size() <= static_cast<std::size_t>(kMaxCtdbReleases), "releases are bounded");
    for (const CtdbRelease& release : r.releases) {
        Check(release.trackTitles.size() == 3 && release.trackArtists.size() == 3,
              "a release names the disc's tracks");
        Check(release.year.empty() || release.year.size() == 4, "a year is four digits");
        Check(release.discNumber >= 0 && release.discCount >= 0 &&
                  (!release.discCount || release.discNumber <= release.discCount),
              "the disc's place is checked");
        std::vector<const std::string*> names = {&release.artist, &release.album, &release.genre};
        for (const std::string& t : release.trackTitles)
            names.push_back(&t);
        for (const std::string& t : release.trackArtists)
            names.push_back(&t);
        for (const std::string* name : names)
            for (char c : *name)
                Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "no control characters");
    }
    return 0;
}
