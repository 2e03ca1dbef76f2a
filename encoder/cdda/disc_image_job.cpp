#include "encoder/cdda/disc_image_job.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "encoder/cdda/accuraterip.h"
#include "encoder/cdda/cd_job.h"
#include "encoder/cdda/disc_image.h"
#include "encoder/cdda/grab.h"
#include "encoder/cdda/verified_rip.h"
#include "encoder/job/input_source.h"
#include "encoder/job/job_runner.h"
#include "encoder/mp3/child_job.h"
#include "encoder/tags/paths.h"
#include "encoder/wave/pcm_wave.h"
#include "platform/fs/fs.h"

namespace orvane::cdda {

namespace {

using encoder::JobResult;
using encoder::JobRunner;

constexpr std::size_t kCopyBytes = 64 * 1024;

// Appends the samples of a grabbed track's WAVE file to the image; their frames, or -1 with
// error.
std::int64_t AppendTrack(const std::string& path, WaveFileWriter& image, TrackChecksummer& crc,
                         std::string& error) {
    wave::OpenPcmWave file;
    if (!file.Open(path, error)) return -1;
    const int fd = file.Fd();
    const wave::PcmWave& wave = file.Wave();
    std::vector<unsigned char> buffer(kCopyBytes);
    std::int64_t left = wave.frames * wave.FrameBytes();
    for (std::int64_t at = wave.dataStart; left > 0;) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, kCopyBytes));
        if (!wave::ReadWaveBytes(fd, at, buffer.data(), n)) {
            error = "Cannot read the grabbed track " + path;
            return -1;
        }
        if (!image.Write(buffer.data(), n, error)) return -1;
        crc.Update(buffer.data(), n);
        at += static_cast<std::int64_t>(n);
        left -= static_cast<std::int64_t>(n);
    }
    return wave.frames / static_cast<std::int64_t>(kSamplesPerSector);
}

formats::FlacCueSheet FlacCueOf(const cdrom::DiscInfo& disc,
                                const std::vector<ImagePiece>& pieces) {
    formats::FlacCueSheet cue;
    cue.catalog = disc.catalog.size() == 13 ? disc.catalog : std::string();
    std::uint64_t frames = 0;
    for (const ImagePiece& p : pieces)
        frames += p.frames;
    cue.leadOut = frames * kSamplesPerSector;
    for (const ImageTrackPoints& p : ImagePoints(disc, pieces)) {
        const cdrom::TrackInfo* t = disc.Track(p.number);
        formats::FlacCueTrack track;
        track.number = static_cast<std::uint8_t>(p.number);
        const std::uint32_t first = p.index0 ? *p.index0 : p.index1;
        track.offset = std::uint64_t{first} * kSamplesPerSector;
        if (t && t->isrc.size() == 12) track.isrc = t->isrc;
        track.preemphasis = t && t->preemphasis;
        if (p.index0) track.indexes.emplace_back(0, 0);
        track.indexes.emplace_back(1, std::uint64_t{p.index1 - first} * kSamplesPerSector);
        for (std::size_t k = 0; k < p.more.size(); ++k)
            track.indexes.emplace_back(static_cast<std::uint8_t>(k + 2),
                                       std::uint64_t{p.more[k] - first} * kSamplesPerSector);
        cue.tracks.push_back(track);
    }
    return cue;
}

class DiscImageJob final : public encoder::Job {
public:
    explicit DiscImageJob(FlacImageWriter flac) : flac_(std::move(flac)) {}
    void Run(JobRunner& r) override;

private:
    FlacImageWriter flac_;
};

