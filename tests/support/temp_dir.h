#pragma once
// A scratch folder for one test, removed with everything in it when the object goes.

#include <filesystem>
#include <set>
#include <string>
#include <vector>

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
// Every regular file below root, by its path relative to root; empty when root is missing.
std::set<std::string> FilesBelow(const std::filesystem::path& root);
// text in single quotes for the shell, its own single quotes kept.
std::string ShellQuote(const std::string& text);
// The program folder of this build (dist/).
std::filesystem::path DistDir();

// What a program said (standard output and error together) and its exit status (-1 when it
// did not exit normally).
struct ProgramResult {
    int status = -1;
    std::string output;
};
// Runs dist/<program> with args, as a script would, and waits for it. shellSetup runs in the
// same shell first (limits, signal dispositions the program inherits).
ProgramResult RunDistProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::string& shellSetup = {});
// Runs command in the shell, its standard error joined to its output, and waits for it.
ProgramResult RunShell(const std::string& command);

}  // namespace orvane::test
