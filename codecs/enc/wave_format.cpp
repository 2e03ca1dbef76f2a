#include "codecs/enc/wave_format.h"

#include <fstream>

namespace orvane::codecs {
namespace {

uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

bool ReadWaveFormat(const std::string& path, WaveFormat* format, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "Cannot open the input file " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    const int64_t fileSize = in.tellg();
    in.seekg(0);
    unsigned char riff[12];
    if (!in.read(reinterpret_cast<char*>(riff), 12) ||
        std::string(reinterpret_cast<char*>(riff), 4) != "RIFF" ||
        std::string(reinterpret_cast<char*>(riff) + 8, 4) != "WAVE") {
        *error = "The input is not a WAVE file";
        return false;
    }
    WaveFormat f;
    bool haveFormat = false;
    int64_t pos = 12;
    // Walk the chunks; a sane file has few, so give up after a reasonable number.
    for (int chunks = 0; chunks < 1000 && pos + 8 <= fileSize; ++chunks) {
        unsigned char head[8];
        in.seekg(pos);
        if (!in.read(reinterpret_cast<char*>(head), 8)) break;
        const std::string id(reinterpret_cast<char*>(head), 4);
        const int64_t size = Le32(head + 4);
        if (id == "fmt ") {
            unsigned char fmt[40];
            const int want = size >= 40 ? 40 : 16;
            if (size < 16 || !in.read(reinterpret_cast<char*>(fmt), want)) break;
            int tag = Le16(fmt);
            f.channels = Le16(fmt + 2);
            f.rate = static_cast<int>(Le32(fmt + 4));
            f.bitsPerSample = Le16(fmt + 14);
            // The extensible format names the samples' format in its sub-format's first bytes;
            // one too short to hold it names none.
            if (tag == 0xFFFE) tag = want == 40 ? Le16(fmt + 24) : 0;
            if (tag != 1) {
                *error = "The input WAVE file is not PCM (format " + std::to_string(tag) + ")";
                return false;
            }
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) break;
            f.dataOffset = pos + 8;
            // A size of 0 is a header that was never finished: the data runs to the end.
            f.dataBytes = size == 0 ? fileSize - f.dataOffset
                                    : std::min<int64_t>(size, fileSize - f.dataOffset);
            if (f.bitsPerSample != 16) {
                *error = "The input is not a 16-bit WAVE file";
                return false;
            }
            if (f.channels < 1 || f.channels > 2) {
                *error = "The input WAVE file has " + std::to_string(f.channels) +
                         " channels; 1 or 2 are supported";
                return false;
            }
            *format = f;
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    *error = "The input WAVE file has no format or data chunk";
    return false;
}

}  // namespace orvane::codecs
