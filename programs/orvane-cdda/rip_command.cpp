#include "programs/orvane-cdda/rip_command.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>

#include "encoder/app/encoder_app.h"
#include "encoder/app/headless.h"
#include "encoder/app/profile_settings.h"
#include "encoder/cdda/cd_job.h"
#include "encoder/cdda/cover_tracks.h"
#include "encoder/cdda/disc_extras.h"
#include "encoder/cdda/disc_image_job.h"
#include "encoder/cdda/disc_set.h"
#include "encoder/cdda/eject.h"
#include "encoder/cdda/multi_format_job.h"
#include "encoder/cdda/name_source.h"
#include "encoder/cdda/resource_cdda.h"
#include "encoder/cdda/rip_settings.h"
#include "encoder/cdda/verified_rip.h"
#include "encoder/coverart/cover_archive.h"
#include "encoder/formats/flac_image.h"
#include "encoder/formats/flac_job.h"
#include "encoder/formats/opus_job.h"
#include "encoder/freedb/cddb_client.h"
#include "encoder/freedb/freedb_dialogs.h"
#include "encoder/freedb/musicbrainz.h"
#include "encoder/freedb/xmcd.h"
#include "encoder/job/input_source.h"
#include "encoder/job/job_kinds.h"
#include "encoder/job/job_runner.h"
#include "encoder/mp3/child_job.h"
#include "encoder/mp3/mp3_jobs.h"
#include "encoder/tags/paths.h"
#include "encoder/wma/settings_page.h"
#include "encoder/wma/wma_job.h"
#include "platform/shell/sysinfo.h"
#include "platform/window/memory_port.h"
#include "programs/orvane-cdda/toc_json.h"

