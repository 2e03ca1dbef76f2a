// The CUETools database's work on a 74-minute disc of noise, on one core, in CPU seconds:
//   sums    the disc and track CRCs alone, then with the syndromes of 16 rows (as a rip takes
//           them while it reads);
//   repair  the repair of the disc with damage at the parity's limit (4 whole strides with 8
//           rows, 8 with 16), the offset search included.

#include <time.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "encoder/ctdb/ctdb_sums.h"
#include "encoder/ctdb/ctdb_verify.h"

namespace {

using namespace orvane::ctdb;

double Cpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

CtdbToc Toc() {
    orvane::cdrom::DiscInfo d;
    d.leadOut = 333000;  // 74 minutes
    for (int i = 0; i < 15; ++i) {
        orvane::cdrom::TrackInfo t;
        t.number = static_cast<std::uint8_t>(i + 1);
        t.start = static_cast<std::uint32_t>(i) * 22000;
        d.tracks.push_back(t);
    }
    return CtdbTocOf(d);
}

std::vector<std::uint8_t> Noise(const CtdbToc& toc) {
    std::vector<std::uint8_t> audio(4 * toc.Samples());
    std::mt19937 random(7);
    for (std::size_t i = 0; i + 4 <= audio.size(); i += 4) {
        const std::uint32_t v = random();
        std::memcpy(audio.data() + i, &v, 4);
    }
    return audio;
}

CtdbSums Sums(const CtdbToc& toc, const std::vector<std::uint8_t>& audio) {
    CtdbSums sums(toc);
    const std::size_t chunk = 2352 * 26;
    for (std::size_t at = 0; at < audio.size(); at += chunk)
        sums.Update(audio.data() + at, std::min(chunk, audio.size() - at));
    return sums;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const CtdbToc toc = Toc();
    std::vector<std::uint8_t> audio = Noise(toc);
    if (mode == "sums") {
        double t = Cpu();
        std::uint32_t crc = 0;
        const std::size_t chunk = 2352 * 26;
        for (std::size_t at = 0; at < audio.size(); at += chunk)
            crc = static_cast<std::uint32_t>(::crc32(
                crc, audio.data() + at, static_cast<uInt>(std::min(chunk, audio.size() - at))));
        std::printf("CRC-32 of 74 minutes (zlib alone):     %.2f s CPU (target < 1)\n", Cpu() - t);
        t = Cpu();
        const CtdbSums sums = Sums(toc, audio);
        std::printf("CRCs and 16 syndrome rows, streamed:   %.2f s CPU (CRC %08x)\n", Cpu() - t,
                    sums.DiscCrc());
        return 0;
    }
    if (mode == "repair") {
        const CtdbSums good = Sums(toc, audio);
        for (int npar : {8, 16}) {
            CtdbEntry entry;
            entry.id = "1";
            entry.npar = npar;
            entry.stride = 5880;
            entry.crc32 = good.DiscCrc();
            entry.syndrome = good.Column(npar, 0);
            const std::vector<std::uint16_t> rows = good.Syndromes(npar);
            std::vector<std::uint8_t> damaged = audio;
            for (int s = 0; s < npar / 2; ++s)
                for (std::size_t b = 0; b < 2 * kStrideWords; ++b)
                    damaged[(1 + static_cast<std::size_t>(s) * 3000) * 2 * kStrideWords + b] ^=
                        0x5A;
            const CtdbSums sums = Sums(toc, damaged);
            const double t = Cpu();
            const EntryCheck check = CheckEntry(sums, entry);
            const Repair r = RepairFromParity(sums, entry, check.offset, rows, npar);
            std::printf(
                "repair of %d strides with %2d rows:      %.2f s CPU (target < 10), %s, %llu "
                "samples\n",
                npar / 2, npar, Cpu() - t, r.ok ? "mended" : r.why.c_str(),
                static_cast<unsigned long long>(r.samples));
        }
        return 0;
    }
    std::fprintf(stderr, "usage: ctdb_bench sums|repair\n");
    return 2;
}
