#include "encoder/job/album_gain.h"

#include <optional>
#include <utility>
#include <vector>

namespace orvane::encoder {

void SharedAlbum::Hand(int number, loudness::GainLedger& ledger) {
    auto own = std::make_unique<loudness::GainLedger>();
    own->TakeAlbum(ledger);
    std::lock_guard lock(mutex_);
    std::unique_ptr<loudness::GainLedger>& slot = ledgers_[number];
    if (slot)
        slot->TakeAlbum(*own);
    else
        slot = std::move(own);
}

std::unique_ptr<loudness::GainLedger> SharedAlbum::Join() {
    auto album = std::make_unique<loudness::GainLedger>();
    std::lock_guard lock(mutex_);
    for (auto& [number, ledger] : ledgers_)
        album->TakeAlbum(*ledger);
    ledgers_.clear();
    return album;
}

bool HandToAlbum(const JobRequest& request, loudness::GainLedger& ledger) {
    auto* album = dynamic_cast<SharedAlbum*>(request.item.shared.get());
    if (!request.OneItem() || !album) return false;
    album->Hand(request.item.number, ledger);
    return true;
}

void ShareAlbumGain(ParallelBatchKind& kind, AlbumRetag retag, bool logged) {
    kind.share = [](const JobRequest& request) -> std::shared_ptr<BatchShared> {
        if (!request.formats.replayGain) return nullptr;
        return std::make_shared<SharedAlbum>();
    };
    kind.finish = [retag = std::move(retag), logged](const JobRequest& request, BatchShared& shared,
                                                     std::string& log,
                                                     std::vector<FileFailure>& failures) {
        auto* album = dynamic_cast<SharedAlbum*>(&shared);
        if (!album) return;
        const std::unique_ptr<loudness::GainLedger> ledger = album->Join();
        const std::optional<loudness::GainValues> values = ledger->Album();
        if (!values) return;
        if (logged)
            log += "Album gain " + loudness::ReplayGainText(values->loudness) + ", peak " +
                   loudness::PeakText(values->peak) + "\r\n";
        for (const auto& [path, error] : ledger->WriteAlbum(
                 [&](const std::string&file, const loudness::GainTags&, std::string&why) {
                     return retag(request, file, *values, why);
                 }))
            failures.push_back(
                {path, "Error: The album's loudness could not be written: " + error});
    };
}

}  // namespace orvane::encoder
