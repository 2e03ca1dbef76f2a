#pragma once
// Loudness (EBU R128 integrated, in LUFS) and sample peak of each file of a job, and of all of
// them together (the album).

#include <ebur128.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace orvane::loudness {

class LoudnessMeter {
public:
    LoudnessMeter();
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // A new track; false when the meter cannot take the format.
    bool BeginTrack(int channels, unsigned long sampleRate);
    // Interleaved signed samples of bits bits.
    void Add(const std::int32_t* samples, std::size_t frames, int bits);
    // The current track's values; nothing for a track too short or too quiet to measure.
    std::optional<double> TrackLoudness() const;
    double TrackPeak() const;
    // The current track is left out of the album (it was not written).
    void DropTrack();
    // Every track of other joins this meter's album, after its own; other is left empty.
    void TakeTracks(LoudnessMeter& other);
    // Over every track begun and not dropped.
    std::optional<double> AlbumLoudness() const;
    double AlbumPeak() const;

private:
    std::vector<ebur128_state*> tracks_;
    std::vector<std::int32_t> scaled_;
};

}  // namespace orvane::loudness
