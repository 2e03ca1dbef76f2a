// The SG_IO road of platform/cdrom against the MMC drive model put behind its ioctl door:
// discovery, the table of contents, reads, tray states and the sense data of each failure.

#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <cstdlib>
#include <filesystem>

#include "platform/cdrom/cue_sheet.h"
#include "platform/cdrom/drives.h"
#include "platform/cdrom/sg_drive.h"
#include "tests/platform/cdrom/disc_fixture.h"
#include "tests/platform/cdrom/mmc_drive_model.h"
#include "tests/platform/cdrom/ripper_sheet.h"

namespace orvane::cdrom {
namespace {

using test::MmcDriveModel;
using test::PatternFrames;
using test::TempDir;

class SgDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        model_ = MmcDriveModel::Open(test::WriteSimpleDisc(dir_, {100, 200, 60}), error);
        ASSERT_TRUE(model_) << error;
        test::WriteFile(dir_ / "sr0", "");
        SetSgIoctl(
            [this](int, unsigned long request, void* arg) { return model_->Ioctl(request, arg); });
        drive_ = SgDrive::Open((dir_ / "sr0").string(), error);
        ASSERT_TRUE(drive_) << error;
    }
    void TearDown() override {
        SetSgIoctl({});
        ResetDrives();
    }
    // Sends a command block and returns its answer.
    DriveResult Send(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t>& data) {
        return drive_->Execute(cdb.data(), cdb.size(), data.empty() ? nullptr : data.data(),
                               data.size(), false);
    }
    TempDir dir_;
    std::unique_ptr<MmcDriveModel> model_;
    std::unique_ptr<SgDrive> drive_;
};

TEST_F(SgDriveTest, DiscoveryFindsTheListedDevicesThatAreCdDrives) {
    test::WriteFile(dir_ / "sg1", "");
    std::filesystem::create_directories(dir_ / "config" / "orvane");
    test::WriteFile(dir_ / "config" / "orvane" / "drives.conf", "");
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    setenv("ORVANE_CD_IMAGES", "", 1);
    setenv("ORVANE_CD_DEVICES",
           ((dir_ / "sr0").string() + ":" + (dir_ / "missing").string()).c_str(), 1);
    ResetDrives();
    std::vector<DriveEntry> drives = Drives();
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].letter, 'D');
    EXPECT_EQ(drives[0].drive->Name(), (dir_ / "sr0").string());
    InquiryData inquiry;
    ASSERT_TRUE(drives[0].drive->Inquiry(inquiry).ok);
    EXPECT_EQ(inquiry.vendor, "MODEL   ");
    EXPECT_EQ(inquiry.product, "MMC DRIVE       ");

    // A device that answers as something other than a CD drive is left out.
    model_->SetDeviceType(0);
    ResetDrives();
    EXPECT_TRUE(Drives().empty());
    unsetenv("ORVANE_CD_DEVICES");
}

TEST_F(SgDriveTest, TableOfContentsAndReadsMatchTheImage) {
    Toc toc;
    ASSERT_TRUE(drive_->ReadToc(toc).ok);
    ASSERT_EQ(toc.tracks.size(), 3u);
    EXPECT_EQ(toc.firstTrack, 1);
    EXPECT_EQ(toc.lastTrack, 3);
    EXPECT_EQ(toc.tracks[1].lba, 100u);
    EXPECT_EQ(toc.tracks[2].lba, 300u);
    EXPECT_EQ(toc.leadOut, 360u);
    EXPECT_TRUE(toc.tracks[0].IsAudio());

    // A grab of a whole track spans several READ CD commands and is bit-exact.
    std::vector<std::uint8_t> buf(200 * kFrameBytes);
    ASSERT_TRUE(drive_->ReadCdda(100, 200, buf.data()).ok);
    EXPECT_TRUE(std::string(buf.begin(), buf.end()) == PatternFrames(100, 200));

    Capabilities caps;
    ASSERT_TRUE(drive_->ReadCapabilities(caps).ok);
    EXPECT_EQ(caps.maxSpeedKBs, 7056);
}

