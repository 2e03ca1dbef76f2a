#include "encoder/cdda/cd_drive.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/encoder/cdda/transport_fixture.h"

namespace orvane::cdda {
namespace {

using test::NamedDrive;
using test::TempDir;
using test::Transport;
using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
Bytes B(const std::array<std::uint8_t, N>& a) {
    return Bytes(a.begin(), a.end());
}

std::shared_ptr<NamedDrive> Named(const TempDir& dir, const std::string& vendor,
                                  const std::string& product, bool atapi,
                                  const std::string& faults = {}) {
    return std::make_shared<NamedDrive>(test::ImageOf(dir, {100, 200}, faults, vendor + product),
                                        vendor, product, "1.00", atapi);
}

// Each test starts with no configuration loaded, in a folder of its own.
class CdDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        ResetDriveConfig();
    }
    void TearDown() override {
        std::filesystem::current_path(old_);
        ResetDriveConfig();
    }
    void WriteConfig(const std::string& text) { test::WriteFile(dir_ / "PlimoCDA.cfg", text); }
    TempDir dir_;
    std::filesystem::path old_;
};

TEST_F(CdDriveTest, AspiLoadResults) {
    // The library missing, then a library without the entry point.
    const char* dist = std::getenv("ORVANE_DIST");
    std::string saved = dist ? dist : "";
    ::setenv("ORVANE_DIST", dir_.path().c_str(), 1);
    EXPECT_EQ(AspiLoad(), -3);
    EXPECT_FALSE(AspiLoadError().empty());
    for (const char* lib :
         {"/lib/x86_64-linux-gnu/libz.so.1", "/usr/lib/x86_64-linux-gnu/libz.so.1"}) {
        if (std::filesystem::exists(lib)) {
            std::filesystem::copy_file(lib, dir_ / "libwnaspi32.so");
            EXPECT_EQ(AspiLoad(), -2);
            break;
        }
    }
    ::setenv("ORVANE_DIST", saved.c_str(), 1);

    static ASPI_DWORD answer = 0;
    auto support = [] { return answer; };
    auto send = [](void*) -> ASPI_DWORD { return SS_COMP; };
    AspiBindEntryPoints(support, send);
    answer = 0x0103;  // status 1, three adapters
    EXPECT_EQ(AspiLoad(), 3);
    answer = 0x0100;
    EXPECT_EQ(AspiLoad(), 0);
    std::array<CdDrive, kMaxDrives> table{};
    EXPECT_EQ(DiscoverDrives(table), -1);
    answer = 0x10101;  // bits above the status byte: a failure
    EXPECT_EQ(AspiLoad(), -1);
    answer = 0xE800;
    EXPECT_EQ(AspiLoad(), -1);
    AspiBindEntryPoints(nullptr, nullptr);
}

TEST_F(CdDriveTest, DiscoveryFindsZeroOneAndThreeDrives) {
    std::array<CdDrive, kMaxDrives> table{};
    {
        Transport none({});
        EXPECT_EQ(DiscoverDrives(table), -1);
    }
    {
        Transport one({test::ImageOf(dir_, {100})});
        EXPECT_EQ(DiscoverDrives(table), 1);
        EXPECT_EQ(table[0].vendor, "ORVANE  ");
        EXPECT_EQ(table[0].product, "IMAGE DRIVE     ");
        EXPECT_EQ(table[0].interfaceName, "IDE");
        EXPECT_EQ(table[0].isScsi, 0);
    }
    Transport three({Named(dir_, "KESTRAL ", "CD-R   KS-R4012A", false),
                     Named(dir_, "TORVIKS ", "DVD-ROM TD-M1612", true),
                     Named(dir_, "YARROW  ", "CRX2100S        ", false)});
    EXPECT_EQ(DiscoverDrives(table), 3);
    EXPECT_EQ(table[0].vendor, "KESTRAL ");
    EXPECT_EQ(table[0].interfaceName, "SCSI");
    EXPECT_EQ(table[0].isScsi, 1);
    EXPECT_EQ(table[1].interfaceName, "IDE");
    EXPECT_EQ(table[2].product, "CRX2100S        ");
    // Adapter and target of each record address its drive.
    EXPECT_EQ(table[0].adapter, 0);
    EXPECT_EQ(table[1].adapter, 1);
    EXPECT_EQ(table[2].adapter, 2);
    EXPECT_EQ(table[2].target, 0);
}

