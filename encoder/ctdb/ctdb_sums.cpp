#include "encoder/ctdb/ctdb_sums.h"

#include <algorithm>
#include <cstring>

#include "encoder/ctdb/galois.h"

namespace orvane::ctdb {

namespace {

// The shift register's feedback: x^16 = sum g_i x^i modulo the product of (x - alpha^k),
// k < 16, and f * g_i split into f's high and low byte, so a word costs two rows of a table
// that stays in the first-level cache.
struct Register {
    std::uint16_t high[256][kMaxParityRows];
    std::uint16_t low[256][kMaxParityRows];

    Register() {
        const Galois& gf = Galois::Field();
        std::uint16_t g[kMaxParityRows + 1] = {1};  // g[0] + g[1] x + ..., monic
        for (int k = 0; k < kMaxParityRows; ++k) {
            const std::uint16_t root = gf.Exp(k);
            for (int i = k + 1; i > 0; --i)
                g[i] = static_cast<std::uint16_t>(g[i - 1] ^ gf.Mul(g[i], root));
            g[0] = gf.Mul(g[0], root);
        }
        for (int b = 0; b < 256; ++b) {
            for (int i = 0; i < kMaxParityRows; ++i) {
                high[b][i] = gf.Mul(static_cast<std::uint16_t>(b << 8), g[i]);
                low[b][i] = gf.Mul(static_cast<std::uint16_t>(b), g[i]);
            }
        }
    }
};

const Register& TheRegister() {
    static const Register r;
    return r;
}

std::uint32_t Crc(const std::uint8_t* data, std::uint64_t size) {
    uLong crc = ::crc32(0, nullptr, 0);
    while (size > 0) {
        const auto n = static_cast<uInt>(std::min<std::uint64_t>(size, 1u << 30));
        crc = ::crc32(crc, data, n);
        data += n;
        size -= n;
    }
    return static_cast<std::uint32_t>(crc);
}

std::uint32_t Combine(std::uint32_t a, std::uint32_t b, std::uint64_t bytesOfB) {
    return static_cast<std::uint32_t>(::crc32_combine64(a, b, static_cast<z_off64_t>(bytesOfB)));
}

constexpr std::uint64_t kHeadSamples = 2 * kStrideSamples;

// One column's register as a vector of the compiler's.
typedef std::uint16_t Row __attribute__((vector_size(2 * kMaxParityRows)));

}  // namespace

CtdbSums::CtdbSums(const CtdbToc& toc) {
    samples_ = toc.Samples();
    const std::uint64_t words = 2 * samples_;
    if (!toc.Valid() || words < 4 * kStrideWords) return;
    const std::uint64_t lastStride = kStrideWords + words % kStrideWords;
    end_ = samples_ - lastStride / 2;
    strides_ = static_cast<int>(words / kStrideWords - 2);
    for (std::uint32_t s : toc.starts)
        trackStarts_.push_back(std::uint64_t{s} * kSamplesPerSector);
    std::vector<std::uint64_t> cuts = {kStrideSamples, end_ - kStrideSamples};
    for (std::uint64_t t : trackStarts_)
        cuts.push_back(std::clamp(t, kStrideSamples, end_ - kStrideSamples));
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i)
        segments_.push_back(
            {cuts[i], cuts[i + 1], static_cast<std::uint32_t>(::crc32(0, nullptr, 0))});
    remainder_.assign(kStrideWords, {});
    head_.assign(4 * kHeadSamples, 0);
    tail_.assign(4 * 2 * kStrideSamples, 0);
    (void)TheRegister();
    usable_ = true;
}

void CtdbSums::Update(const std::uint8_t* data, std::size_t size) {
    if (!usable_ || size == 0) return;
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, 4 * samples_ - pos_));
    Crcs(data, size, pos_);
    std::size_t at = 0;
    std::uint64_t word = pos_ / 2;
    if (carried_ && size > 0) {
        const std::uint8_t pair[2] = {carry_, data[0]};
        Words(pair, 1, word);
        ++word;
        at = 1;
        carried_ = false;
    } else if (pos_ % 2) {
        ++word;
    }
    const std::size_t whole = (size - at) / 2;
    Words(data + at, whole, word);
    if ((size - at) % 2) {
        carry_ = data[size - 1];
        carried_ = true;
    }
    pos_ += size;
}

