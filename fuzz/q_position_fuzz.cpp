// The Q sub-channel as a drive gives it per sector: one 12-byte frame parsed alone, then a disc's
// pregaps and index points found from a drive whose frames are the input's, as damaged and
// out of order as they come. The scan keeps to its budget and to the disc's sectors, and what
// it sets lies within the tracks.

#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/cdrom/index_scan.h"

namespace {

using orvane::fuzz::Check;
namespace cdrom = orvane::cdrom;

constexpr std::size_t kFrame = 12;

void CheckPosition(const cdrom::QPosition& q) {
    Check((q.track >= 0 && q.track <= 99) || q.track == 0xAA, "a track number is 0-99 or AAh");
    Check(q.index >= 0 && q.index <= 99, "an index is 0-99");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8 + kFrame) return 0;
    // The disc: up to six tracks of the input's lengths, the tracks after a data track in a
    // second session.
    cdrom::DiscInfo disc;
    const int count = 1 + data[0] % 6;
    const int firstNumber = 1 + data[1] % 90;
    std::uint32_t at = data[2] % 200;
    for (int i = 0; i < count; ++i) {
        cdrom::TrackInfo t;
        t.number = static_cast<std::uint8_t>(firstNumber + i);
        t.start = at;
        t.length = 1 + static_cast<std::uint32_t>(data[3 + i % 4]) * 3;
        t.audio = (data[7] >> i & 1) == 0 || i == 0;
        t.session =
            i > 0 && !disc.tracks.back().audio ? 2 : (i > 0 ? disc.tracks.back().session : 1);
        t.indexes = {t.start};
        at += t.length;
        disc.tracks.push_back(t);
    }
    disc.firstTrack = disc.tracks.front().number;
    disc.lastTrack = disc.tracks.back().number;
    disc.leadOut = at;
    disc.sessions = disc.tracks.back().session;
    const cdrom::DiscInfo before = disc;

    const std::uint8_t* frames = data + 8;
    const std::size_t frameCount = (size - 8) / kFrame;
    for (std::size_t i = 0; i < frameCount; ++i) {
        cdrom::QPosition q;
        if (cdrom::ParseQPosition(frames + i * kFrame, q)) CheckPosition(q);
    }

    int reads = 0;
    const int budget = 1 + data[2] % 64;
    const bool finished = cdrom::ScanIndexPoints(
        disc,
        [&](std::uint32_t lba, cdrom::QPosition& out) {
            ++reads;
            Check(lba < disc.leadOut, "the scan reads sectors of the disc only");
            if (!cdrom::ParseQPosition(frames + (lba % frameCount) * kFrame, out)) return false;
            CheckPosition(out);
            return true;
        },
        budget);
    Check(reads <= budget, "the scan keeps to its budget");
    Check(finished || reads == budget, "a scan ends early only when its budget ran out");
    for (std::size_t i = 0; i < disc.tracks.size(); ++i) {
        const cdrom::TrackInfo& t = disc.tracks[i];
        const cdrom::TrackInfo& was = before.tracks[i];
        Check(t.start == was.start && t.length == was.length && t.number == was.number,
              "the table of contents stays");
        if (i > 0)
            Check(t.pregap < t.start - disc.tracks[i - 1].start,
                  "a pregap lies after the track before begins");
        Check(!t.indexes.empty() && t.indexes.front() == t.start, "INDEX 01 is the start");
        for (std::size_t k = 1; k < t.indexes.size(); ++k)
            Check(t.indexes[k] > t.indexes[k - 1] && t.indexes[k] < t.start + t.length,
                  "index points grow within the track");
    }
    return 0;
}
