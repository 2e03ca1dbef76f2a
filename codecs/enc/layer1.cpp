#include "codecs/enc/layer1.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <numbers>

namespace orvane::codecs {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kBands = 32;
constexpr int kBlocks = 12;  // subband samples per band in a frame
constexpr int kFrameSamples = 384;
constexpr int kHistory = 512;
constexpr int kMaxAllocation = 14;  // 15 bits per sample
// The masking model leads the allocation until every band's noise lies this far (dB) under its
// mask. A margin keeps the masking as it was with an allocation led by the model alone (the
// noise-to-mask ratios per band of a music-like signal at 128 and 192 kbit/s stay as low).
constexpr float kMaskMargin = 3.0f;

// Scale factors: 2 * 2^(-i/3) for index i = 0..62.
const std::array<float, 63>& ScaleFactors() {
    static const std::array<float, 63> table = [] {
        std::array<float, 63> t{};
        for (int i = 0; i < 63; ++i)
            t[i] = static_cast<float>(2.0 * std::pow(2.0, -i / 3.0));
        return t;
    }();
    return table;
}

// Smallest scale factor (largest index) that still covers `peak`.
int ScaleIndex(float peak) {
    const auto& sf = ScaleFactors();
    // The table falls: find the first entry below the peak, then step back one.
    const auto below = std::upper_bound(sf.begin(), sf.end(), peak, std::greater<float>());
    return std::max(0, static_cast<int>(below - sf.begin()) - 1);
}

// Signal-to-noise ratio of a quantiser with 2^bits - 1 levels over the full range, in dB.
float QuantiserSnr(int allocation) {
    static const std::array<float, kMaxAllocation + 1> table = [] {
        std::array<float, kMaxAllocation + 1> t{};
        for (int a = 1; a <= kMaxAllocation; ++a) {
            t[a] = 20.0f * std::log10(static_cast<float>((1 << (a + 1)) - 1));
        }
        return t;
    }();
    return table[allocation];
}

// Mean noise power of the quantiser per sample, relative to the square of the scale factor:
// steps of 2 / levels, uniformly distributed rounding error.
float QuantiserNoise(int allocation) {
    static const std::array<float, kMaxAllocation + 1> table = [] {
        std::array<float, kMaxAllocation + 1> t{};
        t[0] = 1.0f;
        for (int a = 1; a <= kMaxAllocation; ++a) {
            const double levels = (1 << (a + 1)) - 1;
            t[a] = static_cast<float>(1.0 / (3.0 * levels * levels));
        }
        return t;
    }();
    return table[allocation];
}

// The code of a sample `x` for a quantiser of 2^(allocation + 1) - 1 levels spread over
// [-1, 1] times `multiplier` = levels / scale factor: round((x / sf * L + L - 1) / 2), which
// decoders map back to (2 code - L + 1) / L * sf. Samples beyond the scale factor clip.
inline int QuantiserCode(float x, float multiplier, int levels) {
    // = floor((x L / sf + L) / 2); truncation is the floor once the sum is not negative.
    const float twice = std::max(0.0f, x * multiplier + static_cast<float>(levels));
    return std::min(static_cast<int>(twice) >> 1, levels - 1);
}

// Squared error of the twelve samples of a band (`x`, 32 apart) quantised with a scale factor.
float QuantisationError(const float* x, int allocation, float scale) {
    const int levels = (2 << allocation) - 1;
    const float multiplier = static_cast<float>(levels) / scale;
    const float step = scale / static_cast<float>(levels);
    float error = 0.0f;
    for (int b = 0; b < kBlocks; ++b) {
        const float v = x[b * kBands];
        const int code = QuantiserCode(v, multiplier, levels);
        const float back = static_cast<float>(2 * code - levels + 1) * step;
        error += (v - back) * (v - back);
    }
    return error;
}

// Writes bits most significant first into a frame whose bytes are already zero.
class BitWriter {
public:
    explicit BitWriter(uint8_t* out) : out_(out) {}
    void Put(uint32_t value, int bits) {
        acc_ = (acc_ << bits) | value;
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            *out_++ = static_cast<uint8_t>(acc_ >> count_);
        }
    }
    void Flush() {
        if (count_ > 0) *out_++ = static_cast<uint8_t>(acc_ << (8 - count_));
        count_ = 0;
    }
    const uint8_t* position() const { return out_; }  // after the last whole byte

private:
    uint8_t* out_;
    uint64_t acc_ = 0;
    int count_ = 0;
};

