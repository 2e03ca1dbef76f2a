#include "platform/shell/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace orvane::shell {

namespace {

std::string LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return runtime;
    return "/tmp";
}

}  // namespace

InstanceLock::InstanceLock(std::string name) {
    const std::string folder = LockFolder();
    path_ = folder == "/tmp" ? folder + "/" + name + "-" + std::to_string(::getuid()) + ".lock"
                             : folder + "/" + name + ".lock";
}

InstanceLock::~InstanceLock() { Release(); }

bool InstanceLock::Acquire() {
    if (fd_ >= 0) return true;
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return true;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held;
    }
    fd_ = fd;
    return true;
}

void InstanceLock::Release() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

}  // namespace orvane::shell
