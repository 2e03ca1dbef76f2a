// The loudness meter against libebur128 (an independent implementation, used only here) on the
// same samples: tones, noise, gated passages, several layouts and rates, short tracks, albums.

#include "encoder/loudness/loudness.h"

#include <ebur128.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

namespace orvane::loudness {
namespace {

struct Signal {
    int channels = 2;
    unsigned long rate = 44100;
    int bits = 16;
    std::vector<std::int32_t> samples;  // interleaved

    std::size_t Frames() const { return samples.size() / static_cast<std::size_t>(channels); }
};

double FullScale(int bits) { return std::ldexp(1.0, bits - 1) - 1; }

// Appends seconds of a sine of hz at dbfs (peak) to every channel, channel c phase-shifted.
void AddTone(Signal& s, double hz, double dbfs, double seconds, double channelGain = 1.0) {
    const double amp = FullScale(s.bits) * std::pow(10.0, dbfs / 20);
    const auto frames = static_cast<std::size_t>(seconds * static_cast<double>(s.rate));
    const std::size_t first = s.Frames();
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < s.channels; ++c) {
            const double t = static_cast<double>(first + i) / static_cast<double>(s.rate);
            const double gain = c == 0 ? 1.0 : channelGain;
            s.samples.push_back(static_cast<std::int32_t>(
                std::lround(gain * amp * std::sin(2 * std::numbers::pi * hz * t + c))));
        }
}

// White noise from a fixed generator, each channel its own.
void AddNoise(Signal& s, double dbfs, double seconds, std::uint32_t seed = 12345) {
    const double amp = FullScale(s.bits) * std::pow(10.0, dbfs / 20);
    const auto count = static_cast<std::size_t>(seconds * static_cast<double>(s.rate)) * s.channels;
    for (std::size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double u = static_cast<double>(seed >> 8) / 16777216.0 * 2 - 1;
        s.samples.push_back(static_cast<std::int32_t>(std::lround(amp * u)));
    }
}

void AddSilence(Signal& s, double seconds) {
    s.samples.resize(s.samples.size() +
                     static_cast<std::size_t>(seconds * static_cast<double>(s.rate)) * s.channels);
}

// Feeds s in uneven pieces, so the 100 ms steps fall inside them.
void Feed(LoudnessMeter& meter, const Signal& s) {
    const std::size_t pieces[] = {1, 4409, 777, 16384, 3};
    std::size_t at = 0;
    for (std::size_t n = 0; at < s.Frames(); ++n) {
        const std::size_t frames = std::min(pieces[n % 5], s.Frames() - at);
        meter.Add(s.samples.data() + at * s.channels, frames, s.bits);
        at += frames;
    }
}

using Reference = std::unique_ptr<ebur128_state, void (*)(ebur128_state*)>;

Reference Measure(const Signal& s) {
    Reference st(ebur128_init(static_cast<unsigned>(s.channels), s.rate,
                              EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK),
                 [](ebur128_state* p) { ebur128_destroy(&p); });
    std::vector<std::int32_t> wide(s.samples.size());
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(s.samples[i]) << (32 - s.bits));
    ebur128_add_frames_int(st.get(), wide.data(), s.Frames());
    return st;
}

std::optional<double> ReferenceLoudness(std::vector<ebur128_state*> states) {
    double out = 0;
    if (ebur128_loudness_global_multiple(states.data(), states.size(), &out) != EBUR128_SUCCESS ||
        !std::isfinite(out))
        return std::nullopt;
    return out;
}

double ReferencePeak(ebur128_state* st) {
    double peak = 0;
    for (unsigned c = 0; c < st->channels; ++c) {
        double p = 0;
        ebur128_sample_peak(st, c, &p);
        peak = std::max(peak, p);
    }
    return peak;
}

// Measures s with both meters and expects the same loudness (or both nothing) and peak.
void ExpectSameAsReference(const Signal& s) {
    LoudnessMeter meter;
    ASSERT_TRUE(meter.BeginTrack(s.channels, s.rate));
    Feed(meter, s);
    Reference ref = Measure(s);
    const std::optional<double> want = ReferenceLoudness({ref.get()});
    const std::optional<double> got = meter.TrackLoudness();
    ASSERT_EQ(got.has_value(), want.has_value());
    if (want) {
        EXPECT_NEAR(*got, *want, 0.01);
    }
    EXPECT_NEAR(meter.TrackPeak(), ReferencePeak(ref.get()), 1e-9);
}

