#pragma once
// A CD drive as the toolkit sees it: identity, table of contents, digital audio reads,
// capabilities and the tray. Real drives (SG_IO) and image drives (cue sheets) implement it;
// the MCI device and the SCSI transport library are built on it.
//
// Every operation answers with a DriveResult that carries SCSI sense data on failure, so the
// SCSI transport can hand real sense keys to its callers whichever kind of drive is behind it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::cdrom {

// CD time units: a frame (sector) of 2352 bytes of 16-bit stereo samples at 44100 Hz.
constexpr std::uint32_t kFrameBytes = 2352;
constexpr std::uint32_t kFramesPerSecond = 75;
constexpr std::uint32_t kBytesPerSecond = kFrameBytes * kFramesPerSecond;  // 176400
// Logical block 0 lies at 00:02:00 on the disc.
constexpr std::uint32_t kMsfOffset = 150;

// SCSI sense keys used by the drives.
constexpr std::uint8_t kSenseNotReady = 0x02;
constexpr std::uint8_t kSenseMediumError = 0x03;
constexpr std::uint8_t kSenseHardwareError = 0x04;
constexpr std::uint8_t kSenseIllegalRequest = 0x05;
constexpr std::uint8_t kSenseUnitAttention = 0x06;
constexpr std::uint8_t kSenseAbortedCommand = 0x0B;

struct DriveResult {
    bool ok = true;
    // Sense data of a failed command; key 0 with ok == false is a failure of the transport
    // itself (no device, ioctl error, time-out), described by message.
    std::uint8_t senseKey = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    std::string message;

    static DriveResult Ok() { return {}; }
    static DriveResult Sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                             std::string message = {});
    static DriveResult Failure(std::string message);

    // NOT READY, MEDIUM NOT PRESENT (3A/xx).
    bool NoMedium() const { return !ok && senseKey == kSenseNotReady && asc == 0x3A; }
    // NOT READY, MEDIUM NOT PRESENT - TRAY OPEN (3A/02).
    bool TrayOpen() const { return NoMedium() && ascq == 0x02; }
    // A short description for messages ("not ready: medium not present - tray open").
    std::string Describe() const;
};

// Standard INQUIRY data of a drive.
struct InquiryData {
    std::uint8_t deviceType = 5;  // peripheral device type; 5 = CD/DVD
    std::string vendor;           // 8 characters, space padded
    std::string product;          // 16 characters, space padded
    std::string revision;         // 4 characters, space padded
    bool atapi = true;            // attached through ATAPI (IDE) rather than parallel SCSI
};

// Control bits of a track in the table of contents (Q sub-channel). Read them through
// TrackControl, never by hand.
constexpr std::uint8_t kControlPreEmphasis = 0x01;
constexpr std::uint8_t kControlCopyPermitted = 0x02;
constexpr std::uint8_t kControlData = 0x04;
constexpr std::uint8_t kControlFourChannel = 0x08;

// The control nibble of a track. On a data track bit 0 tells how the track was recorded and
// bit 3 is reserved, so pre-emphasis and four channels belong to audio tracks only.
struct TrackControl {
    std::uint8_t bits = 0;

    // From the byte of a READ TOC descriptor: ADR in the high nibble, control in the low.
    static constexpr TrackControl FromAdrControl(std::uint8_t adrControl) {
        return {static_cast<std::uint8_t>(adrControl & 0x0F)};
    }
    static constexpr std::uint8_t AdrOf(std::uint8_t adrControl) {
        return static_cast<std::uint8_t>(adrControl >> 4);
    }
    constexpr bool Data() const { return (bits & kControlData) != 0; }
    constexpr bool Audio() const { return !Data(); }
    constexpr bool PreEmphasis() const { return Audio() && (bits & kControlPreEmphasis) != 0; }
    constexpr bool CopyPermitted() const { return (bits & kControlCopyPermitted) != 0; }
    constexpr bool FourChannel() const { return Audio() && (bits & kControlFourChannel) != 0; }
};

struct TocTrack {
    std::uint8_t number = 0;
    std::uint8_t adr = 1;
    std::uint8_t control = 0;  // TrackControl's bits
    std::uint32_t lba = 0;     // start (index 01) as a logical block address

    bool IsAudio() const { return TrackControl{control}.Audio(); }
    bool operator==(const TocTrack&) const = default;
};

