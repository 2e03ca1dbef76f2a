// orvane-cdda: the CD drives, their tables of contents and grabbing of single tracks from the
// command line, over the same transport and grabbing code as Plimo's grabber.
//
//   orvane-cdda drives
//   orvane-cdda toc DRIVE [--json]
//   orvane-cdda grab [--verify] [--sectors N] [--deemphasis] [--speed X] DRIVE TRACK OUTPUT.wav
//
// DRIVE is a drive letter ("D:"), TRACK the disc's track number (1 for the first track). The
// exit status is 0 only when everything asked for was read; otherwise the reason goes to
// standard error.

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "encoder/app/profile_settings.h"
#include "encoder/cdda/accuraterip.h"
#include "encoder/cdda/cd_drive.h"
#include "encoder/cdda/disc_set.h"
#include "encoder/cdda/grab.h"
#include "encoder/cdda/multi_format_job.h"
#include "encoder/cdda/reading.h"
#include "encoder/cdda/rip_settings.h"
#include "encoder/cdda/track_list.h"
#include "encoder/coverart/cover_archive.h"
#include "encoder/job/job_kinds.h"
#include "platform/base/command_line.h"
#include "platform/cdrom/disc_info.h"
#include "platform/cdrom/drives.h"
#include "platform/fs/fs.h"
#include "platform/process/process.h"
#include "platform/shell/sysinfo.h"
#include "programs/orvane-cdda/offset_command.h"
#include "programs/orvane-cdda/rip_command.h"
#include "programs/orvane-cdda/toc_json.h"
#include "programs/orvane-cdda/verify_command.h"