Signal Make(int channels, unsigned long rate, int bits = 16) {
    Signal s;
    s.channels = channels;
    s.rate = rate;
    s.bits = bits;
    return s;
}

TEST(LoudnessMeter, TonesAtSeveralFrequenciesLevelsAndRatesMatchTheReference) {
    for (unsigned long rate : {44100ul, 48000ul})
        for (double hz : {40.0, 100.0, 997.0, 3000.0, 8000.0, 15000.0})
            for (double dbfs : {-1.0, -23.0, -50.0}) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, " << hz << " Hz tone at " << dbfs);
                Signal s = Make(2, rate);
                AddTone(s, hz, dbfs, 2.35, 0.5);
                ExpectSameAsReference(s);
            }
}

TEST(LoudnessMeter, NoiseMonoFiveOneAndWideSamplesMatchTheReference) {
    {
        SCOPED_TRACE("stereo noise");
        Signal s = Make(2, 44100);
        AddNoise(s, -12, 5);
        ExpectSameAsReference(s);
    }
    {
        SCOPED_TRACE("mono, 48 kHz");
        Signal s = Make(1, 48000);
        AddTone(s, 440, -18, 1.5);
        AddNoise(s, -30, 2);
        ExpectSameAsReference(s);
    }
    {
        // Each channel different, the LFE loudest: it must not count, the rear ones weigh more.
        SCOPED_TRACE("5.1");
        Signal s = Make(6, 48000);
        const auto frames = static_cast<std::size_t>(3 * s.rate);
        for (std::size_t i = 0; i < frames; ++i)
            for (int c = 0; c < 6; ++c) {
                const double t = static_cast<double>(i) / static_cast<double>(s.rate);
                const double amp = c == 3 ? 30000.0 : 2000.0 * (c + 1);
                s.samples.push_back(static_cast<std::int32_t>(
                    amp * std::sin(2 * std::numbers::pi * (300.0 + 500.0 * c) * t)));
            }
        ExpectSameAsReference(s);
    }
    {
        SCOPED_TRACE("24-bit, full-scale negative peak");
        Signal s = Make(2, 96000, 24);
        AddNoise(s, -20, 2);
        s.samples[1001] = -(1 << 23);
        ExpectSameAsReference(s);
    }
    {
        SCOPED_TRACE("8-bit");
        Signal s = Make(2, 22050, 8);
        AddTone(s, 1000, -6, 1);
        ExpectSameAsReference(s);
    }
}

TEST(LoudnessMeter, GatesLeaveOutSilenceAndQuietPassagesAsTheReferenceDoes) {
    {
        SCOPED_TRACE("loud, silent, quiet below the relative gate");
        Signal s = Make(2, 44100);
        AddTone(s, 1000, -10, 3);
        AddSilence(s, 4);
        AddNoise(s, -45, 3);
        AddTone(s, 250, -14, 2);
        ExpectSameAsReference(s);
    }
    {
        SCOPED_TRACE("below the absolute gate only");
        Signal s = Make(2, 48000);
        AddTone(s, 1000, -85, 3);
        ExpectSameAsReference(s);
    }
    {
        SCOPED_TRACE("digital silence");
        Signal s = Make(2, 44100);
        AddSilence(s, 2);
        ExpectSameAsReference(s);
    }
}

TEST(LoudnessMeter, StandardSineReadsItsLevel) {
    // A 1 kHz sine at -23 dBFS in both channels of a stereo signal measures -23.0 LUFS, and at
    // -20 dBFS -20.0 LUFS: the K-weighting's gain at 1 kHz is what the offset undoes.
    for (unsigned long rate : {44100ul, 48000ul})
        for (double dbfs : {-23.0, -20.0}) {
            Signal s = Make(2, rate, 24);
            for (std::size_t i = 0; i < 20 * rate; ++i)
                for (int c = 0; c < 2; ++c)
                    s.samples.push_back(static_cast<std::int32_t>(
                        std::lround(FullScale(24) * std::pow(10.0, dbfs / 20) *
                                    std::sin(2 * std::numbers::pi * 1000.0 *
                                             static_cast<double>(i) / static_cast<double>(rate)))));
            LoudnessMeter meter;
            ASSERT_TRUE(meter.BeginTrack(2, rate));
            Feed(meter, s);
            ASSERT_TRUE(meter.TrackLoudness());
            EXPECT_NEAR(*meter.TrackLoudness(), dbfs, 0.05) << rate;
        }
}