uint16_t Crc16(const uint8_t* data, size_t bytes, uint16_t crc) {
    for (size_t i = 0; i < bytes; ++i) {
        for (int b = 7; b >= 0; --b) {
            bool bit = ((data[i] >> b) & 1) != 0;
            bool top = (crc & 0x8000) != 0;
            crc = static_cast<uint16_t>(crc << 1);
            if (bit != top) crc ^= 0x8005;
        }
    }
    return crc;
}

// A priority queue of allocation slots by a key cut into buckets: pushing is one store, and
// popping walks down from the highest filled bucket, which the allocation only lowers but for
// a rare step that does more than the one before it. Within a bucket the order is arbitrary.
class StepQueue {
public:
    static constexpr int kBuckets = 2048;

    StepQueue() { Clear(); }
    void Clear() {
        head_.fill(-1);
        top_ = -1;
    }
    void Push(int bucket, int slot) {
        next_[slot] = head_[bucket];
        head_[bucket] = static_cast<int16_t>(slot);
        top_ = std::max(top_, bucket);
    }
    // The slot of the highest bucket at or above `lowest`, taken out; -1 when none.
    int Pop(int lowest) {
        while (top_ >= lowest && head_[top_] < 0)
            --top_;
        if (top_ < lowest) return -1;
        const int slot = head_[top_];
        head_[top_] = next_[slot];
        return slot;
    }

private:
    std::array<int16_t, kBuckets> head_;
    std::array<int16_t, 2 * 32> next_;
    int top_;
};

// What the allocation needs to know of one band of one channel.
struct BandState {
    float smr = 0;     // signal-to-mask ratio, dB
    float energy = 0;  // mean power of the subband samples: the noise when nothing is sent
    float scale2 = 0;  // square of the scale factor
    bool silent = true;
};

using Bands = std::array<std::array<BandState, kBands>, 2>;

struct Allocation {
    std::array<std::array<int, kBands>, 2> bits{};  // allocation index per channel and band
    float worstMnr = 0;
    int bitsLeft = 0;
};

