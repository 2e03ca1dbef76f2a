#include "codecs/enc/psycho.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvane::codecs {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;

float Bark(float hz) {
    return 13.0f * std::atan(0.00076f * hz) + 3.5f * std::atan((hz / 7500.0f) * (hz / 7500.0f));
}

// Spread of masking along the basilar membrane, in dB, for a distance of `dz` Bark from the
// masker (positive: towards higher frequencies).
float SpreadDb(float dz) {
    float x = dz + 0.474f;
    return 15.81f + 7.5f * x - 17.5f * std::sqrt(1.0f + x * x);
}

float DbToPower(float db) { return std::pow(10.0f, db * 0.1f); }

}  // namespace

FftPlan::FftPlan(size_t n) : n_(n), cos_(n / 2), sin_(n / 2) {
    for (size_t k = 0; k < n / 2; ++k) {
        cos_[k] = std::cos(2.0f * kPi * static_cast<float>(k) / static_cast<float>(n));
        sin_[k] = -std::sin(2.0f * kPi * static_cast<float>(k) / static_cast<float>(n));
    }
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) swaps_.emplace_back(static_cast<uint32_t>(i), static_cast<uint32_t>(j));
    }
}

void FftPlan::Transform(std::complex<float>* a) const {
    const size_t n = n_;
    for (const auto& [i, j] : swaps_)
        std::swap(a[i], a[j]);
    // Products written out: complex multiplication proper also guards against infinities that
    // cannot occur here, and costs a library call each.
    float* d = reinterpret_cast<float*>(a);
    for (size_t len = 2; len <= n; len <<= 1) {
        const size_t half = len / 2;
        const size_t stride = n / len;
        for (size_t i = 0; i < n; i += len) {
            for (size_t k = 0; k < half; ++k) {
                const float wr = cos_[k * stride];
                const float wi = sin_[k * stride];
                float* u = d + 2 * (i + k);
                float* v = d + 2 * (i + k + half);
                const float vr = v[0] * wr - v[1] * wi;
                const float vi = v[0] * wi + v[1] * wr;
                v[0] = u[0] - vr;
                v[1] = u[1] - vi;
                u[0] += vr;
                u[1] += vi;
            }
        }
    }
}

RealFftPlan::RealFftPlan(size_t n) : n_(n), half_(n / 2), twiddle_(n / 2 + 1), work_(n / 2) {
    for (size_t k = 0; k <= n / 2; ++k) {
        const double phase =
            -2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
        twiddle_[k] = std::complex<float>(static_cast<float>(std::cos(phase)),
                                          static_cast<float>(std::sin(phase)));
    }
}

void RealFftPlan::Transform(const float* in, std::complex<float>* out) {
    // Even samples as the real parts, odd ones as the imaginary parts: Z = E + i O, where E
    // and O are the transforms of the even and odd samples; then X[k] = E[k] + w^k O[k].
    const size_t m = n_ / 2;
    for (size_t i = 0; i < m; ++i)
        work_[i] = std::complex<float>(in[2 * i], in[2 * i + 1]);
    half_.Transform(work_.data());
    for (size_t k = 0; k <= m; ++k) {
        const std::complex<float> z = work_[k % m];
        const std::complex<float> zc = std::conj(work_[(m - k) % m]);
        const std::complex<float> even = 0.5f * (z + zc);
        const std::complex<float> odd = std::complex<float>(0.0f, -0.5f) * (z - zc);
        const std::complex<float> w = twiddle_[k];
        out[k] = std::complex<float>(even.real() + w.real() * odd.real() - w.imag() * odd.imag(),
                                     even.imag() + w.real() * odd.imag() + w.imag() * odd.real());
    }
}

float HearingThresholdDb(float hz) {
    float khz = std::max(hz, 20.0f) * 0.001f;
    float db = 3.64f * std::pow(khz, -0.8f) - 6.5f * std::exp(-0.6f * (khz - 3.3f) * (khz - 3.3f)) +
               0.001f * khz * khz * khz * khz;
    return std::min(db, 96.0f);
}

