#pragma once
// The ReplayGain albums of a library run: the files converted into one output folder in the
// run are that folder's album. Each file's samples are measured as they pass to its job (which
// writes the file's own values); once the last file planned for a folder has ended, the album's
// values go into every file of the folder that was written, through the target kind's own
// retagging (encoder/job/album_gain.h). A folder where some audio files were skipped (up to
// date) or failed has an album of the converted files only, which its line and the summary say:
// a run with --force measures them all.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "encoder/job/job.h"
#include "encoder/job/job_request.h"
#include "encoder/job/job_runner.h"
#include "encoder/loudness/replay_gain.h"

namespace orvane::library {

class FolderAlbums {
public:
    // kind: the target's job kind, registered with its batch traits; request: the run's base
    // request. outRoot: the output folder, whose relative names the lines use.
    FolderAlbums(encoder::JobKind kind, const encoder::JobRequest& request, std::string outRoot);

    // Before the run: an audio file of folder that is converted (planned) or was left out
    // (skipped, failed before it began).
    void Plan(const std::string& folder, bool converted);
    // What the run says of a folder's album once its last file has ended.
    struct Line {
        std::string text;      // empty: nothing (no file of the folder was written)
        bool partial = false;  // the album is only part of the folder's audio files
    };
    // A converted file of folder has ended; ledger: its outputs, measured, those written kept
    // (left empty). number: the file's place in the run, which orders the album's files. The
    // album's values are written once the folder's last planned file has ended.
    Line Ended(const std::string& folder, int number, loudness::GainLedger& ledger);
    // The files whose album values could not be written, by their paths below the output
    // folder, and the summary's lines of the albums of only part of their folders.
    std::vector<encoder::FileFailure> Failures() const;
    std::vector<std::string> Summary() const;

private:
    struct Folder {
        int planned = 0;  // converted files not yet ended
        int total = 0;    // audio files of the folder in the plan
        int kept = 0;     // converted files with an output in the album
        std::map<int, std::unique_ptr<loudness::GainLedger>> ledgers;
    };
    std::string Relative(const std::string& path) const;

    encoder::JobKind kind_;
    encoder::JobRequest request_;
    std::string outRoot_;
    mutable std::mutex mutex_;
    std::map<std::string, Folder> folders_;
    std::vector<encoder::FileFailure> failures_;
    std::vector<std::string> partial_;
};

}  // namespace orvane::library