// Allocation in two rounds. First the masking model leads: bits go to the band whose noise
// stands highest above its mask until every band's noise lies kMaskMargin under its mask. Bits
// left after that lower the noise itself: each step goes where it removes the most noise power
// per bit, which at high bit rates brings the waveform as close to the input as the frame
// allows. At low bit rates the first round uses up the frame. Bands at and above `bound` share
// one allocation (intensity coding).
Allocation Allocate(const Bands& bands, int channels, int bound, int available) {
    // One slot per independently allocated band and channel; intensity bands have one slot
    // that carries both channels' scale factors and the larger of their needs.
    struct Slot {
        int ch;
        int band;
        float need;
        float energy;
        float scale2;
        int firstCost;  // scale factor(s) and the first two bits of each sample
    };
    std::array<Slot, 2 * kBands> slots;
    std::array<int, 2 * kBands> alloc{};
    std::array<int, 2 * kBands> cost;  // bits of the slot's next step
    int count = 0;
    for (int band = 0; band < kBands; ++band) {
        const bool joint = band >= bound && channels == 2;
        for (int ch = 0; ch < (joint ? 1 : channels); ++ch) {
            const BandState& a = bands[ch][band];
            if (joint) {
                const BandState& b = bands[1][band];
                if (a.silent && b.silent) continue;
                slots[count] = Slot{ch,
                                    band,
                                    std::max(a.smr, b.smr),
                                    a.energy + b.energy,
                                    a.scale2 + b.scale2,
                                    12 + kBlocks * 2};
            } else {
                if (a.silent) continue;
                slots[count] = Slot{ch, band, a.smr, a.energy, a.scale2, 6 + kBlocks * 2};
            }
            cost[count] = slots[count].firstCost;
            ++count;
        }
    }

    // Each round keeps its candidates in a bucket queue, the highest priority first. A slot
    // whose next step no longer fits leaves for good: the bits left only shrink.
    StepQueue queue;
    auto step = [&](int i) {
        available -= cost[i];
        ++alloc[i];
        cost[i] = kBlocks;
    };

    // Round 1: the highest noise-to-mask ratio first, in steps of a quarter dB.
    auto maskBucket = [](float nmr) {
        return static_cast<int>(
            std::clamp((nmr + 200.0f) * 4.0f, 0.0f, StepQueue::kBuckets - 1.0f));
    };
    const int stopBucket = maskBucket(-kMaskMargin);
    for (int i = 0; i < count; ++i) {
        if (slots[i].need > -kMaskMargin) queue.Push(maskBucket(slots[i].need), i);
    }
    for (int i; (i = queue.Pop(stopBucket)) >= 0;) {
        if (cost[i] > available) continue;
        step(i);
        const float nmr = slots[i].need - QuantiserSnr(alloc[i]);
        if (alloc[i] < kMaxAllocation && nmr > -kMaskMargin) queue.Push(maskBucket(nmr), i);
    }
    // Round 2: the most noise power removed per bit, in steps of an eighth of an octave.
    auto gainBucket = [&](int i) {
        const int a = alloc[i];
        const float before = a == 0 ? slots[i].energy : slots[i].scale2 * QuantiserNoise(a);
        const float after = slots[i].scale2 * QuantiserNoise(a + 1);
        const float gain = (before - after) / static_cast<float>(cost[i]);
        // The bits of a positive float order as the float: exponent and three bits after it.
        return gain > 0.0f ? static_cast<int>(std::bit_cast<uint32_t>(gain) >> 20) : -1;
    };
    queue.Clear();
    for (int i = 0; i < count; ++i) {
        const int bucket = alloc[i] < kMaxAllocation ? gainBucket(i) : -1;
        if (bucket >= 0) queue.Push(bucket, i);
    }
    for (int i; (i = queue.Pop(0)) >= 0;) {
        if (cost[i] > available) continue;
        step(i);
        const int bucket = alloc[i] < kMaxAllocation ? gainBucket(i) : -1;
        if (bucket >= 0) queue.Push(bucket, i);
    }

    Allocation result;
    for (int i = 0; i < count; ++i) {
        result.bits[slots[i].ch][slots[i].band] = alloc[i];
        if (slots[i].band >= bound && channels == 2) result.bits[1][slots[i].band] = alloc[i];
    }
    float worst = 1e30f;
    for (int band = 0; band < kBands; ++band) {
        for (int ch = 0; ch < channels; ++ch) {
            const BandState& b = bands[ch][band];
            if (b.silent) continue;
            const int a = result.bits[ch][band];
            worst = std::min(worst, (a == 0 ? 0.0f : QuantiserSnr(a)) - b.smr);
        }
    }
    result.worstMnr = worst;
    result.bitsLeft = available;
    return result;
}

// What one frame's coding decides, step by step: its subband samples, their scale factors and
// peaks, the bands as the allocation sees them, and the allocation with its stereo bound.
struct Frame {
    float sub[2][kBlocks][kBands];
    std::array<std::array<int, kBands>, 2> scale{};
    std::array<std::array<float, kBands>, 2> peaks{};
    Bands bands{};
    Allocation alloc;
    int bound = kBands;
    int modeExtension = 0;
};

