#include <pulse/error.h>
#include <pulse/simple.h>

#include <cstdlib>
#include <mutex>

#include "platform/audio/audio_sink.h"

namespace orvane::audio {

namespace {

class PulseSink final : public AudioSink {
public:
    explicit PulseSink(pa_simple* s) : s_(s) {}
    ~PulseSink() override { pa_simple_free(s_); }
    std::string Name() const override { return "pulse"; }

    bool Write(const void* data, std::size_t bytes) override {
        int error = 0;
        if (pa_simple_write(s_, data, bytes, &error) != 0) return false;
        written_ += bytes;
        return true;
    }
    // What was written minus what the server still holds before the speaker.
    std::uint64_t PlayedUs() override {
        int error = 0;
        pa_usec_t latency = pa_simple_get_latency(s_, &error);
        std::uint64_t written = BytesToUs(written_);
        if (latency == static_cast<pa_usec_t>(-1)) return written;
        return written > latency ? written - latency : 0;
    }
    void Flush() override {
        int error = 0;
        pa_simple_flush(s_, &error);
        written_ = 0;
    }
    std::uint32_t BufferMs() const override { return 250; }

private:
    pa_simple* s_;
    std::uint64_t written_ = 0;  // bytes of the current stream
};

std::mutex gFactoryMutex;
SinkFactory gFactory;

}  // namespace

std::unique_ptr<AudioSink> OpenPulseSink(const std::string& streamName, std::string& error) {
    pa_sample_spec sampleFormat{};
    sampleFormat.format = PA_SAMPLE_S16LE;
    sampleFormat.rate = kSampleRate;
    sampleFormat.channels = kChannels;
    // A server-side buffer of about 300 ms: writes rarely block, flushes take effect at once.
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = kBytesPerSecond * 3 / 10;
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(-1);
    int code = 0;
    pa_simple* s = pa_simple_new(nullptr, "Orvane", PA_STREAM_PLAYBACK, nullptr, streamName.c_str(),
                                 &sampleFormat, nullptr, &attr, &code);
    if (!s) {
        error = std::string("sound server: ") + pa_strerror(code);
        return nullptr;
    }
    return std::make_unique<PulseSink>(s);
}

std::unique_ptr<AudioSink> OpenSink(const std::string& streamName) {
    {
        std::lock_guard lock(gFactoryMutex);
        if (gFactory) return gFactory();
    }
    const char* choice = std::getenv("ORVANE_AUDIO");
    if (choice && std::string(choice) == "null") return std::make_unique<NullSink>();
    std::string error;
    if (auto sink = OpenPulseSink(streamName, error)) return sink;
    return std::make_unique<NullSink>();
}

void InstallSinkFactory(SinkFactory factory) {
    std::lock_guard lock(gFactoryMutex);
    gFactory = std::move(factory);
}

}  // namespace orvane::audio
