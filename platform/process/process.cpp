#include "platform/process/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"

extern char** environ;

namespace orvane::process {

namespace {

// The children not reaped yet, for SignalLiveChildren; 0 marks a free slot. A program runs a
// few children at a time; one beyond the table is simply not signalled.
constexpr std::size_t kLiveSlots = 64;
std::atomic<pid_t> g_live[kLiveSlots];

void AddLive(pid_t pid) {
    for (std::atomic<pid_t>& slot : g_live) {
        pid_t expected = 0;
        if (slot.compare_exchange_strong(expected, pid)) return;
    }
}

void RemoveLive(pid_t pid) {
    for (std::atomic<pid_t>& slot : g_live) {
        pid_t expected = pid;
        if (slot.compare_exchange_strong(expected, 0)) return;
    }
}

// A write to a pipe whose reader has gone must fail with EPIPE rather than end the program;
// children inherit the ignored signal, so their late log lines cannot kill them either.
void IgnoreBrokenPipe() {
    static std::once_flag once;
    std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

// Waits until fd is ready for events or wake is signalled; true when fd is ready.
bool WaitReady(int fd, short events, const WakeEvent* wake) {
    pollfd fds[2] = {{fd, events, 0}, {wake ? wake->Fd() : -1, POLLIN, 0}};
    for (;;) {
        int n = ::poll(fds, wake ? 2 : 1, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (wake && (fds[1].revents & POLLIN)) return false;
        if (fds[0].revents & (events | POLLHUP | POLLERR | POLLNVAL)) return true;
    }
}

}  // namespace

void SignalLiveChildren(int sig) noexcept {
    for (const std::atomic<pid_t>& slot : g_live)
        if (const pid_t pid = slot.load(); pid > 0) ::kill(pid, sig);
}

bool CreatePipe(Pipe& pipe, int bufferSize) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    // A smaller buffer than asked for is no failure: the kernel keeps its default then.
    ::fcntl(fds[1], F_SETPIPE_SZ, bufferSize);
    pipe.readFd = fds[0];
    pipe.writeFd = fds[1];
    return true;
}

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void ClosePipe(Pipe& pipe) {
    CloseFd(pipe.readFd);
    CloseFd(pipe.writeFd);
}

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent() {
    if (fd_ >= 0) ::close(fd_);
}

void WakeEvent::Signal() {
    signalled_ = true;
    std::uint64_t one = 1;
    // The counter stays readable until the event is destroyed: a one-shot signal.
    [[maybe_unused]] ssize_t r = ::write(fd_, &one, sizeof one);
}

bool WakeEvent::IsSignalled() const { return signalled_; }

long WriteAll(int fd, const void* data, std::size_t n, const WakeEvent* wake) {
    IgnoreBrokenPipe();
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < n) {
        if (wake && wake->IsSignalled()) break;
        ssize_t w = ::write(fd, p + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitReady(fd, POLLOUT, wake)) break;
            continue;
        }
        break;
    }
    if (done == 0 && n > 0) return -1;
    return static_cast<long>(done);
}

long SpliceAll(int fromFd, std::int64_t offset, int toFd, std::size_t n, const WakeEvent* wake) {
    IgnoreBrokenPipe();
    std::size_t done = 0;
    while (done < n) {
        if (wake && wake->IsSignalled()) break;
        loff_t off = static_cast<loff_t>(offset) + static_cast<loff_t>(done);
        ssize_t moved = ::splice(fromFd, &off, toFd, nullptr, n - done, SPLICE_F_NONBLOCK);
        if (moved > 0) {
            done += static_cast<std::size_t>(moved);
            // A short move means the pipe is full: wait for room rather than try again only
            // to be told so.
            if (done < n && !WaitReady(toFd, POLLOUT, wake)) break;
            continue;
        }
        if (moved == 0) break;  // the file ended early
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitReady(toFd, POLLOUT, wake)) break;
            continue;
        }
        if ((errno == EINVAL || errno == ENOSYS) && done == 0) {
            // A file system without splice: through a buffer.
            std::vector<char> buffer(n);
            ssize_t got = ::pread(fromFd, buffer.data(), n, offset);
            if (got <= 0) return -1;
            return WriteAll(toFd, buffer.data(), static_cast<std::size_t>(got), wake);
        }
        break;
    }
    if (done == 0 && n > 0) return -1;
    return static_cast<long>(done);
}

