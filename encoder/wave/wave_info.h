#pragma once
// The WAVE header check of the jobs that hand a file's samples to an encoder: whether it is a
// WAVE file, its format, and which bytes are the samples. The chunks are walked by the one walk
// of pcm_wave.h.

#include <cstdint>
#include <string>

namespace orvane::encoder {

// What the job learns from a WAVE file's first bytes and its chunks.
struct WaveInfo {
    bool isWave = false;  // "R" at byte 0 and "W" at byte 8 of the 44-byte header
    int channels = 0;
    std::uint32_t sampleRate = 0;
    int bitsPerSample = 0;
    // A whole format chunk (16 bytes or more) stands before the data chunk.
    bool formatBeforeData = false;
    // That format chunk names integer PCM (itself or as the extensible format's sub-format).
    bool pcm = false;
    std::int64_t dataStart = 0;  // first byte fed to the encoder
    std::int64_t dataEnd = 0;    // one past the last byte fed
};

constexpr int kWaveFormatPcm = 1;
constexpr int kWaveFormatExtensible = 0xFFFE;
// The sample rates the encoders take from a WAVE file (they resample to what they write).
constexpr std::uint32_t kLowestSampleRate = 1000;
constexpr std::uint32_t kHighestSampleRate = 192000;

// Reads the header of an open file of fileSize bytes (position is left unspecified). Only the
// samples of the "data" chunk are fed, from its first sample (byte 44 of the canonical header)
// to its end, or to the end of the file when the chunk's size is 0 or reaches beyond it.
WaveInfo ReadWaveInfo(int fd, std::int64_t fileSize);

// What keeps the samples of a 16-bit PCM WAVE file from being encoded: channels other than 1
// or 2, or a sample rate outside kLowestSampleRate..kHighestSampleRate; empty when nothing does.
std::string WaveSampleProblem(const WaveInfo& wave);
// The sample rate's part of that on its own.
std::string SampleRateProblem(std::uint32_t rate);

}  // namespace orvane::encoder