// Damaged sectors: READ CD with C2 error pointers flags the bytes that came back wrong, one bit
// per byte, most significant bit first; the sectors around them read bit-exact and unflagged.
TEST_F(SgDriveTest, C2ErrorPointersFlagTheDamagedBytes) {
    model_->DamageSectors(120, 121);
    constexpr std::uint32_t kC2 = DiscDrive::kC2Bytes;
    // 40 frames from 100: more than one READ CD command.
    std::vector<std::uint8_t> frames(40 * kFrameBytes), c2(40 * kC2, 0x5A);
    ASSERT_TRUE(drive_->ReadCddaC2(100, 40, frames.data(), c2.data()).ok);
    const std::string disc = PatternFrames(100, 40);
    for (std::uint32_t k = 0; k < 40; ++k) {
        const std::uint8_t* read = frames.data() + std::size_t{k} * kFrameBytes;
        const std::uint8_t* pointers = c2.data() + std::size_t{k} * kC2;
        const bool damaged = k == 20 || k == 21;
        for (std::uint32_t i = 0; i < kFrameBytes; ++i) {
            const bool wrong = read[i] != static_cast<std::uint8_t>(disc[k * kFrameBytes + i]);
            const bool flagged = (pointers[i / 8] >> (7 - i % 8)) & 1;
            ASSERT_EQ(wrong, damaged && i % 2 == 0) << "frame " << k << " byte " << i;
            ASSERT_EQ(flagged, wrong) << "frame " << k << " byte " << i;
        }
    }
    // Error field 10b: the block error byte (their OR) and a pad byte before the pointers.
    std::vector<std::uint8_t> sector(2 * (kFrameBytes + 296));
    ASSERT_TRUE(Send({0xBE, 0x04, 0, 0, 0, 119, 0, 0, 2, 0x14, 0, 0}, sector).ok);
    const std::uint8_t* clean = sector.data() + kFrameBytes;
    const std::uint8_t* bad = sector.data() + 2 * kFrameBytes + 296;
    EXPECT_EQ(clean[0], 0);
    EXPECT_EQ(bad[0], 0xAA);
    EXPECT_EQ(bad[1], 0);
    EXPECT_EQ(bad[2], 0xAA);
    EXPECT_EQ(bad[2 + kC2 - 1], 0xAA);
    // A plain read gets the damaged samples without a word of warning.
    std::vector<std::uint8_t> plain(kFrameBytes);
    ASSERT_TRUE(drive_->ReadCdda(120, 1, plain.data()).ok);
    EXPECT_EQ(std::string(plain.begin(), plain.end()),
              std::string(frames.begin() + 20 * kFrameBytes, frames.begin() + 21 * kFrameBytes));
}

