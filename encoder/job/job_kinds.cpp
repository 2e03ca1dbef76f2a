#include "encoder/job/job_kinds.h"

#include <map>
#include <mutex>

#include "encoder/job/parallel_batch.h"

namespace orvane::encoder {

namespace {

std::mutex& TableMutex() {
    static std::mutex m;
    return m;
}

std::map<JobKind, JobKindEntry>& Table() {
    static std::map<JobKind, JobKindEntry> table = [] {
        std::map<JobKind, JobKindEntry> t;
        auto add = [&t](JobKindEntry e) { t[e.kind] = std::move(e); };
        add({JobKind::EncodeMp3, "", "mp3", "MP3", ".MP3", "*.WAV", nullptr, nullptr});
        add({JobKind::Decode, "--decode", "wav", "WAVE", ".WAV", "*.MP3", nullptr, nullptr});
        add({JobKind::EncodeWma, "--wma", "wma", "WMA", ".WMA", "*.WAV", nullptr, nullptr});
        add({JobKind::EncodeFlac, "--flac", "flac", "FLAC", ".FLAC", "*.WAV", nullptr, nullptr});
        add({JobKind::EncodeOpus, "--opus", "opus", "Opus", ".OPUS", "*.WAV", nullptr, nullptr});
        // Its files are those of the library's plan, each written by the chosen format's job;
        // plimo-job's --library reads options of its own (programs/plimo-job/library_command.h).
        add({kConvertLibrary, "", "", "Music Library", "", "", nullptr, nullptr});
        return t;
    }();
    return table;
}

}  // namespace

void RegisterKind(JobKind kind, JobFactory factory,
                  std::shared_ptr<const ParallelBatchKind> batch) {
    std::lock_guard lock(TableMutex());
    JobKindEntry& entry = Table()[kind];
    entry.kind = kind;
    entry.factory = std::move(factory);
    entry.batch = std::move(batch);
}

JobKindEntry KindEntry(JobKind kind) {
    std::lock_guard lock(TableMutex());
    auto it = Table().find(kind);
    if (it != Table().end()) return it->second;
    JobKindEntry none;
    none.kind = kind;
    return none;
}

std::optional<JobKind> KindByOption(const std::string& option) {
    std::lock_guard lock(TableMutex());
    for (const auto& [kind, entry] : Table())
        if (!option.empty() && entry.option == option) return kind;
    return std::nullopt;
}

std::optional<JobKind> KindByFormat(const std::string& format) {
    std::lock_guard lock(TableMutex());
    for (const auto& [kind, entry] : Table())
        if (!format.empty() && entry.format == format) return kind;
    return std::nullopt;
}

}  // namespace orvane::encoder
