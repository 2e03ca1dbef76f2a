#include "encoder/mp3/mp3_jobs.h"

#include "encoder/job/job_kinds.h"

namespace orvane::encoder {

void RegisterMp3Jobs() {
    RegisterKind(
        JobKind::EncodeMp3, [](const JobRequest&) { return MakeMp3EncodeJob(); },
        std::make_shared<const ParallelBatchKind>(Mp3EncodeBatch()));
    RegisterKind(
        JobKind::Decode, [](const JobRequest&) { return MakeMp3DecodeJob(); },
        std::make_shared<const ParallelBatchKind>(Mp3DecodeBatch()));
}

}  // namespace orvane::encoder
