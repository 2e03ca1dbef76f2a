#include "encoder/cdda/cd_job.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "encoder/cdda/cover_tracks.h"
#include "encoder/cdda/eject.h"
#include "encoder/cdda/pregaps.h"
#include "encoder/cdda/verified_rip.h"
#include "encoder/job/job.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/job_runner.h"
#include "encoder/tags/file_names.h"
#include "encoder/tags/id3v2.h"
#include "encoder/tags/name_pattern.h"
#include "encoder/tags/paths.h"
#include "platform/fs/fs.h"

namespace orvane::cdda {

namespace {

constexpr char kScratchPrefix[] = ".cdjob-";

// The kind's extension; a CD job of the decode kind keeps the grabbed WAVE files (orvane-cdda
// rip).
std::string OutputExtension(encoder::JobKind kind) { return encoder::KindEntry(kind).extension; }

}  // namespace

CdTrackSource::CdTrackSource(const encoder::JobRequest& request, const CdSession& session,
                             OpenProgressFn openProgress, RipReportSink report)
    : request_(request),
      session_(session),
      openProgress_(std::move(openProgress)),
      report_(std::move(report)) {
    folder_ = encoder::OutputFolderOf(request.output);
    // Without an output folder the files go to the music folder, never to wherever the
    // program happens to run.
    if (folder_.empty()) folder_ = encoder::MusicFolder();
    // What killed jobs left: their scratch files and the temporary files written beside them.
    SweepStaleScratch(folder_);
    orvane::fs::SweepStaleTemps(folder_);
    readBufferSize_ = request.cd.readBufferSize;
    if (request.cd.coverFile) cover_ = std::make_shared<CoverBesideTracks>(request.cd.coverFile);
    for (std::uint8_t flag : request.cd.checked)
        count_ += flag == 1;
}

std::string TrackLabel(const encoder::CdHandOver& cd, int track) {
    std::string name = "Track" + std::to_string(track + 1);
    if (static_cast<std::size_t>(track) < cd.names.size() &&
        cd.names[static_cast<std::size_t>(track)] != name)
        name += " (" + cd.names[static_cast<std::size_t>(track)] + ")";
    // The report shows names as file names, from their last '/' on; a name from a database
    // stays on its line.
    std::replace(name.begin(), name.end(), '/', '-');
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
    return name;
}

std::string ReserveScratchName(const std::string& folder, int track, const std::string& ext,
                               std::string& error) {
    static std::atomic<unsigned> serial{0};
    const std::string dir = encoder::WithTrailingSlash(folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = dir + kScratchPrefix + std::to_string(::getpid()) + "-" +
                           std::to_string(serial++) + "-track" + std::to_string(track + 1) + ext;
        // Created here, so the name is the job's alone: whatever writes it later replaces
        // nobody's file. Readable as any new file, as the final file keeps these bits.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            error = "Cannot create a file in " + folder + ": " + std::strerror(errno);
            return {};
        }
    }
    error = "Cannot create a file in " + folder + ": " + std::strerror(EEXIST);
    return {};
}

