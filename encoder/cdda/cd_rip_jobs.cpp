#include "encoder/cdda/cd_rip_jobs.h"

#include <algorithm>

#include "encoder/cdda/multi_format_job.h"

namespace orvane::cdda {

std::vector<encoder::JobKind> CdFormatsOf(const encoder::JobRequest& request) {
    std::vector<encoder::JobKind> kinds{request.kind};
    for (encoder::JobKind kind : request.formats.cdAlso)
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
    return kinds;
}

std::unique_ptr<encoder::Job> MakeCdRipJob(const encoder::JobRequest& request,
                                           const FlacImageWriterFor& flacImage) {
    if (!request.CdAudio() || request.OneItem()) return nullptr;
    const std::vector<encoder::JobKind> kinds = CdFormatsOf(request);
    if (request.cd.rip.image) {
        const bool flac =
            std::find(kinds.begin(), kinds.end(), encoder::JobKind::EncodeFlac) != kinds.end();
        return MakeDiscImageJob(flac && flacImage ? flacImage(request) : FlacImageWriter{});
    }
    if (kinds.size() > 1) return MakeMultiFormatJob(kinds, request.formatFolders);
    return nullptr;
}

void InstallCdRipJobs(FlacImageWriterFor flacImage) {
    encoder::SetCdRipJobFactory([flacImage](const encoder::JobRequest& request) {
        return MakeCdRipJob(request, flacImage);
    });
}

}  // namespace orvane::cdda
