#include "encoder/job/job_notice.h"

namespace orvane::encoder {

std::string JobAlbum(const JobRequest& request) {
    for (int n = 1; n < TagTable::kEntries; ++n) {
        const std::string& full = request.FullTags(n).Get(tags::TagField::Album);
        if (!full.empty()) return full;
        const std::string record = request.tags[n].Album();
        if (!record.empty()) return record;
    }
    return {};
}

JobNotice MakeJobNotice(const JobRequest& request, const JobOutcome& outcome,
                        const std::string& ripOutcome) {
    JobNotice notice;
    notice.failed = outcome.result == JobResult::Failed;
    notice.summary = outcome.result == JobResult::Succeeded ? kNoticeDone
                     : notice.failed                        ? kNoticeFailed
                                                            : kNoticeCancelled;
    std::string first = outcome.message.substr(0, outcome.message.find('\n'));
    if (!first.empty() && first.back() == '\r') first.pop_back();
    notice.body = first;
    const auto line = [&notice](const std::string& text) {
        if (!text.empty()) notice.body += (notice.body.empty() ? "" : "\n") + text;
    };
    if (request.CdAudio()) {
        const std::string album = JobAlbum(request);
        if (!album.empty()) line("Album: " + album);
        line(ripOutcome);
    }
    return notice;
}

JobWindowHooks& TheJobWindowHooks() {
    static JobWindowHooks hooks;
    return hooks;
}

}  // namespace orvane::encoder
