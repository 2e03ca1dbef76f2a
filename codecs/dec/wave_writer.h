#pragma once
// A 16-bit PCM WAVE file written while it grows: the samples are appended as they come and the
// header's sizes are brought up to date now and then and at the end, so the file is a valid
// WAVE of what it holds at any moment (and only a little short after a crash).

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace orvane::codecs {

// The canonical 44-byte header for `dataBytes` bytes of 16-bit samples.
void BuildWaveHeader(int rate, int channels, uint32_t dataBytes, unsigned char header[44]);

class GrowingWaveFile {
public:
    explicit GrowingWaveFile(std::string path) : path_(std::move(path)) {}
    ~GrowingWaveFile();
    GrowingWaveFile(const GrowingWaveFile&) = delete;
    GrowingWaveFile& operator=(const GrowingWaveFile&) = delete;

    // Creates (or empties) the file; the format follows with SetFormat.
    bool Create(std::string* error);
    bool SetFormat(int rate, int channels, std::string* error);
    // Appends samples; false once the file cannot take them (write error or the 4 GiB limit).
    bool Append(const void* data, size_t bytes, std::string* error);
    // Writes the final sizes and closes the file.
    bool Close(std::string* error);

    bool hasFormat() const { return rate_ != 0; }
    uint64_t dataBytes() const { return dataBytes_; }

    // Makes SIGINT, SIGTERM and SIGHUP write the current sizes into the header before ending.
    static void InstallSignalFinish();

private:
    bool WriteHeader(std::string* error);

    int fd_ = -1;
    std::string path_;
    int rate_ = 0;
    int channels_ = 0;
    uint64_t dataBytes_ = 0;
    uint64_t sinceHeader_ = 0;
};

}  // namespace orvane::codecs
