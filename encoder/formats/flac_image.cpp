#include "encoder/formats/flac_image.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "encoder/wave/pcm_wave.h"
#include "platform/fs/fs.h"

namespace orvane::formats {

namespace {

constexpr std::size_t kChunkFrames = 4096;
constexpr unsigned kPaddingBytes = 4096;
constexpr std::uint64_t kCdLeadInSamples = 2 * 44100;  // the two seconds before track 1

struct MetadataDeleter {
    void operator()(FLAC__StreamMetadata* m) const { FLAC__metadata_object_delete(m); }
};
using Metadata = std::unique_ptr<FLAC__StreamMetadata, MetadataDeleter>;

struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder* e) const { FLAC__stream_encoder_delete(e); }
};

struct Sink {
    fs::AtomicFile* file = nullptr;
    std::int64_t position = 0;  // libFLAC seeks back to finish the stream info
    std::string error;
    static FLAC__StreamEncoderWriteStatus OnWrite(const FLAC__StreamEncoder*,
                                                  const FLAC__byte buffer[], std::size_t bytes,
                                                  std::uint32_t, std::uint32_t, void* data) {
        auto* sink = static_cast<Sink*>(data);
        fs::Status status = sink->file->WriteAt(sink->position, buffer, bytes);
        if (!status) {
            sink->error = status.message;
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
        sink->position += static_cast<std::int64_t>(bytes);
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }
    static FLAC__StreamEncoderSeekStatus OnSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                void* data) {
        static_cast<Sink*>(data)->position = static_cast<std::int64_t>(offset);
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    }
    static FLAC__StreamEncoderTellStatus OnTell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                void* data) {
        *offset = static_cast<FLAC__uint64>(static_cast<Sink*>(data)->position);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }
};

bool BuildCueSheet(const FlacCueSheet& cue, FLAC__StreamMetadata* block, std::string& error) {
    FLAC__StreamMetadata_CueSheet& sheet = block->data.cue_sheet;
    std::memset(sheet.media_catalog_number, 0, sizeof sheet.media_catalog_number);
    std::memcpy(sheet.media_catalog_number, cue.catalog.data(),
                std::min(cue.catalog.size(), sizeof sheet.media_catalog_number - 1));
    sheet.lead_in = kCdLeadInSamples;
    sheet.is_cd = true;
    unsigned at = 0;
    for (const FlacCueTrack& t : cue.tracks) {
        if (!FLAC__metadata_object_cuesheet_insert_blank_track(block, at)) return false;
        FLAC__StreamMetadata_CueSheet_Track& track = sheet.tracks[at];
        track.offset = t.offset;
        track.number = t.number;
        std::memset(track.isrc, 0, sizeof track.isrc);
        std::memcpy(track.isrc, t.isrc.data(), std::min(t.isrc.size(), sizeof track.isrc - 1));
        track.type = t.audio ? 0 : 1;
        track.pre_emphasis = t.preemphasis ? 1 : 0;
        unsigned k = 0;
        for (const auto& [number, offset] : t.indexes) {
            if (!FLAC__metadata_object_cuesheet_track_insert_blank_index(block, at, k))
                return false;
            sheet.tracks[at].indices[k].number = number;
            sheet.tracks[at].indices[k].offset = offset;
            ++k;
        }
        ++at;
    }
    // The lead-out: track 170 at the end of the audio, without index points.
    if (!FLAC__metadata_object_cuesheet_insert_blank_track(block, at)) return false;
    sheet.tracks[at].offset = cue.leadOut;
    sheet.tracks[at].number = 170;
    const char* violation = nullptr;
    if (!FLAC__metadata_object_cuesheet_is_legal(block, true, &violation)) {
        error = std::string("The image's cue sheet cannot be stored in the FLAC file: ") +
                (violation ? violation : "refused");
        return false;
    }
    return true;
}

}  // namespace

