#pragma once
// The format of the WAVE file whose samples arrive on standard input.

#include <cstdint>
#include <string>

namespace orvane::codecs {

struct WaveFormat {
    int channels = 0;
    int rate = 0;
    int bitsPerSample = 0;
    int64_t dataOffset = 0;  // first byte of the samples
    int64_t dataBytes = 0;   // bytes of samples, as far as the file holds them
};

// Reads the RIFF chunks of `path` up to the data chunk. Returns false with a reason.
bool ReadWaveFormat(const std::string& path, WaveFormat* format, std::string* error);

}  // namespace orvane::codecs
