#pragma once
// A drive that plays a disc image described by a cue sheet, with faults that tests and the
// drive configuration can inject: failing sectors, slow sectors, no disc, an open tray, a
// drive held by another program.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/cdrom/cue_sheet.h"
#include "platform/cdrom/disc_drive.h"

namespace orvane::cdrom {

struct SectorRange {
    std::uint32_t first = 0;
    std::uint32_t last = 0;  // inclusive
    bool Contains(std::uint32_t lba) const { return lba >= first && lba <= last; }
    bool Overlaps(std::uint32_t lba, std::uint32_t count) const {
        return count > 0 && lba <= last && lba + count - 1 >= first;
    }
};

struct FaultPlan {
    std::vector<SectorRange> failing;  // reads touching these answer MEDIUM ERROR 11/00
    std::vector<SectorRange> slow;     // reads touching these take slowMs more (on the clock)
    std::uint32_t slowMs = 0;
    bool noDisc = false;    // tray closed, no disc: NOT READY 3A/01
    bool trayOpen = false;  // NOT READY 3A/02 until the tray is closed
    bool busy = false;      // held by another program
    // With failTimes > 0 each failing range fails only its first failTimes reads, then reads.
    std::uint32_t failTimes = 0;
    bool scsi = false;  // answers INQUIRY as a drive on a parallel SCSI bus, not ATAPI
    // Every sample arrives readOffset samples late (a drive needing a +readOffset correction):
    // a read of sector s returns the disc's samples from s * 588 - readOffset on, zeros
    // outside the disc.
    std::int32_t readOffset = 0;
    std::vector<SectorRange> flip;  // the first read of each of these sectors is altered
    std::vector<SectorRange> c2;    // always altered, and reported as C2 errors
    // Every read of these sectors is altered, and each read otherwise (not reported as C2
    // errors): reads that never agree.
    std::vector<SectorRange> noisy;
    double speed = 0;  // reads paced to this many times real time; 0: unpaced
    // A drive that caches audio: it keeps the last cacheSectors sectors it returned (first in,
    // first out) and answers a read of one of them from the cache, altered bytes included. Its
    // reported buffer size follows. 0: no cache, and a buffer size of 0.
    std::uint32_t cacheSectors = 0;
    // Where the drive leaves what a test looks at after the program ended: whether the tray
    // is open and how many sectors it read ("tray_open=1\nsectors_read=525\nreads=12\n"),
    // rewritten when the tray moves and when the drive goes. Empty: nowhere.
    std::string stateFile;
};

// The buffer size (kB) a drive caching this many sectors reports, and back: the sectors a
// buffer of that size holds, rounded up.
std::uint16_t CacheBufferKB(std::uint32_t sectors);
std::uint32_t CacheSectorsOfBuffer(std::uint32_t kilobytes);

// The bytes a fault alters in a sector: every sample's low bit inverted.
void AlterSector(std::uint8_t* frame);

// Parses a fault list in the words of the drive configuration file: "fail=150-300,4000",
// "slow=0-74", "slow_ms=250", "fail_times=5", "no_disc", "tray_open", "busy", "scsi",
// "read_offset=-48", "flip=1000-1010", "c2=2000-2003", "noisy=3000", "speed=8", "cache=1024",
// "state_file=/tmp/drive.state".
// Returns false with
// a message for a word it does not know or a bad number.
bool ParseFaultWord(const std::string& word, FaultPlan& plan, std::string& error);

class ImageDrive final : public DiscDrive {
public:
    // Loads the cue sheet; null with a message when it is refused.
    static std::unique_ptr<ImageDrive> Open(const std::string& cuePath, std::string& error);
    explicit ImageDrive(CueSheet sheet);
    ~ImageDrive() override;

    std::string Name() const override { return sheet_.path; }
    DriveResult Inquiry(InquiryData& out) override;
    DriveResult TestUnitReady() override;
    DriveResult ReadToc(Toc& out) override;
    DriveResult ReadDiscInfo(DiscInfo& out) override;
    DriveResult ReadCdda(std::uint32_t lba, std::uint32_t count, std::uint8_t* out) override;
    DriveResult ReadCddaC2(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                           std::uint8_t* c2) override;
    DriveResult ReadCapabilities(Capabilities& out) override;
    DriveResult SetTray(bool open) override;
    DriveResult SetSpeed(std::uint16_t kilobytesPerSecond) override;
    bool Busy() override;

    void SetFaults(const FaultPlan& plan);
    FaultPlan Faults();
    const CueSheet& Sheet() const { return sheet_; }
    // Sectors served by audio reads (each sector of each read counted), and the reads.
    std::uint64_t SectorsRead();
    std::uint64_t Reads();

private:
    DriveResult Ready();  // with mutex_ held
    // The checks, faults and pacing of one read; fills c2 when given.
    DriveResult Read(std::uint32_t lba, std::uint32_t count, std::uint8_t* out, std::uint8_t* c2);
    // The disc's frames as the image holds them (first may lie outside the disc: zeros there).
    DriveResult ReadDiscFrames(std::int64_t first, std::uint32_t count, std::uint8_t* out);
    DriveResult ReadImage(std::uint32_t lba, std::uint32_t count, std::uint8_t* out);
    DriveResult ReadExtent(const DiscExtent& e, std::uint32_t lba, std::uint32_t count,
                           std::uint8_t* out);

    CueSheet sheet_;
    std::vector<int> fds_;  // one descriptor per file of the sheet, opened on first read
    std::mutex mutex_;
    FaultPlan faults_;
    std::vector<std::uint32_t> failuresServed_;  // per failing range, with failTimes
    std::uint16_t speed_ = 0;                    // set by SetSpeed; 0: never set
    std::vector<bool> flipped_;                  // per sector: its first read is behind it
    double paceDebtMs_ = 0;                      // time owed to the speed fault
    std::uint32_t noisyReads_ = 0;               // reads of noisy sectors so far
    std::uint64_t sectorsRead_ = 0, reads_ = 0;
    bool stateTouched_ = false;  // a read or a tray move since the drive was made
    void WriteState();           // to faults_.stateFile; with mutex_ held
    // The cache of cacheSectors: sectors in the order they entered, and their bytes.
    std::deque<std::uint32_t> cacheOrder_;
    std::unordered_map<std::uint32_t, std::vector<std::uint8_t>> cache_;
    // Serves the cached sectors of a read from the cache and caches the others; with mutex_
    // held.
    void ThroughCache(std::uint32_t lba, std::uint32_t count, std::uint8_t* out);
};

}  // namespace orvane::cdrom
