#include "encoder/app/status_dialog.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "encoder/app/encoder_app.h"
#include "encoder/app/paths.h"
#include "encoder/app/progress.h"
#include "encoder/app/resource.h"
#include "platform/clock/clock.h"
#include "platform/fs/fs.h"

namespace orvane::encoder {

namespace {

constexpr int kChunk = 8192;
// A cancelled job gives its child this long to end after its input was closed.
constexpr DWORD kCancelGraceMs = 5000;

// The decoder writes a replacement for an existing output beside it; its size is the progress.
std::int64_t FileLength(const std::string& path) { return orvane::fs::SizeBeingWritten(path); }

}  // namespace

ProcessingStatusDialog::ProcessingStatusDialog(EncoderApp& app) : app_(app), sheet_(app) {}

ProcessingStatusDialog::~ProcessingStatusDialog() { Detach(); }

void ProcessingStatusDialog::Detach() {
    if (worker_.joinable()) {
        // The window is going: a job still running is cancelled quietly.
        if (workerRunning_) {
            RequestCancel();
            finished_ = true;
            cancelWake_.Signal();
        }
        worker_.join();
    }
    if (reader_.joinable()) reader_.join();
    port_ = nullptr;
}

void ProcessingStatusDialog::WaitForWorker() {
    if (worker_.joinable()) worker_.join();
}

std::string ProcessingStatusDialog::LogText() {
    std::lock_guard lock(logMutex_);
    return log_;
}

void ProcessingStatusDialog::WaitMs(unsigned ms) {
    // One sleep that a cancel ends at once (it wakes the clock's sleepers).
    clock::Current().SleepMsUnless(ms, [this] { return cancelRequested_.load(); });
}

void ProcessingStatusDialog::RequestCancel() {
    cancelRequested_ = true;
    clock::Current().WakeSleepers();
}

// ---------------------------------------------------------------------------------------------
// Window events

void ProcessingStatusDialog::OnInitDialog() {
    WindowPort& w = *port_;
    w.SetText(IDC_STATUS_INPUT, "");
    w.SetText(IDC_STATUS_OUTPUT, "");
    w.SetText(IDC_STATUS_ELAPSED, "00:00:00");
    w.SetText(IDC_STATUS_REMAINING, "00:00:00");
    w.SetText(IDC_STATUS_FPS, "FPS");
    w.SetText(IDC_STATUS_BITRATE, "0kbps");
    w.SetText(IDC_STATUS_FILENO, "1");
    w.SetText(IDC_STATUS_FILECOUNT, "1");
    w.SetText(IDC_STATUS_COMPRESSION, "0MB Compressed to 0MB");

    int result = w.DoModal(IDD_SHEET);
    if (result == IDCANCEL || sheet_.Result() != ID_WIZFINISH || sheet_.InputText().empty() ||
        sheet_.OutputText().empty()) {
        w.PostCommand(IDCANCEL);
        return;
    }
    BuildEncoderOptions();
    {
        std::lock_guard lock(logMutex_);
        log_.clear();
    }
    w.SetText(IDC_STATUS_LOG, "");
    inputPosition_ = 0;
    inputSize_ = 0;
    w.SetText(IDC_STATUS_INPUT, job_.inputPath);
    w.SetText(IDC_STATUS_OUTPUT, job_.outputPath);
    ResetStartTime();
    if (job_.kind == JobKind::EncodeWma) w.SetTimer(ID_TIMER_WMA, 1000);
    StartWorker();
}

void ProcessingStatusDialog::ResetStartTime() {
    startTime_ = clock::Time();
    framesAtLastUpdate_ = 0;
}

void ProcessingStatusDialog::StartWorker() {
    jobStarted_ = true;
    workerRunning_ = true;
    worker_ = std::thread([this] {
        RunJob();
        workerRunning_ = false;
    });
}

void ProcessingStatusDialog::OnCancel() {
    WindowPort& w = *port_;
    if (!jobStarted_) {
        w.EndDialog(IDCANCEL);
        return;
    }
    bool wma = job_.kind == JobKind::EncodeWma;
    if (!wma && readerDone_ && filesDone_) {
        // The work is done and only its closing pause is left: nothing is cancelled, the
        // dialog just closes (without the job's own final message).
        finished_ = true;
        w.EndDialog(IDCANCEL);
        return;
    }
    // A job is running while its reader runs, and also between two files of a batch.
    if (!readerDone_ || workerRunning_) {
        RequestCancel();
        cancelWake_.Signal();
        if (wma) {
            // The WMA job's own end stays silent from here on: one final message only.
            if (finished_.exchange(true)) return;
            w.SetWaitCursor(true);
            stoppingText_ += "Stopping the Encoder Engine...\r\n";
            stoppingText_ += "Please wait a few seconds...";
            w.SetText(IDC_STATUS_LOG, stoppingText_);
            w.ProcessMessages();
            clock::Sleep(2000);
            w.MessageBox("Current Process was Canceled.", "", MB_ICONINFORMATION);
            w.EndDialog(IDCANCEL);
            w.SetWaitCursor(false);
            return;
        }
        FinishJob("Current Process was Canceled.");
        return;
    }
    if (wma) {
        w.SetWaitCursor(true);
        w.ProcessMessages();
        clock::Sleep(1000);
        if (cancelRequested_) w.MessageBox("Current Process was Canceled.", "", MB_OK);
        w.SetWaitCursor(false);
    }
    w.EndDialog(IDCANCEL);
}

void ProcessingStatusDialog::OnTimer(int timerId) {
    if (timerId == ID_TIMER_WMA) {
        if (app_.wmaStatisticsUpdate) app_.wmaStatisticsUpdate(*this);
        return;
    }
    ProgressUpdate(timerId);
}

void ProcessingStatusDialog::OnSysCommand(int commandId) {
    if (commandId == IDM_ABOUTBOX) port_->DoModal(IDD_ABOUTBOX);
}

// ---------------------------------------------------------------------------------------------
// Job record

void ProcessingStatusDialog::BuildEncoderOptions() {
    job_.settings = sheet_.Settings();
    job_.layer = LayerOf(job_.settings);
    job_.psychoacousticModel = PsychoacousticModelOf(job_.settings);
    job_.bitrateKbps = std::atoi(job_.settings.bitrate.c_str());
    app_.bitrateKbps = job_.bitrateKbps;
    job_.inputPath = sheet_.InputText().substr(0, 1023);
    job_.outputPath = sheet_.OutputText().substr(0, 1023);
    job_.kind = sheet_.Kind();
    job_.options = BuildEncoderCommandLine(job_.settings);
}

std::string ProcessingStatusDialog::NextBatchFile() {
    std::vector<std::string> all = FindFiles(job_.batchFolder, job_.batchPattern);
    app_.batchCount = static_cast<int>(all.size());
    if (all.empty()) return {};
    if (job_.firstFind) {
        job_.firstFind = false;
        job_.finder = std::move(all);
        job_.findIndex = 0;
    } else {
        ++job_.findIndex;
    }
    if (job_.findIndex >= job_.finder.size()) return {};
    return job_.batchFolder + job_.finder[job_.findIndex];
}

// ---------------------------------------------------------------------------------------------
// Progress

void ProcessingStatusDialog::ProgressUpdate(int eventId) {
    WindowPort& w = *port_;
    if (eventId == ID_TIMER_WMA) {
        if (app_.wmaStatisticsUpdate) app_.wmaStatisticsUpdate(*this);
        return;
    }
    if (eventId == ID_TIMER_WMA_END) {
        w.KillTimer(ID_TIMER_WMA_END);
        clock::Sleep(500);
        w.EndDialog(IDCANCEL);
    }
    std::lock_guard lock(updateMutex_);
    std::int64_t size = inputSize_;
    std::int64_t framesTotal = size / kBytesPerFrameTotal;
    w.SetPos(IDC_STATUS_FRAMES, static_cast<int>(framesTotal));
    w.SetText(IDC_STATUS_BITRATE, app_.bitrateText);
    std::int64_t divisor = BarDivisor(size);
    std::int64_t position = inputPosition_;
    int high = static_cast<int>(size / divisor);
    int pos = static_cast<int>((position + 1) / divisor);
    w.SetRange(IDC_STATUS_FILEBAR, 0, high);
    w.SetPos(IDC_STATUS_FILEBAR, pos);
    if (!app_.batchMode) {
        w.SetRange(IDC_STATUS_OVERALLBAR, 0, high);
        w.SetPos(IDC_STATUS_OVERALLBAR, pos);
    }
    std::int64_t framesDone = position / kBytesPerFrameDone;
    if (framesDone <= framesTotal) w.SetPos(IDC_STATUS_FRAME, static_cast<int>(framesDone));
    if (position != -1) {
        std::int64_t elapsed = clock::Time() - startTime_;
        w.SetText(IDC_STATUS_ELAPSED, ElapsedText(elapsed));
        w.SetText(IDC_STATUS_FPS, FramesPerSecondText(framesDone, elapsed));
        if (framesDone < size / kBytesPerFrameDone) {
            std::int64_t fps = framesDone / RateSeconds(elapsed);
            w.SetText(IDC_STATUS_REMAINING, EncoderRemainingText(framesTotal, fps, elapsed));
        } else {
            w.SetText(IDC_STATUS_REMAINING, "00:00:00");
            w.SetRange(IDC_STATUS_FILEBAR, 0, 100);
            w.SetPos(IDC_STATUS_FILEBAR, 100);
        }
        w.SetText(IDC_STATUS_COMPRESSION,
                  job_.showCompressionInfo
                      ? CompressionText(bytesFed_, app_.bitrateKbps, app_.stereoOutput != 0)
                      : "-");
    }
    framesAtLastUpdate_ = framesDone;
}

void ProcessingStatusDialog::DecoderProgressUpdate() {
    WindowPort& w = *port_;
    std::lock_guard lock(updateMutex_);
    std::int64_t length = FileLength(job_.currentOutput);
    std::int64_t framesDone = std::max<std::int64_t>(length / kBytesPerFrameTotal, 1);
    w.SetPos(IDC_STATUS_FRAMES, static_cast<int>(length / kBytesPerFrameTotal));
    w.SetText(IDC_STATUS_BITRATE, "N/A");
    std::int64_t divisor = BarDivisor(length);
    std::int64_t position = inputPosition_;
    if (position > 0) {
        std::int64_t inputLength = inputSize_;
        int high = static_cast<int>(inputLength / divisor);
        int pos = static_cast<int>((position + 1) / divisor);
        w.SetRange(IDC_STATUS_FILEBAR, 0, high);
        w.SetPos(IDC_STATUS_FILEBAR, pos);
        if (!app_.batchMode) {
            w.SetRange(IDC_STATUS_OVERALLBAR, 0, high);
            w.SetPos(IDC_STATUS_OVERALLBAR, pos);
        }
        framesTotal_ = inputLength / (position + 1) * framesDone;
        w.SetPos(IDC_STATUS_FRAMES, static_cast<int>(framesTotal_));
        w.SetPos(IDC_STATUS_FRAME, static_cast<int>(framesDone));
    }
    std::int64_t elapsed = clock::Time() - startTime_;
    w.SetText(IDC_STATUS_ELAPSED, ElapsedText(elapsed));
    w.SetText(IDC_STATUS_FPS, FramesPerSecondText(framesDone, elapsed));
    std::int64_t fps = framesDone / RateSeconds(elapsed);
    if (fps != 0) w.SetText(IDC_STATUS_REMAINING, DecoderRemainingText(framesTotal_, fps, elapsed));
    framesAtLastUpdate_ = framesDone;
}

// ---------------------------------------------------------------------------------------------
// Output reader

void ProcessingStatusDialog::SetReaderDone() {
    {
        std::lock_guard lock(readerMutex_);
        readerDone_ = true;
    }
    readerCv_.notify_all();
}

void ProcessingStatusDialog::ReaderBody(int fd) {
    std::string line;
    bool stopped = false;
    bool unshown = false;  // the box lacks lines that the log already holds
    auto endLine = [&] {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::lock_guard lock(logMutex_);
        log_ += line;
        log_ += "\r\n";
        line.clear();
        // The whole log goes to the box; at most every 50 ms while lines pour in.
        std::uint64_t now = clock::Current().NowMs();
        if (now - lastLogShown_ >= 50 || lastLogShown_ == 0) {
            lastLogShown_ = now == 0 ? 1 : now;
            port_->SetText(IDC_STATUS_LOG, log_);
            unshown = false;
        } else {
            unshown = true;
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
                port_->SetText(IDC_STATUS_LOG, log_);
                unshown = false;
            }
        }
        long n = process::ReadSome(fd, buf, sizeof buf, drainWake_.get());
        if (n <= 0) break;
        if (stopped) continue;  // lines after the stop byte are not shown
        for (long i = 0; i < n; ++i) {
            unsigned char b = static_cast<unsigned char>(buf[i]);
            if (b == 0xFF) {
                stopped = true;
                break;
            }
            if (b == '\n') {
                endLine();
                continue;
            }
            line += static_cast<char>(b);
            if (line.size() > 100) endLine();
        }
        if (stopped) {
            {
                std::lock_guard lock(logMutex_);
                port_->SetText(IDC_STATUS_LOG, log_);
            }
            SetReaderDone();
        }
    }
    if (!stopped) {
        {
            std::lock_guard lock(logMutex_);
            port_->SetText(IDC_STATUS_LOG, log_);
        }
        SetReaderDone();
    }
    ::close(fd);
}

