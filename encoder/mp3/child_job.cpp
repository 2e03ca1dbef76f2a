#include "encoder/mp3/child_job.h"

#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include "encoder/job/progress.h"
#include "platform/clock/clock.h"
#include "platform/fs/fs.h"

namespace orvane::encoder {

namespace {

// A cancelled job gives its child this long to end after its input was closed.
constexpr DWORD kCancelGraceMs = 5000;
// How often a wait for a child's end looks for a cancel.
constexpr DWORD kChildPollMs = 100;

// The decoder writes a replacement for an existing output beside it; its size is the progress.
std::int64_t FileLength(const std::string& path) { return fs::SizeBeingWritten(path); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Progress

void ProgressMeter::ResetStartTime() {
    std::lock_guard lock(mutex_);
    startTime_ = clock::Time();
    framesAtLastUpdate_ = 0;
}

void ProgressMeter::SetCurrentOutput(const std::string& path) {
    std::lock_guard lock(mutex_);
    currentOutput_ = path;
}

namespace {

// The file's bar; a single file's overall bar is the same.
void SetFileBars(JobRunner& r, bool batch, int high, int pos) {
    r.SetRange(JobBar::CurrentFile, 0, high);
    r.SetPos(JobBar::CurrentFile, pos);
    if (!batch) {
        r.SetRange(JobBar::Overall, 0, high);
        r.SetPos(JobBar::Overall, pos);
    }
}

}  // namespace

void ProgressMeter::EncoderUpdate(JobRunner& r, bool batch, const std::string& bitrateText,
                                  int bitrateKbps, bool stereo, bool showCompression) {
    std::lock_guard lock(mutex_);
    std::int64_t size = inputSize;
    std::int64_t framesTotal = size / kBytesPerFrameTotal;
    r.SetCounter(JobCounter::Frames, static_cast<int>(framesTotal));
    r.SetText(JobText::Bitrate, bitrateText);
    std::int64_t divisor = BarDivisor(size);
    std::int64_t position = inputPosition;
    // No input open (between files, or at the end): the bars and the frame counter keep what
    // the last file reached instead of falling back to nothing, and the times stay.
    if (position == -1) return;
    SetFileBars(r, batch, static_cast<int>(size / divisor),
                static_cast<int>((position + 1) / divisor));
    std::int64_t framesDone = position / kBytesPerFrameDone;
    if (framesDone <= framesTotal)
        r.SetCounter(JobCounter::CurrentFrame, static_cast<int>(framesDone));
    std::int64_t elapsed = clock::Time() - startTime_;
    r.SetText(JobText::Elapsed, ElapsedText(elapsed));
    r.SetText(JobText::Rate, FramesPerSecondText(framesDone, elapsed));
    if (framesDone < size / kBytesPerFrameDone) {
        std::int64_t fps = framesDone / RateSeconds(elapsed);
        r.SetText(JobText::Remaining, EncoderRemainingText(framesTotal, fps, elapsed));
    } else {
        r.SetText(JobText::Remaining, "00:00:00");
        r.SetRange(JobBar::CurrentFile, 0, 100);
        r.SetPos(JobBar::CurrentFile, 100);
    }
    r.SetText(JobText::Compression,
              showCompression ? CompressionText(bytesFed, bitrateKbps, stereo) : "-");
    framesAtLastUpdate_ = framesDone;
}

void ProgressMeter::DecoderUpdate(JobRunner& r, bool batch) {
    std::lock_guard lock(mutex_);
    std::int64_t length = FileLength(currentOutput_);
    std::int64_t framesDone = std::max<std::int64_t>(length / kBytesPerFrameTotal, 1);
    r.SetCounter(JobCounter::Frames, static_cast<int>(length / kBytesPerFrameTotal));
    r.SetText(JobText::Bitrate, "N/A");
    // A decode compresses nothing: no sizes (the window's first text would stay otherwise).
    r.SetText(JobText::Compression, "-");
    std::int64_t divisor = BarDivisor(length);
    std::int64_t position = inputPosition;
    if (position > 0) {
        std::int64_t inputLength = inputSize;
        SetFileBars(r, batch, static_cast<int>(inputLength / divisor),
                    static_cast<int>((position + 1) / divisor));
        // The frames done scaled by the share of the input read (position is above 0),
        // multiplied first: past half of the input the total is not just the frames done, at
        // its end not 0, and never below the frames done.
        framesTotal_ = std::max(inputLength * framesDone / position, framesDone);
        r.SetCounter(JobCounter::Frames, static_cast<int>(framesTotal_));
        r.SetCounter(JobCounter::CurrentFrame, static_cast<int>(framesDone));
    }
    std::int64_t elapsed = clock::Time() - startTime_;
    r.SetText(JobText::Elapsed, ElapsedText(elapsed));
    r.SetText(JobText::Rate, FramesPerSecondText(framesDone, elapsed));
    std::int64_t fps = framesDone / RateSeconds(elapsed);
    if (fps != 0) r.SetText(JobText::Remaining, DecoderRemainingText(framesTotal_, fps, elapsed));
    framesAtLastUpdate_ = framesDone;
}

// ---------------------------------------------------------------------------------------------
// Cancel and end

ChildJob::~ChildJob() { Join(); }

void ChildJob::Join() {
    if (reader_.joinable()) reader_.join();
}

void ChildJob::Cancel(JobRunner& r) {
    if (readerDone_ && filesDone_) {
        // The work is done and only its closing pause is left: nothing is cancelled, the
        // window just closes (without the job's own final message).
        r.MarkFinished();
        r.Close(IDCANCEL);
        return;
    }
    // A job is running while its reader runs, and also between two files of a batch.
    if (!readerDone_ || r.WorkerRunning()) {
        r.RequestCancel();
        r.Finish("Current Process was Canceled.", JobResult::Cancelled);
        return;
    }
    r.Close(IDCANCEL);
}

void ChildJob::OnTick(JobRunner& r, int timerId) {
    if (timerId == ID_TIMER_PROGRESS || timerId == ID_TIMER_WMA_END) ProgressUpdate(r);
}

void ChildJob::DrainReader(JobRunner& r) {
    while (!readerDone_) {
        if (!WriteStopByte()) break;
        ProgressUpdate(r);
        std::unique_lock lock(readerMutex_);
        readerCv_.wait_for(lock, std::chrono::milliseconds(20),
                           [this] { return readerDone_.load(); });
    }
}

void ChildJob::WindDown(JobRunner& r) {
    DrainReader(r);
    // Closing the pipes: feeding stops (the worker closes A's write end, on which it may be
    // blocked), B's write end closes here.
    cancelWake_.Signal();
    {
        std::lock_guard lock(pipeMutex_);
        process::CloseFd(pipeB_.writeFd);
    }
    std::unique_lock lock(readerMutex_);
    readerCv_.wait(lock, [this] { return readerDone_.load(); });
}

void ChildJob::SetBars100(JobRunner& r) {
    r.SetRange(JobBar::CurrentFile, 0, 100);
    r.SetPos(JobBar::CurrentFile, 100);
    r.SetRange(JobBar::Overall, 0, 100);
    r.SetPos(JobBar::Overall, 100);
}

bool ChildJob::NextInBatch(JobRunner& r, InputSource& source, int& n, InputSource::Next& next,
                           bool title) {
    r.Redraw();
    if (r.CancelRequested()) return false;
    // One file of a batch that runs several at once keeps its number in the whole batch.
    const BatchItem& item = r.Request().item;
    const bool one = r.Request().OneItem();
    if (one && n >= item.number) return false;
    next = source.Take(r);
    int count = source.Count();
    if (one) {
        n = item.number - 1;
        count = item.count;
    }
    r.SetRange(JobBar::Overall, 0, count * 100);
    r.SetPos(JobBar::Overall, n * 100);
    ++n;
    if (n > count) return false;
    if (title) {
        char text[128];
        std::snprintf(text, sizeof text, "Orvane Encoder 2001 - (File %d of %d)", n, count);
        r.SetText(JobText::Title, text);
    }
    r.SetText(JobText::FileCount, std::to_string(count));
    r.SetText(JobText::FileNumber, std::to_string(n));
    return true;
}

void ChildJob::FinishFiles(JobRunner& r, unsigned waitMs, const std::string& finished,
                           const std::string& verb, bool batch) {
    filesDone_ = true;
    // Full bars say that every file was done; a failed file leaves them where its work ended.
    if (failures_.empty()) SetBars100(r);
    // The batch a single file belongs to makes the closing pause once, for all of its files.
    if (!r.Request().OneItem()) r.Pause(waitMs);
    if (failures_.empty()) {
        r.Finish(finished, JobResult::Succeeded);
        return;
    }
    JobOutcome outcome;
    outcome.result = JobResult::Failed;
    outcome.failures = failures_;
    outcome.message = FailureReport(verb, failures_, files_, batch);
    r.Finish(std::move(outcome));
}

// ---------------------------------------------------------------------------------------------
// Output reader

void ChildJob::SetReaderDone() {
    {
        std::lock_guard lock(readerMutex_);
        readerDone_ = true;
    }
    readerCv_.notify_all();
}

void ChildJob::ReaderBody(JobRunner& r, int fd) {
    std::string line;
    std::string quiet;  // a line after the stop byte: not shown, but its error is kept
    bool stopped = false;
    bool unshown = false;  // the box lacks lines that the log already holds
    auto noteError = [&](const std::string& text) {
        if (text.rfind("Error", 0) != 0) return;
        std::lock_guard lock(logMutex_);
        lastError_ = text;
    };
    auto endLine = [&] {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        noteError(line);
        std::lock_guard lock(logMutex_);
        log_ += line;
        log_ += "\r\n";
        line.clear();
        // The whole log goes to the box; at most every 50 ms while lines pour in.
        std::uint64_t now = clock::Current().NowMs();
        if (now - lastLogShown_ >= 50 || lastLogShown_ == 0) {
            lastLogShown_ = now == 0 ? 1 : now;
            r.SetText(JobText::Log, log_);
            unshown = false;
        } else {
            unshown = true;
        }
    };
    auto take = [&](const char* data, long n) {
        for (long i = 0; i < n; ++i) {
            unsigned char b = static_cast<unsigned char>(data[i]);
            if (stopped) {
                // Lines after the stop byte are not shown.
                if (b == '\n' || quiet.size() > 100) {
                    if (!quiet.empty() && quiet.back() == '\r') quiet.pop_back();
                    noteError(quiet);
                    quiet.clear();
                } else if (b != 0xFF) {
                    quiet += static_cast<char>(b);
                }
                continue;
            }
            if (b == 0xFF) {
                stopped = true;
                {
                    std::lock_guard lock(logMutex_);
                    r.SetText(JobText::Log, log_);
                }
                SetReaderDone();
                continue;
            }
            if (b == '\n') {
                endLine();
                continue;
            }
            line += static_cast<char>(b);
            if (line.size() > 100) endLine();
        }
    };
    char buf[4096];
    for (;;) {
        if (unshown && !stopped) {
            // Lines held back while they poured in are shown once the child has been quiet
            // for a moment, not only when its next line arrives.
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 50) == 0) {
                std::lock_guard lock(logMutex_);
                std::uint64_t now = clock::Current().NowMs();
                lastLogShown_ = now == 0 ? 1 : now;
                r.SetText(JobText::Log, log_);
                unshown = false;
            }
        }
        long n = process::ReadSome(fd, buf, sizeof buf, drainWake_.get());
        if (n < 0) {
            // Woken once the child has ended: what it wrote last is still in the pipe. Take it
            // without waiting (and not without end, should another process keep writing).
            for (int rounds = 0; rounds < 16; ++rounds) {
                long more = ::read(fd, buf, sizeof buf);
                if (more <= 0) break;
                take(buf, more);
            }
            break;
        }
        if (n == 0) break;
        take(buf, n);
    }
    if (!quiet.empty()) noteError(quiet);
    if (!stopped) {
        {
            std::lock_guard lock(logMutex_);
            r.SetText(JobText::Log, log_);
        }
        SetReaderDone();
    }
    ::close(fd);
}

bool ChildJob::WriteStopByte() {
    std::lock_guard lock(pipeMutex_);
    if (pipeB_.writeFd < 0) return false;
    const unsigned char stop = 0xFF;
    return process::WriteAll(pipeB_.writeFd, &stop, 1) == 1;
}

// ---------------------------------------------------------------------------------------------
// Child processes

int ChildJob::OpenInput(const std::string& input, const std::string& output, std::int64_t& size,
                        std::string& failure) {
    meter_.SetCurrentOutput(output);
    // A regular file only: a FIFO or a device must not stall the job or feed it without end.
    fs::Status status;
    int fd = fs::OpenForReading(input, status);
    if (fd < 0) {
        const std::string reason = status.kind == fs::Status::Kind::NotRegularFile
                                       ? "not a regular file"
                                       : std::string(std::strerror(status.code));
        failure = "Error: Cannot open the input file (" + reason + ")";
        return -1;
    }
    // Without access-time updates where the file is ours: the feed reads it in thousands of
    // small reads, and each would otherwise check the time stamp.
    if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NOATIME);
    size = ::lseek(fd, 0, SEEK_END);
    ::lseek(fd, 0, SEEK_SET);
    meter_.inputSize = size;
    return fd;
}

