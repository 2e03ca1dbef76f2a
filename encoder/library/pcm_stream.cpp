#include "encoder/library/pcm_stream.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace orvane::library {

namespace {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The rate a target takes for a source rate.
int TargetRate(const PcmTarget& t, int rate) {
    if (!t.rates.empty()) {
        int best = t.rates.front();
        for (int r : t.rates) {
            if (r == rate) return rate;
            const int d = std::abs(r - rate), bd = std::abs(best - rate);
            if (d < bd || (d == bd && r > best)) best = r;
        }
        return best;
    }
    if (rate >= t.lowestRate && rate <= t.highestRate) return rate;
    return rate % 44100 == 0 && 44100 <= t.highestRate ? 44100 : std::min(48000, t.highestRate);
}

int SignificantBits(const AVCodecParameters& par, AVSampleFormat fmt) {
    const int container = av_get_bytes_per_sample(fmt) * 8;
    int bits = par.bits_per_raw_sample;
    if (bits <= 0 || bits > container) bits = container;
    return bits;
}

// A frame's layout that names no channels is the default one of its channel count.
bool SameLayout(const AVChannelLayout& frame, const AVChannelLayout& first) {
    if (frame.order == AV_CHANNEL_ORDER_UNSPEC) return frame.nb_channels == first.nb_channels;
    return av_channel_layout_compare(&frame, &first) == 0;
}

// A small fast generator for the dither: the same file always dithers the same way.
class Noise {
public:
    double Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<double>(state_ >> 11) * (1.0 / 9007199254740992.0);
    }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

}  // namespace

struct PcmStream::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool exact = false;  // integers passed as they are (only shifted)
    bool downmix = false;
    bool inputEnded = false;    // the demuxer is through
    bool decoderEnded = false;  // the decoder has given its last frame
    bool flushed = false;       // the resampler's delay is out
    // A packet the decoder refused; only the stream's last may be (a torn tail).
    int refused = 0;
    AVChannelLayout inLayout{};
    AVSampleFormat inFormat = AV_SAMPLE_FMT_NONE;
    int inRate = 0;
    std::vector<std::uint8_t> buffer;  // the converter's output, interleaved
    Noise noise;

    ~State() {
        swr_free(&swr);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        av_channel_layout_uninit(&inLayout);
    }
};

PcmStream::PcmStream() = default;
PcmStream::~PcmStream() = default;

