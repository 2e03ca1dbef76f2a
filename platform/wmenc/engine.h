#pragma once
// One encoding run: a WAVE file in, an ASF file with Windows Media Audio 2 out. The input is
// read in packets (never whole), converted to the profile's sample rate and channel count and
// encoded at its bitrate.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/wmenc/profiles.h"

namespace orvane::wmenc {

struct DisplayTexts {
    std::string title, author, copyright, rating, description;  // UTF-8
};

// Texts under names of the container's own ("WM/AlbumTitle"), in the order they were given.
using Attributes = std::vector<std::pair<std::string, std::string>>;

struct EngineSettings {
    std::string input, output;
    ProfileData profile;
    DisplayTexts texts;
    Attributes attributes;  // UTF-8
};

// What a running session has done so far; read from other threads.
struct EngineProgress {
    std::atomic<std::int64_t> encodedMs{0};    // input time consumed
    std::atomic<std::int64_t> fileBytes{0};    // bytes of the output file written
    std::atomic<std::int64_t> payloadBits{0};  // bits of encoded audio
    std::atomic<std::int64_t> payloadMs{0};    // duration of the encoded audio
};

class EncodeSession {
public:
    EncodeSession();
    ~EncodeSession();
    EncodeSession(const EncodeSession&) = delete;
    EncodeSession& operator=(const EncodeSession&) = delete;

    // Opens the input and the codecs and creates the output with its header. On failure
    // returns false with a description and leaves no output file.
    bool Open(const EngineSettings& settings, std::string* error);

    enum class Step { More, End, Failed };
    // Reads and encodes the next input packet.
    Step Next(std::string* error);
    // Drains the codec and finishes the file (header sizes, index). The file stays valid
    // whether or not the input was read to its end.
    bool Finish(std::string* error);
    // Gives up the output: closes and removes it.
    void Abandon();

    const EngineProgress& Progress() const { return progress_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    EngineProgress progress_;
};

}  // namespace orvane::wmenc
