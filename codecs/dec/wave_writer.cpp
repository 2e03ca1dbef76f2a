#include "codecs/dec/wave_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

namespace orvane::codecs {
namespace {

constexpr uint64_t kMaxData = 0xFFFFFFFFull - 36;  // what the 32-bit RIFF size can describe
constexpr uint64_t kHeaderEvery = 1u << 20;        // bring the header up to date every MiB

// What a signal handler needs to finish the header of the one output file, or to remove the
// replacement of an existing file.
std::atomic<int> g_fd{-1};
std::atomic<int> g_rate{0};
std::atomic<int> g_channels{0};
std::atomic<uint64_t> g_bytes{0};
char g_replacement[PATH_MAX];
std::atomic<bool> g_replacing{false};

void Put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

void OnSignal(int sig) {
    if (g_replacing.load()) {
        ::unlink(g_replacement);
    } else if (int fd = g_fd.load(); fd >= 0 && g_rate.load() != 0) {
        unsigned char header[44];
        BuildWaveHeader(g_rate.load(), g_channels.load(), static_cast<uint32_t>(g_bytes.load()),
                        header);
        ssize_t ignored = ::pwrite(fd, header, sizeof header, 0);
        (void)ignored;
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

}  // namespace

void BuildWaveHeader(int rate, int channels, uint32_t dataBytes, unsigned char h[44]) {
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, dataBytes + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);  // PCM
    Put16(h + 22, static_cast<uint32_t>(channels));
    Put32(h + 24, static_cast<uint32_t>(rate));
    Put32(h + 28, static_cast<uint32_t>(rate * channels * 2));
    Put16(h + 32, static_cast<uint32_t>(channels * 2));
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

// A replacement never finished with Close is given up; a new file keeps what it holds.
GrowingWaveFile::~GrowingWaveFile() { Abandon(); }

void GrowingWaveFile::InstallSignalFinish() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

bool GrowingWaveFile::Create(std::string* error) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ >= 0) {
        g_fd.store(fd_);
        return true;
    }
    if (errno != EEXIST) {
        *error = "Cannot create the output file " + path_ + ": " + std::strerror(errno);
        return false;
    }
    // Something is there already: it stays until the new file is complete.
    const orvane::fs::Status opened = replacement_.Open(path_);
    if (!opened) {
        *error = opened.message;
        return false;
    }
    replacing_ = true;
    const std::string& temp = replacement_.tempPath();
    if (temp.size() < sizeof g_replacement) {
        std::memcpy(g_replacement, temp.c_str(), temp.size() + 1);
        g_replacing.store(true);
    }
    return true;
}

bool GrowingWaveFile::Put(uint64_t offset, const void* data, size_t bytes, std::string* error) {
    if (replacing_) {
        const orvane::fs::Status written =
            replacement_.WriteAt(static_cast<int64_t>(offset), data, bytes);
        if (!written) *error = written.message;
        return written.ok();
    }
    if (!orvane::fs::WriteAll(fd_, data, bytes, static_cast<off_t>(offset))) {
        *error = "Cannot write the output file " + path_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool GrowingWaveFile::SetFormat(int rate, int channels, std::string* error) {
    rate_ = rate;
    channels_ = channels;
    g_channels.store(channels);
    g_rate.store(rate);
    return WriteHeader(error);
}

bool GrowingWaveFile::WriteHeader(std::string* error) {
    unsigned char header[44];
    BuildWaveHeader(rate_, channels_, static_cast<uint32_t>(dataBytes_), header);
    if (!Put(0, header, sizeof header, error)) return false;
    sinceHeader_ = 0;
    return true;
}

bool GrowingWaveFile::Append(const void* data, size_t bytes, std::string* error) {
    if (dataBytes_ + bytes > kMaxData) {
        *error = "The output reached the 4 GiB size limit of a WAVE file";
        return false;
    }
    if (!Put(44 + dataBytes_, data, bytes, error)) return false;
    dataBytes_ += bytes;
    sinceHeader_ += bytes;
    g_bytes.store(dataBytes_);
    if (sinceHeader_ >= kHeaderEvery) return WriteHeader(error);
    return true;
}

bool GrowingWaveFile::Close(std::string* error) {
    if (replacing_) {
        bool ok = !hasFormat() || WriteHeader(error);
        if (ok) {
            const orvane::fs::Status committed = replacement_.Commit();
            if (!committed) *error = committed.message;
            ok = committed.ok();
        }
        Abandon();
        return ok;
    }
    if (fd_ < 0) return true;
    bool ok = !hasFormat() || WriteHeader(error);
    g_fd.store(-1);
    if (::close(fd_) != 0 && ok) {
        *error = "Cannot write the output file " + path_ + ": " + std::strerror(errno);
        ok = false;
    }
    fd_ = -1;
    return ok;
}

void GrowingWaveFile::Abandon() {
    if (replacing_) {
        g_replacing.store(false);
        replacement_.Discard();
        replacing_ = false;
        return;
    }
    std::string ignored;
    Close(&ignored);
}

}  // namespace orvane::codecs
