#pragma once
// Samples handed to a job as they are made (a decoder's output) in place of the single file's
// WAVE file, so that nothing is written between the two: the in-process encoders (FLAC, Opus)
// take them as they would read the file's.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "encoder/wave/pcm_wave.h"

namespace orvane::encoder {

class PcmFeed {
public:
    virtual ~PcmFeed() = default;
    // The samples' channels, rate and bits (16, 24 or 32; 32 for floats); frames: how many are
    // expected, for the progress only (0: not known).
    virtual wave::PcmWave Format() const = 0;
    // Up to `frames` of the next frames into out (cleared first), interleaved and signed: the
    // frames given, 0 once they are over, -1 with error (for the user) when they broke.
    virtual long Read(std::size_t frames, std::vector<std::int32_t>& out, std::string& error) = 0;
    // True when the samples come as 32-bit floats (full scale at 1), through ReadFloats only:
    // for an encoder that codes floats, nothing is rounded to integers on the way.
    virtual bool Floats() const { return false; }
    // As Read, the frames interleaved at samples, which stay valid until the next call.
    virtual long ReadFloats(std::size_t /*frames*/, const float*& /*samples*/, std::string& error) {
        error = "the samples are not floating-point";
        return -1;
    }
};

}  // namespace orvane::encoder