// Joint stereo: the widest stereo range whose allocation still meets the masks; else the best
// one. available(b) is the frame's bits for samples with bound b.
void AllocateJoint(Frame& f, int frameBits) {
    bool found = false;
    Allocation best;
    int bestBound = 4;
    for (int ext = 3; ext >= 0; --ext) {
        int b = 4 * (ext + 1);
        int available = frameBits - 4 * (2 * b + (kBands - b));
        Allocation a = Allocate(f.bands, 2, b, available);
        if (a.worstMnr >= 0.0f) {
            f.alloc = a;
            f.bound = b;
            f.modeExtension = ext;
            found = true;
            break;
        }
        if (ext == 3 || a.worstMnr > best.worstMnr) {
            best = a;
            bestBound = b;
        }
    }
    if (!found) {
        f.alloc = best;
        f.bound = bestBound;
        f.modeExtension = f.bound / 4 - 1;
    }
}

// The scale factor that covers the peak keeps every sample in range, but a smaller one (finer
// steps, the peak clipped) can leave less noise, above all with few levels.
void RefineScaleFactors(Frame& f, int channels) {
    const auto& sf = ScaleFactors();
    for (int k = 0; k < f.bound; ++k) {
        for (int ch = 0; ch < channels; ++ch) {
            const int a = f.alloc.bits[ch][k];
            if (a == 0) continue;
            int best = f.scale[ch][k];
            // Nothing to gain when clipping the peak to the next factor costs more than the
            // rounding noise is likely to be (the usual case with many levels).
            const float next = best < 62 ? f.peaks[ch][k] - sf[best + 1] : 0.0f;
            if (best == 62 ||
                next * next >= 2.0f * kBlocks * f.bands[ch][k].scale2 * QuantiserNoise(a))
                continue;
            float bestError = QuantisationError(&f.sub[ch][0][k], a, sf[best]);
            for (int index = best + 1; index <= std::min(62, f.scale[ch][k] + 3); ++index) {
                // Clipping the peak alone costs this much, and more for each smaller factor.
                const float clip = f.peaks[ch][k] - sf[index];
                if (clip * clip >= bestError) break;
                const float error = QuantisationError(&f.sub[ch][0][k], a, sf[index]);
                if (error < bestError) {
                    bestError = error;
                    best = index;
                }
            }
            f.scale[ch][k] = best;
        }
    }
}

// Intensity bands carry the mid signal once; each channel keeps its own scale factor.
void MakeIntensityBands(Frame& f) {
    const auto& sf = ScaleFactors();
    for (int k = f.bound; k < kBands; ++k) {
        float energyL = 0.0f;
        float energyR = 0.0f;
        float energyM = 0.0f;
        float peak = 0.0f;
        for (int b = 0; b < kBlocks; ++b) {
            float l = f.sub[0][b][k];
            float r = f.sub[1][b][k];
            float m = 0.5f * (l + r);
            energyL += l * l;
            energyR += r * r;
            energyM += m * m;
            f.sub[0][b][k] = m;
            peak = std::max(peak, std::fabs(m));
        }
        int mid = ScaleIndex(peak);
        if (energyM <= 1e-20f) {
            f.alloc.bits[0][k] = f.alloc.bits[1][k] = 0;
            continue;
        }
        // Normalise the mid signal by its own factor, then rescale it per channel.
        for (int b = 0; b < kBlocks; ++b)
            f.sub[0][b][k] /= sf[mid];
        for (int ch = 0; ch < 2; ++ch) {
            float gain = std::sqrt((ch == 0 ? energyL : energyR) / energyM);
            float target = gain * sf[mid];
            int& index = f.scale[ch][k];
            index = target <= 0.0f ? 62 : ScaleIndex(target);
            // Pick whichever neighbouring index lies closer to the target.
            if (index > 0 && std::fabs(sf[index - 1] - target) < std::fabs(sf[index] - target))
                --index;
        }
    }
}

