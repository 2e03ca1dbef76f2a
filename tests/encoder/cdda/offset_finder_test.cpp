// Offset finding on a disc read by a drive that delivers its samples late or early: the
// correction found is the one that gives the disc's samples back, checked against the
// checksums of the true tracks.

#include "encoder/cdda/offset_finder.h"

#include <gtest/gtest.h>

#include <random>

namespace orvane::cdda {
namespace {

constexpr std::uint64_t kTrackWords[] = {20 * 588, 13 * 588 + 0, 17 * 588};

struct Disc {
    std::vector<std::uint32_t> words;   // the disc's samples
    std::vector<std::uint64_t> starts;  // each track's first word
};

Disc MakeDisc(unsigned seed) {
    Disc disc;
    std::mt19937 random(seed);
    for (std::uint64_t n : kTrackWords) {
        disc.starts.push_back(disc.words.size());
        for (std::uint64_t i = 0; i < n; ++i)
            disc.words.push_back(static_cast<std::uint32_t>(random()));
    }
    return disc;
}

std::uint32_t V1(const std::uint32_t* words, std::uint64_t n, int index) {
    TrackChecksummer sums(index == 0, index == 2, n);
    std::vector<std::uint8_t> bytes(n * 4);
    for (std::uint64_t i = 0; i < n; ++i)
        for (int b = 0; b < 4; ++b)
            bytes[4 * i + static_cast<std::uint64_t>(b)] =
                static_cast<std::uint8_t>(words[i] >> (8 * b));
    sums.Update(bytes.data(), bytes.size());
    return sums.Finish().arV1;
}

// One pressing's entry: the v1 sums of the disc's tracks.
AccurateRipBlock Entry(const Disc& disc, int confidence) {
    AccurateRipBlock block;
    for (int t = 0; t < 3; ++t)
        block.tracks.emplace_back(
            confidence,
            V1(disc.words.data() + disc.starts[static_cast<std::size_t>(t)], kTrackWords[t], t));
    return block;
}

// What a drive needing a correction of +late delivers: sample j of the read is sample
// j - late of the disc, zeros outside it.
std::uint32_t Delivered(const Disc& disc, std::int64_t j, int late) {
    const std::int64_t at = j - late;
    return at < 0 || at >= static_cast<std::int64_t>(disc.words.size())
               ? 0
               : disc.words[static_cast<std::size_t>(at)];
}

std::vector<OffsetMatch> Find(const Disc& disc, const AccurateRipReply& reply, int late,
                              int maxOffset = kMaxOffsetSearch) {
    OffsetFinder finder(reply, 3, maxOffset);
    for (int t = 0; t < 3; ++t) {
        const auto start = static_cast<std::int64_t>(disc.starts[static_cast<std::size_t>(t)]);
        std::vector<std::uint32_t> words;
        for (std::int64_t j = start - maxOffset;
             j < start + static_cast<std::int64_t>(kTrackWords[t]) + maxOffset; ++j)
            words.push_back(Delivered(disc, j, late));
        finder.AddTrack(t, words.data(), kTrackWords[t]);
    }
    return finder.Matches();
}

TEST(OffsetFinder, FindsTheCorrectionOfADriveReadingEarlyOrLate) {
    const Disc disc = MakeDisc(7);
    AccurateRipReply reply;
    reply.status = AccurateRipStatus::Found;
    reply.blocks = {Entry(disc, 9)};
    for (int late : {0, 6, -6, 667, -1164, 1, 2940, -2940}) {
        const std::vector<OffsetMatch> found = Find(disc, reply, late);
        ASSERT_FALSE(found.empty()) << late;
        EXPECT_EQ(found[0].offset, late);
        EXPECT_EQ(found[0].tracks, 3) << late;
        EXPECT_EQ(found[0].confidence, 27) << late;
        // Random samples: no other correction matches anything.
        EXPECT_EQ(found.size(), 1u) << late;
    }
}

TEST(OffsetFinder, RanksPressingsAndIgnoresTracksWithoutEntries) {
    const Disc disc = MakeDisc(8);
    // A second pressing: the same music cut 30 samples later onto the disc.
    Disc shifted = disc;
    shifted.words.assign(disc.words.size(), 0);
    for (std::size_t i = 30; i < disc.words.size(); ++i)
        shifted.words[i] = disc.words[i - 30];
    AccurateRipReply reply;
    reply.status = AccurateRipStatus::Found;
    reply.blocks = {Entry(shifted, 40), Entry(disc, 3)};
    // The middle track has no entry in the second pressing.
    reply.blocks[0].tracks[1].first = 0;
    const std::vector<OffsetMatch> found = Find(disc, reply, 100);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].offset, 100);
    EXPECT_EQ(found[0].tracks, 3);
    EXPECT_EQ(found[1].offset, 70);
    EXPECT_EQ(found[1].tracks, 2);
    EXPECT_EQ(found[1].confidence, 80);

    // Beyond the searched range nothing is found; nothing is looked at without entries.
    EXPECT_TRUE(Find(disc, reply, 500, 400).empty());
    AccurateRipReply none;
    none.status = AccurateRipStatus::NotFound;
    EXPECT_TRUE(Find(disc, none, 0).empty());
}

}  // namespace
}  // namespace orvane::cdda
