#pragma once
// The three layers behind one interface: interleaved 16-bit PCM in, MPEG audio bytes out.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codecs/enc/options.h"

namespace orvane::codecs {

class StreamEncoder {
public:
    virtual ~StreamEncoder() = default;
    // `frames` sample frames of the plan's output channel count at the output rate.
    virtual bool Encode(const int16_t* samples, size_t frames, std::vector<uint8_t>* out,
                        std::string* error) = 0;
    virtual bool Finish(std::vector<uint8_t>* out, std::string* error) = 0;
    // Bytes to write over the start of the finished stream (an information frame), or none.
    virtual std::vector<uint8_t> LeadingFrame() { return {}; }
    virtual int64_t framesWritten() const = 0;
};

// The encoder for the plan's layer, or null with a reason.
std::unique_ptr<StreamEncoder> CreateStreamEncoder(const EncodePlan& plan, std::string* error);

}  // namespace orvane::codecs
