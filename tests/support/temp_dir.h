#pragma once
// A scratch folder for one test, removed with everything in it when the object goes.

#include <filesystem>
#include <string>

namespace orvane::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Writes bytes to a file, replacing it.
void WriteFile(const std::filesystem::path& file, const std::string& bytes);
// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& file);
// The program folder of this build (dist/).
std::filesystem::path DistDir();

}  // namespace orvane::test
