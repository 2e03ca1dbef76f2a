#include "codecs/enc/backends.h"

#include <lame/lame.h>
#include <twolame.h>

#include "codecs/enc/layer1.h"

namespace orvane::codecs {
namespace {

int OutputChannels(const EncodePlan& plan) { return plan.mode == ChannelMode::Mono ? 1 : 2; }

class Layer3Encoder : public StreamEncoder {
public:
    explicit Layer3Encoder(const EncodePlan& plan) : channels_(OutputChannels(plan)) {
        flags_ = lame_init();
        if (flags_ == nullptr) return;
        lame_set_num_channels(flags_, channels_);
        lame_set_in_samplerate(flags_, plan.outputRate);
        lame_set_out_samplerate(flags_, plan.outputRate);
        lame_set_VBR(flags_, vbr_off);
        lame_set_brate(flags_, plan.kbps);
        MPEG_mode mode = STEREO;
        if (plan.mode == ChannelMode::JointStereo) mode = JOINT_STEREO;
        if (plan.mode == ChannelMode::DualChannel) mode = DUAL_CHANNEL;
        if (plan.mode == ChannelMode::Mono) mode = MONO;
        lame_set_mode(flags_, mode);
        // The fast and the high-quality algorithm choices of the library.
        lame_set_quality(flags_, plan.fast ? 7 : 2);
        lame_set_error_protection(flags_, plan.crc ? 1 : 0);
        lame_set_copyright(flags_, plan.copyright ? 1 : 0);
        lame_set_original(flags_, plan.original ? 1 : 0);
        lame_set_emphasis(flags_, plan.emphasis);
        lame_set_bWriteVbrTag(flags_, 1);
        ready_ = lame_init_params(flags_) >= 0;
    }
    ~Layer3Encoder() override {
        if (flags_ != nullptr) lame_close(flags_);
    }
    bool ready() const { return ready_; }

    bool Encode(const int16_t* samples, size_t frames, std::vector<uint8_t>* out,
                std::string* error) override {
        const size_t start = out->size();
        out->resize(start + frames * 5 / 4 + 7200);
        int n;
        short* pcm = const_cast<short*>(samples);
        if (channels_ == 2) {
            n = lame_encode_buffer_interleaved(flags_, pcm, static_cast<int>(frames),
                                               out->data() + start,
                                               static_cast<int>(out->size() - start));
        } else {
            n = lame_encode_buffer(flags_, pcm, pcm, static_cast<int>(frames), out->data() + start,
                                   static_cast<int>(out->size() - start));
        }
        if (n < 0) {
            out->resize(start);
            *error = "Layer 3 encoding failed (" + std::to_string(n) + ")";
            return false;
        }
        out->resize(start + static_cast<size_t>(n));
        return true;
    }

    bool Finish(std::vector<uint8_t>* out, std::string* error) override {
        const size_t start = out->size();
        out->resize(start + 7200);
        int n = lame_encode_flush(flags_, out->data() + start, 7200);
        if (n < 0) {
            out->resize(start);
            *error = "Layer 3 encoding failed at the end (" + std::to_string(n) + ")";
            return false;
        }
        out->resize(start + static_cast<size_t>(n));
        return true;
    }

    std::vector<uint8_t> LeadingFrame() override {
        std::vector<uint8_t> frame(2880);
        size_t n = lame_get_lametag_frame(flags_, frame.data(), frame.size());
        frame.resize(n <= frame.size() ? n : 0);
        return frame;
    }

