#include "platform/audio/audio_sink.h"
#include "platform/clock/clock.h"

namespace orvane::audio {

NullSink::NullSink() : startMs_(orvane::clock::Current().NowMs()) {}

bool NullSink::Write(const void*, std::size_t bytes) {
    total_ += bytes;
    return true;
}

std::uint64_t NullSink::PlayedUs() {
    std::uint64_t now = orvane::clock::Current().NowMs();
    return now > startMs_ ? (now - startMs_) * 1000 : 0;
}

void NullSink::Flush() { startMs_ = orvane::clock::Current().NowMs(); }

}  // namespace orvane::audio
