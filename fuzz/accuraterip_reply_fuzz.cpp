// Replies of the verification database, read as the rip reads them: whole blocks only, every
// byte of a reply taken is a byte of a block, and a track's verdict against any reply is one of
// the four with a confidence only where it matched.

#include <cstdint>
#include <cstring>

#include "encoder/cdda/accuraterip.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    namespace cdda = orvane::cdda;
    const cdda::AccurateRipReply reply = cdda::ParseAccurateRipReply(data, size);
    Check(!reply.message.empty(), "every reply says what it holds");
    Check(reply.message.find('\n') == std::string::npos, "the log line is one line");
    std::size_t bytes = 0;
    for (const cdda::AccurateRipBlock& block : reply.blocks) {
        Check(block.tracks.size() <= 255, "a block holds at most 255 tracks");
        bytes += 13 + 9 * block.tracks.size();
    }
    switch (reply.status) {
        case cdda::AccurateRipStatus::Found:
            Check(!reply.blocks.empty() && bytes == size, "a reply found is its blocks, whole");
            break;
        case cdda::AccurateRipStatus::NotFound:
            Check(size == 0 && reply.blocks.empty(), "only an empty reply finds nothing");
            break;
        case cdda::AccurateRipStatus::Unavailable:
            Check(size > 0, "an empty reply is no damaged one");
            break;
    }
    // In a reply found, the first block's first entry matches its own sum (or a surer entry
    // matches another); sums from the input's last bytes give a verdict in range.
    cdda::TrackChecksums sums;
    if (size >= 8) {
        std::memcpy(&sums.arV1, data + size - 8, 4);
        std::memcpy(&sums.arV2, data + size - 4, 4);
    }
    if (reply.status == cdda::AccurateRipStatus::Found && !reply.blocks[0].tracks.empty()) {
        const auto [confidence, checksum] = reply.blocks[0].tracks[0];
        cdda::TrackChecksums own = sums;
        own.arV2 = checksum;
        const cdda::AccurateRipVerdict verdict = cdda::MatchTrack(reply, 0, own);
        if (confidence > 0)
            Check(verdict.result == cdda::AccurateRipResult::Match &&
                      verdict.confidence >= confidence,
                  "an entry matches its own sum");
    }
    for (int track = 0; track < 3; ++track) {
        const cdda::AccurateRipVerdict verdict = cdda::MatchTrack(reply, track, sums);
        const bool matched = verdict.result == cdda::AccurateRipResult::Match;
        Check(matched == (verdict.confidence > 0), "a confidence goes with a match only");
        Check(matched ? verdict.version == 1 || verdict.version == 2 : verdict.version == 0,
              "a match names the sum that matched");
        Check(reply.status == cdda::AccurateRipStatus::Found ||
                  verdict.result != cdda::AccurateRipResult::Match,
              "only a reply found matches");
    }
    return 0;
}
