// WAVE headers as the encoder front-end and the encoder program read them, on the same bytes:
// the part of the file either one feeds or encodes must lie inside the file, and a file the
// encoder program accepts must be one it can encode.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "codecs/enc/wave_format.h"
#include "encoder/wave/wave_info.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    static const int fd = ::memfd_create("wave", MFD_CLOEXEC);
    Check(fd >= 0, "a memory file for the input");
    Check(::ftruncate(fd, 0) == 0 && ::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size),
          "the input is written");
    const auto fileSize = static_cast<std::int64_t>(size);

    const orvane::encoder::WaveInfo info = orvane::encoder::ReadWaveInfo(fd, fileSize);
    if (info.isWave) {
        Check(info.dataStart >= 0 && info.dataStart <= info.dataEnd && info.dataEnd <= fileSize,
              "the front-end feeds only bytes of the file");
    }

    orvane::codecs::WaveFormat format;
    std::string error;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (orvane::codecs::ReadWaveFormat(path, &format, &error)) {
        Check(format.dataOffset >= 12 && format.dataBytes >= 0 &&
                  format.dataOffset + format.dataBytes <= fileSize,
              "the encoder reads only bytes of the file");
        Check(format.channels >= 1 && format.channels <= 2 && format.bitsPerSample == 16,
              "the encoder accepts only what it can encode");
        Check(info.isWave, "a file the encoder accepts is a WAVE file to the front-end");
    } else {
        Check(!error.empty(), "a refused file says why");
    }
    return 0;
}
