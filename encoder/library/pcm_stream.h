#pragma once
// Any audio file FFmpeg's libraries read, as the interleaved integer samples one output format
// takes: the first audio stream decoded in chunks (never read whole), down-mixed to stereo only
// where the target holds fewer channels, resampled only where it does not take the rate, and
// reduced in depth with TPDF dither only where the target's samples are narrower than the
// source's (or the samples were computed anew). An integer source the target holds as it is
// passes sample for sample.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvane::library {

// What the target format takes.
struct PcmTarget {
    int maxChannels = 8;
    // Rates outside lowestRate..highestRate are resampled to 48 kHz (44.1 kHz for multiples of
    // it); inside, the rate stays.
    int lowestRate = 1;
    int highestRate = 768000;
    // Not empty: the rates the format holds; any other becomes the nearest of them (the
    // higher one of two as near), as its encoder would resample it.
    std::vector<int> rates;
    // 0: 16 bits for integer sources of up to 16 bits, else 24 (float and 32-bit integer
    // sources become 24-bit with dither); else always this many bits (16).
    int fixedBits = 0;
    // The target codes floats: every source becomes 32-bit floats (full scale at 1, no
    // dither), read with the float Read.
    bool floats = false;
};

// The source as FFmpeg describes it.
struct SourceFormat {
    std::string codec;  // FFmpeg's long name of the decoder
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;  // significant bits of an integer sample, 32 for 32-bit integers
    bool isFloat = false;
    bool lossy = false;
    std::int64_t frames = 0;  // an estimate from the container; 0 when it does not say
};

// What the samples become.
struct PcmLayout {
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;  // 16 or 24; 32 for floats
    bool floats = false;
    std::uint64_t channelMask = 0;   // WAVE_FORMAT_EXTENSIBLE's speaker mask, 0: none known
    std::vector<std::string> notes;  // "down-mixed from 6 channels to stereo", ...
};

class PcmStream {
public:
    PcmStream();
    ~PcmStream();
    PcmStream(const PcmStream&) = delete;
    PcmStream& operator=(const PcmStream&) = delete;

    // Opens path's first audio stream; false with FFmpeg's reason when there is none or it
    // cannot be opened or decoded.
    bool Open(const std::string& path, const PcmTarget& target, std::string& error);
    const SourceFormat& Source() const { return source_; }
    const PcmLayout& Layout() const { return layout_; }
    // Appends the next samples to out (cleared first), interleaved, signed, at Layout().bits.
    // Returns the frames given: 0 once the stream is over, -1 with error when it broke.
    long Read(std::vector<std::int32_t>& out, std::string& error);
    // The same for a float layout: the samples as floats, full scale at 1.
    long Read(std::vector<float>& out, std::string& error);

private:
    // The next frames converted by the resampler into room(capacity in frames), which gives
    // where they go: the frames written, 0 at the end, -1 with error.
    template <typename Room>
    long Convert(Room room, std::string& error);

    struct State;
    std::unique_ptr<State> s_;
    SourceFormat source_;
    PcmLayout layout_;
};

}  // namespace orvane::library
