// orvane-cdda end to end: the program in the program folder over image drives of a drive
// configuration of the test's own.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "encoder/ctdb/ctdb_toc.h"
#include "tests/platform/cdrom/disc_fixture.h"
#include "tests/platform/cdrom/ripper_sheet.h"

namespace {

using orvane::test::TempDir;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

class CddaTool : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_ / "config" / "orvane");
        cue_ = orvane::test::WriteSimpleDisc(dir_, {300, 150, 75});
    }
    void Configure(const std::string& faults) {
        std::string conf = "real_drives = no\nimage = " + cue_ + "\n";
        if (!faults.empty()) conf += "faults = " + faults + "\n";
        orvane::test::WriteFile(dir_ / "config" / "orvane" / "drives.conf", conf);
    }
    // Runs the program; env holds further NAME='value' settings for it.
    ToolRun Start(const std::string& args, const std::string& env = {}) {
        std::string command = "cd '" + dir_.path().string() + "' && " + env + " XDG_CONFIG_HOME='" +
                              (dir_ / "config").string() + "' ORVANE_CD_IMAGES= '" +
                              (orvane::test::DistDir() / "orvane-cdda").string() + "' " + args +
                              " >out.txt 2>err.txt";
        ToolRun r;
        int raw = std::system(command.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = orvane::test::ReadFile(dir_ / "out.txt");
        r.err = orvane::test::ReadFile(dir_ / "err.txt");
        return r;
    }
    static std::uint32_t Crc(const std::string& bytes) {
        std::uint32_t crc = 0xFFFFFFFF;
        for (unsigned char c : bytes) {
            crc ^= c;
            for (int k = 0; k < 8; ++k)
                crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
        }
        return ~crc;
    }
    TempDir dir_;
    std::string cue_;
};

TEST_F(CddaTool, ListsDrivesAndTracks) {
    Configure("");
    ToolRun r = Start("drives");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("D:  ORVANE    IMAGE DRIVE"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(cue_), std::string::npos);
    r = Start("toc D:");
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line))
        all.push_back(line);
    ASSERT_EQ(all.size(), 4u) << r.out;
    EXPECT_EQ(all[1], " 2     300     150  00:02.00  Audio");
    EXPECT_EQ(all[3], "lead-out     525");
    EXPECT_EQ(Start("toc E:").status, 1);
    EXPECT_EQ(Start("toc").status, 2);
}

TEST_F(CddaTool, GrabsATrackAndReportsItsChecksum) {
    Configure("");
    ToolRun r = Start("grab --verify D: 2 two.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string pcm = orvane::test::PatternFrames(300, 150);
    char expected[64];
    std::snprintf(expected, sizeof expected, "track 2: 150 frames, CRC32 %08X (verified)\n",
                  Crc(pcm));
    EXPECT_EQ(r.out, expected);
    std::string wave = orvane::test::ReadFile(dir_ / "two.wav");
    ASSERT_EQ(wave.size(), 44 + pcm.size());
    EXPECT_EQ(wave.substr(44), pcm);
    // Any number of sectors per read gives the same file.
    ASSERT_EQ(Start("grab --sectors 26 D: 2 two26.wav").status, 0);
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "two26.wav"), wave);
}

// The disc's samples first .. first + count - 1 as a drive with the given read offset lets a
// corrected read see them: zeros outside the disc, and where the drive would have to read
// beyond its own ends.
std::string CorrectedSamples(std::int64_t first, std::int64_t count, std::int64_t offset,
                             std::uint32_t discFrames) {
    const std::string disc = orvane::test::PatternFrames(0, discFrames);
    const std::int64_t samples = std::int64_t{discFrames} * 588;
    std::string out(static_cast<std::size_t>(count) * 4, '\0');
    for (std::int64_t k = 0; k < count; ++k) {
        const std::int64_t p = first + k;
        if (p < 0 || p >= samples || p + offset < 0 || p + offset >= samples) continue;
        out.replace(static_cast<std::size_t>(k) * 4, 4, disc, static_cast<std::size_t>(p) * 4, 4);
    }
    return out;
}