namespace {

using namespace orvane::cdda;

orvane::cdda::GrabProgress* gProgress = nullptr;

void OnSignal(int) {
    if (gProgress) gProgress->OnCancel();
}

constexpr const char* kHelp =
    "Usage: orvane-cdda drives\n"
    "  or:  orvane-cdda toc DRIVE [--json]\n"
    "  or:  orvane-cdda grab [--verify] [--sectors N] [--deemphasis] [--speed X]\n"
    "                        [--offset N] [--secure] DRIVE TRACK OUTPUT.wav\n"
    "  or:  orvane-cdda rip DRIVE OUTDIR [--format wav|mp3|wma|flac|opus] [--offset N]\n"
    "                       [--secure|--test-and-copy]\n"
    "                       [--accuraterip-server URL|--no-accuraterip] [--cddb] [--json]\n"
    "                       [--musicbrainz [--musicbrainz-server URL] [--release ID]]\n"
    "                       [--cover auto|FILE|none] [--cover-size 250|500|1200|original]\n"
    "                       [--coverart-server URL] [--cover-mode embed+file|embed|file|none]\n"
    "                       [--ctdb|--ctdb-server URL|--no-ctdb] [--repair [--no-keep]]\n"
    "                       [--ctdb-names [--ctdb-metadata fast|default|extensive]]\n"
    "                       [--image] [--pregaps previous|own|drop] [--disc auto|N[/M]]\n"
    "                       [--eject]\n"
    "  or:  orvane-cdda offset [--accuraterip-server URL] [--store] DRIVE\n"
    "  or:  orvane-cdda verify [--accuraterip-server URL|--no-accuraterip]\n"
    "                          [--ctdb-server URL|--no-ctdb] [--repair OUTDIR] [--json] PATH\n"
    "  or:  orvane-cdda verify --recursive [--accuraterip-server URL|--no-accuraterip]\n"
    "                          [--ctdb-server URL|--no-ctdb] [--json] FOLDER\n"
    "\n"
    "The CD drives, their tables of contents and single tracks grabbed to WAVE files, over the\n"
    "same transport and grabbing code as Plimo's grabber. DRIVE is a drive letter such as D:,\n"
    "TRACK the disc's track number (1 for the first track; 0 for audio hidden before track 1).\n"
    "\n"
    "  drives        list the drives: letter, vendor, product, cue sheet or device\n"
    "  toc           list the tracks: number, start, frames, length, type\n"
    "  --json        toc as one JSON object: disc ids, sessions, catalog number, CD-Text,\n"
    "                and per track pregap, ISRC and flags\n"
    "  grab          write one track to a WAVE file; every request is read up to six times\n"
    "  --verify      read the track twice and print the CRC32 of its samples\n"
    "  --sectors N   frames per request (1 to 256)\n"
    "  --speed X     read at X times the speed of playback (1 to 99), or \"max\"\n"
    "  --offset N    the drive's read offset in samples (-2940 to 2940), corrected on every\n"
    "                read; without it the offset stored for the drive's model, else 0\n"
    "  --secure      read every sector until two reads agree; sectors that never agree or\n"
    "                never read (silence in the file) are listed and the exit status is 1\n"
    "                (the file is kept)\n"
    "  --deemphasis  undo the pre-emphasis of a track recorded with it (the CRC32 stays that\n"
    "                of the samples read)\n"
    "  rip           the disc's audio tracks into OUTDIR through Plimo's CD job (MP3 at\n"
    "                192 kbit/s unless --format says otherwise), then a log and a cue sheet\n"
    "                of the rip beside them; each track's checksums are compared with the\n"
    "                AccurateRip database. Exit status 0 only when every audio track was\n"
    "                read (and, reading securely or with a test, its reads agreed)\n"
    "  --format LIST several formats from one read (\"flac,opus,mp3\"): each in a folder of\n"
    "                its own (FLAC/, Opus/, MP3/, WMA/, WAV/; Preferences\\MultiFormatFolders,\n"
    "                %F the format) with its own log and cue sheet\n"
    "  --image       the disc as one file (--format wav or flac) named like the log, with a\n"
    "                cue sheet beside it (and inside a FLAC file); data tracks are left out\n"
    "  --pregaps previous|own|drop  each track's pregap ends the track before (the default,\n"
    "                also Rip\\Pregaps), starts its own track or is left out; the checksums\n"
    "                stay those of the INDEX 01 spans\n"
    "  --disc auto|N[/M]  disc N (of M) of an album: its number in the tags and in %D of\n"
    "                the file names, \"CD N\" in the names of the log and cue sheet; auto\n"
    "                takes it from a title ending \"(Disc N)\" or \"CD N\"; MusicBrainz names\n"
    "                tell it unasked for a release of several media\n"
    "  --eject       open the tray once the rip is complete (also Rip\\Eject)\n"
    "  --test-and-copy  read each track twice, a test and the copy, and compare their CRC32\n"
    "  --accuraterip-server URL  the database to ask (http://www.accuraterip.com)\n"
    "  --no-accuraterip  do not ask the database\n"
    "  --cddb        name and tag the tracks from the CD database of Plimo's settings\n"
    "  --json        the rip's outcome as one JSON object on standard output\n"
    "  --musicbrainz  name and tag the tracks from MusicBrainz (the first release of the\n"
    "                disc, or the one --release ID names)\n"
    "  --musicbrainz-server URL  the service to ask (https://musicbrainz.org)\n"
    "  --cover auto|FILE|none  the front cover: with --musicbrainz the release's from the\n"
    "                cover archive (auto), a JPEG or PNG file, or none\n"
    "  --cover-size 250|500|1200|original  the archive's image size (default 1200)\n"
    "  --coverart-server URL  the archive to ask (https://coverartarchive.org)\n"
    "  --cover-mode embed+file|embed|file|none  the cover in every track's tag and as\n"
    "                cover.jpg or cover.png beside them (default: Rip\\CoverArt, else\n"
    "                embed+file); a cover that cannot be had never fails the rip\n"
    "  --ctdb        also check the rip against the CUETools database (its CRCs, and its\n"
    "                parity, which finds and mends damaged samples); on by default when the\n"
    "                profile's Rip\\CTDB is 1. The database is only read, never written\n"
    "  --ctdb-server URL  the CUETools database to ask (Rip\\CTDBServer, else\n"
    "                http://db.cuetools.net)\n"
    "  --no-ctdb     do not ask the CUETools database\n"
    "  --ctdb-names  name and tag the tracks from the CUETools database (its first release,\n"
    "                or the one --release ID names); checking the rip too, the disc is\n"
    "                looked up once\n"
    "  --ctdb-metadata fast|default|extensive  the names asked with --ctdb-names: the\n"
    "                database's own (fast) or also those of the databases it gathers\n"
    "                (default, extensive)\n"
    "  --repair      mend WAVE track files that differ from the database when its parity\n"
    "                reaches the damage; the damaged files are kept as *.damaged\n"
    "  --no-keep     with --repair, keep no *.damaged files\n"
    "  offset        find the drive's read offset from a disc in the AccurateRip database:\n"
    "                the offsets whose checksums match, best first\n"
    "  --accuraterip-server URL  the database's address (default http://www.accuraterip.com)\n"
    "  --store       keep the best offset for the drive's model\n"
    "  verify        check a rip on disk (a folder with its cue sheet, or the cue sheet; one\n"
    "                file per track or one image, WAVE, FLAC or raw samples) against AccurateRip\n"
    "                and the CUETools database: a table per track; exit status 0 only when\n"
    "                every audio track is accurately ripped in one of them; AccurateRip is\n"
    "                also asked at the offsets of the pressings the CUETools database finds\n"
    "  --repair OUTDIR  write the rip, mended from the CUETools database, into OUTDIR (every\n"
    "                file under its own name, FLAC files encoded anew with all their tags,\n"
    "                and the cue sheet); the rip is not touched\n"
    "  --recursive   verify every rip under FOLDER (each folder holding a cue sheet is one\n"
    "                album; linked folders are not followed): a line per album with its\n"
    "                verdict (verified, differs, not found, failed) and a summary, with\n"
    "                --json a list; exit status 0 only when every album verified\n"
    "  --help        show this help and end\n"
    "  --version     show the version and end\n"
    "\n"
    "The exit status is 0 only when everything asked for was read; otherwise the reason goes to\n"
    "standard error and no file is written, but for the file of a secure grab with suspicious\n"
    "sectors.\n";

int Usage() {
    std::fprintf(
        stderr,
        "usage: orvane-cdda drives\n"
        "       orvane-cdda toc DRIVE [--json]\n"
        "       orvane-cdda grab [--verify] [--sectors N] [--deemphasis] [--speed X] [--offset N] "
        "[--secure] DRIVE TRACK OUTPUT.wav\n"
        "       orvane-cdda rip DRIVE OUTDIR [--format wav|mp3|wma|flac|opus] [--offset N] "
        "[--secure|--test-and-copy] [--accuraterip-server URL|--no-accuraterip] [--cddb] [--json] "
        "[--musicbrainz [--musicbrainz-server URL] [--release ID]] [--cover auto|FILE|none] "
        "[--cover-size SIZE] [--coverart-server URL] [--cover-mode MODE]\n"
        "[--ctdb|--ctdb-server URL|--no-ctdb] [--repair [--no-keep]]\n"
        "[--ctdb-names [--ctdb-metadata LEVEL]] [--image] [--pregaps previous|own|drop] [--disc "
        "auto|N[/M]] [--eject]\n"
        "       orvane-cdda offset [--accuraterip-server URL] [--store] DRIVE\n"
        "       orvane-cdda verify [--accuraterip-server URL|--no-accuraterip] "
        "[--ctdb-server URL|--no-ctdb] [--repair OUTDIR] [--json] PATH\n"
        "       orvane-cdda verify --recursive [--accuraterip-server URL|--no-accuraterip] "
        "[--ctdb-server URL|--no-ctdb] [--json] FOLDER\n"
        "DRIVE is a drive letter such as D:, TRACK the disc's track number (1 for the "
        "first track).\n");
    return 2;
}

// The drive of a letter as the transport numbers it: drives are discovered in letter order.
bool OpenDrive(const std::string& text, CdSession& session, std::string& error) {
    std::string letter = text;
    if (letter.size() == 2 && letter[1] == ':') letter.pop_back();
    if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0]))) {
        error = "\"" + text + "\" is no drive letter (D: for the first CD drive)";
        return false;
    }
    int index = orvane::cdrom::DriveIndex(letter[0]);
    int count = DiscoverDrives(session.drives, orvane::shell::ModuleFolder());
    if (count < 0) {
        std::string why = NoDriveReason();
        for (std::size_t nl; (nl = why.find('\n')) != std::string::npos;)
            why.replace(nl, 1, "; ");
        error = "no CD drive found" + (why.empty() ? std::string() : " (" + why + ")");
        return false;
    }
    if (index < 0 || index >= count) {
        error = "there is no CD drive " +
                std::string(1, orvane::cdrom::DriveLetter(index < 0 ? 0 : index)) + ": (" +
                std::to_string(count) + " drive(s) from D: on)";
        return false;
    }
    session.driveCount = count;
    session.selectedDrive = index;
    return true;
}

