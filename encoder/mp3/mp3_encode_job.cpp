// The MP3 encoder job: each WAVE file of its source through the encoder child enc.dll, then the
// tag, the removal of a grabbed input and the final name where the source asks for them.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "encoder/job/album_gain.h"
#include "encoder/job/input_source.h"
#include "encoder/job/parallel_batch.h"
#include "encoder/loudness/gain_tags.h"
#include "encoder/mp3/child_job.h"
#include "encoder/mp3/mp3_jobs.h"
#include "encoder/mp3/mp3_options.h"
#include "encoder/tags/id3v2.h"
#include "encoder/tags/paths.h"
#include "encoder/wave/wave_info.h"

namespace orvane::encoder {

namespace {

constexpr int kChunk = 8192;

class Mp3EncodeJob : public ChildJob {
public:
    void Run(JobRunner& r) override;

protected:
    void ProgressUpdate(JobRunner& r) override {
        std::string text;
        int kbps = 0;
        {
            std::lock_guard lock(bitrateMutex_);
            text = bitrateText_;
            kbps = bitrateKbps_;
        }
        meter_.EncoderUpdate(r, r.Request().batch, text, kbps, stereo_, true);
    }

private:
    // One file through the child. False when the job has ended (Finish was called). Else
    // failure is empty when the output was written well, or says why the file failed.
    bool EncodeFile(JobRunner& r, const std::string& input, const std::string& output, bool batch,
                    std::string& failure);
    void Done(JobRunner& r, bool batch);
    // The ID3v2 tag (when asked for) before the audio, the version 1 record after it; failure
    // says why when the file could not be tagged.
    static void Tag(JobRunner& r, const SourceItem& item, const std::string& output,
                    std::string& failure);
    // The input's loudness as the output's track values (when asked for); failure says why
    // they could not be written.
    void MeasureGain(JobRunner& r, const std::string& input, const std::string& output,
                     std::string& failure);

