#pragma once
// What the disc reader needs of a CD drive: audio sectors, with C2 error pointers where the
// drive gives them, and the capabilities page that tells its buffer. The grabber's drive record
// (encoder/cdda/cd_drive.h) is one; tests may bring their own.

#include <cstdint>

namespace orvane::rip {

// Bytes of one audio sector (588 stereo samples of 16 bits).
constexpr std::uint32_t kFrameBytes = 2352;
// Stereo samples (4 bytes each) of one audio sector.
constexpr int kSamplesPerSector = static_cast<int>(kFrameBytes / 4);
// Samples of five sectors: the widest read offset a drive may need, and what the AccurateRip
// sums leave out at the disc's ends.
constexpr int kFiveSectorSamples = 5 * kSamplesPerSector;

// A command's outcome as the SCSI transport reports it: 1 for success; else the status in bits
// 0-7 and the sense key in bits 16-19 (3: a medium error, 5: an illegal request), or a negative
// number for a failure of the host.
using ReadResult = std::int32_t;

class AudioDrive {
public:
    virtual ~AudioDrive() = default;

    // count frames from first into out (count x 2352 bytes).
    virtual ReadResult ReadAudioFrames(std::uint32_t first, std::uint32_t count,
                                       std::uint8_t* out) const = 0;
    // READ CD with C2 error pointers: the frames into out, and 294 bytes per frame into c2 (a
    // bit per byte of the frame, set where the drive could not correct it). A drive without
    // them answers ILLEGAL REQUEST (sense key 5).
    static constexpr std::uint32_t kC2Bytes = 294;
    virtual ReadResult ReadAudioFramesC2(std::uint32_t first, std::uint32_t count,
                                         std::uint8_t* out, std::uint8_t* c2) const = 0;
    // 28 bytes: the mode parameter header and the capabilities page (2Ah); its buffer size in
    // kB at bytes 20-21.
    virtual ReadResult QueryCdCapabilities(std::uint8_t out[28]) const = 0;
    // Puts the drive into the block length of audio sectors before a read; callers ignore the
    // result.
    virtual ReadResult SetAudioBlockMode() const = 0;
};

}  // namespace orvane::rip
