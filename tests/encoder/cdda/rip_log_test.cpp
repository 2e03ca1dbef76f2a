// The rip log and cue sheet: the sheet read back with our own cue sheet reader gives the disc's
// layout again; the log and the final message's lines say what happened to every track.

#include "encoder/cdda/rip_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

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
    ASSERT_EQ(WriteRipLogAndCue(dir.path().string(), "rip", report, error), "rip") << error;
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
    EXPECT_EQ(WriteRipLogAndCue((dir / "missing").string(), "rip", Report("x"), error), "");
    EXPECT_TRUE(Has(error, "rip.log")) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(RipLog, WithoutTheDatabaseSaysSoOnceAndJudgesNoTrack) {
    RipReport report = Report("/music");
    report.accurateRipAsked = false;
    report.lookupMessage.clear();
    for (RipTrackReport& t : report.tracks)
        t.verdict = {};
    report.tracks[1].suspicious = {305};
    report.tracks[2].read = false;
    const std::string log = FormatRipLog(report);
    EXPECT_EQ(Count(log, "AccurateRip: "), 1u) << log;
    EXPECT_TRUE(Has(log, "\nAccurateRip: not asked for\n")) << log;
    EXPECT_FALSE(Has(log, "unavailable")) << log;
    EXPECT_FALSE(Has(log, "accurately ripped")) << log;
    // The checksums are the rip's own and stay, for a later check.
    EXPECT_TRUE(Has(log, "  AccurateRip v1: 00002001  v2: 00003001\n")) << log;
    EXPECT_TRUE(Has(log, "Summary: 2 of 3 tracks read, 1 with suspicious sectors\n")) << log;
    // Only the drive's own doubts reach the final message.
    EXPECT_EQ(NotAccurateLines(report),
              std::vector<std::string>{"Track 2: not accurately ripped (suspicious sectors at "
                                       "LBA 305 (track 2, 00:00.05))"});
}

TEST(RipLog, TextsFromOutsideStayOnTheirLines) {
    RipReport report = Report("/music");
    // A database title that would forge a verdict, a drive name with a carriage return, a C1
    // line break and a line separator, an ISRC from a broken disc.
    report.trackTitles = {"ok\n  AccurateRip: OK", "tab\there", "esc\x1b[2J"};
    report.driveName = "ACME\rDrive\xc2\x85x\xe2\x80\xa8y";
    report.disc.tracks[0].isrc = "US\nABC99001";
    report.disc.catalog = "01234\n6789012";
    const std::string log = FormatRipLog(report);
    EXPECT_TRUE(Has(log, "  Title: ok\\n  AccurateRip: OK\n")) << log;
    EXPECT_TRUE(Has(log, "  Title: tab\\there\n")) << log;
    EXPECT_TRUE(Has(log, "  Title: esc\\x1b[2J\n")) << log;
    EXPECT_TRUE(Has(log, "Drive: ACME\\rDrive\\u0085x\\u2028y (/dev/sr0)\n")) << log;
    EXPECT_TRUE(Has(log, "Catalog number: 01234\\n6789012\n")) << log;
    // Every verdict line is the log's own: one per track.
    std::size_t verdicts = 0;
    for (std::size_t at = 0, end; at < log.size(); at = end + 1) {
        end = log.find('\n', at);
        if (end == std::string::npos) end = log.size();
        verdicts += log.compare(at, 15, "  AccurateRip: ") == 0;
        EXPECT_EQ(log.find_first_of("\r\x1b", at), std::string::npos);
    }
    EXPECT_EQ(verdicts, report.tracks.size()) << log;

    const std::string cue = FormatRipCue(report);
    EXPECT_TRUE(Has(cue, "    TITLE \"ok   AccurateRip: OK\"\n")) << cue;
    EXPECT_TRUE(Has(cue, "    TITLE \"tab here\"\n")) << cue;
    EXPECT_TRUE(Has(cue, "    TITLE \"esc [2J\"\n")) << cue;
    // Codes that do not have their shape are left out rather than break the sheet.
    EXPECT_FALSE(Has(cue, "ISRC")) << cue;
    EXPECT_FALSE(Has(cue, "CATALOG")) << cue;
    EXPECT_EQ(cue.find_first_of("\r\t\x1b"), std::string::npos) << cue;
}