    EncoderSettings settings_;
    EncoderCommandLine options_;
    // The rate of the file being encoded: the one it gets, which its layer may make another
    // than the chosen one. Set by the worker, read by every progress update.
    std::mutex bitrateMutex_;
    std::string bitrateText_;
    int bitrateKbps_ = 0;
    bool stereo_ = true;
    std::unique_ptr<loudness::GainLedger> gain_;
};

void Mp3EncodeJob::Run(JobRunner& r) {
    const JobRequest& req = r.Request();
    settings_ = req.settings;
    options_ = BuildEncoderCommandLine(settings_);
    {
        std::lock_guard lock(bitrateMutex_);
        bitrateText_ = settings_.bitrate + " Kbps";
        bitrateKbps_ = std::atoi(settings_.bitrate.c_str());
    }
    // The estimate follows the mode chosen, also where a stereo input overrides it.
    stereo_ = settings_.mode != 3;
    meter_.SetInput(0, 0, 0);
    meter_.ResetStartTime();
    exitCode_ = 1234;
    if (req.formats.replayGain) gain_ = std::make_unique<loudness::GainLedger>();

    std::unique_ptr<InputSource> source = MakeInputSource(req, "*.WAV");
    if (!source->Batch()) {
        InputSource::Next next = source->Take(r);
        const SourceItem& item = next.item;
        std::string failure;
        ++files_;
        if (!EncodeFile(r, item.input, item.output, false, failure)) return;
        // Only an output this job wrote gets the tag (also the part a cancel leaves).
        if (failure.empty() && item.tagged) Tag(r, item, item.output, failure);
        if (failure.empty() && gain_) MeasureGain(r, item.input, item.output, failure);
        // A cancelled job ends with the cancel's own message only.
        if (r.CancelRequested()) return;
        if (!failure.empty()) failures_.push_back({item.input, failure});
        Done(r, false);
        return;
    }
    std::string outFolder = OutputFolderOf(req.output);
    int n = 0;
    InputSource::Next next;
    while (NextInBatch(r, *source, n, next, true)) {
        if (next.step == InputSource::Step::End) break;
        if (next.step == InputSource::Step::Cancelled) {
            r.RequestCancel();
            r.Finish(next.message, JobResult::Cancelled);
            return;
        }
        ++files_;
        if (next.step == InputSource::Step::Failed) {
            failures_.push_back({next.item.Label(), next.message});
            continue;
        }
        const SourceItem& item = next.item;
        std::string output =
            item.output.empty() ? outFolder + BaseName(item.input) + ".MP3" : item.output;
        r.SetText(JobText::Input, item.Label());
        r.SetText(JobText::Output, item.finalStem.empty() ? output : item.finalStem + ".MP3");
        std::string failure;
        if (!EncodeFile(r, item.input, output, true, failure)) return;
        // A cancelled file is left as it is; the job's scratch files go with the item.
        if (!failure.empty() && r.CancelRequested()) continue;
        if (failure.empty() && item.tagged) Tag(r, item, output, failure);
        if (failure.empty() && gain_) MeasureGain(r, item.input, output, failure);
        std::string written = output;
        if (failure.empty() && !item.finalStem.empty()) {
            written = SettleOutput(item, output, item.finalStem, ".MP3", failure);
            if (!written.empty()) r.SetText(JobText::Output, written);
        }
        if (gain_ && failure.empty()) gain_->Keep(written);
        if (gain_ && !failure.empty()) gain_->Drop();
        // A grabbed track that did not become an MP3 file stays as a WAVE file for another try.
        std::string kept = SettleInput(item, item.finalStem, failure.empty());
        if (failure.empty()) continue;
        // Nothing of a failed file is tagged or renamed; the batch goes on. The encoder's words
        // name an output under a scratch name by the name it was meant to get.
        if (item.InScratch(output)) {
            const std::string meant = item.finalStem + ".MP3";
            for (std::size_t at = failure.find(output); at != std::string::npos;
                 at = failure.find(output, at + meant.size()))
                failure.replace(at, output.size(), meant);
        }
        if (item.InScratch(item.input) || !kept.empty()) failure += KeptInputNote(kept);
        failures_.push_back({item.Label(), failure});
    }
    if (r.CancelRequested()) return;
    // One file of a batch that runs several at once leaves the album to the batch.
    if (gain_ && !HandToAlbum(req, *gain_)) {
        for (const auto& [path, error] : gain_->WriteAlbum(
                 [](const std::string&path, const loudness::GainTags&tags, std::string&error) {
                     return loudness::WriteGainTags(path, loudness::GainContainer::Mp3, tags,
                                                    error);
                 }))
            failures_.push_back(
                {path, "Error: The album's loudness could not be written: " + error});
    }
    Done(r, true);
}

void Mp3EncodeJob::MeasureGain(JobRunner& r, const std::string& input, const std::string& output,
                               std::string& failure) {
    std::string reason = gain_->MeasureFile(input, [&r] { return r.CancelRequested(); });
    if (!reason.empty()) {
        failure = "Error: Cannot measure the loudness: " + reason;
        return;
    }
    // A track too short or too quiet to measure gets no values, but its album still does.
    std::optional<loudness::GainValues> track = gain_->Track();
    if (track && !loudness::WriteGainTags(output, loudness::GainContainer::Mp3,
                                          loudness::TrackGainTags(*track), reason))
        failure = "Error: Cannot write the loudness values: " + reason;
}

void Mp3EncodeJob::Tag(JobRunner& r, const SourceItem& item, const std::string& output,
                       std::string& failure) {
    if (r.Request().id3v2 &&
        !PrependId3v2(output, WithId3v1Fallback(item.fullTags, item.tag), failure)) {
        failure = "Error: Cannot write the ID3v2 tag: " + failure;
        return;
    }
    AppendTag(output, item.tag);
}

void Mp3EncodeJob::Done(JobRunner& r, bool batch) {
    // A CD job keeps its usual message first; the tracks it could not read or encode follow.
    FinishFiles(r, 700, "MP3 Compression Finished.", "encoded", batch);
}

bool Mp3EncodeJob::EncodeFile(JobRunner& r, const std::string& input, const std::string& output,
                              bool batch, std::string& failure) {
    for (const std::string* path : {&input, &output}) {
        failure = PathLengthProblem(*path);
        if (!failure.empty()) return true;
    }
    std::int64_t size = 0;
    int fd = OpenInput(input, output, size, failure);
    if (fd < 0) return true;
    WaveInfo wave = ReadWaveInfo(fd, size);
    if (!wave.isWave) {
        ::close(fd);
        r.Finish("Error: Input file is not a WAV", JobResult::Failed, {input});
        return false;
    }
    if (wave.channels == 2 && settings_.mode == 3) {
        settings_.mode = 0;
        options_.mode = ModeOption(0);
        if (!batch)
            r.ShowBox(
                "A Mono MP3 file cannot be created from a Stereo WAV file.\nThe Stereo MP3 "
                "option was set automatically.",
                MB_ICONINFORMATION);
    }
    // Samples the header does not name as integer PCM (float, compressed, no whole format
    // chunk before the data) are no 16-bit samples either.
    if (wave.bitsPerSample != 16 || !wave.formatBeforeData || !wave.pcm) {
        ::close(fd);
        r.Finish("Error: Input file is not a 16-bit WAV File.", JobResult::Failed, {input});
        return false;
    }
    // The encoder would refuse these with a bare status; the file fails with the reason.
    failure = WaveSampleProblem(wave);
    if (!failure.empty()) {
        ::close(fd);
        return true;
    }
    options_.sampleRate = SampleRateOption(wave.sampleRate);
    {
        const int kbps = WrittenBitrate(settings_, wave.channels, wave.sampleRate);
        std::lock_guard lock(bitrateMutex_);
        bitrateKbps_ = kbps;
        bitrateText_ = std::to_string(kbps) + " Kbps";
    }
    if (SameFile(input, output)) {
        ::close(fd);
        r.Finish("Error: The output file cannot be the input file.", JobResult::Failed, {input});
        return false;
    }
    if (r.CancelRequested()) {
        ::close(fd);
        return false;
    }

    std::string program = ChildProgram(r.Request().appFolder, "enc.dll");
    std::vector<std::string> args = EncoderArguments(program, options_, input, output);
    OutputStamp before = StampOf(output);
    if (!StartChild(r, program, args, 32768)) {
        ::close(fd);
        r.Finish("Cannot execute compressor, ENC.DLL", JobResult::Failed, {input});
        return false;
    }
    r.Pause(1500);

    // Feed the samples of the data chunk in chunks of 8192 bytes. A read that fails or comes
    // short (the file was cut meanwhile) fails the file, never ends its stream early.
    std::int64_t pos = wave.dataStart;
    meter_.inputPosition = pos;
    int chunks = 0;
    std::vector<char> chunk(kChunk);
    std::string readFailure;
    for (;;) {
        std::int64_t count = std::min<std::int64_t>(wave.dataEnd - pos, kChunk);
        if (count <= 0) break;
        const ssize_t got = ::pread(fd, chunk.data(), static_cast<std::size_t>(count), pos);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (!r.CancelRequested()) readFailure = CutInput(input, got < 0 ? errno : 0);
            break;
        }
        long written = process::WriteAll(pipeA_.writeFd, chunk.data(),
                                         static_cast<std::size_t>(got), &cancelWake_);
        pos += std::max(0L, written);
        meter_.inputPosition = pos;
        meter_.bytesFed += got;
        if (written < got) break;
        if (child_->ExitCode() != STILL_ACTIVE) break;
        if (++chunks == 10) {
            ProgressUpdate(r);
            chunks = 0;
        }
    }
    ::close(fd);
    // The updates while the reader is stopped show how far the feed got.
    StopReaderAndClosePipes(r);
    meter_.inputPosition = -1;
    r.Pause(500);
    WaitChildAndReader(r);
    if (!readFailure.empty()) {
        failure = readFailure;
        return true;
    }
    failure = Judge("enc.dll", output, before);
    return true;
}

}  // namespace

