#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "codecs/enc/layer1.h"

namespace orvane::codecs {
namespace {

TEST(SubbandAnalysis, ASineLandsInItsOwnBand) {
    SubbandAnalysis bank;
    for (int band : {0, 5, 17, 31}) {
        const double hz = (band + 0.5) * 44100.0 / 64.0;
        std::vector<float> x(512 + 32 * 200);
        for (size_t i = 0; i < x.size(); ++i) {
            x[i] = static_cast<float>(10000 * std::sin(2 * std::numbers::pi * hz * i / 44100.0));
        }
        std::array<double, 32> energy{};
        for (int block = 20; block < 200; ++block) {
            float out[32];
            bank.Filter(x.data() + 32 * block, out);
            for (int k = 0; k < 32; ++k)
                energy[k] += out[k] * out[k];
        }
        for (int k = 0; k < 32; ++k) {
            if (std::abs(k - band) <= 1) continue;
            EXPECT_LT(10 * std::log10(energy[k] / energy[band] + 1e-30), -70.0)
                << "band " << band << " leaks into " << k;
        }
    }
}

struct FrameHeader {
    int version = 0;  // 1: MPEG-1, 0: MPEG-2
    int layerBits = 0;
    bool protectedByCrc = false;
    int bitrateIndex = 0;
    int rateIndex = 0;
    bool padding = false;
    int mode = 0;
};

FrameHeader ParseHeader(const uint8_t* p) {
    FrameHeader h;
    EXPECT_EQ(p[0], 0xFF);
    EXPECT_EQ(p[1] & 0xF0, 0xF0);
    h.version = (p[1] >> 3) & 1;
    h.layerBits = (p[1] >> 1) & 3;
    h.protectedByCrc = (p[1] & 1) == 0;
    h.bitrateIndex = p[2] >> 4;
    h.rateIndex = (p[2] >> 2) & 3;
    h.padding = (p[2] >> 1) & 1;
    h.mode = p[3] >> 6;
    return h;
}

std::vector<int16_t> Noise(size_t samples, uint32_t seed) {
    std::vector<int16_t> v(samples);
    for (auto& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<int16_t>(static_cast<int32_t>(seed >> 16) - 32768) / 4;
    }
    return v;
}

TEST(Layer1Encoder, FramesHaveTheSizeOfTheirBitRateAndCoverTheInput) {
    for (int rate : {44100, 32000, 22050}) {
        Layer1Config config;
        config.rate = rate;
        config.kbps = rate == 22050 ? 192 : 384;
        config.mode = ChannelMode::Stereo;
        Layer1Encoder encoder(config);
        const size_t frames = static_cast<size_t>(rate);  // one second
        std::vector<int16_t> pcm = Noise(frames * 2, 7);
        std::vector<uint8_t> out;
        encoder.Encode(pcm.data(), frames, &out);
        encoder.Finish(&out);

        size_t pos = 0;
        int count = 0;
        while (pos + 4 <= out.size()) {
            FrameHeader h = ParseHeader(&out[pos]);
            EXPECT_EQ(h.layerBits, 3);
            EXPECT_EQ(h.version, rate == 22050 ? 0 : 1);
            EXPECT_EQ(h.rateIndex, RateIndex(rate));
            EXPECT_EQ(h.bitrateIndex,
                      BitrateIndex(rate == 22050 ? MpegVersion::Mpeg2 : MpegVersion::Mpeg1, 1,
                                   config.kbps));
            size_t length = 4 * (12 * config.kbps * 1000 / rate + (h.padding ? 1 : 0));
            pos += length;
            ++count;
        }
        EXPECT_EQ(pos, out.size());
        // Every input sample comes out of the decoder: frames for the input plus the delay.
        EXPECT_EQ(count, (frames + Layer1Encoder::kCodecDelay + 383) / 384);
        EXPECT_EQ(count, encoder.framesWritten());
        // The padding keeps the average exactly at the bit rate.
        const double expected = count * 384.0 * config.kbps * 1000 / 8 / rate;
        EXPECT_NEAR(static_cast<double>(out.size()), expected, 4.0);
    }
}

TEST(Layer1Encoder, SilenceSpendsNoBitsOnSamples) {
    for (ChannelMode mode : {ChannelMode::Mono, ChannelMode::JointStereo}) {
        Layer1Config config;
        config.mode = mode;
        config.crc = true;
        Layer1Encoder encoder(config);
        std::vector<int16_t> pcm(4000 * encoder.channels(), 0);
        std::vector<uint8_t> out;
        encoder.Encode(pcm.data(), 4000, &out);
        ASSERT_FALSE(out.empty());
        FrameHeader h = ParseHeader(out.data());
        EXPECT_TRUE(h.protectedByCrc);
        EXPECT_EQ(h.mode, static_cast<int>(mode));
        // After the header and CRC everything is zero: no allocation, no scale factor.
        for (size_t i = 6; i < 12 * 384 * 1000 / 44100 * 4; ++i)
            ASSERT_EQ(out[i], 0) << i;
    }
}

}  // namespace
}  // namespace orvane::codecs

namespace orvane::codecs {
namespace {

std::vector<float> Sines(int rate, const std::vector<std::pair<double, double>>& tones) {
    std::vector<float> x(MaskingModel::kSize);
    for (size_t i = 0; i < x.size(); ++i) {
        double v = 0;
        for (auto [hz, amplitude] : tones) {
            v += amplitude * 32768 * std::sin(2 * std::numbers::pi * hz * i / rate);
        }
        x[i] = static_cast<float>(v);
    }
    return x;
}

TEST(MaskingModel, ALoudToneMasksItsNeighboursAndQuietBandsNeedNothing) {
    MaskingModel model(44100);
    // Band 3 holds 2.4 kHz, band 4 holds 3.1 kHz (689 Hz per band at 44.1 kHz).
    const auto weakAlone = model.Analyse(Sines(44100, {{3100, 0.001}}).data());
    const auto weakMasked = model.Analyse(Sines(44100, {{2400, 0.5}, {3100, 0.001}}).data());
    EXPECT_GT(weakAlone[4], 20.0f);                  // -60 dBFS at 3 kHz is clearly audible
    EXPECT_LT(weakMasked[4], weakAlone[4] - 15.0f);  // next to a loud tone it hides
    EXPECT_GT(weakMasked[3], 15.0f);                 // the loud tone itself needs bits

    // A one-step tone at 15 kHz lies under the threshold in quiet; silence needs nothing.
    const auto faint = model.Analyse(Sines(44100, {{15000, 1.0 / 32768}}).data());
    EXPECT_LT(faint[21], 0.0f);
    std::vector<float> silence(MaskingModel::kSize, 0.0f);
    for (float smr : model.Analyse(silence.data()))
        EXPECT_LT(smr, -100.0f);
}

}  // namespace
}  // namespace orvane::codecs
