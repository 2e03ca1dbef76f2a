#include "encoder/formats/format_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "encoder/job/album_gain.h"
#include "encoder/job/input_source.h"
#include "encoder/job/parallel_batch.h"
#include "encoder/job/progress.h"
#include "encoder/tags/paths.h"
#include "platform/clock/clock.h"

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

std::string Describe(const PcmWave& w, bool floats) {
    return std::to_string(w.sampleRate) + " Hz, " + std::to_string(w.bits) +
           (floats ? "-bit float, " : "-bit, ") +
           (w.channels == 1   ? std::string("mono")
            : w.channels == 2 ? std::string("stereo")
                              : std::to_string(w.channels) + " channels");
}

}  // namespace

FormatJob::FormatJob(encoder::JobKind kind, fs::FileOps* ops) : ops_(ops) {
    const encoder::JobKindEntry entry = encoder::KindEntry(kind);
    traits_ = {entry.name, entry.extension};
}

FormatJob::~FormatJob() = default;

VorbisComments FormatJob::TrackGainComments(const loudness::GainValues& values) const {
    return loudness::TrackGainTags(values);
}

VorbisComments FormatJob::AlbumGainComments(const loudness::GainValues& values) const {
    return loudness::AlbumGainTags(values);
}

void FormatJob::Log(JobRunner& r, const std::string& line) {
    log_ += line + "\r\n";
    r.SetText(JobText::Log, log_);
}

void FormatJob::Run(JobRunner& r) {
    SetBusy(true);
    const JobRequest& req = r.Request();
    jobStart_ = clock::Time();
    r.SetText(JobText::Bitrate, BitrateText(req));
    if (req.formats.replayGain) loudness_ = std::make_unique<loudness::GainLedger>();
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
            if (loudness_) loudness_->Keep(written);
            continue;
        }
        if (loudness_) loudness_->Drop();
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
    // One file of a batch that runs several at once leaves the album to the batch.
    if (loudness_ && batch && !encoder::HandToAlbum(req, *loudness_)) WriteAlbumGain(r);
    // Full bars say that every file was done; a failed file leaves them where its work ended.
    if (failures_.empty()) {
        r.SetRange(JobBar::CurrentFile, 0, 100);
        r.SetPos(JobBar::CurrentFile, 100);
        r.SetRange(JobBar::Overall, 0, 100);
        r.SetPos(JobBar::Overall, 100);
    }
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
    outcome.failures = failures_;
    r.Finish(std::move(outcome));
}

