// CUETools database lookup replies as the server (or anything posing as it) sends them: whatever
// the bytes, the reader returns entries whose every field was checked, or says why not.

#include <cstdint>
#include <string>

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
    return 0;
}
