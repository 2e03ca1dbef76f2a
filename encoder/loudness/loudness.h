#pragma once
// Loudness (EBU R128 integrated, in LUFS) and sample peak of each file of a job, and of all of
// them together (the album).

#include <cstddef>
#include <cstdint>
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
    // Interleaved floating-point samples, full scale at 1.
    void Add(const float* samples, std::size_t frames);
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
    // One biquad section, direct form I.
    struct Biquad {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    };
    struct ChannelState {
        double x1 = 0, x2 = 0;  // the last two input samples
        double y1 = 0, y2 = 0;  // the last two outputs of the shelf
        double z1 = 0, z2 = 0;  // the last two outputs of the high-pass
        double sum = 0;         // squares of the filtered samples in the current 100 ms
        double weight = 1;
    };
    // A track keeps, once its samples have passed, only the mean square (channel weights
    // applied) of each 400 ms gating block: 8 bytes per 100 ms of audio.
    struct Track {
        Biquad shelf, highPass;
        std::vector<ChannelState> channels;
        std::size_t stepFrames = 0;  // frames in 100 ms
        std::size_t filled = 0;      // frames of the current 100 ms seen
        double steps[4] = {};        // the last four 100 ms sums, a ring
        std::size_t stepCount = 0;   // 100 ms steps completed
        std::vector<double> blocks;  // mean square of each gating block
        double peak = 0;
    };

    // Samples times scale are at full scale 1.
    template <typename Sample>
    void AddScaled(const Sample* samples, std::size_t frames, double scale);
    template <typename Sample>
    static void FilterStereo(Track& t, const Sample* samples, std::size_t frames, double scale);
    template <typename Sample>
    static void FilterEach(Track& t, const Sample* samples, std::size_t frames, double scale);
    static void EndStep(Track& t);
    static std::optional<double> GatedLoudness(const std::vector<const Track*>& tracks);

    std::vector<Track> tracks_;
};

}  // namespace orvane::loudness