std::string FormatJob::EncodeItem(JobRunner& r, const SourceItem& item, const std::string& output) {
    const JobRequest& req = r.Request();
    // A single file's feed stands in for its WAVE file, whose name then only labels it.
    encoder::PcmFeed* feed = req.batch ? nullptr : req.feed.get();
    for (const std::string* path : {&item.input, &output}) {
        if (feed && path == &item.input) continue;
        std::string problem = encoder::PathLengthProblem(*path);
        if (!problem.empty()) return problem;
    }
    fs::Status status;
    struct stat info {};
    Descriptor in(feed ? -1 : fs::OpenForReading(item.input, status, &info));
    PcmWave wave;
    if (feed) {
        wave = feed->Format();
    } else {
        if (in.get() < 0) return "Error: " + status.message;
        std::string reason = wave::ReadPcmWave(in.get(), info.st_size, wave);
        if (!reason.empty()) return reason;
        if (encoder::SameFile(item.input, output))
            return "Error: The output file cannot be the input file.";
    }
    std::unique_ptr<FormatEncoder> enc = MakeEncoder(req);
    const bool floats = feed && feed->Floats();
    if (floats && !enc->TakesFloats())
        return "Error: " + traits_.name + " files are not made from floating-point samples";
    std::string note;
    std::string reason = enc->Accepts(wave, note);
    if (!reason.empty()) return reason;
    Log(r, "Encoding " + item.Label() + " (" + Describe(wave, floats) + ") to " + traits_.name);
    if (!note.empty()) Log(r, note);

    VorbisComments comments;
    if (item.tagged) {
        comments = CommentsOfTag(FieldsOfItem(item.fullTags, item.tag,
                                              item.trackNumber > 0 ? item.trackNumber
                                              : req.batch          ? 0
                                                                   : req.formats.trackNumber));
        enc->SetPicture(item.fullTags.FrontPicture());
    }
    fs::WriteOptions options;
    options.ops = ops_;
    fs::AtomicFile file;
    if (status = file.Open(output, options); !status) return "Error: " + status.message;
    std::string error;
    // A feed's length is an estimate until its end: the encoder is not told it.
    PcmWave begun = wave;
    if (feed) begun.frames = 0;
    if (!enc->Begin(begun, comments, file, error)) return "Error: " + error;
    const bool measure =
        loudness_ &&
        loudness_->BeginTrack(wave.channels, static_cast<unsigned long>(wave.sampleRate));
    r.SetRange(JobBar::CurrentFile, 0, 100);
    if (!r.Request().batch) r.SetRange(JobBar::Overall, 0, 100);
    std::vector<std::int32_t> samples;
    const std::int64_t fileStart = clock::Time();
    ShowProgress(r, wave, 0, fileStart, file.size());
    int shown = -1;
    std::int64_t at = 0;
    for (;;) {
        if (r.CancelRequested()) return "Current Process was Canceled.";
        long got;
        if (floats) {
            const float* data = nullptr;
            got = feed->ReadFloats(kChunkFrames, data, error);
            if (got < 0) return "Error: " + error;
            if (got == 0) break;
            if (measure) loudness_->Add(data, static_cast<std::size_t>(got));
            if (!enc->WriteFloats(data, static_cast<std::size_t>(got), error))
                return "Error: " + error;
        } else {
            if (feed) {
                got = feed->Read(kChunkFrames, samples, error);
                if (got < 0) return "Error: " + error;
                if (got == 0) break;
            } else {
                if (at >= wave.frames) break;
                got = wave::ReadFrames(in.get(), wave, at, kChunkFrames, samples);
                if (got <= 0)
                    return "Error: Cannot read " + item.input + ": " + std::strerror(errno);
            }
            if (measure) loudness_->Add(samples.data(), static_cast<std::size_t>(got), wave.bits);
            if (!enc->Write(samples.data(), static_cast<std::size_t>(got), error))
                return "Error: " + error;
        }
        at += got;
        const int percent =
            wave.frames > 0 ? static_cast<int>(std::min(at, wave.frames) * 100 / wave.frames) : 0;
        if (percent != shown) {
            shown = percent;
            ShowProgress(r, wave, at, fileStart, file.size());
            r.SetPos(JobBar::CurrentFile, percent);
            if (!r.Request().batch) r.SetPos(JobBar::Overall, percent);
        }
    }
    if (!enc->End(error)) return "Error: " + error;
    // The output's size once it is whole.
    r.SetText(JobText::Compression,
              encoder::CompressedSizesText(at * wave.FrameBytes(), file.size()));
    if (measure) {
        if (std::optional<loudness::GainValues> track = loudness_->Track()) {
            Log(r, "Track gain " + loudness::ReplayGainText(track->loudness) + ", peak " +
                       loudness::PeakText(track->peak));
            if (!enc->Retag(file.tempPath(), TrackGainComments(*track), error))
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

void FormatJob::ShowProgress(JobRunner& r, const PcmWave& wave, std::int64_t done,
                             std::int64_t fileStart, std::int64_t outputBytes) {
    using encoder::JobCounter;
    const std::int64_t now = clock::Time();
    const std::int64_t fileSeconds = now - fileStart;
    const std::int64_t framesTotal = wave.frames * wave.FrameBytes() / encoder::kBytesPerFrameTotal;
    const std::int64_t framesDone = done * wave.FrameBytes() / encoder::kBytesPerFrameDone;
    r.SetCounter(JobCounter::Frames, static_cast<int>(framesTotal));
    r.SetCounter(JobCounter::CurrentFrame, static_cast<int>(std::min(framesDone, framesTotal)));
    r.SetText(JobText::Elapsed, encoder::ElapsedText(now - jobStart_));
    r.SetText(JobText::Rate, encoder::FramesPerSecondText(framesDone, fileSeconds));
    r.SetText(JobText::Remaining,
              done < wave.frames
                  ? encoder::EncoderRemainingText(
                        framesTotal, framesDone / encoder::RateSeconds(fileSeconds), fileSeconds)
                  : "00:00:00");
    r.SetText(JobText::Compression,
              encoder::CompressedSizesText(done * wave.FrameBytes(), outputBytes));
}

void FormatJob::WriteAlbumGain(JobRunner& r) {
    std::optional<loudness::GainValues> album = loudness_->Album();
    if (!album) return;
    Log(r, "Album gain " + loudness::ReplayGainText(album->loudness) + ", peak " +
               loudness::PeakText(album->peak));
    std::unique_ptr<FormatEncoder> enc = MakeEncoder(r.Request());
    const VorbisComments comments = AlbumGainComments(*album);
    // The format's own names for the album's values replace the ledger's.
    auto failed = loudness_->WriteAlbum(
        [&](const std::string& path, const loudness::GainTags&, std::string& error) {
            return enc->Retag(path, comments, error);
        });
    for (const auto& [path, error] : failed)
        failures_.push_back({path, "Error: The album's loudness could not be written: " + error});
}

bool FormatJob::RetagAlbum(const encoder::JobRequest& request, const std::string& path,
                           const loudness::GainValues& album, std::string& error) {
    return MakeEncoder(request)->Retag(path, AlbumGainComments(album), error);
}

std::shared_ptr<const encoder::ParallelBatchKind> FormatBatch(
    encoder::JobKind kind, std::function<std::unique_ptr<FormatJob>()> make) {
    encoder::ParallelBatchKind batch;
    batch.finished = encoder::KindEntry(kind).name + " Compression Finished.";
    batch.verb = "encoded";
    encoder::ShareAlbumGain(
        batch,
        [make = std::move(make)](const encoder::JobRequest& request, const std::string& path,
                                 const loudness::GainValues& album, std::string& error) {
            return make()->RetagAlbum(request, path, album, error);
        },
        true);
    return std::make_shared<const encoder::ParallelBatchKind>(std::move(batch));
}

}  // namespace orvane::formats
