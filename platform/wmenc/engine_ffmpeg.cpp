// The encoding run over FFmpeg, in the shared object the programs load only when they encode
// (its libraries are many and slow to load).
#include "platform/wmenc/engine_module.h"

#include <unistd.h>

#include <algorithm>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace orvane::wmenc {

namespace {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The container pads every data packet to one fixed size. A packet is sized to hold a whole
// number of the codec's blocks (each a payload of its own) with nothing left over, so a file's
// bit rate stays within its headers' share of the codec's. The byte counts are the container
// writer's: a packet header of 11 bytes, plus a payload count byte and 17 bytes for each
// payload when a packet holds several; 26 bytes in all for a packet of one payload.
int PacketSizeFor(int blockBytes) {
    constexpr int kPacketHeader = 11 + 1, kPayloadHeader = 17, kSinglePayloadHeaders = 26;
    // Packets no larger than the container's usual size keep seeking as fine as it was; at
    // most 63 payloads fit the count's six bits.
    constexpr int kUsualPacket = 3200, kMaxPayloads = 63;
    if (blockBytes <= 0) return kUsualPacket;
    const int perPacket =
        std::clamp((kUsualPacket - kPacketHeader) / (blockBytes + kPayloadHeader), 1, kMaxPayloads);
    if (perPacket == 1) return blockBytes + kSinglePayloadHeaders;
    return kPacketHeader + perPacket * (blockBytes + kPayloadHeader);
}

}  // namespace

struct FfmpegSession::Impl {
    AVFormatContext* in = nullptr;
    AVCodecContext* decoder = nullptr;
    int streamIndex = -1;
    int frameBytes = 0;  // bytes of one sample frame of the input (all its channels)
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVCodecContext* encoder = nullptr;
    AVFormatContext* out = nullptr;
    AVStream* outStream = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* decoded = nullptr;
    AVFrame* frame = nullptr;
    std::string outputPath;
    bool headerWritten = false;
    bool finished = false;
    bool inputEnded = false;
    std::int64_t inputSamples = 0;  // samples of the input consumed
    int inputRate = 0;
    std::int64_t nextPts = 0;  // in output samples

    ~Impl() { Close(); }

    // Converted samples of one decoded frame (nullptr: the converter's tail) into the queue.
    int Convert(const AVFrame* source) {
        int inSamples = source ? source->nb_samples : 0;
        int room = swr_get_out_samples(swr, inSamples);
        if (room <= 0) return room;
        AVFrame* tmp = av_frame_alloc();
        if (!tmp) return AVERROR(ENOMEM);
        tmp->nb_samples = room;
        tmp->format = encoder->sample_fmt;
        int r = av_channel_layout_copy(&tmp->ch_layout, &encoder->ch_layout);
        if (r >= 0) r = av_frame_get_buffer(tmp, 0);
        if (r >= 0) {
            r = swr_convert(
                swr, tmp->data, room,
                source ? const_cast<const std::uint8_t**>(source->extended_data) : nullptr,
                inSamples);
            if (r > 0 && av_audio_fifo_write(fifo, reinterpret_cast<void**>(tmp->data), r) != r)
                r = AVERROR(ENOMEM);
        }
        av_frame_free(&tmp);
        return r < 0 ? r : 0;
    }