bool ChildJob::StartChild(JobRunner& r, const std::string& program,
                          const std::vector<std::string>& args, int pipeSize) {
    int readerFd = -1;
    {
        // Finish may close B's write end from another thread: the pipes are made, handed to
        // the child and to the reader under the lock, and never once the job has finished.
        std::lock_guard lock(pipeMutex_);
        if (r.Finished()) return false;
        if (!process::CreatePipe(pipeA_, pipeSize)) return false;
        if (!process::CreatePipe(pipeB_, pipeSize)) {
            process::ClosePipe(pipeA_);
            return false;
        }
        child_ = std::make_unique<process::Process>();
        bool started = child_->Spawn(program, args, pipeA_.readFd, pipeB_.writeFd);
        // The child holds its own copy of A's read end; ours would only keep a dead child's
        // input open, so a write after its end fails instead of waiting for ever.
        process::CloseFd(pipeA_.readFd);
        if (!started) {
            process::ClosePipe(pipeA_);
            process::ClosePipe(pipeB_);
            return false;
        }
        // Our end only: the feed must stay wakeable by a cancel.
        process::SetNonBlocking(pipeA_.writeFd);
        readerFd = pipeB_.readFd;
        pipeB_.readFd = -1;  // the reader owns it now
        // The reader's last reads after the child's end must not wait.
        process::SetNonBlocking(readerFd);
        readerDone_ = false;
    }
    if (reader_.joinable()) reader_.join();
    drainWake_ = std::make_unique<process::WakeEvent>();
    reader_ = std::thread([this, &r, readerFd] { ReaderBody(r, readerFd); });
    return true;
}

