#pragma once
// ReplayGain 2.0 values of a job's output files: each file's (track) loudness and peak as its
// samples pass, and the album's over every file the job wrote. One ledger per job, whatever the
// output format; the format says how the values reach its files.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "encoder/loudness/loudness.h"

namespace orvane::loudness {

// Name and value pairs, as "REPLAYGAIN_TRACK_GAIN", "-6.52 dB".
using GainTags = std::vector<std::pair<std::string, std::string>>;

struct GainValues {
    double loudness = 0;  // EBU R128 integrated, LUFS
    double peak = 0;      // sample peak, linear, 1.0 full scale
};

// The gain to -18 LUFS in dB and the peak, as "-6.52 dB" and "0.988525".
std::string ReplayGainText(double loudness);
std::string PeakText(double peak);
GainTags TrackGainTags(const GainValues& values);  // REPLAYGAIN_TRACK_GAIN, _PEAK
GainTags AlbumGainTags(const GainValues& values);  // REPLAYGAIN_ALBUM_GAIN, _PEAK

class GainLedger {
public:
    // A new track; false when its format cannot be measured (it then gets no values).
    bool BeginTrack(int channels, unsigned long sampleRate);
    // Interleaved signed samples of `bits` bits of the current track.
    void Add(const std::int32_t* samples, std::size_t frames, int bits);
    // Interleaved floating-point samples of the current track, full scale at 1.
    void Add(const float* samples, std::size_t frames);
    // Measures a whole PCM WAVE file as the current track, for the formats whose encoder reads
    // the file itself. Empty when measured, else why not; stops early (with a reason) when
    // stop says so.
    std::string MeasureFile(const std::string& path, const std::function<bool()>& stop = {});
    // The current track's values; nothing for a track too short or too quiet to measure.
    std::optional<GainValues> Track() const;
    // The current track's file was written as path: it takes the album's values. Else it is
    // left out of the album.
    void Keep(const std::string& path);
    void Drop();
    // Every kept track of other joins this ledger's album, after its own (an open track of
    // other is dropped first); other is left empty.
    void TakeAlbum(GainLedger& other);

    // Over every kept track; nothing when they are too short or too quiet together.
    std::optional<GainValues> Album() const;
    const std::vector<std::string>& Files() const { return files_; }
    // Writes the album's values into every kept file with retag; returns the files it could
    // not write with the reason.
    using Retag =
        std::function<bool(const std::string& path, const GainTags& tags, std::string& error)>;
    std::vector<std::pair<std::string, std::string>> WriteAlbum(const Retag& retag) const;

private:
    LoudnessMeter meter_;
    bool open_ = false;  // a track was begun and is neither kept nor dropped
    std::vector<std::string> files_;
};

}  // namespace orvane::loudness
