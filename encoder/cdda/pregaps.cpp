#include "encoder/cdda/pregaps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "encoder/cdda/cd_job.h"
#include "encoder/cdda/grab.h"
#include "encoder/wave/pcm_wave.h"
#include "platform/fs/fs.h"

namespace orvane::cdda {

namespace {

constexpr std::size_t kCopyBytes = 64 * 1024;

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// Copies bytes [from, from + count) of fd into write; false on a read error.
template <typename Write>
bool Copy(int fd, std::int64_t from, std::int64_t count, Write write) {
    std::vector<unsigned char> buffer(kCopyBytes);
    while (count > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(count, kCopyBytes));
        if (!wave::ReadWaveBytes(fd, from, buffer.data(), n)) return false;
        if (!write(buffer.data(), n)) return false;
        from += static_cast<std::int64_t>(n);
        count -= static_cast<std::int64_t>(n);
    }
    return true;
}

}  // namespace

bool PregapMover::Apply(const std::string& folder, int track, std::string* path,
                        encoder::ScratchFiles& scratch, std::uint32_t& held, std::string& error) {
    held = 0;
    if (choice_ == rip::PregapChoice::Previous) return true;
    const auto index = static_cast<std::size_t>(track);
    // The end of this file that is the next track's pregap, when that track is ripped.
    std::uint32_t tail = 0;
    const std::size_t next = index + 1;
    if (next < disc_.tracks.size() && disc_.tracks[next].audio && next < checked_.size() &&
        checked_[next] == 1 && index < disc_.tracks.size() &&
        disc_.tracks[next].number == disc_.tracks[index].number + 1)
        tail = disc_.tracks[next].pregap;
    const bool front = carryFor_ == track && !carry_.empty();
    if (tail == 0 && !front) return true;

    Fd in;
    fs::Status status;
    struct stat info {};
    in.fd = fs::OpenForReading(*path, status, &info);
    if (in.fd < 0) {
        error = status.message;
        return false;
    }
    wave::PcmWave wave;
    error = wave::ReadPcmWave(in.fd, info.st_size, wave);
    if (!error.empty()) return false;
    const std::int64_t frameBytes = std::int64_t{kSamplesPerSector} * wave.FrameBytes();
    const std::int64_t frames = wave.frames / kSamplesPerSector;
    if (tail >= frames) tail = 0;  // no pregap as long as its track before: left as read
    if (tail == 0 && !front) return true;

    const std::string rewritten = ReserveScratchName(folder, track, ".WAV", error);
    if (rewritten.empty()) return false;
    scratch.Add(rewritten);
    WaveFileWriter out;
    if (!out.Create(rewritten, error)) return false;
    const auto write = [&out, &error](const unsigned char* data, std::size_t n) {
        return out.Write(data, n, error);
    };
    if (front) {
        Fd carried;
        carried.fd = fs::OpenForReading(carry_, status, &info);
        if (carried.fd < 0 || !Copy(carried.fd, 0, info.st_size, write)) {
            if (error.empty()) error = "Cannot read the pregap kept for " + *path;
            out.Discard();
            return false;
        }
        held = static_cast<std::uint32_t>(info.st_size / frameBytes);
    }
    const std::int64_t keep = (frames - tail) * frameBytes;
    if (!Copy(in.fd, wave.dataStart, keep, write)) {
        if (error.empty()) error = "Cannot read the grabbed track " + *path;
        out.Discard();
        return false;
    }
    if (front) {
        carryFiles_.Release(carry_);
        ::unlink(carry_.c_str());
        carry_.clear();
        carryFor_ = -1;
    }
    if (tail > 0 && choice_ == rip::PregapChoice::Own) {
        // The next track's pregap waits for its file.
        carry_ = ReserveScratchName(folder, track + 1, ".pcm", error);
        if (carry_.empty()) return false;
        carryFiles_.Add(carry_);
        Fd raw;
        raw.fd = ::open(carry_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        std::int64_t at = 0;
        const bool ok =
            raw.fd >= 0 && Copy(in.fd, wave.dataStart + keep, std::int64_t{tail} * frameBytes,
                                [&raw, &at](const unsigned char* data, std::size_t n) {
                                    const bool done = fs::WriteAll(raw.fd, data, n, at);
                                    at += static_cast<std::int64_t>(n);
                                    return done;
                                });
        if (!ok) {
            error = "Cannot keep the pregap of the next track in " + folder + ": " +
                    std::strerror(errno);
            out.Discard();
            return false;
        }
        carryFor_ = track + 1;
    }
    if (!out.Finish(error)) return false;
    scratch.Release(*path);
    ::unlink(path->c_str());
    *path = rewritten;
    return true;
}

}  // namespace orvane::cdda
