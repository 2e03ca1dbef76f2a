#pragma once
// A 16-bit PCM WAVE file written while it grows: the samples are appended as they come and the
// header's sizes are brought up to date now and then and at the end, so the growing file is a
// valid WAVE of what it holds at any moment.
//
// The file grows under a hidden temporary name beside its own (which
// orvane::fs::SizeBeingWritten finds) and takes its name at Close, synced, replacing a file of
// that name only then; a decode that is abandoned, fails or is killed leaves nothing under the
// name and an older file there as it was.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/fs/fs.h"

namespace orvane::codecs {

// The canonical 44-byte header for `dataBytes` bytes of 16-bit samples.
void BuildWaveHeader(int rate, int channels, uint32_t dataBytes, unsigned char header[44]);

class GrowingWaveFile {
public:
    explicit GrowingWaveFile(std::string path) : path_(std::move(path)) {}
    ~GrowingWaveFile();
    GrowingWaveFile(const GrowingWaveFile&) = delete;
    GrowingWaveFile& operator=(const GrowingWaveFile&) = delete;

    // Creates the file under its temporary name; the format follows with SetFormat.
    bool Create(std::string* error);
    bool SetFormat(int rate, int channels, std::string* error);
    // Appends samples; false once the file cannot take them (write error or the 4 GiB limit).
    bool Append(const void* data, size_t bytes, std::string* error);
    // Writes the final sizes, syncs the file and gives it its name; false when any of it failed
    // (the file is then given up).
    bool Close(std::string* error);
    // Gives the file up: it is removed, an older file of its name stays.
    void Abandon();

    bool hasFormat() const { return rate_ != 0; }
    uint64_t dataBytes() const { return dataBytes_; }

private:
    bool WriteHeader(std::string* error);
    bool Put(uint64_t offset, const void* data, size_t bytes, std::string* error);

    orvane::fs::AtomicFile file_;
    bool open_ = false;
    std::string path_;
    int rate_ = 0;
    int channels_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t sinceHeader_ = 0;
};

}  // namespace orvane::codecs
