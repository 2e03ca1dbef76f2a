#include "encoder/library/library_album.h"

#include <optional>
#include <utility>

#include "encoder/job/album_gain.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/parallel_batch.h"

namespace orvane::library {

FolderAlbums::FolderAlbums(encoder::JobKind kind, const encoder::JobRequest& request,
                           std::string outRoot)
    : kind_(kind), request_(request), outRoot_(std::move(outRoot)) {}

void FolderAlbums::Plan(const std::string& folder, bool converted) {
    std::lock_guard lock(mutex_);
    Folder& f = folders_[folder];
    ++f.total;
    if (converted) ++f.planned;
}

std::string FolderAlbums::Relative(const std::string& path) const {
    if (path.size() <= outRoot_.size() + 1) return ".";
    return path.substr(outRoot_.size() + 1);
}

FolderAlbums::Line FolderAlbums::Ended(const std::string& folder, int number,
                                       loudness::GainLedger& ledger) {
    Folder done;
    {
        std::lock_guard lock(mutex_);
        Folder& f = folders_[folder];
        if (!ledger.Files().empty()) ++f.kept;
        auto own = std::make_unique<loudness::GainLedger>();
        own->TakeAlbum(ledger);
        f.ledgers[number] = std::move(own);
        if (--f.planned > 0) return {};
        done = std::move(f);
        folders_.erase(folder);
    }
    // The folder's files are over: nothing else touches its ledgers or its outputs.
    loudness::GainLedger album;
    for (auto& [n, l] : done.ledgers)
        album.TakeAlbum(*l);
    Line line;
    if (done.kept == 0) return line;
    const std::string name = Relative(folder);
    line.partial = done.kept < done.total;
    const std::string part = line.partial ? " (only " + std::to_string(done.kept) + " of its " +
                                                std::to_string(done.total) + " audio files)"
                                          : "";
    const std::optional<loudness::GainValues> values = album.Album();
    if (!values) {
        line.text = "album " + name + part + ": too short or too quiet for album values";
        return line;
    }
    line.text = "album " + name + part + ": gain " + loudness::ReplayGainText(values->loudness) +
                ", peak " + loudness::PeakText(values->peak);
    std::vector<encoder::FileFailure> failed;
    const encoder::JobKindEntry entry = encoder::KindEntry(kind_);
    if (entry.batch && entry.batch->finish) {
        auto shared = std::make_shared<encoder::SharedAlbum>();
        shared->Hand(1, album);
        std::string log;
        entry.batch->finish(request_, *shared, log, failed);
    } else {
        for (const std::string& file : album.Files())
            failed.push_back(
                {file, "Error: The album's loudness cannot be written in this format"});
    }
    std::lock_guard lock(mutex_);
    for (encoder::FileFailure& f : failed) {
        f.input = Relative(f.input);
        failures_.push_back(std::move(f));
    }
    if (line.partial)
        partial_.push_back("  album " + name + ": only " + std::to_string(done.kept) + " of its " +
                           std::to_string(done.total) +
                           " audio files were converted in this run; --force measures them all");
    return line;
}

std::vector<encoder::FileFailure> FolderAlbums::Failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
}

std::vector<std::string> FolderAlbums::Summary() const {
    std::lock_guard lock(mutex_);
    return partial_;
}

}  // namespace orvane::library
