// The Opus job: each file is resampled to 48 kHz where it is not (FFmpeg's resampler), coded at
// the chosen bit rate and written as an Ogg Opus stream through the job's temporary output. The
// comment header keeps room for the loudness values, which are known only once the file has
// been read.
#include "encoder/formats/opus_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "encoder/formats/format_job.h"
#include "encoder/formats/ogg_opus.h"

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

// The Q7.8 value of a gain in dB, as the comment holds it.
std::string Q78(double db) {
    const long v = std::lround(db * 256);
    return std::to_string(std::clamp(v, -32768L, 32767L));
}

class OpusEncoder : public FormatEncoder {
public:
    explicit OpusEncoder(int kbps) : kbps_(kbps) {}
    ~OpusEncoder() override { swr_free(&swr_); }

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
        rate_ = wave.sampleRate;
        scale_ = 1.0f / static_cast<float>(std::ldexp(1.0, wave.bits - 1));
        if (rate_ != 48000) {
            AVChannelLayout layout{};
            av_channel_layout_default(&layout, channels_);
            int rc = swr_alloc_set_opts2(&swr_, &layout, AV_SAMPLE_FMT_FLT, 48000, &layout,
                                         AV_SAMPLE_FMT_FLT, static_cast<int>(rate_), 0, nullptr);
            av_channel_layout_uninit(&layout);
            if (rc < 0 || swr_init(swr_) < 0) {
                error = "The samples cannot be resampled to 48000 Hz";
                return false;
            }
        }
        OggOpusStream::Settings settings;
        settings.channels = wave.channels;
        settings.inputRate = wave.sampleRate;
        settings.bitrate = kbps_ * 1000;
        settings.commentRoom = kCommentPadding;
        // Each stream its own serial number, so files joined into one chain stay apart.
        std::random_device random;
        settings.serial = static_cast<std::uint32_t>(random());
        settings.comments = comments;
        if (picture_)
            settings.comments.emplace_back("METADATA_BLOCK_PICTURE",
                                           MetadataBlockPicture(*picture_));
        return stream_.Begin(
                   settings,
                   [this](const unsigned char* bytes, std::size_t size) {
                       fs::Status status = out_->Write(bytes, size);
                       if (!status) writeError_ = status.message;
                       return static_cast<bool>(status);
                   },
                   error) ||
               Failed(error);
    }

    bool Write(const std::int32_t* samples, std::size_t frames, std::string& error) override {
        floats_.resize(frames * static_cast<std::size_t>(channels_));
        for (std::size_t i = 0; i < floats_.size(); ++i)
            floats_[i] = static_cast<float>(samples[i]) * scale_;
        return WriteFloats(floats_.data(), frames, error);
    }

    bool TakesFloats() const override { return true; }
    bool WriteFloats(const float* samples, std::size_t frames, std::string& error) override {
        input_ += static_cast<std::int64_t>(frames);
        if (!swr_) return stream_.Write(samples, frames, error) || Failed(error);
        return Resample(samples, static_cast<int>(frames), error);
    }

    bool End(std::string& error) override {
        if (swr_ && !Resample(nullptr, 0, error)) return false;
        // The input's length at 48 kHz: what the resampler gives, to the frame.
        const std::int64_t frames =
            swr_ ? (input_ * 48000 + rate_ / 2) / static_cast<std::int64_t>(rate_) : input_;
        return stream_.End(frames, error) || Failed(error);
    }

    bool Retag(const std::string& path, const VorbisComments& comments,
               std::string& error) override {
        return RewriteOpusTags(path, comments, error);
    }

private:
    // The stream's error, or the output's when a page could not be written.
    bool Failed(std::string& error) const {
        if (!writeError_.empty()) error = writeError_;
        return false;
    }

    // Input frames (nullptr: the resampler's last) at 48 kHz into the stream.
    bool Resample(const float* samples, int frames, std::string& error) {
        const int room = swr_get_out_samples(swr_, frames) + 16;
        resampled_.resize(static_cast<std::size_t>(room) * static_cast<std::size_t>(channels_));
        auto* dst = reinterpret_cast<std::uint8_t*>(resampled_.data());
        const auto* src = reinterpret_cast<const std::uint8_t*>(samples);
        const int got = swr_convert(swr_, &dst, room, samples ? &src : nullptr, frames);
        if (got < 0) {
            error = "The samples cannot be resampled to 48000 Hz";
            return false;
        }
        return stream_.Write(resampled_.data(), static_cast<std::size_t>(got), error) ||
               Failed(error);
    }

    int kbps_;
    int channels_ = 0;
    std::uint32_t rate_ = 48000;
    float scale_ = 1;
    SwrContext* swr_ = nullptr;
    std::int64_t input_ = 0;  // frames at the input's rate
    OggOpusStream stream_;
    fs::AtomicFile* out_ = nullptr;
    std::string writeError_;
    std::vector<float> floats_, resampled_;
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
