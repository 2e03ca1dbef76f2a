// The FLAC job: libFLAC's encoder writes each file through the job's temporary output, with the
// audio's MD5 in the stream info, a seek point every ten seconds, the tag as Vorbis comments
// and room to add the loudness values later without moving the audio.
#include "encoder/formats/flac_job.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "encoder/formats/format_job.h"

namespace orvane::formats {

namespace {

constexpr unsigned kSeekSpacingSeconds = 10;
constexpr unsigned kPaddingBytes = 4096;
constexpr std::size_t kWriteBytes = 256 * 1024;

struct MetadataDeleter {
    void operator()(FLAC__StreamMetadata* m) const { FLAC__metadata_object_delete(m); }
};
using Metadata = std::unique_ptr<FLAC__StreamMetadata, MetadataDeleter>;

bool AppendComment(FLAC__StreamMetadata* block, const std::string& name, const std::string& value,
                   bool replace) {
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name.c_str(),
                                                                        value.c_str()))
        return false;
    // The entry's bytes pass to the block (copy false), also when it is refused.
    return replace ? FLAC__metadata_object_vorbiscomment_replace_comment(block, entry, true, false)
                   : FLAC__metadata_object_vorbiscomment_append_comment(block, entry, false);
}

// A front cover (type 3) as it is, with its size and depth.
bool FillPictureBlock(FLAC__StreamMetadata* block, const tags::Picture& p) {
    block->data.picture.type = FLAC__STREAM_METADATA_PICTURE_TYPE_FRONT_COVER;
    block->data.picture.width = static_cast<FLAC__uint32>(p.width);
    block->data.picture.height = static_cast<FLAC__uint32>(p.height);
    block->data.picture.depth = static_cast<FLAC__uint32>(p.depth);
    block->data.picture.colors = 0;
    std::string mime = p.mime, description = p.description;
    std::vector<FLAC__byte> data(p.bytes.begin(), p.bytes.end());
    return FLAC__metadata_object_picture_set_mime_type(block, mime.data(), true) &&
           FLAC__metadata_object_picture_set_description(
               block, reinterpret_cast<FLAC__byte*>(description.data()), true) &&
           FLAC__metadata_object_picture_set_data(block, data.data(),
                                                  static_cast<FLAC__uint32>(data.size()), true);
}

class FlacEncoder : public FormatEncoder {
public:
    explicit FlacEncoder(int level) : level_(level) {}
    ~FlacEncoder() override {
        if (enc_) FLAC__stream_encoder_delete(enc_);
    }

    std::string Accepts(const PcmWave& wave, std::string& log) const override {
        if (wave.channels > 8)
            return "Error: FLAC holds at most 8 channels, the WAV file has " +
                   std::to_string(wave.channels);
        if (!FLAC__format_sample_rate_is_valid(wave.sampleRate))
            return "Error: FLAC cannot hold a sample rate of " + std::to_string(wave.sampleRate) +
                   " Hz";
        // FLAC holds every other WAVE format this job reads as it is, sample for sample.
        if (wave.channels != 2 || wave.sampleRate != 44100 || wave.bits != 16)
            log = "The samples are stored as they are: FLAC holds this format without a change";
        return {};
    }

