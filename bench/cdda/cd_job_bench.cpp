// A whole CD MP3 job through the shipped pieces: an image drive read through libwnaspi32.so,
// every track grabbed by the CD-track source and encoded by enc.dll at 128 kbit/s.
//   cd_job_bench disc <folder> <seconds> <tracks>
//       writes disc.bin and disc.cue (the audio split into equal tracks) and disc.wav, the
//       same samples as one WAVE file for the command-line encoders
//   cd_job_bench job <dist folder> <output folder> <tracks>
//       runs the job on drive 0 and prints "job_ms=<t> skipped_waits_ms=<w> waits=<n>"
// The job runs on a clock that skips its fixed waits (the pauses around each file and before
// the final message), so job_ms is the work alone; the short polling steps of the child wait
// still sleep for real, so nothing spins beside the encoder.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "encoder/cdda/cd_job.h"
#include "encoder/job/input_source.h"
#include "encoder/job/job_runner.h"
#include "platform/clock/clock.h"

namespace {

constexpr std::uint32_t kFrameBytes = 2352;
constexpr std::uint32_t kSamplesPerFrame = 588;

// Real time, except that sleeps of kSkipFromMs or more return at once and are counted.
class SkippingClock final : public orvane::clock::Clock {
public:
    static constexpr std::uint32_t kSkipFromMs = 100;

    std::uint64_t NowMs() override { return real_.NowMs() + skippedMs_; }
    std::int64_t WallSeconds() override {
        return real_.WallSeconds() + static_cast<std::int64_t>(skippedMs_ / 1000);
    }
    void SleepMs(std::uint32_t ms) override {
        if (Skip(ms)) return;
        real_.SleepMs(ms);
    }
    bool SleepMsUnless(std::uint32_t ms, const std::function<bool()>& stop) override {
        if (stop()) return false;
        if (Skip(ms)) return true;
        return real_.SleepMsUnless(ms, stop);
    }
    void WakeSleepers() override { real_.WakeSleepers(); }