bool ProcessingStatusDialog::WriteStopByte() {
    std::lock_guard lock(pipeMutex_);
    if (pipeB_.writeFd < 0) return false;
    const unsigned char stop = 0xFF;
    return process::WriteAll(pipeB_.writeFd, &stop, 1) == 1;
}

// ---------------------------------------------------------------------------------------------
// FinishJob

void ProcessingStatusDialog::FinishJob(const std::string& message) {
    // Runs once per job: a second call (a cancel racing the job's own end, or the worker
    // ending after a cancel) returns at once and never shows a second final message.
    if (finished_.exchange(true)) return;
    message_ = message;
    while (!readerDone_) {
        if (!WriteStopByte()) break;
        if (job_.kind == JobKind::Decode)
            DecoderProgressUpdate();
        else
            ProgressUpdate(ID_TIMER_PROGRESS);
        std::unique_lock lock(readerMutex_);
        readerCv_.wait_for(lock, std::chrono::milliseconds(20),
                           [this] { return readerDone_.load(); });
    }
    // Closing the pipes: feeding stops (the worker closes A's write end, on which it may be
    // blocked), B's write end closes here.
    cancelWake_.Signal();
    {
        std::lock_guard lock(pipeMutex_);
        process::CloseFd(pipeB_.writeFd);
    }
    {
        std::unique_lock lock(readerMutex_);
        readerCv_.wait(lock, [this] { return readerDone_.load(); });
    }
    if (!message.empty()) port_->MessageBox(message, "", MB_OK);
    port_->EndDialog(IDCANCEL);
}

