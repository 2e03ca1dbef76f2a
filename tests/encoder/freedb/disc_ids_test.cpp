// Disc identifiers against vectors computed apart from this code: the SHA-1 test messages of
// FIPS 180, the worked example of the MusicBrainz disc id documentation, and ids of enhanced and
// mixed-mode layouts computed by a separate reference (a script's hashlib and base64), and the
// ids the databases publish for a pressed enhanced CD and a pressed mixed-mode CD.

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

// Ids as the databases publish them for pressed discs, with the tables of contents their
// submitters read from the discs (offsets here without the 150-frame lead-in).
TEST(DiscIds, PublishedIdsOfPressedEnhancedAndMixedModeDiscs) {
    // Ten audio tracks, the audio session ending at 270185, a data session from 281585 (11400
    // sectors on) to the lead-out at 333651.
    std::vector<bool> audio(11, true);
    audio[10] = false;
    std::vector<int> sessions(11, 1);
    sessions[10] = 2;
    DiscInfo enhanced =
        Disc({0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305, 281585},
             333651, audio, sessions);
    EXPECT_EQ(enhanced.AudioLeadOut(), 270185u);
    EXPECT_EQ(MusicBrainzId(enhanced), "9AQWqQ0eCCwktwPPrIUIYkUw2Uo-");
    EXPECT_EQ(CddbId(enhanced), 0x9e11600bu);
    EXPECT_EQ(AccurateRipId(enhanced), "010-00164419-00b9f6e2-9e11600b");

    // A data track 1 before 28 audio tracks, one session.
    const std::vector<std::uint32_t> absolute = {
        150,    66728,  76502,  85963,  93760,  104048, 116066, 124743, 134206, 142916,
        151852, 160720, 169425, 178731, 188459, 196711, 206354, 214845, 223686, 225746,
        226384, 232668, 239447, 239931, 244989, 254264, 260066, 261222, 261674};
    std::vector<std::uint32_t> starts;
    for (std::uint32_t a : absolute)
        starts.push_back(a - 150);
    std::vector<bool> mixedAudio(absolute.size(), true);
    mixedAudio[0] = false;
    DiscInfo mixed = Disc(starts, 261976 - 150, mixedAudio);
    EXPECT_EQ(CddbId(mixed), 0xaf0da31du);
    EXPECT_EQ(AccurateRipId(mixed), "028-00517a54-05a845d2-af0da31d");
}

}  // namespace
}  // namespace orvane::freedb
