// Disc identifiers against vectors computed apart from this code: the SHA-1 test messages of
// FIPS 180, the worked example of the MusicBrainz disc id documentation, and ids of enhanced and
// mixed-mode layouts computed by a separate reference (a script's hashlib and base64).

#include "encoder/freedb/disc_ids.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace orvane::freedb {
namespace {

using cdrom::DiscInfo;
using cdrom::TrackInfo;

std::string Hex(const std::array<std::uint8_t, 20>& digest) {
    std::string out;
    for (std::uint8_t b : digest) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

// A disc from its tracks' starts, data flags and sessions, with lengths filled in.
DiscInfo Disc(std::vector<std::uint32_t> starts, std::uint32_t leadOut,
              std::vector<bool> audio = {}, std::vector<int> sessions = {}) {
    DiscInfo disc;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        TrackInfo t;
        t.number = static_cast<std::uint8_t>(i + 1);
        t.start = starts[i];
        t.indexes = {starts[i]};
        t.audio = audio.empty() || audio[i];
        t.session = sessions.empty() ? 1 : sessions[i];
        disc.sessions = std::max(disc.sessions, t.session);
        disc.tracks.push_back(t);
    }
    disc.firstTrack = 1;
    disc.lastTrack = static_cast<std::uint8_t>(starts.size());
    disc.leadOut = leadOut;
    cdrom::FillLengths(disc);
    return disc;
}

TEST(Sha1, StandardTestMessages) {
    EXPECT_EQ(Hex(Sha1("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Hex(Sha1("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    // 56 bytes: the length no longer fits the first block.
    EXPECT_EQ(Hex(Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
}

TEST(DiscIds, AnAudioDisc) {
    // Offsets 150 15363 32314 46592 63414 80489, lead-out 95462 on the disc's time scale.
    DiscInfo disc = Disc({0, 15213, 32164, 46442, 63264, 80339}, 95312);
    EXPECT_EQ(MusicBrainzId(disc), "49HHV7Eb8UKF3aQiNmu1GR8vKTY-");
    EXPECT_EQ(CddbId(disc), 0x3404f606u);
    EXPECT_EQ(AccurateRipId(disc), "006-000513be-001b2231-3404f606");
}

TEST(DiscIds, EnhancedDiscLeavesTheDataSessionToTheRightIds) {
    // Audio at 0 and 300, the first session ending at 450, data 11400 sectors later.
    DiscInfo disc = Disc({0, 300, 11850}, 11950, {true, true, false}, {1, 1, 2});
    EXPECT_EQ(disc.AudioLeadOut(), 450u);
    EXPECT_EQ(MusicBrainzId(disc), "WfJHae5rTkDD0J83JFeNc38cr20-");
    EXPECT_EQ(CddbId(disc), 0x0f009f03u);
    EXPECT_EQ(AccurateRipId(disc), "002-00002fda-00008e63-0f009f03");
    // The same disc known from its table of contents alone.
    cdrom::Toc toc;
    toc.firstTrack = 1;
    toc.lastTrack = 3;
    toc.tracks = {{1, 1, 0, 0}, {2, 1, 0, 300}, {3, 1, 4, 11850}};
    toc.leadOut = 11950;
    EXPECT_EQ(cdrom::DiscInfoFromToc(toc), disc);
}

TEST(DiscIds, MixedModeDiscKeepsItsDataTrackForTheDatabasesThatCountIt) {
    DiscInfo disc = Disc({0, 1000, 1300}, 1500, {false, true, true});
    EXPECT_EQ(MusicBrainzId(disc), "WVUe4AyZ9LnUYJTMrSSXwpKLHSE-");
    EXPECT_EQ(CddbId(disc), 0x12001403u);
    EXPECT_EQ(AccurateRipId(disc), "002-00000ed8-00001fa4-12001403");
}

}  // namespace
}  // namespace orvane::freedb