bool ProcessingStatusDialog::ShowBox(const std::string& text, unsigned flags) {
    if (finished_) return false;
    port_->MessageBox(text, "", flags);
    return true;
}

void ProcessingStatusDialog::SetBars100() {
    WindowPort& w = *port_;
    w.SetRange(IDC_STATUS_FILEBAR, 0, 100);
    w.SetPos(IDC_STATUS_FILEBAR, 100);
    w.SetRange(IDC_STATUS_OVERALLBAR, 0, 100);
    w.SetPos(IDC_STATUS_OVERALLBAR, 100);
}

// ---------------------------------------------------------------------------------------------
// Child processes

bool ProcessingStatusDialog::StartChild(const std::string& program,
                                        const std::vector<std::string>& args, int pipeSize) {
    int readerFd = -1;
    {
        // FinishJob may close B's write end from another thread: the pipes are made, handed to
        // the child and to the reader under the lock, and never once the job has finished.
        std::lock_guard lock(pipeMutex_);
        if (finished_) return false;
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
        readerDone_ = false;
    }
    if (reader_.joinable()) reader_.join();
    drainWake_ = std::make_unique<process::WakeEvent>();
    reader_ = std::thread([this, readerFd] { ReaderBody(readerFd); });
    return true;
}

void ProcessingStatusDialog::StopReaderAndClosePipes(bool decoder) {
    while (!readerDone_) {
        if (!WriteStopByte()) break;
        if (decoder)
            DecoderProgressUpdate();
        else
            ProgressUpdate(ID_TIMER_PROGRESS);
        std::unique_lock lock(readerMutex_);
        readerCv_.wait_for(lock, std::chrono::milliseconds(20),
                           [this] { return readerDone_.load(); });
    }
    process::CloseFd(pipeA_.writeFd);
    std::lock_guard lock(pipeMutex_);
    process::ClosePipe(pipeB_);
}