// Each band's peak, scale factor, energy and signal-to-mask ratio for one channel; frame points
// at the channel's equalised samples of the frame, after their history.
void MeasureBands(Frame& f, int ch, bool fast, const std::array<float, 32>& quietDb,
                  MaskingModel& model, const float* frame) {
    const auto& sf = ScaleFactors();
    auto& peak = f.peaks[ch];
    float energy[kBands] = {};
    for (int b = 0; b < kBlocks; ++b) {
        for (int k = 0; k < kBands; ++k) {
            const float x = f.sub[ch][b][k];
            peak[k] = std::max(peak[k], std::fabs(x));
            energy[k] += x * x;
        }
    }
    for (int k = 0; k < kBands; ++k) {
        f.scale[ch][k] = ScaleIndex(peak[k]);
        BandState& s = f.bands[ch][k];
        s.silent = peak[k] < 1e-7f;
        s.energy = energy[k] / kBlocks;
        s.scale2 = sf[f.scale[ch][k]] * sf[f.scale[ch][k]];
    }
    if (fast) {
        // Level of the band from its scale factor against the threshold in quiet
        // (2 * 2^(-i/3) is 96 + 6.02 - 2.007 i dB, less 6 dB for a sine's peak).
        for (int k = 0; k < kBands; ++k) {
            const float level = 96.0f + 6.0206f - 2.00687f * static_cast<float>(f.scale[ch][k]);
            f.bands[ch][k].smr = level - 6.0f - quietDb[k] - 10.0f;
        }
    } else {
        // The model looks at the 512 input samples the frame's subband samples stem from.
        const auto smr = model.Analyse(frame - 305);
        for (int k = 0; k < kBands; ++k)
            f.bands[ch][k].smr = smr[k];
    }
}

void WriteHeader(BitWriter& w, const Layer1Config& config, MpegVersion version, int bitrateIndex,
                 int rateIndex, int frameBytes, int modeExtension) {
    w.Put(0xFFF, 12);
    w.Put(version == MpegVersion::Mpeg1 ? 1 : 0, 1);
    w.Put(3, 2);  // Layer I
    w.Put(config.crc ? 0 : 1, 1);
    w.Put(static_cast<uint32_t>(bitrateIndex), 4);
    w.Put(static_cast<uint32_t>(rateIndex), 2);
    w.Put(frameBytes > 4 * static_cast<int>(12LL * config.kbps * 1000 / config.rate) ? 1 : 0, 1);
    w.Put(0, 1);  // private
    w.Put(static_cast<uint32_t>(config.mode), 2);
    w.Put(static_cast<uint32_t>(modeExtension), 2);
    w.Put(config.copyright ? 1 : 0, 1);
    w.Put(config.original ? 1 : 0, 1);
    w.Put(static_cast<uint32_t>(config.emphasis), 2);
    if (config.crc) w.Put(0, 16);  // filled in after the allocation
}

// The frame's scale factors and samples, after its allocation fields.
void WriteScalesAndSamples(BitWriter& w, const Frame& f, int channels) {
    const auto& sf = ScaleFactors();
    for (int k = 0; k < kBands; ++k) {
        for (int ch = 0; ch < channels; ++ch) {
            if (f.alloc.bits[ch][k] != 0) w.Put(static_cast<uint32_t>(f.scale[ch][k]), 6);
        }
    }
    struct Coded {
        const float* samples;  // sub[..][0][k]
        float multiplier;      // levels / scale factor
        int levels;
        int bits;
    };
    std::array<Coded, 2 * kBands> coded;
    int codedCount = 0;
    for (int k = 0; k < kBands; ++k) {
        const int chCount = k >= f.bound ? 1 : channels;
        for (int ch = 0; ch < chCount; ++ch) {
            const int a = f.alloc.bits[ch][k];
            if (a == 0) continue;
            const int levels = (2 << a) - 1;
            // Intensity bands hold the mid signal already normalised.
            const float divisor = k >= f.bound ? 1.0f : sf[f.scale[ch][k]];
            coded[codedCount++] = Coded{&f.sub[k >= f.bound ? 0 : ch][0][k],
                                        static_cast<float>(levels) / divisor, levels, a + 1};
        }
    }
    for (int b = 0; b < kBlocks; ++b) {
        for (int i = 0; i < codedCount; ++i) {
            const Coded& c = coded[i];
            const int code = QuantiserCode(c.samples[b * kBands], c.multiplier, c.levels);
            w.Put(static_cast<uint32_t>(code), c.bits);
        }
    }
}

}  // namespace

