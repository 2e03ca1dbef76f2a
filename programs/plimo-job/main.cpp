// plimo-job: runs one encoder front-end job without windows, as the wizard would start it.
//   plimo-job [options] INPUT OUTPUT
//     --decode            decode MP3 to WAVE (default: encode WAVE to MP3)
//     --batch             INPUT and OUTPUT are folders
//     --layer 1|2|3       MPEG layer (default 3)
//     --mode 0..3         Stereo, Dual Channel, Joint Stereo, Mono (default 0)
//     --bitrate KBPS      one of the wizard's bitrates (default 320)
//     --hifi              HI-FI quality instead of High Speed
//     --title T --artist A --album B --year Y --comment C --genre N
//                         an ID3 tag appended to a single MP3 output
//     --jobs N            with --batch, N files at once (default 1)
//     --album-artist A --track N[/M] --disc N[/M] --genre-text G
//                         fields only the ID3v2 tag carries
//     --no-id3v2          no ID3v2 tag before the audio (the ID3v1 tag stays)
//     --cover FILE        (every format it tags) a JPEG or PNG image as the tag's front
//                         picture; an image that is refused is reported and the file goes
//                         without
//     --stats             print wall time and CPU times (own and children's) in milliseconds
//     --paced             (every job) keep the processing window's fixed pauses, which a run
//                         without a window otherwise leaves out
//   plimo-job --wma [--batch] [--profile N] [--title T] [--author A] [--copyright C]
//             [--rating R] [--description D] [--stats] INPUT OUTPUT
//                         encode WAVE to WMA with the profile of collection index N (default:
//                         the last one the WMA settings page offers) and the five texts of a
//                         single file
//   plimo-job --wma --list-profiles
//                         the profiles the WMA settings page offers, one a line: index, name
//   plimo-job --flac [--level N] [--verify] [--replaygain] [--batch] [TAG OPTIONS] [--track N]
//             INPUT OUTPUT
//                         encode WAVE to FLAC at compression level N (0..8, default 5)
//   plimo-job --opus [--bitrate K] [--replaygain] [--batch] [TAG OPTIONS] [--track N]
//             INPUT OUTPUT
//                         encode WAVE to Ogg Opus at K kbit/s (32..512, default 160)
//   --replaygain          (every encoding job) each file's loudness and a batch's as ReplayGain
//                         2.0 values: ID3v2 TXXX frames in MP3, attributes in WMA, Vorbis
//                         comments in FLAC, R128 gains in Opus
// The WMA encoder components are installed first when they are missing or offer no profile;
// with a restart pending the run says what waits for it and fails (nobody agrees to a restart).
// Settings are neither read from nor written to the registry. Exit status 0 when the job
// succeeded.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/tag_fields.h"
#include "encoder/app/encoder_app.h"
#include "encoder/app/headless.h"
#include "encoder/app/profile_settings.h"
#include "encoder/app/wizard.h"
#include "encoder/formats/flac_job.h"
#include "encoder/formats/opus_job.h"
#include "encoder/job/job_kinds.h"
#include "encoder/mp3/mp3_jobs.h"
#include "encoder/tags/cover_image.h"
#include "encoder/wma/install.h"
#include "encoder/wma/settings_page.h"
#include "encoder/wma/wma_job.h"
#include "platform/base/command_line.h"
#include "platform/fs/fs.h"
#include "platform/process/process.h"
#include "platform/shell/sysinfo.h"
#include "programs/plimo-job/library_command.h"