    bool Begin(const PcmWave& wave, const VorbisComments& comments, fs::AtomicFile& out,
               std::string& error) override {
        out_ = &out;
        channels_ = wave.channels;
        enc_ = FLAC__stream_encoder_new();
        if (!enc_) {
            error = "The FLAC encoder could not be made";
            return false;
        }
        FLAC__stream_encoder_set_channels(enc_, static_cast<unsigned>(wave.channels));
        FLAC__stream_encoder_set_bits_per_sample(enc_, static_cast<unsigned>(wave.bits));
        FLAC__stream_encoder_set_sample_rate(enc_, wave.sampleRate);
        FLAC__stream_encoder_set_compression_level(enc_, static_cast<unsigned>(level_));
        FLAC__stream_encoder_set_total_samples_estimate(enc_,
                                                        static_cast<FLAC__uint64>(wave.frames));
        // Rates above 48 kHz and 32-bit samples are outside the streamable subset.
        FLAC__stream_encoder_set_streamable_subset(enc_,
                                                   wave.sampleRate <= 48000 && wave.bits <= 24);

        comments_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
        seekTable_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE));
        padding_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
        if (!comments_ || !seekTable_ || !padding_) {
            error = "Out of memory";
            return false;
        }
        for (const auto& [name, value] : comments)
            if (!AppendComment(comments_.get(), name, value, false)) {
                error = "The tag's " + name + " cannot be written";
                return false;
            }
        std::vector<FLAC__StreamMetadata*> blocks;
        if (wave.frames > 0) {
            FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
                seekTable_.get(), kSeekSpacingSeconds * wave.sampleRate,
                static_cast<FLAC__uint64>(wave.frames));
            FLAC__metadata_object_seektable_template_sort(seekTable_.get(), true);
            blocks.push_back(seekTable_.get());
        }
        blocks.push_back(comments_.get());
        if (picture_) {
            pictureBlock_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PICTURE));
            if (!pictureBlock_ || !FillPictureBlock(pictureBlock_.get(), *picture_)) {
                error = "The front picture cannot be written";
                return false;
            }
            blocks.push_back(pictureBlock_.get());
        }
        padding_->length = kPaddingBytes;
        blocks.push_back(padding_.get());
        FLAC__stream_encoder_set_metadata(enc_, blocks.data(),
                                          static_cast<unsigned>(blocks.size()));

        FLAC__StreamEncoderInitStatus init = FLAC__stream_encoder_init_stream(
            enc_, &FlacEncoder::OnWrite, &FlacEncoder::OnSeek, &FlacEncoder::OnTell, nullptr, this);
        if (init != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            error = ErrorText(FLAC__StreamEncoderInitStatusString[init]);
            return false;
        }
        return true;
    }

    bool Write(const std::int32_t* samples, std::size_t frames, std::string& error) override {
        if (FLAC__stream_encoder_process_interleaved(enc_, samples, static_cast<unsigned>(frames)))
            return true;
        error = ErrorText(FLAC__stream_encoder_get_resolved_state_string(enc_));
        return false;
    }

    bool End(std::string& error) override {
        if (FLAC__stream_encoder_finish(enc_) && Flush()) return true;
        error = ErrorText(FLAC__stream_encoder_get_resolved_state_string(enc_));
        return false;
    }

    bool Check(const std::string& path, std::string& log, std::string& error) override {
        Checker checker;
        FLAC__StreamDecoder* dec = FLAC__stream_decoder_new();
        if (!dec) {
            error = "The FLAC decoder could not be made";
            return false;
        }
        FLAC__stream_decoder_set_md5_checking(dec, true);
        bool ok = FLAC__stream_decoder_init_file(dec, path.c_str(), &Checker::OnFrame,
                                                 &Checker::OnMetadata, &Checker::OnError,
                                                 &checker) == FLAC__STREAM_DECODER_INIT_STATUS_OK;
        ok = ok && FLAC__stream_decoder_process_until_end_of_stream(dec);
        // finish compares the decoded audio's MD5 with the one in the stream info.
        const bool md5 = FLAC__stream_decoder_finish(dec);
        FLAC__stream_decoder_delete(dec);
        if (!ok || checker.errors > 0) {
            error = "The written FLAC file does not decode";
            return false;
        }
        if (!md5 || checker.frames != checker.expected) {
            error = "The written FLAC file does not decode to its input";
            return false;
        }
        log = "Verified: the FLAC file decodes to its input";
        return true;
    }

    bool Retag(const std::string& path, const VorbisComments& comments,
               std::string& error) override {
        FLAC__Metadata_Chain* chain = FLAC__metadata_chain_new();
        if (!chain || !FLAC__metadata_chain_read(chain, path.c_str())) {
            error = "Cannot read the FLAC file " + path;
            if (chain) FLAC__metadata_chain_delete(chain);
            return false;
        }
        FLAC__Metadata_Iterator* it = FLAC__metadata_iterator_new();
        FLAC__metadata_iterator_init(it, chain);
        FLAC__StreamMetadata* block = nullptr;
        do {
            FLAC__StreamMetadata* b = FLAC__metadata_iterator_get_block(it);
            if (b->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) block = b;
        } while (!block && FLAC__metadata_iterator_next(it));
        FLAC__metadata_iterator_delete(it);
        bool ok = block != nullptr;
        for (const auto& [name, value] : comments)
            ok = ok && AppendComment(block, name, value, true);
        // The comments grow into the padding left for them, so the file is changed in place.
        ok = ok && FLAC__metadata_chain_check_if_tempfile_needed(chain, true) == false &&
             FLAC__metadata_chain_write(chain, true, false);
        if (!ok)
            error = "Cannot write the tags of " + path + ": " +
                    FLAC__Metadata_ChainStatusString[FLAC__metadata_chain_status(chain)];
        FLAC__metadata_chain_delete(chain);
        return ok;
    }

