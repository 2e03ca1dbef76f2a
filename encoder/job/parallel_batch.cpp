#include "encoder/job/parallel_batch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "encoder/job/input_source.h"
#include "encoder/job/job_kinds.h"
#include "encoder/tags/paths.h"

namespace orvane::encoder {

namespace {

constexpr int kMaxParallelJobs = 64;

std::string FileName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class ParallelBatchJob : public Job {
public:
    ParallelBatchJob(ParallelBatchKind kind, std::string pattern)
        : kind_(std::move(kind)), pattern_(std::move(pattern)) {}
    ~ParallelBatchJob() override { Join(); }

    void Run(JobRunner& r) override;
    void Cancel(JobRunner& r) override;
    void WindDown(JobRunner& r) override;
    void OnTick(JobRunner& r, int timerId) override;
    void Interrupt() override;
    void Join() override;
    unsigned StatisticsPeriodMs() const override { return kind_.statisticsMs; }

private:
    struct Item;

    // Passes one file's reports on to the batch.
    class ItemObserver : public JobObserver {
    public:
        ItemObserver(ParallelBatchJob& batch, Item& item) : batch_(batch), item_(item) {}
        void JobSetText(JobText which, const std::string& text) override {
            batch_.ItemText(item_, which, text);
        }
        void JobSetRange(JobBar bar, int low, int high) override {
            if (bar == JobBar::CurrentFile) batch_.ItemRange(item_, low, high);
        }
        void JobSetPos(JobBar bar, int pos) override {
            if (bar == JobBar::CurrentFile) batch_.ItemPos(item_, pos);
        }
        void JobSetCounter(JobCounter which, int value) override {
            batch_.ItemCounter(item_, which, value);
        }
        int JobMessage(const std::string& text, const std::string& caption,
                       unsigned flags) override {
            return batch_.ItemMessage(text, caption, flags);
        }
        // A file's own end is the batch's to report.
        void JobFinished(const JobOutcome&) override {}
        void JobClose(int) override {}
        void JobWorkerEnded() override { batch_.ItemEnded(item_); }

    private:
        ParallelBatchJob& batch_;
        Item& item_;
    };

    struct Item {
        int number = 0;
        std::string file;
        std::string name;   // in the list of the other running files
        std::string label;  // in the final message
        bool ended = false;
        JobOutcome outcome;  // once ended
        std::map<JobText, std::string> texts;
        int low = 0, high = 100, pos = 0;
        std::map<JobCounter, int> counters;
        std::string log;
        std::unique_ptr<ItemObserver> observer;
        std::shared_ptr<JobRunner> runner;  // shared: a cancel may reach it as it goes
    };

    void ItemText(Item& item, JobText which, const std::string& text);
    void ItemRange(Item& item, int low, int high);
    void ItemPos(Item& item, int pos);
    void ItemCounter(Item& item, JobCounter which, int value);
    int ItemMessage(const std::string& text, const std::string& caption, unsigned flags);
    void ItemEnded(Item& item);

    // Under mutex_: the oldest running file is followed (its texts shown again on a change);
    // the others are listed; the overall bar counts the files done.
    void Follow();
    void ShowOthers();
    void ShowOverall();
    // How far a file's bar is, in percent.
    static int Percent(const Item& item);
    std::vector<std::shared_ptr<JobRunner>> Running();
    // The final report of a batch whose every file has ended; last: the failures of the
    // batch's own last step.
    JobOutcome Report(const std::vector<FileFailure>& last);
    // A file's job waits (true) for its turn to take a name, or goes on (false).
    void Parked(bool waiting);
    // Under mutex_: every file's log lines, file after file, then the batch's own.
    std::string AllLogs() const;

    ParallelBatchKind kind_;
    std::string pattern_;  // the folder's files it takes
    JobRunner* parent_ = nullptr;
    std::atomic<bool> filesDone_{false};

    std::mutex mutex_;
    std::condition_variable ended_;
    std::vector<std::unique_ptr<Item>> items_;
    Item* followed_ = nullptr;
    int running_ = 0, parked_ = 0, done_ = 0, count_ = 0;
    int changes_ = 0;  // a file ended or parked: the batch may take another
    std::shared_ptr<NameTurns> turns_;
    std::vector<std::string> others_;
    std::pair<int, int> overallShown_{-1, -1};  // the overall bar's range and position shown
    std::string closingLog_;
    // Message boxes of several files are asked one at a time.
    std::mutex messageMutex_;
};

void ParallelBatchJob::Run(JobRunner& r) {
    SetBusy(true);
    const JobRequest& req = r.Request();
    const int limit = std::clamp(req.parallelJobs, 1, kMaxParallelJobs);
    JobRequest base = req;
    base.parallelJobs = 1;
    if (kind_.share && !base.item.shared) base.item.shared = kind_.share(req);
    // CD tracks take their final names in the disc's order.
    if (req.CdAudio())
        turns_ = std::make_shared<NameTurns>([this](int, bool waiting) { Parked(waiting); });
    // The CD's tracks are grabbed ahead, into a queue as long as the encoders are many.
    std::unique_ptr<InputSource> source =
        kind_.source ? kind_.source(req, base.item.shared.get()) : MakeInputSource(req, pattern_);
    int taken = 0;
    bool more = true;
    std::string cancelled;  // the source's own cancel
    std::unique_lock lock(mutex_);
    parent_ = &r;
    for (;;) {
        // Files waiting for their turn to take a name count apart, at most as many again.
        while (more && running_ < limit && parked_ < limit && !r.CancelRequested()) {
            lock.unlock();
            r.Redraw();
            InputSource::Next next = source->Take(r);
            const int count = source->Count();
            if (next.step == InputSource::Step::Item && kind_.carry)
                kind_.carry(base, next.item.input);
            lock.lock();
            if (next.step == InputSource::Step::Cancelled) cancelled = next.message;
            // A cancel that came meanwhile has already reached every runner of the list.
            if (next.step == InputSource::Step::End || next.step == InputSource::Step::Cancelled ||
                r.CancelRequested() ||
                (next.step == InputSource::Step::Item && taken + 1 > count)) {
                more = false;
                break;
            }
            ++taken;
            count_ = std::max(count, taken);
            auto item = std::make_unique<Item>();
            item->number = taken;
            item->file = next.item.input;
            item->name = next.item.label.empty() ? FileName(next.item.input) : next.item.label;
            item->label = next.item.Label();
            if (next.step == InputSource::Step::Failed) {
                // A track that could not be grabbed fails alone, in its place.
                item->ended = true;
                item->outcome.failures.push_back({next.item.Label(), next.message});
                items_.push_back(std::move(item));
                ++done_;
                if (turns_) turns_->Done(taken);
                ShowOverall();
                continue;
            }
            JobRequest one = base;
            one.item.file = next.item.input;
            one.item.number = taken;
            one.item.count = count_;
            if (turns_) {
                next.item.turns = turns_;
                next.item.turn = taken;
                one.item.source = std::make_shared<SourceItem>(std::move(next.item));
            }
            item->observer = std::make_unique<ItemObserver>(*this, *item);
            item->runner = std::make_shared<JobRunner>(std::move(one), *item->observer);
            Item& started = *item;
            items_.push_back(std::move(item));
            ++running_;
            ShowOverall();
            Follow();
            started.runner->Start();
        }
        if (!cancelled.empty() && !r.Finished()) {
            // The source stopped (the grab was cancelled): every running file ends as well.
            lock.unlock();
            r.RequestCancel();
            r.Finish(cancelled, JobResult::Cancelled);
            lock.lock();
        }
        if (running_ + parked_ == 0 && (!more || r.CancelRequested())) break;
        const int seen = changes_;
        ended_.wait(lock, [&] { return changes_ != seen || (more && r.CancelRequested()); });
        if (r.CancelRequested()) more = false;
    }
    lock.unlock();
    // Each file's job is over: what it leaves (its scratch files) goes now, not with the batch.
    for (const auto& item : items_)
        if (item->runner) {
            item->runner->Stop();
            item->outcome = item->runner->Outcome();
            std::lock_guard hold(mutex_);
            item->runner.reset();
        }
    source.reset();
    if (r.CancelRequested()) {
        SetBusy(false);
        return;
    }
    std::vector<FileFailure> last;
    if (kind_.finish && base.item.shared) {
        std::string lines;
        kind_.finish(req, *base.item.shared, lines, last);
        if (!lines.empty()) {
            lock.lock();
            closingLog_ = lines;
            r.SetText(JobText::Log, AllLogs());
            lock.unlock();
        }
    }
    JobOutcome outcome = Report(last);
    if (outcome.result == JobResult::Succeeded && kind_.finishedText)
        if (std::string text = kind_.finishedText(req, base.item.shared.get()); !text.empty())
            outcome.message = std::move(text);
    filesDone_ = true;
    SetBusy(false);
    if (kind_.statisticsMs > 0) r.StatisticsTimer(0);
    // Full bars say that every file was done; with failed files the bars stay as the files
    // left them.
    if (outcome.result == JobResult::Succeeded) {
        r.SetRange(JobBar::CurrentFile, 0, 100);
        r.SetPos(JobBar::CurrentFile, 100);
        r.SetRange(JobBar::Overall, 0, 100);
        r.SetPos(JobBar::Overall, 100);
    }
    r.Pause(kind_.closingPauseMs);
    r.Finish(std::move(outcome));
}

std::string ParallelBatchJob::AllLogs() const {
    std::string all;
    for (const auto& each : items_)
        all += each->log;
    return all + closingLog_;
}

JobOutcome ParallelBatchJob::Report(const std::vector<FileFailure>& last) {
    std::vector<FileFailure> failures;
    JobOutcome outcome;
    std::lock_guard lock(mutex_);
    for (const auto& item : items_) {
        JobOutcome one = item->outcome;
        if (one.result == JobResult::Succeeded) continue;
        if (one.failures.empty()) one.failures.push_back({item->label, ""});
        for (FileFailure& f : one.failures) {
            // A file without a reason of its own failed for what its job's message says.
            if (f.reason.empty()) f.reason = one.message;
            if (f.reason.empty()) f.reason = "The file's job ended without a result";
            failures.push_back(f);
        }
    }
    failures.insert(failures.end(), last.begin(), last.end());
    if (failures.empty()) {
        outcome.result = JobResult::Succeeded;
        outcome.message = kind_.finished;
        return outcome;
    }
    outcome.result = JobResult::Failed;
    outcome.message = FailureReport(kind_.verb, failures, static_cast<int>(items_.size()), true);
    outcome.failures = std::move(failures);
    return outcome;
}

void ParallelBatchJob::Cancel(JobRunner& r) {
    if (!Busy() && filesDone_) {
        // Only the closing pause is left: the window just closes.
        r.MarkFinished();
        r.Close(IDCANCEL);
        return;
    }
    if (r.WorkerRunning()) {
        r.RequestCancel();
        r.Finish("Current Process was Canceled.", JobResult::Cancelled);
        return;
    }
    r.Close(IDCANCEL);
}

std::vector<std::shared_ptr<JobRunner>> ParallelBatchJob::Running() {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<JobRunner>> running;
    for (const auto& item : items_)
        if (!item->ended && item->runner) running.push_back(item->runner);
    return running;
}

void ParallelBatchJob::Interrupt() {
    for (const auto& runner : Running())
        runner->RequestCancel();
    std::lock_guard lock(mutex_);
    ended_.notify_all();
}

void ParallelBatchJob::WindDown(JobRunner& r) {
    if (!r.CancelRequested()) return;
    // Each running file ends as a cancelled job of its kind ends: its child's input closed,
    // its output reader stopped.
    for (const auto& runner : Running())
        runner->Cancel();
}

void ParallelBatchJob::OnTick(JobRunner&, int timerId) {
    for (const auto& runner : Running())
        runner->Tick(timerId);
}

void ParallelBatchJob::Join() {
    std::vector<JobRunner*> all;
    {
        std::lock_guard lock(mutex_);
        for (const auto& item : items_)
            if (item->runner) all.push_back(item->runner.get());
    }
    for (JobRunner* runner : all)
        runner->Stop();
}

// ---------------------------------------------------------------------------------------------
// The files' reports

void ParallelBatchJob::ItemText(Item& item, JobText which, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (which == JobText::Log) {
        // The log holds every file's lines, file after file.
        item.log = text;
        parent_->SetText(JobText::Log, AllLogs());
        return;
    }
    item.texts[which] = text;
    if (&item == followed_) parent_->SetText(which, text);
}

void ParallelBatchJob::ItemRange(Item& item, int low, int high) {
    std::lock_guard lock(mutex_);
    item.low = low;
    item.high = high;
    if (&item == followed_) parent_->SetRange(JobBar::CurrentFile, low, high);
    ShowOthers();
}

void ParallelBatchJob::ItemPos(Item& item, int pos) {
    std::lock_guard lock(mutex_);
    item.pos = pos;
    if (&item == followed_) parent_->SetPos(JobBar::CurrentFile, pos);
    ShowOthers();
    if (!item.ended && !parent_->CancelRequested()) ShowOverall();
}

void ParallelBatchJob::ItemCounter(Item& item, JobCounter which, int value) {
    std::lock_guard lock(mutex_);
    item.counters[which] = value;
    if (&item == followed_) parent_->SetCounter(which, value);
}

int ParallelBatchJob::ItemMessage(const std::string& text, const std::string& caption,
                                  unsigned flags) {
    std::lock_guard lock(messageMutex_);
    if (parent_->Finished()) return IDOK;
    return parent_->Message(text, caption, flags);
}

void ParallelBatchJob::Parked(bool waiting) {
    std::lock_guard lock(mutex_);
    running_ += waiting ? -1 : 1;
    parked_ += waiting ? 1 : -1;
    ++changes_;
    ended_.notify_all();
}

void ParallelBatchJob::ItemEnded(Item& item) {
    std::lock_guard lock(mutex_);
    item.ended = true;
    --running_;
    ++done_;
    ++changes_;
    if (turns_) turns_->Done(item.number);
    if (!parent_->CancelRequested()) {
        ShowOverall();
        Follow();
    }
    ended_.notify_all();
}

int ParallelBatchJob::Percent(const Item& item) {
    const int span = item.high - item.low;
    return span > 0 ? std::clamp((item.pos - item.low) * 100 / span, 0, 100) : 0;
}

void ParallelBatchJob::ShowOverall() {
    // The files that ended count whole, each running file with the share it has done.
    int pos = done_ * 100;
    for (const auto& item : items_)
        if (!item->ended) pos += Percent(*item);
    const std::pair<int, int> shown{count_ * 100, pos};
    if (shown == overallShown_) return;
    overallShown_ = shown;
    parent_->SetRange(JobBar::Overall, 0, shown.first);
    parent_->SetPos(JobBar::Overall, shown.second);
}

void ParallelBatchJob::Follow() {
    Item* oldest = nullptr;
    for (const auto& item : items_)
        if (!item->ended) {
            oldest = item.get();
            break;
        }
    // With none running (at the end, or before the next file starts) the texts are those of
    // the last file taken, as when the files go one after the other: "File 4 of 4", not the
    // number of the one that happened to end last.
    if (!oldest)
        for (auto it = items_.rbegin(); it != items_.rend(); ++it)
            if (!(*it)->texts.empty()) {
                oldest = it->get();
                break;
            }
    if (oldest && oldest != followed_) {
        followed_ = oldest;
        for (const auto& [which, text] : oldest->texts)
            parent_->SetText(which, text);
        parent_->SetRange(JobBar::CurrentFile, oldest->low, oldest->high);
        parent_->SetPos(JobBar::CurrentFile, oldest->pos);
        for (const auto& [which, value] : oldest->counters)
            parent_->SetCounter(which, value);
    }
    ShowOthers();
}

void ParallelBatchJob::ShowOthers() {
    std::vector<std::string> lines;
    for (const auto& item : items_) {
        if (item->ended || item.get() == followed_) continue;
        const int percent = Percent(*item);
        char line[32];
        std::snprintf(line, sizeof line, "%d. ", item->number);
        lines.push_back(line + item->name + " - " + std::to_string(percent) + "%");
    }
    if (lines == others_) return;
    others_ = lines;
    parent_->SetOthers(lines);
}

}  // namespace

std::unique_ptr<Job> MakeParallelBatchJob(const JobRequest& request) {
    const JobKindEntry entry = KindEntry(request.kind);
    if (!entry.batch) return nullptr;
    return std::make_unique<ParallelBatchJob>(*entry.batch, entry.inputPattern);
}

int ParallelJobsSetting(long stored) {
    if (stored >= 1 && stored <= kMaxParallelJobs) return static_cast<int>(stored);
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp<unsigned>(cores, 1, kMaxParallelJobs));
}

}  // namespace orvane::encoder
