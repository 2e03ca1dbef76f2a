#include "programs/orvane-cdda/verify_command.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "programs/orvane-cdda/toc_json.h"
#include "programs/orvane-cdda/verify_flac.h"

namespace orvane::cdda {

namespace {

std::atomic<bool> gStop{false};

void OnStop(int) { gStop = true; }

// A folder of the temporary files' folder, removed with all it holds.
struct ScratchFolder {
    std::string path;
    bool Make(std::string& error) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvane-verify-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            error = "cannot make a scratch folder in " + pattern.substr(0, pattern.rfind('/')) +
                    ": " + std::strerror(errno);
            return false;
        }
        path = pattern;
        return true;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
};

// One rip: FLAC files read through WAVE copies in a scratch folder of their own; mended, the
// copies are encoded anew into the repair's folder.
VerifyReport VerifyOne(const std::string& path, const VerifyOptions& options) {
    VerifyReport report;
    ScratchFolder scratch;
    std::string sheet, staged;
    std::vector<StagedFlac> decoded;
    if (!scratch.Make(report.error) ||
        !StageFlacRip(path, scratch.path, sheet, staged, report.error, &decoded))
        return report;
    VerifyOptions asked = options;
    if (!staged.empty() && !options.repairTo.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.repairTo, ec);
        if (ec) {
            report.error = "cannot make " + options.repairTo + ": " + ec.message();
            return report;
        }
        asked.repairTo = scratch.path + "/mended";
    }
    report = VerifyRip(staged.empty() ? path : staged, asked, [] { return gStop.load(); });
    if (staged.empty()) return report;
    report.cueSheet = sheet;
    if (report.ctdb && report.ctdb->status == "repaired" && !options.repairTo.empty()) {
        std::vector<std::string> written;
        std::string error;
        if (!WriteMendedFlacRip(sheet, decoded, asked.repairTo, options.repairTo, written, error)) {
            report.ctdb->repairLines.push_back("CTDB: cannot write the mended rip: " + error);
            report.ctdb->status = "differs";
            for (VerifiedTrack& t : report.tracks)
                t.verified = t.verified && t.ctdb.rfind("repaired", 0) != 0;
        }
        report.ctdb->written = written;
    }
    return report;
}

bool IsCueSheet(const std::filesystem::directory_entry& entry) {
    std::string ext = entry.path().extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::error_code ec;
    return ext == ".cue" && entry.is_regular_file(ec);
}

// Every folder under root (root too) that holds a cue sheet, in name order; linked folders
// are not entered.
std::vector<std::string> Albums(const std::string& root, std::string& error) {
    std::vector<std::string> albums;
    std::error_code ec;
    if (!std::filesystem::is_directory(root, ec)) {
        error = "no such folder: " + root;
        return albums;
    }
    auto holdsSheet = [](const std::filesystem::path& folder) {
        std::error_code e;
        for (std::filesystem::directory_iterator it(folder, e), end; !e && it != end;
             it.increment(e))
            if (IsCueSheet(*it)) return true;
        return false;
    };
    if (holdsSheet(root)) albums.push_back(root);
    const auto options = std::filesystem::directory_options::skip_permission_denied;
    for (std::filesystem::recursive_directory_iterator it(root, options, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code e;
        if (it->is_symlink(e)) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_directory(e) && holdsSheet(it->path())) albums.push_back(it->path().string());
    }
    if (ec) error = "cannot list " + root + ": " + ec.message();
    std::sort(albums.begin(), albums.end());
    return albums;
}

// Why an album is not verified, in a few words.
std::string Detail(const VerifyReport& r, const std::string& verdict) {
    if (!r.error.empty()) return r.error;
    if (verdict == "failed") return "no database answered";
    int verified = 0;
    for (const VerifiedTrack& t : r.tracks)
        verified += t.verified;
    return std::to_string(verified) + " of " + std::to_string(r.tracks.size()) + " tracks verified";
}

int RunRecursive(const VerifyCommand& command) {
    std::string error;
    const std::vector<std::string> albums = Albums(command.path, error);
    if (!error.empty()) {
        std::fprintf(stderr, "orvane-cdda: %s\n", error.c_str());
        return 1;
    }
    if (albums.empty()) {
        std::fprintf(stderr, "orvane-cdda: no cue sheet under %s\n", command.path.c_str());
        return 1;
    }
    // Progress: one line rewritten in place, on a terminal only.
    std::FILE* progress = nullptr;
    if (!command.json && ::isatty(STDOUT_FILENO) == 1) progress = stdout;
    if (command.json && ::isatty(STDERR_FILENO) == 1) progress = stderr;
    const char* verdicts[] = {"verified", "differs", "not found", "failed"};
    int counts[4] = {};
    std::string json = "[";
    for (std::size_t i = 0; i < albums.size() && !gStop; ++i) {
        if (progress) {
            std::fprintf(progress, "\r\033[K[%zu/%zu] %s", i + 1, albums.size(), albums[i].c_str());
            std::fflush(progress);
        }
        const VerifyReport report = VerifyOne(albums[i], command.options);
        if (gStop) break;
        const std::string verdict = report.Verdict();
        for (int k = 0; k < 4; ++k)
            counts[k] += verdict == verdicts[k];
        if (progress) std::fputs("\r\033[K", progress);
        if (command.json) {
            json += std::string(i ? ",\n " : "") + "{\"path\": " + JsonQuoted(albums[i]) +
                    ", \"verdict\": " + JsonQuoted(verdict) + ", \"error\": " +
                    (report.error.empty() ? std::string("null") : JsonQuoted(report.error)) +
                    ", \"report\": ";
            if (report.error.empty()) {
                std::string object = VerifyJson(report);
                object.pop_back();  // its line end
                json += object;
            } else {
                json += "null";
            }
            json += "}";
        } else {
            std::printf("%s: %s (%s)\n", albums[i].c_str(), verdict.c_str(),
                        Detail(report, verdict).c_str());
            std::fflush(stdout);
        }
    }
    if (progress && gStop) std::fputs("\r\033[K", progress);
    if (gStop) {
        std::fprintf(stderr, "orvane-cdda: interrupted\n");
        return 1;
    }
    if (command.json) {
        std::printf("%s]\n", json.c_str());
    } else {
        std::printf("\n%zu album%s: %d verified, %d differ%s, %d not found, %d failed\n",
                    albums.size(), albums.size() == 1 ? "" : "s", counts[0], counts[1],
                    counts[1] == 1 ? "s" : "", counts[2], counts[3]);
    }
    return counts[0] == static_cast<int>(albums.size()) ? 0 : 1;
}

}  // namespace

int RunVerifyCommand(const VerifyCommand& command) {
    gStop = false;
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);
    if (command.recursive) return RunRecursive(command);
    const VerifyReport report = VerifyOne(command.path, command.options);
    if (!report.error.empty()) {
        std::fprintf(stderr, "orvane-cdda: %s\n", report.error.c_str());
        return 1;
    }
    const std::string out = command.json ? VerifyJson(report) : VerifyTable(report);
    std::fputs(out.c_str(), stdout);
    return report.AllVerified() ? 0 : 1;
}

}  // namespace orvane::cdda
