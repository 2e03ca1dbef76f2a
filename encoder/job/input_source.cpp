#include "encoder/job/input_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <utility>

#include "encoder/job/job_kinds.h"
#include "encoder/job/read_ahead_source.h"
#include "encoder/tags/paths.h"
#include "platform/fs/fs.h"

namespace orvane::encoder {

namespace {

// A source of exactly one item, handed out once.
class OneShotSource : public InputSource {
public:
    Next Take(JobRunner&) override {
        if (taken_) return {};
        taken_ = true;
        return {Step::Item, item_, {}};
    }
    int Count() const override { return 1; }

protected:
    SourceItem item_;

private:
    bool taken_ = false;
};

class SingleFileSource : public OneShotSource {
public:
    explicit SingleFileSource(const JobRequest& r) {
        item_.input = r.input;
        item_.output = r.output;
        item_.tagged = r.singleFileTag;
        item_.tag = r.tags[1];
        item_.fullTags = r.FullTags(1);
    }
    bool Batch() const override { return false; }
};

// The one item of a batch that a job of its own encodes, as its batch took it.
class OneItemSource : public OneShotSource {
public:
    explicit OneItemSource(SourceItem item) { item_ = std::move(item); }
    bool Batch() const override { return true; }
};

// The one file of a folder batch that a job of its own encodes.
class OneFileSource : public InputSource {
public:
    explicit OneFileSource(std::string file) : file_(std::move(file)) {}
    bool Batch() const override { return true; }
    Next Take(JobRunner&) override {
        if (taken_) return {};
        taken_ = true;
        Next next;
        next.step = Step::Item;
        next.item.input = file_;
        return next;
    }
    int Count() const override { return 1; }

private:
    std::string file_;
    bool taken_ = false;
};

// A CD source without the CD code: no tracks.
class NoTracks : public InputSource {
public:
    bool Batch() const override { return true; }
    Next Take(JobRunner&) override { return {}; }
    int Count() const override { return 0; }
};

std::mutex& CdMutex() {
    static std::mutex m;
    return m;
}
CdSourceFactory& CdFactory() {
    static CdSourceFactory f;
    return f;
}

}  // namespace

ScratchFiles::~ScratchFiles() {
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        ::unlink(paths_[i].c_str());
        orvane::fs::KeepOnSignal(signalHandles_[i]);
    }
}

void ScratchFiles::Add(const std::string& path) {
    paths_.push_back(path);
    signalHandles_.push_back(orvane::fs::RemoveOnSignal(path));
}

bool ScratchFiles::Holds(const std::string& path) const {
    return std::find(paths_.begin(), paths_.end(), path) != paths_.end();
}