bool PcmStream::Open(const std::string& path, const PcmTarget& target, std::string& error) {
    // Every reason reaches the user through error; FFmpeg's own log would break the progress.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    s_ = std::make_unique<State>();
    State& s = *s_;
    int rc = avformat_open_input(&s.format, path.c_str(), nullptr, nullptr);
    if (rc < 0) {
        error = "FFmpeg cannot open it: " + AvError(rc);
        return false;
    }
    if (rc = avformat_find_stream_info(s.format, nullptr); rc < 0) {
        error = "FFmpeg cannot read its streams: " + AvError(rc);
        return false;
    }
    for (unsigned i = 0; i < s.format->nb_streams; ++i) {
        AVStream* st = s.format->streams[i];
        if (s.stream < 0 && st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            s.stream = static_cast<int>(i);
        else
            st->discard = AVDISCARD_ALL;
    }
    if (s.stream < 0) {
        error = "FFmpeg finds no audio stream in it: " + AvError(AVERROR_STREAM_NOT_FOUND);
        return false;
    }
    AVStream* st = s.format->streams[s.stream];
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    if (!decoder) {
        error = "FFmpeg has no decoder for its audio (" +
                std::string(avcodec_get_name(st->codecpar->codec_id)) + ")";
        return false;
    }
    s.codec = avcodec_alloc_context3(decoder);
    s.packet = av_packet_alloc();
    s.frame = av_frame_alloc();
    if (!s.codec || !s.packet || !s.frame) {
        error = "Out of memory";
        return false;
    }
    avcodec_parameters_to_context(s.codec, st->codecpar);
    s.codec->pkt_timebase = st->time_base;
    // The files of a library run side by side; each decoder keeps to its thread.
    s.codec->thread_count = 1;
    if (rc = avcodec_open2(s.codec, decoder, nullptr); rc < 0) {
        error = "FFmpeg cannot decode its audio: " + AvError(rc);
        return false;
    }
    if (s.codec->ch_layout.nb_channels < 1 || s.codec->sample_rate < 1) {
        error = "FFmpeg finds no channels or no sample rate in its audio";
        return false;
    }
    const AVCodecDescriptor* desc = avcodec_descriptor_get(st->codecpar->codec_id);
    source_.codec = decoder->long_name ? decoder->long_name : decoder->name;
    source_.channels = s.codec->ch_layout.nb_channels;
    source_.sampleRate = s.codec->sample_rate;
    const AVSampleFormat packed = av_get_packed_sample_fmt(s.codec->sample_fmt);
    source_.isFloat = packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL;
    source_.bits = SignificantBits(*st->codecpar, s.codec->sample_fmt);
    source_.lossy =
        desc && (desc->props & AV_CODEC_PROP_LOSSY) && !(desc->props & AV_CODEC_PROP_LOSSLESS);
    if (st->duration > 0 && st->duration != AV_NOPTS_VALUE)
        source_.frames = av_rescale_q(st->duration, st->time_base, {1, source_.sampleRate});
    else if (s.format->duration > 0)
        source_.frames = av_rescale(s.format->duration, source_.sampleRate, AV_TIME_BASE);

    layout_ = {};
    s.downmix = source_.channels > target.maxChannels;
    layout_.channels = s.downmix ? 2 : source_.channels;
    layout_.sampleRate = TargetRate(target, source_.sampleRate);
    layout_.floats = target.floats;
    if (target.floats)
        layout_.bits = 32;
    else if (target.fixedBits > 0)
        layout_.bits = target.fixedBits;
    else
        layout_.bits = !source_.isFloat && source_.bits <= 16 ? 16 : 24;
    const bool resample = layout_.sampleRate != source_.sampleRate;
    s.exact = !target.floats && !s.downmix && !resample && !source_.isFloat &&
              source_.bits <= layout_.bits;
    if (s.downmix)
        layout_.notes.push_back("down-mixed from " + std::to_string(source_.channels) +
                                " channels to stereo");
    if (resample)
        layout_.notes.push_back("resampled from " + std::to_string(source_.sampleRate) + " Hz to " +
                                std::to_string(layout_.sampleRate) + " Hz");
    if (!s.exact && !target.floats)
        layout_.notes.push_back((source_.isFloat ? std::string("floating-point samples")
                                                 : std::to_string(source_.bits) + "-bit samples") +
                                " reduced to " + std::to_string(layout_.bits) +
                                " bits with TPDF dither");
    AVChannelLayout out{};
    if (s.downmix)
        av_channel_layout_default(&out, 2);
    else if (s.codec->ch_layout.order == AV_CHANNEL_ORDER_NATIVE)
        av_channel_layout_copy(&out, &s.codec->ch_layout);
    else
        av_channel_layout_default(&out, layout_.channels);
    if (out.order == AV_CHANNEL_ORDER_NATIVE) layout_.channelMask = out.u.mask;
    av_channel_layout_uninit(&out);
    return true;
}

template <typename Room>
long PcmStream::Convert(Room room, std::string& error) {
    State& s = *s_;
    const AVSampleFormat outFormat = layout_.floats ? AV_SAMPLE_FMT_FLT
                                     : s.exact      ? AV_SAMPLE_FMT_S32
                                                    : AV_SAMPLE_FMT_DBL;
    for (;;) {
        AVFrame* in = nullptr;
        if (!s.decoderEnded) {
            int rc = avcodec_receive_frame(s.codec, s.frame);
            if (rc == AVERROR(EAGAIN)) {
                // The decoder wants the next packet of the stream.
                if (s.inputEnded) {
                    s.decoderEnded = true;
                    continue;
                }
                rc = av_read_frame(s.format, s.packet);
                if (rc == AVERROR_EOF) {
                    if (s.refused) layout_.notes.push_back("FFmpeg found its last packet damaged");
                    s.inputEnded = true;
                    avcodec_send_packet(s.codec, nullptr);
                    continue;
                }
                if (rc < 0) {
                    error = "FFmpeg cannot read it: " + AvError(rc);
                    return -1;
                }
                if (s.packet->stream_index != s.stream) {
                    av_packet_unref(s.packet);
                    continue;
                }
                if (s.refused) {
                    error = "FFmpeg cannot decode its audio: " + AvError(s.refused);
                    return -1;
                }
                rc = avcodec_send_packet(s.codec, s.packet);
                av_packet_unref(s.packet);
                if (rc == AVERROR_INVALIDDATA)
                    s.refused = rc;
                else if (rc < 0 && rc != AVERROR(EAGAIN)) {
                    error = "FFmpeg cannot decode its audio: " + AvError(rc);
                    return -1;
                }
                continue;
            }
            if (rc == AVERROR_EOF) {
                s.decoderEnded = true;
            } else if (rc == AVERROR_INVALIDDATA && !s.refused) {
                s.refused = rc;
                continue;
            } else if (rc < 0) {
                error = "FFmpeg cannot decode its audio: " + AvError(rc);
                return -1;
            } else {
                in = s.frame;
            }
        }
        if (!in && (s.flushed || !s.swr)) return 0;
        if (in) {
            const bool changed =
                s.swr && (in->format != s.inFormat || in->sample_rate != s.inRate ||
                          !SameLayout(in->ch_layout, s.inLayout));
            if (changed) {
                error = "its audio changes its format midway";
                return -1;
            }
            if (!s.swr) {
                s.inFormat = static_cast<AVSampleFormat>(in->format);
                s.inRate = in->sample_rate;
                av_channel_layout_uninit(&s.inLayout);
                if (in->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
                    av_channel_layout_default(&s.inLayout, in->ch_layout.nb_channels);
                else
                    av_channel_layout_copy(&s.inLayout, &in->ch_layout);
                if (s.inLayout.nb_channels != source_.channels) {
                    error = "its audio changes its format midway";
                    return -1;
                }
                AVChannelLayout outLayout{};
                if (s.downmix)
                    av_channel_layout_default(&outLayout, 2);
                else
                    av_channel_layout_copy(&outLayout, &s.inLayout);
                int rc = swr_alloc_set_opts2(&s.swr, &outLayout, outFormat, layout_.sampleRate,
                                             &s.inLayout, s.inFormat, s.inRate, 0, nullptr);
                av_channel_layout_uninit(&outLayout);
                // A down-mix keeps every sum within full scale.
                if (rc >= 0 && s.downmix) av_opt_set_double(s.swr, "rematrix_maxval", 1.0, 0);
                if (rc >= 0) rc = swr_init(s.swr);
                if (rc < 0) {
                    error = "FFmpeg cannot convert its samples: " + AvError(rc);
                    return -1;
                }
            }
        }
        const int inFrames = in ? in->nb_samples : 0;
        const int capacity = swr_get_out_samples(s.swr, inFrames) + 16;
        std::uint8_t* dst = room(capacity);
        const int got = swr_convert(
            s.swr, &dst, capacity,
            in ? const_cast<const std::uint8_t**>(in->extended_data) : nullptr, inFrames);
        if (in) av_frame_unref(in);
        if (got < 0) {
            error = "FFmpeg cannot convert its samples: " + AvError(got);
            return -1;
        }
        if (!in && got == 0) {
            s.flushed = true;
            return 0;
        }
        if (got == 0) continue;
        return got;
    }
}

long PcmStream::Read(std::vector<std::int32_t>& out, std::string& error) {
    out.clear();
    if (layout_.floats) {
        error = "the samples are floating-point";
        return -1;
    }
    State& s = *s_;
    const int outBytes = s.exact ? 4 : 8;
    const long got = Convert(
        [&](int capacity) {
            s.buffer.resize(static_cast<std::size_t>(capacity) * layout_.channels * outBytes);
            return s.buffer.data();
        },
        error);
    if (got <= 0) return got;
    const std::size_t n = static_cast<std::size_t>(got) * layout_.channels;
    out.resize(n);
    if (s.exact) {
        const auto* v = reinterpret_cast<const std::int32_t*>(s.buffer.data());
        const int shift = 32 - layout_.bits;
        for (std::size_t i = 0; i < n; ++i)
            out[i] = v[i] >> shift;
    } else {
        const auto* v = reinterpret_cast<const double*>(s.buffer.data());
        const double scale = std::ldexp(1.0, layout_.bits - 1);
        const double top = scale - 1;
        for (std::size_t i = 0; i < n; ++i) {
            // Two uniform values make triangular noise of one step either way.
            const double x = std::floor(v[i] * scale + s.noise.Next() - s.noise.Next() + 0.5);
            out[i] = static_cast<std::int32_t>(std::clamp(x, -scale, top));
        }
    }
    return got;
}

long PcmStream::Read(std::vector<float>& out, std::string& error) {
    if (!layout_.floats) {
        out.clear();
        error = "the samples are integers";
        return -1;
    }
    // The resampler writes the floats where they are read.
    const long got = Convert(
        [&](int capacity) {
            out.resize(static_cast<std::size_t>(capacity) * layout_.channels);
            return reinterpret_cast<std::uint8_t*>(out.data());
        },
        error);
    out.resize(got > 0 ? static_cast<std::size_t>(got) * layout_.channels : 0);
    return got;
}

}  // namespace orvane::library
