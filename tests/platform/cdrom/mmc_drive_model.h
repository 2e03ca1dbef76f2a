#pragma once
// A CD drive as seen through SG_IO, for tests: it answers the MMC command blocks a real drive
// takes, from a disc image, with fixed-format sense data on failure. It is put behind the SG_IO
// door of platform/cdrom (SetSgIoctl) or, for the programs in the program folder, behind the
// ioctl of a preloaded shim, so the real SG_IO code paths run against it.
//
// Modelled: INQUIRY, TEST UNIT READY, READ TOC/PMA/ATIP formats 0, 1, 2 and 5, READ SUB-CHANNEL
// formats 1-3 (position, catalog number, ISRC), READ CD (user data, C2 error pointers, raw or
// formatted Q sub-channel with the image's index points; C2 error pointers on damaged sectors),
// READ(10) at the block size set by MODE SELECT(6/10), MODE SENSE(10) page 2Ah, SET CD SPEED, START
// STOP UNIT, PREVENT ALLOW MEDIUM REMOVAL, GET EVENT STATUS NOTIFICATION (media class, polled). Not
// modelled: see the drive model section of ARCHITECTURE.md.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/cdrom/image_drive.h"

namespace orvane::test {

class MmcDriveModel {
public:
    // Loads the disc image; null with a message when the cue sheet is refused.
    static std::unique_ptr<MmcDriveModel> Open(const std::string& cuePath, std::string& error);
    explicit MmcDriveModel(cdrom::CueSheet sheet);

    // The ioctl(2) of the device: SG_GET_VERSION_NUM and SG_IO; anything else fails with EINVAL.
    int Ioctl(unsigned long request, void* arg);

    // Drive and disc states, as a user would bring them about.
    void RemoveDisc();  // tray closed, no disc
    void OpenTray();    // as the eject button does
    void CloseTray();   // the drive spins up: becoming ready, then medium changed
    void FailSectors(std::uint32_t first, std::uint32_t last);  // unrecovered read errors
    // Damaged but readable sectors: every sample's low byte comes back altered, and READ CD
    // with C2 error pointers flags exactly those bytes.
    void DamageSectors(std::uint32_t first, std::uint32_t last);
    void SetDeviceType(std::uint8_t type) { deviceType_ = type; }
    void SetIdentity(const std::string& vendor, const std::string& product);
    // As drives without a loading motor (slot and laptop drives): the tray stays open until
    // pushed in by hand, whatever START STOP UNIT asks.
    void RemoveTrayMotor() { trayMotor_ = false; }
    // As drives that give the sub-channel raw only: READ CD refuses the formatted Q.
    void RefuseFormattedQ() { formattedQ_ = false; }

    std::uint16_t CurrentSpeedKBs() const { return currentSpeed_; }
    bool Locked() const { return locked_; }
    // Operation codes of the command blocks received, in order.
    const std::vector<std::uint8_t>& Opcodes() const { return opcodes_; }

private:
    struct Answer {
        std::uint8_t key = 0, asc = 0, ascq = 0;
        bool haveInfo = false;
        std::uint32_t info = 0;
    };
    Answer Execute(const std::uint8_t* cdb, std::uint8_t* data, std::size_t dataLength,
                   std::size_t& transferred);
    Answer MediumState(bool reportAttention);
    Answer ReadToc(const std::uint8_t* cdb, std::vector<std::uint8_t>& out);
    Answer ReadSubChannel(const std::uint8_t* cdb, std::vector<std::uint8_t>& out);
    Answer ReadCd(const std::uint8_t* cdb, std::vector<std::uint8_t>& out);
    Answer Read10(const std::uint8_t* cdb, std::vector<std::uint8_t>& out);
    Answer ModeSelect(const std::uint8_t* data, std::size_t length, bool ten);
    Answer EventStatus(const std::uint8_t* cdb, std::vector<std::uint8_t>& out);
    Answer ReadFrames(std::uint32_t lba, std::uint32_t count, std::uint8_t* out);
    bool Damaged(std::uint32_t lba) const;
    // The 12 bytes of the Q sub-channel of a sector (mode 1, position), CRC included.
    std::vector<std::uint8_t> QSubChannel(std::uint32_t lba) const;
    std::size_t TrackAt(std::uint32_t lba) const;
    // The track a sector belongs to, its pregap included; kInGap between sessions.
    static constexpr std::size_t kInGap = static_cast<std::size_t>(-1);
    std::size_t DiscTrackAt(std::uint32_t lba) const;

    std::unique_ptr<cdrom::ImageDrive> image_;
    cdrom::Toc toc_;
    cdrom::DiscInfo disc_;  // sessions, catalog number and ISRCs of the image
    std::uint8_t deviceType_ = 5;
    std::string vendor_ = "MODEL", product_ = "MMC DRIVE";
    bool medium_ = true;
    bool trayOpen_ = false;
    int becomingReady_ = 0;
    bool attention_ = false;
    bool locked_ = false;
    bool formattedQ_ = true;
    bool trayMotor_ = true;
    std::uint8_t mediaEvent_ = 0;  // pending media event code
    std::uint32_t blockSize_ = 2048;
    std::uint16_t maxSpeed_ = 7056;
    std::uint16_t currentSpeed_ = 7056;
    std::uint32_t position_ = 0;  // last sector read, for READ SUB-CHANNEL
    std::vector<cdrom::SectorRange> failing_;
    std::vector<cdrom::SectorRange> damaged_;
    std::vector<std::uint8_t> opcodes_;
};

}  // namespace orvane::test
