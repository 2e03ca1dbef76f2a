// The rip log and cue sheet: the sheet read back with our own cue sheet reader gives the disc's
// layout again; the log and the final message's lines say what happened to every track.

#include "encoder/cdda/rip_log.h"

#include <gtest/gtest.h>

#include "platform/cdrom/cue_sheet.h"
#include "support/temp_dir.h"
#include "support/wave_util.h"

namespace orvane::cdda {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Three audio tracks: the second with a one-second pregap, the third with an INDEX 02.
cdrom::DiscInfo ThreeTracks() {
    cdrom::DiscInfo disc;
    disc.firstTrack = 1;
    disc.lastTrack = 3;
    disc.leadOut = 950;
    disc.catalog = "0123456789012";
    disc.title = "Night \"Songs\"";
    disc.performer = "The Band";
    const std::uint32_t starts[] = {0, 300, 750};
    for (int i = 0; i < 3; ++i) {
        cdrom::TrackInfo t;
        t.number = static_cast<std::uint8_t>(i + 1);
        t.start = starts[i];
        t.indexes = {starts[i]};
        disc.tracks.push_back(t);
    }
    disc.tracks[0].isrc = "USABC9900001";
    disc.tracks[0].title = "First";
    disc.tracks[1].pregap = 75;
    disc.tracks[1].title = "Second";
    disc.tracks[1].performer = "A Guest";
    disc.tracks[2].indexes.push_back(800);
    disc.tracks[2].title = "Third";
    cdrom::FillLengths(disc);
    return disc;
}

RipReport Report(const std::string& folder) {
    RipReport r;
    r.program = "orvane-cdda";
    r.version = "1.0";
    r.date = "2026-12-08 19:00:00";
    r.driveName = "IMAGE DRIVE";
    r.drivePath = "/dev/sr0";
    r.offset = 6;
    r.mode = "secure";
    r.disc = ThreeTracks();
    r.arId = ComputeAccurateRipId(r.disc);
    r.lookupMessage = "found 2 entries";
    for (const cdrom::TrackInfo& t : r.disc.tracks) {
        RipTrackReport track;
        track.number = t.number;
        track.file = folder + "/Track " + std::to_string(t.number) + ".wav";
        track.sums = {0x1000u + t.number, 0x2000u + t.number, 0x3000u + t.number};
        track.verdict = {AccurateRipResult::Match, 7, 2};
        r.tracks.push_back(track);
    }
    return r;
}

TEST(RipCue, ReadsBackAsTheDiscsLayout) {
    test::TempDir dir;
    const RipReport report = Report(dir.path().string());
    for (const cdrom::TrackInfo& t : report.disc.tracks) {
        test::WriteFile(dir / ("Track " + std::to_string(t.number) + ".wav"),
                        test::CanonicalWave(2, 44100, 16, t.length * cdrom::kFrameBytes));
    }
    std::string error;
    ASSERT_TRUE(WriteRipLogAndCue(dir.path().string(), "rip", report, error)) << error;
    const std::string cue = test::ReadFile(dir / "rip.cue");
    EXPECT_TRUE(Has(cue, "CATALOG 0123456789012\n")) << cue;
    EXPECT_TRUE(Has(cue, "    ISRC USABC9900001\n")) << cue;
    EXPECT_TRUE(Has(cue, "    INDEX 00 00:03:00\n")) << cue;  // 225 of track 1's 300 sectors
    EXPECT_TRUE(Has(cue, "TITLE \"Night 'Songs'\"\n")) << cue;

    cdrom::CueSheet sheet;
    ASSERT_TRUE(cdrom::LoadCueSheet((dir / "rip.cue").string(), sheet, error)) << error << cue;
    cdrom::DiscInfo back = cdrom::DiscInfoFromSheet(sheet);
    cdrom::DiscInfo want = report.disc;
    want.title = "Night 'Songs'";
    EXPECT_EQ(back, want) << cue;
}

TEST(RipCue, TitlesFromTheDatabaseAndAPregapNotRipped) {
    RipReport report = Report("/music");
    report.discTitle = "From CDDB";
    report.trackTitles = {"", "Song Two"};
    // The first audio track after a data track: its pregap is in no file.
    report.disc.tracks[0].audio = false;
    report.disc.tracks[1].pregap = 150;
    report.tracks.erase(report.tracks.begin());
    report.trackTitles.erase(report.trackTitles.begin());
    const std::string cue = FormatRipCue(report);
    EXPECT_TRUE(Has(cue, "TITLE \"From CDDB\"\n")) << cue;
    EXPECT_TRUE(Has(cue, "FILE \"Track 2.wav\" WAVE\n  TRACK 02 AUDIO\n    TITLE \"Song Two\"\n"))
        << cue;
    EXPECT_TRUE(Has(cue, "    PREGAP 00:02:00\n    INDEX 01 00:00:00\n")) << cue;
    EXPECT_TRUE(Has(cue, "    TITLE \"Third\"\n")) << cue;
    EXPECT_TRUE(Has(cue, "    INDEX 02 00:00:50\n")) << cue;
    EXPECT_FALSE(Has(cue, "INDEX 00")) << cue;
}

TEST(RipLog, SaysWhatHappenedToEveryTrack) {
    RipReport report = Report("/music");
    report.tracks[0].testCrc = 0x1001;  // same as the copy
    report.tracks[1].testCrc = 0xdead;
    report.tracks[1].verdict = {AccurateRipResult::Mismatch, 0, 0};
    report.tracks[1].suspicious = {305, 376};
    report.tracks[2].read = false;
    report.tracks[2].verdict = {};
    const std::string log = FormatRipLog(report);
    for (const char* part :
         {"orvane-cdda 1.0\n", "Drive: IMAGE DRIVE (/dev/sr0)\n",
          "Read offset correction: 6 samples\n", "Read mode: secure\n", "AccurateRip id: 003-",
          "AccurateRip lookup: found 2 entries\n", "Catalog number: 0123456789012\n",
          "      2        1  audio         300  00:06.00  00:01.00  \n", "  Lead-out at LBA 950\n",
          "  File: /music/Track 1.wav\n", "  CRC32: 00001001\n", "  Test CRC32: 00001001 (same)\n",
          "  Test CRC32: 0000dead (differs)\n", "  AccurateRip v1: 00002001  v2: 00003001\n",
          "  AccurateRip: accurately ripped (confidence 7, v2)\n",
          "  AccurateRip: checksum differs from the AccurateRip database\n",
          "  Suspicious sectors: LBA 305 (track 2, 00:00.05), LBA 376 (track 2, 00:01.01)\n",
          "  Not read\n",
          "Summary: 2 of 3 tracks read, 1 accurately ripped, 1 with suspicious sectors\n"})
        EXPECT_TRUE(Has(log, part)) << part << "\n" << log;

    const std::vector<std::string> lines = NotAccurateLines(report);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "Track 2: not accurately ripped (checksum differs from the AccurateRip database; "
              "suspicious sectors at LBA 305 (track 2, 00:00.05), LBA 376 (track 2, 00:01.01))");
    EXPECT_EQ(lines[1], "Track 3: not accurately ripped (not read)");
    report.tracks[1].verdict = {AccurateRipResult::NotFound, 0, 0};
    report.tracks[2] = report.tracks[0];
    EXPECT_EQ(NotAccurateLines(report),
              std::vector<std::string>{"Track 2: not accurately ripped (not in the AccurateRip "
                                       "database; suspicious sectors at LBA 305 (track 2, "
                                       "00:00.05), LBA 376 (track 2, 00:01.01))"});
}

TEST(RipLog, AFolderThatCannotBeWrittenIsReported) {
    test::TempDir dir;
    std::string error;
    EXPECT_FALSE(WriteRipLogAndCue((dir / "missing").string(), "rip", Report("x"), error));
    EXPECT_TRUE(Has(error, "rip.log")) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

}  // namespace
}  // namespace orvane::cdda