TEST_F(CddaTool, OffsetCorrectionWritesExactlyTheDiscsSamples) {
    // Negative, none, positive, beyond one sector either way; the first and last tracks meet
    // the disc's ends.
    for (int n : {-1200, -6, 0, 30, 667, 2940}) {
        Configure("read_offset=" + std::to_string(n));
        for (int track : {1, 3}) {
            const std::string name = "t" + std::to_string(track) + ".wav";
            ToolRun r = Start("grab --sectors 7 --offset " + std::to_string(n) +
                              " D: " + std::to_string(track) + " " + name);
            ASSERT_EQ(r.status, 0) << n << " " << r.err;
            const std::int64_t start = track == 1 ? 0 : 450, frames = track == 1 ? 300 : 75;
            const std::string wave = orvane::test::ReadFile(dir_ / name);
            ASSERT_EQ(wave.size(), 44 + frames * 2352);
            EXPECT_TRUE(wave.substr(44) == CorrectedSamples(start * 588, frames * 588, n, 525))
                << "offset " << n << " track " << track;
        }
    }
    // Uncorrected, the same drive's file is not the disc's.
    Configure("read_offset=30");
    ASSERT_EQ(Start("grab D: 2 two.wav").status, 0);
    EXPECT_NE(orvane::test::ReadFile(dir_ / "two.wav").substr(44),
              orvane::test::PatternFrames(300, 150));
    EXPECT_EQ(Start("grab --offset 2941 D: 2 x.wav").status, 2);
    EXPECT_EQ(Start("grab --offset 1e3 D: 2 x.wav").status, 2);
}

TEST_F(CddaTool, SecureReadingRereadsFlippedSectorsAndNamesSectorsThatNeverAgree) {
    Configure("flip=310-312,520");
    ASSERT_EQ(Start("grab D: 2 burst.wav").status, 0);
    EXPECT_NE(orvane::test::ReadFile(dir_ / "burst.wav").substr(44),
              orvane::test::PatternFrames(300, 150));
    Configure("flip=310-312,520 read_offset=-100");
    ToolRun r = Start("grab --secure --offset -100 D: 2 secure.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "secure.wav").substr(44),
              orvane::test::PatternFrames(300, 150));

    Configure("c2=420-421");
    r = Start("grab --secure D: 2 scratched.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "orvane-cdda: suspicious sector: track 2, 00:01.45 (LBA 420)\n"
              "orvane-cdda: suspicious sector: track 2, 00:01.46 (LBA 421)\n");
    EXPECT_TRUE(std::filesystem::exists(dir_ / "scratched.wav"));
    EXPECT_EQ(Start("grab --secure D: 1 one.wav").status, 0);
}

TEST_F(CddaTool, SecureReadingOfADriveThatCachesAudioIsBitExact) {
    // The drive answers a re-read of its last 40 sectors from its cache, flipped bytes and all.
    Configure("cache=40 flip=310-312,440-449,520");
    ToolRun r = Start("grab --secure D: 2 secure.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "secure.wav").substr(44),
              orvane::test::PatternFrames(300, 150));
    Configure("cache=40 c2=420-421 flip=330");
    r = Start("grab --secure D: 2 scratched.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "orvane-cdda: suspicious sector: track 2, 00:01.45 (LBA 420)\n"
              "orvane-cdda: suspicious sector: track 2, 00:01.46 (LBA 421)\n");
}

TEST_F(CddaTool, FailsWhenARequestCannotBeRead) {
    Configure("fail=400");
    ToolRun r = Start("grab D: 2 two.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot be read"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "two.wav"));
    // Securely the request is read in pieces: the one sector is named, the file holds the rest
    // as on the disc and silence for it.
    r = Start("grab --secure D: 2 two.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "orvane-cdda: suspicious sector: track 2, 00:01.25 (LBA 400)\n");
    std::string expected = orvane::test::PatternFrames(300, 150);
    std::fill_n(expected.begin() + 100 * 2352, 2352, '\0');
    EXPECT_TRUE(orvane::test::ReadFile(dir_ / "two.wav").substr(44) == expected);
    EXPECT_EQ(Start("grab D: 1 one.wav").status, 0);
    EXPECT_EQ(Start("grab D: 7 x.wav").status, 1);
    Configure("no_disc");
    r = Start("grab D: 1 one.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no disc"), std::string::npos) << r.err;
}

TEST_F(CddaTool, SaysWhyTheDriveCannotBeUsed) {
    // A drive held by another program is busy, not empty.
    Configure("busy");
    ToolRun r = Start("toc D:");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("busy"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("no disc"), std::string::npos) << r.err;
    Configure("tray_open");
    r = Start("toc D:");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no disc in the drive (or the tray is open)"), std::string::npos);
    // A bad fault word is reported once.
    Configure("frobnicate");
    r = Start("drives");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string bad = "unknown fault \"frobnicate\"";
    const std::size_t first = r.err.find(bad);
    ASSERT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(bad, first + 1), std::string::npos) << r.err;
}