RippleEqualiser::RippleEqualiser() {
    // The taps follow from the window alone: worked out once.
    static const std::array<float, kTaps + 1> taps = Design();
    taps_ = taps;
}

std::array<float, RippleEqualiser::kTaps + 1> RippleEqualiser::Design() {
    std::array<float, kTaps + 1> taps;
    // The prototype low-pass: the window without the sign flips of the matrixing.
    std::array<double, 512> h;
    for (int n = 0; n < 512; ++n)
        h[n] = std::ldexp(kAnalysisWindow[n], -21) * ((n / 64) % 2 ? -1.0 : 1.0);
    // Magnitude of the response of both banks over one period, from the centre of band 15 to
    // that of band 16: (1/32) sum_j A_j F_j over the bands j that reach there, A_j and F_j the
    // analysis and synthesis filters of band j (the synthesis window is 32 times this one).
    constexpr int kPoints = 64;
    std::array<double, kPoints> response;
    std::array<std::array<std::complex<double>, 512>, 4> modA;
    std::array<std::array<std::complex<double>, 512>, 4> modF;
    for (int j = 0; j < 4; ++j) {
        for (int n = 0; n < 512; ++n) {
            const int band = 14 + j;
            modA[j][n] = h[n] * std::cos((2 * band + 1) * (n - 16) * kPi / 64.0);
            modF[j][n] = 32.0 * h[n] * std::cos((2 * band + 1) * (n + 16) * kPi / 64.0);
        }
    }
    for (int p = 0; p < kPoints; ++p) {
        const double w = (31.0 + 2.0 * p / kPoints) * kPi / 64.0;
        std::complex<double> sum = 0;
        for (int j = 0; j < 4; ++j) {
            std::complex<double> a = 0;
            std::complex<double> f = 0;
            for (int n = 0; n < 512; ++n) {
                const std::complex<double> e = std::polar(1.0, -w * n);
                a += modA[j][n] * e;
                f += modF[j][n] * e;
            }
            sum += a * f;
        }
        response[p] = std::abs(sum) / 32.0;
    }
    // The ripple as a cosine series in 64 (w - w15), relative to the band centre so that a tone
    // there keeps its level; cos(64 m (w - w15)) = (-1)^m cos(64 m w). The equaliser is one
    // less the ripple: taps of half each term's size, 64 m samples either side.
    for (int m = 0; m <= kTaps; ++m) {
        double term = 0;
        for (int p = 0; p < kPoints; ++p)
            term += (response[p] / response[0] - 1.0) * std::cos(2 * kPi * m * p / kPoints);
        term /= kPoints;
        taps[m] = static_cast<float>(m == 0 ? 1.0 - term : -term * (m % 2 ? -1.0 : 1.0));
    }
    return taps;
}

void RippleEqualiser::Apply(const float* __restrict in, float* __restrict out, int count) const {
    for (int i = 0; i < count; ++i)
        out[i] = taps_[0] * in[i];
    for (int m = 1; m <= kTaps; ++m) {
        const float t = taps_[m];
        const float* before = in - 64 * m;
        const float* after = in + 64 * m;
        for (int i = 0; i < count; ++i)
            out[i] += t * (before[i] + after[i]);
    }
}

