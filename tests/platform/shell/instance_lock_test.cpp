#include "platform/shell/instance_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct RuntimeDir {
    RuntimeDir() {
        char pattern[] = "/tmp/orvane-lock-XXXXXX";
        path = ::mkdtemp(pattern);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        if (old) saved = old;
        had = old != nullptr;
        ::setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
    }
    ~RuntimeDir() {
        if (had)
            ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(path);
    }
    std::string path, saved;
    bool had = false;
};

}  // namespace

TEST(InstanceLock, OneHolderAtATime) {
    RuntimeDir dir;
    orvane::shell::InstanceLock first("TarvoMutex");
    EXPECT_EQ(first.Path(), dir.path + "/TarvoMutex.lock");
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.Acquire());  // asking again keeps it

    orvane::shell::InstanceLock second("TarvoMutex");
    EXPECT_FALSE(second.Acquire());
    EXPECT_FALSE(second.Held());
    // Another name is another lock.
    orvane::shell::InstanceLock other("OtherMutex");
    EXPECT_TRUE(other.Acquire());

    first.Release();
    EXPECT_TRUE(second.Acquire());
}

TEST(InstanceLock, ALockFileThatCannotBeMadeDoesNotStopTheProgram) {
    RuntimeDir dir;
    ::chmod(dir.path.c_str(), 0500);
    orvane::shell::InstanceLock lock("TarvoMutex");
    // Root may still write there; either way the program may run.
    EXPECT_TRUE(lock.Acquire());
    ::chmod(dir.path.c_str(), 0700);
}

TEST(InstanceLock, WithoutARuntimeFolderTheLockIsKeptInTmpPerUser) {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    orvane::shell::InstanceLock lock("TarvoMutexTest");
    EXPECT_EQ(lock.Path().rfind("/tmp/TarvoMutexTest-", 0), 0u);
    if (old) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}