TEST_F(CddaTool, TocAsJsonTellsWhatTheDiscHolds) {
    cue_ = orvane::test::WriteRipperSheet(dir_);
    Configure("");
    ToolRun r = Start("toc D: --json");
    ASSERT_EQ(r.status, 0) << r.err;
    // The database keys the audio from track 1's INDEX 01 (33) to the session gap before the
    // data track (11860 - 11400 = 460): starts 0, 267, 352 and 427 sectors of audio.
    EXPECT_EQ(orvane::ctdb::CtdbTocId({0, 267, 352}, 427), "KptjiPFsTJVup6zSBqfdcDn2sfs-");
    EXPECT_EQ(r.out,
              "{\"leadout\": 11910, \"first_track\": 1, \"last_track\": 4, "
              "\"catalog\": \"0724384260521\", \"sessions\": 2, \"freedb_id\": \"16009e04\", "
              "\"musicbrainz_id\": \"nZ7Uc9zMqTc.HI1bXMXEXoFjP.k-\", "
              "\"accuraterip_id\": \"003-00003154-0000c114-16009e04\", "
              "\"ctdb_toc_id\": \"KptjiPFsTJVup6zSBqfdcDn2sfs-\", "
              "\"cdtext\": {\"title\": \"The Album\", \"performer\": \"The Band\"}, \"tracks\": ["
              "{\"number\": 1, \"start\": 33, \"length\": 267, \"audio\": true, \"session\": 1, "
              "\"pregap\": 33, \"isrc\": \"USABC0000001\", \"preemphasis\": true, "
              "\"copy_permitted\": true, \"title\": \"One\\\\Back\", \"performer\": \"Singer\"}, "
              "{\"number\": 2, \"start\": 300, \"length\": 85, \"audio\": true, \"session\": 1, "
              "\"pregap\": 75, \"isrc\": null, \"preemphasis\": false, \"copy_permitted\": false, "
              "\"title\": \"Two\", \"performer\": null}, "
              "{\"number\": 3, \"start\": 385, \"length\": 75, \"audio\": true, \"session\": 1, "
              "\"pregap\": 10, \"isrc\": null, \"preemphasis\": false, \"copy_permitted\": false, "
              "\"title\": null, \"performer\": null}, "
              "{\"number\": 4, \"start\": 11860, \"length\": 50, \"audio\": false, \"session\": 2, "
              "\"pregap\": 0, \"isrc\": null, \"preemphasis\": false, \"copy_permitted\": false, "
              "\"title\": null, \"performer\": null}]}\n");
    // The plain table of contents keeps its columns.
    r = Start("toc D:");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" 1      33     267  00:03.42  Audio  pre-emphasis, copy permitted\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" 2     300      85  00:01.10  Audio\n"), std::string::npos) << r.out;
    // The last audio track ends with its session.
    EXPECT_NE(r.out.find(" 3     385      75  00:01.00  Audio\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" 4   11860      50  00:00.50  Data\n"), std::string::npos) << r.out;
    Configure("no_disc");
    r = Start("toc --json D:");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
}

TEST_F(CddaTool, DeemphasisFiltersOnlyTracksRecordedWithPreEmphasis) {
    // Two tracks of the same 5 kHz tone, the second flagged with pre-emphasis.
    std::string tone;
    for (int i = 0; i < 2 * 75 * 588; ++i) {
        const auto v =
            static_cast<std::int16_t>(std::lround(16000 * std::sin(2 * M_PI * 5000 * i / 44100.0)));
        for (int c = 0; c < 2; ++c) {
            tone.push_back(static_cast<char>(v & 0xFF));
            tone.push_back(static_cast<char>((v >> 8) & 0xFF));
        }
    }
    orvane::test::WriteFile(dir_ / "tone.bin", tone);
    orvane::test::WriteFile(dir_ / "tone.cue",
                            "FILE \"tone.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n    FLAGS PRE\n    INDEX 01 00:01:00\n");
    cue_ = (dir_ / "tone.cue").string();
    Configure("");
    ToolRun r = Start("grab --deemphasis D: 1 one.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("de-emphasised"), std::string::npos) << r.out;
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "one.wav").substr(44), tone.substr(0, tone.size() / 2));
    ASSERT_EQ(Start("grab D: 2 plain.wav").status, 0);
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "plain.wav").substr(44), tone.substr(tone.size() / 2));
    r = Start("grab --deemphasis D: 2 two.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("(de-emphasised)"), std::string::npos) << r.out;
    const std::string two = orvane::test::ReadFile(dir_ / "two.wav").substr(44);
    ASSERT_EQ(two.size(), tone.size() / 2);
    double in = 0, out = 0;
    for (std::size_t i = 4 * 4410; i + 1 < two.size(); i += 4) {
        const auto a = static_cast<std::int16_t>(
            static_cast<unsigned char>(tone[tone.size() / 2 + i]) |
            (static_cast<unsigned char>(tone[tone.size() / 2 + i + 1]) << 8));
        const auto b = static_cast<std::int16_t>(static_cast<unsigned char>(two[i]) |
                                                 (static_cast<unsigned char>(two[i + 1]) << 8));
        in += double(a) * a;
        out += double(b) * b;
    }
    EXPECT_NEAR(10 * std::log10(out / in), -4.53, 0.1);  // the 50/15 us shelf at 5 kHz
}

