#pragma once
// The album's loudness of a folder batch whose files run as jobs of their own, several at once:
// each file's job hands over what it measured and wrote, and once every file has ended the
// batch writes the album's values into each file in the folder's order, as one job that takes
// the files one after the other does.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "encoder/job/job_request.h"
#include "encoder/job/parallel_batch.h"
#include "encoder/loudness/replay_gain.h"

namespace orvane::encoder {

class SharedAlbum : public BatchShared {
public:
    // A file's job hands over its ledger as file `number` of the batch; the ledger is left
    // empty. Files may hand theirs over in any order and at once.
    void Hand(int number, loudness::GainLedger& ledger);
    // Every ledger handed over so far, joined in file number order; the album is left empty.
    std::unique_ptr<loudness::GainLedger> Join();

private:
    std::mutex mutex_;
    std::map<int, std::unique_ptr<loudness::GainLedger>> ledgers_;
};

// At the end of a file's job: true when the job is one file of such a batch and handed its
// ledger to the batch's album (it then writes no album values itself); false for a job that
// writes the album itself.
bool HandToAlbum(const JobRequest& request, loudness::GainLedger& ledger);

// Writes the album's values into one written file as its format does; false with error.
using AlbumRetag = std::function<bool(const JobRequest& request, const std::string& path,
                                      const loudness::GainValues& album, std::string& error)>;

// Lets the batches of a kind that writes loudness values share the album (when the request
// asks for the values): the batch's last step writes the album's values with retag, adds the
// "Album gain" log line when logged, and a failure for each file it could not write.
void ShareAlbumGain(ParallelBatchKind& kind, AlbumRetag retag, bool logged);

}  // namespace orvane::encoder