bool ReadDisc(CdSession& session, std::string& error) {
    std::uint8_t asc = 0;
    AspiResult r = session.Drive().ReadToc(session.toc, &asc);
    if (r != 1) {
        int key = (r >> 16) & 0x0F;
        // NOT READY with 04h "logical unit not ready": the drive is there and held, not empty.
        if (key == 2 && asc == 0x04) {
            error = "the drive is busy (another program is using it)";
        } else if (key == 2) {
            error = "no disc in the drive (or the tray is open)";
        } else {
            error = "the table of contents cannot be read (status " + std::to_string(r & 0xFF) +
                    ", sense key " + std::to_string(key) + ")";
        }
        return false;
    }
    ComputeTrackArrays(session);
    if (session.TrackCount() == 0) {
        error = "the disc has no tracks";
        return false;
    }
    return true;
}

// The audio before track 1 when track 1 is an audio track that starts a second or more into
// the disc, as on a disc with audio hidden in its pregap; empty otherwise (a few frames of
// pregap are a matter of mastering, not a track).
FrameRange HiddenTrack(const CdSession& session) {
    FrameRange r;
    if (session.TrackCount() > 0 && session.Track(0).number == 1 && session.Track(0).audio &&
        session.Track(0).start >= 75) {
        r.end = session.Track(0).start;
    }
    return r;
}

