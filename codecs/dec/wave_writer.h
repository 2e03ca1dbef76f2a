#pragma once
// A 16-bit PCM WAVE file written while it grows: the samples are appended as they come and the
// header's sizes are brought up to date now and then and at the end, so the file is a valid
// WAVE of what it holds at any moment (and only a little short after a crash).
//
// A file that exists at the path already is not touched until the new one is complete: the new
// one grows under a hidden temporary name beside it (which orvane::fs::SizeBeingWritten finds)
// and replaces it at Close; a decode that is abandoned or killed leaves the old file as it was.

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

    // Creates the file (or its replacement); the format follows with SetFormat.
    bool Create(std::string* error);
    bool SetFormat(int rate, int channels, std::string* error);
    // Appends samples; false once the file cannot take them (write error or the 4 GiB limit).
    bool Append(const void* data, size_t bytes, std::string* error);
    // Writes the final sizes and closes the file; a replacement then takes the old file's place.
    bool Close(std::string* error);
    // Gives the file up: a replacement is removed (the old file stays); a new file is closed as
    // far as it got.
    void Abandon();

    bool hasFormat() const { return rate_ != 0; }
    bool replacing() const { return replacing_; }
    uint64_t dataBytes() const { return dataBytes_; }

    // Makes SIGINT, SIGTERM and SIGHUP write the current sizes into the header before ending.
    static void InstallSignalFinish();

private:
    bool WriteHeader(std::string* error);
    bool Put(uint64_t offset, const void* data, size_t bytes, std::string* error);

    orvane::fs::AtomicFile replacement_;
    bool replacing_ = false;
    int fd_ = -1;
    std::string path_;
    int rate_ = 0;
    int channels_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t sinceHeader_ = 0;
};

}  // namespace orvane::codecs
