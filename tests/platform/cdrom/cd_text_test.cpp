// CD-Text packs as READ TOC format 5 gives them, and the pregaps and index points found from
// the Q sub-channel.

#include "platform/cdrom/cd_text.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/cdrom/index_scan.h"

namespace orvane::cdrom {
namespace {

DiscInfo ThreeTracks() {
    DiscInfo disc;
    disc.firstTrack = 1;
    disc.lastTrack = 3;
    disc.title = "A Rather Long Album Title";
    disc.performer = "The Band";
    for (std::uint8_t n = 1; n <= 3; ++n) {
        TrackInfo t;
        t.number = n;
        disc.tracks.push_back(t);
    }
    disc.tracks[0].title = "One";
    disc.tracks[1].title = "Second Song Of The Disc";
    disc.tracks[2].title = "Caf\xC3\xA9";  // é, one byte in ISO 8859-1
    disc.tracks[0].performer = "Singer";
    disc.tracks[2].songwriter = "Writer";
    return disc;
}

DiscInfo Untitled(const DiscInfo& disc) {
    DiscInfo copy = disc;
    copy.title = copy.performer = copy.songwriter = "";
    for (TrackInfo& t : copy.tracks)
        t.title = t.performer = t.songwriter = "";
    return copy;
}

TEST(CdText, PacksCarryTheTextsWithTrackPositionAndCrc) {
    const DiscInfo disc = ThreeTracks();
    const std::vector<std::uint8_t> answer = EncodeCdText(disc);
    ASSERT_EQ((answer.size() - 4) % kCdTextPackBytes, 0u);
    EXPECT_EQ((answer[0] << 8) | answer[1], static_cast<int>(answer.size() - 2));
    // Titles: "A Rather Lon" | "g Album Titl" | "e\0One\0Secon" | ...
    const std::uint8_t* second = answer.data() + 4 + kCdTextPackBytes;
    EXPECT_EQ(second[0], 0x80);
    EXPECT_EQ(second[1], 0);   // the album's text goes on
    EXPECT_EQ(second[2], 1);   // sequence number
    EXPECT_EQ(second[3], 12);  // characters of that text in packs before
    const std::uint8_t* third = second + kCdTextPackBytes;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(third + 4), 12),
              std::string("e\0One\0Second", 12));
    // The size information closes the block: three packs of type 8Fh, the last sequence number.
    const std::uint8_t* size = answer.data() + answer.size() - 3 * kCdTextPackBytes;
    EXPECT_EQ(size[0], 0x8F);
    EXPECT_EQ(size[4], 0x00);  // ISO 8859-1
    EXPECT_EQ(size[6], 3);     // last track
    EXPECT_EQ(size[kCdTextPackBytes + 4 + 8], (answer.size() - 4) / kCdTextPackBytes - 1);
    for (std::size_t at = 4; at < answer.size(); at += kCdTextPackBytes) {
        const std::uint8_t* p = answer.data() + at;
        EXPECT_EQ(CdCrc(p, 16), (p[16] << 8) | p[17]);
    }

    DiscInfo read = Untitled(disc);
    ASSERT_TRUE(DecodeCdText(answer.data(), answer.size(), read));
    EXPECT_EQ(read, disc);

    // A disc without texts: the header alone, and nothing read from it.
    const std::vector<std::uint8_t> none = EncodeCdText(Untitled(disc));
    EXPECT_EQ(none, (std::vector<std::uint8_t>{0, 2, 0, 0}));
    DiscInfo empty = Untitled(disc);
    EXPECT_FALSE(DecodeCdText(none.data(), none.size(), empty));
}

