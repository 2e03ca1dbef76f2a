#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "codecs/enc/resampler.h"

namespace orvane::codecs {
namespace {

// Feeds a sine in uneven pieces and checks the output: length, frequency and level kept.
void CheckSine(int inRate, int outRate, double hz) {
    const int n = inRate;  // one second
    std::vector<int16_t> in(n);
    for (int i = 0; i < n; ++i) {
        in[i] = static_cast<int16_t>(
            std::lround(16000 * std::sin(2 * std::numbers::pi * hz * i / inRate)));
    }
    Resampler r(inRate, outRate, 1);
    std::vector<int16_t> out;
    size_t pos = 0;
    for (size_t piece = 1; pos < in.size(); piece = piece * 3 % 4097 + 1) {
        size_t take = std::min(piece, in.size() - pos);
        r.Push(in.data() + pos, take, &out);
        pos += take;
    }
    r.Flush(&out);
    EXPECT_NEAR(static_cast<double>(out.size()), outRate, 1.0);
    // Away from the edges the output is the same sine sampled at the new rate.
    double error = 0;
    double power = 0;
    for (size_t i = 200; i + 200 < out.size(); ++i) {
        double expect = 16000 * std::sin(2 * std::numbers::pi * hz * i / outRate);
        error += (out[i] - expect) * (out[i] - expect);
        power += expect * expect;
    }
    EXPECT_GT(10 * std::log10(power / error), 50.0) << inRate << " -> " << outRate;
}

TEST(Resampler, KeepsTheSignalAcrossRates) {
    CheckSine(11025, 16000, 1000);
    CheckSine(8000, 16000, 2500);
    CheckSine(37800, 32000, 5000);
}

TEST(Resampler, RemovesWhatTheNewRateCannotHold) {
    // 14 kHz at 44.1 kHz cannot exist at 16 kHz: it must not fold back as an alias.
    const int n = 44100;
    std::vector<int16_t> in(n);
    for (int i = 0; i < n; ++i) {
        in[i] = static_cast<int16_t>(
            std::lround(16000 * std::sin(2 * std::numbers::pi * 14000.0 * i / 44100)));
    }
    Resampler r(44100, 16000, 1);
    std::vector<int16_t> out;
    r.Push(in.data(), in.size(), &out);
    r.Flush(&out);
    double power = 0;
    for (size_t i = 100; i + 100 < out.size(); ++i)
        power += 1.0 * out[i] * out[i];
    power /= static_cast<double>(out.size());
    EXPECT_LT(10 * std::log10(power / (16000.0 * 16000 / 2)), -40.0);
}

}  // namespace
}  // namespace orvane::codecs
