#include "encoder/formats/ogg_opus.h"

#include <opus/opus.h>
#include <opus/opus_multistream.h>

#include <algorithm>
#include <array>

namespace orvane::formats {

namespace {

constexpr int kFrame = 960;                  // 20 ms at 48 kHz
constexpr std::int64_t kPageFrames = 48000;  // a page holds up to a second
constexpr std::size_t kMaxSegments = 255;

void PutLe(std::vector<unsigned char>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void PutText(std::vector<unsigned char>& out, const std::string& s) {
    PutLe(out, s.size(), 4);
    out.insert(out.end(), s.begin(), s.end());
}

// The lacing values of a packet of size bytes.
void Lace(std::vector<unsigned char>& lacing, std::size_t size) {
    lacing.insert(lacing.end(), size / 255, 255);
    lacing.push_back(static_cast<unsigned char>(size % 255));
}

}  // namespace

std::uint32_t OggCrc(const unsigned char* data, std::size_t bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k)
                r = r & 0x80000000u ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFF];
    return crc;
}

// One plain encoder for mono and stereo, a multistream one for the surround layouts.
struct OggOpusStream::Encoder {
    OpusEncoder* plain = nullptr;
    OpusMSEncoder* multi = nullptr;

    ~Encoder() {
        if (plain) opus_encoder_destroy(plain);
        if (multi) opus_multistream_encoder_destroy(multi);
    }
    template <typename... Args>
    int Ctl(int request, Args... args) {
        return plain ? opus_encoder_ctl(plain, request, args...)
                     : opus_multistream_encoder_ctl(multi, request, args...);
    }
    int Encode(const float* pcm, unsigned char* out, int room) {
        return plain ? opus_encode_float(plain, pcm, kFrame, out, room)
                     : opus_multistream_encode_float(multi, pcm, kFrame, out, room);
    }
};

OggOpusStream::OggOpusStream() = default;
OggOpusStream::~OggOpusStream() = default;

bool OggOpusStream::Begin(const Settings& s, Sink sink, std::string& error) {
    if (s.channels < 1 || s.channels > 8) {
        error = "Opus files of this program hold 1 to 8 channels";
        return false;
    }
    sink_ = std::move(sink);
    channels_ = s.channels;
    serial_ = s.serial;
    encoder_ = std::make_unique<Encoder>();
    int status = OPUS_OK;
    unsigned char mapping[8] = {};
    int streams = 1, coupled = s.channels - 1;
    if (s.channels <= 2) {
        encoder_->plain = opus_encoder_create(48000, s.channels, OPUS_APPLICATION_AUDIO, &status);
    } else {
        encoder_->multi = opus_multistream_surround_encoder_create(
            48000, s.channels, 1, &streams, &coupled, mapping, OPUS_APPLICATION_AUDIO, &status);
    }
    if (status != OPUS_OK || (!encoder_->plain && !encoder_->multi)) {
        error = std::string("Opus encoder: ") + opus_strerror(status);
        return false;
    }
    encoder_->Ctl(OPUS_SET_BITRATE_REQUEST, static_cast<opus_int32>(s.bitrate));
    opus_int32 lookahead = 0;
    encoder_->Ctl(OPUS_GET_LOOKAHEAD_REQUEST, &lookahead);
    preSkip_ = static_cast<int>(lookahead);
    frame_.assign(static_cast<std::size_t>(kFrame) * s.channels, 0.0f);
    packet_.resize(4000 * static_cast<std::size_t>(s.channels));

    std::vector<unsigned char> head = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1};
    head.push_back(static_cast<unsigned char>(s.channels));
    PutLe(head, static_cast<std::uint64_t>(preSkip_), 2);
    PutLe(head, s.inputRate, 4);
    PutLe(head, 0, 2);  // output gain
    head.push_back(s.channels > 2 ? 1 : 0);
    if (s.channels > 2) {
        head.push_back(static_cast<unsigned char>(streams));
        head.push_back(static_cast<unsigned char>(coupled));
        head.insert(head.end(), mapping, mapping + s.channels);
    }
    std::vector<unsigned char> lacing;
    Lace(lacing, head.size());
    if (!WritePage(head.data(), lacing, head.size(), 0x02, 0, error)) return false;

    std::vector<unsigned char> tags = {'O', 'p', 'u', 's', 'T', 'a', 'g', 's'};
    PutText(tags, opus_get_version_string());
    PutLe(tags, s.comments.size(), 4);
    for (const auto& [name, value] : s.comments)
        PutText(tags, name + "=" + value);
    tags.insert(tags.end(), s.commentRoom, 0);
    // The comment header starts a page and ends one; a long one (a picture) runs over several,
    // each of 255 segments but the last.
    lacing.clear();
    Lace(lacing, tags.size());
    std::size_t at = 0, segment = 0;
    for (bool first = true; segment < lacing.size(); first = false) {
        const std::size_t count = std::min(kMaxSegments, lacing.size() - segment);
        std::vector<unsigned char> part(
            lacing.begin() + static_cast<std::ptrdiff_t>(segment),
            lacing.begin() + static_cast<std::ptrdiff_t>(segment + count));
        std::size_t bytes = 0;
        for (unsigned char v : part)
            bytes += v;
        if (!WritePage(tags.data() + at, part, bytes, first ? 0x00 : 0x01, 0, error)) return false;
        at += bytes;
        segment += count;
    }
    return true;
}

