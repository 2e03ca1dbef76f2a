#pragma once
// The samples of a PCM WAVE file as signed integers, for the jobs that encode them in this
// process.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace orvane::wave {

// One chunk of a RIFF file: its four-letter id, where its body starts and the size its header
// gives (which may reach past the end of the file).
struct WaveChunk {
    char id[4] = {};
    std::int64_t body = 0;
    std::int64_t size = 0;

    bool Is(const char* name) const { return std::memcmp(id, name, 4) == 0; }
};

// The one walk through a WAVE file's chunks, every reader of WAVE files in the jobs goes through:
// the chunks after the 12-byte RIFF header in file order, each handed to visit until it answers
// false, the file ends or a chunk's header cannot be read. Chunks are padded to even sizes.
void ForEachWaveChunk(int fd, std::int64_t fileSize,
                      const std::function<bool(const WaveChunk&)>& visit);
// Reads exactly `bytes` bytes at pos; false at the end of the file or on an error.
bool ReadWaveBytes(int fd, std::int64_t pos, unsigned char* out, std::size_t bytes);

struct PcmWave {
    int channels = 0;
    std::uint32_t sampleRate = 0;
    int bits = 0;                // bits per sample: 8 (unsigned in the file), 16, 24 or 32
    std::int64_t dataStart = 0;  // the first byte of the first sample
    std::int64_t frames = 0;     // whole frames of the data chunk (a partial last one is dropped)

    int FrameBytes() const { return channels * (bits / 8); }
};

// Reads the chunks of the open file of fileSize bytes. Empty when it holds PCM samples that
// ReadFrames reads; else the reason, for the user. A data chunk whose size is 0 or reaches past
// the file ends with the file, as with the MP3 job's input.
std::string ReadPcmWave(int fd, std::int64_t fileSize, PcmWave& wave);

// Reads up to `frames` frames from frame `first` into out, interleaved and signed (an 8-bit
// sample becomes -128..127). Returns the frames read; -1 (errno set) when the file could not be
// read.
long ReadFrames(int fd, const PcmWave& wave, std::int64_t first, std::size_t frames,
                std::vector<std::int32_t>& out);

// A PCM WAVE file opened for reading its samples: the descriptor (closed with the object) and
// what ReadPcmWave found.
class OpenPcmWave {
public:
    OpenPcmWave() = default;
    OpenPcmWave(const OpenPcmWave&) = delete;
    OpenPcmWave& operator=(const OpenPcmWave&) = delete;
    ~OpenPcmWave();

    // Opens path (a regular file only) and reads its chunks; false with error (the file layer's
    // reason, or ReadPcmWave's).
    bool Open(const std::string& path, std::string& error);
    int Fd() const { return fd_; }
    const PcmWave& Wave() const { return wave_; }

private:
    int fd_ = -1;
    PcmWave wave_;
};

}  // namespace orvane::wave
