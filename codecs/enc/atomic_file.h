#pragma once
// An output file that appears under its final name only once it is complete: the bytes go to a
// hidden temporary file in the same folder, which is renamed over the final name at the end.

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane::codecs {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();  // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool Open(const std::string& finalPath, std::string* error);
    bool Write(const void* data, size_t bytes, std::string* error);
    bool WriteAt(int64_t offset, const void* data, size_t bytes, std::string* error);
    // Flushes to disk and renames onto the final path.
    bool Commit(std::string* error);
    void Discard();

    int64_t size() const { return size_; }

    // Makes SIGINT, SIGTERM and SIGHUP remove the temporary file before the process ends.
    static void InstallSignalCleanup();

private:
    int fd_ = -1;
    std::string finalPath_;
    std::string tempPath_;
    int64_t size_ = 0;
};

}  // namespace orvane::codecs
