#pragma once
// Reading a disc's samples as they are on the disc: the drive's read offset corrected, and in
// secure mode every sector read until its reads agree. The grab's read loop, the CD job and
// orvane-cdda read through it whenever an offset or a mode other than burst is set.

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/cdda/cd_drive.h"

namespace orvane::cdda {

enum class ReadMode { Burst, Secure, TestAndCopy };
// "burst", "secure", "test-and-copy".
const char* ReadModeName(ReadMode mode);

// Read offsets a drive may need, in samples; wider than any drive known (about +-5 sectors).
constexpr int kMaxReadOffset = 2940;

struct ReadSettings {
    int offset = 0;  // samples; the drive delivers sample i of the disc as its sample i + offset
    ReadMode mode = ReadMode::Burst;
    int agree = 2;          // secure: reads of a sector that must agree (at least 2)
    int maxReads = 16;      // secure: reads of a sector at most
    bool useC2 = true;      // secure: ask for C2 error pointers where the drive gives them
    bool overread = false;  // read beyond the disc's ends instead of zeros (drives that can)

    // The described reading: one read per request, nothing shifted.
    bool Plain() const { return offset == 0 && mode == ReadMode::Burst; }
};

class SampleReader {
public:
    SampleReader(const CdDrive& drive, std::uint32_t leadOut, const ReadSettings& settings)
        : drive_(drive), leadOut_(leadOut), settings_(settings) {}

    // Reads the disc's frames first .. first + count - 1 into out (count x 2352 bytes), the
    // offset corrected: sample i of out is the disc's sample first * 588 + i. Samples beyond
    // the disc's ends are zeros. Returns 1, or the last failure of a command tried attempts
    // times in burst mode (maxReads times in secure mode).
    AspiResult Read(std::uint32_t first, std::uint32_t count, std::uint8_t* out, int attempts);

    // Sectors (drive addresses) whose reads never agreed, in the order met, each once.
    const std::vector<std::uint32_t>& Suspicious() const { return suspicious_; }
    void ClearSuspicious() { suspicious_.clear(); }
    // Reads of the drive issued so far (the cost of secure mode).
    std::uint64_t Requests() const { return requests_; }
    const ReadSettings& Settings() const { return settings_; }

private:
    AspiResult ReadFrames(std::uint32_t lba, std::uint32_t count, std::uint8_t* out, int attempts);
    AspiResult ReadSecure(std::uint32_t lba, std::uint32_t count, std::uint8_t* out);
    // One read with C2 pointers where the drive gives them; flags[k] set for a sector with C2
    // errors.
    AspiResult ReadOnce(std::uint32_t lba, std::uint32_t count, std::uint8_t* out,
                        std::vector<bool>& flags);
    void MarkSuspicious(std::uint32_t lba);

    const CdDrive& drive_;
    std::uint32_t leadOut_;
    ReadSettings settings_;
    bool c2Refused_ = false;
    std::vector<std::uint32_t> suspicious_;
    std::vector<std::uint8_t> frames_, c2_;
    std::uint64_t requests_ = 0;
};

// "track 3, 02:41.17 (LBA 12345)": a sector's place for the user; mm:ss.ff from the track's
// start.
std::string SectorPlace(int trackNumber, std::uint32_t trackStart, std::uint32_t lba);

}  // namespace orvane::cdda
