#include "encoder/loudness/loudness.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvane::loudness {

namespace {

constexpr double kOffset = -0.691;          // dB, the K-weighting's gain at 1 kHz undone
constexpr double kAbsoluteGate = -70.0;     // LUFS
constexpr double kRelativeGate = -10.0;     // LU below the absolutely gated loudness
constexpr double kSurroundWeight = 1.41;    // the rear channels' weight
constexpr unsigned long kMinRate = 8000;    // Hz: below, the shelf lies above Nyquist
constexpr unsigned long kMaxRate = 768000;  // Hz
constexpr int kMaxChannels = 64;

// The pre-filter's two stages as analog prototypes: a high shelf of about +4 dB that models the
// head, then a second-order high-pass (the RLB curve). Designed for each sample rate with the
// bilinear transform, pre-warped at the corner frequency, they give the tabled 48 kHz
// coefficients.
constexpr double kShelfHz = 1681.974450955533;
constexpr double kShelfGainDb = 3.999843853973347;
constexpr double kShelfQ = 0.7071752369554196;
constexpr double kShelfMidExponent =
    0.4996667741545416;  // the band gain, as a power of the high one
constexpr double kHighPassHz = 38.13547087602444;
constexpr double kHighPassQ = 0.5003270373238773;

double EnergyToLoudness(double energy) { return kOffset + 10 * std::log10(energy); }

double LoudnessToEnergy(double lufs) { return std::pow(10.0, (lufs - kOffset) / 10); }

// Denormal filter states (a decaying tail after the music stops) cost a hundred times a normal
// multiply on x86; they are far below anything the meter can see, so they are flushed to zero
// while the filters run, and the caller's mode is restored after.
class FlushDenormals {
public:
#if defined(__SSE2__)
    FlushDenormals() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040); }
    ~FlushDenormals() { _mm_setcsr(saved_); }

private:
    unsigned saved_;
#endif
};

}  // namespace

LoudnessMeter::LoudnessMeter() = default;

LoudnessMeter::~LoudnessMeter() = default;

bool LoudnessMeter::BeginTrack(int channels, unsigned long sampleRate) {
    if (channels < 1 || channels > kMaxChannels || sampleRate < kMinRate || sampleRate > kMaxRate)
        return false;
    Track t;
    const double rate = static_cast<double>(sampleRate);

    double k = std::tan(std::numbers::pi * kShelfHz / rate);
    const double high = std::pow(10.0, kShelfGainDb / 20);
    const double band = std::pow(high, kShelfMidExponent);
    double norm = 1 + k / kShelfQ + k * k;
    t.shelf.b0 = (high + band * k / kShelfQ + k * k) / norm;
    t.shelf.b1 = 2 * (k * k - high) / norm;
    t.shelf.b2 = (high - band * k / kShelfQ + k * k) / norm;
    t.shelf.a1 = 2 * (k * k - 1) / norm;
    t.shelf.a2 = (1 - k / kShelfQ + k * k) / norm;

    // The high-pass keeps the tabled numerator 1, -2, 1 (its pass-band gain is in the offset).
    k = std::tan(std::numbers::pi * kHighPassHz / rate);
    norm = 1 + k / kHighPassQ + k * k;
    t.highPass.b0 = 1;
    t.highPass.b1 = -2;
    t.highPass.b2 = 1;
    t.highPass.a1 = 2 * (k * k - 1) / norm;
    t.highPass.a2 = (1 - k / kHighPassQ + k * k) / norm;

    // WAVE order: left, right, centre, LFE (left out), then the surround channels.
    t.channels.resize(static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c)
        t.channels[static_cast<std::size_t>(c)].weight = c < 3    ? 1.0
                                                         : c == 3 ? 0.0
                                                                  : kSurroundWeight;
    t.stepFrames = (sampleRate + 5) / 10;
    tracks_.push_back(std::move(t));
    return true;
}

namespace {

// Both channels of a stereo frame side by side: one instruction filters both.
typedef double Pair __attribute__((vector_size(16)));

// The filter state of one channel (T = double) or of a pair of them (T = Pair).
template <typename T>
struct Lanes {
    T x1, x2, y1, y2, z1, z2, sum;
};

inline Pair LoadPair(const std::int32_t* samples) {
#if defined(__SSE2__)
    return _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples)));
#else
    return Pair{static_cast<double>(samples[0]), static_cast<double>(samples[1])};
#endif
}

inline Pair LoadPair(const float* samples) {
#if defined(__SSE2__)
    return _mm_cvtps_pd(
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples))));
#else
    return Pair{static_cast<double>(samples[0]), static_cast<double>(samples[1])};
#endif
}

inline double Abs(double x) { return std::fabs(x); }

inline Pair Abs(Pair x) { return Pair{std::fabs(x[0]), std::fabs(x[1])}; }

inline double Max(double a, double b) { return a > b ? a : b; }

inline Pair Max(Pair a, Pair b) { return a > b ? a : b; }

// One sample through the shelf and the high-pass (numerator 1, -2, 1); adds its square. The
// terms that do not wait for the previous output are summed first, so each stage's recursion
// is one multiply and one subtraction long.
template <typename T>
inline void Step(Lanes<T>& st, T x, const double (&sh)[5], const double (&hp)[2], T& peak) {
    peak = Max(peak, Abs(x));
    const T y = (sh[0] * x + sh[1] * st.x1 + sh[2] * st.x2 - sh[4] * st.y2) - sh[3] * st.y1;
    const T z = ((y - st.y1) - (st.y1 - st.y2) - hp[1] * st.z2) - hp[0] * st.z1;
    st.x2 = st.x1;
    st.x1 = x;
    st.y2 = st.y1;
    st.y1 = y;
    st.z2 = st.z1;
    st.z1 = z;
    st.sum += z * z;
}

}  // namespace

