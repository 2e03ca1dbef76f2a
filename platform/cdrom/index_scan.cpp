#include "platform/cdrom/index_scan.h"

#include <algorithm>
#include <optional>

#include "platform/cdrom/cd_text.h"

namespace orvane::cdrom {

namespace {

// Sectors tried one after another where a sector's Q cannot be had.
constexpr std::uint32_t kTries = 4;

int FromBcd(std::uint8_t v) { return (v >> 4) * 10 + (v & 0x0F); }
bool IsBcd(std::uint8_t v) { return (v >> 4) < 10 && (v & 0x0F) < 10; }

class Scanner {
public:
    Scanner(const QReader& readQ, int budget) : readQ_(readQ), budget_(budget) {}

    bool Exhausted() const { return budget_ <= 0; }

    // The Q of one sector, counted against the budget.
    std::optional<QPosition> Read(std::uint32_t lba) {
        if (budget_ <= 0) return std::nullopt;
        --budget_;
        QPosition q;
        if (!readQ_(lba, q)) return std::nullopt;
        return q;
    }

    // The first sector in [lo, hi] for which holds is true, where it holds at hi and, along
    // the disc, once it holds it goes on holding. Unreadable sectors count as not holding.
    template <typename Holds>
    std::optional<std::uint32_t> First(std::uint32_t lo, std::uint32_t hi, Holds holds) {
        while (lo < hi) {
            std::uint32_t at = lo + (hi - lo) / 2;
            std::optional<QPosition> q;
            for (std::uint32_t end = std::min(at + kTries, hi); at < end; ++at) {
                if ((q = Read(at))) break;
                if (Exhausted()) return std::nullopt;
            }
            if (q && holds(*q)) {
                hi = at;
            } else {
                lo = at + (q ? 1 : 0);
            }
        }
        return hi;
    }

private:
    const QReader& readQ_;
    int budget_;
};

}  // namespace

bool ParseQPosition(const std::uint8_t* q, QPosition& out) {
    if ((q[0] & 0x0F) != 1) return false;
    const std::uint16_t crc = static_cast<std::uint16_t>((q[10] << 8) | q[11]);
    if (crc != 0 && crc != CdCrc(q, 10)) return false;
    if (!IsBcd(q[2]) || (q[1] != 0xAA && !IsBcd(q[1]))) return false;
    out.track = q[1] == 0xAA ? 0xAA : FromBcd(q[1]);
    out.index = FromBcd(q[2]);
    return true;
}

bool ScanIndexPoints(DiscInfo& disc, const QReader& readQ, int maxReads) {
    Scanner scan(readQ, maxReads);
    std::vector<TrackInfo>& tracks = disc.tracks;
    // Pregaps: where the sectors of each track begin, between the start of the track before
    // and its own INDEX 01.
    for (std::size_t i = 1; i < tracks.size(); ++i) {
        TrackInfo& t = tracks[i];
        const std::uint32_t lo = tracks[i - 1].start + 1;
        if (t.start <= lo) continue;
        const int number = t.number;
        auto ownSector = [number](const QPosition& q) {
            return q.track >= number && q.track <= 99;
        };
        // Most tracks have no pregap or one of two seconds: one read tells the first case.
        std::optional<QPosition> before = scan.Read(t.start - 1);
        if (scan.Exhausted()) return false;
        if (before && !ownSector(*before)) {
            t.pregap = 0;
            continue;
        }
        std::optional<std::uint32_t> first = scan.First(lo, t.start - 1, ownSector);
        if (!first) return false;
        // An unreadable sector just before INDEX 01 (a session's lead-in) is no pregap.
        t.pregap = before || *first < t.start - 1 ? t.start - *first : 0;
    }
    // Index points after INDEX 01: the last sector of a track tells its highest index.
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        TrackInfo& t = tracks[i];
        const bool nextInSession = i + 1 < tracks.size() && tracks[i + 1].session == t.session;
        const std::uint32_t end =
            nextInSession ? tracks[i + 1].start - tracks[i + 1].pregap : t.start + t.length;
        if (end <= t.start + 1) continue;
        std::optional<QPosition> last;
        std::uint32_t lastLba = end;
        for (std::uint32_t k = 0; k < kTries && lastLba > t.start + 1 && !last; ++k) {
            --lastLba;
            last = scan.Read(lastLba);
            if (scan.Exhausted()) return false;
        }
        if (!last || last->track != t.number || last->index <= 1) continue;
        const int number = t.number;
        std::vector<std::uint32_t> indexes{t.start};
        for (int k = 2; k <= last->index; ++k) {
            std::optional<std::uint32_t> at =
                scan.First(indexes.back() + 1, lastLba, [number, k](const QPosition& q) {
                    return (q.track > number && q.track <= 99) ||
                           (q.track == number && q.index >= k);
                });
            if (!at) return false;
            if (*at != indexes.back()) indexes.push_back(*at);
        }
        t.indexes = std::move(indexes);
    }
    return true;
}

}  // namespace orvane::cdrom
