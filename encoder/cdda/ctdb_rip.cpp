#include "encoder/cdda/ctdb_rip.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "encoder/ctdb/ctdb_client.h"
#include "encoder/rip/suspicious_text.h"
#include "platform/fs/fs.h"

namespace orvane::cdda {

namespace {

using ctdb::kSamplesPerSector;

// The parity rows asked for in turn: a repair that the first rows mend needs no more.
std::vector<int> ParityStages(int npar) {
    std::vector<int> stages;
    for (int n : {4, 8, 16})
        if (n < npar) stages.push_back(n);
    stages.push_back(npar);
    return stages;
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(
        static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
        static_cast<unsigned char>(b[at + 2]) << 16 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24);
}

// Where a RIFF WAVE file's sample data begins, and how long it is; false when it is no WAVE.
bool WaveData(const std::string& b, std::size_t& at, std::size_t& size) {
    if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0) return false;
    std::size_t p = 12;
    while (p + 8 <= b.size()) {
        const std::uint32_t n = Le32(b, p + 4);
        if (b.compare(p, 4, "data") == 0) {
            at = p + 8;
            size = std::min<std::size_t>(n, b.size() - at);
            return true;
        }
        p += 8 + static_cast<std::size_t>(n) + (n & 1);
    }
    return false;
}

bool IsWave(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".wav";
}

std::string Plural(std::uint64_t n, const char* one) {
    return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

}  // namespace

std::string SignedOffset(int offset) { return (offset > 0 ? "+" : "") + std::to_string(offset); }

CtdbRecorder::CtdbRecorder(const cdrom::DiscInfo& disc, const rip::RipSettings& settings)
    : settings_(settings), toc_(ctdb::CtdbTocOf(disc)) {
    if (toc_.Valid()) sums_ = std::make_unique<ctdb::CtdbSums>(toc_);
}

CtdbRecorder::~CtdbRecorder() = default;

void CtdbRecorder::BeginTrack(int number) {
    feeding_ = false;
    if (!sums_ || broken_) return;
    const auto at = std::find(toc_.numbers.begin(), toc_.numbers.end(), number);
    if (at == toc_.numbers.end()) return;  // a data track or one beyond the audio run
    const auto index = static_cast<int>(at - toc_.numbers.begin());
    const std::uint64_t expected =
        4ULL * toc_.starts[static_cast<std::size_t>(index)] * kSamplesPerSector;
    if (index != next_ || sums_->BytesSeen() != expected) {
        broken_ = true;
        return;
    }
    feeding_ = true;
}

void CtdbRecorder::Written(const std::uint8_t* data, std::size_t size) {
    if (feeding_ && !broken_) sums_->Update(data, size);
}

void CtdbRecorder::EndTrack(bool read) {
    if (!feeding_) return;
    feeding_ = false;
    const std::size_t following = static_cast<std::size_t>(next_) + 1;
    const std::uint64_t end = following < toc_.starts.size()
                                  ? 4ULL * toc_.starts[following] * kSamplesPerSector
                                  : 4 * toc_.Samples();
    if (!read || sums_->BytesSeen() != end) broken_ = true;
    ++next_;
}

CtdbRipResult CtdbRecorder::Finish(const std::vector<CtdbTrackFile>& files,
                                   const std::function<bool()>& cancelled) {
    CtdbRipResult r;
    r.tocId = toc_.tocId;
    r.trackNumbers = toc_.numbers;
    const std::size_t tracks = toc_.numbers.size();
    auto every = [&](const std::string& verdict) {
        r.discVerdict = verdict;
        r.trackVerdicts.assign(tracks, verdict);
    };
    r.status = "unavailable";
    if (!sums_ || !sums_->Usable()) {
        r.message = "the disc's audio is too short for the database";
        every("not checked");
        return r;
    }
    if (broken_ || !sums_->Complete()) {
        r.message = "not checked: the disc's audio was not ripped whole";
        every("not checked");
        return r;
    }
    const std::string server =
        settings_.ctdbServer.empty() ? std::string(ctdb::kDefaultCtdbServer) : settings_.ctdbServer;
    const ctdb::CtdbReply reply = ctdb::LookupCtdb(server, toc_, cancelled);
    r.message = reply.message;
    if (reply.status == ctdb::CtdbStatus::NotFound) {
        r.status = "not-found";
        every("not present in database");
        return r;
    }
    if (reply.status != ctdb::CtdbStatus::Found) {
        every("database unavailable");
        return r;
    }

    // Every entry where it lies against the rip.
    std::vector<ctdb::EntryCheck> checks;
    int best = -1;
    for (const ctdb::CtdbEntry& e : reply.entries) {
        const ctdb::EntryCheck c = ctdb::CheckEntry(*sums_, e);
        CtdbEntryResult out{e.id, e.confidence, e.crc32, c.located && c.crcMatch, c.offset, {}};
        out.located = c.located;
        for (std::size_t i = 0; i < c.trackMatch.size(); ++i)
            out.tracks.push_back({e.trackCrcs[i], c.trackMatch[i]});
        if (out.crcMatch &&
            (best < 0 || e.confidence > reply.entries[static_cast<std::size_t>(best)].confidence))
            best = static_cast<int>(r.entries.size());
        r.entries.push_back(std::move(out));
        checks.push_back(c);
    }
    auto matched = [](int confidence, int offset) {
        return "accurately ripped" +
               (offset ? " with offset " + SignedOffset(offset) : std::string()) + " (confidence " +
               std::to_string(confidence) + ")";
    };
    // Per track: the most confident entry that agrees with it.
    r.trackVerdicts.assign(tracks, "differs from the database");
    r.trackConfidence.assign(tracks, 0);
    for (std::size_t i = 0; i < tracks; ++i) {
        int confidence = 0, offset = 0;
        for (const CtdbEntryResult& e : r.entries) {
            const bool agrees = i < e.tracks.size() ? e.tracks[i].second : e.crcMatch;
            if (agrees && e.confidence > confidence) {
                confidence = e.confidence;
                offset = e.offset;
            }
        }
        if (confidence > 0) r.trackVerdicts[i] = matched(confidence, offset);
        r.trackConfidence[i] = confidence;
    }
    if (best >= 0) {
        const CtdbEntryResult& e = r.entries[static_cast<std::size_t>(best)];
        r.status = "verified";
        r.discVerdict = matched(e.confidence, e.offset);
        return r;
    }

    // The rip differs: mend it from the most confident located entry with parity.
    r.status = "differs";
    r.repairable = false;
    r.discVerdict = "differs from the database, cannot be repaired";
    int source = -1;
    for (std::size_t i = 0; i < reply.entries.size(); ++i) {
        const ctdb::CtdbEntry& e = reply.entries[i];
        if (!checks[i].located || e.syndrome.empty() || e.parityUrl.empty()) continue;
        if (source < 0 || e.confidence > reply.entries[static_cast<std::size_t>(source)].confidence)
            source = static_cast<int>(i);
    }
    if (source < 0) {
        r.repairLines.push_back("CTDB: cannot be repaired: no entry with parity lies within reach");
        return r;
    }
    const ctdb::CtdbEntry& entry = reply.entries[static_cast<std::size_t>(source)];
    const int offset = checks[static_cast<std::size_t>(source)].offset;
    ctdb::Repair repair;
    for (int npar : ParityStages(entry.npar)) {
        const ctdb::ParityFetch parity = ctdb::FetchParity(server, entry, npar, cancelled);
        if (!parity.ok) {
            repair.why = parity.why;
            break;
        }
        repair = ctdb::RepairFromParity(*sums_, entry, offset, parity.rows, npar);
        if (repair.ok) break;
    }
    if (!repair.ok) {
        r.repairLines.push_back("CTDB: cannot be repaired: " + repair.why);
        return r;
    }
    r.repairable = true;

    // The fixes per track, as runs of samples.
    struct Run {
        std::uint64_t first, last;
    };
    std::map<std::size_t, std::vector<ctdb::WordFix>> perTrack;
    std::map<std::size_t, std::vector<Run>> runs;
    for (const ctdb::WordFix& f : repair.fixes) {
        const std::uint64_t sample = f.word / 2;
        std::size_t t = 0;
        while (t + 1 < tracks && std::uint64_t{toc_.starts[t + 1]} * kSamplesPerSector <= sample)
            ++t;
        perTrack[t].push_back(f);
        std::vector<Run>& list = runs[t];
        if (!list.empty() && sample <= list.back().last + 1)
            list.back().last = std::max(list.back().last, sample);
        else
            list.push_back({sample, sample});
    }
    for (const auto& [t, list] : runs) {
        std::uint64_t samples = 0;
        for (const Run& run : list)
            samples += run.last - run.first + 1;
        r.trackVerdicts[t] = "differs in " + Plural(samples, "sample");
    }
    r.discVerdict = "differs in " + Plural(repair.samples, "sample") + ", can be repaired";
    if (!settings_.ctdbRepair) {
        r.repairLines.push_back("CTDB: " + Plural(repair.samples, "sample") +
                                " can be repaired from the database (with --repair)");
        return r;
    }

    if (!layout_.empty()) {
        if (!MendThroughLayout(repair.fixes, r)) return r;
    } else {
        // Every file mended in memory first; none is written unless all can be.
        std::vector<std::pair<std::string, std::string>> mended;  // path, bytes
        std::vector<std::pair<std::string, std::string>> originals;
        for (const auto& [t, fixes] : perTrack) {
            const int number = toc_.numbers[t];
            const auto file = std::find_if(files.begin(), files.end(), [&](const CtdbTrackFile& f) {
                return f.number == number;
            });
            std::string why;
            std::string bytes;
            std::size_t at = 0, size = 0;
            const std::uint64_t start = std::uint64_t{toc_.starts[t]} * kSamplesPerSector;
            const std::uint64_t end = t + 1 < tracks
                                          ? std::uint64_t{toc_.starts[t + 1]} * kSamplesPerSector
                                          : toc_.Samples();
            if (file == files.end() || file->file.empty() || !file->read) {
                why = "its file is missing";
            } else if (!IsWave(file->file)) {
                why = "only WAVE files are repaired in place";
            } else if (!fs::ReadFile(file->file, 4 * (end - start) + (1u << 20), bytes).ok()) {
                why = "its file cannot be read";
            } else if (!WaveData(bytes, at, size) || size != 4 * (end - start)) {
                why = "its file does not hold the track's samples";
            }
            if (!why.empty()) {
                r.repairLines.push_back("CTDB: cannot repair track " + std::to_string(number) +
                                        ": " + why + "; nothing was changed");
                return r;
            }
            originals.push_back({file->file, bytes});
            for (const ctdb::WordFix& f : fixes) {
                const std::size_t byte = at + static_cast<std::size_t>(2 * f.word - 4 * start);
                bytes[byte] = static_cast<char>(bytes[byte] ^ (f.delta & 0xFF));
                bytes[byte + 1] = static_cast<char>(bytes[byte + 1] ^ (f.delta >> 8));
            }
            mended.push_back(
                {file->writeTo.empty() ? file->file : file->writeTo, std::move(bytes)});
        }
        for (std::size_t i = 0; i < mended.size(); ++i) {
            const bool inPlace = mended[i].first == originals[i].first;
            if (settings_.keepDamaged && inPlace) {
                fs::WriteOptions fresh;
                fresh.mustBeNew = true;
                const fs::Status kept = fs::WriteFileAtomically(originals[i].first + ".damaged",
                                                                originals[i].second, fresh);
                if (!kept.ok()) {
                    r.repairLines.push_back("CTDB: cannot keep " + originals[i].first +
                                            ".damaged: " + kept.message +
                                            "; the file was not repaired");
                    return r;
                }
            }
            fs::WriteOptions options;
            options.mustBeNew = !inPlace;  // a copy elsewhere never replaces a file
            const fs::Status written =
                fs::WriteFileAtomically(mended[i].first, mended[i].second, options);
            if (!written.ok()) {
                r.repairLines.push_back("CTDB: cannot write the repaired " + mended[i].first +
                                        ": " + written.message);
                return r;
            }
            r.written.push_back(mended[i].first);
        }
    }
    for (const auto& [t, list] : runs) {
        const std::uint64_t start = std::uint64_t{toc_.starts[t]} * kSamplesPerSector;
        for (const Run& run : list) {
            const auto frame = static_cast<std::uint32_t>((run.first - start) / kSamplesPerSector);
            r.repairLines.push_back("CTDB: repaired track " + std::to_string(toc_.numbers[t]) +
                                    " at " + rip::TrackPosition(frame) + ", " +
                                    Plural(run.last - run.first + 1, "sample"));
        }
        r.trackVerdicts[t] =
            "repaired (" + r.trackVerdicts[t].substr(std::strlen("differs in ")) + ")";
        r.trackConfidence[t] = entry.confidence;
    }
    r.status = "repaired";
    r.discVerdict = "repaired " + Plural(repair.samples, "sample") + " (confidence " +
                    std::to_string(entry.confidence) + ")";
    return r;
}

bool CtdbRecorder::MendThroughLayout(const std::vector<ctdb::WordFix>& fixes, CtdbRipResult& r) {
    struct Patch {
        std::uint64_t byte;
        std::uint16_t delta;
    };
    std::map<std::size_t, std::vector<Patch>> patches;  // per extent's file, by extent index
    std::map<std::string, std::size_t> firstExtent;     // file -> its first extent's index
    for (const ctdb::WordFix& f : fixes) {
        const std::uint64_t sample =
            std::uint64_t{toc_.audioStart} * kSamplesPerSector + f.word / 2;
        const std::uint64_t lba = sample / kSamplesPerSector;
        const auto e = std::find_if(layout_.begin(), layout_.end(), [&](const CtdbFileExtent& x) {
            return !x.file.empty() && lba >= x.lba && lba < std::uint64_t{x.lba} + x.frames;
        });
        const std::uint64_t byte = e == layout_.end()
                                       ? 0
                                       : e->fileByte + (lba - e->lba) * kSamplesPerSector * 4 +
                                             (sample % kSamplesPerSector) * 4 + (f.word % 2) * 2;
        if (e == layout_.end() || byte + 2 > e->fileEnd) {
            r.repairLines.push_back("CTDB: cannot repair sector " + std::to_string(lba) +
                                    ": no file holds it; nothing was written");
            return false;
        }
        const std::size_t owner =
            firstExtent.emplace(e->file, static_cast<std::size_t>(e - layout_.begin()))
                .first->second;
        patches[owner].push_back(
            {byte,
             e->bigEndian ? static_cast<std::uint16_t>(f.delta << 8 | f.delta >> 8) : f.delta});
    }
    // Every mended copy complete before any is committed.
    std::vector<std::unique_ptr<fs::AtomicFile>> outputs;
    for (const auto& [index, list] : patches) {
        const CtdbFileExtent& e = layout_[index];
        fs::Status status;
        const int fd = fs::OpenForReading(e.file, status);
        auto out = std::make_unique<fs::AtomicFile>();
        fs::WriteOptions fresh;
        fresh.mustBeNew = true;
        if (fd >= 0 && status.ok()) status = out->Open(e.writeTo, fresh);
        if (fd >= 0 && status.ok()) status = out->CopyFrom(fd, e.file);
        for (const Patch& p : list) {
            if (!status.ok()) break;
            std::uint8_t two[2] = {};
            if (::pread(fd, two, 2, static_cast<off_t>(p.byte)) != 2) {
                status.kind = fs::Status::Kind::Failed;
                status.message = e.file + ": cannot read the samples to mend";
                status.code = EIO;
                break;
            }
            two[0] = static_cast<std::uint8_t>(two[0] ^ (p.delta & 0xFF));
            two[1] = static_cast<std::uint8_t>(two[1] ^ (p.delta >> 8));
            status = out->WriteAt(static_cast<std::int64_t>(p.byte), two, 2);
        }
        if (fd >= 0) ::close(fd);
        if (!status.ok()) {
            r.repairLines.push_back("CTDB: cannot write the repaired " + e.writeTo + ": " +
                                    status.message + "; nothing was written");
            return false;
        }
        outputs.push_back(std::move(out));
    }
    std::size_t k = 0;
    for (const auto& [index, list] : patches) {
        const fs::Status committed = outputs[k++]->Commit();
        if (!committed.ok()) {
            r.repairLines.push_back("CTDB: cannot write the repaired " + layout_[index].writeTo +
                                    ": " + committed.message);
            return false;
        }
        r.written.push_back(layout_[index].writeTo);
    }
    return true;
}

}  // namespace orvane::cdda
