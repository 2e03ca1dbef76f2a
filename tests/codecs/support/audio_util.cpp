#include "tests/codecs/support/audio_util.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace orvane::test {
namespace {

constexpr double kPi = std::numbers::pi;

void Put16(std::string* s, uint32_t v) {
    s->push_back(static_cast<char>(v & 0xFF));
    s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
uint32_t Get32(const std::string& s, size_t at) {
    return static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8) |
           (static_cast<unsigned char>(s[at + 2]) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24);
}
uint16_t Get16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                                 (static_cast<unsigned char>(s[at + 1]) << 8));
}

double Fade(size_t i, size_t n, int rate) {
    const double ramp = 0.01 * rate;
    double a = std::min(1.0, static_cast<double>(i) / ramp);
    double b = std::min(1.0, static_cast<double>(n - i) / ramp);
    return std::min(a, b);
}

int Status(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return -WTERMSIG(status);
    return -1000;
}

}  // namespace

std::vector<double> Pcm::Channel(int ch) const {
    std::vector<double> x(frames());
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = samples[i * channels + ch] / 32768.0;
    return x;
}

Pcm Tones(int rate, const std::vector<double>& hz, double seconds, double amplitude) {
    Pcm pcm;
    pcm.rate = rate;
    pcm.channels = static_cast<int>(hz.size());
    const size_t n = static_cast<size_t>(seconds * rate);
    pcm.samples.resize(n * pcm.channels);
    for (size_t i = 0; i < n; ++i) {
        for (int ch = 0; ch < pcm.channels; ++ch) {
            double v = amplitude * Fade(i, n, rate) * std::sin(2 * kPi * hz[ch] * i / rate);
            pcm.samples[i * pcm.channels + ch] = static_cast<int16_t>(std::lround(v * 32767));
        }
    }
    return pcm;
}

Pcm Chord(int rate, int channels, double seconds) {
    Pcm pcm;
    pcm.rate = rate;
    pcm.channels = channels;
    const size_t n = static_cast<size_t>(seconds * rate);
    pcm.samples.resize(n * channels);
    const double partials[2][3] = {{330, 1250, 2900}, {495, 1870, 3700}};
    for (size_t i = 0; i < n; ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            double v = 0;
            for (int p = 0; p < 3; ++p) {
                v += 0.15 / (p + 1) * std::sin(2 * kPi * partials[ch][p] * i / rate);
            }
            v *= Fade(i, n, rate);
            pcm.samples[i * channels + ch] = static_cast<int16_t>(std::lround(v * 32767));
        }
    }
    return pcm;
}

std::string WaveBytes(const Pcm& pcm) {
    std::string s = "RIFF";
    const uint32_t data = static_cast<uint32_t>(pcm.samples.size() * 2);
    Put32(&s, data + 36);
    s += "WAVEfmt ";
    Put32(&s, 16);
    Put16(&s, 1);
    Put16(&s, static_cast<uint32_t>(pcm.channels));
    Put32(&s, static_cast<uint32_t>(pcm.rate));
    Put32(&s, static_cast<uint32_t>(pcm.rate * pcm.channels * 2));
    Put16(&s, static_cast<uint32_t>(pcm.channels * 2));
    Put16(&s, 16);
    s += "data";
    Put32(&s, data);
    for (int16_t v : pcm.samples)
        Put16(&s, static_cast<uint16_t>(v));
    return s;
}

