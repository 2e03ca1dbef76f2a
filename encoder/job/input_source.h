#pragma once
// Where an encoding job takes its files from: the single file of the request, the WAVE files of
// a folder, or the tracks of a CD that are read into WAVE files as the job goes. A job asks for
// one item at a time and names its outputs itself.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "encoder/job/job_request.h"
#include "encoder/tags/id3.h"
#include "encoder/wave/wave_info.h"

namespace orvane::encoder {

class JobRunner;

// Files a job writes only for a while under names of its own (a grabbed track's WAVE file, an
// output before it takes its final name). Whatever is still held goes when the holder goes,
// however the job ends; a file moved to a name of its own is let go first.
class ScratchFiles {
public:
    ScratchFiles() = default;
    ~ScratchFiles();
    ScratchFiles(const ScratchFiles&) = delete;
    ScratchFiles& operator=(const ScratchFiles&) = delete;

    // The file is removed with this, or by a signal that ends the program (AtomicFile's
    // signal clean-up) before then.
    void Add(const std::string& path);
    bool Holds(const std::string& path) const;
    void Release(const std::string& path);

private:
    std::vector<std::string> paths_;
    std::vector<int> signalHandles_;  // of fs::RemoveOnSignal, one per path
};

// The order in which the items of a batch that runs several at once take their final names:
// the one-after-the-other order, so that names taken twice get their numbers as they would
// there. Item n (from 1) has its turn once every item before it is over.
class NameTurns {
public:
    // parked: told on the waiting item's thread as it starts (true) and stops (false) waiting
    // for its turn; may be empty.
    explicit NameTurns(std::function<void(int number, bool waiting)> parked = {})
        : parked_(std::move(parked)) {}
    // Returns once item number has its turn.
    void Wait(int number);
    // Item number is over (settled, failed or cancelled); later items may have their turns.
    void Done(int number);

private:
    std::function<void(int, bool)> parked_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<int> done_;
    int next_ = 1;
};

struct SourceItem {
    std::string input;  // the WAVE file to encode
    // Where the encoder writes; empty: the output folder + the input's base name + the job's
    // extension.
    std::string output;
    // Not empty: once encoded, the output moves to finalStem + the job's extension, or to a
    // numbered name ("<stem> (2).MP3") when that one is taken.
    std::string finalStem;
    // How the status window and the final message name the item; empty: by its input.
    std::string label;
    bool tagged = false;  // tag is appended to the output
    Id3Tag tag;
    tags::TrackTags fullTags;  // the tag's full texts (ID3v2)
    int trackNumber = 0;       // the CD track (1..99), 0 for files
    bool deleteInput = false;  // the input goes once it is encoded
    // The item's files under job-owned names (shared: items are copied).
    std::shared_ptr<ScratchFiles> scratch;
    // With several items at once: the batch's turns and this item's number in them.
    std::shared_ptr<NameTurns> turns;
    int turn = 0;
    // Told the name the output finally took (numbered when the planned one was taken).
    std::function<void(const std::string& path)> settled;

    const std::string& Label() const { return label.empty() ? input : label; }
    bool InScratch(const std::string& path) const { return scratch && scratch->Holds(path); }
    // Waits until the item may take a name of its own (at once outside such a batch).
    void TakeTurn() const {
        if (turns) turns->Wait(turn);
    }
};

// The end of an item's input once its encode is over: deleted when the item asks for that and
// the encode succeeded; else an input under a job-owned name is kept under stem + ".WAV"
// (numbered when taken). Returns the path it was kept under; empty when it went or is the
// user's own file.
std::string SettleInput(const SourceItem& item, const std::string& stem, bool encoded);
// The item's output moved to its final name, stem + ext or numbered (see MoveToFreeName).
// Returns the name taken; empty, with error, when it could not be moved.
std::string SettleOutput(const SourceItem& item, const std::string& output, const std::string& stem,
                         const std::string& ext, std::string& error);
// What a failed track's report adds about its grabbed WAVE file.
std::string KeptInputNote(const std::string& keptPath);

class InputSource {
public:
    enum class Step {
        Item,       // item holds the next file
        End,        // no item is left
        Failed,     // this item could not be made ready (message says why); the job goes on
        Cancelled,  // the user stopped the source; the job ends as cancelled
    };
    struct Next {
        Step step = Step::End;
        SourceItem item;
        std::string message;
    };

    virtual ~InputSource() = default;
    // False for the single file (no batch counters, no per-file title).
    virtual bool Batch() const = 0;
    // The next item, on the job's worker thread.
    virtual Next Take(JobRunner& runner) = 0;
    // The number of items of the job, as known after the last Take.
    virtual int Count() const = 0;
};

// The source of the CD tracks a CD-Audio request names; installed by the CD grabbing code.
using CdSourceFactory = std::function<std::unique_ptr<InputSource>(const JobRequest&)>;
void SetCdTrackSource(CdSourceFactory factory);

// The request's source: its single file, the files of its input folder that match pattern
// ("*.WAV", "*.MP3"), or the CD's tracks (none without a CD source installed).
std::unique_ptr<InputSource> MakeInputSource(const JobRequest& request, const std::string& pattern);
// The CD's tracks of a CD-Audio request as their grabbed WAVE files alone, read one after the
// other: the source of the jobs that make files of their own of every track's one read.
std::unique_ptr<InputSource> MakeGrabbedWaveSource(const JobRequest& request);

// The files that the request's job would replace: the single file's output, or the outputs a
// folder batch names after its input files, where a file (not a folder) holds that name
// already (the kind's extension and input pattern, job_kinds.h); in the order the job writes them.
// CD tracks take names no file holds: none.
std::vector<std::string> ExistingOutputs(const JobRequest& request);
// The WAVE inputs an MP3 job of the request meets, as their headers tell (channels, sample
// rate): the single file's, those of a folder batch's "*.WAV" files, 44.1 kHz stereo for CD
// tracks. An input that cannot be read or is no WAVE file is left out.
std::vector<WaveInfo> InputWaveFormats(const JobRequest& request);

// The folder scan on its own (every Take counts the matches anew, as files may come and go).
class FolderSource : public InputSource {
public:
    FolderSource(std::string folder, std::string pattern);
    bool Batch() const override { return true; }
    Next Take(JobRunner& runner) override;
    int Count() const override { return count_; }

private:
    std::string folder_, pattern_;
    bool firstFind_ = true;
    std::vector<std::string> finder_;
    std::size_t index_ = 0;
    int count_ = 0;
};

}  // namespace orvane::encoder