int Drives() {
    // The discovery writes its problems to standard error itself.
    auto drives = orvane::cdrom::Drives();
    if (drives.empty()) {
        std::fprintf(stderr, "orvane-cdda: no CD drive found\n");
        return 1;
    }
    for (const auto& entry : drives) {
        orvane::cdrom::InquiryData inq;
        entry.drive->Inquiry(inq);
        std::printf("%c:  %s  %s  %s\n", entry.letter, inq.vendor.c_str(), inq.product.c_str(),
                    entry.drive->Name().c_str());
    }
    return 0;
}

int Toc(const std::string& drive, bool json) {
    CdSession session;
    std::string error;
    if (!OpenDrive(drive, session, error) || !ReadDisc(session, error)) {
        std::fprintf(stderr, "orvane-cdda: %s\n", error.c_str());
        return 1;
    }
    if (json) {
        // The transport answers the track list; the rest of what the disc holds comes from the
        // drive itself.
        orvane::cdrom::DiscInfo disc;
        auto cd = orvane::cdrom::DriveAt(session.selectedDrive);
        orvane::cdrom::DriveResult r =
            cd ? cd->ReadDiscInfo(disc) : orvane::cdrom::DriveResult::Failure("no such drive");
        if (!r.ok) {
            std::fprintf(stderr, "orvane-cdda: the disc cannot be read: %s\n",
                         r.Describe().c_str());
            return 1;
        }
        std::fputs(TocJson(disc).c_str(), stdout);
        return 0;
    }
    if (FrameRange h = HiddenTrack(session); h.Frames() > 0) {
        std::printf("%2d  %6u  %6u  %02u:%02u.%02u  %s\n", 0, h.start, h.Frames(),
                    h.Frames() / 75 / 60, h.Frames() / 75 % 60, h.Frames() % 75,
                    "Hidden audio before track 1");
    }
    for (int i = 0; i < session.TrackCount(); ++i) {
        FrameRange r = TrackRange(session, i, false, 0);
        // The track's flags follow its type.
        const orvane::cdrom::TrackInfo& t = session.Track(i);
        const std::string flags = TrackFlagsText(t.Control());
        std::printf("%2d  %6u  %6u  %02u:%02u.%02u  %s%s%s\n", t.number, r.start, r.Frames(),
                    r.Frames() / 75 / 60, r.Frames() / 75 % 60, r.Frames() % 75,
                    t.audio ? "Audio" : "Data", flags.empty() ? "" : "  ", flags.c_str());
    }
    std::printf("lead-out  %6u\n", session.leadOut);
    return 0;
}