void DiscImageJob::Run(JobRunner& r) {
    using Step = encoder::InputSource::Step;
    const encoder::JobRequest& request = r.Request();
    SetBusy(true);
    std::unique_ptr<encoder::InputSource> source = encoder::MakeGrabbedWaveSource(r.Request());
    auto* cd = dynamic_cast<CdTrackSource*>(source.get());
    std::string folder = cd ? cd->Folder() : encoder::OutputFolderOf(request.output);
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const auto fail = [&](std::vector<encoder::FileFailure> failures, int count) {
        SetBusy(false);
        encoder::JobOutcome outcome;
        outcome.result = JobResult::Failed;
        outcome.message = encoder::FailureReport("saved", failures, count, true) +
                          "\nNo image of the disc was written.";
        outcome.failures = std::move(failures);
        r.Finish(std::move(outcome));
    };

    encoder::ScratchFiles scratch;
    std::string error;
    const std::string wavePath = ReserveScratchName(folder, -1, ".WAV", error);
    if (wavePath.empty()) return fail({{"Image", "Error: " + error}}, 1);
    scratch.Add(wavePath);
    WaveFileWriter image;
    if (!image.Create(wavePath, error))
        return fail({{"Image", "Error: Cannot write the image in " + folder + ": " + error}}, 1);
    TrackChecksummer crc(false, false, 0);
    std::vector<ImagePiece> pieces;
    std::vector<encoder::FileFailure> failures;
    std::shared_ptr<RipRecorder> recorder;
    for (;;) {
        encoder::InputSource::Next next = source->Take(r);
        if (!recorder && cd) recorder = cd->Recorder();
        if (next.step == Step::End) break;
        if (next.step == Step::Cancelled || r.CancelRequested()) {
            image.Discard();
            SetBusy(false);
            r.RequestCancel();
            r.Finish("Current Process was Canceled.", JobResult::Cancelled);
            return;
        }
        if (next.step == Step::Failed) {
            failures.push_back({next.item.Label(), next.message});
            continue;
        }
        r.SetText(encoder::JobText::Input, next.item.Label());
        if (!failures.empty()) continue;  // no image comes of it: the tracks are read for the log
        ImagePiece piece;
        piece.gap = next.item.trackNumber == 0;
        if (recorder) {
            const cdrom::DiscInfo& disc = recorder->Report().disc;
            const auto index = static_cast<std::size_t>(next.item.trackNumber - 1);
            if (piece.gap)
                recorder->LeadingGap(&piece.number);
            else if (index < disc.tracks.size())
                piece.number = disc.tracks[index].number;
        }
        const std::int64_t frames = AppendTrack(next.item.input, image, crc, error);
        if (frames < 0) {
            failures.push_back({next.item.Label(), "Error: " + error});
            continue;
        }
        piece.frames = static_cast<std::uint32_t>(frames);
        pieces.push_back(piece);
    }
    const int count = std::max(source->Count(), 1);
    if (!failures.empty() || !recorder) {
        image.Discard();
        if (failures.empty()) failures.push_back({"Image", "Error: the rip kept no record"});
        return fail(std::move(failures), count);
    }
    if (!image.Finish(error))
        return fail({{"Image", "Error: Cannot write the image in " + folder + ": " + error}},
                    count);

    const RipReport& report = recorder->Report();
    std::string stem = recorder->Stem();
    while (!stem.empty() && stem.front() == '/')
        stem.erase(0, 1);
    stem = folder + "/" + stem;
    std::string final;
    if (flac_) {
        const std::string flacPath = ReserveScratchName(folder, -1, ".flac", error);
        if (flacPath.empty()) return fail({{"Image", "Error: " + error}}, count);
        scratch.Add(flacPath);
        tags::TrackTags album = request.FullTags(1);
        for (tags::TagField field :
             {tags::TagField::Title, tags::TagField::TrackNumber, tags::TagField::TrackTotal,
              tags::TagField::Isrc, tags::TagField::MusicBrainzRecordingId})
            album.Set(field, "");
        if (album.Has(tags::TagField::AlbumArtist))
            album.Set(tags::TagField::Artist, album.Get(tags::TagField::AlbumArtist));
        if (!flac_(wavePath, flacPath, FlacCueOf(report.disc, pieces), album, error))
            return fail({{"Image", "Error: " + error}}, count);
        final = encoder::MoveToFreeName(flacPath, stem, ".flac", error);
        if (!final.empty()) scratch.Release(flacPath);
    } else {
        final = encoder::MoveToFreeName(wavePath, stem, ".wav", error);
        if (!final.empty()) scratch.Release(wavePath);
    }
    if (final.empty()) return fail({{"Image", "Error: " + error}}, count);

    DiscImage disc;
    disc.file = final;
    disc.pieces = pieces;
    disc.crc32 = crc.Finish().crc32;
    disc.genre = request.FullTags(1).Get(tags::TagField::Genre);
    disc.date = request.FullTags(1).Get(tags::TagField::Year);
    disc.comment = report.program + " " + report.version;
    for (std::size_t i = 0; i < report.disc.tracks.size(); ++i) {
        const tags::TrackTags& fields = request.FullTags(static_cast<int>(i) + 1);
        disc.texts[report.disc.tracks[i].number] = {fields.Get(tags::TagField::Title),
                                                    fields.Get(tags::TagField::Artist), ""};
    }
    recorder->SetImage(FormatImageCue(report, disc), ImageLogNotes(report, disc));
    for (const ImagePiece& p : pieces)
        recorder->Settled(p.gap ? 0 : p.number, final);
    r.SetText(encoder::JobText::Output, final);
    SetBusy(false);
    r.Finish("The disc has been saved as one image: " + final, JobResult::Succeeded);
}

}  // namespace

std::unique_ptr<encoder::Job> MakeDiscImageJob(FlacImageWriter flacWriter) {
    return std::make_unique<DiscImageJob>(std::move(flacWriter));
}

}  // namespace orvane::cdda
