#pragma once
// De-emphasis of CD audio recorded with pre-emphasis (the 50/15 µs shelf a track's control bit
// announces): the inverse shelving filter, 0 dB at low frequencies falling to about -9.5 dB at
// 20 kHz.

#include <cstddef>
#include <cstdint>

namespace orvane::rip {

class Deemphasis {
public:
    // Filters sampleFrames pairs of 16-bit stereo samples (little-endian, as read from a disc,
    // 4 bytes a pair; a CD frame holds 588) in place;
    // successive calls continue one stream.
    void Process(std::uint8_t* samples, std::size_t sampleFrames);

private:
    double lastIn_[2] = {};
    double lastOut_[2] = {};
};

}  // namespace orvane::rip
