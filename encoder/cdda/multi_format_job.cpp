#include "encoder/cdda/multi_format_job.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <utility>

#include "encoder/cdda/cd_job.h"
#include "encoder/cdda/cover_tracks.h"
#include "encoder/cdda/verified_rip.h"
#include "encoder/job/input_source.h"
#include "encoder/job/job_kinds.h"
#include "encoder/mp3/child_job.h"
#include "encoder/tags/name_pattern.h"
#include "encoder/tags/paths.h"

namespace orvane::cdda {

namespace {

using encoder::JobKind;
using encoder::JobOutcome;
using encoder::JobResult;
using encoder::JobRunner;

// A format's job for one track, windowless: its outcome is all the rip wants of it; its
// message boxes go to the rip's window.
class FormatObserver final : public encoder::JobObserver {
public:
    explicit FormatObserver(JobRunner& parent) : parent_(parent) {}
    void JobSetText(encoder::JobText, const std::string&) override {}
    void JobSetRange(encoder::JobBar, int, int) override {}
    void JobSetPos(encoder::JobBar, int) override {}
    void JobSetCounter(encoder::JobCounter, int) override {}
    int JobMessage(const std::string& text, const std::string& caption, unsigned flags) override {
        return parent_.Message(text, caption, flags);
    }
    void JobFinished(const JobOutcome&) override {}
    void JobClose(int) override {}

private:
    JobRunner& parent_;
};

struct FormatRun {
    std::size_t format = 0;
    std::unique_ptr<FormatObserver> observer;
    std::unique_ptr<JobRunner> runner;
};

// One track: its grabbed WAVE file (held by the source's item) and a job per format on it.
struct TrackRun {
    encoder::SourceItem item;
    std::vector<FormatRun> formats;
};

class MultiFormatJob final : public encoder::Job {
public:
    MultiFormatJob(std::vector<JobKind> kinds, std::string folderPattern)
        : kinds_(std::move(kinds)), pattern_(std::move(folderPattern)) {}

    void Run(JobRunner& r) override;
    void Interrupt() override {
        std::lock_guard lock(mutex_);
        if (!running_) return;
        for (FormatRun& f : running_->formats)
            if (f.runner) f.runner->RequestCancel();
    }

private:
    // Starts the track's formats; the WAVE format is the grabbed file itself, settled last.
    void Start(JobRunner& r, TrackRun& track, int number, int count);
    // Waits for the track's formats and settles its WAVE file; failures in failures.
    void Finish(TrackRun& track, std::vector<encoder::FileFailure>& failures);
    std::string FolderOfFormat(std::size_t k) const {
        return encoder::WithTrailingSlash(folder_) + FormatFolderOf(pattern_, kinds_[k]);
    }
    std::string StemIn(std::size_t k, const std::string& finalStem) const {
        const std::string root = encoder::WithTrailingSlash(folder_);
        const std::string relative = finalStem.compare(0, root.size(), root) == 0
                                         ? finalStem.substr(root.size())
                                         : finalStem;
        return encoder::WithTrailingSlash(folder_) + FormatFolderOf(pattern_, kinds_[k]) + relative;
    }
    std::string Planned(const encoder::SourceItem& item) const {
        return item.finalStem + encoder::KindEntry(JobKind::Decode).extension;
    }

