#pragma once
// The single-instance lock of a program: an exclusive flock on "<name>.lock" in
// $XDG_RUNTIME_DIR (else /tmp with the user id in the name). The lock lives as long as the
// object; the kernel releases it when the process ends, however it ends.

#include <string>

namespace orvane::shell {

class InstanceLock {
public:
    explicit InstanceLock(std::string name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False only when another holder has the lock. A lock file that cannot be made does not
    // keep the program from running (it then runs unguarded).
    bool Acquire();
    bool Held() const { return fd_ >= 0; }
    void Release();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace orvane::shell