std::string ChildJob::CutInput(const std::string& input, int error) {
    // Told first, before its input closes: a child must not take the cut for the file's end.
    if (child_ && child_->ExitCode() == STILL_ACTIVE) ::kill(child_->Pid(), SIGTERM);
    return "Error: Cannot read " + input + ": " +
           (error ? std::strerror(error) : "the file ended before its audio data did");
}

void ChildJob::StopReaderAndClosePipes(JobRunner& r) {
    DrainReader(r);
    process::CloseFd(pipeA_.writeFd);
    std::lock_guard lock(pipeMutex_);
    process::ClosePipe(pipeB_);
}

void ChildJob::WaitChildAndReader(JobRunner& r) {
    if (child_) {
        // A child may take its time after its input ended, or never end: the wait looks at the
        // cancel token between short waits, and a cancelled child that does not end once its
        // input is closed is ended for it after the grace time.
        while (!r.CancelRequested() && child_->Wait(kChildPollMs) == WAIT_TIMEOUT) {
        }
        if (r.CancelRequested() && child_->Wait(kCancelGraceMs) != WAIT_OBJECT_0)
            child_->Terminate(1);
        exitCode_ = child_->ExitCode();
    }
    if (drainWake_) drainWake_->Signal();
    if (reader_.joinable()) reader_.join();
    drainWake_.reset();
}

ChildJob::OutputStamp ChildJob::StampOf(const std::string& path) {
    OutputStamp stamp;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return stamp;
    stamp.existed = true;
    stamp.dev = st.st_dev;
    stamp.ino = st.st_ino;
    stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

std::string ChildJob::Judge(const std::string& program, const std::string& output,
                            const OutputStamp& before) {
    std::string error;
    {
        std::lock_guard lock(logMutex_);
        error = lastError_;
        lastError_.clear();
    }
    if (exitCode_ != 0) {
        if (!error.empty()) return error;
        return program + " ended with status " + std::to_string(exitCode_);
    }
    struct stat st;
    if (::stat(output.c_str(), &st) != 0)
        return error.empty() ? "No output file was written" : error;
    if (st.st_size == 0) return error.empty() ? "The output file is empty" : error;
    OutputStamp after = StampOf(output);
    if (before.existed && after.dev == before.dev && after.ino == before.ino &&
        after.mtimeNs == before.mtimeNs && after.ctimeNs == before.ctimeNs)
        return error.empty() ? "The output file was not written" : error;
    return {};
}

}  // namespace orvane::encoder