// One read of a track: the CRC32 of its samples as read, and the file (when given) of the
// samples as they go on.
class TrackRead final : public ReadObserver {
public:
    TrackRead(GrabProgress& progress, WaveFileWriter* file, std::string& error)
        : progress_(progress), file_(file), error_(error) {}
    bool StopRequested() override { return progress_.CancelPending(); }
    bool Samples(std::uint32_t, std::uint32_t count, const std::uint8_t* asRead,
                 const std::uint8_t* samples) override {
        const std::size_t bytes = std::size_t{count} * kFrameBytes;
        sums_.Update(asRead, bytes);
        return !file_ || file_->Write(samples, bytes, error_);
    }
    bool ChunkDone(std::uint32_t, std::uint32_t, AspiResult) override {
        return progress_.CheckCancel();
    }
    std::uint32_t Crc() const { return sums_.Finish().crc32; }

private:
    GrabProgress& progress_;
    WaveFileWriter* file_;
    std::string& error_;
    TrackChecksummer sums_{false, false, 0};
};

// Reads the track once into file (when given; de-emphasised when asked) and returns the CRC32
// of its samples as read.
ReadOutcome ReadOnce(SampleReader& reader, FrameRange range, int sectors, WaveFileWriter* file,
                     bool deemphasis, bool again, std::uint32_t& crc, std::string& error) {
    GrabProgress progress;
    gProgress = &progress;
    TrackRead observer(progress, file, error);
    SpanRequest span;
    span.first = range.start;
    span.end = range.end;
    span.chunk = static_cast<std::uint32_t>(sectors);
    // A verifying read must reach the disc, not the drive's cache.
    span.reread = again;
    span.deemphasis = deemphasis;
    const SpanResult r = reader.ReadSpan(span, observer);
    gProgress = nullptr;
    crc = observer.Crc();
    switch (r.outcome) {
        case SpanOutcome::Done:
            return ReadOutcome::Done;
        case SpanOutcome::Cancelled:
            error = "interrupted";
            return ReadOutcome::Cancelled;
        case SpanOutcome::Stopped:
            return ReadOutcome::WriteFailed;
        case SpanOutcome::Failed:
            break;
    }
    error = "frames " + std::to_string(r.first) + " to " + std::to_string(r.first + r.count - 1) +
            " cannot be read (sense key " + std::to_string((r.result >> 16) & 0x0F) + ")";
    return ReadOutcome::Failed;
}

