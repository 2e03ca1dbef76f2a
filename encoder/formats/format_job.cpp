#include "encoder/formats/format_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "encoder/app/input_source.h"
#include "encoder/app/parallel_batch.h"
#include "encoder/app/paths.h"

namespace orvane::formats {

using encoder::FileFailure;
using encoder::InputSource;
using encoder::JobBar;
using encoder::JobRequest;
using encoder::JobResult;
using encoder::JobRunner;
using encoder::JobText;
using encoder::SourceItem;

namespace {

constexpr std::size_t kChunkFrames = 16384;
constexpr double kReplayGainReference = -18.0;  // LUFS

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string Describe(const PcmWave& w) {
    return std::to_string(w.sampleRate) + " Hz, " + std::to_string(w.bits) + "-bit, " +
           (w.channels == 1   ? std::string("mono")
            : w.channels == 2 ? std::string("stereo")
                              : std::to_string(w.channels) + " channels");
}

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

FormatJob::FormatJob(FormatTraits traits, fs::FileOps* ops)
    : traits_(std::move(traits)), ops_(ops) {
    encoder::FillGenreList(genres_);
}

FormatJob::~FormatJob() = default;

VorbisComments FormatJob::TrackGainComments(double loudness, double peak) const {
    return {{"REPLAYGAIN_TRACK_GAIN", ReplayGainText(loudness)},
            {"REPLAYGAIN_TRACK_PEAK", PeakText(peak)}};
}

VorbisComments FormatJob::AlbumGainComments(double loudness, double peak) const {
    return {{"REPLAYGAIN_ALBUM_GAIN", ReplayGainText(loudness)},
            {"REPLAYGAIN_ALBUM_PEAK", PeakText(peak)}};
}

void FormatJob::Log(JobRunner& r, const std::string& line) {
    log_ += line + "\r\n";
    r.SetText(JobText::Log, log_);
}

void FormatJob::Run(JobRunner& r) {
    SetBusy(true);
    const JobRequest& req = r.Request();
    if (req.formats.replayGain) loudness_ = std::make_unique<LoudnessMeter>();
    std::unique_ptr<InputSource> source = encoder::MakeInputSource(req, "*.WAV");
    const bool batch = source->Batch();
    const std::string outFolder = encoder::OutputFolderOf(req.output);
    int n = 0;
    bool cancelled = false;
    std::vector<std::string> failedFiles;
    for (;;) {
        if (r.CancelRequested()) {
            cancelled = true;
            break;
        }
        InputSource::Next next = source->Take(r);
        if (next.step == InputSource::Step::End) break;
        if (next.step == InputSource::Step::Cancelled) {
            cancelled = true;
            break;
        }
        ++n;
        if (batch) {
            // One file of a batch that runs several at once keeps its number in the batch.
            const int number = req.OneItem() ? req.item.number : n;
            const int count = req.OneItem() ? req.item.count : std::max(source->Count(), n);
            char title[128];
            std::snprintf(title, sizeof title, "Orvane Encoder 2001 - (File %d of %d)", number,
                          count);
            r.SetText(JobText::Title, title);
            r.SetText(JobText::FileCount, std::to_string(count));
            r.SetText(JobText::FileNumber, std::to_string(number));
            r.SetRange(JobBar::Overall, 0, count * 100);
            r.SetPos(JobBar::Overall, (number - 1) * 100);
        }
        if (next.step == InputSource::Step::Failed) {
            failures_.push_back({next.item.Label(), next.message});
            continue;
        }
        const SourceItem& item = next.item;
        const std::string output =
            !item.output.empty() ? item.output
                                 : outFolder + encoder::BaseName(item.input) + traits_.extension;
        r.SetText(JobText::Input, item.Label());
        r.SetText(JobText::Output,
                  item.finalStem.empty() ? output : item.finalStem + traits_.extension);
        trackMeasured_ = false;
        std::string failure = EncodeItem(r, item, output);
        if (r.CancelRequested()) {
            // Nothing of the stopped file stays; a grabbed input goes with the item's scratch.
            cancelled = true;
            break;
        }
        std::string written = output;
        if (failure.empty() && !item.finalStem.empty()) {
            written =
                encoder::SettleOutput(item, output, item.finalStem, traits_.extension, failure);
            if (!written.empty()) r.SetText(JobText::Output, written);
            if (!failure.empty()) failure = "Error: " + failure;
        }
        const std::string kept = encoder::SettleInput(item, item.finalStem, failure.empty());
        if (failure.empty()) {
            if (loudness_) gainFiles_.push_back(written);
            continue;
        }
        if (trackMeasured_) loudness_->DropTrack();
        if (item.InScratch(item.input) || !kept.empty()) failure += encoder::KeptInputNote(kept);
        failures_.push_back({item.Label(), failure});
    }
    for (const FileFailure& f : failures_)
        failedFiles.push_back(f.input);
    if (cancelled) {
        SetBusy(false);
        r.Finish("Current Process was Canceled.", JobResult::Cancelled, failedFiles);
        return;
    }
    auto* album = dynamic_cast<AlbumLoudness*>(req.item.shared.get());
    if (loudness_ && req.OneItem()) {
        // The batch measures the album once all of its files have ended.
        if (album && !gainFiles_.empty())
            album->Keep(req.item.number, gainFiles_.front(), std::move(loudness_));
    } else if (loudness_ && batch) {
        std::string lines;
        WriteAlbumGain(req, *loudness_, gainFiles_, lines, failures_);
        if (!lines.empty()) {
            log_ += lines;
            r.SetText(JobText::Log, log_);
        }
    }
    r.SetRange(JobBar::CurrentFile, 0, 100);
    r.SetPos(JobBar::CurrentFile, 100);
    r.SetRange(JobBar::Overall, 0, 100);
    r.SetPos(JobBar::Overall, 100);
    SetBusy(false);
    const std::string finished = traits_.name + " Compression Finished.";
    if (failures_.empty()) {
        r.Finish(finished, JobResult::Succeeded);
        return;
    }
    encoder::JobOutcome outcome;
    outcome.result = JobResult::Failed;
    outcome.message = encoder::FailureReport("encoded", failures_, n, batch);
    if (req.CdAudio()) outcome.message = finished + "\n" + outcome.message;
    for (const FileFailure& f : failures_) {
        outcome.failedFiles.push_back(f.input);
        outcome.reasons.push_back(f.reason);
    }
    r.Finish(std::move(outcome));
}

std::string FormatJob::EncodeItem(JobRunner& r, const SourceItem& item, const std::string& output) {
    const JobRequest& req = r.Request();
    for (const std::string* path : {&item.input, &output}) {
        std::string problem = encoder::PathLengthProblem(*path);
        if (!problem.empty()) return problem;
    }
    fs::Status status;
    struct stat info {};
    Descriptor in(fs::OpenForReading(item.input, status, &info));
    if (in.get() < 0) return "Error: " + status.message;
    PcmWave wave;
    std::string reason = ReadPcmWave(in.get(), info.st_size, wave);
    if (!reason.empty()) return reason;
    if (encoder::SameFile(item.input, output))
        return "Error: The output file cannot be the input file.";
    std::unique_ptr<FormatEncoder> enc = MakeEncoder(req);
    std::string note;
    reason = enc->Accepts(wave, note);
    if (!reason.empty()) return reason;
    Log(r, "Encoding " + item.Label() + " (" + Describe(wave) + ") to " + traits_.name);
    if (!note.empty()) Log(r, note);

    VorbisComments comments;
    if (item.tagged)
        comments = CommentsOfTag(item.tag,
                                 item.trackNumber > 0 ? item.trackNumber
                                 : req.batch          ? 0
                                                      : req.formats.trackNumber,
                                 genres_);
    fs::WriteOptions options;
    options.ops = ops_;
    fs::AtomicFile file;
    if (status = file.Open(output, options); !status) return "Error: " + status.message;
    std::string error;
    if (!enc->Begin(wave, comments, file, error)) return "Error: " + error;
    const bool measure =
        loudness_ &&
        loudness_->BeginTrack(wave.channels, static_cast<unsigned long>(wave.sampleRate));
    trackMeasured_ = measure;
    r.SetRange(JobBar::CurrentFile, 0, 100);
    if (!r.Request().batch) r.SetRange(JobBar::Overall, 0, 100);
    std::vector<std::int32_t> samples;
    int shown = -1;
    for (std::int64_t at = 0; at < wave.frames;) {
        if (r.CancelRequested()) return "Current Process was Canceled.";
        long got = ReadFrames(in.get(), wave, at, kChunkFrames, samples);
        if (got <= 0) return "Error: Cannot read " + item.input + ": " + std::strerror(errno);
        if (measure) loudness_->Add(samples.data(), static_cast<std::size_t>(got), wave.bits);
        if (!enc->Write(samples.data(), static_cast<std::size_t>(got), error))
            return "Error: " + error;
        at += got;
        const int percent = static_cast<int>(at * 100 / wave.frames);
        if (percent != shown) {
            shown = percent;
            r.SetPos(JobBar::CurrentFile, percent);
            if (!r.Request().batch) r.SetPos(JobBar::Overall, percent);
        }
    }
    if (!enc->End(error)) return "Error: " + error;
    if (measure) {
        std::optional<double> lufs = loudness_->TrackLoudness();
        if (lufs) {
            const double peak = loudness_->TrackPeak();
            Log(r, "Track gain " + ReplayGainText(*lufs) + ", peak " + PeakText(peak));
            if (!enc->Retag(file.tempPath(), TrackGainComments(*lufs, peak), error))
                return "Error: " + error;
        } else {
            Log(r, "The track is too short or too quiet to measure its loudness");
        }
    }
    if (req.formats.verify) {
        note.clear();
        if (!enc->Check(file.tempPath(), note, error)) return "Error: " + error;
        if (!note.empty()) Log(r, note);
    }
    // A cancel that came while the file was being finished still keeps it from its name.
    if (r.CancelRequested()) return "Current Process was Canceled.";
    if (status = file.Commit(); !status) return "Error: " + status.message;
    return {};
}

void FormatJob::WriteAlbumGain(const JobRequest& request, const LoudnessMeter& meter,
                               const std::vector<std::string>& paths, std::string& log,
                               std::vector<FileFailure>& failures) {
    std::optional<double> lufs = meter.AlbumLoudness();
    if (!lufs || paths.empty()) return;
    const double peak = meter.AlbumPeak();
    log += "Album gain " + ReplayGainText(*lufs) + ", peak " + PeakText(peak) + "\r\n";
    std::unique_ptr<FormatEncoder> enc = MakeEncoder(request);
    const VorbisComments comments = AlbumGainComments(*lufs, peak);
    for (const std::string& path : paths) {
        std::string error;
        if (!enc->Retag(path, comments, error))
            failures.push_back(
                {path, "Error: The album's loudness could not be written: " + error});
    }
}

void FormatJob::FinishAlbum(const JobRequest& request, AlbumLoudness& album, std::string& log,
                            std::vector<FileFailure>& failures) {
    LoudnessMeter meter;
    const std::vector<std::string> paths = album.Collect(meter);
    WriteAlbumGain(request, meter, paths, log, failures);
}

void AlbumLoudness::Keep(int number, std::string path, std::unique_ptr<LoudnessMeter> meter) {
    std::lock_guard lock(mutex_);
    kept_[number] = {std::move(path), std::move(meter)};
}

std::vector<std::string> AlbumLoudness::Collect(LoudnessMeter& album) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> paths;
    for (auto& [number, kept] : kept_) {
        paths.push_back(kept.path);
        if (kept.meter) album.TakeTracks(*kept.meter);
    }
    return paths;
}

void RegisterFormatBatch(encoder::JobKind kind, const std::string& name,
                         std::function<std::unique_ptr<FormatJob>()> make) {
    encoder::ParallelBatchKind batch;
    batch.pattern = "*.WAV";
    batch.finished = name + " Compression Finished.";
    batch.verb = "encoded";
    batch.share = [](const JobRequest& request) -> std::shared_ptr<encoder::BatchShared> {
        if (!request.formats.replayGain) return nullptr;
        return std::make_shared<AlbumLoudness>();
    };
    batch.finish = [make](const JobRequest& request, encoder::BatchShared& shared, std::string& log,
                          std::vector<FileFailure>& failures) {
        if (auto* album = dynamic_cast<AlbumLoudness*>(&shared))
            make()->FinishAlbum(request, *album, log, failures);
    };
    encoder::RegisterParallelBatch(kind, std::move(batch));
}

}  // namespace orvane::formats
