#include "encoder/cdda/offset_finder.h"

#include <algorithm>
#include <unordered_map>

namespace orvane::cdda {

OffsetFinder::OffsetFinder(const AccurateRipReply& reply, int audioTracks, int maxOffset)
    : reply_(reply),
      audioTracks_(audioTracks),
      maxOffset_(std::clamp(maxOffset, 0, kMaxOffsetSearch)),
      byOffset_(static_cast<std::size_t>(2 * maxOffset_ + 1)) {
    for (int o = -maxOffset_; o <= maxOffset_; ++o)
        byOffset_[static_cast<std::size_t>(o + maxOffset_)].offset = o;
}

bool OffsetFinder::HasEntries(int audioIndex) const {
    if (reply_.status != AccurateRipStatus::Found || audioIndex < 0) return false;
    const auto slot = static_cast<std::size_t>(audioIndex + std::max(0, reply_.slotOffset));
    for (const AccurateRipBlock& block : reply_.blocks)
        if (slot < block.tracks.size() && block.tracks[slot].first > 0) return true;
    return false;
}

void OffsetFinder::AddTrack(int audioIndex, const std::uint32_t* words, std::uint64_t totalWords) {
    if (!HasEntries(audioIndex)) return;
    // The entries' checksums and their best confidence.
    std::unordered_map<std::uint32_t, int> wanted;
    const auto slot = static_cast<std::size_t>(audioIndex + std::max(0, reply_.slotOffset));
    for (const AccurateRipBlock& block : reply_.blocks) {
        if (slot >= block.tracks.size() || block.tracks[slot].first <= 0) continue;
        int& best = wanted[block.tracks[slot].second];
        best = std::max(best, block.tracks[slot].first);
    }
    const bool first = audioIndex == 0, last = audioIndex == audioTracks_ - 1;
    const std::uint64_t lo = first ? kAccurateRipSkipWords : 1;
    const std::uint64_t hi =
        last ? (totalWords >= kAccurateRipSkipWords ? totalWords - kAccurateRipSkipWords : 0)
             : totalWords;
    if (hi < lo) return;  // nothing is summed: the track says nothing about the offset
    // words[m] is the track's word m - maxOffset_ (0-based); at correction o, weight k falls on
    // index x + k with x = maxOffset_ + o - 1.
    std::uint32_t sum = 0, plain = 0;
    for (std::uint64_t k = lo; k <= hi; ++k) {  // o = -maxOffset_: x = -1
        const std::uint32_t w = words[k - 1];
        sum += static_cast<std::uint32_t>(k) * w;
        plain += w;
    }
    const auto lo32 = static_cast<std::uint32_t>(lo), next32 = static_cast<std::uint32_t>(hi + 1);
    for (int o = -maxOffset_;; ++o) {
        if (auto it = wanted.find(sum); it != wanted.end()) {
            OffsetMatch& m = byOffset_[static_cast<std::size_t>(o + maxOffset_)];
            ++m.tracks;
            m.confidence += it->second;
        }
        if (o == maxOffset_) break;
        // x + 1 = o + maxOffset_: out is word x + lo, in is word x + hi + 1.
        const auto x1 = static_cast<std::uint64_t>(o + maxOffset_);
        const std::uint32_t out = words[x1 + lo - 1], in = words[x1 + hi];
        plain += in - out;
        sum += next32 * in - lo32 * out - plain;
    }
}

std::vector<OffsetMatch> OffsetFinder::Matches() const {
    std::vector<OffsetMatch> out;
    for (const OffsetMatch& m : byOffset_)
        if (m.tracks > 0) out.push_back(m);
    std::sort(out.begin(), out.end(), [](const OffsetMatch& a, const OffsetMatch& b) {
        if (a.tracks != b.tracks) return a.tracks > b.tracks;
        if (a.confidence != b.confidence) return a.confidence > b.confidence;
        return std::abs(a.offset) < std::abs(b.offset);
    });
    return out;
}

}  // namespace orvane::cdda
