#pragma once
// A disk that takes `room` bytes and then is full (ENOSPC), for the writers of platform/fs.

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

#include "platform/fs/fs.h"

namespace orvane::test {

class FullDisk : public fs::FileOps {
public:
    explicit FullDisk(std::size_t room) : room_(room) {}
    ssize_t Write(int fd, const void* data, std::size_t bytes, off_t offset) override {
        if (room_ == 0) {
            errno = ENOSPC;
            return -1;
        }
        const std::size_t now = std::min(bytes, room_);
        room_ -= now;
        return FileOps::Write(fd, data, now, offset);
    }

private:
    std::size_t room_;
};

}  // namespace orvane::test