TEST_F(CdDriveTest, AdapterIdentifiersGiveTheInterface) {
    for (const char* ide : {"ATAPI CD-ROM", "atapi", "IDEATAPI x", "ESDI_506 Port"})
        EXPECT_TRUE(IsIdeAdapter(ide)) << ide;
    for (const char* scsi : {"SCSI CD-ROM", "AIC-7880", "", " ATAPI"})
        EXPECT_FALSE(IsIdeAdapter(scsi)) << scsi;
}

TEST_F(CdDriveTest, CommandBlocksByteForByte) {
    EXPECT_EQ(B(InquiryCdb()), (Bytes{0x12, 0, 0, 0, 44, 0}));
    EXPECT_EQ(B(ReadTocCdb()), (Bytes{0x43, 0, 0, 0, 0, 0, 1, 0x08, 0x00, 0}));
    EXPECT_EQ(B(ModeSenseCapabilitiesCdb()), (Bytes{0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 28, 0}));
    EXPECT_EQ(B(ModeSelectCdb()), (Bytes{0x15, 0x10, 0, 0, 12, 0}));
    EXPECT_EQ(B(ModeSelectParameters(0x82)),
              (Bytes{0, 0, 0, 8, 0x82, 0, 0, 0, 0, 0x00, 0x09, 0x30}));
    const std::uint32_t lba = 0x01020304, n = 0x0A0B;
    EXPECT_EQ(B(ReadCdIdeCdb(lba, n)), (Bytes{0xBE, 0, 1, 2, 3, 4, 0, 0x0A, 0x0B, 0x10}));
    EXPECT_EQ(B(ReadCdScsiCdb(lba, n)), (Bytes{0xBE, 0, 1, 2, 3, 4, 0, 0x0A, 0x0B, 0x10, 0, 0}));
    EXPECT_EQ(B(VendorD8Cdb(lba, n)), (Bytes{0xD8, 0, 1, 2, 3, 4, 0, 0, 0x0A, 0x0B, 0, 0}));
    EXPECT_EQ(B(VendorD4Cdb(lba, n)), (Bytes{0xD4, 0, 1, 2, 3, 4, 0, 0x0A, 0x0B, 0}));
    EXPECT_EQ(B(Read10Cdb(lba, n)), (Bytes{0x28, 0, 1, 2, 3, 4, 0, 0x0A, 0x0B, 0}));
}

TEST_F(CdDriveTest, RequestsSentThroughTheTransport) {
    Transport t({Named(dir_, "KESTRAL ", "CD-R   KS-R4012A", false)});
    WriteConfig("\"KEST\" \"\" \"\" D8 1 82 0 26 0\n");
    std::array<CdDrive, kMaxDrives> table{};
    ASSERT_EQ(DiscoverDrives(table), 1);
    const CdDrive& d = table[0];
    TrackTable toc;
    ASSERT_EQ(d.ReadToc(toc), 1);
    EXPECT_EQ(d.SetAudioBlockMode(), 1);
    std::vector<std::uint8_t> frames(3 * kFrameBytes);
    EXPECT_EQ(d.ReadAudioFrames(7, 3, frames.data()), 1);

    auto sent = t.Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].cdb, B(InquiryCdb()));
    EXPECT_EQ(sent[0].bufferLength, 44u);
    EXPECT_EQ(sent[1].cdb, B(ReadTocCdb()));
    EXPECT_EQ(sent[1].bufferLength, 2352u);
    EXPECT_EQ(sent[2].cdb, B(ModeSelectCdb()));
    EXPECT_EQ(sent[2].flags, 0x50);
    EXPECT_EQ(sent[2].dataOut, B(ModeSelectParameters(0x82)));
    EXPECT_EQ(sent[3].cdb, B(VendorD8Cdb(7, 3)));
    EXPECT_EQ(sent[3].bufferLength, 3 * kFrameBytes);
    for (const auto& s : sent) {
        EXPECT_EQ(s.flags, s.cdb[0] == 0x15 ? 0x50 : 0x48);
        EXPECT_EQ(s.senseLength, 32);
        EXPECT_TRUE(s.event);
    }
    // The 6-byte form takes the low byte of the length.
    t.Clear();
    SRB_ExecSCSICmd srb{};
    std::vector<std::uint8_t> data(300);
    AspiExecCdb6(srb, 0, 0, 0x12, data.data(), 300, SRB_DIR_IN);
    EXPECT_EQ(t.Sent()[0].cdb, (Bytes{0x12, 0, 0, 0, 44, 0}));
}

