// Track checksums and offset finding over a 74-minute disc of noise, timed on one core.
//   accuraterip_bench checksum        CRC-32 with the v1/v2 sums, and each apart (GB/s of audio)
//   accuraterip_bench offset          every read offset in +-2940 over 20 tracks (seconds)
//   accuraterip_bench write FILE MB   MB of the same noise as raw audio, for peer tools

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "encoder/cdda/accuraterip.h"
#include "encoder/cdda/offset_finder.h"

namespace {

using namespace orvane::cdda;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kDiscWords = 74ull * 60 * 44100;  // 74 minutes of sample pairs
constexpr int kTracks = 20;

std::vector<std::uint8_t> Noise(std::size_t bytes, unsigned seed) {
    std::vector<std::uint8_t> data(bytes);
    std::mt19937_64 random(seed);
    for (std::size_t i = 0; i + 8 <= bytes; i += 8) {
        const std::uint64_t v = random();
        std::memcpy(&data[i], &v, 8);
    }
    return data;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// CPU time of this process: on a busy machine closer to the cost than the wall clock.
double CpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

int Checksum() {
    // A 64 MB buffer fed again and again: the whole disc's bytes pass through once.
    const std::vector<std::uint8_t> chunk = Noise(64u << 20, 1);
    const std::uint64_t total = kDiscWords * 4;
    const auto run = [&](bool first, bool last, const char* what) {
        const auto start = Clock::now();
        const double cpu = CpuSeconds();
        TrackChecksummer sums(first, last, kDiscWords);
        for (std::uint64_t done = 0; done < total; done += chunk.size())
            sums.Update(chunk.data(), std::min<std::uint64_t>(chunk.size(), total - done));
        const double s = Seconds(start), c = CpuSeconds() - cpu;
        const TrackChecksums r = sums.Finish();
        std::printf(
            "%-34s %.0f MB in %.3f s (CPU %.3f s) = %.2f GB/s of CPU time (crc %08x "
            "v1 %08x v2 %08x)\n",
            what, static_cast<double>(total) / 1e6, s, c, static_cast<double>(total) / 1e9 / c,
            r.crc32, r.arV1, r.arV2);
    };
    run(false, false, "CRC-32 + AccurateRip v1/v2:");
    run(true, true, "the same, first and last track:");
    return 0;
}

int Offset() {
    const std::uint64_t trackWords = kDiscWords / kTracks;
    const int late = 6;  // the drive needs a +6 correction
    const std::uint64_t margin = kMaxOffsetSearch;
    AccurateRipReply reply;
    reply.status = AccurateRipStatus::Found;
    reply.blocks.resize(1);
    std::vector<std::vector<std::uint32_t>> delivered(kTracks);
    // Each track as the drive delivers it (its words late by 6, margins on both sides), and the
    // database's v1 sum of the true track.
    for (int t = 0; t < kTracks; ++t) {
        const std::vector<std::uint8_t> bytes =
            Noise((trackWords + 2 * margin + 2 * late) * 4, static_cast<unsigned>(t + 2));
        std::vector<std::uint32_t> words((bytes.size()) / 4);
        std::memcpy(words.data(), bytes.data(), words.size() * 4);
        // True track: words[margin + late ..]; delivered with the track's first word at margin.
        TrackChecksummer sums(t == 0, t == kTracks - 1, trackWords);
        sums.Update(bytes.data() + (margin + late) * 4, trackWords * 4);
        reply.blocks[0].tracks.emplace_back(10, sums.Finish().arV1);
        // The drive delivers sample i of the disc as its sample i + late: the window it delivers
        // from margin words before the track on starts late words earlier on the disc, at
        // words[0].
        delivered[static_cast<std::size_t>(t)].assign(
            words.begin(), words.begin() + static_cast<long>(trackWords + 2 * margin));
    }
    const auto start = Clock::now();
    const double cpu = CpuSeconds();
    OffsetFinder finder(reply, kTracks);
    for (int t = 0; t < kTracks; ++t)
        finder.AddTrack(t, delivered[static_cast<std::size_t>(t)].data(), trackWords);
    const std::vector<OffsetMatch> matches = finder.Matches();
    const double s = Seconds(start), c = CpuSeconds() - cpu;
    std::printf(
        "offset finding, %d tracks of 74 minutes, %d offsets: %.3f s (CPU %.3f s; best "
        "%+d, %d of %d tracks)\n",
        kTracks, 2 * kMaxOffsetSearch + 1, s, c, matches.empty() ? 0 : matches[0].offset,
        matches.empty() ? 0 : matches[0].tracks, kTracks);
    return matches.empty() || matches[0].offset != late ? 1 : 0;
}

int Write(const char* path, long megabytes) {
    const std::vector<std::uint8_t> data = Noise(static_cast<std::size_t>(megabytes) << 20, 1);
    std::FILE* f = std::fopen(path, "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) {
        std::perror(path);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "checksum") return Checksum();
    if (mode == "offset") return Offset();
    if (mode == "write" && argc == 4) return Write(argv[2], std::atol(argv[3]));
    std::fprintf(stderr, "usage: accuraterip_bench checksum | offset | write FILE MB\n");
    return 2;
}
