#include "encoder/wave/wave_info.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "encoder/wave/pcm_wave.h"

namespace orvane::encoder {

namespace {

std::uint32_t U32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
int U16(const unsigned char* p) { return p[0] | (p[1] << 8); }

}  // namespace

WaveInfo ReadWaveInfo(int fd, std::int64_t fileSize) {
    WaveInfo info;
    unsigned char h[44];
    std::memset(h, 0, sizeof h);
    ssize_t got = ::pread(fd, h, sizeof h, 0);
    if (got <= 0 || h[0] != 'R' || h[8] != 'W') return info;
    info.isWave = true;
    info.channels = U16(h + 22);
    info.sampleRate = U32(h + 24);
    info.bitsPerSample = U16(h + 34);
    // Without a data chunk to be found, whatever follows the header, to the end of the file.
    info.dataStart = 44;
    info.dataEnd = fileSize;

    bool canonical = got == 44 && std::memcmp(h + 12, "fmt ", 4) == 0 && U32(h + 16) == 16 &&
                     std::memcmp(h + 36, "data", 4) == 0;
    if (canonical) {
        info.formatBeforeData = true;
        info.pcm = U16(h + 20) == kWaveFormatPcm;
        // A size of 0 (a recorder that never finished its header) means the rest of the file.
        std::int64_t size = U32(h + 40);
        info.dataEnd = size == 0 ? fileSize : std::min<std::int64_t>(fileSize, 44 + size);
        info.dataStart = std::min(info.dataStart, info.dataEnd);
        return info;
    }
    // Other layouts: walk the chunks for the format and the data chunk.
    bool sawFormat = false, sawData = false;
    wave::ForEachWaveChunk(fd, fileSize, [&](const wave::WaveChunk& c) {
        if (c.Is("fmt ") && c.size >= 16 && !sawFormat) {
            // The extensible format names the samples' own format in its sub-format's first
            // two bytes (at 24 of the chunk's 40).
            unsigned char f[40] = {};
            if (wave::ReadWaveBytes(fd, c.body, f, c.size >= 40 ? 40 : 16)) {
                info.channels = U16(f + 2);
                info.sampleRate = U32(f + 4);
                info.bitsPerSample = U16(f + 14);
                const int tag = U16(f);
                info.pcm = tag == kWaveFormatPcm || (tag == kWaveFormatExtensible && c.size >= 40 &&
                                                     U16(f + 24) == kWaveFormatPcm);
                sawFormat = true;
            }
        } else if (c.Is("data")) {
            info.formatBeforeData = sawFormat;
            info.dataStart = c.body;
            info.dataEnd = c.size == 0 ? fileSize : std::min(fileSize, c.body + c.size);
            sawData = true;
            return false;
        }
        return true;
    });
    if (sawData) return info;
    info.dataStart = std::min(info.dataStart, info.dataEnd);
    return info;
}

std::string WaveSampleProblem(const WaveInfo& wave) {
    if (wave.channels < 1 || wave.channels > 2)
        return "Error: The WAV file has " + std::to_string(wave.channels) +
               " channels; 1 or 2 can be encoded.";
    return SampleRateProblem(wave.sampleRate);
}

std::string SampleRateProblem(std::uint32_t rate) {
    if (rate >= kLowestSampleRate && rate <= kHighestSampleRate) return {};
    return "Error: The WAV file's sample rate of " + std::to_string(rate) +
           " Hz cannot be encoded; " + std::to_string(kLowestSampleRate) + " to " +
           std::to_string(kHighestSampleRate) + " Hz can.";
}

}  // namespace orvane::encoder