    // Encodes the queued samples in codec frames; the last short frame too when all is set.
    int EncodeQueued(bool all, EngineProgress& progress) {
        const int size = encoder->frame_size;
        while (av_audio_fifo_size(fifo) >= size || (all && av_audio_fifo_size(fifo) > 0)) {
            int n = std::min(av_audio_fifo_size(fifo), size);
            av_frame_unref(frame);
            frame->nb_samples = n;
            frame->format = encoder->sample_fmt;
            frame->sample_rate = encoder->sample_rate;
            if (av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout) < 0 ||
                av_frame_get_buffer(frame, 0) < 0)
                return AVERROR(ENOMEM);
            if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data), n) != n)
                return AVERROR(EIO);
            frame->pts = nextPts;
            nextPts += n;
            int r = Write(frame, progress);
            if (r < 0) return r;
        }
        return 0;
    }

    // Sends a frame (nullptr: drain) to the codec and writes every packet it has ready.
    int Write(AVFrame* f, EngineProgress& progress) {
        int r = avcodec_send_frame(encoder, f);
        if (r < 0 && r != AVERROR_EOF) return r;
        for (;;) {
            r = avcodec_receive_packet(encoder, packet);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 0;
            if (r < 0) return r;
            progress.payloadBits += static_cast<std::int64_t>(packet->size) * 8;
            if (packet->pts != AV_NOPTS_VALUE && packet->duration > 0)
                progress.payloadMs = av_rescale_q(packet->pts + packet->duration,
                                                  encoder->time_base, AVRational{1, 1000});
            av_packet_rescale_ts(packet, encoder->time_base, outStream->time_base);
            packet->stream_index = outStream->index;
            r = av_interleaved_write_frame(out, packet);
            if (r < 0) return r;
            progress.fileBytes = avio_tell(out->pb);
        }
    }

    void Close() {
        if (out) {
            if (out->pb) avio_closep(&out->pb);
            avformat_free_context(out);
            out = nullptr;
        }
        avcodec_free_context(&encoder);
        avcodec_free_context(&decoder);
        if (in) avformat_close_input(&in);
        swr_free(&swr);
        if (fifo) {
            av_audio_fifo_free(fifo);
            fifo = nullptr;
        }
        av_packet_free(&packet);
        av_frame_free(&decoded);
        av_frame_free(&frame);
    }
};

FfmpegSession::FfmpegSession(EngineProgress& progress)
    : impl_(std::make_unique<Impl>()), progress_(progress) {
    // Failures reach the caller as descriptions; the libraries' own log stays quiet.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
}

FfmpegSession::~FfmpegSession() = default;

