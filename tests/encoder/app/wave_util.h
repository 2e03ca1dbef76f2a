#pragma once
// WAVE files for the tests.

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
    std::string s = "RIFF";
    PutLe(s, 36 + dataBytes, 4);
    s += "WAVEfmt ";
    PutLe(s, 16, 4);
    PutLe(s, 1, 2);
    PutLe(s, static_cast<std::uint32_t>(channels), 2);
    PutLe(s, rate, 4);
    PutLe(s, rate * static_cast<std::uint32_t>(channels * bits / 8), 4);
    PutLe(s, static_cast<std::uint32_t>(channels * bits / 8), 2);
    PutLe(s, static_cast<std::uint32_t>(bits), 2);
    s += "data";
    PutLe(s, declaredData == 0xFFFFFFFFu ? dataBytes : declaredData, 4);
    for (std::uint32_t i = 0; i < dataBytes; ++i)
        s += static_cast<char>(i * 7 % 251);
    return s;
}

}  // namespace orvane::test
