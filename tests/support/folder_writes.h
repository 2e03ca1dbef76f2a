#pragma once
// How many files of a folder were being written at the same time: the folder's file events
// are queued from construction on (whatever process writes there) and counted afterwards, in
// the order they happened. A file counts from its creation until it is closed after writing,
// renamed away or removed.

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

namespace orvane::test {

class FolderWrites {
public:
    explicit FolderWrites(const std::filesystem::path& folder)
        : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        EXPECT_GE(fd_, 0) << std::strerror(errno);
        if (fd_ < 0) return;
        EXPECT_GE(::inotify_add_watch(fd_, folder.c_str(),
                                      IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_DELETE),
                  0)
            << std::strerror(errno);
    }
    ~FolderWrites() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderWrites(const FolderWrites&) = delete;
    FolderWrites& operator=(const FolderWrites&) = delete;

    // The most files being written at once, over the events queued so far.
    int MostAtOnce() {
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t got = fd_ < 0 ? -1 : ::read(fd_, buffer, sizeof buffer);
            if (got <= 0) break;
            for (ssize_t at = 0; at < got;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                EXPECT_FALSE(e->mask & IN_Q_OVERFLOW) << "events were lost";
                const std::string name = e->len ? e->name : "";
                if (e->mask & IN_CREATE)
                    open_.insert(name);
                else
                    open_.erase(name);
                most_ = std::max(most_, static_cast<int>(open_.size()));
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
        return most_;
    }

private:
    int fd_;
    std::set<std::string> open_;
    int most_ = 0;
};

}  // namespace orvane::test
