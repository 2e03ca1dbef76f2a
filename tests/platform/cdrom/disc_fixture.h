#pragma once
// Small disc images for the drive and MCI tests: every frame's bytes tell which disc frame
// they came from, so a read can be checked byte for byte.

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace orvane::test {

// Byte i of source frame f of a file (before any byte order change of the file type).
inline std::uint8_t PatternByte(std::uint32_t f, std::uint32_t i) {
    return static_cast<std::uint8_t>((f * 131 + i * 7 + (i >> 8)) & 0xFF);
}

inline std::string PatternFrames(std::uint32_t first, std::uint32_t count) {
    std::string frame(2352, '\0');
    for (std::uint32_t i = 0; i < 2352; ++i)
        frame[i] = static_cast<char>(PatternByte(0, i));
    std::string bytes(std::size_t{count} * 2352, '\0');
    for (std::uint32_t f = 0; f < count; ++f) {
        auto shift = static_cast<char>(((first + f) * 131) & 0xFF);
        char* out = bytes.data() + std::size_t{f} * 2352;
        for (std::uint32_t i = 0; i < 2352; ++i)
            out[i] = static_cast<char>(frame[i] + shift);
    }
    return bytes;
}

// Writes a one-file BINARY disc with tracks of the given frame counts (each INDEX 01 at the
// start of its run) and returns the cue sheet path.
inline std::string WriteSimpleDisc(const TempDir& dir, const std::vector<std::uint32_t>& frames,
                                   const std::string& name = "disc") {
    std::string cue = "FILE \"" + name + ".bin\" BINARY\n";
    std::uint32_t at = 0;
    for (std::size_t t = 0; t < frames.size(); ++t) {
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02zu AUDIO\n    INDEX 01 %02u:%02u:%02u\n",
                      t + 1, at / 75 / 60, at / 75 % 60, at % 75);
        cue += line;
        at += frames[t];
    }
    WriteFile(dir / (name + ".bin"), PatternFrames(0, at));
    WriteFile(dir / (name + ".cue"), cue);
    return (dir / (name + ".cue")).string();
}

}  // namespace orvane::test
