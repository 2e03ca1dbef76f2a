#include "codecs/enc/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace orvane::codecs {
namespace {

// The temporary file a signal handler must remove (one output per process).
char g_tempPath[4096];
std::atomic<bool> g_tempActive{false};

void OnSignal(int sig) {
    if (g_tempActive.load()) ::unlink(g_tempPath);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

std::string Reason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::InstallSignalCleanup() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

bool AtomicFile::Open(const std::string& finalPath, std::string* error) {
    finalPath_ = finalPath;
    const size_t slash = finalPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : finalPath.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    struct stat st {};
    if (::stat(finalPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = "The output path " + finalPath + " is a folder";
        return false;
    }
    std::vector<char> pattern(folder.begin(), folder.end());
    const std::string name = "." + base.substr(0, 200) + ".XXXXXX";
    pattern.insert(pattern.end(), name.begin(), name.end());
    pattern.push_back('\0');
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) {
        *error = Reason("Cannot create the output file", finalPath);
        return false;
    }
    ::fchmod(
        fd_, 0644 & ~[] {
            mode_t mask = ::umask(0);
            ::umask(mask);
            return mask;
        }());
    tempPath_ = pattern.data();
    if (tempPath_.size() < sizeof(g_tempPath)) {
        std::memcpy(g_tempPath, tempPath_.c_str(), tempPath_.size() + 1);
        g_tempActive.store(true);
    }
    size_ = 0;
    return true;
}

bool AtomicFile::Write(const void* data, size_t bytes, std::string* error) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        ssize_t n = ::write(fd_, p, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = Reason("Cannot write the output file", finalPath_);
            return false;
        }
        p += n;
        bytes -= static_cast<size_t>(n);
        size_ += n;
    }
    return true;
}

bool AtomicFile::WriteAt(int64_t offset, const void* data, size_t bytes, std::string* error) {
    ssize_t n = ::pwrite(fd_, data, bytes, offset);
    if (n != static_cast<ssize_t>(bytes)) {
        *error = Reason("Cannot write the output file", finalPath_);
        return false;
    }
    return true;
}

bool AtomicFile::Commit(std::string* error) {
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        fd_ = -1;
        *error = Reason("Cannot write the output file", finalPath_);
        Discard();
        return false;
    }
    fd_ = -1;
    if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
        *error = Reason("Cannot rename the output file to", finalPath_);
        Discard();
        return false;
    }
    g_tempActive.store(false);
    tempPath_.clear();
    return true;
}

void AtomicFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        g_tempActive.store(false);
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

}  // namespace orvane::codecs