int SweepStaleScratch(const std::string& folder, int minAgeSeconds) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    const std::size_t prefix = sizeof kScratchPrefix - 1;
    const std::time_t now = std::time(nullptr);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strncmp(name, kScratchPrefix, prefix) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(name + prefix, &end, 10);
        if (end == name + prefix || *end != '-' || pid <= 0 || pid == ::getpid()) continue;
        // A process of that number still running may be the job itself: its files stay.
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
        if (now - st.st_mtime < minAgeSeconds) continue;
        if (::unlinkat(::dirfd(dir), name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

bool CdTrackSource::PrepareDisc(std::string& error) {
    session_.checked = request_.cd.checked;
    session_.names = request_.cd.names;
    if (session_.toc.count < 2 || session_.driveCount <= 0) {
        session_.driveCount = DiscoverDrives(session_.drives, request_.appFolder);
        if (session_.driveCount <= 0) {
            error = "No IDE/ATAPI CD-ROM Drives Found!";
            return false;
        }
    }
    int drive = request_.cd.driveIndex;
    session_.selectedDrive = drive >= 0 && drive < session_.driveCount ? drive : 0;
    if (session_.toc.count < 2) {
        if (session_.Drive().ReadToc(session_.toc) != 1) {
            error = "No CD-Audio Disc Present in Drive!";
            return false;
        }
        ComputeTrackArrays(session_);
    }
    if (request_.cd.leadOut > 0) session_.leadOut = static_cast<std::uint32_t>(request_.cd.leadOut);
    return true;
}

bool CdTrackSource::TakeLeadingGap(encoder::JobRunner& runner, Next& next) {
    if (gapTaken_ || !recorder_ || !request_.cd.ripLeadingGap || request_.cd.introOnly)
        return false;
    gapTaken_ = true;
    int number = 0;
    const FrameRange range = recorder_->LeadingGap(&number);
    if (range.Frames() == 0) return false;
    // The gap belongs to its track: only a rip of that track reads it.
    int index = -1;
    for (int i = 0; i < session_.TrackCount(); ++i)
        if (session_.Track(i).number == number) index = i;
    if (index < 0 || static_cast<std::size_t>(index) >= request_.cd.checked.size() ||
        request_.cd.checked[static_cast<std::size_t>(index)] != 1)
        return false;

    RipRecorder* rec = recorder_.get();
    auto scratch = std::make_shared<encoder::ScratchFiles>();
    const auto fail = [&](const std::string& message) {
        rec->EndLeadingGap("", false);
        ++count_;  // the gap counts as one of the job's files, failed
        next.step = Step::Failed;
        next.item.input = "Track0";
        next.message = message;
        return true;
    };
    std::string error;
    const std::string wave = ReserveScratchName(folder_, -1, ".WAV", error);
    if (wave.empty()) return fail("Error: " + error);
    scratch->Add(wave);

    const CdDrive& drive = session_.Drive();
    GrabProgress progress;
    progress.stopped = [&runner] { return runner.CancelRequested(); };
    std::unique_ptr<ProgressWindow> window = openProgress_ ? openProgress_(progress) : nullptr;
    if (window) {
        progress.Attach(&window->Port());
        window->Activate();
    }
    WaveFileWriter file;
    if (!file.Create(wave, error))
        return fail("Error: Cannot write the WAVE file of the track in " + folder_ + ": " + error);
    ReadTrackParams params;
    params.drive = &drive;
    params.range = range;
    params.sectorsPerRead =
        BoundedSectorsPerRead(std::min(readBufferSize_, static_cast<int>(drive.sectorsPerRead)));
    params.inJob = true;
    params.reader = &rec->Reader();
    params.deemphasis = request_.cd.deemphasis && TrackHasPreEmphasis(session_, index);
    params.shownName = "Track0";  // the disc's hidden track before track 1
    ApplyReadSpeed(drive, CdReadSettings{request_.cd.readSpeed, request_.cd.deemphasis});
    GrabCounters counters;
    rec->BeginLeadingGap();
    ReadOutcome outcome = ReadOutcome::Done;
    if (rec->TestAndCopy()) {
        params.testOnly = true;
        params.written = [rec](const std::uint8_t* d, std::size_t n) { rec->Tested(d, n); };
        outcome = ReadTrack(params, file, progress, counters, error);
        counters = GrabCounters{};
        params.testOnly = false;
    }
    params.written = [rec](const std::uint8_t* d, std::size_t n) { rec->Written(d, n); };
    if (outcome == ReadOutcome::Done) outcome = ReadTrack(params, file, progress, counters, error);
    window.reset();
    if (outcome == ReadOutcome::Cancelled) {
        rec->EndLeadingGap("", false);
        next.step = Step::Cancelled;
        next.message = "Current Process was Canceled.";
        return true;
    }
    if (outcome == ReadOutcome::WriteFailed ||
        (outcome == ReadOutcome::Done && !file.Finish(error)))
        return fail("Error: Cannot write the WAVE file of the track in " + folder_ + ": " + error);
    if (outcome != ReadOutcome::Done) {
        file.Discard();
        return fail(error.empty() ? "Error: Can't read RAW Audio Data." : error);
    }

    // Named and tagged as the disc's track 0: the album's texts without a title of its own.
    const encoder::Id3Tag& source = request_.tags[index + 1];
    encoder::Id3Tag tag;
    if (source.Bytes()[0] == 'T') {
        tag.SetMarker();
        tag.SetArtist(source.Artist());
        tag.SetAlbum(source.Album());
        tag.SetYear(source.Year());
        tag.SetGenre(source.Genre());
    }
    tags::TrackTags fields = request_.FullTags(index + 1);
    fields.Set(tags::TagField::Title, "");
    fields.Set(tags::TagField::TrackNumber, "");
    std::string stem;
    const std::string relative = encoder::ExpandNamePattern(
        request_.namePattern, encoder::WithId3v1Fallback(fields, tag), 0);
    if (relative.empty()) {
        const std::string final = encoder::CdTrackFileName(folder_, "", "", 0);
        stem = final.substr(0, final.size() - 4);
    } else if (encoder::MakeNameFolders(folder_, relative, error)) {
        stem = encoder::WithTrailingSlash(folder_) + relative;
    } else {
        return fail("Error: " + error);
    }
    const std::string ext = OutputExtension(request_.kind);
    rec->EndLeadingGap(stem + ext, true);
    // Digital silence is no track: the cue sheet keeps it as a PREGAP.
    if (rec->LeadingGapSilent()) return false;
    encoder::SourceItem& item = next.item;
    item.output = ReserveScratchName(folder_, -1, ext, error);
    if (item.output.empty()) return fail("Error: " + error);
    scratch->Add(item.output);
    ++count_;
    next.step = Step::Item;
    item.input = wave;
    item.label = "Track0";
    item.tagged = true;
    item.tag = tag;
    item.fullTags = fields;
    item.finalStem = stem;
    item.settled = [recorder = recorder_](const std::string& path) { recorder->Settled(0, path); };
    FollowWithCover(item, cover_);
    item.deleteInput = request_.cd.deleteGrabbedWav;
    item.scratch = std::move(scratch);
    return true;
}

encoder::InputSource::Next CdTrackSource::Take(encoder::JobRunner& runner) {
    Next next;
    if (!prepared_) {
        std::string error;
        if (!PrepareDisc(error)) {
            // Every checked track is then unreadable.
            for (std::size_t i = 0; i < request_.cd.checked.size(); ++i)
                if (request_.cd.checked[i] == 1 && static_cast<int>(i) >= nextTrack_) {
                    nextTrack_ = static_cast<int>(i) + 1;
                    next.step = Step::Failed;
                    next.item.input = TrackLabel(request_.cd, static_cast<int>(i));
                    next.message = error;
                    return next;
                }
            return next;
        }
        prepared_ = true;
        if (request_.cd.ripLog)
            recorder_ = std::make_shared<RipRecorder>(request_, session_, folder_);
        // Once every track is settled: the lookup, the log and cue sheet, and the lines of
        // the tracks not accurately ripped after the job's own message; then the tray opens
        // when asked and the rip is complete.
        if (recorder_ || request_.cd.rip.eject)
            runner.OnFinish([recorder = recorder_, report = report_, cover = cover_,
                             eject = request_.cd.rip.eject, drive = session_.Drive(),
                             &runner](encoder::JobOutcome& outcome) {
                if (recorder) {
                    if (cover) recorder->SetCoverFile(cover->File(), cover->Note());
                    std::vector<std::string> lines;
                    std::string logError;
                    recorder->Finish([&runner] { return runner.CancelRequested(); }, lines,
                                     logError);
                    if (report) report(recorder->Report(), recorder->Complete());
                    for (const std::string& line : lines)
                        outcome.message += (outcome.message.empty() ? "" : "\n") + line;
                }
                if (eject) EjectAtJobEnd(drive, !recorder || recorder->Complete(), outcome);
            });
        if (request_.cd.rip.pregaps != rip::PregapChoice::Previous && !request_.cd.introOnly)
            pregaps_ = std::make_shared<PregapMover>(
                request_.cd.rip.pregaps,
                recorder_ ? recorder_->Report().disc : SessionDiscInfo(session_),
                request_.cd.checked);
    }
    // Audio hidden before the first track comes first, as on the disc.
    if (TakeLeadingGap(runner, next)) return next;
    // The track's files until they take their final names; they go with the item otherwise
    // (a cancel, a failed read or encode).
    auto scratch = std::make_shared<encoder::ScratchFiles>();
    NextTrackOptions options;
    options.introOnly = request_.cd.introOnly;
    options.introSeconds = request_.cd.introSeconds;
    options.cdRead.speed = request_.cd.readSpeed;
    options.cdRead.deemphasis = request_.cd.deemphasis;
    options.openProgress = openProgress_;
    options.message = [&runner](const std::string& text, unsigned flags) {
        runner.Message(text, "", flags);
    };
    options.stopped = [&runner] { return runner.CancelRequested(); };
    options.wavePath = [this, &scratch](int track, std::string& error) {
        std::string path = ReserveScratchName(folder_, track, ".WAV", error);
        if (!path.empty()) scratch->Add(path);
        return path;
    };
    // The scratch file's name is the job's own business: the read window names the track as
    // the status window and the final message do.
    options.shownName = [this](int track) { return TrackLabel(request_.cd, track); };
    if (recorder_) {
        RipRecorder* rec = recorder_.get();
        options.reader = &rec->Reader();
        options.starting = [rec](int track) { rec->BeginTrack(track); };
        options.tested = [rec](const std::uint8_t* d, std::size_t n) { rec->Tested(d, n); };
        options.written = [rec](const std::uint8_t* d, std::size_t n) { rec->Written(d, n); };
    }
    GrabNextTrackResult r = GrabNextTrack(session_, folder_, nextTrack_, readBufferSize_, options);
    if (recorder_ && r.result == GrabResult::Failed) recorder_->EndTrack("", false, r.track);
    switch (r.result) {
        case GrabResult::NoTrack:
            next.step = Step::End;
            return next;
        case GrabResult::Cancelled:
            // The job ends as a cancel does; the frames read so far go with the scratch files.
            next.step = Step::Cancelled;
            next.message = "Current Process was Canceled.";
            return next;
        case GrabResult::Failed:
            next.step = Step::Failed;
            next.item.input = TrackLabel(request_.cd, r.track);
            if (r.errorCode != 0)
                next.message = "Error: Cannot write the WAVE file of the track in " + folder_ +
                               ": " + std::strerror(r.errorCode);
            else
                next.message = r.error.empty() ? "Error: Can't read RAW Audio Data." : r.error;
            return next;
        case GrabResult::Grabbed:
            break;
    }
    std::uint32_t heldPregap = 0;
    if (pregaps_) {
        std::string error;
        if (!pregaps_->Apply(folder_, r.track, &r.path, *scratch, heldPregap, error)) {
            if (recorder_) recorder_->EndTrack("", true);
            next.step = Step::Failed;
            next.item.input = TrackLabel(request_.cd, r.track);
            next.message = "Error: " + error;
            return next;
        }
    }
    const int number = r.track + 1;
    const encoder::Id3Tag& tag = request_.tags[number];
    encoder::SourceItem& item = next.item;
    std::string error;
    item.output = ReserveScratchName(folder_, r.track, OutputExtension(request_.kind), error);
    if (item.output.empty()) {
        if (recorder_) recorder_->EndTrack("", true);
        next.step = Step::Failed;
        next.item.input = TrackLabel(request_.cd, r.track);
        next.message = "Error: " + error;
        return next;
    }
    scratch->Add(item.output);
    next.step = Step::Item;
    item.input = r.path;
    item.label = TrackLabel(request_.cd, r.track);
    item.tagged = true;
    item.tag = tag;
    item.fullTags = request_.FullTags(number);
    const std::string relative = encoder::ExpandNamePattern(
        request_.namePattern, encoder::WithId3v1Fallback(item.fullTags, tag), number);
    if (relative.empty()) {
        std::string final = encoder::CdTrackFileName(folder_, tag.Artist(), tag.Title(), number);
        item.finalStem = final.substr(0, final.size() - 4);  // without ".MP3"
    } else if (encoder::MakeNameFolders(folder_, relative, error)) {
        item.finalStem = encoder::WithTrailingSlash(folder_) + relative;
    } else {
        // The track fails alone; its scratch files go with this item.
        if (recorder_) recorder_->EndTrack("", true);
        next.step = Step::Failed;
        next.message = "Error: " + error;
        return next;
    }
    if (recorder_) {
        recorder_->EndTrack(item.finalStem + OutputExtension(request_.kind), true);
        const int disc = session_.Track(r.track).number;
        if (heldPregap > 0) recorder_->HeldPregap(disc, heldPregap);
        item.settled = [recorder = recorder_, disc](const std::string& path) {
            recorder->Settled(disc, path);
        };
    }
    FollowWithCover(item, cover_);
    item.trackNumber = number;
    item.deleteInput = request_.cd.deleteGrabbedWav;
    item.scratch = std::move(scratch);
    return next;
}

void InstallCdTrackSource(OpenProgressFn openProgress, RipReportSink report) {
    encoder::SetCdTrackSource([openProgress, report](const encoder::JobRequest& request) {
        return std::make_unique<CdTrackSource>(request, TheCdSession(), openProgress, report);
    });
}

}  // namespace orvane::cdda