void CtdbSums::Crcs(const std::uint8_t* data, std::size_t size, std::uint64_t firstByte) {
    const std::uint64_t last = firstByte + size;
    auto part = [&](std::uint64_t from, std::uint64_t to, auto&& take) {
        const std::uint64_t a = std::max(from, firstByte), b = std::min(to, last);
        if (a < b) take(data + (a - firstByte), b - a, a - from);
    };
    for (Segment& s : segments_)
        part(4 * s.start, 4 * s.end, [&](const std::uint8_t* p, std::uint64_t n, std::uint64_t) {
            uLong crc = s.crc;
            for (std::uint64_t done = 0; done < n;) {
                const auto m = static_cast<uInt>(std::min<std::uint64_t>(n - done, 1u << 30));
                crc = ::crc32(crc, p + done, m);
                done += m;
            }
            s.crc = static_cast<std::uint32_t>(crc);
        });
    part(0, head_.size(), [&](const std::uint8_t* p, std::uint64_t n, std::uint64_t at) {
        std::memcpy(head_.data() + at, p, n);
    });
    const std::uint64_t tailStart = 4 * (end_ - kStrideSamples);
    part(tailStart, tailStart + tail_.size(),
         [&](const std::uint8_t* p, std::uint64_t n, std::uint64_t at) {
             std::memcpy(tail_.data() + at, p, n);
         });
}

void CtdbSums::Words(const std::uint8_t* data, std::size_t words, std::uint64_t firstWord) {
    const std::uint64_t from = kStrideWords;
    const std::uint64_t to = (static_cast<std::uint64_t>(strides_) + 1) * kStrideWords;
    std::uint64_t a = std::max(firstWord, from), b = std::min(firstWord + words, to);
    if (a >= b) return;
    const Register& reg = TheRegister();
    const std::uint8_t* p = data + 2 * (a - firstWord);
    std::size_t j = static_cast<std::size_t>(a % kStrideWords);
    for (std::uint64_t i = a; i < b; ++i, p += 2) {
        // R * x + w modulo the product: shifted up one place, the feedback row added, 16
        // words at once.
        Row r;
        std::memcpy(&r, remainder_[j].data(), sizeof r);
        const std::uint16_t f = r[kMaxParityRows - 1];
        Row hi, lo;
        std::memcpy(&hi, reg.high[f >> 8], sizeof hi);
        std::memcpy(&lo, reg.low[f & 0xFF], sizeof lo);
        const Row w = {static_cast<std::uint16_t>(p[0] | p[1] << 8)};
        const Row shifted =
            __builtin_shufflevector(r, w, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14);
        r = shifted ^ hi ^ lo;
        std::memcpy(remainder_[j].data(), &r, sizeof r);
        if (++j == kStrideWords) j = 0;
    }
}

std::uint16_t CtdbSums::Word(std::uint64_t index) const {
    if (index < head_.size() / 2)
        return static_cast<std::uint16_t>(head_[2 * index] | head_[2 * index + 1] << 8);
    const std::uint64_t tailWord = 2 * (end_ - kStrideSamples);
    if (index >= tailWord && index - tailWord < tail_.size() / 2) {
        const std::size_t at = static_cast<std::size_t>(2 * (index - tailWord));
        return static_cast<std::uint16_t>(tail_[at] | tail_[at + 1] << 8);
    }
    return 0;
}

std::uint16_t CtdbSums::Evaluate(int column, int k) const {
    const Galois& gf = Galois::Field();
    const auto& r = remainder_[static_cast<std::size_t>(column)];
    std::uint16_t acc = r[kMaxParityRows - 1];
    for (int i = kMaxParityRows - 2; i >= 0; --i)
        acc = static_cast<std::uint16_t>(gf.MulExp(acc, k) ^ r[static_cast<std::size_t>(i)]);
    return acc;
}

std::vector<std::uint16_t> CtdbSums::Column(int npar, int column, int offset) const {
    std::vector<std::uint16_t> out(static_cast<std::size_t>(npar));
    if (!usable_) return out;
    const Galois& gf = Galois::Field();
    const long long q = column + 2LL * offset;
    const int L = strides_;
    const auto stride = static_cast<long long>(kStrideWords);
    for (int k = 0; k < npar; ++k) {
        std::uint16_t s;
        if (q >= 0 && q < stride) {
            s = Evaluate(static_cast<int>(q), k);
        } else if (q >= stride) {
            // One stride later: stride 1 leaves, stride L + 1 comes.
            const auto j = static_cast<std::uint64_t>(q - stride);
            const std::uint16_t inner = static_cast<std::uint16_t>(
                Evaluate(static_cast<int>(j), k) ^
                gf.MulExp(Word(kStrideWords + j),
                          static_cast<int>(Galois::Mod(1LL * k * (L - 1)))));
            s = static_cast<std::uint16_t>(
                gf.MulExp(inner, k) ^ Word((static_cast<std::uint64_t>(L) + 1) * kStrideWords + j));
        } else {
            // One stride earlier: stride L leaves, stride 0 comes.
            const auto j = static_cast<std::uint64_t>(q + stride);
            const std::uint16_t inner =
                static_cast<std::uint16_t>(Evaluate(static_cast<int>(j), k) ^
                                           Word(static_cast<std::uint64_t>(L) * kStrideWords + j));
            s = static_cast<std::uint16_t>(
                gf.MulExp(inner, -k) ^
                gf.MulExp(Word(j), static_cast<int>(Galois::Mod(1LL * k * (L - 1)))));
        }
        out[static_cast<std::size_t>(k)] = s;
    }
    return out;
}

