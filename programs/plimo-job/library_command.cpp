#include "programs/plimo-job/library_command.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "encoder/app/encoder_app.h"
#include "encoder/app/wizard.h"
#include "encoder/formats/flac_job.h"
#include "encoder/formats/opus_job.h"
#include "encoder/job/job.h"
#include "encoder/library/library_run.h"
#include "encoder/library/library_tree.h"
#include "encoder/mp3/mp3_jobs.h"
#include "encoder/wma/settings_page.h"
#include "encoder/wma/wma_job.h"
#include "platform/fs/fs.h"
#include "platform/process/process.h"
#include "platform/shell/sysinfo.h"

namespace orvane::plimo_job {

namespace {

int LibraryUsage() {
    std::fprintf(stderr,
                 "usage: plimo-job --library [--mp3|--flac|--opus|--wma|--wav] [encoder options] "
                 "[--jobs N] [--copy-files PATTERNS] [--dry-run] [--force] [--no-split] IN_FOLDER "
                 "OUT_FOLDER\n");
    return 2;
}

bool Number(const char* v, int low, int high, int& out) {
    if (!v || !*v) return false;
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    if (*end || n < low || n > high) return false;
    out = static_cast<int>(n);
    return true;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

bool AsksForLibrary(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--library") == 0) return true;
    return false;
}

int RunLibraryCommand(int argc, char** argv) {
    using library::Target;
    library::LibraryOptions o;
    o.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    encoder::JobRequest& req = o.base;
    req.paced = false;
    int targets = 0;
    bool bitrateGiven = false, profileGiven = false;
    std::string bitrate;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto take = [&] { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--library") {
        } else if (a == "--mp3" || a == "--flac" || a == "--opus" || a == "--wma" || a == "--wav") {
            o.target = a == "--mp3"    ? Target::Mp3
                       : a == "--flac" ? Target::Flac
                       : a == "--opus" ? Target::Opus
                       : a == "--wma"  ? Target::Wma
                                       : Target::Wav;
            ++targets;
        } else if (a == "--bitrate") {
            if (!value) return LibraryUsage();
            bitrate = take();
            bitrateGiven = true;
        } else if (a == "--layer") {
            if (!Number(take(), 1, 3, req.settings.layerIndex)) return LibraryUsage();
            --req.settings.layerIndex;
        } else if (a == "--mode") {
            if (!Number(take(), 0, 3, req.settings.mode)) return LibraryUsage();
            o.modeChosen = true;
        } else if (a == "--hifi") {
            req.settings.quality = 0;
        } else if (a == "--level") {
            if (!Number(take(), formats::kFlacLevelMin, formats::kFlacLevelMax,
                        req.formats.flacLevel))
                return LibraryUsage();
        } else if (a == "--verify") {
            req.formats.verify = true;
        } else if (a == "--replaygain") {
            req.formats.replayGain = true;
        } else if (a == "--profile") {
            if (!Number(take(), 0, 1000000, req.wma.profileIndex)) return LibraryUsage();
            profileGiven = true;
        } else if (a == "--jobs") {
            if (!Number(take(), 1, 64, o.jobs)) return LibraryUsage();
        } else if (a == "--copy-files") {
            if (!value) return LibraryUsage();
            o.copyPatterns = library::SplitPatterns(take());
        } else if (a == "--dry-run") {
            o.dryRun = true;
        } else if (a == "--force") {
            o.force = true;
        } else if (a == "--no-split") {
            o.split = false;
        } else if (a.rfind("--", 0) == 0) {
            return LibraryUsage();
        } else {
            paths.push_back(a);
        }
    }
    if (targets > 1 || paths.size() != 2) return LibraryUsage();
    if (bitrateGiven) {
        if (o.target == Target::Opus) {
            if (!Number(bitrate.c_str(), formats::kOpusKbpsMin, formats::kOpusKbpsMax,
                        req.formats.opusKbps))
                return LibraryUsage();
        } else if (o.target == Target::Mp3) {
            bool known = false;
            for (const char* b : encoder::kBitrates)
                known = known || bitrate == b;
            if (!known) return LibraryUsage();
            req.settings.bitrate = bitrate;
        } else {
            return LibraryUsage();
        }
    }
    o.in = WithoutTrailingSlash(paths[0]);
    o.out = WithoutTrailingSlash(paths[1]);

    encoder::EncoderApp& app = encoder::TheApp();
    app.appFolder = shell::ModuleFolder();
    req.appFolder = app.appFolder;
    encoder::RegisterMp3Jobs();
    if (o.target == Target::Flac) formats::RegisterFlacJob();
    if (o.target == Target::Opus) formats::RegisterOpusJob();
    if (o.target == Target::Wma) {
        wma::RegisterWmaJob();
        std::vector<std::pair<int, std::string>> profiles;
        if (!o.dryRun && !profileGiven) {
            if (!wma::AudioProfiles(profiles) || profiles.empty()) {
                std::fprintf(stderr,
                             "plimo-job: no WMA profile is installed; plimo-job --wma "
                             "--list-profiles installs the encoder components\n");
                return 1;
            }
            req.wma.profileIndex = profiles.back().first;
        }
    }
    // Ended by a signal, the run removes the temporary files it was writing.
    fs::AtomicFile::InstallSignalCleanup(process::SignalLiveChildren);
    const library::LibraryReport report =
        library::ConvertLibrary(o, std::cout, ::isatty(STDOUT_FILENO) != 0);
    return report.failed.empty() ? 0 : 1;
}

}  // namespace orvane::plimo_job
