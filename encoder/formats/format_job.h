#pragma once
// What the jobs that encode WAVE files in this process (FLAC, Opus) share: the walk through the
// job's source, reading each input's samples, the output written under a temporary name that
// takes its final name only once it is whole (and checked, where the format checks), the
// loudness values, the cancel and the final message. A format adds its encoder.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "encoder/formats/vorbis_tags.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/job_runner.h"
#include "encoder/job/parallel_batch.h"
#include "encoder/loudness/replay_gain.h"
#include "encoder/wave/pcm_wave.h"
#include "platform/fs/fs.h"

namespace orvane::formats {

using wave::PcmWave;

// One output file of one format. Begin, Write and End run once per file, in that order; a
// failure ends the file.
class FormatEncoder {
public:
    virtual ~FormatEncoder() = default;
    // Empty when the format can hold the input as it is or converted (log then says how).
    virtual std::string Accepts(const PcmWave& wave, std::string& log) const = 0;
    // The front cover the file carries beside its comments (before Begin; it outlives End).
    void SetPicture(const tags::Picture* picture) { picture_ = picture; }
    virtual bool Begin(const PcmWave& wave, const VorbisComments& comments, fs::AtomicFile& out,
                       std::string& error) = 0;
    // Interleaved samples at the input's bit depth.
    virtual bool Write(const std::int32_t* samples, std::size_t frames, std::string& error) = 0;
    // True when the format codes floating-point samples: a feed's floats then reach
    // WriteFloats (full scale at 1) as they come.
    virtual bool TakesFloats() const { return false; }
    virtual bool WriteFloats(const float* /*samples*/, std::size_t /*frames*/, std::string& error) {
        error = "this format takes no floating-point samples";
        return false;
    }
    virtual bool End(std::string& error) = 0;
    // After End, on the written file: decodes it back when the job was asked to (log says
    // what was checked). False with error when it does not hold what was written.
    virtual bool Check(const std::string& /*path*/, std::string& /*log*/, std::string& /*error*/) {
        return true;
    }
    // Adds or replaces the comments of a written file (the loudness values).
    virtual bool Retag(const std::string& path, const VorbisComments& comments,
                       std::string& error) = 0;

protected:
    const tags::Picture* picture_ = nullptr;
};

// What the log, the final message and the output names take from the kind's entry.
struct FormatTraits {
    std::string name;       // "FLAC"
    std::string extension;  // ".FLAC"
};

class FormatJob : public encoder::Job {
public:
    // kind: its entry names the format; ops: the writer's system calls (a failing one in
    // tests), nullptr for the system's.
    FormatJob(encoder::JobKind kind, fs::FileOps* ops);
    ~FormatJob() override;

    void Run(encoder::JobRunner& r) override;
    // No engine to wait for: the worker ends the file it is writing at once and reports the
    // cancel itself; a window whose job has already ended just closes.
    void Cancel(encoder::JobRunner& r) override {
        if (!r.WorkerRunning()) {
            r.Close(IDCANCEL);
            return;
        }
        r.RequestCancel();
    }

    // Writes the album's values into a file this kind of job wrote, as its format names them.
    bool RetagAlbum(const encoder::JobRequest& request, const std::string& path,
                    const loudness::GainValues& album, std::string& error);

protected:
    virtual std::unique_ptr<FormatEncoder> MakeEncoder(const encoder::JobRequest& request) = 0;
    // The loudness values of a track as this format writes them.
    virtual VorbisComments TrackGainComments(const loudness::GainValues& values) const;
    virtual VorbisComments AlbumGainComments(const loudness::GainValues& values) const;
    // The status window's bit rate: "N/A" for a format without one.
    virtual std::string BitrateText(const encoder::JobRequest& /*request*/) const { return "N/A"; }

private:
    // One item; empty when its output was written, else why not.
    std::string EncodeItem(encoder::JobRunner& r, const encoder::SourceItem& item,
                           const std::string& output);
    void Log(encoder::JobRunner& r, const std::string& line);
    void WriteAlbumGain(encoder::JobRunner& r);
    // The status window's times, rate and frame counters, counted as the MP3 job counts them
    // (frames of the input's bytes): `done` of `total` sample frames of a file begun at
    // fileStart (seconds); and the sizes: the input's bytes read, outputBytes written.
    void ShowProgress(encoder::JobRunner& r, const PcmWave& wave, std::int64_t done,
                      std::int64_t fileStart, std::int64_t outputBytes);

    FormatTraits traits_;
    fs::FileOps* ops_;
    std::string log_;
    std::vector<encoder::FileFailure> failures_;
    std::unique_ptr<loudness::GainLedger> loudness_;
    std::int64_t jobStart_ = 0;  // clock::Time() when the job began
};

// How folder batches of kind run several files at once, each a job of the kind; make gives a
// job of the kind that writes the album's loudness values once every file has ended.
std::shared_ptr<const encoder::ParallelBatchKind> FormatBatch(
    encoder::JobKind kind, std::function<std::unique_ptr<FormatJob>()> make);

}  // namespace orvane::formats