namespace {

double CpuMs(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

constexpr const char* kHelp =
    "Usage: plimo-job [MP3 OPTION]... INPUT OUTPUT\n"
    "  or:  plimo-job --wma [WMA OPTION]... INPUT OUTPUT\n"
    "  or:  plimo-job --wma --list-profiles\n"
    "  or:  plimo-job --flac [FLAC OPTION]... INPUT OUTPUT\n"
    "  or:  plimo-job --opus [OPUS OPTION]... INPUT OUTPUT\n"
    "  or:  plimo-job --library [--mp3|--flac|--opus|--wma|--wav] [OPTION]... IN_FOLDER "
    "OUT_FOLDER\n"
    "\n"
    "Runs one encoder front-end job without windows, as the wizard would start it: encodes a\n"
    "WAVE file to MP3 or WMA, or decodes an MP3 file to WAVE. Settings are neither read from\n"
    "nor written to the registry. The exit status is 0 when the job succeeded, 1 when it\n"
    "failed and 2 for a wrong command line.\n"
    "\n"
    "MP3 options:\n"
    "  --decode         decode MP3 to WAVE (default: encode WAVE to MP3)\n"
    "  --batch          INPUT and OUTPUT are folders\n"
    "  --layer N        MPEG layer 1, 2 or 3 (default 3)\n"
    "  --mode N         0 Stereo, 1 Dual Channel, 2 Joint Stereo, 3 Mono (default 0)\n"
    "  --bitrate K      one of the wizard's bitrates in kbit/s (default 320)\n"
    "  --hifi           HI-FI quality instead of High Speed\n"
    "  --title T, --artist A, --album B, --year Y, --comment C, --genre N\n"
    "                   an ID3 tag appended to a single MP3 output (ID3v1 at its end, ID3v2\n"
    "                   with the full texts before the audio)\n"
    "  --album-artist A, --track N[/M], --disc N[/M], --genre-text G\n"
    "                   fields only the ID3v2 tag carries (--genre-text instead of the name\n"
    "                   of --genre)\n"
    "  --no-id3v2       write only the ID3v1 tag\n"
    "  --jobs N         with --batch, encode or decode N files at once (default 1)\n"
    "\n"
    "WMA options (they follow --wma):\n"
    "  --wma            encode WAVE to WMA\n"
    "  --profile N      the profile of collection index N (default: the last one the WMA\n"
    "                   settings page offers)\n"
    "  --title T, --author A, --copyright C, --rating R, --description D\n"
    "                   the five texts of a single file\n"
    "  --list-profiles  list the profiles the WMA settings page offers: index, name\n"
    "\n"
    "FLAC options (they follow --flac; --batch and the MP3 tag options apply too):\n"
    "  --flac           encode WAVE to FLAC (lossless)\n"
    "  --level N        compression level 0 (fastest) to 8 (smallest) (default 5)\n"
    "  --verify         decode each written file and compare it with its input\n"
    "  --track N        the single file's track number\n"
    "  --replaygain     measure each file's loudness and the batch's, and write them as\n"
    "                   ReplayGain 2.0 values\n"
    "\n"
    "Opus options (they follow --opus; --batch, the MP3 tag options, --track and\n"
    "--replaygain apply too; the loudness values are written as R128 gains):\n"
    "  --opus           encode WAVE to Ogg Opus, resampled to 48 kHz\n"
    "  --bitrate K      the bit rate in kbit/s, 32 to 512 (default 160)\n"
    "\n"
    "Every encoding job:\n"
    "  --cover FILE     a JPEG or PNG image as the front picture of the single file's tag\n"
    "                   (MP3: ID3v2 APIC, FLAC: PICTURE block, Opus: METADATA_BLOCK_PICTURE,\n"
    "                   WMA: WM/Picture); an image that is refused is reported and the file\n"
    "                   goes without\n"
    "  --replaygain     measure each file's loudness and a batch's, and write them as\n"
    "                   ReplayGain 2.0 values (MP3: ID3v2 TXXX frames, WMA: attributes)\n"
    "  --stats          print wall time and CPU times (own and children's) in milliseconds\n"
    "  --paced          (also --decode) keep the processing window's fixed pauses: 1.5 s as\n"
    "                   each MP3 encoder or decoder starts, 0.5 s after its input and 0.7 s\n"
    "                   (decoding 0.5 s) before the final message; the WMA job's 7 s before\n"
    "                   each file and 9.5 s at its end. Without it the job does not wait for a\n"
    "                   window it does not have\n"
    "  --help           show this help and end\n"
    "  --version        show the version and end\n"
    "\n"
    "Library conversion (--library):\n"
    "  Converts every audio file FFmpeg reads below IN_FOLDER (FLAC, ALAC, AAC, WavPack,\n"
    "  Monkey's Audio, TTA, Vorbis, Opus, MP3, WMA, AIFF, WAVE of any depth) into the same\n"
    "  relative folder below OUT_FOLDER, with the target's extension (default --mp3), the\n"
    "  tags and the front picture carried. Hidden files and linked folders are left out; a\n"
    "  file whose output is newer than it is skipped. The encoder options above apply\n"
    "  (--bitrate is the MP3 or the Opus rate). A mono source stays mono in MP3 unless --mode\n"
    "  is given. With --replaygain the files converted into one output folder are an album:\n"
    "  each also gets the album's values (a folder converted only in part is named).\n"
    "  --jobs N         convert N files at once (default: one per processor)\n"
    "  --copy-files P   also copy the other files whose names match the comma-separated\n"
    "                   patterns P ('default': cover.*,folder.*,*.cue,*.log)\n"
    "  --dry-run        list what would be converted, skipped and copied\n"
    "  --force          convert and copy also what is up to date\n"
    "  --no-split       keep disc images whole: without it, a folder's audio file that a cue\n"
    "                   sheet beside it names is split into \"NN - Title\" files, one a\n"
    "                   track, tagged from the sheet\n"
    "  The exit status is 1 when any file failed.\n"
    "\n"
    "The WMA encoder components are installed first when they are missing.\n";

int Usage() {
    std::fprintf(stderr,
                 "usage: plimo-job [--decode] [--batch] [--layer N] [--mode N] [--bitrate K] "
                 "[--hifi] [--title T] [--artist A] [--album B] [--year Y] [--comment C] "
                 "[--genre N] [--jobs N] [--replaygain] [--stats] [--paced] INPUT OUTPUT\n"
                 "       plimo-job --wma [--batch] [--profile N] [--title T] [--author A] "
                 "[--copyright C] [--rating R] [--description D] [--replaygain] [--stats] INPUT "
                 "OUTPUT\n"
                 "       plimo-job --wma --list-profiles\n"
                 "       plimo-job --flac [--level N] [--verify] [--replaygain] [--batch] "
                 "[--track N] [TAG OPTIONS] INPUT OUTPUT\n"
                 "       plimo-job --opus [--bitrate K] [--replaygain] [--batch] [--track N] "
                 "[TAG OPTIONS] INPUT OUTPUT\n");
    return 2;
}

std::size_t Characters(const std::string& text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

enum class WmaSetup { Ready, Missing, RestartFirst };
// "N" or "N/M" with positive decimal numbers, as a track or disc number and its total.
bool SplitNumberAndTotal(const std::string& text, std::string& number, std::string& total) {
    auto positive = [](const std::string& s) {
        if (s.empty() || s.size() > 4 || s.find_first_not_of("0123456789") != std::string::npos)
            return false;
        return std::atoi(s.c_str()) > 0;
    };
    std::size_t slash = text.find('/');
    number = text.substr(0, slash);
    total = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    return positive(number) && (slash == std::string::npos || positive(total));
}

// The profiles the WMA settings page offers, after installing the encoder components when
// they are missing or offer none (as the program's first start does). Nobody is asked for a
// restart: when one is pending the installation says so and RestartFirst is the answer.
WmaSetup WmaProfiles(orvane::WindowPort& window, const std::string& appFolder,
                     std::vector<std::pair<int, std::string>>& list) {
    if (orvane::wma::AudioProfiles(list) && !list.empty()) return WmaSetup::Ready;
    orvane::encoder::ProfileSettings registry;
    if (!orvane::wma::InstallWmaComponents(window, registry, appFolder,
                                           orvane::wma::RestartQuestion::Refuse))
        return WmaSetup::RestartFirst;
    return orvane::wma::AudioProfiles(list) ? WmaSetup::Ready : WmaSetup::Missing;
}

// What the command line asks for.
struct Command {
    orvane::encoder::JobRequest request;
    orvane::encoder::Id3Tag record;            // the single file's ID3v1 tag
    orvane::tags::TrackTags full;              // its full texts
    std::set<orvane::encoder::JobKind> kinds;  // chosen by their options (--wma, --decode ...)
    std::vector<std::string> paths;
    bool stats = false;
    bool tag = false;   // a tag option was given
    std::string cover;  // --cover
    bool listProfiles = false, profileGiven = false, genreGiven = false;

    bool Chose(orvane::encoder::JobKind kind) const { return kinds.count(kind) != 0; }
};

// A whole number of the command line; false for anything else.
bool Number(const std::string& v, int& out) {
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end || n < -1000000 || n > 1000000) return false;
    out = static_cast<int>(n);
    return true;
}

// Reads the arguments into c; false for a wrong command line. A kind's own options count only
// after the option that chooses the kind.
bool ParseArguments(int argc, char** argv, Command& c) {
    using namespace orvane::encoder;
    using orvane::tags::TagField;
    JobRequest& request = c.request;
    auto text = [&](TagField field, const std::string& v) { c.full.Set(field, v), c.tag = true; };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        const bool flac = c.Chose(JobKind::EncodeFlac), opus = c.Chose(JobKind::EncodeOpus);
        const bool wma = c.Chose(JobKind::EncodeWma);
        if (const std::optional<JobKind> kind = KindByOption(a)) {
            c.kinds.insert(*kind);
        } else if (flac && a == "--level") {
            if (!Number(value(), request.formats.flacLevel)) return false;
        } else if (flac && a == "--verify") {
            request.formats.verify = true;
        } else if (opus && a == "--bitrate") {
            if (!Number(value(), request.formats.opusKbps)) return false;
        } else if ((flac || opus) && a == "--track") {
            if (!Number(value(), request.formats.trackNumber)) return false;
        } else if (a == "--replaygain") {
            request.formats.replayGain = true;
        } else if (wma && a == "--list-profiles") {
            c.listProfiles = true;
        } else if (wma && a == "--profile") {
            std::string v = value();
            char* end = nullptr;
            request.wma.profileIndex = static_cast<int>(std::strtol(v.c_str(), &end, 10));
            if (v.empty() || *end) return false;
            c.profileGiven = true;
        } else if (wma && a == "--title") {
            request.wma.title = value();
        } else if (wma && a == "--author") {
            request.wma.author = value();
        } else if (wma && a == "--copyright") {
            request.wma.copyright = value();
        } else if (wma && a == "--rating") {
            request.wma.rating = value();
        } else if (wma && a == "--description") {
            request.wma.description = value();
        } else if (a == "--batch") {
            request.batch = true;
        } else if (a == "--layer") {
            request.settings.layerIndex = std::atoi(value().c_str()) - 1;
        } else if (a == "--mode") {
            request.settings.mode = std::atoi(value().c_str());
        } else if (a == "--bitrate") {
            request.settings.bitrate = value();
        } else if (a == "--hifi") {
            request.settings.quality = 0;
        } else if (a == "--jobs") {
            std::string v = value();
            char* end = nullptr;
            long jobs = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || jobs < 1 || jobs > 64) return false;
            request.parallelJobs = static_cast<int>(jobs);
        } else if (a == "--stats") {
            c.stats = true;
        } else if (a == "--paced") {
            request.paced = true;
        } else if (a == "--title") {
            std::string v = value();
            c.record.SetTitle(v), text(TagField::Title, v);
        } else if (a == "--artist") {
            std::string v = value();
            c.record.SetArtist(v), text(TagField::Artist, v);
        } else if (a == "--album") {
            std::string v = value();
            c.record.SetAlbum(v), text(TagField::Album, v);
        } else if (a == "--year") {
            std::string v = value();
            c.record.SetYear(v), text(TagField::Year, v);
        } else if (a == "--comment") {
            std::string v = value();
            c.record.SetComment(v), text(TagField::Comment, v);
        } else if (a == "--genre") {
            c.record.SetGenre(std::atoi(value().c_str())), c.tag = true, c.genreGiven = true;
        } else if (a == "--genre-text") {
            text(TagField::Genre, value());
        } else if (a == "--album-artist") {
            text(TagField::AlbumArtist, value());
        } else if (a == "--track" || a == "--disc") {
            std::string which, total;
            if (!SplitNumberAndTotal(value(), which, total)) return false;
            bool track = a == "--track";
            text(track ? TagField::TrackNumber : TagField::DiscNumber, which);
            c.full.Set(track ? TagField::TrackTotal : TagField::DiscTotal, total);
        } else if (a == "--no-id3v2") {
            request.id3v2 = false;
        } else if (a == "--cover") {
            c.cover = value();
            if (c.cover.empty()) return false;
            c.tag = true;
        } else if (a.rfind("--", 0) == 0) {
            return false;
        } else {
            c.paths.push_back(a);
        }
    }
    return true;
}

