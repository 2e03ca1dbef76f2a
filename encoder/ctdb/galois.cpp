#include "encoder/ctdb/galois.h"

namespace orvane::ctdb {

Galois::Galois() {
    std::uint32_t x = 1;
    for (int e = 0; e < kFieldOrder; ++e) {
        exp_[e] = static_cast<std::uint16_t>(x);
        exp_[e + kFieldOrder] = static_cast<std::uint16_t>(x);
        log_[x] = e;
        x <<= 1;
        if (x & 0x10000) x ^= kFieldPolynomial;
    }
    exp_[2 * kFieldOrder] = exp_[0];
    exp_[2 * kFieldOrder + 1] = exp_[1];
    log_[0] = 0;
}

const Galois& Galois::Field() {
    static const Galois field;
    return field;
}

}  // namespace orvane::ctdb
