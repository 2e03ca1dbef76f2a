#pragma once
// The arithmetic of the processing status window's progress displays.

#include <cstdint>
#include <string>

namespace orvane::encoder {

constexpr std::int64_t kBytesPerFrameTotal = 4608;  // frame count of the input
constexpr std::int64_t kBytesPerFrameDone = 4650;   // frames done from the input position

// "%02d:%02d:%02d" of a time in seconds, hours taken modulo 24.
std::string ElapsedText(std::int64_t elapsed);
// " [%d] Frames / second. " with framesDone per second of the day's elapsed time (at least 1).
std::string FramesPerSecondText(std::int64_t framesDone, std::int64_t elapsed);
// Seconds of the day elapsed, at least 1: the divisor of the rates.
std::int64_t RateSeconds(std::int64_t elapsed);
// Remaining time of the encoder: framesTotal / fps - elapsed; hours below 100 shown modulo 99,
// else "00:00:00". Without a rate (fps 0) or with a negative estimate: "00:00:00".
std::string EncoderRemainingText(std::int64_t framesTotal, std::int64_t fps, std::int64_t elapsed);
// The decoder's remaining time: as above without the modulo.
std::string DecoderRemainingText(std::int64_t framesTotal, std::int64_t fps, std::int64_t elapsed);
// " %dMB Compressed to %.1fMB " of the MP3 job: the bytes fed and the estimate of its output.
std::string CompressionText(std::int64_t bytesFed, int bitrateKbps, bool stereo);
// The same text of sizes known: the input's bytes read and the output's bytes written.
std::string CompressedSizesText(std::int64_t inputBytes, std::int64_t outputBytes);
// 1000 above 1,000,000 bytes, else 10.
std::int64_t BarDivisor(std::int64_t size);

}  // namespace orvane::encoder
