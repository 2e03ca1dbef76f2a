#include "encoder/cdda/grab.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>

#include "encoder/cdda/accuraterip.h"
#include "encoder/cdda/cdda_strings.h"
#include "encoder/cdda/resource_cdda.h"
#include "encoder/job/job.h"
#include "encoder/tags/file_names.h"
#include "encoder/tags/name_pattern.h"
#include "encoder/tags/paths.h"
#include "platform/clock/clock.h"

namespace orvane::cdda {

namespace {

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

std::array<std::uint8_t, 44> WaveHeader(std::uint32_t fileLength, int channels, double sampleRate) {
    std::array<std::uint8_t, 44> h{};
    auto rate = static_cast<std::uint32_t>(sampleRate);
    std::memcpy(&h[0], "RIFF", 4);
    PutLe32(&h[4], fileLength - 8);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    PutLe32(&h[16], 16);
    PutLe16(&h[20], 1);
    PutLe16(&h[22], static_cast<std::uint32_t>(channels));
    PutLe32(&h[24], rate);
    PutLe32(&h[28], static_cast<std::uint32_t>(channels) * rate * 2);
    PutLe16(&h[32], 4);
    PutLe16(&h[34], 16);
    std::memcpy(&h[36], "data", 4);
    PutLe32(&h[40], fileLength - 44);
    return h;
}

int WriteWaveHeader(int fd, int channels, double sampleRate) {
    struct stat st {};
    std::uint32_t length = 44;
    if (::fstat(fd, &st) == 0 && st.st_size > 44)
        length = static_cast<std::uint32_t>(std::min<off_t>(st.st_size, 0xFFFFFFFF));
    auto header = WaveHeader(length, channels, sampleRate);
    fs::WriteAll(fd, header.data(), header.size(), 0);
    return 1;
}

// --- Progress window -------------------------------------------------------------------------

bool GrabProgress::CheckCancel() {
    if (port_) port_->ProcessMessages();
    bool cancelled = cancel_.exchange(false);
    return cancelled || (stopped && stopped());
}

void GrabProgress::SetFileText(const std::string& path) {
    if (port_) port_->SetText(IDC_GRAB_FILE, path);
}

void GrabProgress::SetGrabbedText(std::uint32_t frames) {
    if (!port_) return;
    char text[64];
    std::snprintf(text, sizeof text, "%d MBytes, %d Sectors.",
                  static_cast<int>((static_cast<std::uint32_t>(frames * kFrameBytes)) >> 20),
                  static_cast<int>(frames));
    port_->SetText(IDC_GRAB_GRABBED, text);
}

void GrabProgress::SetTrackBar(int range, int pos) {
    if (!port_) return;
    port_->SetRange(IDC_GRAB_TRACKBAR, 0, range);
    port_->SetPos(IDC_GRAB_TRACKBAR, std::min(pos, range));
}

void GrabProgress::SetTotalBar(int range, int pos) {
    if (!port_) return;
    port_->SetRange(IDC_GRAB_TOTALBAR, 0, range);
    port_->SetPos(IDC_GRAB_TOTALBAR, std::min(pos, range));
}

void GrabProgress::SetStatus(const std::string& text) {
    if (port_) port_->SetText(IDC_GRAB_STATUS, text);
}

// --- The file --------------------------------------------------------------------------------

bool WaveFileWriter::Failed(const fs::Status& status, std::string& error) {
    error = status.message;
    // What went wrong first: later calls on the discarded file can only say it is gone.
    if (errorCode_ == 0) errorCode_ = status.code;
    file_.Discard();
    return false;
}

bool WaveFileWriter::Create(const std::string& path, std::string& error, fs::FileOps* ops) {
    file_.Discard();
    path_ = path;
    dataBytes_ = 0;
    errorCode_ = 0;
    fs::WriteOptions options;
    options.ops = ops;
    fs::Status status = file_.Open(path, options);
    // The samples start at byte 44; the header is written once the length is known.
    static const std::uint8_t kNoHeader[44] = {};
    if (status) status = file_.Write(kNoHeader, sizeof kNoHeader);
    if (!status) return Failed(status, error);
    return true;
}

bool WaveFileWriter::Write(const std::uint8_t* data, std::size_t size, std::string& error) {
    if (dataBytes_ + size + 44 > 0xFFFFFFFFull) {
        error = "a WAVE file cannot hold more than 4 GB";
        if (errorCode_ == 0) errorCode_ = EFBIG;
        return false;
    }
    fs::Status status = file_.Write(data, size);
    if (!status) return Failed(status, error);
    dataBytes_ += size;
    return true;
}

bool WaveFileWriter::Finish(std::string& error) {
    auto header = WaveHeader(static_cast<std::uint32_t>(44 + dataBytes_), 2, 44100);
    fs::Status status = file_.WriteAt(0, header.data(), header.size());
    if (status) status = file_.Commit();
    if (!status) return Failed(status, error);
    return true;
}

// --- Reading ---------------------------------------------------------------------------------

int BoundedSectorsPerRead(int value) { return std::clamp(value, 1, kReadBufferFrames); }

void ApplyReadSpeed(const CdDrive& drive, const CdReadSettings& settings) {
    // A drive that does not take the command reads at the speed it has.
    if (settings.speed > 0)
        drive.SetReadSpeed(static_cast<std::uint16_t>(
            std::min<int>(settings.speed * kSingleSpeedKBs, kMaxReadSpeed - 1)));
}

bool TrackHasPreEmphasis(const CdSession& session, int track) {
    if (track < 0 || track >= session.TrackCount()) return false;
    return session.Track(track).preemphasis;
}

namespace {

// The grab's side of the span loop: the file, the checksums and the progress window.
class TrackObserver final : public ReadObserver {
public:
    TrackObserver(const ReadTrackParams& p, WaveFileWriter& file, GrabProgress& progress,
                  GrabCounters& counters, std::string& error)
        : p_(p), file_(file), progress_(progress), counters_(counters), error_(error) {}

