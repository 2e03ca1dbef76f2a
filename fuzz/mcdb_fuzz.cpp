// The CD player's song database file. A record that reads must store again, read back as the
// same names, and answer every disc lookup from inside its own names.

#include <cstdint>
#include <string>
#include <vector>

#include "cdplayer/mcdb.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::cdplayer::MCDB;
    using orvane::fuzz::Check;
    MCDB db;
    std::string why;
    if (!db.Parse(orvane::fuzz::Bytes(data, size), &why)) {
        Check(!why.empty(), "a refused record says why");
        Check(db.DiscIds.empty() && db.TrackNames.empty(), "a refused record changes nothing");
        return 0;
    }
    std::string bytes;
    Check(db.Serialize(bytes), "a record that reads can be stored");
    MCDB again;
    Check(again.Parse(bytes, &why), "a stored record reads again");
    Check(again.TrackNames == db.TrackNames && again.DiscIds == db.DiscIds &&
              again.DiscNames == db.DiscNames && again.FirstTrack == db.FirstTrack &&
              again.LastTrack == db.LastTrack,
          "a stored record reads as the same names");
    std::string bytes2;
    Check(again.Serialize(bytes2) && bytes2 == bytes, "storing is stable");

    std::vector<std::string> names;
    for (std::size_t k = 0; k < db.DiscIds.size() && k < 64; ++k) {
        Check(db.FindDisc(db.DiscIds[k], names), "every stored disc is found");
        const auto found = static_cast<std::size_t>(db.CurrentDisc);
        Check(found <= k && db.DiscIds[found] == db.DiscIds[k], "the first disc of an id is found");
        Check(names.size() == db.NameCount(found), "a disc gets exactly its own names");
        Check(names.size() <= db.TrackNames.size(), "a disc's names are stored names");
    }
    return 0;
}
