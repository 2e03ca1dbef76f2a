#pragma once
// An Ogg Opus stream written over libopus itself: the identification header, the comment
// header (with room to grow), then the 20 ms packets of 48 kHz audio in pages of up to a
// second. The encoder's look-ahead is the header's pre-skip, and the last page's granule
// position ends the stream where its samples end, so a decoder gives back exactly the frames
// written. Mono and stereo use one plain encoder; 3 to 8 channels the surround layouts
// (channel mapping family 1).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvane::formats {

// The Ogg page checksum (polynomial 0x04C11DB7, no reflection, start and end 0).
std::uint32_t OggCrc(const unsigned char* data, std::size_t bytes);

class OggOpusStream {
public:
    // Takes each finished page's bytes; false stops the stream (its error then is the sink's).
    using Sink = std::function<bool(const unsigned char* bytes, std::size_t size)>;

    struct Settings {
        int channels = 2;             // 1 to 8
        std::uint32_t inputRate = 0;  // the source's rate, as the header records it
        int bitrate = 160000;         // bits per second
        std::uint32_t serial = 0;     // the stream's serial number
        std::size_t commentRoom = 0;  // zero bytes after the comments, for values added later
        std::vector<std::pair<std::string, std::string>> comments;  // name, value
    };

    OggOpusStream();
    ~OggOpusStream();
    OggOpusStream(const OggOpusStream&) = delete;
    OggOpusStream& operator=(const OggOpusStream&) = delete;

    // Creates the encoder and writes both headers; false with error.
    bool Begin(const Settings& settings, Sink sink, std::string& error);
    // Interleaved 48 kHz samples, full scale at 1.
    bool Write(const float* samples, std::size_t frames, std::string& error);
    // Ends the stream after `frames` frames in all: the frames written, cut or followed by
    // silence to that count (a resampler's output, which may differ by a frame or two).
    bool End(std::int64_t frames, std::string& error);
    std::int64_t framesWritten() const { return written_; }

private:
    bool EncodeFrame(const float* frame, std::string& error);
    bool AddPacket(const unsigned char* data, std::size_t size, std::string& error);
    bool FlushPage(bool last, std::int64_t granule, std::string& error);
    bool WritePage(const unsigned char* body, const std::vector<unsigned char>& lacing,
                   std::size_t bodySize, unsigned char flags, std::int64_t granule,
                   std::string& error);

    struct Encoder;
    std::unique_ptr<Encoder> encoder_;
    Sink sink_;
    int channels_ = 0;
    std::uint32_t serial_ = 0;
    std::uint32_t sequence_ = 0;
    int preSkip_ = 0;
    std::vector<float> frame_;  // the samples of the frame being gathered
    std::size_t gathered_ = 0;  // its frames so far
    std::int64_t written_ = 0;  // frames handed to Write
    std::int64_t encoded_ = 0;  // frames coded (pre-skip included), packets * 960
    // The page being filled: its packets' bytes and lacing values, and the frames they end at.
    std::vector<unsigned char> body_, lacing_;
    std::int64_t pageGranule_ = 0;
    std::int64_t pageStart_ = 0;  // encoded_ when the page's first packet was added
    std::vector<unsigned char> packet_;
};

}  // namespace orvane::formats
