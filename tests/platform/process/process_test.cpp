#include "platform/process/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/clock/clock.h"
#include "support/temp_dir.h"

namespace orvane::process {
namespace {

const std::string kFake = FAKE_CHILD_PATH;

// Reads everything until end of input.
std::string Drain(int fd) {
    std::string all;
    char buf[4096];
    long n;
    while ((n = ReadSome(fd, buf, sizeof buf)) > 0)
        all.append(buf, static_cast<std::size_t>(n));
    return all;
}

TEST(Process, PipesGetTheRequestedSizeAndAreNotInherited) {
    Pipe p;
    ASSERT_TRUE(CreatePipe(p, 32768));
    EXPECT_EQ(::fcntl(p.writeFd, F_GETPIPE_SZ), 32768);
    EXPECT_TRUE(::fcntl(p.readFd, F_GETFD) & FD_CLOEXEC);
    Pipe q;
    ASSERT_TRUE(CreatePipe(q, 16384));
    EXPECT_EQ(::fcntl(q.readFd, F_GETPIPE_SZ), 16384);
    ClosePipe(p);
    ClosePipe(q);
    EXPECT_EQ(p.readFd, -1);
    EXPECT_EQ(p.writeFd, -1);
}

TEST(Process, ChildReadsRedirectedInputAndWritesRedirectedOutput) {
    test::TempDir dir;
    Pipe in, out;
    ASSERT_TRUE(CreatePipe(in, 32768));
    ASSERT_TRUE(CreatePipe(out, 32768));
    ::setenv("FAKE_MODE", "copy", 1);
    Process child;
    std::string target = (dir / "out.bin").string();
    ASSERT_TRUE(child.Spawn(kFake, {kFake, target}, in.readFd, out.writeFd));
    CloseFd(in.readFd);
    CloseFd(out.writeFd);
    EXPECT_EQ(WriteAll(in.writeFd, "hello", 5), 5);
    CloseFd(in.writeFd);
    std::string said = Drain(out.readFd);
    EXPECT_EQ(child.Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(child.ExitCode(), 0u);
    EXPECT_NE(said.find("done 5"), std::string::npos);
    EXPECT_EQ(test::ReadFile(target), "hello");
    ClosePipe(out);
    // Our own standard descriptors were not redirected.
    EXPECT_EQ(::isatty(0), ::isatty(0));
    EXPECT_NE(::fcntl(1, F_GETFD), -1);
}

TEST(Process, ArgumentsArriveUnchangedIncludingEmptyOnes) {
    test::TempDir dir;
    std::string argsFile = (dir / "args").string();
    ::setenv("FAKE_MODE", "exit", 1);
    ::setenv("FAKE_CODE", "0", 1);
    ::setenv("FAKE_ARGS", argsFile.c_str(), 1);
    Process child;
    ASSERT_TRUE(child.Spawn(kFake, {"enc.dll", "-mj", "", "a b.wav"}));
    EXPECT_EQ(child.Wait(INFINITE), WAIT_OBJECT_0);
    ::unsetenv("FAKE_ARGS");
    EXPECT_EQ(test::ReadFile(argsFile), "enc.dll\n-mj\n\na b.wav\n");
}

TEST(Process, ExitCodeIsStillActiveWhileRunningThenTheStatus) {
    ::setenv("FAKE_MODE", "ignore", 1);
    Process child;
    ASSERT_TRUE(child.Spawn(kFake, {kFake}));
    EXPECT_EQ(child.ExitCode(), STILL_ACTIVE);
    clock::VirtualClock vc(true);
    clock::Install(&vc);
    EXPECT_EQ(child.Wait(250), WAIT_TIMEOUT);
    clock::Install(nullptr);
    EXPECT_TRUE(child.Terminate(0x80004005));
    EXPECT_EQ(child.ExitCode(), 0x80004005u);
    EXPECT_FALSE(child.Terminate(1));  // already ended

    ::setenv("FAKE_MODE", "exit", 1);
    ::setenv("FAKE_CODE", "7", 1);
    Process quick;
    ASSERT_TRUE(quick.Spawn(kFake, {kFake}));
    EXPECT_EQ(quick.Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(quick.ExitCode(), 7u);
}

TEST(Process, MissingProgramFailsToStart) {
    Process child;
    EXPECT_FALSE(child.Spawn("/nonexistent/enc.dll", {"enc.dll"}));
    EXPECT_FALSE(child.Started());
    EXPECT_EQ(child.Wait(0), WAIT_FAILED);
}

TEST(Process, WriteToAGoneReaderFailsInsteadOfKillingUs) {
    Pipe p;
    ASSERT_TRUE(CreatePipe(p, 16384));
    CloseFd(p.readFd);
    EXPECT_EQ(WriteAll(p.writeFd, "x", 1), -1);
    ClosePipe(p);
}

TEST(Process, WakeEndsABlockedWriteAndABlockedRead) {
    Pipe p;
    ASSERT_TRUE(CreatePipe(p, 16384));
    WakeEvent wake;
    SetNonBlocking(p.writeFd);
    std::string big(1 << 20, 'a');
    long written = 0;
    std::thread writer([&] { written = WriteAll(p.writeFd, big.data(), big.size(), &wake); });
    WakeEvent wake2;
    long got = 0;
    Pipe q;
    ASSERT_TRUE(CreatePipe(q, 16384));
    std::thread reader([&] {
        char c;
        got = ReadSome(q.readFd, &c, 1, &wake2);
    });
    // Signal once the writer is blocked on the full pipe.
    int queued = 0;
    while (queued < 16384) {
        std::this_thread::yield();
        ::ioctl(p.readFd, FIONREAD, &queued);
    }
    wake.Signal();
    wake2.Signal();
    writer.join();
    reader.join();
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<long>(big.size()));
    EXPECT_EQ(got, -1);
    ClosePipe(p);
    ClosePipe(q);
}

TEST(Process, CommandLineKeepsEmptyArgumentsAsDoubleBlanks) {
    EXPECT_EQ(JoinCommandLine({"\"enc.dll\"", "-dn", "", "", "-t"}), "\"enc.dll\" -dn   -t");
}

}  // namespace
}  // namespace orvane::process

namespace orvane::process {
namespace {

TEST(Process, SpliceMovesAFileRangeIntoAPipe) {
    test::TempDir dir;
    test::WriteFile(dir / "f", "0123456789abcdef");
    int fd = ::open((dir / "f").c_str(), O_RDONLY);
    Pipe p;
    ASSERT_TRUE(CreatePipe(p, 16384));
    SetNonBlocking(p.writeFd);
    EXPECT_EQ(SpliceAll(fd, 4, p.writeFd, 6), 6);
    EXPECT_EQ(SpliceAll(fd, 14, p.writeFd, 8), 2);  // the file ends first
    char buf[16] = {};
    EXPECT_EQ(ReadSome(p.readFd, buf, sizeof buf), 8);
    EXPECT_EQ(std::string(buf, 8), "456789ef");
    CloseFd(p.readFd);
    EXPECT_EQ(SpliceAll(fd, 0, p.writeFd, 4), -1);  // nobody reads any more
    ::close(fd);
    ClosePipe(p);
}

TEST(Process, SpliceLargerThanThePipeArrivesWholeAndInOrder) {
    // A file several times the pipe's size, drained slowly by another thread: the feed has to
    // wait for room between short moves and must neither lose nor repeat bytes.
    test::TempDir dir;
    std::string data;
    for (int i = 0; data.size() < 200000; ++i)
        data += std::to_string(i) + ',';
    test::WriteFile(dir / "f", data);
    int fd = ::open((dir / "f").c_str(), O_RDONLY);
    Pipe p;
    ASSERT_TRUE(CreatePipe(p, 16384));
    SetNonBlocking(p.writeFd);
    std::string got;
    std::thread reader([&] {
        char buf[3000];
        long n;
        while ((n = ReadSome(p.readFd, buf, sizeof buf)) > 0)
            got.append(buf, static_cast<std::size_t>(n));
    });
    long moved = 0;
    for (std::size_t pos = 0; pos < data.size(); pos += 8192) {
        std::size_t count = std::min<std::size_t>(8192, data.size() - pos);
        moved += SpliceAll(fd, static_cast<std::int64_t>(pos), p.writeFd, count);
    }
    CloseFd(p.writeFd);
    reader.join();
    EXPECT_EQ(moved, static_cast<long>(data.size()));
    EXPECT_TRUE(got == data);
    ::close(fd);
    ClosePipe(p);
}

TEST(Process, ExitCodeSeesTheEndWithoutAWaitAndNeverHangsOnARunningChild) {
    ::setenv("FAKE_MODE", "exit", 1);
    ::setenv("FAKE_CODE", "5", 1);
    Process quick;
    ASSERT_TRUE(quick.Spawn(kFake, {kFake}));
    // Asked repeatedly, as the feed loop does, the exit code turns up on its own.
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (quick.ExitCode() == STILL_ACTIVE && std::chrono::steady_clock::now() < limit)
        std::this_thread::yield();
    EXPECT_EQ(quick.ExitCode(), 5u);
    EXPECT_EQ(quick.Wait(0), WAIT_OBJECT_0);

    // Dropping the object of a child that keeps running returns at once and leaves it running.
    ::setenv("FAKE_MODE", "ignore", 1);
    pid_t pid = -1;
    {
        Process running;
        ASSERT_TRUE(running.Spawn(kFake, {kFake}));
        pid = running.Pid();
        EXPECT_EQ(running.ExitCode(), STILL_ACTIVE);
    }
    EXPECT_EQ(::kill(pid, 0), 0);
    ::kill(pid, SIGKILL);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
}

}  // namespace
}  // namespace orvane::process