// The checks of what the command line asked for, and the job's kind: -1 when the job may be
// run, else the exit status (2 for a wrong command line).
int CheckCommand(Command& c) {
    using namespace orvane::encoder;
    JobRequest& request = c.request;
    const bool wma = c.Chose(JobKind::EncodeWma), flac = c.Chose(JobKind::EncodeFlac),
               opus = c.Chose(JobKind::EncodeOpus);
    if (c.Chose(JobKind::Decode)) request.kind = JobKind::Decode;
    if (wma) {
        // The WMA options come after --wma; the MP3 ones do not apply.
        request.kind = JobKind::EncodeWma;
        const std::string* texts[] = {&request.wma.title, &request.wma.author,
                                      &request.wma.copyright, &request.wma.rating};
        for (const std::string* t : texts)
            if (Characters(*t) > static_cast<std::size_t>(orvane::wma::kWmaTextLimit)) {
                std::fprintf(stderr, "plimo-job: a text is longer than %d characters\n",
                             orvane::wma::kWmaTextLimit);
                return 2;
            }
        if (Characters(request.wma.description) >
            static_cast<std::size_t>(orvane::wma::kWmaDescriptionLimit)) {
            std::fprintf(stderr, "plimo-job: the description is longer than %d characters\n",
                         orvane::wma::kWmaDescriptionLimit);
            return 2;
        }
        if (!c.listProfiles && c.paths.size() != 2) return Usage();
    }
    if (flac || opus) {
        using namespace orvane::formats;
        request.kind = flac ? JobKind::EncodeFlac : JobKind::EncodeOpus;
        const FormatChoice& f = request.formats;
        if (wma || (flac && opus) || c.paths.size() != 2 || f.flacLevel < kFlacLevelMin ||
            f.flacLevel > kFlacLevelMax || f.opusKbps < kOpusKbpsMin || f.opusKbps > kOpusKbpsMax ||
            f.trackNumber < 0)
            return Usage();
        if (f.trackNumber > 0) c.tag = true;
    }
    // A decoded WAVE file has no place for loudness values.
    if (request.formats.replayGain && request.kind == JobKind::Decode) return Usage();
    bool knownBitrate = false;
    for (const char* b : kBitrates)
        knownBitrate = knownBitrate || request.settings.bitrate == b;
    if (!wma && !flac && !opus &&
        (c.paths.size() != 2 || request.settings.layerIndex < 0 ||
         request.settings.layerIndex > 2 || request.settings.mode < 0 ||
         request.settings.mode > 3 || !knownBitrate))
        return Usage();
    // A tag's genre byte 0 is a genre of its own; one that was not asked for is none.
    if (!c.genreGiven) c.record.SetGenre(kNoGenre);
    if (!c.listProfiles) {
        request.input = c.paths[0];
        request.output = c.paths[1];
    }
    return -1;
}