void ProcessingStatusDialog::WaitChildAndReader() {
    if (child_) {
        if (cancelRequested_) {
            // A cancelled child that does not end once its input is closed is ended for it.
            if (child_->Wait(kCancelGraceMs) != WAIT_OBJECT_0) child_->Terminate(1);
        } else {
            child_->Wait(INFINITE);
        }
        job_.exitCode = child_->ExitCode();
    }
    if (drainWake_) drainWake_->Signal();
    if (reader_.joinable()) reader_.join();
    drainWake_.reset();
}

// ---------------------------------------------------------------------------------------------
// The jobs

void ProcessingStatusDialog::RunJob() {
    switch (job_.kind) {
        case JobKind::EncodeMp3:
            RunEncoderJob();
            break;
        case JobKind::Decode:
            RunDecoderJob();
            break;
        case JobKind::EncodeWma:
            if (app_.runWmaJob)
                app_.runWmaJob(*this);
            else
                FinishJob("Windows Media Audio encoding is not available.");
            break;
    }
}

// Notes the file pair of the job and opens its input; -1 (after saying so) when it cannot be
// opened.
int ProcessingStatusDialog::OpenInput(const std::string& input, const std::string& output,
                                      std::int64_t& size) {
    {
        std::lock_guard lock(updateMutex_);
        job_.currentInput = input;
        job_.currentOutput = output;
    }
    // Without access-time updates where the file is ours: the feed reads it in thousands of
    // small moves, and each would otherwise check the time stamp.
    int fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (fd < 0 && errno == EPERM) fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        ShowBox("Error: Cannot open the input file", MB_OK);
        return -1;
    }
    size = ::lseek(fd, 0, SEEK_END);
    ::lseek(fd, 0, SEEK_SET);
    inputSize_ = size;
    return fd;
}

