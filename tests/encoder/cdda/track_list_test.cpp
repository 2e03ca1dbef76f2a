#include "encoder/cdda/track_list.h"

#include <gtest/gtest.h>

#include "tests/encoder/cdda/transport_fixture.h"

namespace orvane::cdda {
namespace {

void SetToc(CdSession& s, const std::vector<std::pair<std::uint8_t, std::uint32_t>>& entries) {
    s.toc.count = static_cast<int>(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        s.toc.entries[i].adrControl = entries[i].first;
        s.toc.entries[i].trackNumber = static_cast<std::uint8_t>(i + 1);
        s.toc.entries[i].start = entries[i].second;
    }
    ComputeTrackArrays(s);
}

TEST(TrackList, LengthsSizesAndRows) {
    CdSession s;
    // A 4-minute audio track from address 0, a data track, the lead-out at 330000.
    SetToc(s, {{0x10, 0}, {0x14, 18000}, {0x10, 330000}});
    ASSERT_EQ(s.TrackCount(), 2);
    EXPECT_EQ(s.leadOut, 330000u);
    EXPECT_EQ(s.leadInSeconds, 2);
    EXPECT_EQ(s.trackBytes[0], 42336000u);
    EXPECT_EQ(s.trackSeconds[0], 240);
    EXPECT_EQ(DiscSizeText(s.leadOut), "776 MBytes");
    EXPECT_EQ(
        TrackRowTexts(s, 0, "Unknown", "Pop"),
        (std::vector<std::string>{"Track1", "0", "04:00", "42.3 MB", "Audio", "Unknown", "Pop"}));
    auto rom = TrackRowTexts(s, 1, "", "");
    EXPECT_EQ(rom[0], "Track2");
    EXPECT_EQ(rom[1], "1");
    EXPECT_EQ(rom[4], "ROM");
    // Every audio track is audio and every data track data, whatever flags they carry; the
    // ADR nibble does not decide.
    EXPECT_EQ(TrackTypeText(0x11), "Audio (pre-emphasis)");
    EXPECT_EQ(TrackTypeText(0x12), "Audio (copy permitted)");
    EXPECT_EQ(TrackTypeText(0x13), "Audio (pre-emphasis, copy permitted)");
    EXPECT_EQ(TrackTypeText(0x18), "Audio (four channels)");
    EXPECT_EQ(TrackTypeText(0x00), "Audio");
    EXPECT_EQ(TrackTypeText(0x16), "ROM (copy permitted)");
    EXPECT_EQ(TrackTypeText(0x15), "ROM");  // bit 0 of a data track is no pre-emphasis
    EXPECT_EQ(s.trackStartSeconds[1], 240);
    EXPECT_EQ(s.trackStartFrames[1], 0);

    // A disc starting later: the lead-in is its start in seconds.
    SetToc(s, {{0x10, 32 * 75 + 7}, {0x10, 40000}});
    EXPECT_EQ(s.leadInSeconds, 32);
    EXPECT_EQ(s.trackStartFrames[0], 7);
    // Starts that do not ascend give an empty track.
    SetToc(s, {{0x10, 500}, {0x10, 400}});
    EXPECT_EQ(s.trackBytes[0], 0u);
}

// The track list's disc is the one model every reader takes: an enhanced disc's data session,
// each track's flags and length, the lead-out, whatever ADR the drive reports; a refresh that
// finds no disc leaves none behind.
TEST(TrackList, DiscOfTheTableOfContents) {
    CdSession s;
    SetToc(s, {{0x13, 0}, {0x18, 1000}, {0x14, 1500 + cdrom::kSessionGapFrames}, {0x10, 15000}});
    ASSERT_EQ(s.TrackCount(), 3);
    const cdrom::DiscInfo& disc = s.disc;
    EXPECT_EQ(disc.leadOut, 15000u);
    EXPECT_EQ(disc.sessions, 2);
    EXPECT_EQ(disc.AudioLeadOut(), 1500u);
    EXPECT_EQ(disc.tracks[1].length, 500u);
    EXPECT_TRUE(disc.tracks[0].preemphasis && disc.tracks[0].copyPermitted);
    EXPECT_TRUE(disc.tracks[1].fourChannel);
    EXPECT_EQ(disc.tracks[1].adr, 1);
    EXPECT_FALSE(disc.tracks[2].audio);
    EXPECT_EQ(disc.tracks[2].session, 2);
    EXPECT_EQ(TrackRange(s, 1, false, 0).end, 1500u);
    EXPECT_EQ(TrackRowTexts(s, 0, "", "")[4], "Audio (pre-emphasis, copy permitted)");

    cdrom::Toc toc;
    toc.firstTrack = 1;
    toc.lastTrack = 3;
    toc.tracks = {
        {1, 1, 0x03, 0}, {2, 1, 0x08, 1000}, {3, 1, 0x04, 1500 + cdrom::kSessionGapFrames}};
    toc.leadOut = 15000;
    EXPECT_EQ(disc, cdrom::DiscInfoFromToc(toc));

    s.ForgetDisc();
    EXPECT_EQ(s.TrackCount(), 0);
    EXPECT_TRUE(s.disc.Empty());
}

TEST(TrackList, SelectionTotals) {
    CdSession s;
    SetToc(s, {{0x10, 0}, {0x10, 18000}, {0x10, 18000 + 270015}, {0x10, 300000}});
    SelectionTotals t = ComputeSelectionTotals(s, {true, true, false});
    EXPECT_EQ(t.countText, "2 Track(s) ");
    EXPECT_EQ(t.timeText, "01:04:00 ");  // 240 + 3600 seconds
    EXPECT_EQ(t.sizeText, "677.4 MB ");
    t = ComputeSelectionTotals(s, {false, false, false});
    EXPECT_EQ(t.countText, "0 Track(s) ");
    EXPECT_EQ(t.sizeText, "0.0 MB ");
    EXPECT_EQ(t.timeText, "00:00:00 ");
}

TEST(TrackList, RangesEndAtTheNextTrackAndNeverPastTheLeadOut) {
    CdSession s;
    SetToc(s, {{0x10, 0}, {0x10, 1000}, {0x10, 1500}});
    FrameRange r = TrackRange(s, 0, false, 0);
    EXPECT_EQ(r.start, 0u);
    EXPECT_EQ(r.end, 1000u);
    // Intro-only reads on into the next track, but not past the end of the disc.
    EXPECT_EQ(TrackRange(s, 0, true, 15).end, 1125u);
    EXPECT_EQ(TrackRange(s, 1, true, 15).end, 1500u);
    EXPECT_EQ(TrackRange(s, 2, false, 0).Frames(), 0u);  // no such track

    // An enhanced disc: the last audio track ends where its session does, not in the gap
    // before the data session.
    SetToc(s, {{0x10, 0}, {0x10, 1000}, {0x14, 1500 + 11400}, {0x14, 13000}});
    EXPECT_EQ(TrackRange(s, 1, false, 0).end, 1500u);
    EXPECT_EQ(TrackRange(s, 2, false, 0).end, 13000u);
    // Data followed by audio again is no second session: the range runs to the next track.
    SetToc(s, {{0x10, 0}, {0x14, 20000}, {0x10, 40000}, {0x10, 50000}});
    EXPECT_EQ(TrackRange(s, 0, false, 0).end, 20000u);
}

TEST(TrackList, TableOfContentsFromTheDrive) {
    test::TempDir dir;
    test::Transport t({test::ImageOf(dir, {18000})});
    CdSession s;
    ASSERT_EQ(DiscoverDrives(s.drives), 1);
    ASSERT_EQ(s.drives[0].ReadToc(s.toc), 1);
    EXPECT_EQ(s.toc.count, 2);  // data length 18: one track and the lead-out
    EXPECT_EQ(s.toc.entries[0].adrControl, 0x10);
    EXPECT_EQ(s.toc.entries[1].trackNumber, 0xAA);
    EXPECT_EQ(s.toc.entries[1].start, 18000u);
}

}  // namespace
}  // namespace orvane::cdda
