#pragma once
// Sound output for CD audio (16-bit stereo at 44100 Hz). A sink takes samples without blocking
// for long and tells how much of what it took has not been heard yet, so a player can pace
// itself on the clock and report the position being heard.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orvane::audio {

constexpr std::uint32_t kSampleRate = 44100;
constexpr std::uint32_t kChannels = 2;
constexpr std::uint32_t kBytesPerSecond = kSampleRate * kChannels * 2;

class AudioSink {
public:
    virtual ~AudioSink() = default;
    virtual std::string Name() const = 0;
    // Queues samples; returns false when the output failed (the sink is then unusable).
    virtual bool Write(const void* data, std::size_t bytes) = 0;
    // Microseconds of queued audio not yet heard.
    virtual std::uint64_t QueuedUs() = 0;
    // Drops queued audio at once (pause, stop, seek).
    virtual void Flush() = 0;
    // How much audio the player should keep queued ahead, in milliseconds.
    virtual std::uint32_t BufferMs() const = 0;
};

// A sink that plays nothing and consumes samples in step with orvane::clock. A stream starts
// with the first write after construction or Flush; each later write follows the audio before
// it, so a writer that comes late (a slow read, a thread that ran behind virtual time) does not
// shift the timeline: the queue is simply empty until the writer catches up.
class NullSink final : public AudioSink {
public:
    NullSink();
    std::string Name() const override { return "null"; }
    bool Write(const void* data, std::size_t bytes) override;
    std::uint64_t QueuedUs() override;
    void Flush() override;
    std::uint32_t BufferMs() const override { return 1000; }
    // Total bytes taken so far.
    std::uint64_t BytesWritten() const { return written_; }

private:
    std::uint64_t NowUs();
    std::uint64_t endUs_ = 0;          // clock time when the queued audio ends
    std::uint64_t written_ = 0;        // bytes taken
    std::uint64_t fractionBytes_ = 0;  // bytes not yet turned into whole microseconds
    bool idle_ = true;                 // no stream since construction or Flush
};

// A sink on the PulseAudio simple API (PipeWire serves it too). Null with a message when no
// sound server answers.
std::unique_ptr<AudioSink> OpenPulseSink(const std::string& streamName, std::string& error);

// The sink for a player: the installed factory if any; else a null sink when $ORVANE_AUDIO is
// "null"; else the sound server, falling back to a null sink when it does not answer.
std::unique_ptr<AudioSink> OpenSink(const std::string& streamName);
using SinkFactory = std::function<std::unique_ptr<AudioSink>()>;
// Installs a factory for OpenSink (tests); an empty function restores the default.
void InstallSinkFactory(SinkFactory factory);

}  // namespace orvane::audio
