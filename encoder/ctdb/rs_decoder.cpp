#include "encoder/ctdb/rs_decoder.h"

#include <algorithm>

#include "encoder/ctdb/galois.h"

namespace orvane::ctdb {

namespace {

// Berlekamp-Massey: the connection polynomial (lambda[0] = 1) and its length.
int Locator(const std::uint16_t* s, int npar, std::vector<std::uint16_t>& lambda) {
    const Galois& gf = Galois::Field();
    std::vector<std::uint16_t> c(static_cast<std::size_t>(npar) + 1, 0), b = c, t;
    c[0] = b[0] = 1;
    int length = 0, m = 1;
    std::uint16_t last = 1;
    for (int n = 0; n < npar; ++n) {
        std::uint16_t d = s[n];
        for (int i = 1; i <= length; ++i)
            d ^= gf.Mul(c[static_cast<std::size_t>(i)], s[n - i]);
        if (d == 0) {
            ++m;
            continue;
        }
        const std::uint16_t scale = gf.Div(d, last);
        t = c;
        for (int i = 0; i + m <= npar; ++i)
            c[static_cast<std::size_t>(i + m)] ^= gf.Mul(scale, b[static_cast<std::size_t>(i)]);
        if (2 * length <= n) {
            length = n + 1 - length;
            b = t;
            last = d;
            m = 1;
        } else {
            ++m;
        }
    }
    lambda = c;
    for (std::size_t i = static_cast<std::size_t>(length) + 1; i < lambda.size(); ++i)
        if (lambda[i] != 0) return -1;
    lambda.resize(static_cast<std::size_t>(length) + 1);
    if (lambda.back() == 0) return -1;
    return length;
}

// Lambda at alpha^-p.
std::uint16_t AtInverse(const std::vector<int>& logs, int p) {
    const Galois& gf = Galois::Field();
    std::uint16_t v = 0;
    for (std::size_t i = 0; i < logs.size(); ++i)
        if (logs[i] >= 0) v ^= gf.Exp(Galois::Mod(logs[i] - static_cast<long long>(i) * p));
    return v;
}

}  // namespace

int LocatorDegree(const std::uint16_t* syndromes, int npar) {
    std::vector<std::uint16_t> lambda;
    const int degree = Locator(syndromes, npar, lambda);
    return degree >= 0 && 2 * degree <= npar ? degree : -1;
}

bool DecodeColumn(const std::uint16_t* s, int npar, int length, std::vector<ColumnError>& errors,
                  std::vector<int>* hints) {
    errors.clear();
    if (std::all_of(s, s + npar, [](std::uint16_t v) { return v == 0; })) return true;
    std::vector<std::uint16_t> lambda;
    const int degree = Locator(s, npar, lambda);
    if (degree <= 0 || 2 * degree > npar) return false;
    const Galois& gf = Galois::Field();
    std::vector<int> logs(lambda.size());
    for (std::size_t i = 0; i < lambda.size(); ++i)
        logs[i] = lambda[i] ? gf.Log(lambda[i]) : -1;

    std::vector<int> roots;
    if (hints) {
        for (int p : *hints)
            if (p >= 0 && p < length && AtInverse(logs, p) == 0) roots.push_back(p);
    }
    if (static_cast<int>(roots.size()) != degree) {
        roots.clear();
        for (int p = 0; p < length && static_cast<int>(roots.size()) <= degree; ++p)
            if (AtInverse(logs, p) == 0) roots.push_back(p);
    }
    if (static_cast<int>(roots.size()) != degree) return false;

    // Omega = S * Lambda mod x^npar; e = X * Omega(X^-1) / Lambda'(X^-1) for roots from alpha^0.
    std::vector<std::uint16_t> omega(static_cast<std::size_t>(npar), 0);
    for (int i = 0; i < npar; ++i)
        for (int j = 0; j <= degree && i + j < npar; ++j)
            omega[static_cast<std::size_t>(i + j)] ^=
                gf.Mul(s[i], lambda[static_cast<std::size_t>(j)]);
    for (int p : roots) {
        std::uint16_t num = 0, den = 0;
        for (int i = 0; i < npar; ++i)
            num ^= gf.MulExp(omega[static_cast<std::size_t>(i)], -i * p);
        for (int i = 1; i <= degree; i += 2)
            den ^= gf.MulExp(lambda[static_cast<std::size_t>(i)], -(i - 1) * p);
        if (den == 0) return false;
        const std::uint16_t value = gf.MulExp(gf.Div(num, den), p);
        if (value == 0) return false;
        errors.push_back({p, value});
    }
    // The errors must give back every syndrome.
    for (int k = 0; k < npar; ++k) {
        std::uint16_t v = 0;
        for (const ColumnError& e : errors)
            v ^= gf.MulExp(e.value, static_cast<int>(Galois::Mod(1LL * k * e.position)));
        if (v != s[k]) {
            errors.clear();
            return false;
        }
    }
    if (hints)
        for (const ColumnError& e : errors)
            if (std::find(hints->begin(), hints->end(), e.position) == hints->end())
                hints->push_back(e.position);
    return true;
}

}  // namespace orvane::ctdb