int Grab(const std::vector<std::string>& args) {
    bool verify = false;
    bool deemphasize = false;
    bool secure = false;
    bool offsetGiven = false;
    int offset = 0;
    int speed = 0;  // 0: leave the drive's speed as it is
    int sectors = 0;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--verify") {
            verify = true;
        } else if (args[i] == "--deemphasis") {
            deemphasize = true;
        } else if (args[i] == "--secure") {
            secure = true;
        } else if (args[i] == "--offset" && i + 1 < args.size()) {
            if (!ParseReadOffset(args[++i], offset)) {
                std::fprintf(stderr, "orvane-cdda: --offset takes -%d to %d samples\n",
                             kMaxReadOffset, kMaxReadOffset);
                return 2;
            }
            offsetGiven = true;
        } else if (args[i] == "--speed" && i + 1 < args.size()) {
            const std::string x = args[++i];
            speed = x == "max" ? orvane::cdrom::DiscDrive::kMaxSpeed : std::atoi(x.c_str());
            if (speed != orvane::cdrom::DiscDrive::kMaxSpeed && (speed < 1 || speed > 99)) {
                std::fprintf(stderr, "orvane-cdda: --speed takes 1 to 99 or max\n");
                return 2;
            }
        } else if (args[i] == "--sectors" && i + 1 < args.size()) {
            sectors = std::atoi(args[++i].c_str());
            if (sectors < 1 || sectors > kReadBufferFrames) {
                std::fprintf(stderr, "orvane-cdda: --sectors takes 1 to %d\n", kReadBufferFrames);
                return 2;
            }
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.size() != 3) return Usage();
    CdSession session;
    std::string error;
    if (!OpenDrive(rest[0], session, error) || !ReadDisc(session, error)) {
        std::fprintf(stderr, "orvane-cdda: %s\n", error.c_str());
        return 1;
    }
    char* end = nullptr;
    long number = std::strtol(rest[1].c_str(), &end, 10);
    int track = -1;
    for (int i = 0; end && *end == '\0' && i < session.TrackCount(); ++i)
        if (session.Track(i).number == number) track = i;
    // Track 0: audio hidden before track 1 (its pregap on a disc whose track 1 starts late).
    const FrameRange hidden = HiddenTrack(session);
    const bool hiddenTrack = end && *end == '\0' && number == 0 && hidden.Frames() > 0;
    if (hiddenTrack) track = 0;
    if (track < 0) {
        std::fprintf(stderr, "orvane-cdda: the disc has no track \"%s\" (tracks %d to %d)\n",
                     rest[1].c_str(), session.Track(0).number,
                     session.Track(session.TrackCount() - 1).number);
        return 1;
    }
    if (sectors == 0) sectors = BoundedSectorsPerRead(session.Drive().sectorsPerRead);
    if (speed) {
        // 1x is 176.4 kB/s; a drive that cannot set its speed reads at its own.
        auto cd = orvane::cdrom::DriveAt(session.selectedDrive);
        const auto kbs = static_cast<std::uint16_t>(
            speed == orvane::cdrom::DiscDrive::kMaxSpeed ? speed : (speed * 1764 + 5) / 10);
        orvane::cdrom::DriveResult r =
            cd ? cd->SetSpeed(kbs) : orvane::cdrom::DriveResult::Failure("no such drive");
        if (!r.ok) {
            std::fprintf(stderr, "orvane-cdda: the read speed stays as it was: %s\n",
                         r.Describe().c_str());
        }
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    WaveFileWriter file;
    if (!file.Create(rest[2], error)) {
        std::fprintf(stderr, "orvane-cdda: cannot create \"%s\": %s\n", rest[2].c_str(),
                     error.c_str());
        return 1;
    }
    // Only a track recorded with pre-emphasis (its control bit set, audio) is filtered.
    const bool preemphasis = session.Track(track).preemphasis;
    const FrameRange range = hiddenTrack ? hidden : TrackRange(session, track, false, 0);
    std::uint32_t crc = 0;
    // The drive model's stored offset unless one is given; secure mode when asked.
    orvane::encoder::ProfileSettings profile;
    ReadSettings settings = LoadRipSettings(profile, session.Drive()).read;
    settings.mode = secure ? ReadMode::Secure : ReadMode::Burst;
    if (offsetGiven) settings.offset = offset;
    SampleReader reader(session.Drive(), session.leadOut, settings);
    if (ReadOnce(reader, range, sectors, &file, deemphasize && preemphasis, false, crc, error) !=
        ReadOutcome::Done) {
        file.Discard();
        std::fprintf(stderr, "orvane-cdda: track %ld: %s; nothing written\n", number,
                     error.c_str());
        return 1;
    }
    if (verify) {
        std::uint32_t again = 0;
        if (ReadOnce(reader, range, sectors, nullptr, false, true, again, error) !=
            ReadOutcome::Done) {
            file.Discard();
            std::fprintf(stderr, "orvane-cdda: track %ld: verify: %s; nothing written\n", number,
                         error.c_str());
            return 1;
        }
        if (again != crc) {
            file.Discard();
            std::fprintf(stderr,
                         "orvane-cdda: track %ld: the two reads differ (CRC32 %08X and %08X); "
                         "nothing written\n",
                         number, crc, again);
            return 1;
        }
    }
    if (!file.Finish(error)) {
        std::fprintf(stderr, "orvane-cdda: cannot write \"%s\": %s\n", rest[2].c_str(),
                     error.c_str());
        return 1;
    }
    std::printf("track %ld: %u frames, CRC32 %08X%s%s\n", number, range.Frames(), crc,
                verify ? " (verified)" : "", deemphasize && preemphasis ? " (de-emphasised)" : "");
    // Sectors whose reads never agreed: the file holds the likeliest reading of them.
    for (std::uint32_t lba : reader.Suspicious()) {
        std::fprintf(
            stderr, "orvane-cdda: %s\n",
            orvane::rip::SuspiciousSector(static_cast<int>(number), range.start, lba, false)
                .c_str());
    }
    return reader.Suspicious().empty() ? 0 : 1;
}