long ReadSome(int fd, void* data, std::size_t n, const WakeEvent* wake) {
    for (;;) {
        if (wake && !WaitReady(fd, POLLIN, wake)) return -1;
        ssize_t r = ::read(fd, data, n);
        if (r >= 0) return static_cast<long>(r);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!WaitReady(fd, POLLIN, wake)) return -1;
            continue;
        }
        return -1;
    }
}

Process::~Process() {
    // A child still running keeps running (as a Windows child would); reap it when it has
    // already ended so that no zombie is left behind.
    if (pid_ > 0 && !ended_ && ::waitpid(pid_, nullptr, WNOHANG) == pid_) RemoveLive(pid_);
}

bool Process::Spawn(const std::string& program, const std::vector<std::string>& args, int stdinFd,
                    int stdoutFd) {
    IgnoreBrokenPipe();
    std::lock_guard lock(mutex_);
    if (pid_ > 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        errno = rc;
        return false;
    }
    pid_ = pid;
    ended_ = false;
    exitCode_ = STILL_ACTIVE;
    AddLive(pid);
    StartWatch();
    return true;
}

void Process::StartWatch() {
    watch_ = std::make_shared<Watch>();
    try {
        // The thread only waits (WNOWAIT leaves the child to Reap) and owns its share of the
        // flag, so it may outlive this object when the child outlives it.
        std::thread([watch = watch_, pid = pid_] {
            siginfo_t info;
            int r;
            do {
                r = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
            } while (r < 0 && errno == EINTR);
            watch->mayHaveEnded.store(true, std::memory_order_release);
        }).detach();
    } catch (const std::system_error&) {
        // No thread: every ExitCode() asks the kernel instead.
        watch_->mayHaveEnded = true;
    }
}

bool Process::Reap(bool block) {
    if (ended_) return true;
    if (pid_ <= 0) return false;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r != pid_) return false;
    RemoveLive(pid_);
    ended_ = true;
    if (terminated_)
        exitCode_ = terminateCode_;
    else if (WIFEXITED(status))
        exitCode_ = static_cast<DWORD>(WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        exitCode_ = 128u + static_cast<DWORD>(WTERMSIG(status));
    else
        exitCode_ = 1;
    return true;
}

DWORD Process::ExitCode() {
    std::lock_guard lock(mutex_);
    if (!ended_ && watch_ && !watch_->mayHaveEnded.load(std::memory_order_acquire))
        return exitCode_;
    Reap(false);
    return exitCode_;
}

DWORD Process::Wait(DWORD timeoutMs) {
    {
        std::lock_guard lock(mutex_);
        if (pid_ <= 0) return WAIT_FAILED;
        if (Reap(false)) return WAIT_OBJECT_0;
    }
    if (timeoutMs == INFINITE) {
        // No time limit: block in the kernel until the child has ended, without reaping it
        // here, so that other calls keep working meanwhile.
        siginfo_t info;
        int r;
        do {
            r = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT);
        } while (r < 0 && errno == EINTR);
        std::lock_guard lock(mutex_);
        return Reap(true) ? WAIT_OBJECT_0 : WAIT_FAILED;
    }
    // Polls in small steps on the toolkit's clock, so that tests on virtual time never wait.
    std::uint64_t waited = 0;
    for (;;) {
        if (timeoutMs != INFINITE && waited >= timeoutMs) return WAIT_TIMEOUT;
        std::uint32_t step = 5;
        if (timeoutMs != INFINITE)
            step = static_cast<std::uint32_t>(std::min<std::uint64_t>(step, timeoutMs - waited));
        clock::Sleep(step);
        waited += step;
        std::lock_guard lock(mutex_);
        if (Reap(false)) return WAIT_OBJECT_0;
    }
}

bool Process::Terminate(DWORD exitCode) {
    std::lock_guard lock(mutex_);
    if (pid_ <= 0 || Reap(false)) return false;
    terminated_ = true;
    terminateCode_ = exitCode;
    if (::kill(pid_, SIGKILL) != 0) return false;
    Reap(true);
    return true;
}

std::string JoinCommandLine(const std::vector<std::string>& args) {
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i) line += ' ';
        line += args[i];
    }
    return line;
}

}  // namespace orvane::process