bool ParseWave(const std::string& bytes, Pcm* pcm, uint32_t* headerDataSize) {
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return false;
    size_t pos = 12;
    bool haveFormat = false;
    while (pos + 8 <= bytes.size()) {
        const uint32_t size = Get32(bytes, pos + 4);
        if (bytes.compare(pos, 4, "fmt ") == 0 && pos + 24 <= bytes.size()) {
            pcm->channels = Get16(bytes, pos + 10);
            pcm->rate = static_cast<int>(Get32(bytes, pos + 12));
            if (Get16(bytes, pos + 22) != 16) return false;
            haveFormat = true;
        } else if (bytes.compare(pos, 4, "data") == 0) {
            if (!haveFormat) return false;
            if (headerDataSize) *headerDataSize = size;
            size_t n = std::min<size_t>(size, bytes.size() - pos - 8) / 2;
            pcm->samples.resize(n);
            for (size_t i = 0; i < n; ++i) {
                pcm->samples[i] = static_cast<int16_t>(Get16(bytes, pos + 8 + 2 * i));
            }
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    return false;
}

double TonePower(const std::vector<double>& x, int rate, double hz) {
    const double w = 2 * kPi * hz / rate;
    double s1 = 0;
    double s2 = 0;
    for (double v : x) {
        double s0 = v + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
    const double n = static_cast<double>(x.size());
    return power / (n * n / 4.0);
}

int BestLag(const std::vector<double>& x, const std::vector<double>& y, int maxLag) {
    // On a periodic signal lags a period apart correlate almost alike, and the plain
    // correlation favours whichever stretch of `y` is louder (a fade, the codec's start-up). So
    // the correlation only shortlists the lags (its peaks); of those, the one where `y`
    // matches `x` best over the whole signal wins.
    const size_t start = std::min<size_t>(x.size() / 4, 4000);
    const size_t len = std::min<size_t>(4096, x.size() / 2);
    std::vector<double> score(static_cast<size_t>(maxLag) + 1, 0.0);
    double top = 0;
    for (int lag = 0; lag <= maxLag; ++lag) {
        for (size_t i = start; i < start + len && i + lag < y.size(); ++i) {
            score[lag] += x[i] * y[i + lag];
        }
        top = std::max(top, score[lag]);
    }
    int best = 0;
    double bestSnr = -1e300;
    for (int lag = 0; lag <= maxLag; ++lag) {
        // Only the peaks of the correlation near its top.
        if (score[lag] < 0.9 * top) continue;
        if (lag > 0 && score[lag - 1] > score[lag]) continue;
        if (lag < maxLag && score[lag + 1] > score[lag]) continue;
        const double snr = SnrDb(x, y, lag);
        if (snr > bestSnr) {
            bestSnr = snr;
            best = lag;
        }
    }
    return best;
}

double SnrDb(const std::vector<double>& x, const std::vector<double>& y, int lag, double* gain) {
    // Fit the level first, so that the figure tells how well the shape was kept.
    double xy = 0;
    double yy = 0;
    const size_t margin = 2048;
    for (size_t i = margin; i + margin < x.size() && i + lag < y.size(); ++i) {
        xy += x[i] * y[i + lag];
        yy += y[i + lag] * y[i + lag];
    }
    const double g = yy > 0 ? xy / yy : 1.0;
    if (gain) *gain = g > 0 ? 1.0 / g : 0.0;
    double signal = 0;
    double noise = 0;
    for (size_t i = margin; i + margin < x.size() && i + lag < y.size(); ++i) {
        signal += x[i] * x[i];
        double d = x[i] - g * y[i + lag];
        noise += d * d;
    }
    if (noise <= 0) return 200;
    return 10 * std::log10(signal / noise);
}

int RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& input,
               std::string* output) {
    TempDir dir;
    const std::string outPath = (dir / "stdout").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.empty() ? "/dev/null" : input.c_str(),
                                     O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        if (output) *output = std::string("cannot start ") + args[0] + ": " + std::strerror(rc);
        return -1000;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (output) *output = ReadFile(outPath);
    return Status(status);
}

Child::Child(const std::vector<std::string>& argv) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
    signal(SIGPIPE, SIG_IGN);
}

Child::~Child() {
    CloseInput();
    CloseOutput();
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        Wait();
    }
}

bool Child::Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(in_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void Child::CloseInput() {
    if (in_ >= 0) close(in_);
    in_ = -1;
}

void Child::CloseOutput() {
    if (out_ >= 0) close(out_);
    out_ = -1;
}

std::string Child::ReadLine() {
    for (;;) {
        size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            std::string line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return line;
        }
        char buf[4096];
        ssize_t n = out_ >= 0 ? read(out_, buf, sizeof buf) : 0;
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::string rest;
            rest.swap(pending_);
            return rest;
        }
        pending_.append(buf, static_cast<size_t>(n));
    }
}

std::string Child::ReadAll() {
    std::string all;
    all.swap(pending_);
    char buf[4096];
    for (;;) {
        ssize_t n = out_ >= 0 ? read(out_, buf, sizeof buf) : 0;
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return all;
        all.append(buf, static_cast<size_t>(n));
    }
}

int Child::Wait() {
    if (pid_ <= 0) return -1000;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return Status(status);
}

void Child::Kill(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

std::string DistProgram(const std::string& name) { return (DistDir() / name).string(); }

std::string SystemTool(const std::string& name) {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        std::string path = std::string(dir) + "/" + name;
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return "";
}

}  // namespace orvane::test
