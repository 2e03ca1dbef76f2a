#include "programs/orvane-cdda/offset_command.h"

#include <algorithm>
#include <vector>

#include "encoder/cdda/accuraterip.h"
#include "encoder/cdda/offset_finder.h"
#include "encoder/cdda/reading.h"
#include "encoder/cdda/rip_settings.h"

namespace orvane::cdda {

namespace {

constexpr std::uint32_t kMarginSectors = kMaxOffsetSearch / kSamplesPerSector;  // 5

std::string Signed(int offset) { return (offset > 0 ? "+" : "") + std::to_string(offset); }

// The words of a span as the drive delivered them, from word 0 of words on.
class WordsRead final : public ReadObserver {
public:
    WordsRead(const OffsetCommand& command, std::int64_t first, std::vector<std::uint32_t>& words)
        : command_(command), first_(first), words_(words) {}
    // Asked before every request; a cancel once seen stays (OffsetCommand::cancelled).
    bool StopRequested() override { return command_.cancelled && command_.cancelled(); }
    bool Samples(std::uint32_t lba, std::uint32_t count, const std::uint8_t* asRead,
                 const std::uint8_t*) override {
        std::uint32_t* w = words_.data() + (lba - first_) * kSamplesPerSector;
        for (std::size_t i = 0; i < std::size_t{count} * kSamplesPerSector; ++i) {
            const std::uint8_t* p = asRead + 4 * i;
            w[i] = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                   std::uint32_t{p[3]} << 24;
        }
        return true;
    }

private:
    const OffsetCommand& command_;
    std::int64_t first_;
    std::vector<std::uint32_t>& words_;
};

// Reads the disc's sectors first..end-1 uncorrected into words (at word 0 on), zeros for
// sectors outside 0..audioEnd-1. False with a message when a read fails or is cancelled.
bool ReadWords(const CdDrive& drive, std::uint32_t leadOut, std::int64_t first, std::int64_t end,
               std::uint32_t audioEnd, const OffsetCommand& command,
               std::vector<std::uint32_t>& words, std::string& error) {
    words.assign(static_cast<std::size_t>(end - first) * kSamplesPerSector, 0);
    ReadSettings plain;  // no correction, one read a request
    SampleReader reader(drive, leadOut, plain);
    SpanRequest span;
    span.first = static_cast<std::uint32_t>(std::max<std::int64_t>(first, 0));
    span.end = static_cast<std::uint32_t>(
        std::max<std::int64_t>(std::min<std::int64_t>(end, audioEnd), span.first));
    span.chunk = static_cast<std::uint32_t>(std::clamp(command.sectorsPerRead, 1, 256));
    // The drive was put into audio blocks once for every track.
    span.blockMode = false;
    WordsRead observer(command, first, words);
    const SpanResult r = reader.ReadSpan(span, observer);
    if (r.outcome == SpanOutcome::Done) return true;
    if (r.result == kReadCancelled) {
        error = "interrupted";
    } else {
        error = "frames " + std::to_string(r.first) + " to " +
                std::to_string(r.first + r.count - 1) + " cannot be read (sense key " +
                std::to_string((r.result >> 16) & 0x0F) + ")";
    }
    return false;
}

}  // namespace

int RunOffsetCommand(const CdDrive& drive, const cdrom::DiscInfo& disc,
                     const OffsetCommand& command, encoder::SettingsStore& settings, std::FILE* out,
                     std::FILE* err) {
    const AccurateRipId id = ComputeAccurateRipId(disc);
    if (id.audioTracks == 0) {
        std::fprintf(err, "orvane-cdda: the disc has no audio tracks\n");
        return 1;
    }
    RipSettings stored = LoadRipSettings(settings, drive);
    std::string server = command.server.empty() ? stored.accurateRipServer : command.server;
    if (server.empty()) server = kDefaultAccurateRipServer;
    std::fprintf(out, "AccurateRip id: %s\n", id.Fingerprint().c_str());
    const AccurateRipReply reply = LookupAccurateRip(server, id, command.cancelled);
    std::fprintf(out, "AccurateRip lookup: %s\n", reply.message.c_str());
    if (reply.status != AccurateRipStatus::Found) {
        std::fprintf(err,
                     "orvane-cdda: the read offset cannot be found without the disc's "
                     "entries in the AccurateRip database\n");
        return 1;
    }

    OffsetFinder finder(reply, id.audioTracks);
    const std::uint32_t audioEnd = disc.AudioLeadOut();
    int index = -1, tried = 0;
    std::vector<std::uint32_t> words;
    for (const cdrom::TrackInfo& t : disc.tracks) {
        if (!t.audio) continue;
        ++index;
        if (!finder.HasEntries(index) || t.length == 0) continue;
        std::string error;
        const std::int64_t first = std::int64_t{t.start} - kMarginSectors;
        const std::int64_t end = std::int64_t{t.start} + t.length + kMarginSectors;
        std::fprintf(err, "reading track %d\n", t.number);
        if (!ReadWords(drive, disc.leadOut, first, end, audioEnd, command, words, error)) {
            std::fprintf(err, "orvane-cdda: track %d: %s\n", t.number, error.c_str());
            return 1;
        }
        finder.AddTrack(index, words.data(), std::uint64_t{t.length} * kSamplesPerSector);
        ++tried;
    }
    const std::vector<OffsetMatch> matches = finder.Matches();
    for (const OffsetMatch& m : matches) {
        std::fprintf(out, "offset %s: %d of %d tracks match (confidence %d)\n",
                     Signed(m.offset).c_str(), m.tracks, tried, m.confidence);
    }
    if (matches.empty()) {
        std::fprintf(err, "orvane-cdda: no read offset from -%d to +%d matches the database\n",
                     kMaxOffsetSearch, kMaxOffsetSearch);
        return 1;
    }
    const int best = matches.front().offset;
    std::fprintf(out, "best offset: %s\n", Signed(best).c_str());
    if (!command.store) {
        std::fprintf(out, "(--store keeps it for the drive's model)\n");
        return 0;
    }
    stored.read.offset = best;
    if (DriveIdentity(drive).empty() || !StoreRipSettings(settings, drive, stored)) {
        std::fprintf(err, "orvane-cdda: the offset cannot be stored\n");
        return 1;
    }
    std::fprintf(out, "stored %s for %s\n", Signed(best).c_str(), DriveIdentity(drive).c_str());
    return 0;
}

}  // namespace orvane::cdda
