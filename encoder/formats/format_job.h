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

#include "encoder/app/child_job.h"
#include "encoder/app/job_runner.h"
#include "encoder/formats/loudness.h"
#include "encoder/formats/pcm_wave.h"
#include "encoder/formats/vorbis_tags.h"
#include "platform/fs/fs.h"

namespace orvane::formats {

// One output file of one format. Begin, Write and End run once per file, in that order; a
// failure ends the file.
class FormatEncoder {
public:
    virtual ~FormatEncoder() = default;
    // Empty when the format can hold the input as it is or converted (log then says how).
    virtual std::string Accepts(const PcmWave& wave, std::string& log) const = 0;
    virtual bool Begin(const PcmWave& wave, const VorbisComments& comments, fs::AtomicFile& out,
                       std::string& error) = 0;
    // Interleaved samples at the input's bit depth.
    virtual bool Write(const std::int32_t* samples, std::size_t frames, std::string& error) = 0;
    virtual bool End(std::string& error) = 0;
    // After End, on the written file: decodes it back when the job was asked to (log says
    // what was checked). False with error when it does not hold what was written.
    virtual bool Check(const std::string& /*path*/, std::string& /*log*/, std::string& /*error*/) {
        return true;
    }
    // Adds or replaces the comments of a written file (the loudness values).
    virtual bool Retag(const std::string& path, const VorbisComments& comments,
                       std::string& error) = 0;
};

struct FormatTraits {
    std::string name;       // "FLAC": the log and the final message
    std::string extension;  // ".FLAC"
};

// The loudness of a folder batch whose files run as jobs of their own: each file's job leaves
// its measured track and its written file here, and the batch writes the album's values once
// every file has ended.
class AlbumLoudness : public encoder::BatchShared {
public:
    // The written file of batch file number, with the meter that measured it (any thread).
    void Keep(int number, std::string path, std::unique_ptr<LoudnessMeter> meter);
    // Every kept track in one meter, and the written files, in the batch's order.
    std::vector<std::string> Collect(LoudnessMeter& album);

private:
    struct Kept {
        std::string path;
        std::unique_ptr<LoudnessMeter> meter;
    };
    std::mutex mutex_;
    std::map<int, Kept> kept_;
};

class FormatJob : public encoder::Job {
public:
    // ops: the writer's system calls (a failing one in tests); nullptr for the system's.
    FormatJob(FormatTraits traits, fs::FileOps* ops);
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

    // The album's values over the files kept in album, written into each (the last step of a
    // batch whose files ran as jobs of their own): its log lines and failures are added.
    void FinishAlbum(const encoder::JobRequest& request, AlbumLoudness& album, std::string& log,
                     std::vector<encoder::FileFailure>& failures);

protected:
    virtual std::unique_ptr<FormatEncoder> MakeEncoder(const encoder::JobRequest& request) = 0;
    // The loudness values of a track as this format writes them.
    virtual VorbisComments TrackGainComments(double loudness, double peak) const;
    virtual VorbisComments AlbumGainComments(double loudness, double peak) const;

private:
    // One item; empty when its output was written, else why not.
    std::string EncodeItem(encoder::JobRunner& r, const encoder::SourceItem& item,
                           const std::string& output);
    void Log(encoder::JobRunner& r, const std::string& line);
    void WriteAlbumGain(const encoder::JobRequest& request, const LoudnessMeter& meter,
                        const std::vector<std::string>& paths, std::string& log,
                        std::vector<encoder::FileFailure>& failures);

    FormatTraits traits_;
    fs::FileOps* ops_;
    encoder::GenreList genres_;
    std::string log_;
    std::vector<encoder::FileFailure> failures_;
    std::unique_ptr<LoudnessMeter> loudness_;
    std::vector<std::string> gainFiles_;  // the outputs that take the album's values
    bool trackMeasured_ = false;          // the current item is the meter's last track
};

// Lets folder batches of kind run several files at once, each a job that make returns.
void RegisterFormatBatch(encoder::JobKind kind, const std::string& name,
                         std::function<std::unique_ptr<FormatJob>()> make);

// The ReplayGain 2.0 values of a loudness (LUFS) and a peak (linear, 1.0 full scale): the gain
// to -18 LUFS in dB and the peak, as "-6.52 dB" and "0.988525".
std::string ReplayGainText(double loudness);
std::string PeakText(double peak);

}  // namespace orvane::formats