bool FfmpegSession::Open(const EngineSettings& s, std::string* error) {
    Impl& m = *impl_;
    auto fail = [&](const std::string& text) {
        *error = text;
        Abandon();
        return false;
    };
    // Input: a WAVE file.
    const AVInputFormat* wav = av_find_input_format("wav");
    if (avformat_open_input(&m.in, s.input.c_str(), wav, nullptr) < 0) {
        m.in = nullptr;
        return fail("The input file cannot be opened as a WAVE file.");
    }
    for (unsigned i = 0; i < m.in->nb_streams; ++i)
        if (m.in->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            m.streamIndex = static_cast<int>(i);
            break;
        }
    if (m.streamIndex < 0) return fail("The input file has no audio.");
    const AVCodecParameters* par = m.in->streams[m.streamIndex]->codecpar;
    if (par->ch_layout.nb_channels < 1 || par->sample_rate < 1)
        return fail("The input file names no channels or no sample rate.");
    const AVCodec* decoderCodec = avcodec_find_decoder(par->codec_id);
    if (!decoderCodec) return fail("The input file's sample format is not supported.");
    m.decoder = avcodec_alloc_context3(decoderCodec);
    if (!m.decoder || avcodec_parameters_to_context(m.decoder, par) < 0 ||
        avcodec_open2(m.decoder, decoderCodec, nullptr) < 0)
        return fail("The input file's samples cannot be decoded.");
    if (m.decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&m.decoder->ch_layout, m.decoder->ch_layout.nb_channels);
    m.inputRate = m.decoder->sample_rate;
    const int sampleBits = av_get_bits_per_sample(par->codec_id);
    m.frameBytes = sampleBits > 0 && sampleBits % 8 == 0
                       ? sampleBits / 8 * par->ch_layout.nb_channels
                       : par->block_align;

    // Codec.
    const AVCodec* wma = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!wma) return fail("The Windows Media Audio codec is not available.");
    m.encoder = avcodec_alloc_context3(wma);
    if (!m.encoder) return fail("Out of memory.");
    m.encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m.encoder->sample_rate = static_cast<int>(s.profile.sampleRate);
    av_channel_layout_default(&m.encoder->ch_layout, static_cast<int>(s.profile.channels));
    m.encoder->bit_rate = s.profile.bitrate;
    m.encoder->time_base = AVRational{1, m.encoder->sample_rate};

    // Output container.
    if (avformat_alloc_output_context2(&m.out, nullptr, "asf", s.output.c_str()) < 0 || !m.out) {
        m.out = nullptr;
        return fail("The output format is not available.");
    }
    if (m.out->oformat->flags & AVFMT_GLOBALHEADER) m.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(m.encoder, wma, nullptr);
    if (r < 0) return fail("The profile's settings are not accepted by the codec: " + AvError(r));

    // Conversion to the profile's rate and channels.
    if (swr_alloc_set_opts2(&m.swr, &m.encoder->ch_layout, m.encoder->sample_fmt,
                            m.encoder->sample_rate, &m.decoder->ch_layout, m.decoder->sample_fmt,
                            m.decoder->sample_rate, 0, nullptr) < 0 ||
        swr_init(m.swr) < 0)
        return fail("The input cannot be converted to the profile's format.");
    m.fifo = av_audio_fifo_alloc(m.encoder->sample_fmt, m.encoder->ch_layout.nb_channels,
                                 m.encoder->frame_size > 0 ? m.encoder->frame_size : 4096);
    m.packet = av_packet_alloc();
    m.decoded = av_frame_alloc();
    m.frame = av_frame_alloc();
    if (!m.fifo || !m.packet || !m.decoded || !m.frame) return fail("Out of memory.");

    m.outStream = avformat_new_stream(m.out, nullptr);
    if (!m.outStream || avcodec_parameters_from_context(m.outStream->codecpar, m.encoder) < 0)
        return fail("Out of memory.");
    m.outStream->time_base = m.encoder->time_base;
    const std::pair<const char*, const std::string*> texts[] = {{"title", &s.texts.title},
                                                                {"author", &s.texts.author},
                                                                {"copyright", &s.texts.copyright},
                                                                {"rating", &s.texts.rating},
                                                                {"comment", &s.texts.description}};
    for (const auto& [key, value] : texts)
        if (!value->empty()) av_dict_set(&m.out->metadata, key, value->c_str(), 0);
    for (const auto& [name, value] : s.attributes)
        if (!value.empty()) av_dict_set(&m.out->metadata, name.c_str(), value.c_str(), 0);
    // No program name in the file: the texts are the user's.
    m.out->flags |= AVFMT_FLAG_BITEXACT;
    m.outputPath = s.output;
    r = avio_open(&m.out->pb, s.output.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
        m.out->pb = nullptr;
        m.outputPath.clear();  // nothing of ours to remove
        return fail("The output file cannot be created: " + AvError(r));
    }
    AVDictionary* muxerOptions = nullptr;
    av_dict_set_int(&muxerOptions, "packet_size", PacketSizeFor(m.encoder->block_align), 0);
    r = avformat_write_header(m.out, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (r < 0) return fail("The output file's header cannot be written: " + AvError(r));
    m.headerWritten = true;
    progress_.fileBytes = avio_tell(m.out->pb);
    return true;
}