namespace orvane::cdda {

namespace {

// The CD job of a WAVE rip: each grabbed track keeps its WAVE file under its final name.
class KeepWavesJob final : public encoder::Job {
public:
    void Run(encoder::JobRunner& r) override {
        using Step = encoder::InputSource::Step;
        std::unique_ptr<encoder::InputSource> source =
            encoder::MakeInputSource(r.Request(), "*.WAV");
        encoder::JobOutcome outcome;
        for (;;) {
            encoder::InputSource::Next next = source->Take(r);
            if (next.step == Step::End) break;
            if (next.step == Step::Cancelled || r.CancelRequested()) {
                r.RequestCancel();
                r.Finish("Current Process was Canceled.", encoder::JobResult::Cancelled);
                return;
            }
            std::string error = next.message;
            if (next.step == Step::Item) {
                r.SetText(encoder::JobText::Input, next.item.Label());
                const std::string final = encoder::SettleOutput(next.item, next.item.input,
                                                                next.item.finalStem, ".WAV", error);
                if (!final.empty()) {
                    r.SetText(encoder::JobText::Output, final);
                    continue;
                }
            }
            outcome.failures.push_back({next.item.Label(), error});
        }
        outcome.result =
            outcome.failures.empty() ? encoder::JobResult::Succeeded : encoder::JobResult::Failed;
        if (outcome.failures.empty()) {
            outcome.message = "The selected track(s) has been saved to disk.";
        } else {
            // Not every track saved: the failures alone, as the encoding jobs name them.
            outcome.message =
                encoder::FailureReport("saved", outcome.failures, source->Count(), true);
        }
        r.Finish(std::move(outcome));
    }
};

// The grab's progress window as one line on standard error: the track and how far it is.
class TerminalProgressPort final : public encoder::MemoryWindow {
public:
    ~TerminalProgressPort() override {
        if (shown_) std::fputc('\n', stderr);
    }
    void SetText(int id, const std::string& text) override {
        MemoryWindow::SetText(id, text);
        // The track's file is a scratch name of the job's: "...-track<N>.<ext>".
        if (id != IDC_GRAB_FILE) return;
        const auto at = text.rfind("-track");
        if (at != std::string::npos) track_ = std::atoi(text.c_str() + at + 6);
    }
    void SetRange(int id, int low, int high) override {
        MemoryWindow::SetRange(id, low, high);
        if (id == IDC_GRAB_TRACKBAR) range_ = high > low ? high - low : 1;
    }
    void SetPos(int id, int pos) override {
        MemoryWindow::SetPos(id, pos);
        if (id != IDC_GRAB_TRACKBAR || !terminal_) return;
        const int percent = static_cast<int>(100LL * pos / range_);
        if (percent == last_) return;
        last_ = percent;
        shown_ = true;
        std::fprintf(stderr, "\rreading track %d: %3d%%", track_, percent);
        std::fflush(stderr);
    }

private:
    int track_ = 0, range_ = 1, last_ = -1;
    bool shown_ = false;
    const bool terminal_ = ::isatty(STDERR_FILENO) == 1;
};

class TerminalProgress final : public ProgressWindow {
public:
    WindowPort& Port() override { return port_; }

private:
    TerminalProgressPort port_;
};

// The names of a disc (from the CD database or its CD-Text) as the tracks' tags and names.
// An unknown genre is none: the ID3v1 byte of no genre, no genre text.
void TagsFromNames(const CdSession& session, const CdInfo& info, bool compilation,
                   encoder::JobRequest& request) {
    request.fullTags.assign(static_cast<std::size_t>(session.TrackCount()) + 1, tags::TrackTags{});
    for (int i = 0; i < session.TrackCount(); ++i) {
        encoder::Id3Tag& tag = request.tags[i + 1];
        const auto t = static_cast<std::size_t>(i);
        const std::string title = t < info.trackTitles.size() ? info.trackTitles[t] : std::string();
        const std::string own = t < info.trackArtists.size() ? info.trackArtists[t] : std::string();
        const std::string artist = own.empty() ? info.artist : own;
        tag = encoder::Id3Tag{};
        tag.SetMarker();
        tag.SetArtist(artist);
        tag.SetAlbum(info.album);
        tag.SetYear(info.year);
        tag.SetTitle(title);
        tag.SetGenre(encoder::GenreCodeOf(info.genre));
        if (!title.empty()) request.cd.names[t] = title;
        // The full texts (the ID3v1 record holds 30 bytes a field).
        tags::TrackTags& full = request.fullTags[t + 1];
        full.Set(tags::TagField::Title, title);
        full.Set(tags::TagField::Artist, artist);
        full.Set(tags::TagField::Album, info.album);
        if (compilation) full.Set(tags::TagField::AlbumArtist, info.artist);
        full.Set(tags::TagField::Year, info.year);
        full.Set(tags::TagField::Genre, info.genre);
        full.Set(tags::TagField::TrackNumber, std::to_string(i + 1));
        full.Set(tags::TagField::TrackTotal, std::to_string(session.TrackCount()));
        // What MusicBrainz tells beyond the names (nothing for the other sources).
        full.Set(tags::TagField::MusicBrainzReleaseId, info.releaseId);
        if (t < info.recordingIds.size())
            full.Set(tags::TagField::MusicBrainzRecordingId, info.recordingIds[t]);
        full.Set(tags::TagField::DiscNumber, info.discNumber);
        full.Set(tags::TagField::DiscTotal, info.discTotal);
    }
}

// The album of the answer: the release id names it, else the first.
const CdInfoChoice& ChosenAlbum(const NameAnswer& names, const std::string& release) {
    if (!release.empty()) {
        for (const CdInfoChoice& album : names.albums)
            if (album.info.releaseId == release) return album;
        std::fprintf(stderr,
                     "orvane-cdda: %s lists no release %s for the disc; the first is taken\n",
                     names.source->Name().c_str(), release.c_str());
    }
    return names.albums.front();
}

// The cover's part of --json: where the picture came from, its size and the file beside the
// tracks.
std::string CoverJson(const coverart::FoundCover& found, const RipReport& report) {
    const tags::Picture* p = found.picture.get();
    return "\"cover\": {\"source\": " + JsonQuoted(p ? found.source : "none") +
           ", \"width\": " + std::to_string(p ? p->width : 0) +
           ", \"height\": " + std::to_string(p ? p->height : 0) +
           ", \"bytes\": " + std::to_string(p ? p->bytes.size() : 0) +
           ", \"file\": " + (report.coverFile.empty() ? "null" : JsonQuoted(report.coverFile)) +
           "}";
}

// The CD database of the profile's settings, configured as Plimo's client is.
void ConfigureCddb(encoder::SettingsStore& profile, freedb::CFreeDBClient& client,
                   freedb::FreeDBSite& site) {
    freedb::FreeDbSettings settings;
    settings.server = profile.GetProfileString("Preferences", "FreeDBServer", freedb::kMainServer);
    if (profile.GetProfileInt("Preferences", "UseProxy", 0) == 1)
        client.SetProxy(profile.GetProfileString("Preferences", "ProxyServer", ""),
                        static_cast<int>(profile.GetProfileInt("Preferences", "ProxyPort", 8080)),
                        "", "");
    client.SetClient(settings.clientName, settings.clientVersion, settings.protocol);
    site = freedb::SiteFromSetting(settings.server);
}

// The disc's CD-Text as the grabber's rows show it; no names when the drive tells none.
CdInfo CdTextOfDrive(const CdSession& session) {
    DiscExtras extras;
    if (!ReadDiscExtras(session.selectedDrive, extras)) return {};
    return CdTextInfoOf(extras, session);
}

}  // namespace

int RunRip(CdSession& session, const RipOptions& options) {
    encoder::ProfileSettings profile;
    RipSettings settings = LoadRipSettings(profile, session.Drive());
    // The command asks the CUETools database only when told to: by its options or by a
    // choice made in the profile, never by the grabber's default.
    settings.ctdb = settings.ctdb && profile.GetProfileInt("Rip", "CTDB", 2) != 2;
    if (options.offsetGiven) settings.read.offset = options.offset;
    settings.read.mode = options.mode < 0 ? ReadMode::Burst : static_cast<ReadMode>(options.mode);
    if (!options.accurateRipServer.empty()) settings.accurateRipServer = options.accurateRipServer;
    if (!options.ctdbServer.empty()) settings.ctdbServer = options.ctdbServer;
    if (!options.pregaps.empty()) ParsePregapChoice(options.pregaps, settings.pregaps);
    // The command writes an image only when told (--image), whatever the grabber's choice; an
    // image holds every pregap where it lies on the disc.
    settings.image = options.image;

    // Several formats: the CD job keeps each track's WAVE file, and one job per format
    // encodes it.
    std::vector<encoder::JobKind> kinds;
    std::string formatError;
    if (!ParseFormatList(options.format, kinds, formatError)) kinds = {encoder::JobKind::EncodeMp3};
    const bool multi = kinds.size() > 1;
    const auto wants = [&kinds](encoder::JobKind kind) {
        return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
    };
    encoder::JobRequest request;
    if (options.image && (multi || (kinds.front() != encoder::JobKind::Decode &&
                                    kinds.front() != encoder::JobKind::EncodeFlac))) {
        std::fprintf(stderr, "orvane-cdda: --image writes WAVE or FLAC (--format wav or flac)\n");
        return 2;
    }
    const bool flacImage = options.image && kinds.front() == encoder::JobKind::EncodeFlac;
    request.kind = multi || options.image ? encoder::JobKind::Decode : kinds.front();
    request.input = encoder::kCdAudioInput;
    request.batch = true;
    request.output = encoder::WithTrailingSlash(options.folder);
    request.appFolder = encoder::WithTrailingSlash(shell::ModuleFolder());
    request.settings.bitrate = "192";
    // Plimo's naming pattern for CD tracks; empty keeps "Artist - Title".
    request.namePattern = profile.GetProfileString("Preferences", "FileNamePattern", "");
    encoder::CdHandOver& cd = request.cd;
    cd.driveIndex = session.selectedDrive;
    cd.leadOut = session.leadOut;
    for (int i = 0; i < session.TrackCount(); ++i) {
        const bool audio = session.Track(i).audio;
        cd.checked.push_back(audio ? 1 : 0);
        cd.names.push_back("Track" + std::to_string(i + 1));
        cd.trackCount += audio;
    }
    cd.readBufferSize = BoundedSectorsPerRead(session.Drive().sectorsPerRead);
    cd.deleteGrabbedWav = true;
    ApplyRipSettings(settings, cd);
    cd.rip.eject = false;  // the command opens the tray itself, after its own verdict
    cd.rip.accurateRip = !options.noAccurateRip;
    cd.rip.ctdb = !options.noCtdb &&
                  (settings.ctdb || options.ctdb || options.repair || !options.ctdbServer.empty());
    cd.rip.ctdbRepair = options.repair;
    cd.rip.keepDamaged = !options.noKeep;
    cd.ripLog = true;  // a rip always leaves its log and cue sheet
    cd.ripLeadingGap = true;

    // The names: the CD database's first entry when asked for, else the disc's CD-Text.
    freedb::CFreeDBClient client;
    freedb::FreeDBSite site;
    if (options.cddb) ConfigureCddb(profile, client, site);
    CddbSource cddb(client, site);
    MusicBrainzSource musicBrainz(options.musicBrainzServer.empty() ? freedb::kMusicBrainzServer
                                                                    : options.musicBrainzServer);
    // The CUETools database's names come with its entries: the rip's check takes them.
    CtdbSource ctdbNames(
        settings.ctdbServer.empty() ? std::string(ctdb::kDefaultCtdbServer) : settings.ctdbServer,
        options.ctdbMetadata, cd.rip.ctdb);
    const bool asked = options.cddb || options.musicBrainz || options.ctdbNames;
    CdTextSource cdText(asked ? CdInfo{} : CdTextOfDrive(session));
    NameSource* source = options.cddb          ? static_cast<NameSource*>(&cddb)
                         : options.musicBrainz ? static_cast<NameSource*>(&musicBrainz)
                         : options.ctdbNames   ? static_cast<NameSource*>(&ctdbNames)
                                               : &cdText;
    cdrom::DiscInfo listed = session.disc;
    listed.leadOut = session.leadOut;
    // The database keys the disc as the rip's check does.
    if (options.ctdbNames) listed = SessionDiscInfo(session);
    NameAnswer names;
    std::string releaseId;
    int releaseDisc = 0, releaseDiscs = 0;  // the medium of a release of several
    if (AskNameSources({source}, listed, {}, names)) {
        const bool byRelease = options.musicBrainz || options.ctdbNames;
        const CdInfoChoice& album = ChosenAlbum(names, byRelease ? options.release : "");
        TagsFromNames(session, album.info, album.compilation, request);
        if (byRelease) {
            releaseId = album.info.releaseId;
            DiscOfRelease(album.info.discNumber, album.info.discTotal, releaseDisc, releaseDiscs);
        }
    } else if (asked) {
        std::fprintf(stderr, "orvane-cdda: no titles: %s\n", names.why.c_str());
    }

    // The front cover, when one is asked for: a file, or the archive's for the release.
    coverart::FoundCover cover;
    const bool coverAsked = options.coverGiven || options.musicBrainz;
    if (coverAsked) {
        coverart::CoverMode mode = coverart::CoverMode::EmbedAndFile;
        if (!coverart::ParseCoverMode(options.coverMode.empty()
                                          ? profile.GetProfileString("Rip", "CoverArt", "")
                                          : options.coverMode,
                                      mode))
            mode = coverart::CoverMode::EmbedAndFile;
        coverart::CoverRequest asking;
        asking.from = options.cover == "none"   ? coverart::CoverRequest::From::None
                      : options.cover == "auto" ? coverart::CoverRequest::From::Auto
                                                : coverart::CoverRequest::From::File;
        if (mode == coverart::CoverMode::None) asking.from = coverart::CoverRequest::From::None;
        asking.file = options.cover;
        asking.releaseId = releaseId;
        asking.size = options.coverSize;
        asking.server =
            options.coverArtServer.empty()
                ? profile.GetProfileString("Rip", "CoverArtServer", coverart::kArchiveServer)
                : options.coverArtServer;
        cover = coverart::FindCover(asking);
        std::fprintf(stderr, "orvane-cdda: cover art: %s\n",
                     coverart::DescribeCover(cover).c_str());
        ApplyCover(cover, mode, request, session.TrackCount());
    }
    if (!options.disc.empty() || releaseDisc > 0) {
        int number = 0, total = 0;
        std::string album;
        // A title that ends with the disc's place loses it: the album is the same on each.
        if (!options.disc.empty() && !names.albums.empty())
            DiscOfAlbumTitle(names.albums.front().info.album, number, total, album);
        // The release's medium, as MusicBrainz tells it, says more than its title.
        if (releaseDisc > 0) {
            number = releaseDisc;
            total = releaseDiscs;
        }
        if (!options.disc.empty() && options.disc != "auto")
            ParseDiscNumber(options.disc, number, total);
        // The album's tracks then carry the number, and the log and cue sheet "CD n".
        if (number > 0) SetDiscOfSet(request, number, total, album);
    }
    encoder::RegisterMp3Jobs();
    if (wants(encoder::JobKind::EncodeFlac) && !options.image) formats::RegisterFlacJob();
    if (wants(encoder::JobKind::EncodeOpus)) formats::RegisterOpusJob();
    if (options.image) {
        FlacImageWriter writer;
        if (flacImage)
            writer = [level = request.formats.flacLevel](
                         const std::string& wave, const std::string& out,
                         const formats::FlacCueSheet& cue, const tags::TrackTags& album,
                         std::string& error) {
                return formats::WriteFlacImage(wave, out, cue, formats::CommentsOfTag(album), level,
                                               error);
            };
        encoder::RegisterKind(encoder::JobKind::Decode, [writer](const encoder::JobRequest&) {
            return MakeDiscImageJob(writer);
        });
    } else if (multi) {
        const std::string folders =
            profile.GetProfileString("Preferences", "MultiFormatFolders", kDefaultFormatFolders);
        encoder::RegisterKind(encoder::JobKind::Decode,
                              [kinds, folders](const encoder::JobRequest&) {
                                  return MakeMultiFormatJob(kinds, folders);
                              });
    } else if (request.kind == encoder::JobKind::Decode) {
        encoder::RegisterKind(
            encoder::JobKind::Decode,
            [](const encoder::JobRequest&) { return std::make_unique<KeepWavesJob>(); },
            encoder::KindEntry(encoder::JobKind::Decode).batch);
    }
    if (wants(encoder::JobKind::EncodeWma)) {
        wma::RegisterWmaJob();
        std::vector<std::pair<int, std::string>> profiles;
        if (!wma::AudioProfiles(profiles) || profiles.empty()) {
            std::fprintf(stderr,
                         "orvane-cdda: the WMA encoder has no profiles (install its components "
                         "with plimo-job --list-profiles)\n");
            return 1;
        }
        request.wma.profileIndex = profiles.back().first;
    }

    const bool ejectAsked = options.eject || settings.eject;
    std::optional<RipReport> report;
    bool complete = false;
    InstallCdTrackSource([](GrabProgress&) { return std::make_unique<TerminalProgress>(); },
                         [&](const RipReport& r, bool c) {
                             report = r;
                             complete = c;
                         });
    encoder::MemorySettings memory;
    encoder::EncoderApp& app = encoder::TheApp();
    app.settings = &memory;
    app.splashPending = 0;
    app.appFolder = request.appFolder;
    // The job's messages: on standard output, or beside the JSON object on standard error.
    std::ostringstream messages;
    encoder::MemoryWindow window(&messages);
    const encoder::JobOutcome outcome = encoder::RunHeadlessJob(app, request, window);
    encoder::SetCdTrackSource(nullptr);
    std::string text = messages.str();
    const bool succeeded = outcome.result == encoder::JobResult::Succeeded;
    // What went wrong is the reason of the exit status: on standard error.
    std::fputs(text.c_str(), options.json || !succeeded ? stderr : stdout);
    if (!report) {
        if (outcome.message.empty()) std::fprintf(stderr, "orvane-cdda: the rip did not start\n");
        // A rip that could not even begin wrote nothing: said so to a reader of the JSON too.
        if (options.json)
            std::printf(
                "{\"complete\": false, \"tracks\": []%s}\n",
                EjectJsonMembers(EjectAfterRip(session.Drive(), ejectAsked, false)).c_str());
        return 1;
    }
    bool everyTrack = static_cast<int>(report->tracks.size()) == cd.trackCount;
    const int status = succeeded && complete && everyTrack ? 0 : 1;
    const EjectOutcome ejected = EjectAfterRip(session.Drive(), ejectAsked, status == 0);
    if (ejected.asked && !ejected.ejected && status == 0)
        std::fprintf(stderr, "orvane-cdda: the tray stays closed: %s\n", ejected.reason.c_str());
    if (options.json) {
        std::string json = RipJson(*report, complete, coverAsked ? CoverJson(cover, *report) : "");
        // The object's closing brace and line end are the last two characters.
        json.insert(json.size() - 2, EjectJsonMembers(ejected));
        std::fputs(json.c_str(), stdout);
    }
    return status;
}

}  // namespace orvane::cdda
