// De-emphasis against the response of the 50/15 µs shelf, computed here from its time constants.

#include "encoder/rip/deemphasis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace orvane::rip {
namespace {

// Gain in dB of (1 + s 15 µs) / (1 + s 50 µs) at a frequency.
double ShelfDb(double hertz) {
    const double w = 2 * std::numbers::pi * hertz;
    return 10 * std::log10((1 + std::pow(w * 15e-6, 2)) / (1 + std::pow(w * 50e-6, 2)));
}

std::vector<std::uint8_t> Tone(double hertz, double amplitude, std::size_t frames) {
    std::vector<std::uint8_t> out(frames * 4);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * hertz * i / 44100.0)));
        for (int c = 0; c < 2; ++c) {
            out[i * 4 + c * 2] = static_cast<std::uint8_t>(v & 0xFF);
            out[i * 4 + c * 2 + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
        }
    }
    return out;
}

// Root mean square of one channel from a frame on.
double Rms(const std::vector<std::uint8_t>& samples, int channel, std::size_t from) {
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = from; i < samples.size() / 4; ++i, ++n) {
        const auto v = static_cast<std::int16_t>(samples[i * 4 + channel * 2] |
                                                 (samples[i * 4 + channel * 2 + 1] << 8));
        sum += double(v) * v;
    }
    return std::sqrt(sum / n);
}

TEST(Deemphasis, FollowsTheShelfWithinATenthOfADecibel) {
    for (double hertz : {1000.0, 5000.0, 16000.0}) {
        std::vector<std::uint8_t> tone = Tone(hertz, 20000, 44100);
        std::vector<std::uint8_t> filtered = tone;
        Deemphasis filter;
        // In pieces, as a grab delivers them: the state carries over.
        filter.Process(filtered.data(), 1000);
        filter.Process(filtered.data() + 4000, 44100 - 1000);
        for (int channel : {0, 1}) {
            const double gain =
                20 * std::log10(Rms(filtered, channel, 4410) / Rms(tone, channel, 4410));
            EXPECT_NEAR(gain, ShelfDb(hertz), 0.1) << hertz << " Hz, channel " << channel;
        }
    }
}

}  // namespace
}  // namespace orvane::rip