TEST_F(CdDriveTest, FailedCommandsCarryTheSenseKey) {
    Transport t({test::ImageOf(dir_, {100}, "no_disc")});
    std::array<CdDrive, kMaxDrives> table{};
    ASSERT_EQ(DiscoverDrives(table), 1);
    TrackTable toc;
    toc.count = 9;
    EXPECT_EQ(table[0].ReadToc(toc), 0x04 | (0x02 << 16));  // SS_ERR, NOT READY
    EXPECT_EQ(toc.count, 9);                                // untouched
}

TEST_F(CdDriveTest, ConfigurationLines) {
    DriveConfigEntry e;
    EXPECT_TRUE(ParseDriveConfigLine("\"PERIDOT\" \"DVD-ROM\" \"1.0\" be 0 0 1 12 7\n", e));
    EXPECT_EQ(e.vendor, "PERIDOT");
    EXPECT_EQ(e.readCode, 0xBE);
    EXPECT_EQ(e.swapBytes, 1);
    EXPECT_EQ(e.sectorsPerRead, 12);
    EXPECT_EQ(e.spare, 7);
    EXPECT_TRUE(ParseDriveConfigLine("x\"\"\"\"\"\" 28 0 0 0 4 0\r\n", e));
    EXPECT_EQ(e.vendor, "");
    EXPECT_FALSE(ParseDriveConfigLine("# \"A\" \"B\" \"C\" 28 0 0 0 4 0\n", e));
    EXPECT_FALSE(ParseDriveConfigLine("\"\"\"\"\"\"\n", e));              // too short
    EXPECT_FALSE(ParseDriveConfigLine("\"A\" \"B\" 28 0 0 0 4 0\n", e));  // two strings
    EXPECT_FALSE(ParseDriveConfigLine("\"A\" \"B\" \"C\" 28 0 0\n", e));  // three numbers
    EXPECT_FALSE(ParseDriveConfigLine("\"ABCDEFGHIJKLMNOPQRST\" \"\" \"\" 28 0 0 0 4 0\n", e));
    EXPECT_TRUE(ParseDriveConfigLine("\"ABCDEFGHIJKLMNOPQRS\" \"\" \"\" 28 0 0 0 4 0\n", e));
}

