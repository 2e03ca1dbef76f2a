// enc.dll: encodes raw 16-bit PCM from standard input into an MPEG audio file.
//   enc.dll [-ms|-md|-mj|-mm] [-b<kbit/s>] [-s<kHz>] [-p<model>] [-l<layer>] [-dn|-d5|-dc]
//           [-c] [-o] [-e] [-t] <input.wav> <output.mp3>
// The WAVE file named as input supplies the channel count; its samples arrive on the pipe.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/enc/backends.h"
#include "codecs/enc/options.h"
#include "codecs/enc/resampler.h"
#include "codecs/enc/wave_format.h"
#include "codecs/output_line.h"
#include "platform/base/command_line.h"
#include "platform/fs/fs.h"

namespace {

using namespace orvane::codecs;

constexpr const char* kHelp =
    "Usage: enc.dll [-ms|-md|-mj|-mm] [-b<kbit/s>] [-s<kHz>] [-p<model>] [-l<layer>]\n"
    "         [-dn|-d5|-dc] [-c] [-o] [-e] [-t] INPUT.wav OUTPUT.mp3\n"
    "\n"
    "Plimo's child encoder: encodes raw 16-bit PCM from standard input into an MPEG audio\n"
    "file; the WAVE file named as input supplies the channel count.\n";

// Bytes the input may fall short of the WAVE data size and still count as complete: the
// encoder job starts feeding a few bytes past the header.
constexpr int64_t kFeedSlack = 64;

std::string Seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f s", s);
    return buf;
}

// Converts the input channel layout to the stream's: mono mixes stereo down, stereo doubles mono.
void MapChannels(const std::vector<int16_t>& in, int inChannels, int outChannels,
                 std::vector<int16_t>* out) {
    out->clear();
    if (inChannels == outChannels) {
        *out = in;
    } else if (inChannels == 2) {
        out->reserve(in.size() / 2);
        for (size_t i = 0; i + 1 < in.size(); i += 2) {
            out->push_back(static_cast<int16_t>((in[i] + in[i + 1]) >> 1));
        }
    } else {
        out->reserve(in.size() * 2);
        for (int16_t s : in) {
            out->push_back(s);
            out->push_back(s);
        }
    }
}