FfmpegSession::Step FfmpegSession::Next(std::string* error) {
    Impl& m = *impl_;
    if (!m.headerWritten || m.finished) return Step::End;
    int r = 0;
    if (!m.inputEnded) {
        r = av_read_frame(m.in, m.packet);
        if (r == AVERROR_EOF || (r < 0 && avio_feof(m.in->pb))) {
            m.inputEnded = true;
            avcodec_send_packet(m.decoder, nullptr);
        } else if (r < 0) {
            *error = "The input file cannot be read: " + AvError(r);
            return Step::Failed;
        } else {
            bool ours = m.packet->stream_index == m.streamIndex;
            // A recording cut short ends inside a sample frame: its whole frames are encoded,
            // the partial one is left out (the sample decoder refuses a packet shorter than a
            // frame).
            if (ours && m.frameBytes > 1) m.packet->size -= m.packet->size % m.frameBytes;
            r = ours && m.packet->size > 0 ? avcodec_send_packet(m.decoder, m.packet) : 0;
            av_packet_unref(m.packet);
            if (r < 0) {
                *error = "The input file's samples cannot be decoded: " + AvError(r);
                return Step::Failed;
            }
        }
    }
    for (;;) {
        r = avcodec_receive_frame(m.decoder, m.decoded);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
        if (r < 0) {
            *error = "The input file's samples cannot be decoded: " + AvError(r);
            return Step::Failed;
        }
        m.inputSamples += m.decoded->nb_samples;
        r = m.Convert(m.decoded);
        av_frame_unref(m.decoded);
        if (r >= 0) r = m.EncodeQueued(false, progress_);
        if (r < 0) {
            *error = "Encoding failed: " + AvError(r);
            return Step::Failed;
        }
    }
    progress_.encodedMs = m.inputSamples * 1000 / m.inputRate;
    return m.inputEnded ? Step::End : Step::More;
}

bool FfmpegSession::Finish(std::string* error) {
    Impl& m = *impl_;
    if (!m.headerWritten) {
        *error = "Nothing was prepared.";
        return false;
    }
    if (m.finished) return true;
    m.finished = true;
    // The converter's tail, the queue with its last short frame, then the codec's own tail.
    int r = 0;
    while (r >= 0 && swr_get_out_samples(m.swr, 0) > 0) {
        int before = av_audio_fifo_size(m.fifo);
        r = m.Convert(nullptr);
        if (av_audio_fifo_size(m.fifo) == before) break;
    }
    if (r >= 0) r = m.EncodeQueued(true, progress_);
    if (r >= 0) r = m.Write(nullptr, progress_);
    if (r >= 0) r = av_write_trailer(m.out);
    if (r >= 0) {
        progress_.fileBytes = avio_tell(m.out->pb);
        r = avio_closep(&m.out->pb);
    }
    if (r < 0) {
        *error = "The output file cannot be finished: " + AvError(r);
        Abandon();
        return false;
    }
    avformat_free_context(m.out);
    m.out = nullptr;
    m.Close();
    return true;
}

void FfmpegSession::Abandon() {
    Impl& m = *impl_;
    m.Close();
    if (!m.outputPath.empty()) ::unlink(m.outputPath.c_str());
    m.outputPath.clear();
    m.headerWritten = false;
}

namespace {

EngineHandle* Create(EngineProgress* progress) {
    return reinterpret_cast<EngineHandle*>(new FfmpegSession(*progress));
}
FfmpegSession& Of(EngineHandle* h) { return *reinterpret_cast<FfmpegSession*>(h); }
void Destroy(EngineHandle* h) { delete &Of(h); }
bool Open(EngineHandle* h, const EngineSettings& s, std::string* error) {
    return Of(h).Open(s, error);
}
int Next(EngineHandle* h, std::string* error) { return static_cast<int>(Of(h).Next(error)); }
bool Finish(EngineHandle* h, std::string* error) { return Of(h).Finish(error); }
void Abandon(EngineHandle* h) { Of(h).Abandon(); }

constexpr EngineApi kApi = {kEngineApiVersion, Create, Destroy, Open, Next, Finish, Abandon};

}  // namespace

}  // namespace orvane::wmenc

extern "C" __attribute__((visibility("default"))) const orvane::wmenc::EngineApi*
OrvaneWmencEngine() {
    return &orvane::wmenc::kApi;
}
