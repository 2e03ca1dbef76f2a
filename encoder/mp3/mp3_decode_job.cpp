// The MP3 decoder job: each MP3 file of its source through the decoder child dec.dll.
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "encoder/job/input_source.h"
#include "encoder/job/parallel_batch.h"
#include "encoder/mp3/child_job.h"
#include "encoder/mp3/mp3_jobs.h"
#include "encoder/mp3/mp3_options.h"
#include "encoder/tags/paths.h"
#include "encoder/wave/wave_info.h"

namespace orvane::encoder {

namespace {

constexpr int kChunk = 8192;

class Mp3DecodeJob : public ChildJob {
public:
    void Run(JobRunner& r) override;

protected:
    void ProgressUpdate(JobRunner& r) override { meter_.DecoderUpdate(r, r.Request().batch); }

private:
    // As the encoder's EncodeFile.
    bool DecodeFile(JobRunner& r, const std::string& input, const std::string& output,
                    std::string& failure);
};

void Mp3DecodeJob::Run(JobRunner& r) {
    const JobRequest& req = r.Request();
    meter_.SetInput(0, 0, 0);
    meter_.ResetStartTime();
    exitCode_ = 1;
    std::unique_ptr<InputSource> source = MakeInputSource(req, "*.MP3");
    if (source->Batch()) {
        std::string outFolder = OutputFolderOf(req.output);
        int n = 0;
        InputSource::Next next;
        for (;;) {
            meter_.bytesFed = 0;
            meter_.bytesWritten = 0;
            if (!NextInBatch(r, *source, n, next, false)) break;
            if (next.step != InputSource::Step::Item) break;
            std::string output = outFolder + BaseName(next.item.input) + ".WAV";
            r.SetText(JobText::Input, next.item.input);
            r.SetText(JobText::Output, output);
            std::string failure;
            ++files_;
            if (!DecodeFile(r, next.item.input, output, failure)) return;
            if (!failure.empty() && !r.CancelRequested())
                failures_.push_back({next.item.input, failure});
        }
    } else {
        InputSource::Next next = source->Take(r);
        std::string failure;
        ++files_;
        if (!DecodeFile(r, next.item.input, next.item.output, failure)) return;
        if (!failure.empty() && !r.CancelRequested())
            failures_.push_back({next.item.input, failure});
    }
    if (r.CancelRequested()) return;
    FinishFiles(r, 500, "Decoding finished", "decoded", source->Batch());
}

bool Mp3DecodeJob::DecodeFile(JobRunner& r, const std::string& input, const std::string& output,
                              std::string& failure) {
    for (const std::string* path : {&input, &output}) {
        failure = PathLengthProblem(*path);
        if (!failure.empty()) return true;
    }
    std::int64_t size = 0;
    int fd = OpenInput(input, output, size, failure);
    if (fd < 0) return true;
    if (SameFile(input, output)) {
        ::close(fd);
        r.Finish("Error: The output file cannot be the input file.", JobResult::Failed, {input});
        return false;
    }
    if (r.CancelRequested()) {
        ::close(fd);
        return false;
    }
    std::string program = ChildProgram(r.Request().appFolder, "dec.dll");
    OutputStamp before = StampOf(output);
    if (!StartChild(r, program, DecoderArguments(program, input, output), 16384)) {
        ::close(fd);
        r.Finish("Error: Cannot Execute Decompressor.", JobResult::Failed, {input});
        return false;
    }
    r.Pause(1500);
    std::vector<char> chunk(kChunk);
    std::int64_t pos = 0;
    meter_.inputPosition = 0;
    int chunks = 0;
    std::string readFailure;
    for (;;) {
        ssize_t count = ::read(fd, chunk.data(), chunk.size());
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && !r.CancelRequested()) readFailure = CutInput(input, errno);
        if (count <= 0) break;
        pos += count;
        meter_.inputPosition = pos;
        meter_.bytesFed += count;
        if (child_->ExitCode() != STILL_ACTIVE) break;
        long written = process::WriteAll(pipeA_.writeFd, chunk.data(),
                                         static_cast<std::size_t>(count), &cancelWake_);
        if (written < count) break;
        meter_.bytesWritten += written;
        if (++chunks == 2) {
            ProgressUpdate(r);
            chunks = 0;
        }
    }
    ::close(fd);
    meter_.inputPosition = -1;
    StopReaderAndClosePipes(r);
    WaitChildAndReader(r);
    failure = readFailure.empty() ? Judge("dec.dll", output, before) : readFailure;
    return true;
}

}  // namespace

std::unique_ptr<Job> MakeMp3DecodeJob() { return std::make_unique<Mp3DecodeJob>(); }

ParallelBatchKind Mp3DecodeBatch() {
    ParallelBatchKind kind;
    kind.finished = "Decoding finished";
    kind.verb = "decoded";
    kind.closingPauseMs = 500;
    return kind;
}

}  // namespace orvane::encoder