void ScratchFiles::Release(const std::string& path) {
    for (std::size_t i = paths_.size(); i-- > 0;) {
        if (paths_[i] != path) continue;
        orvane::fs::KeepOnSignal(signalHandles_[i]);
        paths_.erase(paths_.begin() + static_cast<std::ptrdiff_t>(i));
        signalHandles_.erase(signalHandles_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void NameTurns::Wait(int number) {
    std::unique_lock lock(mutex_);
    if (next_ >= number) return;
    lock.unlock();
    if (parked_) parked_(number, true);
    lock.lock();
    changed_.wait(lock, [&] { return next_ >= number; });
    lock.unlock();
    if (parked_) parked_(number, false);
}

void NameTurns::Done(int number) {
    {
        std::lock_guard lock(mutex_);
        done_.insert(number);
        while (done_.count(next_))
            done_.erase(next_++);
    }
    changed_.notify_all();
}

std::string SettleInput(const SourceItem& item, const std::string& stem, bool encoded) {
    item.TakeTurn();
    if (encoded && item.deleteInput) {
        ::unlink(item.input.c_str());
        if (item.scratch) item.scratch->Release(item.input);
        return {};
    }
    if (!item.InScratch(item.input) || stem.empty()) return {};
    std::string error;
    std::string kept = MoveToFreeName(item.input, stem, ".WAV", error);
    if (!kept.empty()) item.scratch->Release(item.input);
    return kept;
}

std::string SettleOutput(const SourceItem& item, const std::string& output, const std::string& stem,
                         const std::string& ext, std::string& error) {
    item.TakeTurn();
    std::string final = MoveToFreeName(output, stem, ext, error);
    if (!final.empty() && item.scratch) item.scratch->Release(output);
    if (!final.empty() && item.settled) item.settled(final);
    return final;
}

std::string KeptInputNote(const std::string& keptPath) {
    if (keptPath.empty()) return "; the grabbed WAVE file could not be kept";
    return "; the grabbed WAVE file was kept as " + keptPath;
}

void SetCdTrackSource(CdSourceFactory factory) {
    std::lock_guard lock(CdMutex());
    CdFactory() = std::move(factory);
}

std::unique_ptr<InputSource> MakeInputSource(const JobRequest& request,
                                             const std::string& pattern) {
    if (!request.batch) return std::make_unique<SingleFileSource>(request);
    if (request.OneItem()) {
        if (request.item.source) return std::make_unique<OneItemSource>(*request.item.source);
        return std::make_unique<OneFileSource>(request.item.file);
    }
    if (request.CdAudio()) {
        CdSourceFactory factory;
        {
            std::lock_guard lock(CdMutex());
            factory = CdFactory();
        }
        std::unique_ptr<InputSource> source = factory ? factory(request) : nullptr;
        if (!source) return std::make_unique<NoTracks>();
        // With several jobs allowed, the next tracks are grabbed while one is encoded.
        if (request.parallelJobs > 1) {
            ReadAheadLimits limits;
            limits.items = request.parallelJobs;
            limits.folder = OutputFolderOf(request.output);
            if (limits.folder.empty()) limits.folder = MusicFolder();
            source = std::make_unique<ReadAheadSource>(std::move(source), limits);
        }
        return source;
    }
    return std::make_unique<FolderSource>(WithTrailingSlash(request.input), pattern);
}

std::unique_ptr<InputSource> MakeGrabbedWaveSource(const JobRequest& request) {
    JobRequest waves = request;
    waves.kind = JobKind::Decode;
    waves.parallelJobs = 1;
    return MakeInputSource(waves, "*.WAV");
}

std::vector<std::string> ExistingOutputs(const JobRequest& request) {
    auto taken = [](const std::string& path) {
        struct stat st {};
        return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    };
    std::vector<std::string> out;
    if (!request.batch) {
        if (taken(request.output)) out.push_back(request.output);
        return out;
    }
    if (request.CdAudio() || request.OneItem()) return out;
    const std::string folder = OutputFolderOf(request.output);
    if (folder.empty()) return out;
    const JobKindEntry kind = KindEntry(request.kind);
    for (const std::string& name : FindFiles(WithTrailingSlash(request.input), kind.inputPattern)) {
        const std::string output = folder + BaseName(name) + kind.extension;
        if (taken(output)) out.push_back(output);
    }
    return out;
}

std::vector<WaveInfo> InputWaveFormats(const JobRequest& request) {
    std::vector<WaveInfo> formats;
    if (request.CdAudio()) {
        WaveInfo cd;
        cd.isWave = true;
        cd.channels = 2;
        cd.sampleRate = 44100;
        formats.push_back(cd);
        return formats;
    }
    auto read = [&formats](const std::string& path) {
        fs::Status status;
        struct stat info {};
        const int fd = fs::OpenForReading(path, status, &info);
        if (fd < 0) return;
        const WaveInfo wave = ReadWaveInfo(fd, info.st_size);
        ::close(fd);
        if (wave.isWave && wave.channels > 0 && wave.sampleRate > 0) formats.push_back(wave);
    };
    if (!request.batch) {
        read(request.input);
        return formats;
    }
    const std::string folder = WithTrailingSlash(request.input);
    for (const std::string& name : FindFiles(folder, "*.WAV"))
        read(folder + name);
    return formats;
}

FolderSource::FolderSource(std::string folder, std::string pattern)
    : folder_(std::move(folder)), pattern_(std::move(pattern)) {}

InputSource::Next FolderSource::Take(JobRunner&) {
    std::vector<std::string> all = FindFiles(folder_, pattern_);
    count_ = static_cast<int>(all.size());
    if (all.empty()) return {};
    if (firstFind_) {
        firstFind_ = false;
        finder_ = std::move(all);
        index_ = 0;
    } else {
        ++index_;
    }
    if (index_ >= finder_.size()) return {};
    Next next;
    next.step = Step::Item;
    next.item.input = folder_ + finder_[index_];
    return next;
}

}  // namespace orvane::encoder
