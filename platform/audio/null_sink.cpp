#include "platform/audio/audio_sink.h"
#include "platform/clock/clock.h"

namespace orvane::audio {

NullSink::NullSink() = default;

std::uint64_t NullSink::NowUs() { return orvane::clock::Current().NowMs() * 1000; }

bool NullSink::Write(const void*, std::size_t bytes) {
    std::uint64_t now = NowUs();
    if (idle_) {
        endUs_ = now;
        idle_ = false;
    }
    written_ += bytes;
    // Exact arithmetic: keep the bytes that do not make a whole microsecond for the next write,
    // so long playback does not drift through rounding.
    std::uint64_t total = fractionBytes_ + std::uint64_t{bytes} * 1000000;
    endUs_ += total / kBytesPerSecond;
    fractionBytes_ = total % kBytesPerSecond;
    return true;
}

std::uint64_t NullSink::QueuedUs() {
    std::uint64_t now = NowUs();
    return endUs_ > now ? endUs_ - now : 0;
}

void NullSink::Flush() {
    endUs_ = NowUs();
    fractionBytes_ = 0;
    idle_ = true;
}

}  // namespace orvane::audio
