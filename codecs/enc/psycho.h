#pragma once
// A masking model for subband coders: how far below the signal of each of the 32 subbands the
// quantisation noise must stay to be inaudible (signal-to-mask ratio in dB).

#include <array>
#include <complex>
#include <vector>

namespace orvane::codecs {

// In-place radix-2 FFT of a fixed power-of-two size.
class FftPlan {
public:
    explicit FftPlan(size_t n);
    void Transform(std::vector<std::complex<float>>& data) const;

private:
    size_t n_;
    std::vector<float> cos_;
    std::vector<float> sin_;
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

private:
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
    std::vector<float> spreading_;  // partitions x partitions, linear factors
    FftPlan fftPlan_;
    std::vector<std::complex<float>> fft_;
    std::vector<float> power_;
};

}  // namespace orvane::codecs
