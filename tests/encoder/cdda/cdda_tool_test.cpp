// orvane-cdda end to end: the program in the program folder over image drives of a drive
// configuration of the test's own.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/platform/cdrom/disc_fixture.h"

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
    ToolRun Start(const std::string& args) {
        std::string command = "cd '" + dir_.path().string() + "' && XDG_CONFIG_HOME='" +
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

TEST_F(CddaTool, FailsWhenARequestCannotBeRead) {
    Configure("fail=400");
    ToolRun r = Start("grab D: 2 two.wav");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot be read"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "two.wav"));
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