// The WMA job's step before it runs: the encoder components installed where they are missing,
// the profiles listed when asked for, the profile chosen. -1 when the job may be run, else
// the exit status.
int PrepareWma(Command& c, orvane::WindowPort& window, const std::string& appFolder) {
    std::vector<std::pair<int, std::string>> profiles;
    WmaSetup setup = WmaProfiles(window, appFolder, profiles);
    if (setup == WmaSetup::RestartFirst) return 1;
    bool available = setup == WmaSetup::Ready;
    if (c.listProfiles) {
        for (const auto& [index, name] : profiles)
            std::printf("%d %s\n", index, name.c_str());
        return available ? 0 : 1;
    }
    // Without --profile: the entry the settings page selects at first, its last one.
    if (!c.profileGiven) c.request.wma.profileIndex = profiles.empty() ? -1 : profiles.back().first;
    return -1;
}

// Runs the job without a window; the exit status.
int RunJob(const Command& c, orvane::encoder::EncoderApp& app,
           orvane::encoder::MemoryWindow& window) {
    using namespace orvane::encoder;
    // Ended by a signal, the job removes the temporary file of the output it is writing (the
    // codec programs do the same for theirs); those of runs that were killed outright are
    // cleared here, once their writer is gone and they have been left alone for a while.
    orvane::fs::AtomicFile::InstallSignalCleanup(orvane::process::SignalLiveChildren);
    orvane::fs::SweepStaleTemps(c.request.batch ? c.request.output
                                                : orvane::fs::FolderOf(c.request.output));
    auto start = std::chrono::steady_clock::now();
    JobOutcome outcome = RunHeadlessJob(app, c.request, window);
    double wall =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (c.stats)
        std::printf("wall_ms=%.1f self_cpu_ms=%.1f child_cpu_ms=%.1f\n", wall, CpuMs(RUSAGE_SELF),
                    CpuMs(RUSAGE_CHILDREN));
    return outcome.result == JobResult::Succeeded ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "plimo-job", kHelp); answered >= 0)
        return answered;
    if (orvane::plimo_job::AsksForLibrary(argc, argv))
        return orvane::plimo_job::RunLibraryCommand(argc, argv);
    using namespace orvane::encoder;
    Command c;
    // Without a window nobody sees its pauses, unless --paced asks for them.
    c.request.paced = false;
    c.record.SetMarker();
    if (!ParseArguments(argc, argv, c)) return Usage();
    if (int status = CheckCommand(c); status >= 0) return status;

    MemorySettings settings;
    EncoderApp& app = TheApp();
    app.settings = &settings;
    app.splashPending = 0;
    FillGenreList(app.genreList);
    app.appFolder = orvane::shell::ModuleFolder();
    JobRequest& request = c.request;
    request.appFolder = app.appFolder;
    if (!c.cover.empty()) {
        auto picture = std::make_shared<orvane::tags::Picture>();
        std::string why;
        if (orvane::tags::ReadImageFile(c.cover, *picture, why))
            c.full.SetFrontPicture(std::move(picture));
        else
            std::fprintf(stderr, "plimo-job: no front picture: %s\n", why.c_str());
    }
    if (c.tag) {
        request.tags[1] = c.record;
        request.fullTags.resize(2);
        request.fullTags[1] = c.full;
        request.singleFileTag = true;
    }
    MemoryWindow window(&std::cout);
    orvane::encoder::RegisterMp3Jobs();
    if (c.Chose(JobKind::EncodeFlac)) orvane::formats::RegisterFlacJob();
    if (c.Chose(JobKind::EncodeOpus)) orvane::formats::RegisterOpusJob();
    if (c.Chose(JobKind::EncodeWma)) {
        orvane::wma::RegisterWmaJob();
        if (int status = PrepareWma(c, window, app.appFolder); status >= 0) return status;
    }
    return RunJob(c, app, window);
}
