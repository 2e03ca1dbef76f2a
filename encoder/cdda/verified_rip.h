#pragma once
// The verified-rip side of a CD job: each track read through a sample reader (offset, secure
// or test-and-copy), its checksums taken from the samples written, and at the job's end the
// AccurateRip lookup, the log and cue sheet beside the files and the lines the final message
// adds for the tracks not accurately ripped.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "encoder/cdda/accuraterip.h"
#include "encoder/cdda/ctdb_rip.h"
#include "encoder/cdda/reading.h"
#include "encoder/cdda/rip_log.h"
#include "encoder/cdda/track_list.h"
#include "encoder/job/job_request.h"

namespace orvane::cdda {

// The reading choices of a request's hand-over.
ReadSettings ReadSettingsOf(const encoder::CdHandOver& cd);

// The disc as the drive of the session tells it: its DiscInfo when the drive gives one (the
// drive of letter D: + selected drive), else what the table of contents gives.
cdrom::DiscInfo SessionDiscInfo(const CdSession& session);

class RipRecorder {
public:
    RipRecorder(const encoder::JobRequest& request, const CdSession& session, std::string folder);

    SampleReader& Reader() { return reader_; }
    bool TestAndCopy() const { return reader_.Settings().mode == ReadMode::TestAndCopy; }

    // Around one track's read (zero-based index into the session's tracks).
    void BeginTrack(int track);
    void Tested(const std::uint8_t* data, std::size_t size);
    void Written(const std::uint8_t* data, std::size_t size);
    // file: the name the track's file is to get; read: false when it could not be read.
    // track: the track, should it have failed before its read began.
    void EndTrack(const std::string& file, bool read, int track = -1);
    // The file of a track (its number on the disc, 0 for the leading gap) once its name is
    // settled; may come from another thread, before Finish.
    void Settled(int number, const std::string& file);

    // The pregap of the disc's first audio track, where audio may hide before its INDEX 01;
    // empty when it has none. track receives the number of that audio track.
    FrameRange LeadingGap(int* track = nullptr) const;
    // Around the leading gap's read, as BeginTrack and EndTrack around a track's. The gap is
    // silent when it was read, every sample written was zero and no sector was in doubt.
    void BeginLeadingGap();
    void EndLeadingGap(const std::string& file, bool read);
    bool LeadingGapSilent() const;

    // The lookup (unless switched off), the verdicts, the log and cue sheet in the folder
    // (base name: the disc's artist and title, else "Rip"). lines receives what the final
    // message adds; logError why the log could not be written.
    const RipReport& Finish(const std::function<bool()>& cancelled, std::vector<std::string>& lines,
                            std::string& logError);
    const RipReport& Report() const { return report_; }
    // The cover file beside the tracks and what became of it, for the log (before Finish).
    void SetCoverFile(std::string file, std::string note) {
        report_.coverFile = std::move(file);
        report_.coverFileNote = std::move(note);
    }
    // The base name of the log and cue sheet (and of an image): "Artist - Album", else "Rip";
    // " CD n" after it for disc n of several.
    std::string Stem() const;

    // A rip into several formats: Finish writes one log and cue sheet into each format's
    // folder instead of the job's, each naming that format's files; the report then names the
    // first format's. planned: the name EndTrack or EndLeadingGap was given; file: the name
    // the format's file took (may come from another thread, before Finish).
    struct FormatLog {
        std::string folder, extension;
    };
    void SetFormatLogs(std::vector<FormatLog> logs);
    void SettledIn(std::size_t format, const std::string& planned, const std::string& file);
    // The track (its number on the disc) holds this many frames of its own pregap before its
    // INDEX 01 (the pregaps' choice "own"); after its EndTrack.
    void HeldPregap(int number, std::uint32_t frames);
    // A rip into one image: Finish writes this cue sheet in place of the tracks' and ends the
    // log with these lines.
    void SetImage(std::string cue, std::vector<std::string> notes);
    // Every checked audio track read and, in secure and test-and-copy modes, its reads agreed.
    bool Complete() const;

private:
    encoder::JobRequest request_;
    CdSession session_;
    std::string folder_;
    SampleReader reader_;
    RipReport report_;
    mutable std::mutex
        mutex_;  // report_.tracks: tracks end on the grab thread, settle on encoders'
    int track_ = -1;
    bool inGap_ = false, gapSound_ = false;  // reading the leading gap; a sample not zero
    std::unique_ptr<TrackChecksummer> sums_, testSums_;
    std::unique_ptr<CtdbRecorder> ctdb_;  // when the CUETools database is asked
    std::vector<FormatLog> formatLogs_;
    std::vector<std::map<std::string, std::string>> formatFiles_;  // planned -> taken
    std::string StemLocked() const;
    // The report as format k's log tells it.
    RipReport ReportOfFormat(std::size_t k) const;
};

// Receives the report of a CD job's verified rip at its end, and whether the rip is complete
// (RipRecorder::Complete): orvane-cdda rip writes it out, Plimo's desktop notice takes its line.
using RipReportSink = std::function<void(const RipReport& report, bool complete)>;

}  // namespace orvane::cdda
