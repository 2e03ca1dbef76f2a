#include "encoder/loudness/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

namespace orvane::loudness {

LoudnessMeter::LoudnessMeter() = default;

LoudnessMeter::~LoudnessMeter() {
    for (ebur128_state* s : tracks_)
        ebur128_destroy(&s);
}

bool LoudnessMeter::BeginTrack(int channels, unsigned long sampleRate) {
    // The histogram keeps a state's memory fixed however long the track is.
    ebur128_state* s =
        ebur128_init(static_cast<unsigned>(channels), sampleRate,
                     EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_HISTOGRAM);
    if (!s) return false;
    tracks_.push_back(s);
    return true;
}

void LoudnessMeter::Add(const std::int32_t* samples, std::size_t frames, int bits) {
    if (tracks_.empty()) return;
    ebur128_state* s = tracks_.back();
    const std::size_t count = frames * s->channels;
    // The meter reads ints as fractions of 2^31.
    scaled_.resize(count);
    const int shift = 32 - bits;
    for (std::size_t i = 0; i < count; ++i)
        scaled_[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(samples[i]) << shift);
    ebur128_add_frames_int(s, scaled_.data(), frames);
}

std::optional<double> LoudnessMeter::TrackLoudness() const {
    double out = 0;
    if (tracks_.empty() || ebur128_loudness_global(tracks_.back(), &out) != EBUR128_SUCCESS ||
        !std::isfinite(out))
        return std::nullopt;
    return out;
}

double LoudnessMeter::TrackPeak() const {
    double peak = 0;
    if (tracks_.empty()) return 0;
    for (unsigned c = 0; c < tracks_.back()->channels; ++c) {
        double p = 0;
        if (ebur128_sample_peak(tracks_.back(), c, &p) == EBUR128_SUCCESS) peak = std::max(peak, p);
    }
    return peak;
}

void LoudnessMeter::DropTrack() {
    if (tracks_.empty()) return;
    ebur128_destroy(&tracks_.back());
    tracks_.pop_back();
}

void LoudnessMeter::TakeTracks(LoudnessMeter& other) {
    tracks_.insert(tracks_.end(), other.tracks_.begin(), other.tracks_.end());
    other.tracks_.clear();
}

std::optional<double> LoudnessMeter::AlbumLoudness() const {
    double out = 0;
    if (tracks_.empty() ||
        ebur128_loudness_global_multiple(const_cast<ebur128_state**>(tracks_.data()),
                                         tracks_.size(), &out) != EBUR128_SUCCESS ||
        !std::isfinite(out))
        return std::nullopt;
    return out;
}

double LoudnessMeter::AlbumPeak() const {
    double peak = 0;
    for (ebur128_state* s : tracks_)
        for (unsigned c = 0; c < s->channels; ++c) {
            double p = 0;
            if (ebur128_sample_peak(s, c, &p) == EBUR128_SUCCESS) peak = std::max(peak, p);
        }
    return peak;
}

}  // namespace orvane::loudness