    std::uint64_t SkippedMs() const { return skippedMs_; }
    int Skips() const { return skips_; }

private:
    bool Skip(std::uint32_t ms) {
        if (ms < kSkipFromMs) return false;
        skippedMs_ += ms;
        ++skips_;
        return true;
    }
    orvane::clock::SystemClock real_;
    std::atomic<std::uint64_t> skippedMs_{0};
    std::atomic<int> skips_{0};
};

class Observer : public orvane::encoder::JobObserver {
public:
    void JobSetText(orvane::encoder::JobText, const std::string&) override {}
    void JobSetRange(orvane::encoder::JobBar, int, int) override {}
    void JobSetPos(orvane::encoder::JobBar, int) override {}
    void JobSetCounter(orvane::encoder::JobCounter, int) override {}
    int JobMessage(const std::string& text, const std::string&, unsigned) override {
        std::fprintf(stderr, "job message: %s\n", text.c_str());
        return IDOK;
    }
    void JobFinished(const orvane::encoder::JobOutcome& o) override {
        std::lock_guard l(m_);
        outcome_ = o;
        done_ = true;
        cv_.notify_all();
    }
    void JobClose(int) override {
        std::lock_guard l(m_);
        done_ = true;
        cv_.notify_all();
    }
    // The outcome once the job ended (an empty message when it closed without one).
    orvane::encoder::JobOutcome Wait() {
        std::unique_lock l(m_);
        cv_.wait(l, [&] { return done_; });
        return outcome_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    orvane::encoder::JobOutcome outcome_;
};

void Le(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Two tones with a little noise on each channel, so the encoder has real work to do.
int WriteDisc(const std::string& folder, int seconds, int tracks) {
    const std::uint32_t frames = static_cast<std::uint32_t>(seconds) * 75;
    const std::uint32_t perTrack = frames / static_cast<std::uint32_t>(tracks);
    if (perTrack < 75) {
        std::fprintf(stderr, "tracks of at least one second, please\n");
        return 2;
    }
    std::ofstream bin(folder + "/disc.bin", std::ios::binary);
    std::ofstream wav(folder + "/disc.wav", std::ios::binary);
    const std::uint32_t dataBytes = frames * kFrameBytes;
    std::string header = "RIFF";
    Le(header, 36 + dataBytes, 4);
    header += "WAVEfmt ";
    Le(header, 16, 4);
    Le(header, 1, 2);
    Le(header, 2, 2);
    Le(header, 44100, 4);
    Le(header, 176400, 4);
    Le(header, 4, 2);
    Le(header, 16, 2);
    header += "data";
    Le(header, dataBytes, 4);
    wav.write(header.data(), static_cast<std::streamsize>(header.size()));
    std::uint32_t noise = 12345;
    std::string block(std::size_t{75} * kFrameBytes, '\0');
    for (std::uint32_t f = 0; f < frames; f += 75) {
        for (std::uint32_t i = 0; i < 75 * kSamplesPerFrame; ++i) {
            double t = double(f * kSamplesPerFrame + i) / 44100;
            for (int c = 0; c < 2; ++c) {
                noise = noise * 1664525u + 1013904223u;
                double n = (double(noise >> 8) / double(1u << 24) - 0.5) * 0.1;
                double v = 0.3 * std::sin(2 * M_PI * (c ? 660 : 440) * t) + n;
                auto s = static_cast<std::int16_t>(std::lround(v * 32767));
                block[4 * i + 2 * c] = static_cast<char>(s & 0xFF);
                block[4 * i + 2 * c + 1] = static_cast<char>((s >> 8) & 0xFF);
            }
        }
        bin.write(block.data(), static_cast<std::streamsize>(block.size()));
        wav.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    std::string cue = "FILE \"disc.bin\" BINARY\n";
    for (int t = 0; t < tracks; ++t) {
        std::uint32_t at = perTrack * static_cast<std::uint32_t>(t);
        char line[64];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    INDEX 01 %02u:%02u:%02u\n", t + 1,
                      at / 75 / 60, at / 75 % 60, at % 75);
        cue += line;
    }
    std::ofstream(folder + "/disc.cue") << cue;
    bin.close();
    wav.close();
    if (!bin || !wav) {
        std::fprintf(stderr, "cannot write the disc into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}

int RunJob(const std::string& dist, const std::string& output, int tracks) {
    using namespace orvane;
    encoder::JobRequest request;
    request.kind = encoder::JobKind::EncodeMp3;
    request.input = encoder::kCdAudioInput;
    request.batch = true;
    request.output = output + "/";
    request.settings.layerIndex = 2;
    request.settings.mode = 2;  // Joint Stereo, as lame's default
    request.settings.bitrate = "128";
    request.appFolder = dist + "/";
    request.cd.driveIndex = 0;
    request.cd.trackCount = tracks;
    for (int t = 1; t <= tracks; ++t) {
        request.cd.checked.push_back(1);
        request.cd.names.push_back("Track" + std::to_string(t));
    }
    request.cd.readBufferSize = 26;
    request.cd.deleteGrabbedWav = true;
    // JOBS above 1: the next tracks are grabbed while one is encoded.
    if (const char* jobs = std::getenv("JOBS")) request.parallelJobs = std::max(1, std::atoi(jobs));

    // The transport library is found through ORVANE_DIST, as the installed programs find it.
    ::setenv("ORVANE_DIST", dist.c_str(), 0);
    SkippingClock clock;
    clock::Install(&clock);
    cdda::InstallCdTrackSource(nullptr);
    Observer observer;
    auto t0 = std::chrono::steady_clock::now();
    encoder::JobOutcome outcome;
    {
        encoder::JobRunner runner(request, observer);
        runner.Start();
        outcome = observer.Wait();
        runner.Stop();
    }
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    encoder::SetCdTrackSource(nullptr);
    clock::Install(nullptr);
    if (outcome.message != "MP3 Compression Finished.") {
        std::fprintf(stderr, "the job did not finish: %s\n", outcome.message.c_str());
        return 1;
    }
    std::printf("job_ms=%.1f skipped_waits_ms=%llu waits=%d\n", ms,
                static_cast<unsigned long long>(clock.SkippedMs()), clock.Skips());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (argc == 5 && mode == "disc")
        return WriteDisc(argv[2], std::atoi(argv[3]), std::max(1, std::atoi(argv[4])));
    if (argc == 5 && mode == "job")
        return RunJob(argv[2], argv[3], std::max(1, std::atoi(argv[4])));
    std::fprintf(stderr,
                 "usage: cd_job_bench disc <folder> <seconds> <tracks>\n"
                 "       cd_job_bench job <dist folder> <output folder> <tracks>\n");
    return 2;
}