struct Toc {
    std::uint8_t firstTrack = 0;
    std::uint8_t lastTrack = 0;
    std::vector<TocTrack> tracks;  // firstTrack..lastTrack in order, without the lead-out
    std::uint32_t leadOut = 0;     // logical block address of the lead-out

    bool Empty() const { return tracks.empty(); }
    // Number of frames of track i (index into tracks).
    std::uint32_t TrackFrames(std::size_t i) const;
    bool operator==(const Toc&) const = default;
};

struct DiscInfo;

// The parts of the CD capabilities page (MODE SENSE page 2Ah) the toolkit uses.
struct Capabilities {
    bool cddaSupported = true;             // byte 5 bit 0: CD-DA commands supported
    bool cddaAccurate = true;              // byte 5 bit 1: CD-DA stream is accurate
    bool ejectable = true;                 // byte 6 bit 3: the drive can eject
    bool locked = false;                   // byte 6 bit 1: the tray is locked
    std::uint16_t maxSpeedKBs = 7056;      // bytes 8-9: 40x
    std::uint16_t currentSpeedKBs = 7056;  // bytes 14-15
    std::uint16_t bufferKB = 2048;         // bytes 12-13
};

class DiscDrive {
public:
    virtual ~DiscDrive() = default;

    // A short name for messages: the device path or the cue sheet.
    virtual std::string Name() const = 0;
    virtual DriveResult Inquiry(InquiryData& out) = 0;
    // Ready with a disc: ok; no disc or tray open: NOT READY 3A/01 or 3A/02.
    virtual DriveResult TestUnitReady() = 0;
    virtual DriveResult ReadToc(Toc& out) = 0;
    // Everything the drive can tell of the disc beyond the track list (disc_info.h); by
    // default what the table of contents gives.
    virtual DriveResult ReadDiscInfo(DiscInfo& out);
    // Reads count frames of 2352 bytes from lba on into out (count * 2352 bytes).
    virtual DriveResult ReadCdda(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) = 0;
    // READ CD with C2 error pointers: the frames as ReadCdda, and per frame 294 bytes in c2,
    // one bit per byte of the frame (most significant bit first), set where the drive could
    // not correct the byte. By default the drive cannot (ILLEGAL REQUEST 24/00).
    static constexpr std::uint32_t kC2Bytes = 294;
    virtual DriveResult ReadCddaC2(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                                   std::uint8_t* c2);
    virtual DriveResult ReadCapabilities(Capabilities& out) = 0;
    // SET CD SPEED: the read speed in kB/s (176 for 1x), kMaxSpeed for the fastest the drive
    // can. By default the drive does not take the command (ILLEGAL REQUEST 20/00).
    static constexpr std::uint16_t kMaxSpeed = 0xFFFF;
    virtual DriveResult SetSpeed(std::uint16_t kilobytesPerSecond);
    // START STOP UNIT with the load/eject bit: open or close the tray.
    virtual DriveResult SetTray(bool open) = 0;
    // True while another program holds the drive exclusively.
    virtual bool Busy() { return false; }
};

// Byte forms of the command answers, as a drive returns them (big-endian fields). Real drives
// are decoded with the Parse functions; the SCSI transport answers with the Encode functions.
std::vector<std::uint8_t> EncodeInquiry(const InquiryData& data);  // 36 bytes
bool ParseInquiry(const std::uint8_t* data, std::size_t length, InquiryData& out);
// READ TOC format 0 with logical block addresses, lead-out descriptor (track AAh) included.
std::vector<std::uint8_t> EncodeToc(const Toc& toc);
bool ParseToc(const std::uint8_t* data, std::size_t length, Toc& out, std::string* error);
// MODE SENSE(10) answer: the 8-byte mode parameter header and the 20-byte page 2Ah.
std::vector<std::uint8_t> EncodeCapabilities(const Capabilities& caps);
bool ParseCapabilities(const std::uint8_t* data, std::size_t length, Capabilities& out);
// Fixed-format sense data (18 bytes) of a result.
std::vector<std::uint8_t> EncodeSense(const DriveResult& result);
// Sense key, ASC and ASCQ from sense data in fixed (70h/71h) or descriptor (72h/73h) format;
// false when there is too little of it or no error in it.
bool DecodeSense(const std::uint8_t* data, std::size_t length, DriveResult& out);

}  // namespace orvane::cdrom