int Run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    EncoderArgs request;
    std::string error;
    if (!ParseEncoderArgs(args, &request, &error)) {
        Say(error);
        return 2;
    }
    WaveFormat wave;
    if (!ReadWaveFormat(request.input, &wave, &error)) {
        Say("Error: " + error);
        return 1;
    }
    EncodePlan plan;
    if (!PlanEncoding(request, wave.channels, request.rateHz ? request.rateHz : wave.rate, &plan,
                      &error)) {
        Say("Error: " + error);
        return 1;
    }
    Say(DescribePlan(plan));
    for (const std::string& note : plan.notes)
        Say(note);

    auto encoder = CreateStreamEncoder(plan, &error);
    if (!encoder) {
        Say("Error: " + error);
        return 1;
    }
    // The input's end is the song's end only while the front-end that feeds it lives.
    const pid_t feeder = ::getppid();
    // Temporary files that encoders and decoders killed half-way left beside their outputs.
    orvane::fs::SweepStaleTemps(orvane::fs::FolderOf(request.output));
    orvane::fs::AtomicFile output;
    if (const orvane::fs::Status opened = output.Open(request.output); !opened) {
        Say("Error: " + opened.message);
        return 1;
    }

    const int outChannels = plan.mode == ChannelMode::Mono ? 1 : 2;
    const int frameBytes = 2 * wave.channels;
    const double expectedSeconds =
        static_cast<double>(wave.dataBytes / frameBytes) / plan.inputRate;
    std::unique_ptr<Resampler> resampler;
    if (plan.inputRate != plan.outputRate) {
        resampler = std::make_unique<Resampler>(plan.inputRate, plan.outputRate, outChannels);
    }

    const auto started = std::chrono::steady_clock::now();
    std::vector<unsigned char> raw(65536 + 4);
    size_t carry = 0;  // bytes of an incomplete sample frame kept for the next read
    int64_t bytesIn = 0;
    int lastPercent = -1;
    std::vector<int16_t> pcm;
    std::vector<int16_t> mapped;
    std::vector<int16_t> resampled;
    std::vector<uint8_t> mpeg;
    bool readFailed = false;
    for (;;) {
        ssize_t n = ::read(STDIN_FILENO, raw.data() + carry, raw.size() - 4 - carry);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Say(std::string("Reading the input failed: ") + std::strerror(errno));
            readFailed = true;
            break;
        }
        if (n == 0) break;
        bytesIn += n;
        const size_t have = carry + static_cast<size_t>(n);
        const size_t whole = have / frameBytes * frameBytes;
        pcm.resize(whole / 2);
        for (size_t i = 0; i < pcm.size(); ++i) {
            pcm[i] = static_cast<int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
        }
        carry = have - whole;
        std::memmove(raw.data(), raw.data() + whole, carry);

        MapChannels(pcm, wave.channels, outChannels, &mapped);
        const std::vector<int16_t>* feed = &mapped;
        if (resampler) {
            resampled.clear();
            resampler->Push(mapped.data(), mapped.size() / outChannels, &resampled);
            feed = &resampled;
        }
        mpeg.clear();
        if (!encoder->Encode(feed->data(), feed->size() / outChannels, &mpeg, &error)) {
            Say("Error: " + error);
            return 1;
        }
        if (const orvane::fs::Status written = output.Write(mpeg.data(), mpeg.size()); !written) {
            Say("Error: " + written.message);
            return 1;
        }
        if (wave.dataBytes > 0) {
            int percent = static_cast<int>(std::min<int64_t>(99, bytesIn * 100 / wave.dataBytes));
            if (percent != lastPercent) {
                lastPercent = percent;
                const double done = static_cast<double>(bytesIn / frameBytes) / plan.inputRate;
                Say("Encoding " + std::to_string(percent) + "% (" + Seconds(done) + " of " +
                    Seconds(expectedSeconds) + ")");
            }
        }
    }

    // A cut input (a failed read, a front-end that was cancelled or died) would make a short
    // file: nothing takes the output's name then, and an older file there stays as it was.
    const double audio = static_cast<double>(bytesIn / frameBytes) / plan.inputRate;
    if (readFailed || bytesIn + kFeedSlack < wave.dataBytes || ::getppid() != feeder) {
        Say("Error: The input ended early after " + Seconds(audio) + " of " +
            Seconds(expectedSeconds) + "; " + request.output + " was not written");
        return 1;
    }
    mpeg.clear();
    if (resampler) {
        resampled.clear();
        resampler->Flush(&resampled);
        if (!encoder->Encode(resampled.data(), resampled.size() / outChannels, &mpeg, &error)) {
            Say("Error: " + error);
            return 1;
        }
    }
    if (!encoder->Finish(&mpeg, &error)) {
        Say("Error: " + error);
        return 1;
    }
    orvane::fs::Status written = output.Write(mpeg.data(), mpeg.size());
    const std::vector<uint8_t> leading = encoder->LeadingFrame();
    if (written && !leading.empty() && static_cast<int64_t>(leading.size()) <= output.size())
        written = output.WriteAt(0, leading.data(), leading.size());
    const int64_t outputBytes = output.size();
    if (written) written = output.Commit();
    if (!written) {
        Say("Error: " + written.message);
        return 1;
    }

    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (carry != 0) Say("The input ended inside a sample frame; its last bytes were dropped");
    char summary[160];
    std::snprintf(summary, sizeof summary,
                  "Done: %.2f s of audio, %lld frames, %lld bytes, %.1fx real time", audio,
                  static_cast<long long>(encoder->framesWritten()),
                  static_cast<long long>(outputBytes), wall > 0 ? audio / wall : 0.0);
    Say(summary);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "enc.dll", kHelp); answered >= 0)
        return answered;
    std::signal(SIGPIPE, SIG_IGN);
    orvane::fs::AtomicFile::InstallSignalCleanup();
    return Run(argc, argv);
}
