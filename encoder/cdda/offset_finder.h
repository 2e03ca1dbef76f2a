#pragma once
// Finding a drive's read offset from a disc in the AccurateRip database: every correction in
// -maxOffset..+maxOffset is tried on the tracks as the drive read them, and a correction is
// right when the tracks' checksums at it are those others ripped.
//
// A track's v1 sum at correction o is S(o) = sum over k = lo..hi of k * w[x + k], where w are
// the words as delivered and x = the track's first word + o - 1. Moving to o + 1 drops word
// x + lo, takes in word x + hi + 1 and lowers every weight by one:
//   S(o + 1) = S(o) - lo * w[x + lo] + (hi + 1) * w[x + hi + 1] - W(o + 1),
// W being the plain sum of the window's words, itself updated by one word out and one in. So
// one pass over the track and two words a step cover every offset. (The v2 sum has no such
// step; entries are compared with v1, which every pressing in the database has.)

#include <cstdint>
#include <vector>

#include "encoder/cdda/accuraterip.h"

namespace orvane::cdda {

// The widest correction searched, in samples.
constexpr int kMaxOffsetSearch = rip::kFiveSectorSamples;

struct OffsetMatch {
    int offset = 0;      // the correction in samples
    int tracks = 0;      // tracks whose v1 sum matched an entry at it
    int confidence = 0;  // sum of those tracks' best confidences
};

class OffsetFinder {
public:
    // reply: the disc's entries (found); audioTracks: the disc's audio track count.
    OffsetFinder(const AccurateRipReply& reply, int audioTracks, int maxOffset = kMaxOffsetSearch);

    // One audio track as the drive delivered it without correction: words holds
    // maxOffset words before the track's first word, its totalWords words and maxOffset words
    // after them (zeros where the disc has none). audioIndex: zero-based among the audio
    // tracks; the first and last get their skips.
    void AddTrack(int audioIndex, const std::uint32_t* words, std::uint64_t totalWords);

    // The corrections at which any track matched, most tracks first, then most confidence,
    // then the smallest correction.
    std::vector<OffsetMatch> Matches() const;
    // Whether the reply has entries to compare a track with.
    bool HasEntries(int audioIndex) const;

private:
    AccurateRipReply reply_;
    int audioTracks_;
    int maxOffset_;
    std::vector<OffsetMatch> byOffset_;  // index: offset + maxOffset
};

}  // namespace orvane::cdda