std::vector<std::uint16_t> CtdbSums::Syndromes(int npar, int offset) const {
    std::vector<std::uint16_t> out(static_cast<std::size_t>(npar) * kStrideWords);
    for (int c = 0; c < static_cast<int>(kStrideWords); ++c) {
        const std::vector<std::uint16_t> col = Column(npar, c, offset);
        for (int k = 0; k < npar; ++k)
            out[static_cast<std::size_t>(k) * kStrideWords + static_cast<std::size_t>(c)] =
                col[static_cast<std::size_t>(k)];
    }
    return out;
}

// The CRC of [5880, x) for x in [5880, 11760], at a cut point, or in [E - 5880, E + 5880].
std::uint32_t CtdbSums::Prefix(std::uint64_t x) const {
    if (x <= kHeadSamples)
        return Crc(head_.data() + 4 * kStrideSamples, 4 * (x - std::min(x, kStrideSamples)));
    const std::uint64_t tailStart = end_ - kStrideSamples;
    std::uint32_t crc = 0;
    for (const Segment& s : segments_) {
        if (s.end > x) break;
        crc = Combine(crc, s.crc, 4 * (s.end - s.start));
    }
    if (x > tailStart)
        crc = Combine(crc, Crc(tail_.data(), 4 * (x - tailStart)), 4 * (x - tailStart));
    return crc;
}

// [a, b) with a below 11760 or at a track's start, b at a track's start or within 5880
// samples of E.
std::uint32_t CtdbSums::RangeCrc(std::uint64_t a, std::uint64_t b) const {
    if (!usable_ || a >= b) return 0;
    if (a < kStrideSamples)
        return Combine(Crc(head_.data() + 4 * a, 4 * (kStrideSamples - a)), Prefix(b),
                       4 * (b - kStrideSamples));
    // crc(B) of A B from crc(A) and crc(A B): the shift of crc(A) XOR crc(A B).
    return Combine(Prefix(a), Prefix(b), 4 * (b - a));
}

std::uint32_t CtdbSums::DiscCrc(int offset) const {
    offset = std::clamp(offset, -kMaxOffset, kMaxOffset);
    return RangeCrc(static_cast<std::uint64_t>(static_cast<long long>(kStrideSamples) + offset),
                    static_cast<std::uint64_t>(static_cast<long long>(end_) + offset));
}

std::uint32_t CtdbSums::TrackCrc(int i) const {
    if (!usable_ || i < 0 || i >= AudioTracks()) return 0;
    const auto n = static_cast<std::size_t>(i);
    std::uint64_t a = i == 0 ? kStrideSamples : trackStarts_[n];
    std::uint64_t b = n + 1 == trackStarts_.size() ? end_ : trackStarts_[n + 1];
    a = std::clamp(a, kStrideSamples, end_);
    b = std::clamp(b, kStrideSamples, end_);
    return RangeCrc(a, b);
}

std::uint32_t CtdbSums::FixesCrc(std::uint64_t rangeStart, std::uint64_t rangeEnd,
                                 const std::vector<WordFix>& fixes) const {
    // The CRC is affine: crc(x ^ e) = crc(x) ^ crc(e) ^ crc(0), and crc(e) ^ crc(0) is the sum
    // over e's words of their two bytes' part shifted by the bytes after them.
    static const std::uint8_t zero[2] = {0, 0};
    const std::uint32_t crcZero = Crc(zero, 2);
    std::uint32_t delta = 0;
    for (const WordFix& f : fixes) {
        const std::uint64_t byte = 2 * f.word;
        if (byte < 4 * rangeStart || byte + 2 > 4 * rangeEnd) continue;
        const std::uint8_t v[2] = {static_cast<std::uint8_t>(f.delta & 0xFF),
                                   static_cast<std::uint8_t>(f.delta >> 8)};
        delta ^= Combine(Crc(v, 2) ^ crcZero, 0, 4 * rangeEnd - byte - 2);
    }
    return delta;
}

std::uint32_t CtdbSums::CorrectedCrc(int offset, const std::vector<WordFix>& fixes) const {
    return DiscCrc(offset) ^ FixesCrc(kStrideSamples, end_, fixes);
}

std::uint32_t CtdbSums::CorrectedTrackCrc(int i, const std::vector<WordFix>& fixes) const {
    if (!usable_ || i < 0 || i >= AudioTracks()) return 0;
    const auto n = static_cast<std::size_t>(i);
    std::uint64_t a = i == 0 ? kStrideSamples : trackStarts_[n];
    std::uint64_t b = n + 1 == trackStarts_.size() ? end_ : trackStarts_[n + 1];
    a = std::clamp(a, kStrideSamples, end_);
    b = std::clamp(b, kStrideSamples, end_);
    return TrackCrc(i) ^ FixesCrc(a, b, fixes);
}

}  // namespace orvane::ctdb
