#pragma once
// Child processes and pipes: the stand-in for CreateProcessA, the runtime's no-wait spawn,
// GetExitCodeProcess, WaitForSingleObject and TerminateProcess.
//
// A child gets its standard input and output from descriptors chosen by the caller through
// dup2 file actions of posix_spawn; the parent's own standard descriptors are never touched.
// Pipes are created close-on-exec, so a child inherits only what it is given explicitly.

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/wintypes.h"

namespace orvane::process {

// Both ends of one pipe; -1 marks a closed end.
struct Pipe {
    int readFd = -1;
    int writeFd = -1;
};

// Creates a close-on-exec pipe whose buffer holds bufferSize bytes (the kernel may round it
// up). False with errno set when the pipe cannot be made.
bool CreatePipe(Pipe& pipe, int bufferSize);
// Closes one descriptor and marks it -1; nothing happens for -1.
void CloseFd(int& fd);
// Closes both ends of a pipe.
void ClosePipe(Pipe& pipe);

// Sends sig to every child spawned by this layer that has not been reaped yet. Safe in a
// signal handler: a program ended by a signal passes it on, so that a codec child whose
// input stops does not take the cut-short input for a whole one.
void SignalLiveChildren(int sig) noexcept;

// A one-shot signal another thread can wait on with poll(): once Signal() has been called,
// every blocking read or write of this layer given the event returns at once.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    void Signal();
    bool IsSignalled() const;
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
    std::atomic<bool> signalled_{false};
};

// Makes writes and reads of fd return at once instead of blocking: only such a descriptor can
// be woken by a WakeEvent in WriteAll and ReadSome.
void SetNonBlocking(int fd);

// Writes all n bytes unless the reader has gone, an error occurs or wake is signalled; returns
// the number of bytes written (-1 when nothing could be written). On a non-blocking
// descriptor the waits happen in poll(), so that wake can end them.
long WriteAll(int fd, const void* data, std::size_t n, const WakeEvent* wake = nullptr);
// Moves n bytes of the file fromFd, starting at offset, into the pipe toFd without copying
// them through our memory (splice), with the same waits and results as WriteAll. Falls back to
// reading and writing where the file cannot be spliced.
long SpliceAll(int fromFd, std::int64_t offset, int toFd, std::size_t n,
               const WakeEvent* wake = nullptr);
// Reads up to n bytes; returns the count, 0 at end of input, -1 on error or when wake is
// signalled while waiting.
long ReadSome(int fd, void* data, std::size_t n, const WakeEvent* wake = nullptr);

class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts program with the argument vector args (args[0] is the program's own name as the
    // child sees it). stdinFd and stdoutFd become the child's descriptors 0 and 1; -1 leaves
    // the parent's own in place. False when the program cannot be started.
    bool Spawn(const std::string& program, const std::vector<std::string>& args, int stdinFd = -1,
               int stdoutFd = -1);

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // STILL_ACTIVE (259) while the child runs, then its exit code: the value it passed to
    // exit(), 128 + the signal number when a signal ended it, or the code given to Terminate.
    // Cheap enough to ask after every block fed to the child: while a watcher thread reports
    // the child alive, no system call is made.
    DWORD ExitCode();
    // Waits on the toolkit's clock for at most timeoutMs (INFINITE for no limit) until the
    // child has ended: WAIT_OBJECT_0 or WAIT_TIMEOUT (WAIT_FAILED when nothing was started).
    DWORD Wait(DWORD timeoutMs);
    // Ends the child at once; its exit code becomes exitCode.
    bool Terminate(DWORD exitCode);

private:
    // Set by a thread blocked in waitid() until the child has ended (without reaping it), or
    // at once when no such thread could be started; until then the child is known to run.
    struct Watch {
        std::atomic<bool> mayHaveEnded{false};
    };

    bool Reap(bool block);
    void StartWatch();

    std::shared_ptr<Watch> watch_;

    std::mutex mutex_;
    pid_t pid_ = -1;
    bool ended_ = false;
    bool terminated_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
    DWORD terminateCode_ = 0;
};

// Joins arguments the way a Windows command line is written: separated by single blanks, so
// an empty argument leaves two blanks in a row.
std::string JoinCommandLine(const std::vector<std::string>& args);

}  // namespace orvane::process
