// Benchmarks of the CD drive layer and the MCI device.
//
//   cd_bench read <folder>     writes a 74-minute BINARY image with its cue sheet into folder
//                              (kept for later runs), reads it once to warm the page cache, then
//                              reads it end to end through an image drive and prints MB/s, for
//                              reads of 26 frames (a grabber's request) and of 75 frames
//   cd_bench drift <cue> [s]   plays s seconds (default 600) of the disc's first track through
//                              the MCI device with the null sink on a virtual clock advanced in
//                              polls of 500 ms, and prints the largest gap between the reported
//                              position and the clock; then 5 s on the real clock likewise

#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/audio_sink.h"
#include "platform/cdrom/drives.h"
#include "platform/cdrom/image_drive.h"
#include "platform/clock/clock.h"
#include "platform/mci/mmsystem.h"

namespace {

using namespace orvane;

constexpr std::uint32_t kDiscFrames = 74 * 60 * 75;

int Read(const std::string& folder) {
    std::filesystem::create_directories(folder);
    std::string bin = folder + "/disc74.bin";
    std::string cue = folder + "/disc74.cue";
    std::error_code ec;
    if (std::filesystem::file_size(bin, ec) != std::uint64_t{kDiscFrames} * cdrom::kFrameBytes) {
        std::printf("writing a 74-minute image (%u frames)...\n", kDiscFrames);
        std::ofstream out(bin, std::ios::binary | std::ios::trunc);
        std::vector<char> frames(75 * cdrom::kFrameBytes);
        for (std::uint32_t f = 0; f < kDiscFrames; f += 75) {
            for (std::size_t i = 0; i < frames.size(); ++i)
                frames[i] = static_cast<char>((f + i) * 31);
            out.write(frames.data(), static_cast<std::streamsize>(frames.size()));
        }
        // Sixteen tracks of 4:37.
        std::ofstream sheet(cue, std::ios::trunc);
        sheet << "FILE \"disc74.bin\" BINARY\n";
        for (int t = 0; t < 16; ++t) {
            std::uint32_t at = t * (kDiscFrames / 16);
            char line[80];
            std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02u:%02u:%02u\n",
                          t + 1, at / 75 / 60, at / 75 % 60, at % 75);
            sheet << line;
        }
    }
    std::string error;
    auto drive = cdrom::ImageDrive::Open(cue, error);
    if (!drive) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    cdrom::Toc toc;
    drive->ReadToc(toc);
    for (std::uint32_t per : {75u, 26u, 75u}) {  // the first pass warms the page cache
        std::vector<std::uint8_t> buffer(std::size_t{per} * cdrom::kFrameBytes);
        auto start = std::chrono::steady_clock::now();
        std::uint64_t sum = 0;
        for (std::uint32_t lba = 0; lba < toc.leadOut; lba += per) {
            std::uint32_t n = std::min(per, toc.leadOut - lba);
            if (!drive->ReadCdda(lba, n, buffer.data()).ok) {
                std::fprintf(stderr, "read failed at %u\n", lba);
                return 1;
            }
            sum += buffer[0];
        }
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        double mb = double(toc.leadOut) * cdrom::kFrameBytes / 1e6;
        std::printf(
            "read %u frames (%.0f MB) in %u-frame requests: %.3f s, %.0f MB/s = %.0fx a 52x drive "
            "(checksum %" PRIu64 ")\n",
            toc.leadOut, mb, per, s, mb / s, mb / s / (52 * 0.1764), sum);
    }
    return 0;
}

DWORD PositionMs(MCIDEVICEID id) {
    MCI_STATUS_PARMS p;
    p.dwItem = MCI_STATUS_POSITION;
    mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&p));
    return static_cast<DWORD>(p.dwReturn);
}

MCIDEVICEID OpenAndPlay(DWORD& startMs) {
    MCI_OPEN_PARMSA open;
    open.lpstrDeviceType = "cdaudio";
    open.lpstrElementName = "D:";
    if (MCIERROR e =
            mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_OPEN_SHAREABLE,
                           reinterpret_cast<DWORD_PTR>(&open))) {
        char text[256];
        mciGetErrorString(e, text, sizeof text);
        std::fprintf(stderr, "open: %s\n", text);
        std::exit(1);
    }
    MCI_SET_PARMS set;
    set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    mciSendCommand(open.wDeviceID, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set));
    startMs = PositionMs(open.wDeviceID);
    MCI_PLAY_PARMS play;
    mciSendCommand(open.wDeviceID, MCI_PLAY, 0, reinterpret_cast<DWORD_PTR>(&play));
    return open.wDeviceID;
}

int Drift(const std::string& cue, int seconds) {
    std::string error;
    auto drive = cdrom::ImageDrive::Open(cue, error);
    if (!drive) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    cdrom::InstallDrives({std::move(drive)});
    audio::InstallSinkFactory([] { return std::make_unique<audio::NullSink>(); });
    {
        clock::VirtualClock clock;
        clock::Install(&clock);
        DWORD start = 0;
        MCIDEVICEID id = OpenAndPlay(start);
        double worst = 0;
        auto cpu0 = std::clock();
        for (int t = 500; t <= seconds * 1000; t += 500) {
            clock.Advance(500);
            double drift = std::fabs(double(PositionMs(id)) - double(start) - t);
            worst = std::max(worst, drift);
        }
        double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
        std::printf(
            "virtual clock: %d s played in 500 ms polls, largest drift %.1f ms (cpu %.2f s)\n",
            seconds, worst, cpu);
        clock.SetAutoAdvance(true);
        mciSendCommand(id, MCI_CLOSE, 0, 0);
        clock::Install(nullptr);
    }
    DWORD start = 0;
    MCIDEVICEID id = OpenAndPlay(start);
    auto t0 = std::chrono::steady_clock::now();
    double worst = 0;
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        double elapsed =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        worst = std::max(worst, std::fabs(double(PositionMs(id)) - double(start) - elapsed));
    }
    std::printf("real clock: 5 s played, largest drift %.1f ms\n", worst);
    mciSendCommand(id, MCI_CLOSE, 0, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "read" && argc == 3) return Read(argv[2]);
    if (mode == "drift" && (argc == 3 || argc == 4))
        return Drift(argv[2], argc == 4 ? std::atoi(argv[3]) : 600);
    std::fprintf(stderr, "usage: cd_bench read <folder> | cd_bench drift <cue> [seconds]\n");
    return 2;
}
