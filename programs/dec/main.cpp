// dec.dll: decodes MPEG audio (Layers 1-3; MPEG-1, 2 and 2.5) from standard input into a 16-bit
// PCM WAVE file that grows while decoding.
//   dec.dll <input.mp3> <output.wav>
// The input path only serves to tell how far decoding has come.

#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/dec/wave_writer.h"
#include "codecs/output_line.h"
#include "platform/base/command_line.h"
#include "platform/fs/fs.h"

namespace {

using orvane::codecs::GrowingWaveFile;
using orvane::codecs::Say;

constexpr const char* kHelp =
    "Usage: dec.dll INPUT.mp3 OUTPUT.wav\n"
    "\n"
    "Plimo's child decoder: decodes MPEG audio (Layers 1-3; MPEG-1, 2 and 2.5) from standard\n"
    "input into a 16-bit PCM WAVE file that grows while decoding; the input path only serves\n"
    "to tell how far decoding has come.\n";

const char* ModeName(int mode) {
    switch (mode) {
        case MPG123_M_STEREO:
            return "stereo";
        case MPG123_M_JOINT:
            return "joint stereo";
        case MPG123_M_DUAL:
            return "dual channel";
        case MPG123_M_MONO:
            return "mono";
        default:
            return "?";
    }
}

const char* VersionName(int version) {
    switch (version) {
        case MPG123_1_0:
            return "MPEG-1";
        case MPG123_2_0:
            return "MPEG-2";
        case MPG123_2_5:
            return "MPEG-2.5";
        default:
            return "MPEG";
    }
}

class Decoder {
public:
    ~Decoder() {
        if (handle_ != nullptr) mpg123_delete(handle_);
    }

    bool Init(std::string* error) {
        int err = MPG123_OK;
        handle_ = mpg123_new(nullptr, &err);
        if (handle_ == nullptr) {
            *error = std::string("Cannot start the decoder: ") + mpg123_plain_strerror(err);
            return false;
        }
        mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
        // Junk of any length before or between frames is skipped, not given up on.
        mpg123_param(handle_, MPG123_RESYNC_LIMIT, -1, 0);
        AllowAllRates();
        if (mpg123_open_feed(handle_) != MPG123_OK) {
            *error = std::string("Cannot start the decoder: ") + mpg123_strerror(handle_);
            return false;
        }
        return true;
    }

    // Feeds input bytes and writes what they decode to. False when the output failed.
    bool Feed(const unsigned char* data, size_t bytes, GrowingWaveFile* wave, std::string* error) {
        if (stopped_) return true;
        if (mpg123_feed(handle_, data, bytes) != MPG123_OK) {
            *error = std::string("Decoder: ") + mpg123_strerror(handle_);
            return false;
        }
        return Drain(wave, error);
    }