bool ProcessingStatusDialog::EncodeFile(const std::string& input, const std::string& output,
                                        bool batch) {
    std::int64_t size = 0;
    int fd = OpenInput(input, output, size);
    if (fd < 0) return false;
    WaveInfo wave = ReadWaveInfo(fd, size);
    if (!wave.isWave) {
        ::close(fd);
        FinishJob("Error: Input file is not a WAV");
        return false;
    }
    job_.sampleRate = wave.sampleRate;
    if (wave.channels == 2 && job_.settings.mode == 3) {
        job_.settings.mode = 0;
        job_.options.mode = ModeOption(0);
        if (!batch)
            ShowBox(
                "A Mono MP3 file cannot be created from a Stereo WAV file.\nThe Stereo MP3 "
                "option was set automatically.",
                MB_ICONINFORMATION);
    }
    if (wave.bitsPerSample != 16) {
        ::close(fd);
        FinishJob("Error: Input file is not a 16-bit WAV File.");
        return false;
    }
    job_.options.sampleRate = SampleRateOption(wave.sampleRate);
    if (SameFile(input, output)) {
        ::close(fd);
        FinishJob("Error: The output file cannot be the input file.");
        return false;
    }
    if (cancelRequested_) {
        ::close(fd);
        return false;
    }

    std::string program = ChildProgram(app_.appFolder, "enc.dll");
    std::vector<std::string> args = EncoderArguments(program, job_.options, input, output);
    if (!StartChild(program, args, 32768)) {
        ::close(fd);
        FinishJob("Cannot execute compressor, ENC.DLL");
        return false;
    }
    WaitMs(1500);

    // Feed the samples of the data chunk, in chunks of 8192 bytes moved from the file straight
    // into the pipe.
    std::int64_t pos = wave.dataStart;
    inputPosition_ = pos;
    int chunks = 0;
    for (;;) {
        std::int64_t count = std::min<std::int64_t>(wave.dataEnd - pos, kChunk);
        if (count <= 0) break;
        long written = process::SpliceAll(fd, pos, pipeA_.writeFd, static_cast<std::size_t>(count),
                                          &cancelWake_);
        pos += std::max(0L, written);
        inputPosition_ = pos;
        bytesFed_ += count;
        if (written <= 0 || written < count) break;
        if (child_->ExitCode() != STILL_ACTIVE) break;
        if (++chunks == 10) {
            ProgressUpdate(ID_TIMER_PROGRESS);
            chunks = 0;
        }
    }
    ::close(fd);
    inputPosition_ = -1;
    StopReaderAndClosePipes(false);
    WaitMs(500);
    WaitChildAndReader();
    return true;
}