TEST_F(SgDriveTest, EachFailureGivesItsSenseData) {
    std::vector<std::uint8_t> frame(kFrameBytes);
    model_->RemoveDisc();
    DriveResult r = drive_->TestUnitReady();
    EXPECT_TRUE(r.NoMedium());
    EXPECT_FALSE(r.TrayOpen());
    Toc toc;
    EXPECT_TRUE(drive_->ReadToc(toc).NoMedium());

    // Reads past the lead-out are an illegal request, logical block address out of range.
    SetUp();
    r = drive_->ReadCdda(359, 2, frame.data());
    EXPECT_EQ(r.senseKey, kSenseIllegalRequest);
    EXPECT_EQ(r.asc, 0x21);
    std::vector<std::uint8_t> none;
    r = Send({0xFF, 0, 0, 0, 0, 0}, none);
    EXPECT_EQ(r.Describe(), "illegal request (20/00)");

    // An unreadable sector: medium error 11/00, with the sector in the information field.
    model_->FailSectors(150, 151);
    r = drive_->ReadCdda(140, 20, frame.data());
    EXPECT_EQ(r.senseKey, kSenseMediumError);
    EXPECT_EQ(r.asc, 0x11);
    EXPECT_EQ(r.ascq, 0x00);
    std::uint8_t cdb[12] = {0xBE, 0x04, 0, 0, 0, 150, 0, 0, 1, 0x10, 0, 0};
    std::uint8_t sense[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.cmdp = cdb;
    io.cmd_len = sizeof cdb;
    io.dxferp = frame.data();
    io.dxfer_len = kFrameBytes;
    io.dxfer_direction = SG_DXFER_FROM_DEV;
    io.sbp = sense;
    io.mx_sb_len = sizeof sense;
    ASSERT_EQ(model_->Ioctl(SG_IO, &io), 0);
    EXPECT_EQ(io.info & SG_INFO_OK_MASK, SG_INFO_CHECK);
    EXPECT_EQ(io.status, 0x02);
    ASSERT_EQ(io.sb_len_wr, 18);
    EXPECT_EQ(sense[0], 0xF0);  // valid information field, current error, fixed format
    EXPECT_EQ(sense[2], 0x03);
    EXPECT_EQ(sense[6], 150);
    EXPECT_EQ(sense[7], 10);
    EXPECT_EQ(sense[12], 0x11);
}

TEST_F(SgDriveTest, TrayOpensClosesAndTheDriveBecomesReady) {
    ASSERT_TRUE(drive_->TestUnitReady().ok);
    std::vector<std::uint8_t> none;
    // A locked tray stays shut.
    ASSERT_TRUE(Send({0x1E, 0, 0, 0, 1, 0}, none).ok);
    DriveResult r = drive_->SetTray(true);
    EXPECT_EQ(r.Describe(), "illegal request (53/02)");
    ASSERT_TRUE(Send({0x1E, 0, 0, 0, 0, 0}, none).ok);

    ASSERT_TRUE(drive_->SetTray(true).ok);
    EXPECT_TRUE(drive_->TestUnitReady().TrayOpen());
    std::vector<std::uint8_t> frame(kFrameBytes);
    EXPECT_TRUE(drive_->ReadCdda(0, 1, frame.data()).TrayOpen());
    ASSERT_TRUE(drive_->SetTray(false).ok);
    // Spinning up, then one report of the medium change, then ready.
    r = drive_->TestUnitReady();
    EXPECT_EQ(r.Describe(), "not ready (04/01)");
    r = drive_->TestUnitReady();
    EXPECT_EQ(r.senseKey, kSenseUnitAttention);
    EXPECT_EQ(r.asc, 0x28);
    EXPECT_TRUE(drive_->TestUnitReady().ok);

    // The media event of the change is given once to a poll of the media class.
    model_->OpenTray();
    model_->CloseTray();
    std::vector<std::uint8_t> event(8);
    ASSERT_TRUE(Send({0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0}, event).ok);
    EXPECT_EQ(event[2], 0x04);
    EXPECT_EQ(event[4], 2);     // new media
    EXPECT_EQ(event[5], 0x02);  // medium present, door closed
    ASSERT_TRUE(Send({0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0}, event).ok);
    EXPECT_EQ(event[4], 0);
}

TEST_F(SgDriveTest, CommandsBeyondTheBasicReads) {
    // Full table of contents: A0, A1, A2 points, then the tracks in MSF.
    std::vector<std::uint8_t> full(256);
    ASSERT_TRUE(Send({0x43, 0x02, 0x02, 0, 0, 0, 0, 1, 0, 0}, full).ok);
    EXPECT_EQ((full[0] << 8 | full[1]) + 2, 4 + 11 * 6);
    EXPECT_EQ(full[4 + 3], 0xA0);
    EXPECT_EQ(full[4 + 8], 1);
    EXPECT_EQ(full[4 + 22 + 3], 0xA2);
    EXPECT_EQ(full[4 + 22 + 8], 0);  // lead-out at 360 + 150 = 00:06:60
    EXPECT_EQ(full[4 + 22 + 9], 6);
    EXPECT_EQ(full[4 + 22 + 10], 60);

    // READ CD with the formatted Q sub-channel: track 2, index 1, 5 frames in, CRC right.
    std::vector<std::uint8_t> sector(kFrameBytes + 294 + 16);
    ASSERT_TRUE(Send({0xBE, 0x04, 0, 0, 0, 105, 0, 0, 1, 0x12, 0x02, 0}, sector).ok);
    const std::uint8_t* q = sector.data() + kFrameBytes + 294;
    EXPECT_EQ(q[0], 0x01);
    EXPECT_EQ(q[1], 0x02);
    EXPECT_EQ(q[2], 0x01);
    EXPECT_EQ(q[5], 0x05);
    EXPECT_EQ(q[9], 0x30);  // absolute 255 frames = 00:03:30, in BCD
    EXPECT_EQ(std::string(sector.begin(), sector.begin() + kFrameBytes), PatternFrames(105, 1));
    // The position of the last read, as a player asks for it.
    std::vector<std::uint8_t> position(16);
    ASSERT_TRUE(Send({0x42, 0, 0x40, 1, 0, 0, 0, 0, 16, 0}, position).ok);
    EXPECT_EQ(position[6], 2);
    EXPECT_EQ(position[11], 105);
    EXPECT_EQ(position[15], 5);

    // READ(10) reads audio only at the frame size set by MODE SELECT.
    std::vector<std::uint8_t> frame(kFrameBytes);
    EXPECT_EQ(Send({0x28, 0, 0, 0, 0, 7, 0, 0, 1, 0}, frame).asc, 0x64);
    std::vector<std::uint8_t> select = {0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0x09, 0x30};
    std::uint8_t selectCdb[10] = {0x55, 0x10, 0, 0, 0, 0, 0, 0, 16, 0};
    ASSERT_TRUE(drive_->Execute(selectCdb, 10, select.data(), select.size(), true).ok);
    ASSERT_TRUE(Send({0x28, 0, 0, 0, 0, 7, 0, 0, 1, 0}, frame).ok);
    EXPECT_EQ(std::string(frame.begin(), frame.end()), PatternFrames(7, 1));

    // SET CD SPEED: below the maximum as asked, "maximum" (FFFFh) back to it.
    ASSERT_TRUE(drive_->SetSpeed(1411).ok);
    Capabilities caps;
    ASSERT_TRUE(drive_->ReadCapabilities(caps).ok);
    EXPECT_EQ(caps.currentSpeedKBs, 1411);
    ASSERT_TRUE(drive_->SetSpeed(DiscDrive::kMaxSpeed).ok);
    EXPECT_EQ(model_->CurrentSpeedKBs(), 7056);
}

TEST_F(SgDriveTest, DiscInfoFromTheFullTocAndTheQSubChannel) {
    // A plain disc: one session, no codes.
    DiscInfo disc;
    ASSERT_TRUE(drive_->ReadDiscInfo(disc).ok);
    EXPECT_EQ(disc.sessions, 1);
    EXPECT_EQ(disc.catalog, "");
    EXPECT_EQ(disc.tracks[2].length, 60u);

    // The disc of a ripper's sheet: two sessions, a catalog number, an ISRC and flags.
    std::string error;
    model_ = MmcDriveModel::Open(test::WriteRipperSheet(dir_), error);
    ASSERT_TRUE(model_) << error;
    ASSERT_TRUE(drive_->ReadDiscInfo(disc).ok);
    EXPECT_EQ(disc.sessions, 2);
    EXPECT_EQ(disc.catalog, "0724384260521");
    ASSERT_EQ(disc.tracks.size(), 4u);
    EXPECT_EQ(disc.tracks[0].isrc, "USABC0000001");
    EXPECT_EQ(disc.tracks[0].pregap, 33u);
    EXPECT_TRUE(disc.tracks[0].preemphasis);
    EXPECT_TRUE(disc.tracks[0].copyPermitted);
    EXPECT_EQ(disc.tracks[1].isrc, "");
    EXPECT_EQ(disc.tracks[2].length, 75u);  // ends with the first session
    EXPECT_EQ(disc.tracks[3].session, 2);
    EXPECT_EQ(disc.AudioLeadOut(), 460u);
    EXPECT_EQ(disc.leadOut, 11910u);

    // Without a disc there is nothing to tell.
    model_->RemoveDisc();
    EXPECT_TRUE(drive_->ReadDiscInfo(disc).NoMedium());
}

TEST_F(SgDriveTest, PregapsIndexPointsAndCdTextTellTheDiscAsItsImageDoes) {
    // The ripper's sheet has INDEX 00 stretches, a PREGAP, an INDEX 02, CD-Text, and a data
    // track in a second session: read through the drive, it is the disc the image drive tells.
    std::string error;
    CueSheet sheet;
    ASSERT_TRUE(LoadCueSheet(test::WriteRipperSheet(dir_), sheet, error)) << error;
    const DiscInfo expected = DiscInfoFromSheet(sheet);
    model_ = std::make_unique<MmcDriveModel>(sheet);
    DiscInfo disc;
    ASSERT_TRUE(drive_->ReadDiscInfo(disc).ok);
    EXPECT_EQ(disc, expected);
    EXPECT_EQ(disc.tracks[1].pregap, 75u);
    EXPECT_EQ(disc.tracks[0].indexes, (std::vector<std::uint32_t>{33, 150}));
    EXPECT_EQ(disc.tracks[0].songwriter, "Writer");

    // Index points of every kind in one file, and a data track before the audio.
    test::WriteFile(dir_ / "mixed.bin", PatternFrames(0, 1000));
    test::WriteFile(dir_ / "mixed.cue",
                    "FILE \"mixed.bin\" BINARY\n"
                    "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
                    "  TRACK 02 AUDIO\n    INDEX 00 00:02:00\n    INDEX 01 00:04:00\n"
                    "    INDEX 02 00:05:00\n    INDEX 03 00:05:01\n"
                    "  TRACK 03 AUDIO\n    INDEX 01 00:06:00\n    INDEX 02 00:12:74\n");
    ASSERT_TRUE(LoadCueSheet((dir_ / "mixed.cue").string(), sheet, error)) << error;
    model_ = std::make_unique<MmcDriveModel>(sheet);
    ASSERT_TRUE(drive_->ReadDiscInfo(disc).ok);
    EXPECT_EQ(disc, DiscInfoFromSheet(sheet));
    EXPECT_EQ(disc.tracks[1].pregap, 150u);
    EXPECT_EQ(disc.tracks[1].indexes, (std::vector<std::uint32_t>{300, 375, 376}));
    EXPECT_EQ(disc.tracks[2].indexes, (std::vector<std::uint32_t>{450, 974}));
    EXPECT_EQ(disc.title, "");

    // A drive that gives the sub-channel raw only tells the same.
    model_->RefuseFormattedQ();
    DiscInfo fromRaw;
    ASSERT_TRUE(drive_->ReadDiscInfo(fromRaw).ok);
    EXPECT_EQ(fromRaw, disc);
}

}  // namespace
}  // namespace orvane::cdrom
