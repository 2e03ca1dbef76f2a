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

// The 512 coefficients of the analysis window, signs folded in as the matrixing needs them.
const std::array<float, 512>& AnalysisWindow();

// Polyphase analysis of one channel: 32 new samples in, 32 subband samples out.
class SubbandAnalysis {
public:
    SubbandAnalysis();
    // `history` holds at least 512 samples ending with the newest one at history[511].
    void Filter(const float* history, float out[32]) const;

private:
    std::array<std::array<float, 32>, 64> matrixT_;  // [tap][band]
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

    // Decoder delay of the analysis and synthesis banks together, in samples.
    static constexpr int kCodecDelay = 481;

private:
    void EncodeFrame(std::vector<uint8_t>* out);
    int FrameBytes();

    Layer1Config config_;
    int channels_;
    MpegVersion version_;
    int bitrateIndex_;
    int rateIndex_;
    int64_t padRest_ = 0;
    SubbandAnalysis analysis_;
    MaskingModel model_;
    // Per channel: 512 samples of history followed by the 384 of the frame being gathered.
    std::array<std::vector<float>, 2> buffer_;
    int filled_ = 0;  // samples of the current frame gathered so far
    int64_t samplesIn_ = 0;
    int64_t framesWritten_ = 0;
};

}  // namespace orvane::codecs