void ProcessingStatusDialog::RunEncoderJob() {
    WindowPort& w = *port_;
    job_.exitCode = 1234;
    job_.firstFind = true;
    job_.trackNumber = 0;
    job_.showCompressionInfo = true;
    bytesFed_ = 0;
    if (!app_.batchMode) {
        if (!EncodeFile(job_.inputPath, job_.outputPath, false)) return;
        if (app_.singleFileTagSet) AppendTag(job_.outputPath, app_.tagTable[1]);
        // A cancelled job ends with the cancel's own message only.
        if (cancelRequested_) return;
        filesDone_ = true;
        SetBars100();
        WaitMs(700);
        FinishJob("MP3 Compression Finished.");
        return;
    }
    bool cdAudio = job_.inputPath == "CD-Audio";
    job_.batchFolder = WithTrailingSlash(job_.inputPath);
    job_.batchPattern = "*.WAV";
    std::string outFolder = OutputFolderOf(job_.outputPath);
    int n = 0;
    for (;;) {
        w.Redraw();
        if (cancelRequested_) break;
        std::string path = cdAudio
                               ? (app_.grabNextTrack ? app_.grabNextTrack(*this) : std::string())
                               : NextBatchFile();
        int count = app_.batchCount;
        w.SetRange(IDC_STATUS_OVERALLBAR, 0, count * 100);
        w.SetPos(IDC_STATUS_OVERALLBAR, n * 100);
        ++n;
        if (n > count) break;
        char title[128];
        std::snprintf(title, sizeof title, "Orvane Encoder 2001 - (File %d of %d)", n, count);
        w.SetText(0, title);
        w.SetText(IDC_STATUS_FILECOUNT, std::to_string(count));
        w.SetText(IDC_STATUS_FILENO, std::to_string(n));
        if (path.empty()) break;
        std::string output = outFolder + BaseName(path) + ".MP3";
        w.SetText(IDC_STATUS_INPUT, path);
        w.SetText(IDC_STATUS_OUTPUT, output);
        if (!EncodeFile(path, output, true)) return;
        if (cdAudio) {
            Id3Tag& tag = app_.tagTable[job_.trackNumber];
            AppendTag(output, tag);
            if (app_.deleteGrabbedWav) ::unlink(path.c_str());
            std::string final =
                CdTrackFileName(outFolder, tag.Artist(), tag.Title(), job_.trackNumber);
            if (RenameNoReplace(output, final)) w.SetText(IDC_STATUS_OUTPUT, final);
        }
    }
    if (cancelRequested_) return;
    filesDone_ = true;
    SetBars100();
    WaitMs(700);
    FinishJob("MP3 Compression Finished.");
}