TEST_F(CdDriveTest, ConfigurationRulesPickTheFirstMatchingEntry) {
    Transport t({Named(dir_, "KESTRAL ", "CD-R   KS-R4012A", false),
                 Named(dir_, "TORVIKS ", "DVD-ROM TD-M1612", true),
                 Named(dir_, "YARROW  ", "CRX2100S        ", false)});
    // A NUL inside an overlong line does not let its tail count as a line of its own.
    WriteConfig("\"A\" \"\" \"\" 28 0 0 0 4 0" + std::string(1, '\0') + std::string(200, ' ') +
                "\"B\" \"\" \"\" 28 0 0 0 4 0\n\"C\" \"\" \"\" 28 0 0 0 4 0\n");
    EXPECT_EQ(LoadDriveConfig(), 1);
    ResetDriveConfig();
    std::string overlong = "\"YARROW\" \"\" \"\" d4 0 0 0 8 0" + std::string(250, ' ') + "\n";
    WriteConfig(
        "# drives\n"
        "\"kestral\" \"cd-r\" \"\" 12 0 0 1 400 3\n"  // lower case; unknown code
        "\"TORVIKS\" \"\" \"\" D8 1 0 1 20 0\n"       // an IDE drive
        + overlong +
        "\"YARROW\" \"CRX2100S\" \"2.0\" be 0 0 0 6 0\n"  // revision does not match
        "\"\" \"\" \"\" d4 0 0 0 9 0\n"                   // matches every drive
        "\"YARROW\" \"\" \"\" be 0 0 0 5 0\n");           // never reached
    std::array<CdDrive, kMaxDrives> table{};
    ASSERT_EQ(DiscoverDrives(table), 3);
    EXPECT_EQ(DriveConfigTable().size(), 5u);  // the overlong line is refused whole

    EXPECT_EQ(table[0].readMethod, 0x28);
    EXPECT_EQ(table[0].sectorsPerRead, 256);  // bounded to the read buffer
    EXPECT_EQ(table[0].swapBytes, 1);
    EXPECT_EQ(table[0].spare, 3);

    // IDE: the entry's read code and swap flag have no effect, its sectors per read does.
    EXPECT_EQ(table[1].sectorsPerRead, 20);
    t.Clear();
    std::vector<std::uint8_t> frames(2 * kFrameBytes);
    ASSERT_EQ(table[1].ReadAudioFrames(10, 2, frames.data()), 1);
    EXPECT_EQ(t.Sent()[0].cdb, B(ReadCdIdeCdb(10, 2)));
    EXPECT_EQ(frames[kFrameBytes], test::PatternByte(11, 0));
    EXPECT_EQ(table[1].SetAudioBlockMode(), 1);
    EXPECT_EQ(t.Sent().size(), 1u);  // no block switch for IDE drives

    EXPECT_EQ(table[2].readMethod, 0xD4);
    EXPECT_EQ(table[2].sectorsPerRead, 9);
}

TEST_F(CdDriveTest, SwapBytesOnScsiDrives) {
    Transport t({Named(dir_, "KESTRAL ", "CD-R", false)});
    WriteConfig("\"KESTRAL\" \"\" \"\" be 0 0 1 4 0\n");
    std::array<CdDrive, kMaxDrives> table{};
    ASSERT_EQ(DiscoverDrives(table), 1);
    std::vector<std::uint8_t> frames(kFrameBytes);
    ASSERT_EQ(table[0].ReadAudioFrames(5, 1, frames.data()), 1);
    EXPECT_EQ(t.Sent(0xBE)[0].cdb, B(ReadCdScsiCdb(5, 1)));
    EXPECT_EQ(frames[0], test::PatternByte(5, 1));
    EXPECT_EQ(frames[1], test::PatternByte(5, 0));
}

TEST_F(CdDriveTest, ConfigurationIsLookedForBesideTheProgramToo) {
    TempDir program;
    test::WriteFile(program / "PlimoCDA.cfg", "\"ORVANE\" \"\" \"\" 28 0 0 0 13 0\n");
    Transport t({test::ImageOf(dir_, {100})});
    std::array<CdDrive, kMaxDrives> table{};
    ASSERT_EQ(DiscoverDrives(table, program.path().string() + "/"), 1);
    EXPECT_EQ(table[0].sectorsPerRead, 13);
    // Loaded once per process: a file written later is not read.
    WriteConfig("\"ORVANE\" \"\" \"\" 28 0 0 0 2 0\n");
    ASSERT_EQ(DiscoverDrives(table, program.path().string() + "/"), 1);
    EXPECT_EQ(table[0].sectorsPerRead, 13);
}

TEST_F(CdDriveTest, CapabilityQuery) {
    auto ide = Named(dir_, "TORVIKS ", "DVD", true);
    ide->SetCdda(false);
    Transport t({ide, Named(dir_, "KESTRAL ", "CD-R", false)});
    std::array<CdDrive, kMaxDrives> table{};
    ASSERT_EQ(DiscoverDrives(table), 2);
    std::uint8_t caps[28];
    EXPECT_EQ(table[0].QueryCdCapabilities(caps), 1);
    EXPECT_EQ(caps[13] & 1, 0);
    EXPECT_EQ(caps[8] & 0x3F, 0x2A);
    t.Clear();
    EXPECT_EQ(table[1].QueryCdCapabilities(caps), 1);
    EXPECT_EQ(caps[13], 1);
    EXPECT_TRUE(t.Sent().empty());  // nothing sent for SCSI drives
}

}  // namespace
}  // namespace orvane::cdda
