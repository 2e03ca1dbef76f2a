// The Opus job: libopusenc resamples each file to 48 kHz, encodes it at the chosen bit rate and
// writes the Ogg pages through the job's temporary output; it records the encoder's delay as
// the stream's pre-skip and ends the last page's granule position where the input ends, so a
// decoder gives back exactly the input's length. The comment header keeps room for the
// loudness values, which are known only once the file has been read.
#include "encoder/formats/opus_job.h"

#include <fcntl.h>
#include <opus/opusenc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "encoder/formats/format_job.h"

namespace orvane::formats {

namespace {

constexpr int kCommentPadding = 512;
constexpr double kR128Reference = -23.0;  // LUFS, the Ogg Opus gains' reference
constexpr std::size_t kHeaderBytes = 1 << 20;
constexpr std::size_t kMaxHeaderBytes = 64u << 20;

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PutLe32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint32_t OggCrc(const unsigned char* data, std::size_t bytes) {
    static const std::vector<std::uint32_t> table = [] {
        std::vector<std::uint32_t> t(256);
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

// The Q7.8 value of a gain in dB, as the comment holds it.
std::string Q78(double db) {
    const long v = std::lround(db * 256);
    return std::to_string(std::clamp(v, -32768L, 32767L));
}

class OpusEncoder : public FormatEncoder {
public:
    explicit OpusEncoder(int kbps) : kbps_(kbps) {}
    ~OpusEncoder() override {
        if (enc_) ope_encoder_destroy(enc_);
        if (comments_) ope_comments_destroy(comments_);
    }

    std::string Accepts(const PcmWave& wave, std::string& log) const override {
        if (wave.channels > 8)
            return "Error: Opus files of this program hold at most 8 channels, the WAV file has " +
                   std::to_string(wave.channels);
        if (wave.sampleRate < 100 || wave.sampleRate > 768000)
            return "Error: A sample rate of " + std::to_string(wave.sampleRate) +
                   " Hz cannot be encoded to Opus";
        if (wave.sampleRate != 48000)
            log = "The samples are resampled from " + std::to_string(wave.sampleRate) +
                  " Hz to 48000 Hz";
        return {};
    }

    bool Begin(const PcmWave& wave, const VorbisComments& comments, fs::AtomicFile& out,
               std::string& error) override {
        out_ = &out;
        channels_ = wave.channels;
        scale_ = 1.0f / static_cast<float>(std::ldexp(1.0, wave.bits - 1));
        comments_ = ope_comments_create();
        if (!comments_) {
            error = "Out of memory";
            return false;
        }
        for (const auto& [name, value] : comments)
            ope_comments_add(comments_, name.c_str(), value.c_str());
        if (picture_)
            ope_comments_add(comments_, "METADATA_BLOCK_PICTURE",
                             MetadataBlockPicture(*picture_).c_str());
        OpusEncCallbacks callbacks{&OpusEncoder::OnWrite, &OpusEncoder::OnClose};
        int status = 0;
        // Family 0 holds mono and stereo; family 1 the surround layouts up to 8 channels.
        enc_ = ope_encoder_create_callbacks(&callbacks, this, comments_,
                                            static_cast<opus_int32>(wave.sampleRate), wave.channels,
                                            wave.channels > 2 ? 1 : 0, &status);
        if (!enc_) {
            error = std::string("Opus encoder: ") + ope_strerror(status);
            return false;
        }
        ope_encoder_ctl(enc_, OPUS_SET_BITRATE(kbps_ * 1000));
        ope_encoder_ctl(enc_, OPE_SET_COMMENT_PADDING(kCommentPadding));
        // Each stream its own serial number, so files joined into one chain stay apart.
        std::random_device random;
        ope_encoder_ctl(enc_, OPE_SET_SERIALNO(static_cast<opus_int32>(random() & 0x7FFFFFFF)));
        return true;
    }

    bool Write(const std::int32_t* samples, std::size_t frames, std::string& error) override {
        buffer_.resize(frames * static_cast<std::size_t>(channels_));
        for (std::size_t i = 0; i < buffer_.size(); ++i)
            buffer_[i] = static_cast<float>(samples[i]) * scale_;
        int status = ope_encoder_write_float(enc_, buffer_.data(), static_cast<int>(frames));
        return Ok(status, error);
    }

    bool End(std::string& error) override { return Ok(ope_encoder_drain(enc_), error); }

    bool Retag(const std::string& path, const VorbisComments& comments,
               std::string& error) override {
        return RewriteOpusTags(path, comments, error);
    }

private:
    bool Ok(int status, std::string& error) const {
        if (status == OPE_OK && writeError_.empty()) return true;
        error = !writeError_.empty() ? writeError_
                                     : std::string("Opus encoder: ") + ope_strerror(status);
        return false;
    }

    static int OnWrite(void* data, const unsigned char* bytes, opus_int32 length) {
        auto* self = static_cast<OpusEncoder*>(data);
        if (!self->writeError_.empty()) return 1;
        fs::Status status = self->out_->Write(bytes, static_cast<std::size_t>(length));
        if (!status) {
            self->writeError_ = status.message;
            return 1;
        }
        return 0;
    }
    static int OnClose(void*) { return 0; }

    int kbps_;
    int channels_ = 0;
    float scale_ = 1;
    OggOpusComments* comments_ = nullptr;
    OggOpusEnc* enc_ = nullptr;
    fs::AtomicFile* out_ = nullptr;
    std::string writeError_;
    std::vector<float> buffer_;
};

class OpusJob : public FormatJob {
public:
    explicit OpusJob(fs::FileOps* ops) : FormatJob(encoder::JobKind::EncodeOpus, ops) {}

protected:
    std::unique_ptr<FormatEncoder> MakeEncoder(const encoder::JobRequest& request) override {
        return std::make_unique<OpusEncoder>(
            std::clamp(request.formats.opusKbps, kOpusKbpsMin, kOpusKbpsMax));
    }
    // Ogg Opus carries its own gains: Q7.8 dB to the R128 reference, on top of the header's
    // output gain (0 here).
    std::string BitrateText(const encoder::JobRequest& request) const override {
        return std::to_string(std::clamp(request.formats.opusKbps, kOpusKbpsMin, kOpusKbpsMax)) +
               " Kbps";
    }
    VorbisComments TrackGainComments(const loudness::GainValues& v) const override {
        return {{"R128_TRACK_GAIN", Q78(kR128Reference - v.loudness)}};
    }
    VorbisComments AlbumGainComments(const loudness::GainValues& v) const override {
        return {{"R128_ALBUM_GAIN", Q78(kR128Reference - v.loudness)}};
    }
};

// One Ogg page of a file's first bytes.
struct Page {
    std::size_t start = 0, bodyStart = 0, bodyBytes = 0;
    bool packetEnds = false;  // its last lacing value is below 255
};

bool ParsePage(const std::string& bytes, std::size_t at, Page& page) {
    if (at + 27 > bytes.size() || bytes.compare(at, 4, "OggS") != 0) return false;
    const auto segments = static_cast<unsigned char>(bytes[at + 26]);
    if (at + 27 + segments > bytes.size()) return false;
    page.start = at;
    page.bodyStart = at + 27 + segments;
    page.bodyBytes = 0;
    for (std::size_t i = 0; i < segments; ++i)
        page.bodyBytes += static_cast<unsigned char>(bytes[at + 27 + i]);
    page.packetEnds =
        segments > 0 && static_cast<unsigned char>(bytes[at + 27 + segments - 1]) < 255;
    return page.bodyStart + page.bodyBytes <= bytes.size();
}

}  // namespace

// The pages of the comment header (after the identification header's page) and the packet
// they carry; false when bytes do not hold them whole.
static bool ReadCommentPages(const std::string& bytes, std::vector<Page>& pages,
                             std::string& packet) {
    pages.clear();
    packet.clear();
    // The identification header has a page of its own; the comment header starts the next.
    Page first;
    if (!ParsePage(bytes, 0, first) || bytes.compare(first.bodyStart, 8, "OpusHead") != 0)
        return false;
    for (std::size_t at = first.bodyStart + first.bodyBytes;;) {
        Page p;
        if (!ParsePage(bytes, at, p)) return false;
        pages.push_back(p);
        packet += bytes.substr(p.bodyStart, p.bodyBytes);
        at = p.bodyStart + p.bodyBytes;
        if (p.packetEnds) return true;
    }
}

bool RewriteOpusTags(const std::string& path, const VorbisComments& comments, std::string& error) {
    fs::Status status;
    std::string bytes;
    std::vector<Page> pages;
    std::string packet;
    bool whole = false;
    {
        int fd = fs::OpenForReading(path, status);
        if (fd < 0) {
            error = status.message;
            return false;
        }
        // A front picture makes the comment header as long as the image: the read grows until
        // it holds the header, up to what the largest picture needs.
        for (std::size_t limit = kHeaderBytes; !whole && limit <= kMaxHeaderBytes; limit *= 4) {
            bytes.resize(limit);
            ssize_t got = ::pread(fd, bytes.data(), bytes.size(), 0);
            bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
            whole = ReadCommentPages(bytes, pages, packet);
            if (bytes.size() < limit) break;
        }
        ::close(fd);
    }
    error = "The Opus file " + path + " has no comment header this program can rewrite";
    if (!whole) return false;
    if (packet.compare(0, 8, "OpusTags") != 0 || packet.size() < 16) return false;
    // The packet: vendor, the comments, then padding up to its end.
    std::size_t at = 8;
    auto field = [&](std::string& out) {
        if (at + 4 > packet.size()) return false;
        const std::uint32_t n = Le32(reinterpret_cast<const unsigned char*>(packet.data() + at));
        if (n > packet.size() - at - 4) return false;
        out = packet.substr(at + 4, n);
        at += 4 + n;
        return true;
    };
    std::string vendor;
    if (!field(vendor) || at + 4 > packet.size()) return false;
    const std::uint32_t n = Le32(reinterpret_cast<const unsigned char*>(packet.data() + at));
    at += 4;
    std::vector<std::string> kept;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::string c;
        if (!field(c)) return false;
        const std::string name = c.substr(0, c.find('='));
        bool replaced = false;
        for (const auto& [newName, value] : comments)
            replaced = replaced || strcasecmp(newName.c_str(), name.c_str()) == 0;
        if (!replaced) kept.push_back(c);
    }
    for (const auto& [name, value] : comments)
        kept.push_back(name + "=" + value);
    std::string rebuilt = "OpusTags";
    auto put = [&](const std::string& s) {
        unsigned char len[4];
        PutLe32(len, static_cast<std::uint32_t>(s.size()));
        rebuilt.append(reinterpret_cast<char*>(len), 4);
        rebuilt += s;
    };
    put(vendor);
    unsigned char countBytes[4];
    PutLe32(countBytes, static_cast<std::uint32_t>(kept.size()));
    rebuilt.append(reinterpret_cast<char*>(countBytes), 4);
    for (const std::string& c : kept)
        put(c);
    if (rebuilt.size() > packet.size()) {
        error = "The comments do not fit in the comment header of " + path;
        return false;
    }
    // Zero padding: a first bit of 0 tells readers it holds nothing of value.
    rebuilt.resize(packet.size(), '\0');
    std::size_t from = 0;
    for (const Page& p : pages) {
        bytes.replace(p.bodyStart, p.bodyBytes, rebuilt, from, p.bodyBytes);
        from += p.bodyBytes;
        auto* page = reinterpret_cast<unsigned char*>(bytes.data() + p.start);
        PutLe32(page + 22, 0);
        PutLe32(page + 22, OggCrc(page, p.bodyStart + p.bodyBytes - p.start));
    }
    const Page& last = pages.back();
    const std::size_t start = pages.front().start, end = last.bodyStart + last.bodyBytes;
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    const bool ok =
        fd >= 0 && fs::WriteAll(fd, bytes.data() + start, end - start, static_cast<off_t>(start)) &&
        ::fsync(fd) == 0;
    const int saved = errno;
    if (fd >= 0) ::close(fd);
    if (!ok) {
        error = "Cannot write " + path + ": " + std::strerror(saved);
        return false;
    }
    error.clear();
    return true;
}

std::unique_ptr<encoder::Job> MakeOpusJob(fs::FileOps* ops) {
    return std::make_unique<OpusJob>(ops);
}

void RegisterOpusJob() {
    encoder::RegisterKind(
        encoder::JobKind::EncodeOpus, [](const encoder::JobRequest&) { return MakeOpusJob(); },
        FormatBatch(encoder::JobKind::EncodeOpus,
                    [] { return std::make_unique<OpusJob>(nullptr); }));
}

}  // namespace orvane::formats