// A disc whose first track is not 1 (the second disc of a set numbered on): the text after the
// disc's own belongs to its first track, also where both share a pack.
TEST(CdText, TheDiscsTextIsFollowedByItsFirstTracks) {
    DiscInfo disc = ThreeTracks();
    for (std::uint8_t i = 0; i < 3; ++i)
        disc.tracks[i].number = static_cast<std::uint8_t>(i + 5);
    disc.firstTrack = 5;
    disc.lastTrack = 7;
    disc.title = "Set";  // the disc's title and track 5's share the first pack
    disc.performer = "";
    const std::vector<std::uint8_t> answer = EncodeCdText(disc);
    DiscInfo read = Untitled(disc);
    ASSERT_TRUE(DecodeCdText(answer.data(), answer.size(), read));
    EXPECT_EQ(read, disc);
    // Without the size pack the table of contents tells the first track.
    DiscInfo noSize = Untitled(disc);
    std::vector<std::uint8_t> cut(answer.begin(), answer.end() - 3 * kCdTextPackBytes);
    cut[0] = static_cast<std::uint8_t>((cut.size() - 2) >> 8);
    cut[1] = static_cast<std::uint8_t>(cut.size() - 2);
    ASSERT_TRUE(DecodeCdText(cut.data(), cut.size(), noSize));
    EXPECT_EQ(noSize, disc);
}

TEST(CdText, DamagedOrStrangeAnswersLoseOnlyWhatTheyCannotTell) {
    const DiscInfo disc = ThreeTracks();
    std::vector<std::uint8_t> answer = EncodeCdText(disc);
    // The third title pack fails its CRC: the album title ends in it and track 2's starts in it,
    // so both are lost; track 1's title, whole in that pack too, is lost with it; track 3's
    // title and the other kinds are whole.
    answer[4 + 2 * kCdTextPackBytes + 6] ^= 0x01;
    DiscInfo read = Untitled(disc);
    ASSERT_TRUE(DecodeCdText(answer.data(), answer.size(), read));
    EXPECT_EQ(read.title, "");
    EXPECT_EQ(read.tracks[0].title, "");
    EXPECT_EQ(read.tracks[1].title, "");
    EXPECT_EQ(read.tracks[2].title, "Caf\xC3\xA9");
    EXPECT_EQ(read.performer, "The Band");
    EXPECT_EQ(read.tracks[0].performer, "Singer");
    EXPECT_EQ(read.tracks[2].songwriter, "Writer");

    // A length field beyond the data, a cut answer and a double-byte character set.
    answer = EncodeCdText(disc);
    answer[0] = 0xFF;
    read = Untitled(disc);
    EXPECT_TRUE(DecodeCdText(answer.data(), answer.size(), read));
    EXPECT_EQ(read.tracks[2].title, "Caf\xC3\xA9");
    EXPECT_FALSE(DecodeCdText(answer.data(), 3, read));
    answer = EncodeCdText(disc);
    std::uint8_t* size = answer.data() + answer.size() - 3 * kCdTextPackBytes;
    size[4] = 0x80;  // MS-JIS
    const std::uint16_t crc = CdCrc(size, 16);
    size[16] = static_cast<std::uint8_t>(crc >> 8);
    size[17] = static_cast<std::uint8_t>(crc);
    read = Untitled(disc);
    EXPECT_FALSE(DecodeCdText(answer.data(), answer.size(), read));

    // A text without end is cut at its bound; a lone tab repeats the text of the track before.
    DiscInfo longText = Untitled(disc);
    longText.tracks[0].title = std::string(400, 'x');
    longText.tracks[1].title = "\t";
    answer = EncodeCdText(longText);
    read = Untitled(disc);
    ASSERT_TRUE(DecodeCdText(answer.data(), answer.size(), read));
    EXPECT_EQ(read.tracks[0].title, std::string(kMaxCdTextBytes, 'x'));
    EXPECT_EQ(read.tracks[1].title, read.tracks[0].title);
}

// A disc whose sectors tell their Q positions from a map of boundaries: the first sector of
// each (track, index) run.
struct QDisc {
    std::map<std::uint32_t, QPosition> runs;
    std::uint32_t end = 0;
    std::vector<std::uint32_t> unreadable;
    int reads = 0;

    bool Read(std::uint32_t lba, QPosition& out) {
        ++reads;
        if (lba >= end) return false;
        for (std::uint32_t bad : unreadable) {
            if (bad == lba) return false;
        }
        out = std::prev(runs.upper_bound(lba))->second;
        return true;
    }
};

