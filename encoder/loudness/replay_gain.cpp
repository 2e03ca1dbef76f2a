#include "encoder/loudness/replay_gain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "encoder/wave/pcm_wave.h"

namespace orvane::loudness {

namespace {

constexpr double kReplayGainReference = -18.0;  // LUFS
constexpr std::size_t kChunkFrames = 16384;

}  // namespace

std::string ReplayGainText(double loudness) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dB", kReplayGainReference - loudness);
    return text;
}

std::string PeakText(double peak) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", peak);
    return text;
}

GainTags TrackGainTags(const GainValues& v) {
    return {{"REPLAYGAIN_TRACK_GAIN", ReplayGainText(v.loudness)},
            {"REPLAYGAIN_TRACK_PEAK", PeakText(v.peak)}};
}

GainTags AlbumGainTags(const GainValues& v) {
    return {{"REPLAYGAIN_ALBUM_GAIN", ReplayGainText(v.loudness)},
            {"REPLAYGAIN_ALBUM_PEAK", PeakText(v.peak)}};
}

bool GainLedger::BeginTrack(int channels, unsigned long sampleRate) {
    if (open_) Drop();
    open_ = meter_.BeginTrack(channels, sampleRate);
    return open_;
}

void GainLedger::Add(const std::int32_t* samples, std::size_t frames, int bits) {
    if (open_) meter_.Add(samples, frames, bits);
}

void GainLedger::Add(const float* samples, std::size_t frames) {
    if (open_) meter_.Add(samples, frames);
}

std::string GainLedger::MeasureFile(const std::string& path, const std::function<bool()>& stop) {
    if (open_) Drop();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "Cannot open " + path + ": " + std::strerror(errno);
    struct stat info {};
    wave::PcmWave wave;
    std::string reason = ::fstat(fd, &info) == 0 ? wave::ReadPcmWave(fd, info.st_size, wave)
                                                 : std::string(std::strerror(errno));
    if (reason.empty() && !BeginTrack(wave.channels, wave.sampleRate))
        reason = "The loudness of this format cannot be measured";
    std::vector<std::int32_t> samples;
    for (std::int64_t at = 0; reason.empty() && at < wave.frames;) {
        if (stop && stop()) {
            reason = "Stopped";
            break;
        }
        const long got = wave::ReadFrames(fd, wave, at, kChunkFrames, samples);
        if (got <= 0) {
            reason = "Cannot read " + path + ": " + std::strerror(errno);
            break;
        }
        meter_.Add(samples.data(), static_cast<std::size_t>(got), wave.bits);
        at += got;
    }
    ::close(fd);
    if (!reason.empty() && open_) Drop();
    return reason;
}

std::optional<GainValues> GainLedger::Track() const {
    if (!open_) return std::nullopt;
    std::optional<double> lufs = meter_.TrackLoudness();
    if (!lufs) return std::nullopt;
    return GainValues{*lufs, meter_.TrackPeak()};
}

void GainLedger::Keep(const std::string& path) {
    open_ = false;
    files_.push_back(path);
}

void GainLedger::Drop() {
    if (open_) meter_.DropTrack();
    open_ = false;
}

void GainLedger::TakeAlbum(GainLedger& other) {
    if (&other == this) return;
    other.Drop();
    meter_.TakeTracks(other.meter_);
    files_.insert(files_.end(), other.files_.begin(), other.files_.end());
    other.files_.clear();
}

std::optional<GainValues> GainLedger::Album() const {
    std::optional<double> lufs = meter_.AlbumLoudness();
    if (!lufs || files_.empty()) return std::nullopt;
    return GainValues{*lufs, meter_.AlbumPeak()};
}

std::vector<std::pair<std::string, std::string>> GainLedger::WriteAlbum(const Retag& retag) const {
    std::vector<std::pair<std::string, std::string>> failed;
    std::optional<GainValues> album = Album();
    if (!album) return failed;
    const GainTags tags = AlbumGainTags(*album);
    for (const std::string& path : files_) {
        std::string error;
        if (!retag(path, tags, error)) failed.emplace_back(path, error);
    }
    return failed;
}

}  // namespace orvane::loudness
