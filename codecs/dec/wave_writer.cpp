#include "codecs/dec/wave_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvane::codecs {
namespace {

constexpr uint64_t kMaxData = 0xFFFFFFFFull - 36;  // what the 32-bit RIFF size can describe
constexpr uint64_t kHeaderEvery = 1u << 20;        // bring the header up to date every MiB

void Put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
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

// A file never finished with Close is given up.
GrowingWaveFile::~GrowingWaveFile() { Abandon(); }

bool GrowingWaveFile::Create(std::string* error) {
    // Written beside the name it will take, which an existing file keeps until then.
    orvane::fs::WriteOptions options;
    options.mode = 0644;
    const orvane::fs::Status opened = file_.Open(path_, options);
    if (!opened) {
        *error = opened.message;
        return false;
    }
    open_ = true;
    return true;
}

bool GrowingWaveFile::Put(uint64_t offset, const void* data, size_t bytes, std::string* error) {
    const orvane::fs::Status written = file_.WriteAt(static_cast<int64_t>(offset), data, bytes);
    if (!written) *error = written.message;
    return written.ok();
}

bool GrowingWaveFile::SetFormat(int rate, int channels, std::string* error) {
    rate_ = rate;
    channels_ = channels;
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
    if (sinceHeader_ >= kHeaderEvery) return WriteHeader(error);
    return true;
}

bool GrowingWaveFile::Close(std::string* error) {
    if (!open_) return true;
    bool ok = !hasFormat() || WriteHeader(error);
    if (ok) {
        const orvane::fs::Status committed = file_.Commit();
        if (!committed) *error = committed.message;
        ok = committed.ok();
    }
    Abandon();
    return ok;
}

void GrowingWaveFile::Abandon() {
    file_.Discard();
    open_ = false;
}

}  // namespace orvane::codecs