namespace {

// Encodes the CD audio WAVE file wavePath into outPath with these metadata blocks, the file
// written whole or not at all.
bool EncodeWave(const std::string& wavePath, const std::string& outPath,
                std::vector<FLAC__StreamMetadata*> blocks, int level,
                const fs::WriteOptions& options, std::string& error) {
    wave::OpenPcmWave input;
    if (!input.Open(wavePath, error)) return false;
    const int fd = input.Fd();
    const wave::PcmWave& wave = input.Wave();
    if (wave.channels != 2 || wave.bits != 16 || wave.sampleRate != 44100) {
        error = "The disc image is not CD audio";
        return false;
    }
    std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> enc(FLAC__stream_encoder_new());
    if (!enc) {
        error = "The FLAC encoder could not be made";
        return false;
    }
    FLAC__stream_encoder_set_channels(enc.get(), 2);
    FLAC__stream_encoder_set_bits_per_sample(enc.get(), 16);
    FLAC__stream_encoder_set_sample_rate(enc.get(), 44100);
    FLAC__stream_encoder_set_compression_level(enc.get(), static_cast<unsigned>(level));
    FLAC__stream_encoder_set_total_samples_estimate(enc.get(),
                                                    static_cast<FLAC__uint64>(wave.frames));
    FLAC__stream_encoder_set_metadata(enc.get(), blocks.data(),
                                      static_cast<std::uint32_t>(blocks.size()));

    fs::AtomicFile file;
    fs::Status status = file.Open(outPath, options);
    if (!status) {
        error = status.message;
        return false;
    }
    Sink sink;
    sink.file = &file;
    if (FLAC__stream_encoder_init_stream(enc.get(), &Sink::OnWrite, &Sink::OnSeek, &Sink::OnTell,
                                         nullptr, &sink) != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        error = "The FLAC encoder could not be started";
        return false;
    }
    std::vector<std::int32_t> samples;
    for (std::int64_t at = 0; at < wave.frames;) {
        const auto want =
            static_cast<std::size_t>(std::min<std::int64_t>(kChunkFrames, wave.frames - at));
        const long got = wave::ReadFrames(fd, wave, at, want, samples);
        if (got <= 0) {
            error = "Cannot read the disc image " + wavePath + ": " + std::strerror(errno);
            return false;
        }
        if (!FLAC__stream_encoder_process_interleaved(enc.get(), samples.data(),
                                                      static_cast<unsigned>(got))) {
            error = sink.error.empty() ? FLAC__stream_encoder_get_resolved_state_string(enc.get())
                                       : "Cannot write " + outPath + ": " + sink.error;
            return false;
        }
        at += got;
    }
    if (!FLAC__stream_encoder_finish(enc.get())) {
        error = sink.error.empty() ? FLAC__stream_encoder_get_resolved_state_string(enc.get())
                                   : "Cannot write " + outPath + ": " + sink.error;
        return false;
    }
    status = file.Commit();
    if (!status) {
        error = status.message;
        return false;
    }
    return true;
}

struct ChainDeleter {
    void operator()(FLAC__Metadata_Chain* c) const { FLAC__metadata_chain_delete(c); }
};
struct IteratorDeleter {
    void operator()(FLAC__Metadata_Iterator* i) const { FLAC__metadata_iterator_delete(i); }
};

}  // namespace

bool WriteFlacImage(const std::string& wavePath, const std::string& outPath,
                    const FlacCueSheet& cue, const VorbisComments& comments, int level,
                    std::string& error) {
    Metadata cueBlock(FLAC__metadata_object_new(FLAC__METADATA_TYPE_CUESHEET));
    Metadata tagBlock(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
    Metadata padding(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
    if (!cueBlock || !tagBlock || !padding) {
        error = "Out of memory";
        return false;
    }
    if (!BuildCueSheet(cue, cueBlock.get(), error)) {
        if (error.empty()) error = "Out of memory";
        return false;
    }
    for (const auto& [name, value] : comments) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name.c_str(),
                                                                            value.c_str()) ||
            !FLAC__metadata_object_vorbiscomment_append_comment(tagBlock.get(), entry, false)) {
            error = "The tag's " + name + " cannot be written";
            return false;
        }
    }
    padding->length = kPaddingBytes;
    return EncodeWave(wavePath, outPath, {tagBlock.get(), cueBlock.get(), padding.get()}, level, {},
                      error);
}

bool ReencodeFlac(const std::string& original, const std::string& wavePath,
                  const std::string& outPath, int level, std::string& error) {
    std::unique_ptr<FLAC__Metadata_Chain, ChainDeleter> chain(FLAC__metadata_chain_new());
    std::unique_ptr<FLAC__Metadata_Iterator, IteratorDeleter> it(FLAC__metadata_iterator_new());
    if (!chain || !it) {
        error = "Out of memory";
        return false;
    }
    if (!FLAC__metadata_chain_read(chain.get(), original.c_str())) {
        error = original + ": " +
                FLAC__Metadata_ChainStatusString[FLAC__metadata_chain_status(chain.get())];
        return false;
    }
    // Every block but those of the stream itself, which the encoder writes anew.
    std::vector<Metadata> kept;
    FLAC__metadata_iterator_init(it.get(), chain.get());
    do {
        const FLAC__MetadataType type = FLAC__metadata_iterator_get_block_type(it.get());
        if (type == FLAC__METADATA_TYPE_STREAMINFO || type == FLAC__METADATA_TYPE_SEEKTABLE)
            continue;
        Metadata copy(FLAC__metadata_object_clone(FLAC__metadata_iterator_get_block(it.get())));
        if (!copy) {
            error = "Out of memory";
            return false;
        }
        kept.push_back(std::move(copy));
    } while (FLAC__metadata_iterator_next(it.get()));
    std::vector<FLAC__StreamMetadata*> blocks;
    for (const Metadata& m : kept)
        blocks.push_back(m.get());
    fs::WriteOptions fresh;
    fresh.mustBeNew = true;
    return EncodeWave(wavePath, outPath, std::move(blocks), level, fresh, error);
}

}  // namespace orvane::formats
