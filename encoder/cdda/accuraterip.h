#pragma once
// Verifying ripped tracks against the AccurateRip database: the per-track checksums (CRC-32
// and the database's v1 and v2 sums), the disc's database id and fingerprint, the lookup of
// the disc's entry over HTTP and the comparison of a track's sums with what others ripped.
//
// The checksums take a track's samples as 32-bit words, left sample in the low 16 bits, right
// in the high 16 bits, exactly as the bytes lie in the WAVE data. Word k (from 1) is weighted
// by k; on the disc's first audio track the words before k = 2940 are left out, on its last
// audio track those after N - 2940 (N the track's word count), where drives disagree most.
//   v1 = sum of k*w mod 2^32,  v2 = sum of (low 32 bits of k*w + high 32 bits of k*w) mod 2^32.
//
// The database keys a disc by the start addresses of its audio tracks (logical blocks, without
// the 150-frame lead-in) and the disc's real lead-out, plus its CDDB id. Its reply is a list of
// blocks, one per pressing: a track count, the three ids, then per track a confidence (how
// many rips agreed) and the checksum.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "encoder/rip/audio_drive.h"
#include "platform/cdrom/disc_info.h"

namespace orvane::cdda {

// Samples (words) left out at the start of the first and the end of the last audio track.
constexpr std::uint64_t kAccurateRipSkipWords = rip::kFiveSectorSamples;
using rip::kSamplesPerSector;

struct TrackChecksums {
    std::uint32_t crc32 = 0, arV1 = 0, arV2 = 0;
    bool operator==(const TrackChecksums&) const = default;
};

// Streams one track's bytes (16-bit stereo little-endian as in the WAVE data), split anywhere:
// a word cut between two calls is completed by the next. The CRC-32 covers every byte given;
// the AccurateRip sums cover whole words only.
class TrackChecksummer {
public:
    // first/last: the first or last audio track of the disc; totalWords: the track's sample
    // pair count N (it places the last track's skip).
    TrackChecksummer(bool firstAudioTrack, bool lastAudioTrack, std::uint64_t totalWords);
    void Update(const std::uint8_t* data, std::size_t size);
    TrackChecksums Finish() const;
    // Words seen so far.
    std::uint64_t Words() const { return k_; }

private:
    void UpdateSums(const std::uint8_t* data, std::size_t size);
    void Sum(const std::uint8_t* data, std::size_t words);

    std::uint64_t lo_;  // the first k counted
    std::uint64_t hi_;  // the last k counted (0 with lo_ 1: none)
    std::uint64_t k_ = 0;
    std::uint32_t crc_;
    std::uint32_t v1_ = 0, v2_ = 0;
    std::uint8_t carry_[4] = {};
    std::size_t carried_ = 0;
};

struct AccurateRipId {
    int audioTracks = 0;
    std::uint32_t id1 = 0, id2 = 0, freedbId = 0;
    // Data tracks before the first audio track (a mixed-mode disc): the database's blocks keep
    // a slot for each, so the audio tracks' checksums come after them.
    int leadingDataTracks = 0;

    bool operator==(const AccurateRipId&) const = default;
    // "nnn-xxxxxxxx-xxxxxxxx-xxxxxxxx": audio track count, id1, id2, CDDB id.
    std::string Fingerprint() const;
    // <server>/accuraterip/<id1 & 0xF>/<(id1 >> 4) & 0xF>/<(id1 >> 8) & 0xF>/dBAR-<fp>.bin
    std::string Url(const std::string& server) const;
};

// id1 = sum of the audio tracks' starts + L, id2 = sum of max(start, 1) * t + L * (n + 1), with
// t = 1..n over the audio tracks and L the disc's real lead-out (after a data session too).
AccurateRipId ComputeAccurateRipId(const cdrom::DiscInfo& disc);

constexpr const char* kDefaultAccurateRipServer = "http://www.accuraterip.com";
// The largest reply taken (a block is at most 13 + 255 * 9 bytes).
constexpr std::size_t kMaxAccurateRipReplyBytes = 1u << 20;

struct AccurateRipBlock {
    std::uint32_t id1 = 0, id2 = 0, freedbId = 0;
    std::vector<std::pair<int, std::uint32_t>> tracks;  // confidence, checksum
};

enum class AccurateRipStatus { Found, NotFound, Unavailable };

struct AccurateRipReply {
    AccurateRipStatus status = AccurateRipStatus::Unavailable;
    std::string message;  // one line for the log: what was found or what went wrong
    std::vector<AccurateRipBlock> blocks;
    // Slots in each block before the first audio track's (AccurateRipId::leadingDataTracks).
    int slotOffset = 0;
};

// Parses a reply body. Blocks are taken only as far as the length holds them whole; a body
// with a cut block, or larger than kMaxAccurateRipReplyBytes, is Unavailable with a message;
// an empty body is NotFound.
AccurateRipReply ParseAccurateRipReply(const std::uint8_t* data, std::size_t size);

// Fetches the disc's entry from server ("http://host[:port][/path]"). 404 is NotFound; no
// network, a refusal, a time-out, a cancel or a malformed reply is Unavailable with the
// reason. cancelled() is polled at least every 100 ms; the whole exchange takes at most about
// timeoutSeconds (plus the connection's own limit).
AccurateRipReply LookupAccurateRip(const std::string& server, const AccurateRipId& id,
                                   const std::function<bool()>& cancelled, int timeoutSeconds = 20);

enum class AccurateRipResult { Match, Mismatch, NotFound, Unavailable };

struct AccurateRipVerdict {
    AccurateRipResult result = AccurateRipResult::Unavailable;
    int confidence = 0;  // best confidence among the matching entries, 0 when none
    int version = 0;     // 1 or 2: the sum that matched (v2 when both did); 0 when none
};

// "match" "mismatch" "not-found" "unavailable".
const char* ToString(AccurateRipResult result);

// Compares a track's sums with every block of the reply. audioIndex: zero-based among the
// disc's audio tracks. Entries of confidence 0 are no entries. A track without entries in a
// reply that was found is NotFound.
AccurateRipVerdict MatchTrack(const AccurateRipReply& reply, int audioIndex,
                              const TrackChecksums& sums);

}  // namespace orvane::cdda
