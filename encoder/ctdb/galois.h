#pragma once
// Arithmetic in GF(2^16) with the field polynomial x^16 + x^12 + x^3 + x + 1 (0x1100B) and
// alpha = x, the field of the disc database's Reed-Solomon parity: log and antilog tables.

#include <cstdint>

namespace orvane::ctdb {

constexpr std::uint32_t kFieldPolynomial = 0x1100B;
constexpr int kFieldOrder = 65535;  // the multiplicative group's order

class Galois {
public:
    static const Galois& Field();

    std::uint16_t Exp(int e) const { return exp_[Mod(e)]; }
    // Log of a nonzero element, 0..65534.
    int Log(std::uint16_t a) const { return log_[a]; }
    std::uint16_t Mul(std::uint16_t a, std::uint16_t b) const {
        return a && b ? exp_[log_[a] + log_[b]] : 0;
    }
    // a / b with b nonzero.
    std::uint16_t Div(std::uint16_t a, std::uint16_t b) const {
        return a ? exp_[log_[a] + kFieldOrder - log_[b]] : 0;
    }
    // a * alpha^e.
    std::uint16_t MulExp(std::uint16_t a, int e) const { return a ? exp_[log_[a] + Mod(e)] : 0; }
    static int Mod(long long e) {
        const long long m = e % kFieldOrder;
        return static_cast<int>(m < 0 ? m + kFieldOrder : m);
    }

private:
    Galois();
    std::uint16_t exp_[2 * kFieldOrder + 2];
    int log_[65536];
};

}  // namespace orvane::ctdb