TEST_F(CddaTool, AudioHiddenBeforeTrackOneIsTrackZero) {
    orvane::test::WriteFile(dir_ / "disc.bin", orvane::test::PatternFrames(0, 450));
    orvane::test::WriteFile(dir_ / "disc.cue",
                            "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n"
                            "    INDEX 01 00:02:00\n  TRACK 02 AUDIO\n    INDEX 01 00:04:00\n");
    Configure("");
    ToolRun r = Start("toc D:");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              " 0       0     150  00:02.00  Hidden audio before track 1");
    r = Start("grab D: 0 zero.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 21), "track 0: 150 frames, ");
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "zero.wav").substr(44),
              orvane::test::PatternFrames(0, 150));
    // A disc whose track 1 starts at once has no track 0.
    cue_ = orvane::test::WriteSimpleDisc(dir_, {300, 150});
    Configure("");
    EXPECT_EQ(Start("toc D:").out.substr(0, 3), " 1 ");
    EXPECT_EQ(Start("grab D: 0 none.wav").status, 1);
}

// A real drive: the program's own SG_IO code on a device node, answered by the MMC drive model
// behind a preloaded ioctl.
class CddaToolOnSgIo : public CddaTool {
protected:
    ToolRun StartOnDrive(const std::string& args, const std::string& modelEnv = {}) {
        orvane::test::WriteFile(dir_ / "config" / "orvane" / "drives.conf", "");
        orvane::test::WriteFile(dir_ / "sr0", "");
        const std::string device = (dir_ / "sr0").string();
        return Start(args, "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD='" +
                               std::string(ORVANE_MMC_SHIM) + "' ORVANE_CD_DEVICES='" + device +
                               "' ORVANE_MMC_MODEL_DEVICE='" + device + "' ORVANE_MMC_MODEL_CUE='" +
                               cue_ + "' " + modelEnv);
    }
};

TEST_F(CddaToolOnSgIo, ListsReadsAndGrabsFromTheDevice) {
    ToolRun r = StartOnDrive("drives", "ORVANE_MMC_MODEL_ID='ACME/CD-R 52X'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("D:  ACME      CD-R 52X"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find((dir_ / "sr0").string()), std::string::npos) << r.out;
    r = StartOnDrive("toc D:");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" 2     300     150  00:02.00  Audio"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("lead-out     525"), std::string::npos) << r.out;
    r = StartOnDrive("toc D: --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("{\"leadout\": 525, \"first_track\": 1, \"last_track\": 3, "
                         "\"catalog\": null, \"sessions\": 1, "),
              std::string::npos)
        << r.out;
    r = StartOnDrive("grab --verify D: 2 two.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string pcm = orvane::test::PatternFrames(300, 150);
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "two.wav").substr(44), pcm);
}

