#include "encoder/cdda/verified_rip.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <utility>

#include "encoder/cdda/grab.h"
#include "encoder/tags/paths.h"
#include "platform/base/command_line.h"
#include "platform/cdrom/disc_info.h"
#include "platform/cdrom/drives.h"

namespace orvane::cdda {

namespace {

bool IsAudio(const CdSession& session, int track) { return session.Track(track).audio; }

std::string Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Hex8(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

}  // namespace

ReadSettings ReadSettingsOf(const encoder::CdHandOver& cd) {
    ReadSettings s = cd.rip.read;
    s.offset = std::clamp(s.offset, -kMaxReadOffset, kMaxReadOffset);
    if (s.mode != ReadMode::Secure && s.mode != ReadMode::TestAndCopy) s.mode = ReadMode::Burst;
    s.agree = std::clamp(s.agree, 2, 8);
    s.maxReads = std::clamp(s.maxReads, s.agree, 64);
    return s;
}

cdrom::DiscInfo SessionDiscInfo(const CdSession& session) {
    cdrom::DiscInfo disc;
    auto drive = cdrom::DriveAt(session.selectedDrive);
    if (drive && drive->ReadDiscInfo(disc).ok && !disc.Empty()) return disc;
    // The track list's disc, ending where the job was told the disc ends.
    disc = session.disc;
    disc.leadOut = session.leadOut;
    cdrom::FillLengths(disc);
    return disc;
}

RipRecorder::RipRecorder(const encoder::JobRequest& request, const CdSession& session,
                         std::string folder)
    : request_(request),
      session_(session),
      folder_(std::move(folder)),
      reader_(session_.Drive(), session_.leadOut, ReadSettingsOf(request.cd)) {
    const CdDrive& d = session_.Drive();
    report_.program = program_invocation_short_name;
    report_.version = ToolkitVersion();
    report_.date = Now();
    report_.driveName = Trimmed(Trimmed(d.vendor) + " " + Trimmed(d.product)) + " " +
                        Trimmed(d.revision) + " (" + std::to_string(d.adapter) + ":" +
                        std::to_string(d.target) + ")";
    auto drive = cdrom::DriveAt(session_.selectedDrive);
    report_.drivePath = drive ? drive->Name() : std::string();
    report_.offset = reader_.Settings().offset;
    report_.mode = ReadModeName(reader_.Settings().mode);
    report_.disc = SessionDiscInfo(session_);
    report_.arId = ComputeAccurateRipId(report_.disc);
    report_.coverNote = request.cd.coverNote;
    if (request_.cd.rip.ctdb) ctdb_ = std::make_unique<CtdbRecorder>(report_.disc, request_.cd.rip);
    report_.pregaps = static_cast<int>(request.cd.rip.pregaps);
    for (int i = 0; i < session_.TrackCount(); ++i) {
        const encoder::Id3Tag& tag = request_.tags[i + 1];
        if (report_.discTitle.empty()) report_.discTitle = tag.Album();
        if (report_.discArtist.empty()) report_.discArtist = tag.Artist();
    }
}

void RipRecorder::BeginTrack(int track) {
    track_ = track;
    reader_.ClearSuspicious();
    const FrameRange range =
        TrackRange(session_, track, request_.cd.introOnly, request_.cd.introSeconds);
    // The disc's first and last audio tracks leave out the samples drives disagree on.
    int firstAudio = -1, lastAudio = -1;
    for (int i = 0; i < session_.TrackCount(); ++i) {
        if (!IsAudio(session_, i)) continue;
        if (firstAudio < 0) firstAudio = i;
        lastAudio = i;
    }
    const std::uint64_t words = std::uint64_t{range.Frames()} * kSamplesPerSector;
    sums_ = std::make_unique<TrackChecksummer>(track == firstAudio, track == lastAudio, words);
    testSums_.reset();
    if (TestAndCopy())
        testSums_ =
            std::make_unique<TrackChecksummer>(track == firstAudio, track == lastAudio, words);
    if (ctdb_) ctdb_->BeginTrack(session_.Track(track).number);
}

void RipRecorder::Tested(const std::uint8_t* data, std::size_t size) {
    if (testSums_) testSums_->Update(data, size);
}

void RipRecorder::Written(const std::uint8_t* data, std::size_t size) {
    if (sums_) sums_->Update(data, size);
    if (ctdb_ && !inGap_) ctdb_->Written(data, size);
    if (inGap_ && !gapSound_)
        gapSound_ = std::any_of(data, data + size, [](std::uint8_t b) { return b != 0; });
}

FrameRange RipRecorder::LeadingGap(int* track) const {
    FrameRange r;
    for (const cdrom::TrackInfo& t : report_.disc.tracks) {
        if (!t.audio) continue;
        if (t.pregap > 0 && t.pregap <= t.start) {
            r.start = t.start - t.pregap;
            r.end = t.start;
            if (track) *track = t.number;
        }
        break;
    }
    return r;
}

void RipRecorder::BeginLeadingGap() {
    track_ = -1;
    inGap_ = true;
    gapSound_ = false;
    reader_.ClearSuspicious();
    const std::uint64_t words = std::uint64_t{LeadingGap().Frames()} * kSamplesPerSector;
    sums_ = std::make_unique<TrackChecksummer>(false, false, words);
    testSums_.reset();
    if (TestAndCopy()) testSums_ = std::make_unique<TrackChecksummer>(false, false, words);
}

void RipRecorder::EndLeadingGap(const std::string& file, bool read) {
    if (!inGap_) return;
    inGap_ = false;
    RipLeadingGap gap;
    const FrameRange range = LeadingGap(&gap.track);
    gap.start = range.start;
    gap.frames = range.Frames();
    gap.rip.number = 0;
    gap.rip.file = file;
    gap.rip.read = read;
    if (read && sums_) gap.rip.sums = sums_->Finish();
    if (read && testSums_) gap.rip.testCrc = testSums_->Finish().crc32;
    gap.rip.suspicious = reader_.Suspicious();
    gap.silent = read && !gapSound_ && gap.rip.suspicious.empty() &&
                 (!gap.rip.testCrc || *gap.rip.testCrc == gap.rip.sums.crc32);
    std::lock_guard lock(mutex_);
    report_.leadingGap = std::move(gap);
}

bool RipRecorder::LeadingGapSilent() const {
    return report_.leadingGap && report_.leadingGap->silent;
}

void RipRecorder::EndTrack(const std::string& file, bool read, int track) {
    // A track whose file could not even be made never began.
    const bool begun = track_ >= 0;
    if (!begun) track_ = track;
    if (track_ < 0 || track_ >= session_.TrackCount()) {
        track_ = -1;
        return;
    }
    RipTrackReport t;
    t.number = session_.Track(track_).number;
    t.file = file;
    t.read = read && begun;
    if (t.read && sums_) t.sums = sums_->Finish();
    if (t.read && testSums_) t.testCrc = testSums_->Finish().crc32;
    if (begun) t.suspicious = reader_.Suspicious();
    if (ctdb_ && begun) ctdb_->EndTrack(t.read);
    std::lock_guard lock(mutex_);
    report_.tracks.push_back(std::move(t));
    report_.trackTitles.push_back(request_.tags[track_ + 1].Title());
    track_ = -1;
}

void RipRecorder::Settled(int number, const std::string& file) {
    std::lock_guard lock(mutex_);
    if (number == 0 && report_.leadingGap) report_.leadingGap->rip.file = file;
    for (RipTrackReport& t : report_.tracks)
        if (t.number == number) t.file = file;
}

bool RipRecorder::Complete() const {
    // A track never reached (a cancel) is no more ripped than one that failed.
    std::size_t checked = 0;
    for (int i = 0; i < session_.TrackCount(); ++i)
        checked += static_cast<std::size_t>(i) < request_.cd.checked.size() &&
                   request_.cd.checked[static_cast<std::size_t>(i)] == 1 && IsAudio(session_, i);
    if (report_.tracks.size() < checked) return false;
    std::vector<RipTrackReport> tracks = report_.tracks;
    if (report_.leadingGap && !report_.leadingGap->silent)
        tracks.push_back(report_.leadingGap->rip);
    for (const RipTrackReport& t : tracks) {
        if (!t.read || !t.suspicious.empty()) return false;
        if (t.testCrc && *t.testCrc != t.sums.crc32) return false;
    }
    return true;
}

const RipReport& RipRecorder::Finish(const std::function<bool()>& cancelled,
                                     std::vector<std::string>& lines, std::string& logError) {
    std::lock_guard lock(mutex_);
    AccurateRipReply reply;
    if (request_.cd.rip.accurateRip) {
        const std::string server = request_.cd.rip.accurateRipServer.empty()
                                       ? std::string(kDefaultAccurateRipServer)
                                       : request_.cd.rip.accurateRipServer;
        reply = LookupAccurateRip(server, report_.arId, cancelled);
        report_.lookupMessage = reply.message;
    } else {
        report_.accurateRipAsked = false;
    }
    for (RipTrackReport& t : report_.tracks) {
        int audioIndex = 0;
        for (int i = 0; i < session_.TrackCount(); ++i) {
            if (session_.Track(i).number == t.number) break;
            if (IsAudio(session_, i)) ++audioIndex;
        }
        if (request_.cd.rip.accurateRip && t.read)
            t.verdict = MatchTrack(reply, audioIndex, t.sums);
    }
    if (ctdb_) {
        std::vector<CtdbTrackFile> files;
        for (const RipTrackReport& t : report_.tracks)
            files.push_back({t.number, t.file, t.read, {}});
        report_.ctdb = ctdb_->Finish(files, cancelled);
    }
    lines = NotAccurateLines(report_);
    if (report_.ctdb) {
        lines.push_back("CTDB: " + report_.ctdb->discVerdict);
        for (const std::string& line : report_.ctdb->repairLines)
            lines.push_back(line);
    }
    std::vector<RipTrackReport> tracks = report_.tracks;
    if (report_.leadingGap && !report_.leadingGap->silent) {
        const RipTrackReport& gap = report_.leadingGap->rip;
        tracks.insert(tracks.begin(), gap);
        if (gap.read && !gap.suspicious.empty()) {
            lines.insert(lines.begin(), "Track 0: suspicious sectors at " +
                                            rip::SuspiciousList(gap.suspicious, 0, nullptr));
        }
    }
    for (const RipTrackReport& t : tracks) {
        if (t.read && t.testCrc && *t.testCrc != t.sums.crc32)
            lines.push_back("Track " + std::to_string(t.number) +
                            ": the test and the copy differ (CRC32 " + Hex8(*t.testCrc) + " and " +
                            Hex8(t.sums.crc32) + ")");
    }
    // The log and cue sheet never replace a file: a taken name gets a number.
    const std::string stem = StemLocked();
    if (!formatLogs_.empty()) {
        std::string firstError;
        for (std::size_t k = 0; k < formatLogs_.size(); ++k) {
            std::string error;
            if (WriteRipLogAndCue(formatLogs_[k].folder, stem, ReportOfFormat(k), error).empty()) {
                lines.push_back("Error: Cannot write the rip log in " + formatLogs_[k].folder +
                                ": " + error);
                if (firstError.empty()) firstError = error;
            }
        }
        report_ = ReportOfFormat(0);
        logError = firstError;
        return report_;
    }
    if (WriteRipLogAndCue(folder_, stem, report_, logError).empty()) {
        lines.push_back("Error: Cannot write the rip log in " + folder_ + ": " + logError);
    } else {
        logError.clear();
    }
    return report_;
}

std::string RipRecorder::Stem() const {
    std::lock_guard lock(mutex_);
    return StemLocked();
}

std::string RipRecorder::StemLocked() const {
    std::string stem = "Rip";
    if (!report_.discTitle.empty()) {
        const std::string name =
            RowFileName("",
                        report_.discArtist.empty() ? report_.discTitle
                                                   : report_.discArtist + " - " + report_.discTitle,
                        0);
        stem = name.substr(0, name.size() - 4);
    }
    if (request_.cd.discOfSet > 0) stem += " CD " + std::to_string(request_.cd.discOfSet);
    return stem;
}

void RipRecorder::HeldPregap(int number, std::uint32_t frames) {
    std::lock_guard lock(mutex_);
    for (RipTrackReport& t : report_.tracks)
        if (t.number == number) t.heldPregap = frames;
}

void RipRecorder::SetImage(std::string cue, std::vector<std::string> notes) {
    std::lock_guard lock(mutex_);
    report_.imageCue = std::move(cue);
    report_.logNotes = std::move(notes);
}

void RipRecorder::SetFormatLogs(std::vector<FormatLog> logs) {
    std::lock_guard lock(mutex_);
    formatLogs_ = std::move(logs);
    formatFiles_.assign(formatLogs_.size(), {});
}

void RipRecorder::SettledIn(std::size_t format, const std::string& planned,
                            const std::string& file) {
    std::lock_guard lock(mutex_);
    if (format < formatFiles_.size()) formatFiles_[format][planned] = file;
}

RipReport RipRecorder::ReportOfFormat(std::size_t k) const {
    RipReport out = report_;
    const auto name = [&](std::string& file) {
        if (file.empty()) return;
        const auto it = formatFiles_[k].find(file);
        if (it != formatFiles_[k].end()) {
            file = it->second;
            return;
        }
        // The format's file of that track failed: the name it was to have.
        const auto dot = file.rfind('.');
        const auto slash = file.rfind('/');
        const std::string stem =
            dot != std::string::npos && (slash == std::string::npos || dot > slash)
                ? file.substr(0, dot)
                : file;
        file = stem + formatLogs_[k].extension;
    };
    for (RipTrackReport& t : out.tracks)
        name(t.file);
    if (out.leadingGap) name(out.leadingGap->rip.file);
    return out;
}

}  // namespace orvane::cdda
