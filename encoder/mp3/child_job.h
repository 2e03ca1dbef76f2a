#pragma once
// What the jobs that run a codec child program share: the pipes, the child, the output reader
// that copies the child's lines into the log, the progress counters and the displays drawn
// from them, and the cancel and end of such a job.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "encoder/job/input_source.h"
#include "encoder/job/job_runner.h"
#include "platform/process/process.h"

namespace orvane::encoder {

// The counters of the file being worked on and the progress displays drawn from them.
class ProgressMeter {
public:
    // -1 as the position means no input is open.
    void SetInput(std::int64_t size, std::int64_t position, std::int64_t fed) {
        inputSize = size;
        inputPosition = position;
        bytesFed = fed;
    }
    void ResetStartTime();
    void SetCurrentOutput(const std::string& path);

    // The MP3 encoder's update (also the one of the end of every job that is not a decode).
    void EncoderUpdate(JobRunner& r, bool batch, const std::string& bitrateText, int bitrateKbps,
                       bool stereo, bool showCompression);
    // The decoder's update: the frames follow the growing output file.
    void DecoderUpdate(JobRunner& r, bool batch);

    std::atomic<std::int64_t> inputSize{0};
    std::atomic<std::int64_t> inputPosition{-1};
    std::atomic<std::int64_t> bytesFed{0};
    std::atomic<std::int64_t> bytesWritten{0};

private:
    std::mutex mutex_;
    std::int64_t startTime_ = 0;
    std::int64_t framesTotal_ = 0;
    std::int64_t framesAtLastUpdate_ = 0;
    std::string currentOutput_;
};

class ChildJob : public Job {
public:
    ~ChildJob() override;

    void Cancel(JobRunner& r) override;
    void WindDown(JobRunner& r) override;
    void OnTick(JobRunner& r, int timerId) override;
    bool Busy() const override { return !readerDone_; }
    void Interrupt() override { cancelWake_.Signal(); }
    void Join() override;

protected:
    // The progress update of this job kind.
    virtual void ProgressUpdate(JobRunner& r) = 0;

    // Notes the file pair and opens the input; -1, with failure saying why, when it cannot be
    // opened (the file fails as any other: a batch goes on, the final message names it).
    int OpenInput(const std::string& input, const std::string& output, std::int64_t& size,
                  std::string& failure);
    // Starts the child on two fresh pipes of pipeSize bytes and the reader on its output.
    bool StartChild(JobRunner& r, const std::string& program, const std::vector<std::string>& args,
                    int pipeSize);
    // The failure of a file whose input could not be read to its end (error: the read's errno,
    // 0 for a file that ended early); ends the child first, so that it writes no output.
    std::string CutInput(const std::string& input, int error);
    // Stops the reader (stop bytes, with progress updates meanwhile) and closes the pipes.
    void StopReaderAndClosePipes(JobRunner& r);
    // Waits for the child (a cancelled one gets a grace time, then is ended) and the reader.
    void WaitChildAndReader(JobRunner& r);
    // Both progress bars full.
    void SetBars100(JobRunner& r);
    // The head of each pass through a batch of files: takes the next item of source into next,
    // moves the overall bar to the n files done and shows the counters (with title, also
    // "(File n of count)" as the window's title). False when the batch is over: a cancel, or n
    // past the source's count.
    bool NextInBatch(JobRunner& r, InputSource& source, int& n, InputSource::Next& next,
                     bool title);
    // The end of a job that took all its files: full bars, a closing pause of waitMs, then
    // finished; or, when files failed, the bars as the work left them, the pause, and each
    // failed file named with its reason (verb: "encoded", "decoded") and no word of a finished
    // job.
    void FinishFiles(JobRunner& r, unsigned waitMs, const std::string& finished,
                     const std::string& verb, bool batch);

    // What a file's output was before its child ran: the child must have written it anew.
    struct OutputStamp {
        bool existed = false;
        std::uint64_t dev = 0, ino = 0;
        std::int64_t mtimeNs = 0, ctimeNs = 0;
    };
    static OutputStamp StampOf(const std::string& path);
    // Empty when the child ended well and wrote the output (there, not empty, written after
    // before); else why the file failed: the child's last error line where it printed one.
    std::string Judge(const std::string& program, const std::string& output,
                      const OutputStamp& before);

    ProgressMeter meter_;
    std::atomic<bool> filesDone_{false};  // only the closing pause and message are left
    DWORD exitCode_ = 1234;
    // Pipe A feeds the child; its write end is the worker's alone.
    process::Pipe pipeA_;
    std::unique_ptr<process::Process> child_;
    process::WakeEvent cancelWake_;
    std::vector<FileFailure> failures_;
    int files_ = 0;  // files taken, failed or not

private:
    void ReaderBody(JobRunner& r, int fd);
    void SetReaderDone();
    bool WriteStopByte();
    void DrainReader(JobRunner& r);

    std::thread reader_;
    std::atomic<bool> readerDone_{true};
    std::mutex readerMutex_;
    std::condition_variable readerCv_;
    // Pipe B carries the child's output: its write end is shared (stop bytes) under
    // pipeMutex_; its read end belongs to the reader thread, which closes it.
    std::mutex pipeMutex_;
    process::Pipe pipeB_;
    std::unique_ptr<process::WakeEvent> drainWake_;

    std::mutex logMutex_;
    std::string log_;
    std::uint64_t lastLogShown_ = 0;
    // The child's last line that reports an error, also one printed after the log stopped.
    std::string lastError_;
};

}  // namespace orvane::encoder