template <typename Sample>
void LoudnessMeter::FilterStereo(Track& t, const Sample* samples, std::size_t frames,
                                 double scale) {
    const double sh[5] = {t.shelf.b0, t.shelf.b1, t.shelf.b2, t.shelf.a1, t.shelf.a2};
    const double hp[2] = {t.highPass.a1, t.highPass.a2};
    ChannelState& l = t.channels[0];
    ChannelState& r = t.channels[1];
    Lanes<Pair> st{{l.x1, r.x1}, {l.x2, r.x2}, {l.y1, r.y1},  {l.y2, r.y2},
                   {l.z1, r.z1}, {l.z2, r.z2}, {l.sum, r.sum}};
    Pair peak{0, 0};
    for (std::size_t i = 0; i < frames; ++i, samples += 2)
        Step(st, LoadPair(samples) * scale, sh, hp, peak);
    t.peak = std::max({t.peak, peak[0], peak[1]});
    l = {st.x1[0], st.x2[0], st.y1[0], st.y2[0], st.z1[0], st.z2[0], st.sum[0], l.weight};
    r = {st.x1[1], st.x2[1], st.y1[1], st.y2[1], st.z1[1], st.z2[1], st.sum[1], r.weight};
}

template <typename Sample>
void LoudnessMeter::FilterEach(Track& t, const Sample* samples, std::size_t frames, double scale) {
    const double sh[5] = {t.shelf.b0, t.shelf.b1, t.shelf.b2, t.shelf.a1, t.shelf.a2};
    const double hp[2] = {t.highPass.a1, t.highPass.a2};
    const std::size_t channels = t.channels.size();
    for (std::size_t c = 0; c < channels; ++c) {
        ChannelState& ch = t.channels[c];
        Lanes<double> st{ch.x1, ch.x2, ch.y1, ch.y2, ch.z1, ch.z2, ch.sum};
        const Sample* in = samples + c;
        double peak = 0;
        for (std::size_t i = 0; i < frames; ++i, in += channels)
            Step(st, *in * scale, sh, hp, peak);
        t.peak = std::max(t.peak, peak);
        ch = {st.x1, st.x2, st.y1, st.y2, st.z1, st.z2, st.sum, ch.weight};
    }
}

void LoudnessMeter::EndStep(Track& t) {
    double step = 0;
    for (ChannelState& c : t.channels) {
        step += c.weight * c.sum;
        c.sum = 0;
    }
    t.steps[t.stepCount % 4] = step;
    ++t.stepCount;
    t.filled = 0;
    if (t.stepCount >= 4) {
        const double sum = t.steps[0] + t.steps[1] + t.steps[2] + t.steps[3];
        t.blocks.push_back(sum / static_cast<double>(4 * t.stepFrames));
    }
}

template <typename Sample>
void LoudnessMeter::AddScaled(const Sample* samples, std::size_t frames, double scale) {
    if (tracks_.empty() || frames == 0) return;
    Track& t = tracks_.back();
    const std::size_t channels = t.channels.size();

    FlushDenormals flush;
    while (frames > 0) {
        const std::size_t run = std::min(frames, t.stepFrames - t.filled);
        if (channels == 2)
            FilterStereo(t, samples, run, scale);
        else
            FilterEach(t, samples, run, scale);
        samples += run * channels;
        frames -= run;
        t.filled += run;
        if (t.filled == t.stepFrames) EndStep(t);
    }
}

void LoudnessMeter::Add(const std::int32_t* samples, std::size_t frames, int bits) {
    if (bits < 1 || bits > 32) return;
    AddScaled(samples, frames, 1.0 / std::ldexp(1.0, bits - 1));
}

void LoudnessMeter::Add(const float* samples, std::size_t frames) {
    AddScaled(samples, frames, 1.0);
}

std::optional<double> LoudnessMeter::GatedLoudness(const std::vector<const Track*>& tracks) {
    const double absolute = LoudnessToEnergy(kAbsoluteGate);
    double sum = 0;
    std::size_t count = 0;
    for (const Track* t : tracks)
        for (double e : t->blocks)
            if (e >= absolute) {
                sum += e;
                ++count;
            }
    if (count == 0) return std::nullopt;
    // A block must pass both gates; the relative one can lie below the absolute one.
    const double gate =
        std::max(absolute, sum / static_cast<double>(count) * std::pow(10.0, kRelativeGate / 10));
    sum = 0;
    count = 0;
    for (const Track* t : tracks)
        for (double e : t->blocks)
            if (e >= gate) {
                sum += e;
                ++count;
            }
    if (count == 0) return std::nullopt;
    return EnergyToLoudness(sum / static_cast<double>(count));
}

std::optional<double> LoudnessMeter::TrackLoudness() const {
    if (tracks_.empty()) return std::nullopt;
    return GatedLoudness({&tracks_.back()});
}

double LoudnessMeter::TrackPeak() const { return tracks_.empty() ? 0 : tracks_.back().peak; }

void LoudnessMeter::DropTrack() {
    if (!tracks_.empty()) tracks_.pop_back();
}

void LoudnessMeter::TakeTracks(LoudnessMeter& other) {
    if (&other == this) return;
    for (Track& t : other.tracks_)
        tracks_.push_back(std::move(t));
    other.tracks_.clear();
}

std::optional<double> LoudnessMeter::AlbumLoudness() const {
    std::vector<const Track*> all;
    all.reserve(tracks_.size());
    for (const Track& t : tracks_)
        all.push_back(&t);
    return GatedLoudness(all);
}

double LoudnessMeter::AlbumPeak() const {
    double peak = 0;
    for (const Track& t : tracks_)
        peak = std::max(peak, t.peak);
    return peak;
}

}  // namespace orvane::loudness