const std::array<float, 512>& AnalysisWindow() {
    static const std::array<float, 512> window = [] {
        std::array<float, 512> c{};
        for (int i = 0; i < 512; ++i)
            c[i] = static_cast<float>(std::ldexp(static_cast<double>(kAnalysisWindow[i]), -21));
        return c;
    }();
    return window;
}

SubbandAnalysis::SubbandAnalysis(float inputScale) {
    // Tap i of the window weighs the sample i steps back, history[511 - i].
    const auto& c = AnalysisWindow();
    for (int j = 0; j < 8; ++j) {
        for (int q = 0; q < 64; ++q)
            window_[j][q] = c[63 - q + 64 * j] * inputScale;
    }
    for (int n = 0; n < kBands; ++n) {
        for (int k = 0; k < kBands; ++k)
            cosine_[n][k] = static_cast<float>(std::cos((2 * k + 1) * n * kPi / 64.0));
    }
}

void SubbandAnalysis::Filter(const float* history, float out[32]) const {
    // Windowed sums: r[q] = y[63 - q] of the matrixing y[i] = sum_j c[i + 64 j] x[i + 64 j].
    float r[64] = {};
    for (int j = 0; j < 8; ++j) {
        const float* w = window_[j].data();
        const float* x = history + 448 - 64 * j;
        for (int q = 0; q < 64; ++q)
            r[q] += w[q] * x[q];
    }
    // The matrixing cos((2k + 1)(i - 16) pi / 64) is even around i = 16 and odd around i = 48
    // (where it vanishes), so 64 sums fold into 32 terms of a cosine transform.
    float a[kBands];
    const auto y = [&r](int i) { return r[63 - i]; };
    a[0] = y(16);
    for (int n = 1; n <= 16; ++n)
        a[n] = y(16 + n) + y(16 - n);
    for (int n = 17; n < kBands; ++n)
        a[n] = y(16 + n) - y(80 - n);
    float sum[kBands] = {};
    for (int n = 0; n < kBands; ++n) {
        const float an = a[n];
        const float* c = cosine_[n].data();
        for (int k = 0; k < kBands; ++k)
            sum[k] += c[k] * an;
    }
    std::memcpy(out, sum, sizeof sum);
}

Layer1Encoder::Layer1Encoder(const Layer1Config& config)
    : config_(config),
      channels_(config.mode == ChannelMode::Mono ? 1 : 2),
      version_(MpegVersion::Mpeg1),
      bitrateIndex_(0),
      rateIndex_(RateIndex(config.rate)),
      analysis_(1.0f / 32768.0f),
      model_(config.rate) {
    VersionForRate(config.rate, &version_);
    bitrateIndex_ = BitrateIndex(version_, 1, config.kbps);
    for (int ch = 0; ch < channels_; ++ch) {
        input_[ch].assign(2 * RippleEqualiser::kReach + kFrameSamples, 0.0f);
        buffer_[ch].assign(kHistory + kFrameSamples, 0.0f);
    }
    for (int k = 0; k < kBands; ++k) {
        const float hz = (static_cast<float>(k) + 0.5f) * static_cast<float>(config.rate) / 64.0f;
        quietDb_[k] = HearingThresholdDb(hz);
    }
}

int Layer1Encoder::FrameBytes() {
    // A Layer I slot is 4 bytes; 12 slots per kbit/s-frame, padded to keep the average rate.
    const int64_t numerator = 12LL * config_.kbps * 1000;
    int slots = static_cast<int>(numerator / config_.rate);
    padRest_ += numerator % config_.rate;
    if (padRest_ >= config_.rate) {
        padRest_ -= config_.rate;
        ++slots;
    }
    return slots * 4;
}

