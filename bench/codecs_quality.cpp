// Quality figures for bench/codecs.sh, from a 16-bit WAVE input and its decoded round trip:
//   codecs_quality snr <input.wav> <decoded.wav>
//       the worse channel's signal-to-noise ratio in dB, after finding the decoder's delay and
//       matching the level (so that it tells how well the waveform was kept)
//   codecs_quality nmr <input.wav> <decoded.wav>
//       the noise-to-mask ratio of each of the 32 subbands in dB, the mask coming from our own
//       encoder's masking model run on the input: per band the power mean over all frames and
//       channels, then the share of band-frames whose noise stands above the mask.
// Built by bench/codecs.sh straight from the sources; not part of the programs.

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "codecs/enc/psycho.h"

namespace {

struct Wave {
    int rate = 0;
    int channels = 0;
    std::vector<std::vector<double>> samples;  // per channel
};

uint32_t Le32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

bool ReadWave(const char* path, Wave* wave) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < 12 || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0)
        return false;
    size_t pos = 12;
    int bits = 0;
    while (pos + 8 <= bytes.size()) {
        const uint32_t size = Le32(b + pos + 4);
        const size_t body = pos + 8;
        if (std::memcmp(b + pos, "fmt ", 4) == 0 && size >= 16 && body + 16 <= bytes.size()) {
            wave->channels = b[body + 2] | b[body + 3] << 8;
            wave->rate = static_cast<int>(Le32(b + body + 4));
            bits = b[body + 14] | b[body + 15] << 8;
        } else if (std::memcmp(b + pos, "data", 4) == 0) {
            if (bits != 16 || wave->channels < 1) return false;
            const size_t end = std::min<size_t>(bytes.size(), body + size);
            const size_t frames = (end - body) / (2 * wave->channels);
            wave->samples.assign(wave->channels, std::vector<double>(frames));
            for (size_t f = 0; f < frames; ++f) {
                for (int ch = 0; ch < wave->channels; ++ch) {
                    const unsigned char* s = b + body + 2 * (f * wave->channels + ch);
                    wave->samples[ch][f] = static_cast<int16_t>(s[0] | s[1] << 8);
                }
            }
            return true;
        }
        pos = body + size + (size & 1);
    }
    return false;
}

// Delay of `y` behind `x` where they correlate best (0..maxLag). The correlation is normalised
// by the energy of the stretch of `y` it takes, so that a louder stretch of a periodic signal at
// a wrong lag cannot win.
int BestLag(const std::vector<double>& x, const std::vector<double>& y, int maxLag) {
    int best = 0;
    double bestScore = -1e300;
    const size_t start = x.size() / 4;
    const size_t len = std::min<size_t>(16384, x.size() / 2);
    for (int lag = 0; lag <= maxLag; ++lag) {
        double xy = 0;
        double yy = 0;
        for (size_t i = start; i < start + len && i + lag < y.size(); ++i) {
            xy += x[i] * y[i + lag];
            yy += y[i + lag] * y[i + lag];
        }
        const double score = yy > 0 ? xy / std::sqrt(yy) : 0;
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

// The decoded channel moved back by its delay and scaled to the input's level.
std::vector<double> Aligned(const std::vector<double>& x, const std::vector<double>& y) {
    const int lag = BestLag(x, y, 3000);
    double xy = 0;
    double yy = 0;
    for (size_t i = 0; i < x.size() && i + lag < y.size(); ++i) {
        xy += x[i] * y[i + lag];
        yy += y[i + lag] * y[i + lag];
    }
    const double g = yy > 0 ? xy / yy : 1.0;
    std::vector<double> out(x.size(), 0.0);
    for (size_t i = 0; i < x.size() && i + lag < y.size(); ++i)
        out[i] = g * y[i + lag];
    return out;
}

int Snr(const Wave& in, const Wave& dec) {
    double worst = 1e9;
    for (int ch = 0; ch < in.channels; ++ch) {
        const auto& x = in.samples[ch];
        const auto y = Aligned(x, dec.samples[ch]);
        // Half a second off each end: fades and the codec's start-up are not the point.
        const size_t margin = static_cast<size_t>(in.rate / 2);
        double signal = 0;
        double noise = 0;
        for (size_t i = margin; i + margin < x.size(); ++i) {
            signal += x[i] * x[i];
            noise += (x[i] - y[i]) * (x[i] - y[i]);
        }
        worst = std::min(worst, noise > 0 ? 10 * std::log10(signal / noise) : 200.0);
    }
    std::printf("%.1f\n", worst);
    return 0;
}

int Nmr(const Wave& in, const Wave& dec) {
    using orvane::codecs::MaskingModel;
    constexpr int kSize = MaskingModel::kSize;
    MaskingModel model(in.rate);
    std::array<double, 32> ratio{};  // sum of noise/mask power ratios
    std::array<int, 32> audible{};
    int frames = 0;
    std::vector<float> window(kSize);
    std::vector<float> error(kSize);
    for (int ch = 0; ch < in.channels; ++ch) {
        const auto& x = in.samples[ch];
        const auto y = Aligned(x, dec.samples[ch]);
        const size_t margin = static_cast<size_t>(in.rate / 2);
        for (size_t start = margin; start + kSize + margin < x.size(); start += 384) {
            for (int i = 0; i < kSize; ++i) {
                window[i] = static_cast<float>(x[start + i]);
                error[i] = static_cast<float>(x[start + i] - y[start + i]);
            }
            const auto smr = model.Analyse(window.data());
            const auto signal = model.BandLevels(window.data());
            const auto noise = model.BandLevels(error.data());
            for (int k = 0; k < 32; ++k) {
                // mask = signal - SMR; noise-to-mask = noise - mask.
                const double nmr = noise[k] - (signal[k] - smr[k]);
                ratio[k] += std::pow(10.0, nmr / 10);
                if (nmr > 0) ++audible[k];
            }
            ++frames;
        }
    }
    for (int k = 0; k < 32; ++k) {
        std::printf("%d %.1f %.1f\n", k, 10 * std::log10(ratio[k] / frames + 1e-30),
                    100.0 * audible[k] / frames);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s snr|nmr <input.wav> <decoded.wav>\n", argv[0]);
        return 2;
    }
    Wave in;
    Wave dec;
    if (!ReadWave(argv[2], &in) || !ReadWave(argv[3], &dec) || in.channels != dec.channels) {
        std::fprintf(stderr, "%s: unreadable or mismatched WAVE files\n", argv[0]);
        return 1;
    }
    const std::string what = argv[1];
    if (what == "snr") return Snr(in, dec);
    if (what == "nmr") return Nmr(in, dec);
    std::fprintf(stderr, "%s: unknown measure %s\n", argv[0], argv[1]);
    return 2;
}