int Rip(const std::vector<std::string>& args) {
    RipOptions options;
    std::vector<std::string> rest;
    bool accurateRipChoice = false, ctdbChoice = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool more = i + 1 < args.size();
        if (a == "--format" && more) {
            options.format = args[++i];
            std::vector<orvane::encoder::JobKind> kinds;
            std::string error;
            if (!ParseFormatList(options.format, kinds, error)) {
                std::fprintf(stderr, "orvane-cdda: --format: %s\n", error.c_str());
                return Usage();
            }
        } else if (a == "--offset" && more) {
            if (!ParseReadOffset(args[++i], options.offset)) {
                std::fprintf(stderr, "orvane-cdda: --offset takes -%d to %d samples\n",
                             kMaxReadOffset, kMaxReadOffset);
                return 2;
            }
            options.offsetGiven = true;
        } else if ((a == "--secure" || a == "--test-and-copy") && options.mode < 0) {
            options.mode =
                static_cast<int>(a == "--secure" ? ReadMode::Secure : ReadMode::TestAndCopy);
        } else if (a == "--accuraterip-server" && more && !accurateRipChoice) {
            options.accurateRipServer = args[++i];
            accurateRipChoice = true;
        } else if (a == "--no-accuraterip" && !accurateRipChoice) {
            options.noAccurateRip = true;
            accurateRipChoice = true;
        } else if (a == "--ctdb" && !ctdbChoice) {
            options.ctdb = ctdbChoice = true;
        } else if (a == "--ctdb-server" && more && !ctdbChoice) {
            options.ctdbServer = args[++i];
            ctdbChoice = true;
        } else if (a == "--no-ctdb" && !ctdbChoice) {
            options.noCtdb = ctdbChoice = true;
        } else if (a == "--repair") {
            options.repair = true;
        } else if (a == "--no-keep") {
            options.noKeep = true;
        } else if (a == "--cddb" && !options.musicBrainz && !options.ctdbNames) {
            options.cddb = true;
        } else if (a == "--musicbrainz" && !options.cddb && !options.ctdbNames) {
            options.musicBrainz = true;
        } else if (a == "--ctdb-names" && !options.cddb && !options.musicBrainz) {
            options.ctdbNames = true;
        } else if (a == "--ctdb-metadata" && more) {
            if (!orvane::ctdb::ParseCtdbMetadata(args[++i], options.ctdbMetadata) ||
                options.ctdbMetadata == orvane::ctdb::CtdbMetadata::None)
                return Usage();
        } else if (a == "--musicbrainz-server" && more) {
            options.musicBrainzServer = args[++i];
        } else if (a == "--release" && more) {
            options.release = args[++i];
        } else if (a == "--cover" && more) {
            options.cover = args[++i];
            options.coverGiven = true;
        } else if (a == "--cover-size" && more) {
            options.coverSize = args[++i];
            if (!orvane::coverart::IsCoverSize(options.coverSize)) return Usage();
        } else if (a == "--coverart-server" && more) {
            options.coverArtServer = args[++i];
        } else if (a == "--cover-mode" && more) {
            options.coverMode = args[++i];
            orvane::coverart::CoverMode mode;
            if (!orvane::coverart::ParseCoverMode(options.coverMode, mode)) return Usage();
        } else if (a == "--json") {
            options.json = true;
        } else if (a == "--eject") {
            options.eject = true;
        } else if (a == "--image") {
            options.image = true;
        } else if (a == "--disc" && more) {
            options.disc = args[++i];
            int number = 0, total = 0;
            if (options.disc != "auto" && !ParseDiscNumber(options.disc, number, total))
                return Usage();
        } else if (a == "--pregaps" && more) {
            options.pregaps = args[++i];
            orvane::rip::PregapChoice choice;
            if (!ParsePregapChoice(options.pregaps, choice)) return Usage();
        } else if (!a.empty() && a[0] == '-') {
            return Usage();
        } else {
            rest.push_back(a);
        }
    }
    if (rest.size() != 2 || (options.repair && options.noCtdb)) return Usage();
    options.folder = rest[1];
    CdSession session;
    std::string error;
    if (!OpenDrive(rest[0], session, error) || !ReadDisc(session, error)) {
        std::fprintf(stderr, "orvane-cdda: %s\n", error.c_str());
        return 1;
    }
    // Ended by a signal, the rip removes the files it was writing and its scratch files; its
    // codec children are told too and remove theirs.
    orvane::fs::AtomicFile::InstallSignalCleanup(orvane::process::SignalLiveChildren);
    return RunRip(session, options);
}

