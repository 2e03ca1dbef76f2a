#pragma once
// A masking model for subband coders: how far below the signal of each of the 32 subbands the
// quantisation noise must stay to be inaudible (signal-to-mask ratio in dB).

#include <array>
#include <complex>
#include <cstdint>
#include <utility>
#include <vector>

namespace orvane::codecs {

// In-place radix-2 FFT of a fixed power-of-two size.
class FftPlan {
public:
    explicit FftPlan(size_t n);
    void Transform(std::complex<float>* data) const;
    void Transform(std::vector<std::complex<float>>& data) const { Transform(data.data()); }

private:
    size_t n_;
    std::vector<float> cos_;
    std::vector<float> sin_;
    std::vector<std::pair<uint32_t, uint32_t>> swaps_;  // bit-reversal permutation
};

// FFT of n real samples through one complex FFT of n / 2 points: bins 0 .. n / 2.
class RealFftPlan {
public:
    explicit RealFftPlan(size_t n);
    void Transform(const float* in, std::complex<float>* out);

private:
    size_t n_;
    FftPlan half_;
    std::vector<std::complex<float>> twiddle_;  // e^(-2 pi i k / n), k = 0 .. n / 2
    std::vector<std::complex<float>> work_;
};

// Threshold in quiet in dB, on a scale where a full-scale sine is 96 dB.
float HearingThresholdDb(float hz);

class MaskingModel {
public:
    static constexpr int kSize = 512;

    explicit MaskingModel(int rate);

    // `samples`: kSize samples of one channel on the 16-bit scale, centred on the frame.
    // Returns the signal-to-mask ratio of each subband in dB.
    std::array<float, 32> Analyse(const float* samples);
    // Power of each subband in dB on the same scale (a full-scale sine is 96 dB), from the same
    // windowed spectrum: with Analyse it gives the mask a noise must stay under.
    std::array<float, 32> BandLevels(const float* samples);

private:
    void Spectrum(const float* samples);  // fills power_

    struct Partition {
        int first = 0;
        int last = 0;  // inclusive bin range
        float bark = 0;
    };

    int rate_;
    std::vector<float> window_;
    std::vector<float> binBark_;
    std::vector<float> quietPower_;  // threshold in quiet per bin, as power
    std::vector<Partition> partitions_;
    std::vector<size_t> binPartition_;
    std::vector<float> spreading_;            // partitions x partitions, linear factors
    std::vector<std::pair<int, int>> reach_;  // per partition: the maskers that reach it
    std::vector<float> toneOffset_;           // per partition: how much less a tone masks
    RealFftPlan fftPlan_;
    std::vector<float> windowed_;
    std::vector<std::complex<float>> fft_;
    std::vector<float> power_;
    // Scratch of one analysis.
    std::vector<float> tonal_;
    std::vector<float> noise_;
    std::vector<float> threshold_;
    std::vector<char> isTone_;
};

}  // namespace orvane::codecs
