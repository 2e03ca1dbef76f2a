#include "encoder/cdda/rip_verify.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/cdrom/image_drive.h"
#include "platform/fs/fs.h"

namespace orvane::cdda {

namespace {

// The cue sheet of path: path itself, or the one sheet in the folder path.
bool FindCueSheet(const std::string& path, std::string& cue, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
        if (!std::filesystem::is_regular_file(path, ec)) {
            error = "no such folder or cue sheet: " + path;
            return false;
        }
        cue = path;
        return true;
    }
    std::vector<std::string> sheets;
    for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string ext = it->path().extension().string();
        for (char& c : ext)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".cue" && it->is_regular_file(ec)) sheets.push_back(it->path().string());
    }
    if (ec) {
        error = "cannot list " + path + ": " + ec.message();
        return false;
    }
    if (sheets.size() != 1) {
        error = sheets.empty() ? "no cue sheet in " + path
                               : "more than one cue sheet in " + path + ": name the one to verify";
        return false;
    }
    cue = sheets.front();
    return true;
}

std::string Hex8(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", v);
    return text;
}

std::string ArText(const VerifyReport& r, const AccurateRipVerdict& v) {
    if (!r.accurateRipAsked) return "not asked";
    switch (v.result) {
        case AccurateRipResult::Match:
            return "accurately ripped (confidence " + std::to_string(v.confidence) + ", v" +
                   std::to_string(v.version) + ")";
        case AccurateRipResult::Mismatch:
            return "differs";
        case AccurateRipResult::NotFound:
            return "not present in database";
        case AccurateRipResult::Unavailable:
            break;
    }
    return "unavailable";
}

}  // namespace

bool VerifyReport::AllVerified() const {
    if (!error.empty() || tracks.empty()) return false;
    for (const VerifiedTrack& t : tracks)
        if (!t.verified) return false;
    return true;
}

