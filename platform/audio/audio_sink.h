#pragma once
// Sound output for CD audio (16-bit stereo at 44100 Hz). A sink takes samples without blocking
// for long and tells how much of the current stream has been heard, so a player can pace itself
// on the clock and report the position being heard.

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
    // Microseconds of the current stream heard so far.
    virtual std::uint64_t PlayedUs() = 0;
    // Drops queued audio at once (pause, stop, seek) and starts a new stream.
    virtual void Flush() = 0;
    // How much audio the player should keep queued ahead, in milliseconds.
    virtual std::uint32_t BufferMs() const = 0;
};

// A sink that plays nothing: its stream is heard in step with orvane::clock from the moment
// of the last Flush (or its creation), whether or not the writer keeps up. The reported position
// is then the clock's own, and a writer that comes late (a slow read, a thread that runs behind
// virtual time) only has to catch up.
class NullSink final : public AudioSink {
public:
    NullSink();
    std::string Name() const override { return "null"; }
    bool Write(const void* data, std::size_t bytes) override;
    std::uint64_t PlayedUs() override;
    void Flush() override;
    std::uint32_t BufferMs() const override { return 1000; }
    // Total bytes taken so far.
    std::uint64_t BytesWritten() const { return total_; }

private:
    std::uint64_t startMs_ = 0;  // clock time the stream started
    std::uint64_t total_ = 0;
};

// Microseconds of audio in a number of bytes.
inline std::uint64_t BytesToUs(std::uint64_t bytes) { return bytes * 1000000 / kBytesPerSecond; }

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
