#include "encoder/wave/pcm_wave.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/fs/fs.h"

namespace orvane::wave {

namespace {

std::uint32_t Le(const unsigned char* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

constexpr int kFormatPcm = 1;
constexpr int kFormatExtensible = 0xFFFE;

}  // namespace

bool ReadWaveBytes(int fd, std::int64_t pos, unsigned char* out, std::size_t bytes) {
    std::size_t done = 0;
    while (done < bytes) {
        ssize_t got = ::pread(fd, out + done, bytes - done, static_cast<off_t>(pos + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

void ForEachWaveChunk(int fd, std::int64_t fileSize,
                      const std::function<bool(const WaveChunk&)>& visit) {
    std::int64_t pos = 12;
    while (pos + 8 <= fileSize) {
        unsigned char c[8];
        if (!ReadWaveBytes(fd, pos, c, 8)) return;
        WaveChunk chunk;
        std::memcpy(chunk.id, c, 4);
        chunk.body = pos + 8;
        chunk.size = Le(c + 4, 4);
        if (!visit(chunk)) return;
        pos += 8 + chunk.size + (chunk.size & 1);
    }
}

std::string ReadPcmWave(int fd, std::int64_t fileSize, PcmWave& wave) {
    wave = {};
    unsigned char riff[12];
    if (fileSize < 12 || !ReadWaveBytes(fd, 0, riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return "Error: Input file is not a WAV";
    bool sawFormat = false, ended = false;
    std::string reason;
    // Ends the walk with the file's verdict: empty for samples to read, else why not.
    const auto end = [&](std::string why) {
        reason = std::move(why);
        ended = true;
        return false;
    };
    ForEachWaveChunk(fd, fileSize, [&](const WaveChunk& c) {
        if (c.Is("fmt ") && !sawFormat) {
            unsigned char f[26] = {};
            if (c.size < 16 || !ReadWaveBytes(fd, c.body, f, c.size >= 26 ? 26 : 16))
                return end("Error: The WAV file's format chunk is damaged");
            int tag = static_cast<int>(Le(f, 2));
            // An extensible format names its own format in the first bytes of its sub-format.
            if (tag == kFormatExtensible && c.size >= 26) tag = static_cast<int>(Le(f + 24, 2));
            if (tag != kFormatPcm)
                return end("Error: The WAV file is not PCM (format " + std::to_string(tag) + ")");
            wave.channels = static_cast<int>(Le(f + 2, 2));
            wave.sampleRate = Le(f + 4, 4);
            wave.bits = static_cast<int>(Le(f + 14, 2));
            sawFormat = true;
        } else if (c.Is("data")) {
            if (!sawFormat) return end("Error: The WAV file has no format before its samples");
            if (wave.channels < 1) return end("Error: The WAV file names no channels");
            if (wave.sampleRate == 0) return end("Error: The WAV file names no sample rate");
            if (wave.bits != 8 && wave.bits != 16 && wave.bits != 24 && wave.bits != 32)
                return end("Error: " + std::to_string(wave.bits) +
                           "-bit WAV files are not supported (8, 16, 24 or 32 bits are)");
            wave.dataStart = c.body;
            const std::int64_t last =
                c.size == 0 || c.body + c.size > fileSize ? fileSize : c.body + c.size;
            wave.frames = (last - wave.dataStart) / wave.FrameBytes();
            return end({});
        }
        return true;
    });
    if (ended) return reason;
    return sawFormat ? "Error: The WAV file has no samples" : "Error: The WAV file has no format";
}

long ReadFrames(int fd, const PcmWave& wave, std::int64_t first, std::size_t frames,
                std::vector<std::int32_t>& out) {
    const int bytesPer = wave.bits / 8;
    const std::size_t frameBytes = static_cast<std::size_t>(wave.FrameBytes());
    if (first >= wave.frames) {
        out.clear();
        return 0;
    }
    if (static_cast<std::int64_t>(frames) > wave.frames - first)
        frames = static_cast<std::size_t>(wave.frames - first);
    std::vector<unsigned char> raw(frames * frameBytes);
    errno = 0;
    const std::int64_t at = wave.dataStart + first * static_cast<std::int64_t>(frameBytes);
    if (!ReadWaveBytes(fd, at, raw.data(), raw.size())) {
        if (errno == 0) errno = EIO;
        return -1;
    }
    const std::size_t samples = frames * static_cast<std::size_t>(wave.channels);
    out.resize(samples);
    const unsigned char* p = raw.data();
    // One loop per depth: this runs for every sample of every job.
    switch (bytesPer) {
        case 1:
            for (std::size_t i = 0; i < samples; ++i)
                out[i] = static_cast<std::int32_t>(p[i]) - 128;
            break;
        case 2:
            for (std::size_t i = 0; i < samples; ++i)
                out[i] = static_cast<std::int16_t>(p[2 * i] | p[2 * i + 1] << 8);
            break;
        case 3:
            for (std::size_t i = 0; i < samples; ++i)
                out[i] = static_cast<std::int32_t>(Le(p + 3 * i, 3) << 8) >> 8;
            break;
        default:
            for (std::size_t i = 0; i < samples; ++i)
                out[i] = static_cast<std::int32_t>(Le(p + 4 * i, 4));
            break;
    }
    return static_cast<long>(frames);
}

OpenPcmWave::~OpenPcmWave() {
    if (fd_ >= 0) ::close(fd_);
}

bool OpenPcmWave::Open(const std::string& path, std::string& error) {
    fs::Status status;
    struct stat info {};
    fd_ = fs::OpenForReading(path, status, &info);
    if (fd_ < 0) {
        error = status.message;
        return false;
    }
    error = ReadPcmWave(fd_, info.st_size, wave_);
    return error.empty();
}

}  // namespace orvane::wave