TEST(LoudnessMeter, TracksShorterThanOneGatingBlockHaveNoLoudness) {
    for (unsigned long rate : {44100ul, 48000ul}) {
        const std::size_t block = (rate + 5) / 10 * 4;  // 400 ms
        for (std::size_t frames : {std::size_t{0}, std::size_t{1}, block - 1, block, block + 1}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << frames << " frames");
            Signal s = Make(2, rate);
            AddNoise(s, -10, static_cast<double>(frames) / static_cast<double>(rate) + 1e-9);
            s.samples.resize(frames * 2);
            ExpectSameAsReference(s);
            LoudnessMeter meter;
            ASSERT_TRUE(meter.BeginTrack(2, rate));
            Feed(meter, s);
            EXPECT_EQ(meter.TrackLoudness().has_value(), frames >= block);
        }
    }
}

TEST(LoudnessMeter, BlocksMustPassBothGates) {
    // A passage at -64 LUFS then one at -72: the relative gate (-74) lies below the absolute
    // one (-70), and the quiet passage stays out, so the track reads as its loud part alone
    // (but for the few blocks that straddle both); counted, it would pull it down by 2.4 dB.
    Signal loud = Make(2, 48000);
    AddTone(loud, 1000, -64, 4);
    Signal both = loud;
    AddTone(both, 1000, -72, 4);
    LoudnessMeter alone, meter;
    ASSERT_TRUE(alone.BeginTrack(2, 48000));
    Feed(alone, loud);
    ASSERT_TRUE(meter.BeginTrack(2, 48000));
    Feed(meter, both);
    ASSERT_TRUE(alone.TrackLoudness() && meter.TrackLoudness());
    EXPECT_NEAR(*meter.TrackLoudness(), *alone.TrackLoudness(), 0.2);
}

TEST(LoudnessMeter, AlbumIsOverTheBlocksOfEveryKeptTrack) {
    std::vector<Signal> tracks;
    for (int i = 0; i < 4; ++i) {
        Signal s = Make(2, i == 2 ? 48000 : 44100);
        AddTone(s, 200.0 + 700.0 * i, -8.0 - 6.0 * i, 1.0 + 0.7 * i);
        AddNoise(s, -25.0 - 3.0 * i, 0.5 + 0.3 * i, 99u + static_cast<std::uint32_t>(i));
        tracks.push_back(std::move(s));
    }
    Signal dropped = Make(2, 44100);
    AddTone(dropped, 1000, -1, 5);

    // Two meters joined, as parallel jobs of one batch are; a track dropped in the middle.
    LoudnessMeter first, second;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        LoudnessMeter& m = i < 2 ? first : second;
        ASSERT_TRUE(m.BeginTrack(tracks[i].channels, tracks[i].rate));
        Feed(m, tracks[i]);
        if (i == 1) {
            ASSERT_TRUE(first.BeginTrack(dropped.channels, dropped.rate));
            Feed(first, dropped);
            first.DropTrack();
        }
    }
    first.TakeTracks(second);
    EXPECT_FALSE(second.AlbumLoudness());
    EXPECT_EQ(second.AlbumPeak(), 0);

    std::vector<Reference> refs;
    std::vector<ebur128_state*> states;
    double peak = 0;
    for (const Signal& s : tracks) {
        refs.push_back(Measure(s));
        states.push_back(refs.back().get());
        peak = std::max(peak, ReferencePeak(refs.back().get()));
    }
    const std::optional<double> want = ReferenceLoudness(states);
    ASSERT_TRUE(want && first.AlbumLoudness());
    EXPECT_NEAR(*first.AlbumLoudness(), *want, 0.01);
    EXPECT_NEAR(first.AlbumPeak(), peak, 1e-9);
    // The last track joined is the current one.
    const std::optional<double> last = ReferenceLoudness({states.back()});
    ASSERT_TRUE(last && first.TrackLoudness());
    EXPECT_NEAR(*first.TrackLoudness(), *last, 0.01);
}

TEST(LoudnessMeter, RefusesFormatsItCannotMeasure) {
    LoudnessMeter meter;
    EXPECT_FALSE(meter.BeginTrack(0, 44100));
    EXPECT_FALSE(meter.BeginTrack(2, 0));
    EXPECT_FALSE(meter.AlbumLoudness());
    // Samples without a track are ignored.
    const std::int32_t samples[4] = {1000, -1000, 1000, -1000};
    meter.Add(samples, 2, 16);
    EXPECT_EQ(meter.AlbumPeak(), 0);
}

}  // namespace
}  // namespace orvane::loudness