    int64_t framesWritten() const override { return lame_get_frameNum(flags_); }

private:
    lame_global_flags* flags_ = nullptr;
    int channels_;
    bool ready_ = false;
};

class Layer2Encoder : public StreamEncoder {
public:
    explicit Layer2Encoder(const EncodePlan& plan) : channels_(OutputChannels(plan)) {
        options_ = twolame_init();
        if (options_ == nullptr) return;
        twolame_set_verbosity(options_, 0);
        twolame_set_num_channels(options_, channels_);
        twolame_set_in_samplerate(options_, plan.outputRate);
        twolame_set_out_samplerate(options_, plan.outputRate);
        twolame_set_version(options_,
                            plan.version == MpegVersion::Mpeg1 ? TWOLAME_MPEG1 : TWOLAME_MPEG2);
        TWOLAME_MPEG_mode mode = TWOLAME_STEREO;
        if (plan.mode == ChannelMode::JointStereo) mode = TWOLAME_JOINT_STEREO;
        if (plan.mode == ChannelMode::DualChannel) mode = TWOLAME_DUAL_CHANNEL;
        if (plan.mode == ChannelMode::Mono) mode = TWOLAME_MONO;
        twolame_set_mode(options_, mode);
        twolame_set_bitrate(options_, plan.kbps);
        twolame_set_psymodel(options_, plan.model);
        // High speed: the model runs on every tenth frame only.
        twolame_set_quick_mode(options_, plan.fast ? 1 : 0);
        twolame_set_error_protection(options_, plan.crc ? 1 : 0);
        twolame_set_copyright(options_, plan.copyright ? 1 : 0);
        twolame_set_original(options_, plan.original ? 1 : 0);
        twolame_set_emphasis(options_, static_cast<TWOLAME_Emphasis>(plan.emphasis));
        ready_ = twolame_init_params(options_) == 0;
    }
    ~Layer2Encoder() override {
        if (options_ != nullptr) twolame_close(&options_);
    }
    bool ready() const { return ready_; }

    bool Encode(const int16_t* samples, size_t frames, std::vector<uint8_t>* out,
                std::string* error) override {
        const size_t start = out->size();
        size_t room = (frames / 1152 + 2) * 4096;
        out->resize(start + room);
        int n = twolame_encode_buffer_interleaved(options_, samples, static_cast<int>(frames),
                                                  out->data() + start, static_cast<int>(room));
        if (n < 0) {
            out->resize(start);
            *error = "Layer 2 encoding failed (" + std::to_string(n) + ")";
            return false;
        }
        out->resize(start + static_cast<size_t>(n));
        samples_ += static_cast<int64_t>(frames);
        return true;
    }

    bool Finish(std::vector<uint8_t>* out, std::string* error) override {
        const size_t start = out->size();
        out->resize(start + 16384);
        int n = twolame_encode_flush(options_, out->data() + start, 16384);
        if (n < 0) {
            out->resize(start);
            *error = "Layer 2 encoding failed at the end (" + std::to_string(n) + ")";
            return false;
        }
        out->resize(start + static_cast<size_t>(n));
        finished_ = true;
        return true;
    }

    int64_t framesWritten() const override {
        return finished_ ? (samples_ + 1151) / 1152 : samples_ / 1152;
    }

private:
    twolame_options* options_ = nullptr;
    int channels_;
    bool ready_ = false;
    bool finished_ = false;
    int64_t samples_ = 0;
};

class OwnLayer1Encoder : public StreamEncoder {
public:
    explicit OwnLayer1Encoder(const EncodePlan& plan) : encoder_(ConfigFor(plan)) {}

    bool Encode(const int16_t* samples, size_t frames, std::vector<uint8_t>* out,
                std::string*) override {
        encoder_.Encode(samples, frames, out);
        return true;
    }
    bool Finish(std::vector<uint8_t>* out, std::string*) override {
        encoder_.Finish(out);
        return true;
    }
    int64_t framesWritten() const override { return encoder_.framesWritten(); }

private:
    static Layer1Config ConfigFor(const EncodePlan& plan) {
        Layer1Config c;
        c.rate = plan.outputRate;
        c.kbps = plan.kbps;
        c.mode = plan.mode;
        c.crc = plan.crc;
        c.copyright = plan.copyright;
        c.original = plan.original;
        c.emphasis = plan.emphasis;
        c.fast = plan.fast;
        return c;
    }
    Layer1Encoder encoder_;
};

}  // namespace

std::unique_ptr<StreamEncoder> CreateStreamEncoder(const EncodePlan& plan, std::string* error) {
    if (plan.layer == 3) {
        auto encoder = std::make_unique<Layer3Encoder>(plan);
        if (encoder->ready()) return encoder;
        *error = "The Layer 3 encoder refused these settings";
        return nullptr;
    }
    if (plan.layer == 2) {
        auto encoder = std::make_unique<Layer2Encoder>(plan);
        if (encoder->ready()) return encoder;
        *error = "The Layer 2 encoder refused these settings";
        return nullptr;
    }
    return std::make_unique<OwnLayer1Encoder>(plan);
}

}  // namespace orvane::codecs