    int64_t frames() const { return frames_; }
    int errors() const { return errors_; }
    bool stopped() const { return stopped_; }
    long BufferedBytes() {
        long fill = 0;
        double ignored = 0;
        if (mpg123_getstate(handle_, MPG123_BUFFERFILL, &fill, &ignored) != MPG123_OK) return 0;
        return fill;
    }

private:
    void AllowAllRates() {
        mpg123_format_none(handle_);
        const long* rates = nullptr;
        size_t count = 0;
        mpg123_rates(&rates, &count);
        for (size_t i = 0; i < count; ++i) {
            mpg123_format(handle_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
        }
    }

    bool Drain(GrowingWaveFile* wave, std::string* error) {
        int emptyAnswers = 0;
        for (;;) {
            off_t num = 0;
            unsigned char* audio = nullptr;
            size_t bytes = 0;
            int rc = mpg123_decode_frame(handle_, &num, &audio, &bytes);
            if (rc == MPG123_NEED_MORE) return true;
            if (rc == MPG123_NEW_FORMAT) {
                if (!OnFormat(wave, error)) return false;
                if (stopped_) return true;
                continue;
            }
            if (rc == MPG123_ERR || rc < 0) {
                ++errors_;
                if (errors_ <= 10) Say(std::string("Stream error: ") + mpg123_strerror(handle_));
                // A decoder that keeps failing without decoding anything is given up on.
                if (++failuresInRow_ > 100) {
                    Say("Too many errors in a row; decoding stops here");
                    stopped_ = true;
                    return true;
                }
                continue;
            }
            if (rc == MPG123_DONE) return true;
            if (bytes == 0) {
                // Nothing came of this call; never spin on such answers.
                if (++emptyAnswers > 10000) return true;
                continue;
            }
            failuresInRow_ = 0;
            ++frames_;
            if (!wave->Append(audio, bytes, error)) return false;
        }
    }

    bool OnFormat(GrowingWaveFile* wave, std::string* error) {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        mpg123_getformat(handle_, &rate, &channels, &encoding);
        struct mpg123_frameinfo2 info {};
        mpg123_info(handle_, &info);
        if (!wave->hasFormat()) {
            Say("Decoding Layer " + std::to_string(info.layer) + " " + VersionName(info.version) +
                " " + std::to_string(info.rate) + " Hz " + ModeName(info.mode) + " " +
                std::to_string(info.bitrate) + " kbit/s");
            rate_ = rate;
            channels_ = channels;
            if (!wave->Create(error)) return false;
            // Later changes of rate or channels are converted to this first format.
            mpg123_format_none(handle_);
            mpg123_format(handle_, rate, channels == 1 ? MPG123_MONO : MPG123_STEREO,
                          MPG123_ENC_SIGNED_16);
            return wave->SetFormat(static_cast<int>(rate), channels, error);
        }
        if (rate != rate_ || channels != channels_ || encoding != MPG123_ENC_SIGNED_16) {
            Say("The stream changes to " + std::to_string(info.rate) + " Hz " +
                ModeName(info.mode) + " and cannot be converted; decoding stops here");
            stopped_ = true;
        }
        return true;
    }

    mpg123_handle* handle_ = nullptr;
    long rate_ = 0;
    int channels_ = 0;
    int64_t frames_ = 0;
    int errors_ = 0;
    int failuresInRow_ = 0;
    bool stopped_ = false;
};

int Run(int argc, char** argv) {
    if (argc != 3 || argv[1][0] == '\0' || argv[2][0] == '\0') {
        Say("Usage: dec.dll <input.mp3> <output.wav>");
        return 2;
    }
    const std::string inputPath = argv[1];
    const std::string outputPath = argv[2];
    struct stat st {};
    const int64_t inputSize = ::stat(inputPath.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                                  ? static_cast<int64_t>(st.st_size)
                                  : 0;

    // Writing the output over the input would destroy the file still being fed to us.
    struct stat out {};
    if (inputSize > 0 && ::stat(outputPath.c_str(), &out) == 0 && out.st_dev == st.st_dev &&
        out.st_ino == st.st_ino) {
        Say("Error: the output file " + outputPath + " is the input file");
        return 1;
    }

    // The input's end is the stream's end only while the front-end that feeds it lives.
    const pid_t feeder = ::getppid();
    // Temporary files that decoders and encoders killed half-way left beside their outputs.
    orvane::fs::SweepStaleTemps(orvane::fs::FolderOf(outputPath));

    std::string error;
    Decoder decoder;
    if (!decoder.Init(&error)) {
        Say(error);
        return 1;
    }
    // The output is created with the first decoded frame and takes its name only at the end.
    struct stat old {};
    const bool replacing = ::stat(outputPath.c_str(), &old) == 0;
    GrowingWaveFile wave(outputPath);

    std::vector<unsigned char> buffer(65536);
    unsigned char tail[128];  // the last bytes of the input, to recognise a closing tag
    size_t tailFill = 0;
    int64_t bytesIn = 0;
    int lastPercent = -1;
    bool failed = false;
    bool readFailed = false;
    for (;;) {
        ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            Say(std::string("Reading the input failed: ") + std::strerror(errno));
            readFailed = true;
            break;
        }
        if (n == 0) break;
        bytesIn += n;
        if (static_cast<size_t>(n) >= sizeof tail) {
            std::memcpy(tail, buffer.data() + n - sizeof tail, sizeof tail);
            tailFill = sizeof tail;
        } else {
            size_t keep = std::min(tailFill, sizeof tail - static_cast<size_t>(n));
            std::memmove(tail, tail + tailFill - keep, keep);
            std::memcpy(tail + keep, buffer.data(), static_cast<size_t>(n));
            tailFill = keep + static_cast<size_t>(n);
        }
        if (!decoder.Feed(buffer.data(), static_cast<size_t>(n), &wave, &error)) {
            Say("Error: " + error);
            failed = true;
            break;
        }
        if (inputSize <= 0) {
            // Without the input's size, report the frames every few seconds of audio.
            if (decoder.frames() / 200 != lastPercent) {
                lastPercent = static_cast<int>(decoder.frames() / 200);
                Say("Decoding (" + std::to_string(decoder.frames()) + " frames)");
            }
        } else {
            int percent = static_cast<int>(std::min<int64_t>(99, bytesIn * 100 / inputSize));
            if (percent != lastPercent) {
                lastPercent = percent;
                Say("Decoding " + std::to_string(percent) + "% (" +
                    std::to_string(decoder.frames()) + " frames)");
            }
        }
    }

    if (!failed && decoder.frames() > 0 && !decoder.stopped()) {
        long left = decoder.BufferedBytes();
        const bool closingTag = tailFill == sizeof tail && std::memcmp(tail, "TAG", 3) == 0;
        if (left > 0 && !(closingTag && left <= 128)) {
            Say("The input ends inside a frame; its last " + std::to_string(left) +
                " bytes were not decoded");
        }
    }
    // Less than the input file holds arrived: the front-end was cancelled or died, or its read
    // failed. Such a decode is cut short and takes no file's name.
    const bool cut = readFailed || (inputSize > 0 && bytesIn < inputSize) || ::getppid() != feeder;
    if (cut) Say("The input ended early");

    if (!wave.hasFormat()) {
        if (!failed) Say("Error: no MPEG audio was found in the input");
        return 1;
    }
    // A stream that stops decoding part-way is all the file holds; it replaces no older file.
    if (failed || cut || (decoder.stopped() && replacing)) {
        wave.Abandon();
        Say("Error: the decode did not finish; " + outputPath + " was left as it was");
        return 1;
    }
    const uint64_t dataBytes = wave.dataBytes();
    if (!wave.Close(&error)) {
        Say("Error: " + error);
        return 1;
    }
    if (failed) return 1;
    Say("Done: " + std::to_string(decoder.frames()) + " frames, " + std::to_string(dataBytes) +
        " bytes of samples" +
        (decoder.errors() ? ", " + std::to_string(decoder.errors()) + " stream errors" : ""));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "dec.dll", kHelp); answered >= 0)
        return answered;
    std::signal(SIGPIPE, SIG_IGN);
    orvane::fs::AtomicFile::InstallSignalCleanup();
    return Run(argc, argv);
}