DiscInfo TocOf(std::vector<std::uint32_t> starts, std::uint32_t leadOut) {
    DiscInfo disc;
    disc.firstTrack = 1;
    disc.lastTrack = static_cast<std::uint8_t>(starts.size());
    disc.leadOut = leadOut;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        TrackInfo t;
        t.number = static_cast<std::uint8_t>(i + 1);
        t.start = starts[i];
        t.indexes = {starts[i]};
        disc.tracks.push_back(t);
    }
    disc.tracks[0].pregap = starts[0];
    FillLengths(disc);
    return disc;
}

TEST(IndexScan, FindsPregapsAndIndexPointsInFewReads) {
    QDisc q;
    q.end = 40000;
    q.runs = {{0, {1, 0}},         {150, {1, 1}},   {9000, {1, 2}},  {9300, {1, 3}},
              {19850, {2, 0}},     {20000, {2, 1}}, {30000, {3, 1}}, {30000 - 1, {2, 1}},
              {35000 - 3, {4, 0}}, {35000, {4, 1}}};
    q.unreadable = {19849, 19850, 19851};  // around track 2's pregap start: found all the same
    DiscInfo disc = TocOf({150, 20000, 30000, 35000}, 40000);
    ASSERT_TRUE(
        ScanIndexPoints(disc, [&](std::uint32_t lba, QPosition& out) { return q.Read(lba, out); }));
    EXPECT_EQ(disc.tracks[0].pregap, 150u);
    EXPECT_EQ(disc.tracks[0].indexes, (std::vector<std::uint32_t>{150, 9000, 9300}));
    EXPECT_EQ(disc.tracks[1].pregap, 148u);  // its first two sectors cannot be read
    EXPECT_EQ(disc.tracks[1].indexes, (std::vector<std::uint32_t>{20000}));
    EXPECT_EQ(disc.tracks[2].pregap, 0u);
    EXPECT_EQ(disc.tracks[3].pregap, 3u);
    EXPECT_EQ(disc.tracks[1].start, 20000u);  // INDEX 01 stays where the TOC has it
    EXPECT_LT(q.reads, 150);

    // A budget too small stops the scan, and says so.
    disc = TocOf({150, 20000, 30000, 35000}, 40000);
    q.reads = 0;
    EXPECT_FALSE(ScanIndexPoints(
        disc, [&](std::uint32_t lba, QPosition& out) { return q.Read(lba, out); }, 10));
    EXPECT_LE(q.reads, 10);

    // A drive that reads no Q at all leaves the table of contents as it was.
    const DiscInfo before = TocOf({150, 20000, 30000, 35000}, 40000);
    disc = before;
    EXPECT_TRUE(ScanIndexPoints(disc, [](std::uint32_t, QPosition&) { return false; }));
    EXPECT_EQ(disc, before);
}

TEST(IndexScan, QPositionsNeedModeOneAnIntactCrcAndDecimalDigits) {
    std::uint8_t q[12] = {0x01, 0x12, 0x03, 0, 0, 0, 0, 0, 0x02, 0};
    const std::uint16_t crc = CdCrc(q, 10);
    q[10] = static_cast<std::uint8_t>(crc >> 8);
    q[11] = static_cast<std::uint8_t>(crc);
    QPosition p;
    ASSERT_TRUE(ParseQPosition(q, p));
    EXPECT_EQ(p.track, 12);
    EXPECT_EQ(p.index, 3);
    q[2] = 0x04;
    EXPECT_FALSE(ParseQPosition(q, p));  // CRC no longer fits
    q[10] = q[11] = 0;                   // a drive that gives no CRC
    EXPECT_TRUE(ParseQPosition(q, p));
    EXPECT_EQ(p.index, 4);
    q[1] = 0x1A;
    EXPECT_FALSE(ParseQPosition(q, p));
    q[1] = 0x12;
    q[0] = 0x02;  // a catalog number frame
    EXPECT_FALSE(ParseQPosition(q, p));
}

}  // namespace
}  // namespace orvane::cdrom
