// Reads a whole image disc through libwnaspi32.so, as the grabber does (one request block,
// event and transfer buffer per request of n frames), and the same requests straight from the
// drive layer: wall time, MB/s and process CPU time per MB for each.
//   cdda_bench <cue> <frames per request>...
// The library is loaded from $ORVANE_DIST; it finds the disc through $ORVANE_CD_IMAGES.

#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "encoder/cdda/cd_drive.h"
#include "platform/cdrom/image_drive.h"

namespace {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Pass {
    double wall = 0, cpu = 0;
    std::uint64_t sum = 0;
    bool ok = true;
};

template <typename ReadFn>
Pass Measure(std::uint32_t leadOut, std::uint32_t per, ReadFn read) {
    std::vector<std::uint8_t> buffer(std::size_t{per} * 2352);
    Pass p;
    double cpu0 = CpuSeconds();
    auto t0 = std::chrono::steady_clock::now();
    for (std::uint32_t lba = 0; lba < leadOut && p.ok; lba += per) {
        std::uint32_t n = std::min(per, leadOut - lba);
        p.ok = read(lba, n, buffer.data());
        p.sum += buffer[n * 2352 - 1];
    }
    p.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    p.cpu = CpuSeconds() - cpu0;
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: cdda_bench <cue> <frames per request>...\n");
        return 2;
    }
    std::string error;
    auto direct = orvane::cdrom::ImageDrive::Open(argv[1], error);
    if (!direct) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::array<orvane::cdda::CdDrive, orvane::cdda::kMaxDrives> drives{};
    if (orvane::cdda::DiscoverDrives(drives) < 1) {
        std::fprintf(stderr, "no drive through the transport: %s\n",
                     orvane::cdda::AspiLoadError().c_str());
        return 1;
    }
    orvane::cdda::TrackTable toc;
    if (drives[0].ReadToc(toc) != 1 || toc.count < 2) {
        std::fprintf(stderr, "no table of contents\n");
        return 1;
    }
    std::uint32_t leadOut = toc.entries[toc.count - 1].start;
    double mb = double(leadOut) * 2352 / 1e6;
    // Warm the page cache once, so both ways read from memory.
    Measure(leadOut, 75, [&](std::uint32_t l, std::uint32_t n, std::uint8_t* b) {
        return direct->ReadCdda(l, n, b).ok;
    });
    for (int i = 2; i < argc; ++i) {
        auto per = static_cast<std::uint32_t>(std::atoi(argv[i]));
        Pass layer = Measure(leadOut, per, [&](std::uint32_t l, std::uint32_t n, std::uint8_t* b) {
            return direct->ReadCdda(l, n, b).ok;
        });
        Pass aspi = Measure(leadOut, per, [&](std::uint32_t l, std::uint32_t n, std::uint8_t* b) {
            return drives[0].ReadAudioFrames(l, n, b) == 1;
        });
        if (!layer.ok || !aspi.ok || layer.sum != aspi.sum) {
            std::fprintf(stderr, "the two reads differ or failed\n");
            return 1;
        }
        std::printf(
            "%3u frames per request: drive layer %6.0f MB/s %6.2f ms CPU/MB | "
            "transport library %6.0f MB/s %6.2f ms CPU/MB | time ratio %.2f "
            "(a 52x drive: 9.2 MB/s)\n",
            per, mb / layer.wall, layer.cpu * 1000 / mb, mb / aspi.wall, aspi.cpu * 1000 / mb,
            aspi.wall / layer.wall);
    }
    return 0;
}