std::unique_ptr<Job> MakeMp3EncodeJob() { return std::make_unique<Mp3EncodeJob>(); }

namespace {

// The one-after-the-other encoder switches a mono choice to stereo at the first stereo WAVE
// file and keeps it for the rest of the batch.
void CarryStereoSwitch(JobRequest& request, const std::string& file) {
    if (request.settings.mode != 3) return;
    const std::string output = OutputFolderOf(request.output) + BaseName(file) + ".MP3";
    if (!PathLengthProblem(file).empty() || !PathLengthProblem(output).empty()) return;
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    const std::int64_t size = ::lseek(fd, 0, SEEK_END);
    ::lseek(fd, 0, SEEK_SET);
    const WaveInfo wave = ReadWaveInfo(fd, size);
    ::close(fd);
    if (wave.isWave && wave.channels == 2) request.settings.mode = 0;
}

}  // namespace

ParallelBatchKind Mp3EncodeBatch() {
    ParallelBatchKind kind;
    kind.finished = "MP3 Compression Finished.";
    kind.verb = "encoded";
    kind.closingPauseMs = 700;
    kind.carry = CarryStereoSwitch;
    // The album's values go into the ID3v2 tags as the file's own did; the one-after-the-other
    // job logs no line of them.
    ShareAlbumGain(
        kind,
        [](const JobRequest&, const std::string& path, const loudness::GainValues& album,
           std::string& error) {
            return loudness::WriteGainTags(path, loudness::GainContainer::Mp3,
                                           loudness::AlbumGainTags(album), error);
        },
        false);
    return kind;
}

}  // namespace orvane::encoder
