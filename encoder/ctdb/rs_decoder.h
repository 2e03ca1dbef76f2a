#pragma once
// The errors-only decoder of one parity column: Berlekamp-Massey for the error locator from
// the column's error syndromes E_k = sum e * X^k (k = 0..npar-1, X = alpha^p the error's
// locator, p its position counted from the codeword's last symbol), a Chien search over the L
// positions of the column, and Forney's formula for the values. A decoding is taken only when
// the locator's degree is at most npar/2, it has exactly that many roots among the positions,
// and the errors found give back every syndrome.

#include <cstdint>
#include <vector>

namespace orvane::ctdb {

struct ColumnError {
    int position = 0;  // p: the word of stride L - 1 - p of the column
    std::uint16_t value = 0;
    bool operator==(const ColumnError&) const = default;
};

// The error locator's degree (how many wrong words the syndromes tell), or -1 when it is more
// than npar/2.
int LocatorDegree(const std::uint16_t* syndromes, int npar);

// Decodes a column of length positions. hints: positions to try first (errors of the columns
// decoded before, which damage of whole strides shares); those found are added. False when the
// column holds more errors than the parity mends.
bool DecodeColumn(const std::uint16_t* syndromes, int npar, int length,
                  std::vector<ColumnError>& errors, std::vector<int>* hints = nullptr);

}  // namespace orvane::ctdb