bool ProcessingStatusDialog::DecodeFile(const std::string& input, const std::string& output) {
    std::int64_t size = 0;
    int fd = OpenInput(input, output, size);
    if (fd < 0) return false;
    if (SameFile(input, output)) {
        ::close(fd);
        FinishJob("Error: The output file cannot be the input file.");
        return false;
    }
    if (cancelRequested_) {
        ::close(fd);
        return false;
    }
    std::string program = ChildProgram(app_.appFolder, "dec.dll");
    if (!StartChild(program, DecoderArguments(program, input, output), 16384)) {
        ::close(fd);
        FinishJob("Error: Cannot Execute Decompressor.");
        return false;
    }
    WaitMs(1500);
    std::vector<char> chunk(kChunk);
    std::int64_t pos = 0;
    inputPosition_ = 0;
    int chunks = 0;
    for (;;) {
        ssize_t count = ::read(fd, chunk.data(), chunk.size());
        if (count <= 0) break;
        pos += count;
        inputPosition_ = pos;
        bytesFed_ += count;
        if (child_->ExitCode() != STILL_ACTIVE) break;
        long written = process::WriteAll(pipeA_.writeFd, chunk.data(),
                                         static_cast<std::size_t>(count), &cancelWake_);
        if (written < count) break;
        bytesWritten_ += written;
        if (++chunks == 2) {
            DecoderProgressUpdate();
            chunks = 0;
        }
    }
    ::close(fd);
    inputPosition_ = -1;
    StopReaderAndClosePipes(true);
    WaitChildAndReader();
    return true;
}

void ProcessingStatusDialog::RunDecoderJob() {
    WindowPort& w = *port_;
    job_.exitCode = 1;
    job_.firstFind = true;
    int n = 0;
    if (app_.batchMode) {
        job_.batchFolder = WithTrailingSlash(job_.inputPath);
        job_.batchPattern = "*.MP3";
        std::string outFolder = OutputFolderOf(job_.outputPath);
        for (;;) {
            w.Redraw();
            if (cancelRequested_) break;
            bytesFed_ = 0;
            bytesWritten_ = 0;
            std::string path = NextBatchFile();
            int count = app_.batchCount;
            w.SetRange(IDC_STATUS_OVERALLBAR, 0, count * 100);
            w.SetPos(IDC_STATUS_OVERALLBAR, n * 100);
            ++n;
            if (n > count) break;
            w.SetText(IDC_STATUS_FILECOUNT, std::to_string(count));
            w.SetText(IDC_STATUS_FILENO, std::to_string(n));
            if (path.empty()) break;
            std::string output = outFolder + BaseName(path) + ".WAV";
            w.SetText(IDC_STATUS_INPUT, path);
            w.SetText(IDC_STATUS_OUTPUT, output);
            if (!DecodeFile(path, output)) return;
        }
    } else {
        if (!DecodeFile(job_.inputPath, job_.outputPath)) return;
    }
    if (cancelRequested_) return;
    filesDone_ = true;
    SetBars100();
    WaitMs(500);
    FinishJob("Decoding finished");
}

}  // namespace orvane::encoder
