// PCM WAVE files as the jobs that encode in this process read them: a file taken names a layout
// the samples fit, its frames all lie inside the file, and reading them gives every frame once,
// each sample within its depth's range.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "encoder/wave/pcm_wave.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    using orvane::wave::PcmWave;
    using orvane::wave::ReadFrames;
    using orvane::wave::ReadPcmWave;
    static const int fd = ::memfd_create("wave", MFD_CLOEXEC);
    Check(fd >= 0, "a memory file for the input");
    Check(::ftruncate(fd, 0) == 0 && ::pwrite(fd, data, size, 0) == static_cast<ssize_t>(size),
          "the input is written");
    const auto fileSize = static_cast<std::int64_t>(size);

    PcmWave wave;
    const std::string reason = ReadPcmWave(fd, fileSize, wave);
    if (!reason.empty()) {
        Check(reason.rfind("Error: ", 0) == 0, "a refusal says why, as the jobs show it");
        return 0;
    }
    Check(wave.channels >= 1 && wave.sampleRate > 0, "a file taken has channels and a rate");
    Check(wave.bits == 8 || wave.bits == 16 || wave.bits == 24 || wave.bits == 32,
          "a file taken has a depth the reader reads");
    Check(wave.dataStart >= 12 && wave.frames >= 0 &&
              wave.dataStart + wave.frames * wave.FrameBytes() <= fileSize,
          "every frame lies inside the file");

    // Every frame, in pieces of an odd size, then nothing past the last.
    const std::int32_t high = wave.bits == 32 ? INT32_MAX : (1 << (wave.bits - 1)) - 1;
    const std::int64_t low = -static_cast<std::int64_t>(high) - 1;
    std::vector<std::int32_t> samples;
    std::int64_t frame = 0;
    while (frame < wave.frames) {
        const long got = ReadFrames(fd, wave, frame, 333, samples);
        Check(got > 0, "a frame of the file can be read");
        Check(samples.size() ==
                  static_cast<std::size_t>(got) * static_cast<std::size_t>(wave.channels),
              "a frame is a sample per channel");
        for (std::int32_t s : samples)
            Check(s >= low && s <= high, "a sample lies within its depth");
        frame += got;
    }
    Check(frame == wave.frames, "every frame is read once");
    Check(ReadFrames(fd, wave, frame, 16, samples) == 0 && samples.empty(),
          "nothing follows the last frame");
    return 0;
}