bool OggOpusStream::Write(const float* samples, std::size_t frames, std::string& error) {
    const std::size_t channels = static_cast<std::size_t>(channels_);
    written_ += static_cast<std::int64_t>(frames);
    while (frames > 0) {
        const std::size_t take = std::min(frames, static_cast<std::size_t>(kFrame) - gathered_);
        // A whole frame straight from the input needs no gathering.
        if (gathered_ == 0 && take == static_cast<std::size_t>(kFrame)) {
            if (!EncodeFrame(samples, error)) return false;
        } else {
            std::copy(samples, samples + take * channels, frame_.data() + gathered_ * channels);
            gathered_ += take;
            if (gathered_ == static_cast<std::size_t>(kFrame)) {
                gathered_ = 0;
                if (!EncodeFrame(frame_.data(), error)) return false;
            }
        }
        samples += take * channels;
        frames -= take;
    }
    return true;
}

bool OggOpusStream::End(std::int64_t frames, std::string& error) {
    // The previous page's end is the least the last page can end at.
    const std::int64_t total =
        std::max(preSkip_ + std::max<std::int64_t>(frames, 0), pageStart_ + 1);
    const std::size_t channels = static_cast<std::size_t>(channels_);
    while (encoded_ < total) {
        std::fill(frame_.begin() + static_cast<std::ptrdiff_t>(gathered_ * channels), frame_.end(),
                  0.0f);
        gathered_ = 0;
        if (!EncodeFrame(frame_.data(), error)) return false;
    }
    return FlushPage(true, total, error);
}

bool OggOpusStream::EncodeFrame(const float* frame, std::string& error) {
    const int bytes = encoder_->Encode(frame, packet_.data(), static_cast<int>(packet_.size()));
    if (bytes < 0) {
        error = std::string("Opus encoder: ") + opus_strerror(bytes);
        return false;
    }
    encoded_ += kFrame;
    return AddPacket(packet_.data(), static_cast<std::size_t>(bytes), error);
}

bool OggOpusStream::AddPacket(const unsigned char* data, std::size_t size, std::string& error) {
    const std::size_t segments = size / 255 + 1;
    if (!lacing_.empty() &&
        (lacing_.size() + segments > kMaxSegments || pageGranule_ - pageStart_ >= kPageFrames))
        if (!FlushPage(false, pageGranule_, error)) return false;
    if (lacing_.empty()) pageStart_ = encoded_ - kFrame;
    Lace(lacing_, size);
    body_.insert(body_.end(), data, data + size);
    pageGranule_ = encoded_;
    return true;
}

bool OggOpusStream::FlushPage(bool last, std::int64_t granule, std::string& error) {
    const bool ok =
        WritePage(body_.data(), lacing_, body_.size(), last ? 0x04 : 0x00, granule, error);
    pageStart_ = granule;
    body_.clear();
    lacing_.clear();
    return ok;
}

bool OggOpusStream::WritePage(const unsigned char* body, const std::vector<unsigned char>& lacing,
                              std::size_t bodySize, unsigned char flags, std::int64_t granule,
                              std::string& error) {
    std::vector<unsigned char> page = {'O', 'g', 'g', 'S', 0, flags};
    page.reserve(27 + lacing.size() + bodySize);
    PutLe(page, static_cast<std::uint64_t>(granule), 8);
    PutLe(page, serial_, 4);
    PutLe(page, sequence_++, 4);
    PutLe(page, 0, 4);  // the checksum, once the page is whole
    page.push_back(static_cast<unsigned char>(lacing.size()));
    page.insert(page.end(), lacing.begin(), lacing.end());
    page.insert(page.end(), body, body + bodySize);
    const std::uint32_t crc = OggCrc(page.data(), page.size());
    for (int i = 0; i < 4; ++i)
        page[22 + i] = static_cast<unsigned char>(crc >> (8 * i));
    if (!sink_(page.data(), page.size())) {
        error = "the Ogg page could not be written";
        return false;
    }
    return true;
}

}  // namespace orvane::formats
