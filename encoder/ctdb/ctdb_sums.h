#pragma once
// What the disc database checks, taken while a rip's audio streams past once: the CRC-32
// (zlib's) of the disc and of each track, and the Reed-Solomon syndromes of the audio.
//
// The audio of the database's range (ctdb_toc.h) is N stereo samples, W = 2N 16-bit words. A
// stride is 11760 words; laststride = 11760 + W mod 11760. The disc CRC covers samples
// [5880, E) with E = N - laststride/2: the first stride and the last laststride words are left
// out. Track 1's CRC covers [5880, t2), track i's [t_i, t_i+1), the last's [t_n, E). The words
// between the first stride and the last laststride words are L = W / 11760 - 2 strides; column
// j is the codeword of the words at (s+1)*11760 + j, s = 0..L-1, the first of highest degree,
// and its syndrome k is S_k[j] = sum_s w * alpha^(k*(L-1-s)) in GF(2^16).
//
// The syndromes are kept as each column's remainder modulo the product of (x - alpha^k),
// k = 0..15 (one shift register per column), from which every S_k, k < 16, follows at the end.
// The first two and the last two strides' bytes are kept too: they give the CRC and the
// syndromes of the same audio shifted by up to +-5879 samples, as a rip of another pressing
// or drive offset has it.

#include <zlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/ctdb/ctdb_toc.h"

namespace orvane::ctdb {

constexpr int kMaxParityRows = 16;
constexpr int kMaxOffset = 5879;  // samples an entry may lie shifted against a rip

// One word of the audio to change: its word index in the range and the value to XOR with it.
struct WordFix {
    std::uint64_t word = 0;
    std::uint16_t delta = 0;
    bool operator==(const WordFix&) const = default;
};

class CtdbSums {
public:
    // The range must hold at least four strides.
    explicit CtdbSums(const CtdbToc& toc);
    bool Usable() const { return usable_; }

    // The range's bytes (16-bit stereo little-endian), in order, split anywhere.
    void Update(const std::uint8_t* data, std::size_t size);
    std::uint64_t BytesSeen() const { return pos_; }
    bool Complete() const { return usable_ && pos_ == 4 * samples_; }

    std::uint64_t Samples() const { return samples_; }
    std::uint64_t CrcEnd() const { return end_; }  // E, in samples
    int Strides() const { return strides_; }       // L
    int AudioTracks() const { return static_cast<int>(trackStarts_.size()); }
    std::uint64_t TrackStart(int i) const { return trackStarts_[static_cast<std::size_t>(i)]; }

    // The disc CRC of the audio shifted by offset samples (an entry whose sample p is our
    // sample p + offset), |offset| <= kMaxOffset; 0: the rip's own.
    std::uint32_t DiscCrc(int offset = 0) const;
    // The CRC of audio track i (0-based), unshifted.
    std::uint32_t TrackCrc(int i) const;
    // The CRC of samples [a, b): a below 11760 or at a track's start, b at a track's start or
    // within 5880 samples of CrcEnd().
    std::uint32_t RangeCrc(std::uint64_t a, std::uint64_t b) const;

    // Syndromes 0..npar-1 of one column of the audio shifted by offset.
    std::vector<std::uint16_t> Column(int npar, int column, int offset = 0) const;
    // All syndromes as the parity file orders them: for k, for every column, npar x 11760.
    std::vector<std::uint16_t> Syndromes(int npar, int offset = 0) const;

    // The disc CRC of the audio shifted by offset, with the fixes (word indexes in the shifted
    // audio's range) applied.
    std::uint32_t CorrectedCrc(int offset, const std::vector<WordFix>& fixes) const;
    // The same for a track's CRC (unshifted).
    std::uint32_t CorrectedTrackCrc(int i, const std::vector<WordFix>& fixes) const;

private:
    struct Segment {
        std::uint64_t start = 0, end = 0;  // samples
        std::uint32_t crc = 0;
    };
    void Words(const std::uint8_t* data, std::size_t words, std::uint64_t firstWord);
    void Crcs(const std::uint8_t* data, std::size_t size, std::uint64_t firstByte);
    std::uint32_t Prefix(std::uint64_t x) const;
    std::uint16_t Word(std::uint64_t index) const;  // from the kept strides
    std::uint16_t Evaluate(int column, int k) const;
    std::uint32_t FixesCrc(std::uint64_t rangeStart, std::uint64_t rangeEnd,
                           const std::vector<WordFix>& fixes) const;

    bool usable_ = false;
    std::uint64_t samples_ = 0, end_ = 0;
    int strides_ = 0;
    std::vector<std::uint64_t> trackStarts_;  // samples
    std::vector<Segment> segments_;           // CRCs between the cut points of [5880, E - 5880)
    std::vector<std::array<std::uint16_t, kMaxParityRows>> remainder_;
    std::vector<std::uint8_t> head_, tail_;  // samples [0, 11760) and [E - 5880, E + 5880)
    std::uint64_t pos_ = 0;                  // bytes seen
    std::uint8_t carry_ = 0;
    bool carried_ = false;
};

}  // namespace orvane::ctdb
