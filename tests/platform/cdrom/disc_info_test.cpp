// What a disc holds beyond its track list, as image drives read it from cue sheets.

#include "platform/cdrom/disc_info.h"

#include <gtest/gtest.h>

#include "platform/cdrom/image_drive.h"
#include "tests/platform/cdrom/ripper_sheet.h"

namespace orvane::cdrom {
namespace {

// The control nibble's flags: pre-emphasis and four channels belong to audio tracks only, the
// ADR nibble never counts, and a track's flags give back the nibble they came from.
TEST(TrackControl, FlagsOfTheControlNibble) {
    const TrackControl audio = TrackControl::FromAdrControl(0x1B);
    EXPECT_TRUE(audio.Audio());
    EXPECT_TRUE(audio.PreEmphasis() && audio.CopyPermitted() && audio.FourChannel());
    const TrackControl data = TrackControl::FromAdrControl(0x2D);
    EXPECT_TRUE(data.Data());
    EXPECT_FALSE(data.PreEmphasis() || data.FourChannel() || data.CopyPermitted());
    EXPECT_EQ(TrackControl::AdrOf(0x2D), 2);

    TrackInfo t;
    t.SetControl(TrackControl{kControlPreEmphasis | kControlFourChannel});
    EXPECT_TRUE(t.audio && t.preemphasis && t.fourChannel && !t.copyPermitted);
    EXPECT_EQ(t.Control().bits, kControlPreEmphasis | kControlFourChannel);
    t.SetControl(TrackControl{kControlData | kControlPreEmphasis | kControlCopyPermitted});
    EXPECT_FALSE(t.audio || t.preemphasis);
    EXPECT_EQ(t.Control().bits, kControlData | kControlCopyPermitted);
}

TEST(DiscInfoFromCueSheet, PregapsIndexesCodesFlagsTextsAndSessions) {
    test::TempDir dir;
    std::string error;
    auto drive = ImageDrive::Open(test::WriteRipperSheet(dir), error);
    ASSERT_TRUE(drive) << error;
    DiscInfo disc;
    ASSERT_TRUE(drive->ReadDiscInfo(disc).ok);
    EXPECT_EQ(disc.catalog, "0724384260521");
    EXPECT_EQ(disc.title, "The Album");
    EXPECT_EQ(disc.performer, "The Band");
    EXPECT_EQ(disc.sessions, 2);
    EXPECT_EQ(disc.leadOut, 11910u);
    EXPECT_EQ(disc.AudioLeadOut(), 460u);
    ASSERT_EQ(disc.tracks.size(), 4u);

    const TrackInfo& one = disc.tracks[0];
    EXPECT_EQ(one.start, 33u);
    EXPECT_EQ(one.pregap, 33u);  // the hidden audio before track 1
    EXPECT_EQ(one.indexes, (std::vector<std::uint32_t>{33, 150}));
    EXPECT_EQ(one.length, 267u);  // up to track 2's INDEX 01, its INDEX 00 stretch included
    EXPECT_EQ(one.isrc, "USABC0000001");
    EXPECT_TRUE(one.preemphasis);
    EXPECT_TRUE(one.copyPermitted);
    EXPECT_EQ(one.title, "One\\Back");
    EXPECT_EQ(one.performer, "Singer");
    EXPECT_EQ(one.songwriter, "Writer");

    const TrackInfo& two = disc.tracks[1];
    EXPECT_EQ(two.start, 300u);
    EXPECT_EQ(two.pregap, 75u);  // INDEX 00 at the end of the file before
    EXPECT_EQ(two.length, 85u);
    EXPECT_EQ(two.isrc, "");  // not twelve characters: no ISRC
    EXPECT_FALSE(two.preemphasis);
    EXPECT_EQ(two.title, "Two");
    EXPECT_EQ(two.performer, "");

    const TrackInfo& three = disc.tracks[2];
    EXPECT_EQ(three.start, 385u);
    EXPECT_EQ(three.pregap, 10u);
    EXPECT_EQ(three.length, 75u);  // to the end of the first session, not into the gap
    EXPECT_FALSE(three.copyPermitted);
    EXPECT_EQ(three.session, 1);

    const TrackInfo& data = disc.tracks[3];
    EXPECT_FALSE(data.audio);
    EXPECT_EQ(data.session, 2);
    EXPECT_EQ(data.start, 460u + kSessionGapFrames);
    EXPECT_EQ(data.length, 50u);

    // The table of contents carries the flags in the control bits, as a disc's does.
    Toc toc;
    ASSERT_TRUE(drive->ReadToc(toc).ok);
    EXPECT_EQ(toc.tracks[0].control, kControlPreEmphasis | kControlCopyPermitted);
    EXPECT_EQ(toc.tracks[3].control, kControlData);
    // Audio reads across the file boundary and the generated pregap stay where they were.
    std::vector<std::uint8_t> buf(3 * kFrameBytes);
    ASSERT_TRUE(drive->ReadCdda(299, 3, buf.data()).ok);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + 2 * kFrameBytes), test::PatternFrames(299, 2));
    ASSERT_TRUE(drive->ReadCdda(384, 2, buf.data()).ok);
    EXPECT_EQ(buf[5], 0);
    EXPECT_EQ(std::string(buf.begin() + kFrameBytes, buf.begin() + 2 * kFrameBytes),
              test::PatternFrames(375, 1));

    // Without a disc there is nothing to tell.
    FaultPlan plan;
    plan.noDisc = true;
    drive->SetFaults(plan);
    EXPECT_TRUE(drive->ReadDiscInfo(disc).NoMedium());
}

TEST(DiscInfoFromToc, SessionsAreInferredOnlyForTrailingDataAfterTheGap) {
    Toc toc;
    toc.firstTrack = 1;
    toc.lastTrack = 3;
    // A mixed-mode disc: the data track comes first, all in one session.
    toc.tracks = {{1, 1, kControlData, 0}, {2, 1, 0, 20000}, {3, 1, kControlPreEmphasis, 40000}};
    toc.leadOut = 50000;
    DiscInfo mixed = DiscInfoFromToc(toc);
    EXPECT_EQ(mixed.sessions, 1);
    EXPECT_EQ(mixed.AudioLeadOut(), 50000u);
    EXPECT_EQ(mixed.FirstAudioTrack(), 2);
    EXPECT_TRUE(mixed.tracks[2].preemphasis);
    EXPECT_EQ(mixed.tracks[2].length, 10000u);
    // A data track at the end that follows too closely for a second session stays in the first.
    toc.tracks = {{1, 1, 0, 0}, {2, 1, 0, 20000}, {3, 1, kControlData, 25000}};
    DiscInfo close = DiscInfoFromToc(toc);
    EXPECT_EQ(close.sessions, 1);
    EXPECT_EQ(close.tracks[1].length, 5000u);
}

}  // namespace
}  // namespace orvane::cdrom
