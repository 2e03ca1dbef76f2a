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

std::string ArText(const VerifyReport& r, const VerifiedTrack& t) {
    if (!r.accurateRipAsked) return "not asked";
    const AccurateRipVerdict& v = t.accurateRip;
    switch (v.result) {
        case AccurateRipResult::Match:
            return "accurately ripped" +
                   (t.accurateRipOffset ? " with offset " + SignedOffset(t.accurateRipOffset)
                                        : std::string()) +
                   " (confidence " + std::to_string(v.confidence) + ", v" +
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

constexpr std::uint32_t kChunk = 27;

// The AccurateRip sums of track t as held by a pressing whose sample p is the rip's p + offset:
// the rip's samples from the track's start + offset on, silence beyond the disc's audio
// [audioBegin, audioEnd) (in samples).
bool SumsAtOffset(cdrom::ImageDrive& drive, const cdrom::TrackInfo& t, std::int64_t audioBegin,
                  std::int64_t audioEnd, bool first, bool last, int offset,
                  const std::function<bool()>& cancelled, TrackChecksums& out) {
    const auto words = static_cast<std::int64_t>(t.length) * kSamplesPerSector;
    TrackChecksummer sums(first, last, static_cast<std::uint64_t>(words));
    std::vector<std::uint8_t> buffer(kChunk * kSamplesPerSector * 4);
    const std::int64_t end =
        static_cast<std::int64_t>(t.start) * kSamplesPerSector + offset + words;
    for (std::int64_t p = end - words; p < end;) {
        if (cancelled && cancelled()) return false;
        const auto most = static_cast<std::int64_t>(kChunk) * kSamplesPerSector;
        std::int64_t n = 0;
        const std::uint8_t* data = buffer.data();
        if (p < audioBegin || p >= audioEnd) {
            n = std::min({end, p < audioBegin ? audioBegin : end, p + most}) - p;
            std::fill(buffer.begin(), buffer.end(), 0);
        } else {
            const auto lba = static_cast<std::uint32_t>(p / kSamplesPerSector);
            const std::int64_t stop = std::min(end, audioEnd);
            const auto sectors = static_cast<std::uint32_t>(std::min<std::int64_t>(
                kChunk, (stop - std::int64_t{lba} * kSamplesPerSector + kSamplesPerSector - 1) /
                            kSamplesPerSector));
            if (!drive.ReadCdda(lba, sectors, buffer.data()).ok) return false;
            const std::int64_t skip = p - std::int64_t{lba} * kSamplesPerSector;
            n = std::min<std::int64_t>(stop, std::int64_t{lba + sectors} * kSamplesPerSector) - p;
            data += 4 * skip;
        }
        sums.Update(data, static_cast<std::size_t>(4 * n));
        p += n;
    }
    out = sums.Finish();
    return true;
}

}  // namespace

bool VerifyReport::AllVerified() const {
    if (!error.empty() || tracks.empty()) return false;
    for (const VerifiedTrack& t : tracks)
        if (!t.verified) return false;
    return true;
}

std::string VerifyReport::Verdict() const {
    if (!error.empty() || tracks.empty()) return "failed";
    if (AllVerified()) return "verified";
    bool differs = ctdb && (ctdb->status == "differs" || ctdb->status == "repaired");
    bool answered = ctdb && ctdb->status != "unavailable";
    for (const VerifiedTrack& t : tracks) {
        differs = differs || t.verified || t.accurateRip.result == AccurateRipResult::Mismatch;
        answered = answered ||
                   (accurateRipAsked && t.accurateRip.result != AccurateRipResult::Unavailable);
    }
    if (differs) return "differs";
    return answered ? "not found" : "failed";
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
        // The samples mended wherever the sheet lays them: an image, or files that hold
        // another track's pregap.
        std::vector<CtdbFileExtent> layout;
        for (const cdrom::DiscExtent& e : sheet.extents) {
            if (e.file < 0 || !e.audio || static_cast<std::size_t>(e.file) >= sheet.files.size())
                continue;
            const cdrom::CueFile& f = sheet.files[static_cast<std::size_t>(e.file)];
            layout.push_back({e.lba, e.frames, f.path, e.fileByte, f.dataOffset + f.dataBytes,
                              f.type == cdrom::CueFileType::Motorola,
                              outFolder + baseName(f.path)});
        }
        ctdb.SetFileLayout(std::move(layout));
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
            fs::WriteOptions fresh;
            fresh.mustBeNew = true;
            const fs::Status s = fs::CopyFileAtomically(copy, outFolder + baseName(copy), fresh);
            if (!s.ok()) {
                r.ctdb->repairLines.push_back("CTDB: cannot copy " + copy + " into " +
                                              options.repairTo + ": " + s.message);
                r.ctdb->status = "differs";
                break;
            }
            r.ctdb->written.push_back(outFolder + baseName(copy));
        }
    }
    // The offsets of the other pressings the CUETools database locates.
    std::vector<int> offsets;
    if (options.accurateRip && reply.status == AccurateRipStatus::Found && r.ctdb)
        for (const CtdbEntryResult& e : r.ctdb->entries)
            if (e.located && e.offset != 0 && offsets.size() < kMaxPressingOffsets &&
                std::find(offsets.begin(), offsets.end(), e.offset) == offsets.end())
                offsets.push_back(e.offset);
    std::int64_t audioBegin = 0, audioEnd = 0;
    for (const cdrom::TrackInfo& t : r.disc.tracks) {
        if (!t.audio) continue;
        if (t.number == firstAudio) audioBegin = std::int64_t{t.start} * kSamplesPerSector;
        audioEnd = (std::int64_t{t.start} + t.length) * kSamplesPerSector;
    }
    for (std::size_t i = 0; i < r.tracks.size(); ++i) {
        VerifiedTrack& v = r.tracks[i];
        if (options.accurateRip) v.accurateRip = MatchTrack(reply, static_cast<int>(i), v.sums);
        const cdrom::TrackInfo* track = r.disc.Track(v.number);
        for (int offset : offsets) {
            if (v.accurateRip.result == AccurateRipResult::Match || !track) break;
            TrackChecksums shifted;
            if (!SumsAtOffset(*drive, *track, audioBegin, audioEnd, v.number == firstAudio,
                              v.number == lastAudio, offset, cancelled, shifted))
                break;
            const AccurateRipVerdict at = MatchTrack(reply, static_cast<int>(i), shifted);
            if (at.result == AccurateRipResult::Match) {
                v.accurateRip = at;
                v.accurateRipOffset = offset;
            }
        }
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
        char line[160];
        std::snprintf(line, sizeof line, "%5d  %s  %s  %s  %-36s  ", t.number,
                      Hex8(t.sums.crc32).c_str(), Hex8(t.sums.arV1).c_str(),
                      Hex8(t.sums.arV2).c_str(), ArText(r, t).c_str());
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