int Offset(const std::vector<std::string>& args) {
    OffsetCommand command;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--accuraterip-server" && i + 1 < args.size()) {
            command.server = args[++i];
        } else if (args[i] == "--store") {
            command.store = true;
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.size() != 1) return Usage();
    CdSession session;
    std::string error;
    if (!OpenDrive(rest[0], session, error) || !ReadDisc(session, error)) {
        std::fprintf(stderr, "orvane-cdda: %s\n", error.c_str());
        return 1;
    }
    orvane::cdrom::DiscInfo disc;
    auto cd = orvane::cdrom::DriveAt(session.selectedDrive);
    orvane::cdrom::DriveResult r =
        cd ? cd->ReadDiscInfo(disc) : orvane::cdrom::DriveResult::Failure("no such drive");
    if (!r.ok) {
        std::fprintf(stderr, "orvane-cdda: the disc cannot be read: %s\n", r.Describe().c_str());
        return 1;
    }
    GrabProgress progress;
    gProgress = &progress;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    command.sectorsPerRead = BoundedSectorsPerRead(session.Drive().sectorsPerRead);
    command.cancelled = [&progress, stop = false]() mutable {
        return stop = stop || progress.CheckCancel();
    };
    session.Drive().SetAudioBlockMode();
    orvane::encoder::ProfileSettings profile;
    const int status = RunOffsetCommand(session.Drive(), disc, command, profile, stdout, stderr);
    gProgress = nullptr;
    return status;
}

}  // namespace

// A rip on disk against both databases: exit status 0 only when every audio track verified.
static int Verify(const std::vector<std::string>& args) {
    orvane::encoder::ProfileSettings profile;
    orvane::cdda::VerifyCommand command;
    orvane::cdda::VerifyOptions& options = command.options;
    options.accurateRipServer = profile.GetProfileString("Rip", "AccurateRipServer", "");
    options.ctdbServer = profile.GetProfileString("Rip", "CTDBServer", "");
    bool arChoice = false, ctdbChoice = false;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool more = i + 1 < args.size();
        if (a == "--accuraterip-server" && more && !arChoice) {
            options.accurateRipServer = args[++i];
            arChoice = true;
        } else if (a == "--no-accuraterip" && !arChoice) {
            options.accurateRip = false;
            arChoice = true;
        } else if (a == "--ctdb-server" && more && !ctdbChoice) {
            options.ctdbServer = args[++i];
            ctdbChoice = true;
        } else if (a == "--no-ctdb" && !ctdbChoice) {
            options.ctdb = false;
            ctdbChoice = true;
        } else if (a == "--json") {
            command.json = true;
        } else if (a == "--recursive") {
            command.recursive = true;
        } else if (a == "--repair" && more && options.repairTo.empty()) {
            options.repairTo = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return Usage();
        } else {
            rest.push_back(a);
        }
    }
    if (rest.size() != 1 || (!options.repairTo.empty() && !options.ctdb) ||
        (command.recursive && !options.repairTo.empty()))
        return Usage();
    command.path = rest[0];
    return orvane::cdda::RunVerifyCommand(command);
}

int main(int argc, char** argv) {
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "orvane-cdda", kHelp); answered >= 0)
        return answered;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    std::string command = args[0];
    args.erase(args.begin());
    if (command == "drives" && args.empty()) return Drives();
    if (command == "toc" && args.size() == 1) return Toc(args[0], false);
    if (command == "toc" && args.size() == 2 && (args[0] == "--json" || args[1] == "--json"))
        return Toc(args[0] == "--json" ? args[1] : args[0], true);
    if (command == "grab") return Grab(args);
    if (command == "rip") return Rip(args);
    if (command == "offset") return Offset(args);
    if (command == "verify") return Verify(args);
    return Usage();
}
