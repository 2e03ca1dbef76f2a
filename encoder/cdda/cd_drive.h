#pragma once
// CD-ROM drives reached through the SCSI transport: the drive record, the drive configuration
// file "PlimoCDA.cfg", drive discovery and the commands the grabber sends.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "encoder/cdda/aspi.h"
#include "encoder/rip/audio_drive.h"

namespace orvane::cdda {

constexpr std::uint32_t kFrameBytes = rip::kFrameBytes;
constexpr int kMaxDrives = 7;
constexpr int kMaxTocEntries = 200;
constexpr int kMaxConfigEntries = 256;
// Frames the grab buffer holds; larger sectors-per-read values are bounded to it.
constexpr int kReadBufferFrames = 256;
// Read speeds: one times the audio rate is 176.4 kB/s; FFFFh asks for the fastest.
constexpr std::uint16_t kSingleSpeedKBs = 176;
constexpr std::uint16_t kMaxReadSpeed = 0xFFFF;

// Read commands of a SCSI drive, by the operation code of the configuration file.
enum class ReadMethod : std::uint16_t {
    Read10 = 0x28,
    ReadCd12 = 0xBE,
    VendorD4 = 0xD4,
    VendorD8 = 0xD8
};

// One descriptor of READ TOC, as the track list keeps it.
struct TocEntry {
    std::uint8_t reserved = 0;
    std::uint8_t adrControl = 0;
    std::uint8_t trackNumber = 0;
    std::uint8_t reserved2 = 0;
    std::uint32_t start = 0;  // logical block address, host order
};

struct TrackTable {
    int count = 0;  // descriptors, lead-out included
    std::array<TocEntry, kMaxTocEntries> entries{};
};

struct DriveConfigEntry {
    std::string vendor, product, revision;
    std::uint16_t readCode = 0x28;
    std::uint16_t setBlockMode = 0;
    std::uint16_t density = 0;
    std::uint16_t swapBytes = 0;
    std::int16_t sectorsPerRead = 4;
    std::uint16_t spare = 0;
};

// Parses one line of the configuration file (as read, line end included); false when the line
// is skipped or refused (comment, too short, not three quoted strings of at most 19 characters,
// missing numbers).
bool ParseDriveConfigLine(const std::string& line, DriveConfigEntry& out);
// Reads "PlimoCDA.cfg" once per process: from the current directory, else from the program
// folder given. Returns the number of entries. A file that cannot be opened is tried again on
// the next call.
int LoadDriveConfig(const std::string& appFolder = {});
// The entries read (tests and tools).
const std::vector<DriveConfigEntry>& DriveConfigTable();
// Forgets the loaded table (tests).
void ResetDriveConfig();

class CdDrive : public rip::AudioDrive {
public:
    std::uint16_t adapter = 0;
    std::uint16_t target = 0;
    std::uint16_t readMethod = 0x28;
    std::uint16_t spare = 0;
    std::int16_t sectorsPerRead = 4;
    std::uint16_t density = 0;
    int isScsi = 0;
    int swapBytes = 0;
    int setBlockMode = 0;
    std::string vendor, product, revision, interfaceName;

    // INQUIRY, the configuration rules and the interface rule. The INQUIRY status; -1 when
    // INQUIRY did not complete (the record is then left as it was).
    int InitDrive(std::uint16_t adapter, std::uint16_t target, const std::string& adapterId,
                  const std::string& appFolder = {});
    // On a failure with sense data, asc (when given) receives its additional sense code.
    AspiResult ReadToc(TrackTable& table, std::uint8_t* asc = nullptr) const;
    // 28 bytes: the mode parameter header and the capabilities page.
    AspiResult QueryCdCapabilities(std::uint8_t out[28]) const override;
    AspiResult SetAudioBlockMode() const override;
    // SET CD SPEED: the read speed in kB/s (kMaxReadSpeed: the drive's fastest).
    AspiResult SetReadSpeed(std::uint16_t kilobytesPerSecond) const;
    // START STOP UNIT with LoEj and Start 0: the tray opens (the disc is ejected).
    AspiResult OpenTray() const;
    // count frames from first into out (count x 2352 bytes).
    AspiResult ReadAudioFrames(std::uint32_t first, std::uint32_t count,
                               std::uint8_t* out) const override;
    // READ CD with C2 error pointers (kC2Bytes a frame); a drive without them answers ILLEGAL
    // REQUEST (sense key 5).
    AspiResult ReadAudioFramesC2(std::uint32_t first, std::uint32_t count, std::uint8_t* out,
                                 std::uint8_t* c2) const override;
    // The command block ReadAudioFrames sends (its length in length).
    std::array<std::uint8_t, 12> ReadCommand(std::uint32_t first, std::uint32_t count,
                                             std::uint8_t& length) const;
};

// The command blocks, byte for byte.
std::array<std::uint8_t, 6> InquiryCdb();
std::array<std::uint8_t, 10> ReadTocCdb();
std::array<std::uint8_t, 10> ModeSenseCapabilitiesCdb();
std::array<std::uint8_t, 6> ModeSelectCdb();
std::array<std::uint8_t, 12> ModeSelectParameters(std::uint16_t density);
std::array<std::uint8_t, 10> ReadCdIdeCdb(std::uint32_t lba, std::uint32_t count);
std::array<std::uint8_t, 12> ReadCdScsiCdb(std::uint32_t lba, std::uint32_t count);
std::array<std::uint8_t, 12> VendorD8Cdb(std::uint32_t lba, std::uint32_t count);
std::array<std::uint8_t, 10> VendorD4Cdb(std::uint32_t lba, std::uint32_t count);
std::array<std::uint8_t, 10> Read10Cdb(std::uint32_t lba, std::uint32_t count);

// INQUIRY: the status; vendor (8), product (16) and revision (4) texts when it is 1.
int Inquiry(std::uint16_t adapter, std::uint16_t target, std::string& vendor, std::string& product,
            std::string& revision);

// Fills the table with the CD-ROM drives found; their number (1 or more), or -1 when there is
// none or the transport is not available. Devices beyond the table's 7 records are not listed.
int DiscoverDrives(std::array<CdDrive, kMaxDrives>& table, const std::string& appFolder = {});
// Why DiscoverDrives found no drive, for the message that says so: the problems the drive
// discovery met (a refused cue sheet, a missing image file), else why the transport could not
// be used; empty when neither is known.
std::string NoDriveReason();

// True when an adapter identifier names an IDE/ATAPI adapter.
bool IsIdeAdapter(const std::string& adapterId);

}  // namespace orvane::cdda