TEST_F(CddaToolOnSgIo, TellsPregapsIndexesAndCdTextAsTheImageDriveDoes) {
    cue_ = orvane::test::WriteRipperSheet(dir_);
    Configure("");
    const ToolRun image = Start("toc D: --json");
    ASSERT_EQ(image.status, 0) << image.err;
    const ToolRun drive = StartOnDrive("toc D: --json");
    ASSERT_EQ(drive.status, 0) << drive.err;
    EXPECT_EQ(drive.out, image.out);
    EXPECT_NE(drive.out.find("\"cdtext\": {\"title\": \"The Album\", \"performer\": \"The Band\"}"),
              std::string::npos)
        << drive.out;
    EXPECT_NE(drive.out.find("\"start\": 300, \"length\": 85, \"audio\": true, \"session\": 1, "
                             "\"pregap\": 75, "),
              std::string::npos)
        << drive.out;
}

TEST_F(CddaToolOnSgIo, SetsTheReadSpeedOnlyWhenAsked) {
    ToolRun r = StartOnDrive("grab --speed 8 D: 1 one.wav", "ORVANE_MMC_MODEL_TRACE=1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("mmc model: BB 00 05 83 FF FF"), std::string::npos) << r.err;  // 1411 kB/s
    r = StartOnDrive("grab --speed max D: 1 one.wav", "ORVANE_MMC_MODEL_TRACE=1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("mmc model: BB 00 FF FF FF FF"), std::string::npos) << r.err;
    r = StartOnDrive("grab D: 1 one.wav", "ORVANE_MMC_MODEL_TRACE=1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("mmc model: BE"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("mmc model: BB"), std::string::npos) << r.err;
    EXPECT_EQ(StartOnDrive("grab --speed 0 D: 1 one.wav").status, 2);
}

TEST_F(CddaToolOnSgIo, ReportsTheDriveStatesFromTheirSenseData) {
    ToolRun r = StartOnDrive("toc D:", "ORVANE_MMC_MODEL_STATE=tray_open");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no disc in the drive (or the tray is open)"), std::string::npos) << r.err;
    r = StartOnDrive("grab D: 1 one.wav", "ORVANE_MMC_MODEL_STATE=no_disc");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no disc"), std::string::npos) << r.err;
    r = StartOnDrive("grab D: 2 two.wav", "ORVANE_MMC_MODEL_FAIL=400-400");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot be read"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "two.wav"));
}

// A secure grab on a drive that flags damaged sectors with C2 error pointers: those sectors are
// named suspicious and the exit status says so; every other sector is written bit-exact.
TEST_F(CddaToolOnSgIo, SecureGrabNamesTheSectorsTheDriveFlags) {
    ToolRun r = StartOnDrive("grab --secure D: 2 two.wav", "ORVANE_MMC_MODEL_C2=400-401");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("suspicious sector: track 2, 00:01.25 (LBA 400)"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("suspicious sector: track 2, 00:01.26 (LBA 401)"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("(LBA 399)"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("(LBA 402)"), std::string::npos) << r.err;
    const std::string wav = orvane::test::ReadFile(dir_ / "two.wav");
    const std::string pcm = orvane::test::PatternFrames(300, 150);
    ASSERT_EQ(wav.size(), 44 + pcm.size());
    constexpr std::size_t kFrame = 2352;
    EXPECT_EQ(wav.substr(44, 100 * kFrame), pcm.substr(0, 100 * kFrame));
    EXPECT_EQ(wav.substr(44 + 102 * kFrame), pcm.substr(102 * kFrame));
    EXPECT_NE(wav.substr(44 + 100 * kFrame, 2 * kFrame), pcm.substr(100 * kFrame, 2 * kFrame));

    // The same drive without damage: a clean secure grab.
    r = StartOnDrive("grab --secure D: 2 two.wav");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(orvane::test::ReadFile(dir_ / "two.wav").substr(44), pcm);
}

TEST_F(CddaTool, NoDriveNamesTheRealCause) {
    // The only configured image is missing: no drive at all, and the message says why.
    orvane::test::WriteFile(dir_ / "config" / "orvane" / "drives.conf",
                            "real_drives = no\nimage = " + (dir_ / "gone.cue").string() + "\n");
    ToolRun r = Start("toc D:");
    EXPECT_EQ(r.status, 1);
    const std::size_t line = r.err.find("orvane-cdda: no CD drive found (");
    ASSERT_NE(line, std::string::npos) << r.err;
    const std::string message = r.err.substr(line, r.err.find('\n', line) - line);
    EXPECT_NE(message.find("gone.cue"), std::string::npos) << message;
    EXPECT_EQ(message.find("host adapter"), std::string::npos) << message;
}

}  // namespace
