#pragma once
// Where an encoding job takes its files from: the single file of the request, the WAVE files of
// a folder, or the tracks of a CD that are read into WAVE files as the job goes. A job asks for
// one item at a time and names its outputs itself.

#include <functional>
#include <memory>
#include <string>

#include "encoder/app/id3.h"
#include "encoder/app/job_request.h"

namespace orvane::encoder {

class JobRunner;

struct SourceItem {
    std::string input;  // the WAVE file to encode
    // Where the encoder writes; empty: the output folder + the input's base name + the job's
    // extension.
    std::string output;
    // Not empty: once encoded, the output is renamed to finalStem + the job's extension (unless
    // a file of that name exists).
    std::string finalStem;
    bool tagged = false;  // tag is appended to the output
    Id3Tag tag;
    int trackNumber = 0;       // the CD track (1..99), 0 for files
    bool deleteInput = false;  // the input goes once it is encoded
};

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