private:
    struct Checker {
        FLAC__uint64 frames = 0, expected = 0;
        int errors = 0;
        static FLAC__StreamDecoderWriteStatus OnFrame(const FLAC__StreamDecoder*,
                                                      const FLAC__Frame* frame,
                                                      const FLAC__int32* const[], void* data) {
            static_cast<Checker*>(data)->frames += frame->header.blocksize;
            return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        }
        static void OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* m,
                               void* data) {
            if (m->type == FLAC__METADATA_TYPE_STREAMINFO)
                static_cast<Checker*>(data)->expected = m->data.stream_info.total_samples;
        }
        static void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus,
                            void* data) {
            ++static_cast<Checker*>(data)->errors;
        }
    };

    // A write that failed names its file and reason; else libFLAC's state says what went wrong.
    std::string ErrorText(const char* state) const {
        return writeError_.empty() ? std::string("FLAC encoder: ") + state : writeError_;
    }

    static FLAC__StreamEncoderWriteStatus OnWrite(const FLAC__StreamEncoder*,
                                                  const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                  uint32_t, void* data) {
        auto* self = static_cast<FlacEncoder*>(data);
        if (!self->writeError_.empty()) return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        // The frames are gathered into larger writes; the header rewritten at the end comes
        // after a seek, which writes out what was gathered first.
        self->pending_.append(reinterpret_cast<const char*>(buffer), bytes);
        self->position_ += static_cast<std::int64_t>(bytes);
        if (self->pending_.size() >= kWriteBytes && !self->Flush())
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }
    static FLAC__StreamEncoderSeekStatus OnSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                void* data) {
        auto* self = static_cast<FlacEncoder*>(data);
        if (!self->Flush()) return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        self->position_ = self->pendingAt_ = static_cast<std::int64_t>(offset);
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    }
    bool Flush() {
        if (!writeError_.empty()) return false;
        if (pending_.empty()) return true;
        fs::Status status = out_->WriteAt(pendingAt_, pending_.data(), pending_.size());
        pendingAt_ += static_cast<std::int64_t>(pending_.size());
        pending_.clear();
        if (!status) writeError_ = status.message;
        return status.ok();
    }
    static FLAC__StreamEncoderTellStatus OnTell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                void* data) {
        *offset = static_cast<FLAC__uint64>(static_cast<FlacEncoder*>(data)->position_);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    int level_;
    int channels_ = 0;
    FLAC__StreamEncoder* enc_ = nullptr;
    fs::AtomicFile* out_ = nullptr;
    std::int64_t position_ = 0;   // where the encoder writes next
    std::int64_t pendingAt_ = 0;  // where the gathered bytes go
    std::string pending_;
    std::string writeError_;
    Metadata comments_, seekTable_, padding_, pictureBlock_;
};

class FlacJob : public FormatJob {
public:
    explicit FlacJob(fs::FileOps* ops) : FormatJob(encoder::JobKind::EncodeFlac, ops) {}

protected:
    std::unique_ptr<FormatEncoder> MakeEncoder(const encoder::JobRequest& request) override {
        return std::make_unique<FlacEncoder>(
            std::clamp(request.formats.flacLevel, kFlacLevelMin, kFlacLevelMax));
    }
};

}  // namespace

std::unique_ptr<encoder::Job> MakeFlacJob(fs::FileOps* ops) {
    return std::make_unique<FlacJob>(ops);
}

void RegisterFlacJob() {
    encoder::RegisterKind(
        encoder::JobKind::EncodeFlac, [](const encoder::JobRequest&) { return MakeFlacJob(); },
        FormatBatch(encoder::JobKind::EncodeFlac,
                    [] { return std::make_unique<FlacJob>(nullptr); }));
}

}  // namespace orvane::formats
