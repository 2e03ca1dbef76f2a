// The parity column decoder on any syndromes: it mends at most npar/2 words, at distinct
// positions inside the column, and what it returns gives back every syndrome; a parity answer
// of any bytes is taken only at its one right size, with column 0 the entry's.

#include <cstdint>
#include <set>
#include <vector>

#include "encoder/ctdb/ctdb_client.h"
#include "encoder/ctdb/galois.h"
#include "encoder/ctdb/rs_decoder.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    using namespace orvane::ctdb;
    if (size < 3) return 0;
    const int npar = 2 * (1 + data[0] % 8);
    const int length = 1 + (data[1] | data[2] << 8) % 4000;
    std::vector<std::uint16_t> s(static_cast<std::size_t>(npar), 0);
    for (std::size_t k = 0; k < s.size() && 3 + 2 * k + 1 < size; ++k)
        s[k] = static_cast<std::uint16_t>(data[3 + 2 * k] | data[4 + 2 * k] << 8);
    std::vector<ColumnError> errors;
    std::vector<int> hints = {0, length - 1, length / 2};
    if (DecodeColumn(s.data(), npar, length, errors, &hints)) {
        Check(2 * errors.size() <= static_cast<std::size_t>(npar), "at most npar/2 errors");
        std::set<int> positions;
        for (const ColumnError& e : errors) {
            Check(e.position >= 0 && e.position < length, "errors lie in the column");
            Check(e.value != 0, "an error changes its word");
            positions.insert(e.position);
        }
        Check(positions.size() == errors.size(), "one error a position");
        const Galois& gf = Galois::Field();
        for (int k = 0; k < npar; ++k) {
            std::uint16_t v = 0;
            for (const ColumnError& e : errors)
                v ^= gf.MulExp(e.value, static_cast<int>(Galois::Mod(1LL * k * e.position)));
            Check(v == s[static_cast<std::size_t>(k)], "the errors give back the syndromes");
        }
    }
    CtdbEntry entry;
    entry.npar = 8;
    entry.syndrome.assign(8, 0);
    const std::string body(reinterpret_cast<const char*>(data), size);
    for (long status : {200L, 206L}) {
        const ParityFetch p = ParityOfAnswer(status, body, entry, 4);
        Check(!p.ok || p.rows.size() == 4 * kStrideWords, "rows of the asked count");
        Check(p.ok || p.rows.empty(), "a refused answer gives no rows");
    }
    return 0;
}
