#pragma once
// WAVE files for the tests.

#include <cmath>
#include <cstdint>
#include <string>

namespace orvane::test {

inline void PutLe(std::string& s, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The canonical 44-byte header followed by the given samples.
inline std::string WaveWithData(int channels, std::uint32_t rate, int bits,
                                const std::string& data) {
    std::string s = "RIFF";
    PutLe(s, 36 + static_cast<std::uint32_t>(data.size()), 4);
    s += "WAVEfmt ";
    PutLe(s, 16, 4);
    PutLe(s, 1, 2);
    PutLe(s, static_cast<std::uint32_t>(channels), 2);
    PutLe(s, rate, 4);
    PutLe(s, rate * static_cast<std::uint32_t>(channels * bits / 8), 4);
    PutLe(s, static_cast<std::uint32_t>(channels * bits / 8), 2);
    PutLe(s, static_cast<std::uint32_t>(bits), 2);
    s += "data";
    PutLe(s, static_cast<std::uint32_t>(data.size()), 4);
    return s + data;
}

// The canonical 44-byte header followed by dataBytes bytes of samples (a counting pattern).
inline std::string CanonicalWave(int channels, std::uint32_t rate, int bits,
                                 std::uint32_t dataBytes,
                                 std::uint32_t declaredData = 0xFFFFFFFFu) {
    std::string data;
    for (std::uint32_t i = 0; i < dataBytes; ++i)
        data += static_cast<char>(i * 7 % 251);
    std::string s = WaveWithData(channels, rate, bits, data);
    if (declaredData != 0xFFFFFFFFu) {
        std::string size;
        PutLe(size, declaredData, 4);
        s.replace(40, 4, size);
    }
    return s;
}

// Whole CD frames (588 stereo samples each, 16-bit little-endian) of a sine of hz, the samples
// counted from phase on.
inline std::string CdToneFrames(double hz, std::uint32_t frames, std::uint32_t phase = 0) {
    std::string out(std::size_t{frames} * 2352, '\0');
    for (std::uint32_t i = 0; i < frames * 588; ++i) {
        const double t = double(i + phase) / 44100;
        const auto v = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * hz * t));
        for (int c = 0; c < 2; ++c) {
            out[4 * i + 2 * c] = static_cast<char>(v & 0xFF);
            out[4 * i + 2 * c + 1] = static_cast<char>((v >> 8) & 0xFF);
        }
    }
    return out;
}

}  // namespace orvane::test
