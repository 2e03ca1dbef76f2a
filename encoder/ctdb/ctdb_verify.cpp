#include "encoder/ctdb/ctdb_verify.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "encoder/ctdb/rs_decoder.h"

namespace orvane::ctdb {

namespace {

void Compare(const CtdbSums& sums, const CtdbEntry& entry, EntryCheck& check) {
    check.crcMatch = sums.DiscCrc(check.offset) == entry.crc32;
    check.trackMatch.clear();
    if (entry.trackCrcs.size() != static_cast<std::size_t>(sums.AudioTracks())) return;
    for (int i = 0; i < sums.AudioTracks(); ++i) {
        // Shifted, a track's own CRC is not kept: the whole disc speaks for every track.
        const bool match = check.offset == 0
                               ? sums.TrackCrc(i) == entry.trackCrcs[static_cast<std::size_t>(i)]
                               : check.crcMatch;
        check.trackMatch.push_back(match);
    }
}

}  // namespace

EntryCheck CheckEntry(const CtdbSums& sums, const CtdbEntry& entry) {
    EntryCheck check;
    if (!sums.Usable()) return check;
    const int npar = static_cast<int>(entry.syndrome.size());
    if (npar == 0) {
        check.located = true;
        Compare(sums, entry, check);
        return check;
    }
    // An exact match of column 0, the nearest offset first.
    std::vector<std::uint16_t> error(static_cast<std::size_t>(npar));
    auto errorAt = [&](int offset) {
        const std::vector<std::uint16_t> col = sums.Column(npar, 0, offset);
        bool zero = true;
        for (int k = 0; k < npar; ++k) {
            error[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(
                col[static_cast<std::size_t>(k)] ^ entry.syndrome[static_cast<std::size_t>(k)]);
            zero = zero && error[static_cast<std::size_t>(k)] == 0;
        }
        return zero;
    };
    for (int d = 0; d <= kMaxOffset; ++d) {
        for (int offset : {d, -d}) {
            if (!errorAt(offset)) continue;
            check.located = true;
            check.offset = offset;
            Compare(sums, entry, check);
            // A column that matches at a wrong offset by chance is no match; keep looking
            // unless the CRC agrees or this is the rip's own alignment.
            if (check.crcMatch || offset == 0) return check;
            check.located = false;
        }
    }
    // Else the offset whose column 0 the fewest mendable errors separate.
    int best = -1, bestErrors = npar;
    for (int d = 0; d <= kMaxOffset; ++d) {
        for (int offset : {d, -d}) {
            errorAt(offset);
            const int degree = LocatorDegree(error.data(), npar);
            if (degree < 0 || 2 * degree >= npar || degree >= bestErrors) continue;
            std::vector<ColumnError> found;
            if (!DecodeColumn(error.data(), npar, sums.Strides(), found)) continue;
            best = offset;
            bestErrors = degree;
        }
    }
    if (best == -1) {
        // Nothing mendable anywhere: the entry of the same table of contents is taken at the
        // rip's own alignment, where a repair then says how far beyond the parity it is.
        check.located = true;
        check.columnErrors = -1;
        Compare(sums, entry, check);
        return check;
    }
    check.located = true;
    check.offset = best;
    check.columnErrors = bestErrors;
    Compare(sums, entry, check);
    return check;
}

Repair RepairFromParity(const CtdbSums& sums, const CtdbEntry& entry, int offset,
                        const std::vector<std::uint16_t>& rows, int npar) {
    Repair repair;
    const auto columns = static_cast<std::size_t>(kStrideWords);
    if (!sums.Usable() || npar < 2 || rows.size() != static_cast<std::size_t>(npar) * columns) {
        repair.why = "the parity does not fit the rip";
        return repair;
    }
    const std::vector<std::uint16_t> ours = sums.Syndromes(npar, offset);
    const int L = sums.Strides();
    std::vector<int> hints;
    std::vector<WordFix> entryFixes;
    std::vector<std::uint16_t> error(static_cast<std::size_t>(npar));
    std::vector<ColumnError> found;
    for (std::size_t c = 0; c < columns; ++c) {
        bool zero = true;
        for (int k = 0; k < npar; ++k) {
            const std::size_t at = static_cast<std::size_t>(k) * columns + c;
            error[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(ours[at] ^ rows[at]);
            zero = zero && error[static_cast<std::size_t>(k)] == 0;
        }
        if (zero) continue;
        if (!DecodeColumn(error.data(), npar, L, found, &hints)) {
            repair.why = "more damage than the parity can mend (more than " +
                         std::to_string(npar / 2) + " wrong words in a column)";
            return repair;
        }
        for (const ColumnError& e : found)
            entryFixes.push_back(
                {static_cast<std::uint64_t>(L - e.position) * kStrideWords + c, e.value});
    }
    if (sums.CorrectedCrc(offset, entryFixes) != entry.crc32) {
        repair.why = "the corrected audio's CRC differs from the database's";
        return repair;
    }
    std::set<std::uint64_t> samples;
    for (WordFix f : entryFixes) {
        f.word = static_cast<std::uint64_t>(static_cast<long long>(f.word) + 2LL * offset);
        repair.fixes.push_back(f);
        samples.insert(f.word / 2);
    }
    std::sort(repair.fixes.begin(), repair.fixes.end(),
              [](const WordFix& a, const WordFix& b) { return a.word < b.word; });
    repair.samples = samples.size();
    repair.ok = true;
    return repair;
}

}  // namespace orvane::ctdb