MaskingModel::MaskingModel(int rate)
    : rate_(rate),
      window_(kSize),
      binBark_(kSize / 2 + 1),
      quietPower_(kSize / 2 + 1),
      fftPlan_(kSize),
      windowed_(kSize),
      fft_(kSize / 2 + 1),
      power_(kSize / 2 + 1),
      isTone_(kSize / 2 + 1) {
    for (int i = 0; i < kSize; ++i) {
        window_[i] = 0.5f - 0.5f * std::cos(2.0f * kPi * (static_cast<float>(i) + 0.5f) / kSize);
    }
    for (int k = 0; k <= kSize / 2; ++k) {
        float hz = static_cast<float>(k) * static_cast<float>(rate_) / kSize;
        binBark_[k] = Bark(hz);
        quietPower_[k] = DbToPower(HearingThresholdDb(hz));
    }
    // Partitions of about a third of a Bark, at least one bin wide.
    int first = 1;
    while (first <= kSize / 2) {
        int last = first;
        while (last + 1 <= kSize / 2 && binBark_[last + 1] - binBark_[first] < 0.33f)
            ++last;
        Partition p;
        p.first = first;
        p.last = last;
        p.bark = 0.5f * (binBark_[first] + binBark_[last]);
        partitions_.push_back(p);
        first = last + 1;
    }
    const size_t n = partitions_.size();
    binPartition_.assign(kSize / 2 + 1, 0);
    for (size_t i = 0; i < n; ++i) {
        for (int k = partitions_[i].first; k <= partitions_[i].last; ++k)
            binPartition_[k] = i;
    }
    spreading_.resize(n * n);
    reach_.assign(n, {0, -1});
    toneOffset_.resize(n);
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < n; ++j) {
            float db = SpreadDb(partitions_[i].bark - partitions_[j].bark);
            spreading_[i * n + j] = db < -60.0f ? 0.0f : DbToPower(db);
            if (spreading_[i * n + j] > 0.0f) {
                if (reach_[i].second < 0) reach_[i].first = static_cast<int>(j);
                reach_[i].second = static_cast<int>(j);
            }
        }
        toneOffset_[i] = DbToPower(-(14.5f + partitions_[i].bark));
    }
    tonal_.resize(n);
    noise_.resize(n);
    threshold_.resize(n);
}

void MaskingModel::Spectrum(const float* samples) {
    for (int i = 0; i < kSize; ++i)
        windowed_[i] = samples[i] * window_[i];
    fftPlan_.Transform(windowed_.data(), fft_.data());
    // A full-scale sine (amplitude 32768) peaks at 32768 * kSize / 4 with this window: 96 dB.
    const float reference = 32768.0f * kSize / 4.0f;
    const float scale = DbToPower(96.0f) / (reference * reference);
    for (int k = 0; k <= kSize / 2; ++k)
        power_[k] = std::norm(fft_[k]) * scale;
}

std::array<float, 32> MaskingModel::BandLevels(const float* samples) {
    Spectrum(samples);
    std::array<float, 32> level{};
    const int binsPerBand = kSize / 64;
    for (int band = 0; band < 32; ++band) {
        float signal = 0.0f;
        for (int b = 0; b < binsPerBand; ++b)
            signal += power_[std::min(band * binsPerBand + b + (band == 0 ? 1 : 0), kSize / 2)];
        level[band] = 10.0f * std::log10(signal + 1e-20f);
    }
    return level;
}

std::array<float, 32> MaskingModel::Analyse(const float* samples) {
    Spectrum(samples);

    // Tonal and noise-like energy per partition: a bin that stands 7 dB above the bins two and
    // three away and is a local peak is counted, with its neighbours, as a tone.
    const size_t n = partitions_.size();
    std::fill(isTone_.begin(), isTone_.end(), 0);
    for (int k = 3; k <= kSize / 2 - 3; ++k) {
        float p = power_[k];
        if (p <= power_[k - 1] || p < power_[k + 1]) continue;
        const float margin = 5.0f;  // 7 dB
        if (p >= margin * power_[k - 2] && p >= margin * power_[k + 2] &&
            p >= margin * power_[k - 3] && p >= margin * power_[k + 3]) {
            isTone_[k - 1] = isTone_[k] = isTone_[k + 1] = 1;
        }
    }
    for (size_t i = 0; i < n; ++i) {
        float t = 0.0f;
        float s = 0.0f;
        for (int k = partitions_[i].first; k <= partitions_[i].last; ++k)
            (isTone_[k] ? t : s) += power_[k];
        tonal_[i] = t;
        noise_[i] = s;
    }
    // Spread both kinds of masker; a tone masks less than noise of the same energy. Only the
    // maskers within 60 dB of spreading reach a partition.
    const float noiseOffset = DbToPower(-5.5f);
    for (size_t i = 0; i < n; ++i) {
        float t = 0.0f;
        float s = 0.0f;
        const float* row = spreading_.data() + i * n;
        for (int j = reach_[i].first; j <= reach_[i].second; ++j) {
            t += row[j] * tonal_[j];
            s += row[j] * noise_[j];
        }
        threshold_[i] = t * toneOffset_[i] + s * noiseOffset;
    }
    // Per bin: the partition's threshold shared among its bins, never below the quiet threshold.
    std::array<float, 32> smr{};
    const int binsPerBand = kSize / 64;
    for (int band = 0; band < 32; ++band) {
        float signal = 0.0f;
        float minMask = 1e30f;
        for (int b = 0; b < binsPerBand; ++b) {
            int k = band * binsPerBand + b + (band == 0 ? 1 : 0);
            k = std::min(k, kSize / 2);
            signal += power_[k];
            const size_t part = binPartition_[k];
            float width = static_cast<float>(partitions_[part].last - partitions_[part].first + 1);
            float mask = std::max(threshold_[part] / width, quietPower_[k]);
            minMask = std::min(minMask, mask);
        }
        float noiseAllowed = minMask * static_cast<float>(binsPerBand);
        smr[band] = signal <= 0.0f ? -200.0f : 10.0f * std::log10(signal / noiseAllowed);
    }
    return smr;
}

}  // namespace orvane::codecs