TEST(RipCue, AudioBeforeTheFirstTrackIsInAFileOfItsOwnAndSilenceIsAPregap) {
    test::TempDir dir;
    // Track 1 starts 150 sectors into the disc; the audio before it was ripped as track 0.
    RipReport report = Report(dir.path().string());
    for (int i = 0; i < 3; ++i) {
        report.disc.tracks[static_cast<std::size_t>(i)].start += 150;
        report.disc.tracks[static_cast<std::size_t>(i)].indexes[0] += 150;
    }
    report.disc.tracks[2].indexes[1] += 150;
    report.disc.tracks[0].pregap = 150;
    report.disc.leadOut += 150;
    cdrom::FillLengths(report.disc);
    RipLeadingGap gap;
    gap.track = 1;
    gap.frames = 150;
    gap.rip.file = dir.path().string() + "/Track0.WAV";
    gap.rip.sums.crc32 = 0xabcdef01;
    report.leadingGap = gap;
    test::WriteFile(dir / "Track0.WAV", test::CanonicalWave(2, 44100, 16, 150 * 2352));
    for (const cdrom::TrackInfo& t : report.disc.tracks) {
        test::WriteFile(dir / ("Track " + std::to_string(t.number) + ".wav"),
                        test::CanonicalWave(2, 44100, 16, t.length * cdrom::kFrameBytes));
    }
    std::string cue = FormatRipCue(report);
    EXPECT_TRUE(Has(cue,
                    "FILE \"Track0.WAV\" WAVE\n  TRACK 01 AUDIO\n"
                    "    TITLE \"First\"\n    ISRC USABC9900001\n    INDEX 00 00:00:00\n"
                    "FILE \"Track 1.wav\" WAVE\n    INDEX 01 00:00:00\n"))
        << cue;
    EXPECT_FALSE(Has(cue, "PREGAP")) << cue;
    // Read back, the sheet is the disc again: the audio lies where its INDEX 00 says.
    cdrom::CueSheet sheet;
    std::string error;
    ASSERT_TRUE(cdrom::ParseCueSheet(cue, dir.path().string(), "rip.cue", sheet, error)) << error;
    cdrom::DiscInfo want = report.disc;
    want.title = "Night 'Songs'";
    EXPECT_EQ(cdrom::DiscInfoFromSheet(sheet), want) << cue;
    std::string log = FormatRipLog(report);
    EXPECT_TRUE(Has(log,
                    "\nTrack 0\n  Audio in the pregap of track 1 (LBA 0 to 149, 00:02.00), "
                    "ripped as a track of its own\n  File: " +
                        dir.path().string() + "/Track0.WAV\n  CRC32: abcdef01\n"))
        << log;

    // Digital silence there: no file, a PREGAP, and the log says which.
    report.leadingGap->silent = true;
    report.leadingGap->rip.file.clear();
    cue = FormatRipCue(report);
    EXPECT_TRUE(Has(cue, "FILE \"Track 1.wav\" WAVE\n  TRACK 01 AUDIO\n")) << cue;
    EXPECT_TRUE(Has(cue, "    PREGAP 00:02:00\n    INDEX 01 00:00:00\n")) << cue;
    log = FormatRipLog(report);
    EXPECT_TRUE(Has(log,
                    "\nPregap of track 1 (LBA 0 to 149, 00:02.00): digital silence, not "
                    "ripped (a PREGAP in the cue sheet)\n"))
        << log;
    EXPECT_FALSE(Has(log, "Track 0")) << log;

    // A data track first: the pregap of the first audio track, from its own file.
    report = Report("/music");
    report.disc.tracks[0].audio = false;
    report.disc.tracks[1].pregap = 150;
    report.tracks.erase(report.tracks.begin());
    gap.track = 2;
    gap.start = 150;
    gap.rip.file = "/music/Track0.WAV";
    report.leadingGap = gap;
    cue = FormatRipCue(report);
    EXPECT_TRUE(Has(cue,
                    "FILE \"Track0.WAV\" WAVE\n  TRACK 02 AUDIO\n    TITLE \"Second\"\n"
                    "    PERFORMER \"A Guest\"\n    INDEX 00 00:00:00\n"
                    "FILE \"Track 2.wav\" WAVE\n    INDEX 01 00:00:00\n"))
        << cue;
}

TEST(RipLog, TheLogAndCueNeverReplaceAFileAndTwoWritersNeverShareAName) {
    test::TempDir dir;
    const std::string folder = dir.path().string();
    std::string error;
    // The user's own files of those names stay; the pair takes the next free number.
    test::WriteFile(dir / "rip.log", "mine");
    test::WriteFile(dir / "rip (3).cue", "mine too");
    EXPECT_EQ(WriteRipLogAndCue(folder, "rip", Report(folder), error), "rip (2)") << error;
    EXPECT_EQ(WriteRipLogAndCue(folder, "rip", Report(folder), error), "rip (4)") << error;
    EXPECT_EQ(test::ReadFile(dir / "rip.log"), "mine");
    EXPECT_EQ(test::ReadFile(dir / "rip (3).cue"), "mine too");
    EXPECT_FALSE(std::filesystem::exists(dir / "rip (3).log"));

    // Many writers at once: each gets a pair of its own, each file whole.
    constexpr int kWriters = 8;
    std::vector<std::string> bases(kWriters);
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&, w] {
            RipReport r = Report(folder);
            r.driveName = "writer " + std::to_string(w);
            std::string e;
            bases[static_cast<std::size_t>(w)] = WriteRipLogAndCue(folder, "disc", r, e);
        });
    }
    for (std::thread& t : threads)
        t.join();
    std::set<std::string> distinct(bases.begin(), bases.end());
    EXPECT_EQ(distinct.size(), std::size_t{kWriters});
    for (int w = 0; w < kWriters; ++w) {
        const std::string& base = bases[static_cast<std::size_t>(w)];
        ASSERT_FALSE(base.empty());
        EXPECT_TRUE(
            Has(test::ReadFile(dir / (base + ".log")), "Drive: writer " + std::to_string(w) + " ("))
            << base;
        EXPECT_TRUE(std::filesystem::exists(dir / (base + ".cue"))) << base;
    }
}

}  // namespace
}  // namespace orvane::cdda