    std::vector<JobKind> kinds_;
    std::string pattern_, folder_;
    std::shared_ptr<RipRecorder> recorder_;
    // The cover file that goes beside each format's tracks (null: none).
    std::shared_ptr<CoverBesideTracks> cover_;
    std::mutex mutex_;
    std::unique_ptr<TrackRun> running_;  // the track whose formats run while the next is read
    std::vector<encoder::FileFailure> failed_;  // formats that could not even start
};

void MultiFormatJob::Start(JobRunner& r, TrackRun& track, int number, int count) {
    const encoder::SourceItem& item = track.item;
    for (std::size_t k = 0; k < kinds_.size(); ++k) {
        if (kinds_[k] == JobKind::Decode) continue;
        const encoder::JobKindEntry entry = encoder::KindEntry(kinds_[k]);
        encoder::JobRequest one = r.Request();
        one.kind = kinds_[k];
        one.output = encoder::WithTrailingSlash(FolderOfFormat(k));
        one.paced = false;
        one.parallelJobs = 1;
        one.item.file = item.input;
        one.item.number = number;
        one.item.count = count;
        auto source = std::make_shared<encoder::SourceItem>(item);
        source->finalStem = StemIn(k, item.finalStem);
        source->deleteInput = false;  // the other formats read it too
        source->turns = nullptr;
        source->scratch = std::make_shared<encoder::ScratchFiles>();
        std::string error;
        const std::string relative = source->finalStem.substr(folder_.size() + 1);
        if (!encoder::MakeNameFolders(folder_, relative, error)) {
            source->output.clear();
        } else {
            source->output =
                ReserveScratchName(FolderOfFormat(k), number - 1, entry.extension, error);
        }
        FormatRun run;
        run.format = k;
        if (source->output.empty()) {
            // The format fails for this track alone.
            track.formats.push_back(std::move(run));
            failed_.push_back({item.Label() + " (" + entry.name + ")", "Error: " + error});
            continue;
        }
        source->scratch->Add(source->output);
        const std::string planned = Planned(item);
        source->settled = [recorder = recorder_, cover = cover_, k,
                           planned](const std::string& path) {
            if (recorder) recorder->SettledIn(k, planned, path);
            if (cover) cover->Settled(path);
        };
        one.item.source = source;
        run.observer = std::make_unique<FormatObserver>(r);
        run.runner = std::make_unique<JobRunner>(std::move(one), *run.observer);
        run.runner->Start();
        track.formats.push_back(std::move(run));
    }
}

void MultiFormatJob::Finish(TrackRun& track, std::vector<encoder::FileFailure>& failures) {
    failures.insert(failures.end(), failed_.begin(), failed_.end());
    failed_.clear();
    for (FormatRun& f : track.formats) {
        if (!f.runner) continue;
        f.runner->Wait();
        f.runner->Stop();
        const JobOutcome outcome = f.runner->Outcome();
        if (outcome.result == JobResult::Succeeded) continue;
        const std::string name = encoder::KindEntry(kinds_[f.format]).name;
        std::string reason = outcome.message;
        for (const encoder::FileFailure& each : outcome.failures)
            if (!each.reason.empty()) reason = each.reason;
        failures.push_back({track.item.Label() + " (" + name + ")",
                            reason.empty() ? "The " + name + " encoder failed" : reason});
    }
    const auto wav = std::find(kinds_.begin(), kinds_.end(), JobKind::Decode);
    if (wav == kinds_.end()) return;  // the grabbed file goes with the item's scratch files
    const auto k = static_cast<std::size_t>(wav - kinds_.begin());
    encoder::SourceItem item = track.item;
    item.finalStem = StemIn(k, track.item.finalStem);
    std::string error;
    if (!encoder::MakeNameFolders(folder_, item.finalStem.substr(folder_.size() + 1), error)) {
        failures.push_back({item.Label() + " (WAVE)", "Error: " + error});
        return;
    }
    item.settled = [recorder = recorder_, cover = cover_, k,
                    planned = Planned(track.item)](const std::string& p) {
        if (recorder) recorder->SettledIn(k, planned, p);
        if (cover) cover->Settled(p);
    };
    if (encoder::SettleOutput(item, item.input, item.finalStem, ".WAV", error).empty())
        failures.push_back({item.Label() + " (WAVE)", "Error: " + error});
}

void MultiFormatJob::Run(JobRunner& r) {
    using Step = encoder::InputSource::Step;
    SetBusy(true);
    std::unique_ptr<encoder::InputSource> source = encoder::MakeGrabbedWaveSource(r.Request());
    auto* cd = dynamic_cast<CdTrackSource*>(source.get());
    folder_ = cd ? cd->Folder() : encoder::OutputFolderOf(r.Request().output);
    while (!folder_.empty() && folder_.back() == '/')
        folder_.pop_back();
    std::vector<encoder::FileFailure> failures;
    int taken = 0;
    bool cancelled = false;
    const auto settlePrevious = [&] {
        std::unique_ptr<TrackRun> previous;
        {
            std::lock_guard lock(mutex_);
            previous = std::move(running_);
        }
        if (previous) Finish(*previous, failures);
    };
    for (;;) {
        // The next track is read while the formats of the one before are being written.
        encoder::InputSource::Next next = source->Take(r);
        if (cd) cover_ = cd->Cover();
        if (!recorder_ && cd) {
            recorder_ = cd->Recorder();
            if (recorder_) {
                std::vector<RipRecorder::FormatLog> logs;
                for (std::size_t k = 0; k < kinds_.size(); ++k) {
                    std::string folder = FolderOfFormat(k);
                    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
                    logs.push_back({folder, encoder::KindEntry(kinds_[k]).extension});
                }
                recorder_->SetFormatLogs(std::move(logs));
            }
        }
        if (next.step == Step::End) break;
        if (next.step == Step::Cancelled || r.CancelRequested()) {
            cancelled = true;
            break;
        }
        if (next.step == Step::Failed) {
            failures.push_back({next.item.Label(), next.message});
            continue;
        }
        ++taken;
        r.SetText(encoder::JobText::Input, next.item.Label());
        settlePrevious();
        auto track = std::make_unique<TrackRun>();
        track->item = std::move(next.item);
        Start(r, *track, taken, std::max(source->Count(), taken));
        std::lock_guard lock(mutex_);
        running_ = std::move(track);
    }
    if (cancelled) {
        Interrupt();
        settlePrevious();
        SetBusy(false);
        r.RequestCancel();
        r.Finish("Current Process was Canceled.", JobResult::Cancelled);
        return;
    }
    settlePrevious();
    SetBusy(false);
    JobOutcome outcome;
    outcome.failures = std::move(failures);
    if (outcome.failures.empty()) {
        outcome.result = JobResult::Succeeded;
        outcome.message = "The selected track(s) has been saved to disk.";
    } else {
        outcome.result = JobResult::Failed;
        outcome.message = encoder::FailureReport(
            "saved", outcome.failures,
            std::max(source->Count(), 1) * static_cast<int>(kinds_.size()), true);
    }
    r.Finish(std::move(outcome));
}

}  // namespace

std::string FormatFolderName(JobKind kind) {
    switch (kind) {
        case JobKind::EncodeFlac:
            return "FLAC";
        case JobKind::EncodeOpus:
            return "Opus";
        case JobKind::EncodeMp3:
            return "MP3";
        case JobKind::EncodeWma:
            return "WMA";
        case JobKind::Decode:
            return "WAV";
    }
    return "Other";
}

std::string FormatFolderOf(const std::string& pattern, JobKind kind) {
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'F') {
            text += FormatFolderName(kind);
            ++i;
        } else if (static_cast<unsigned char>(pattern[i]) >= 0x20 && pattern[i] != 0x7F) {
            text += pattern[i];
        }
    }
    std::string out;
    std::istringstream parts(text);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part.empty() || part == "." || part == "..") continue;
        out += part + "/";
    }
    return out;
}

bool ParseFormatList(const std::string& text, std::vector<JobKind>& kinds, std::string& error) {
    kinds.clear();
    std::istringstream names(text);
    std::string name;
    while (std::getline(names, name, ',')) {
        const auto kind = encoder::KindByFormat(name);
        if (!kind) {
            error = "unknown format \"" + name + "\"";
            return false;
        }
        if (std::find(kinds.begin(), kinds.end(), *kind) != kinds.end()) {
            error = "the format \"" + name + "\" is named twice";
            return false;
        }
        kinds.push_back(*kind);
    }
    if (kinds.empty() || text.empty() || text.back() == ',') {
        error = "no format named";
        return false;
    }
    return true;
}

std::unique_ptr<encoder::Job> MakeMultiFormatJob(std::vector<JobKind> kinds,
                                                 std::string folderPattern) {
    return std::make_unique<MultiFormatJob>(std::move(kinds), std::move(folderPattern));
}

}  // namespace orvane::cdda