VerifyReport VerifyRip(const std::string& path, const VerifyOptions& options,
                       const std::function<bool()>& cancelled) {
    VerifyReport r;
    r.accurateRipAsked = options.accurateRip;
    if (!FindCueSheet(path, r.cueSheet, r.error)) return r;
    std::unique_ptr<cdrom::ImageDrive> drive = cdrom::ImageDrive::Open(r.cueSheet, r.error);
    if (!drive) return r;
    const cdrom::DriveResult info = drive->ReadDiscInfo(r.disc);
    if (!info.ok || r.disc.Empty()) {
        r.error = "cannot read the tracks of " + r.cueSheet + ": " + info.message;
        return r;
    }
    cdrom::FillLengths(r.disc);
    r.arId = ComputeAccurateRipId(r.disc);

    rip::RipSettings settings;
    settings.ctdb = options.ctdb;
    settings.ctdbServer = options.ctdbServer;
    settings.ctdbRepair = !options.repairTo.empty();
    CtdbRecorder ctdb(r.disc, settings);
    int firstAudio = -1, lastAudio = -1;
    for (const cdrom::TrackInfo& t : r.disc.tracks) {
        if (!t.audio) continue;
        if (firstAudio < 0) firstAudio = t.number;
        lastAudio = t.number;
    }
    constexpr std::uint32_t kChunk = 27;
    std::vector<std::uint8_t> buffer(kChunk * kSamplesPerSector * 4);
    for (const cdrom::TrackInfo& t : r.disc.tracks) {
        if (!t.audio) continue;
        VerifiedTrack v;
        v.number = t.number;
        TrackChecksummer sums(t.number == firstAudio, t.number == lastAudio,
                              std::uint64_t{t.length} * kSamplesPerSector);
        ctdb.BeginTrack(t.number);
        for (std::uint32_t done = 0; done < t.length;) {
            if (cancelled && cancelled()) {
                r.error = "cancelled";
                return r;
            }
            const std::uint32_t n = std::min(kChunk, t.length - done);
            const cdrom::DriveResult read = drive->ReadCdda(t.start + done, n, buffer.data());
            if (!read.ok) {
                r.error = "cannot read track " + std::to_string(t.number) + ": " + read.message;
                return r;
            }
            sums.Update(buffer.data(), std::size_t{n} * kSamplesPerSector * 4);
            ctdb.Written(buffer.data(), std::size_t{n} * kSamplesPerSector * 4);
            done += n;
        }
        ctdb.EndTrack(true);
        v.sums = sums.Finish();
        r.tracks.push_back(v);
    }

    AccurateRipReply reply;
    if (options.accurateRip) {
        reply = LookupAccurateRip(options.accurateRipServer.empty()
                                      ? std::string(kDefaultAccurateRipServer)
                                      : options.accurateRipServer,
                                  r.arId, cancelled);
        r.accurateRipMessage = reply.message;
    }
    // Each track's file: where its INDEX 01 lies; a repair writes its copy into repairTo.
    const cdrom::CueSheet& sheet = drive->Sheet();
    const std::string outFolder = options.repairTo.empty() ? std::string() : options.repairTo + "/";
    auto baseName = [](const std::string& p) {
        return std::filesystem::path(p).filename().string();
    };
    std::vector<CtdbTrackFile> files;
    for (const cdrom::CueTrack& t : sheet.tracks)
        for (const cdrom::CueIndex& i : t.indexes)
            if (i.number == 1 && i.file >= 0 &&
                static_cast<std::size_t>(i.file) < sheet.files.size()) {
                const std::string& file = sheet.files[static_cast<std::size_t>(i.file)].path;
                files.push_back(
                    {t.number, file, true, outFolder.empty() ? "" : outFolder + baseName(file)});
            }
    if (!outFolder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.repairTo, ec);
        if (ec) {
            r.error = "cannot make " + options.repairTo + ": " + ec.message();
            return r;
        }
    }
    if (options.ctdb) r.ctdb = ctdb.Finish(files, cancelled);
    // The rest of the mended rip beside the repaired files: every other file and the sheet.
    if (r.ctdb && r.ctdb->status == "repaired" && !outFolder.empty()) {
        std::vector<std::string> rest = {r.cueSheet};
        for (const cdrom::CueFile& f : sheet.files)
            if (std::find(r.ctdb->written.begin(), r.ctdb->written.end(),
                          outFolder + baseName(f.path)) == r.ctdb->written.end())
                rest.push_back(f.path);
        for (const std::string& copy : rest) {
            std::string bytes;
            fs::WriteOptions fresh;
            fresh.mustBeNew = true;
            fs::Status s = fs::ReadFile(copy, std::size_t{1} << 31, bytes);
            if (s.ok()) s = fs::WriteFileAtomically(outFolder + baseName(copy), bytes, fresh);
            if (!s.ok()) {
                r.ctdb->repairLines.push_back("CTDB: cannot copy " + copy + " into " +
                                              options.repairTo + ": " + s.message);
                r.ctdb->status = "differs";
                break;
            }
            r.ctdb->written.push_back(outFolder + baseName(path));
        }
    }
    for (std::size_t i = 0; i < r.tracks.size(); ++i) {
        VerifiedTrack& v = r.tracks[i];
        if (options.accurateRip) v.accurateRip = MatchTrack(reply, static_cast<int>(i), v.sums);
        if (r.ctdb) {
            for (std::size_t k = 0; k < r.ctdb->trackNumbers.size(); ++k)
                if (r.ctdb->trackNumbers[k] == v.number && k < r.ctdb->trackVerdicts.size())
                    v.ctdb = r.ctdb->trackVerdicts[k];
        }
        // A track mended into the repair's folder counts: the rip there is verified.
        v.verified = v.accurateRip.result == AccurateRipResult::Match ||
                     v.ctdb.rfind("accurately ripped", 0) == 0 ||
                     (r.ctdb && r.ctdb->status == "repaired" && v.ctdb.rfind("repaired", 0) == 0);
    }
    return r;
}

std::string VerifyTable(const VerifyReport& r) {
    std::string out = "Cue sheet: " + r.cueSheet + "\n";
    out += "AccurateRip id: " + r.arId.Fingerprint() + "\n";
    if (r.accurateRipAsked && !r.accurateRipMessage.empty())
        out += "AccurateRip lookup: " + r.accurateRipMessage + "\n";
    if (r.ctdb) {
        out += "CTDB TOC id: " + r.ctdb->tocId + "\n";
        if (!r.ctdb->message.empty()) out += "CTDB lookup: " + r.ctdb->message + "\n";
    }
    out += "\nTrack  CRC32     AR v1     AR v2     AccurateRip                           CTDB\n";
    int verified = 0;
    for (const VerifiedTrack& t : r.tracks) {
        char line[96];
        std::snprintf(line, sizeof line, "%5d  %s  %s  %s  %-36s  ", t.number,
                      Hex8(t.sums.crc32).c_str(), Hex8(t.sums.arV1).c_str(),
                      Hex8(t.sums.arV2).c_str(), ArText(r, t.accurateRip).c_str());
        out += line + (r.ctdb ? t.ctdb : std::string("not asked")) + "\n";
        verified += t.verified;
    }
    if (r.ctdb) out += "\nCTDB: " + r.ctdb->discVerdict + "\n";
    if (r.ctdb)
        for (const std::string& line : r.ctdb->repairLines)
            out += line + "\n";
    out += "\n" + std::to_string(verified) + " of " + std::to_string(r.tracks.size()) +
           " tracks verified\n";
    return out;
}

}  // namespace orvane::cdda
