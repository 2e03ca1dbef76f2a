#pragma once
// Our MPEG audio Layer I encoder (MPEG-1, and MPEG-2 at the half rates): 32-band polyphase
// analysis, scale factors, bit allocation driven by a masking model, optional CRC.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/enc/mpeg_tables.h"
#include "codecs/enc/psycho.h"

namespace orvane::codecs {

struct Layer1Config {
    int rate = 44100;  // 32000, 44100, 48000 or 16000, 22050, 24000
    int kbps = 384;
    ChannelMode mode = ChannelMode::Stereo;  // channels: 1 for Mono, else 2
    bool crc = false;
    bool copyright = false;
    bool original = false;
    int emphasis = 0;
    bool fast = false;  // allocation from levels and the hearing threshold only
};

// The 512 coefficients of the standard analysis window, signs included.
const std::array<float, 512>& AnalysisWindow();

// Polyphase analysis of one channel: 32 new samples in, 32 subband samples out. A sine of
// amplitude A at the centre of a band gives subband samples of amplitude A * `inputScale`.
class SubbandAnalysis {
public:
    explicit SubbandAnalysis(float inputScale = 1.0f);
    // `history` holds at least 512 samples ending with the newest one at history[511].
    void Filter(const float* history, float out[32]) const;

private:
    // window_[j][q] weighs history[448 - 64 j + q]; both run forwards, so the loops vectorise.
    std::array<std::array<float, 64>, 8> window_;
    // The 64-term matrixing folds into a 32-point cosine transform: cosine_[n][k].
    std::array<std::array<float, 32>, 32> cosine_;
};

// The analysis and synthesis banks together are flat at the band centres but ripple between
// them by up to 1.5e-4 (the ripple repeats with the band spacing), more than the noise of a
// high bit rate. This zero-phase filter with taps 64 samples apart evens that out before the
// analysis; it looks kReach samples ahead.
class RippleEqualiser {
public:
    static constexpr int kTaps = 5;  // each side
    static constexpr int kReach = 64 * kTaps;

    RippleEqualiser();
    // out[i] from in[i - kReach .. i + kReach], for i = 0 .. count - 1.
    void Apply(const float* in, float* out, int count) const;

private:
    static std::array<float, kTaps + 1> Design();

    std::array<float, kTaps + 1> taps_;  // at 0, 64, 128 ... samples either side
};

class Layer1Encoder {
public:
    explicit Layer1Encoder(const Layer1Config& config);

    int channels() const { return channels_; }
    // Interleaved 16-bit samples (`channels()` per frame); complete frames are appended to `out`.
    void Encode(const int16_t* samples, size_t frames, std::vector<uint8_t>* out);
    // Pads with silence so that every sample fed leaves the decoder, writes the last frames.
    void Finish(std::vector<uint8_t>* out);

    int64_t framesWritten() const { return framesWritten_; }

    // Delay of the decoded signal behind the input, in samples: the analysis and synthesis
    // banks together, and the look-ahead of the equaliser.
    static constexpr int kCodecDelay = 481 + RippleEqualiser::kReach;

private:
    void EncodeFrame(std::vector<uint8_t>* out);
    int FrameBytes();

    Layer1Config config_;
    int channels_;
    MpegVersion version_;
    int bitrateIndex_;
    int rateIndex_;
    int64_t padRest_ = 0;
    RippleEqualiser equaliser_;
    SubbandAnalysis analysis_;
    MaskingModel model_;
    std::array<float, 32> quietDb_;  // threshold in quiet at each band's centre (fast mode)
    // Per channel: the input, 2 kReach samples followed by the 384 being gathered.
    std::array<std::vector<float>, 2> input_;
    // Per channel: the equalised signal, 512 samples of history followed by the frame's 384.
    std::array<std::vector<float>, 2> buffer_;
    int filled_ = 0;  // samples of the current frame gathered so far
    int64_t samplesIn_ = 0;
    int64_t framesWritten_ = 0;
};

}  // namespace orvane::codecs