void Layer1Encoder::Encode(const int16_t* samples, size_t frames, std::vector<uint8_t>* out) {
    size_t f = 0;
    while (f < frames) {
        const size_t n = std::min(frames - f, static_cast<size_t>(kFrameSamples - filled_));
        for (int ch = 0; ch < channels_; ++ch) {
            float* dst = input_[ch].data() + 2 * RippleEqualiser::kReach + filled_;
            const int16_t* src = samples + f * channels_ + ch;
            for (size_t i = 0; i < n; ++i)
                dst[i] = src[i * channels_];
        }
        f += n;
        samplesIn_ += static_cast<int64_t>(n);
        filled_ += static_cast<int>(n);
        if (filled_ == kFrameSamples) {
            EncodeFrame(out);
            filled_ = 0;
        }
    }
}

void Layer1Encoder::Finish(std::vector<uint8_t>* out) {
    // Frames until every sample fed has passed through both filter banks.
    const int64_t needed = (samplesIn_ + kCodecDelay + kFrameSamples - 1) / kFrameSamples;
    while (framesWritten_ < needed) {
        for (int ch = 0; ch < channels_; ++ch)
            std::fill(input_[ch].begin() + 2 * RippleEqualiser::kReach + filled_, input_[ch].end(),
                      0.0f);
        filled_ = 0;
        EncodeFrame(out);
    }
}

void Layer1Encoder::EncodeFrame(std::vector<uint8_t>* out) {
    // The frame's samples equalised, kReach samples behind the input; the input moves on.
    constexpr int reach = RippleEqualiser::kReach;
    for (int ch = 0; ch < channels_; ++ch) {
        float* in = input_[ch].data();
        equaliser_.Apply(in + reach, buffer_[ch].data() + kHistory, kFrameSamples);
        std::memmove(in, in + kFrameSamples, 2 * reach * sizeof(float));
    }
    // Subband samples of the frame, on a full scale of 1.
    Frame f;
    for (int ch = 0; ch < channels_; ++ch) {
        const float* buf = buffer_[ch].data();
        for (int b = 0; b < kBlocks; ++b)
            analysis_.Filter(buf + 32 * b + 32, f.sub[ch][b]);
    }
    for (int ch = 0; ch < channels_; ++ch)
        MeasureBands(f, ch, config_.fast, quietDb_, model_, buffer_[ch].data() + kHistory);

    const int frameBytes = FrameBytes();
    const int header = 32 + (config_.crc ? 16 : 0);
    if (config_.mode == ChannelMode::JointStereo) {
        AllocateJoint(f, frameBytes * 8 - header);
    } else {
        int available = frameBytes * 8 - header - 4 * kBands * channels_;
        f.alloc = Allocate(f.bands, channels_, kBands, available);
    }
    RefineScaleFactors(f, channels_);
    MakeIntensityBands(f);

    const size_t start = out->size();
    out->resize(start + static_cast<size_t>(frameBytes), 0);  // unused bits stay zero
    uint8_t* frame = out->data() + start;
    BitWriter w(frame);
    WriteHeader(w, config_, version_, bitrateIndex_, rateIndex_, frameBytes, f.modeExtension);
    const uint8_t* allocationStart = w.position();
    for (int k = 0; k < kBands; ++k) {
        int chCount = k >= f.bound ? 1 : channels_;
        for (int ch = 0; ch < chCount; ++ch)
            w.Put(static_cast<uint32_t>(f.alloc.bits[ch][k]), 4);
    }
    if (config_.crc) {
        // The allocation fields always fill whole bytes: 4 bits for an even number of fields.
        uint16_t crc = Crc16(frame + 2, 2, 0xFFFF);
        crc = Crc16(allocationStart, static_cast<size_t>(w.position() - allocationStart), crc);
        frame[4] = static_cast<uint8_t>(crc >> 8);
        frame[5] = static_cast<uint8_t>(crc & 0xFF);
    }
    WriteScalesAndSamples(w, f, channels_);
    w.Flush();
    ++framesWritten_;

    for (int ch = 0; ch < channels_; ++ch) {
        std::memmove(buffer_[ch].data(), buffer_[ch].data() + kFrameSamples,
                     kHistory * sizeof(float));
    }
}

}  // namespace orvane::codecs