    bool StopRequested() override {
        return progress_.CancelPending() || (progress_.stopped && progress_.stopped());
    }
    bool Samples(std::uint32_t, std::uint32_t count, const std::uint8_t*,
                 const std::uint8_t* samples) override {
        const std::size_t bytes = std::size_t{count} * kFrameBytes;
        if (!p_.testOnly && !file_.Write(samples, bytes, error_)) {
            writeFailed = true;
            return false;
        }
        if (p_.written) p_.written(samples, bytes);
        return true;
    }
    bool ChunkDone(std::uint32_t, std::uint32_t, AspiResult) override {
        // Both counters advance by the sectors per read, the last shorter request too.
        const auto n = static_cast<std::uint32_t>(BoundedSectorsPerRead(p_.sectorsPerRead));
        const int trackRange = static_cast<int>(p_.range.Frames());
        counters_.track += n;
        counters_.total += n;
        if (p_.totalRange > 0) {
            progress_.SetGrabbedText(counters_.total);
            progress_.SetTrackBar(trackRange, static_cast<int>(counters_.track));
            progress_.SetTotalBar(p_.totalRange, static_cast<int>(counters_.total));
        } else {
            progress_.SetGrabbedText(counters_.track);
            progress_.SetTrackBar(trackRange, static_cast<int>(counters_.track));
            progress_.SetTotalBar(trackRange, static_cast<int>(counters_.track));
        }
        return progress_.CheckCancel();
    }
    bool writeFailed = false;

private:
    const ReadTrackParams& p_;
    WaveFileWriter& file_;
    GrabProgress& progress_;
    GrabCounters& counters_;
    std::string& error_;
};

}  // namespace

ReadOutcome ReadTrack(const ReadTrackParams& p, WaveFileWriter& file, GrabProgress& progress,
                      GrabCounters& counters, std::string& error) {
    progress.SetFileText(p.shownName.empty() ? file.Path() : p.shownName);
    progress.SetTrackBar(static_cast<int>(p.range.Frames()), 0);
    // Without a verified rip each request goes to the drive as it stands.
    std::optional<SampleReader> described;
    SampleReader* reader = p.reader;
    if (!reader) {
        ReadSettings asRequested;
        asRequested.asRequested = true;
        reader = &described.emplace(*p.drive, 0, asRequested);
    }
    SpanRequest span;
    span.first = p.range.start;
    span.end = p.range.end;
    span.chunk = static_cast<std::uint32_t>(BoundedSectorsPerRead(p.sectorsPerRead));
    span.lastAttempts = p.inJob ? 10 : 6;
    span.reread = p.reread;
    span.deemphasis = p.deemphasis;
    TrackObserver observer(p, file, progress, counters, error);
    switch (reader->ReadSpan(span, observer).outcome) {
        case SpanOutcome::Done:
            break;
        case SpanOutcome::Cancelled:
            return ReadOutcome::Cancelled;
        case SpanOutcome::Failed:
            return ReadOutcome::Failed;
        case SpanOutcome::Stopped:
            return ReadOutcome::WriteFailed;
    }
    return ReadOutcome::Done;
}

std::string RowFileName(const std::string& folder, const std::string& rowName, int row) {
    // The MP3 naming rule gives the replacements; its ".MP3" becomes ".WAV".
    std::string name = encoder::CdTrackFileName(folder, "", rowName, row + 1);
    return name.substr(0, name.size() - 4) + ".WAV";
}

namespace {

// Two rows whose names give the same file would have the second grab replace the first one's
// audio; the later row becomes "<name> (2).WAV", "<name> (3).WAV" and so on instead. The first
// keeps its plain name.
std::string UniqueInGrab(const std::string& path, std::set<std::string>& used) {
    std::string candidate = path;
    const std::string stem = path.substr(0, path.size() - 4);
    for (int k = 2; used.count(candidate) != 0; ++k)
        candidate = encoder::NumberedName(stem, ".WAV", k);
    used.insert(candidate);
    return candidate;
}

}  // namespace

void GrabToFolder(CdSession& session, const GrabToFolderRequest& request, WindowPort& port,
                  const OpenProgressFn& openProgress, int& cdaReadBufferSize) {
    if (request.rows.empty()) {
        port.MessageBox(CdString(IDS_NO_TRACK_SELECTED), "", MB_ICONSTOP);
        return;
    }
    std::string folder = port.ChooseFolder(CdString(IDS_SELECT_WAV_FOLDER));
    if (folder.empty()) return;
    folder = encoder::WithTrailingSlash(folder);
    const CdDrive& drive = session.Drive();
    int n = BoundedSectorsPerRead(drive.sectorsPerRead);
    cdaReadBufferSize = n;
    ApplyReadSpeed(drive, request.cdRead);
    std::uint64_t totalFrames = 0;
    for (const GrabRow& row : request.rows)
        totalFrames += TrackRange(session, row.track, false, 0).Frames();
    GrabProgress progress;
    std::unique_ptr<ProgressWindow> window = openProgress ? openProgress(progress) : nullptr;
    if (window) progress.Attach(&window->Port());
    int totalRange = static_cast<int>(std::min<std::uint64_t>(totalFrames, 0x7FFFFFFF));
    progress.SetTotalBar(std::max(totalRange, 1), 0);
    if (window) window->Port().SetText(IDC_GRAB_GRABBED, "");
    GrabCounters counters;
    std::set<std::string> used;
    std::unique_ptr<SampleReader> reader;
    if (!request.read.Plain())
        reader = std::make_unique<SampleReader>(drive, session.leadOut, request.read);
    // What the verified reading doubts, one line per track, after the closing message.
    std::string doubts;
    for (const GrabRow& row : request.rows) {
        std::string error;
        std::string path;
        if (!request.namePattern.empty()) {
            // The pattern's folders below the chosen one; every part is cleaned, so none leaves it.
            const std::string relative = encoder::ExpandNamePattern(
                request.namePattern, row.fields, session.Track(row.track).number);
            path = folder + relative + ".WAV";
            if (!encoder::MakeNameFolders(folder, relative, error)) {
                window.reset();
                port.MessageBox("Error: Cannot create the file \"" + path + "\".\n" + error, "",
                                MB_ICONSTOP);
                return;
            }
            path = UniqueInGrab(path, used);
        } else {
            path = UniqueInGrab(RowFileName(folder, row.name, row.track), used);
        }
        WaveFileWriter file;
        if (!file.Create(path, error, request.fileOps)) {
            window.reset();
            port.MessageBox("Error: Cannot create the file \"" + path + "\".\n" + error, "",
                            MB_ICONSTOP);
            return;
        }
        counters.track = 0;
        ReadTrackParams params;
        params.drive = &drive;
        params.range = TrackRange(session, row.track, request.introOnly, request.introSeconds);
        params.sectorsPerRead = n;
        params.totalRange = std::max(totalRange, 1);
        params.deemphasis = request.cdRead.deemphasis && TrackHasPreEmphasis(session, row.track);
        params.reader = reader.get();
        if (reader) reader->ClearSuspicious();
        ReadOutcome outcome = ReadOutcome::Done;
        TrackChecksummer testSums(false, false, 0), copySums(false, false, 0);
        if (reader && request.read.mode == ReadMode::TestAndCopy) {
            const GrabCounters before = counters;
            params.testOnly = true;
            params.written = [&testSums](const std::uint8_t* d, std::size_t size) {
                testSums.Update(d, size);
            };
            outcome = ReadTrack(params, file, progress, counters, error);
            counters = before;
            params.testOnly = false;
            params.reread = true;
            params.written = [&copySums](const std::uint8_t* d, std::size_t size) {
                copySums.Update(d, size);
            };
        }
        if (outcome == ReadOutcome::Done)
            outcome = ReadTrack(params, file, progress, counters, error);
        if (outcome == ReadOutcome::Done && reader) {
            const int number = session.Track(row.track).number;
            const std::uint32_t start = params.range.start;
            for (std::uint32_t lba : reader->Suspicious())
                doubts += "\n" + rip::SuspiciousSector(number, start, lba);
            if (testSums.Finish().crc32 != copySums.Finish().crc32)
                doubts += "\nTrack " + std::to_string(number) + ": the test and the copy differ";
        }
        if (outcome == ReadOutcome::Cancelled) {
            // The user stopped it: no file of the track, not a part of one.
            file.Discard();
            port.MessageBox("Reading aborted by user!", "", MB_ICONSTOP);
            window.reset();
            return;
        }
        std::string finishError;
        bool finished = file.Finish(finishError);
        if (outcome == ReadOutcome::Failed) {
            window.reset();
            port.MessageBox(CdString(IDS_CANT_READ_RAW), "", MB_ICONSTOP);
            return;
        }
        if (outcome == ReadOutcome::WriteFailed || !finished) {
            // After a failed write the file is gone, and Finish can only say that: the write's
            // own error tells why.
            window.reset();
            port.MessageBox("Error: Cannot write the file \"" + path + "\".\n" +
                                (outcome == ReadOutcome::WriteFailed ? error : finishError),
                            "", MB_ICONSTOP);
            return;
        }
    }
    port.MessageBox("The selected track(s) has been saved to disk." + doubts, "",
                    doubts.empty() ? MB_OK : MB_ICONEXCLAMATION);
    window.reset();
}

GrabNextTrackResult GrabNextTrack(CdSession& session, const std::string& folder, int& nextTrack,
                                  int& cdaReadBufferSize, const NextTrackOptions& options) {
    GrabNextTrackResult out;
    int tracks = std::min<int>(session.TrackCount(), static_cast<int>(session.checked.size()));
    int track = std::max(nextTrack, 0);
    while (track < tracks && session.checked[static_cast<std::size_t>(track)] != 1)
        ++track;
    if (track >= tracks) {
        nextTrack = track;
        return out;
    }
    out.track = track;
    nextTrack = track + 1;
    if (options.wavePath) {
        out.path = options.wavePath(track, out.error);
        if (out.path.empty()) {
            out.result = GrabResult::Failed;
            return out;
        }
    } else {
        char name[32];
        std::snprintf(name, sizeof name, "Track%d.WAV", track);
        out.path = encoder::WithTrailingSlash(folder) + name;
    }

    const CdDrive& drive = session.Drive();
    int n = std::min(cdaReadBufferSize, static_cast<int>(drive.sectorsPerRead));
    n = BoundedSectorsPerRead(n);
    cdaReadBufferSize = n;

    GrabProgress progress;
    progress.stopped = options.stopped;
    std::unique_ptr<ProgressWindow> window =
        options.openProgress ? options.openProgress(progress) : nullptr;
    if (window) {
        progress.Attach(&window->Port());
        window->Activate();
    }
    WaveFileWriter file;
    if (!file.Create(out.path, out.error, options.fileOps)) {
        out.error = "Cannot create the file \"" + out.path + "\": " + out.error;
        out.errorCode = file.ErrorCode();
        out.result = GrabResult::Failed;
        progress.SetStatus(CdString(IDS_CANT_READ_RAW));
        return out;
    }
    ReadTrackParams params;
    params.drive = &drive;
    params.range = TrackRange(session, track, options.introOnly, options.introSeconds);
    params.sectorsPerRead = n;
    params.inJob = true;
    params.reader = options.reader;
    params.deemphasis = options.cdRead.deemphasis && TrackHasPreEmphasis(session, track);
    if (options.shownName) params.shownName = options.shownName(track);
    ApplyReadSpeed(drive, options.cdRead);
    GrabCounters counters;
    std::string error;
    if (options.starting) options.starting(track);
    ReadOutcome outcome = ReadOutcome::Done;
    if (options.reader && options.reader->Settings().mode == ReadMode::TestAndCopy) {
        // The test: one whole read whose checksum the copy's must equal.
        params.testOnly = true;
        params.written = options.tested;
        outcome = ReadTrack(params, file, progress, counters, error);
        counters = GrabCounters{};
        params.testOnly = false;
        params.reread = true;
    }
    params.written = options.written;
    if (outcome == ReadOutcome::Done) outcome = ReadTrack(params, file, progress, counters, error);
    std::string finishError;
    bool finished = file.Finish(finishError);
    switch (outcome) {
        case ReadOutcome::Done:
            if (finished) {
                out.result = GrabResult::Grabbed;
                return out;
            }
            out.result = GrabResult::Failed;
            out.error = "Cannot write the file \"" + out.path + "\": " + finishError;
            out.errorCode = file.ErrorCode();
            return out;
        case ReadOutcome::Cancelled:
            if (options.message && !(options.stopped && options.stopped()))
                options.message("Reading aborted by user!", MB_ICONSTOP);
            out.result = GrabResult::Cancelled;
            return out;
        case ReadOutcome::WriteFailed:
            out.error = "Cannot write the file \"" + out.path + "\": " + error;
            out.errorCode = file.ErrorCode();
            [[fallthrough]];
        case ReadOutcome::Failed:
            out.result = GrabResult::Failed;
            progress.SetStatus(CdString(IDS_CANT_READ_RAW));
            // The message stays readable for a moment; Cancel ends the pause.
            clock::PauseUnless(2000, [&] {
                return progress.CancelPending() || (options.stopped && options.stopped());
            });
            return out;
    }
    return out;
}

}  // namespace orvane::cdda
