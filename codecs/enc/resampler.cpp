#include "codecs/enc/resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvane::codecs {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kZeroCrossings = 16;

double I0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < 1e-12 * sum) break;
    }
    return sum;
}

}  // namespace

Resampler::Resampler(int inRate, int outRate, int channels)
    : inRate_(inRate), outRate_(outRate), channels_(channels) {
    // Keep below the lower of the two Nyquist frequencies, with room for the transition.
    cutoff_ = 0.95 * std::min(1.0, static_cast<double>(outRate) / inRate);
    halfWidth_ = static_cast<int>(std::ceil(kZeroCrossings / cutoff_));
    table_.resize(static_cast<size_t>(halfWidth_) * kSteps + 2);
    const double beta = 8.0;
    const double norm = I0(beta);
    for (size_t i = 0; i < table_.size(); ++i) {
        double x = static_cast<double>(i) / kSteps;
        double r = x / halfWidth_;
        double w = r >= 1.0 ? 0.0 : I0(beta * std::sqrt(1.0 - r * r)) / norm;
        double s = x == 0.0 ? 1.0 : std::sin(kPi * cutoff_ * x) / (kPi * cutoff_ * x);
        table_[i] = static_cast<float>(cutoff_ * s * w);
    }
}

float Resampler::Kernel(double x) const {
    x = std::fabs(x) * kSteps;
    size_t i = static_cast<size_t>(x);
    if (i + 1 >= table_.size()) return 0.0f;
    float f = static_cast<float>(x - static_cast<double>(i));
    return table_[i] + (table_[i + 1] - table_[i]) * f;
}

void Resampler::Push(const int16_t* interleaved, size_t frames, std::vector<int16_t>* out) {
    buffer_.insert(buffer_.end(), interleaved, interleaved + frames * channels_);
    inputCount_ += static_cast<int64_t>(frames);
    Produce(out, false);
}

void Resampler::Flush(std::vector<int16_t>* out) { Produce(out, true); }

void Resampler::Produce(std::vector<int16_t>* out, bool final) {
    const int64_t bufferEnd = bufferStart_ + static_cast<int64_t>(buffer_.size()) / channels_;
    const int64_t outTotal = final ? (inputCount_ * outRate_ + inRate_ - 1) / inRate_ : INT64_MAX;
    while (produced_ < outTotal) {
        const int64_t num = produced_ * inRate_;
        const int64_t centre = num / outRate_;
        const double frac = static_cast<double>(num % outRate_) / static_cast<double>(outRate_);
        if (!final && centre + halfWidth_ >= bufferEnd) break;
        for (int ch = 0; ch < channels_; ++ch) {
            double sum = 0.0;
            for (int64_t k = centre - halfWidth_ + 1; k <= centre + halfWidth_; ++k) {
                if (k < bufferStart_ || k >= bufferEnd) continue;  // silence outside the input
                float x = buffer_[static_cast<size_t>((k - bufferStart_) * channels_ + ch)];
                sum += x * Kernel(static_cast<double>(centre - k) + frac);
            }
            out->push_back(static_cast<int16_t>(std::clamp(std::lround(sum), -32768L, 32767L)));
        }
        ++produced_;
    }
    // Drop input that no later output sample reaches.
    const int64_t keepFrom = produced_ * inRate_ / outRate_ - halfWidth_;
    if (keepFrom > bufferStart_) {
        const int64_t drop = std::min(keepFrom, bufferEnd) - bufferStart_;
        buffer_.erase(buffer_.begin(), buffer_.begin() + drop * channels_);
        bufferStart_ += drop;
    }
}

}  // namespace orvane::codecs
