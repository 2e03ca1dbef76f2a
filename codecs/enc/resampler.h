#pragma once
// Sample-rate conversion for rates a layer cannot carry: band-limited interpolation with a
// Kaiser-windowed sinc kernel, looked up from a finely sampled table.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane::codecs {

class Resampler {
public:
    Resampler(int inRate, int outRate, int channels);

    // Appends the output that the input so far determines.
    void Push(const int16_t* interleaved, size_t frames, std::vector<int16_t>* out);
    // Appends the rest: output up to the time of the last input sample.
    void Flush(std::vector<int16_t>* out);

private:
    void Produce(std::vector<int16_t>* out, bool final);
    float Kernel(double x) const;

    int64_t inRate_;
    int64_t outRate_;
    int channels_;
    double cutoff_;  // relative to the input Nyquist frequency
    int halfWidth_;  // kernel half length in input samples
    std::vector<float> table_;
    static constexpr int kSteps = 256;  // table points per input sample
    std::vector<float> buffer_;         // interleaved input from sample `bufferStart_` on
    int64_t bufferStart_ = 0;
    int64_t inputCount_ = 0;
    int64_t produced_ = 0;
};

}  // namespace orvane::codecs
