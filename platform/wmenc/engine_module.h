#pragma once
// The boundary between EncodeSession and the shared object that does the encoding over FFmpeg
// (libwmencengine.so in the program folder). Loading it only when a file is encoded keeps
// FFmpeg and the hundred libraries it needs out of every program's start-up. Both sides are
// built from this tree together, so C++ types pass as they are; the version guards against a
// stale copy.

#include <memory>
#include <string>

#include "platform/wmenc/engine.h"

namespace orvane::wmenc {

struct EngineHandle;

inline constexpr int kEngineApiVersion = 1;
inline constexpr const char* kEngineLibrary = "wmencengine.dll";  // libwmencengine.so
inline constexpr const char* kEngineEntry = "OrvaneWmencEngine";

struct EngineApi {
    int version;
    EngineHandle* (*create)(EngineProgress* progress);
    void (*destroy)(EngineHandle* session);
    bool (*open)(EngineHandle* session, const EngineSettings& settings, std::string* error);
    int (*next)(EngineHandle* session, std::string* error);  // an EncodeSession::Step
    bool (*finish)(EngineHandle* session, std::string* error);
    void (*abandon)(EngineHandle* session);
};

using EngineEntry = const EngineApi* (*)();

// The encoding run inside the shared object: EncodeSession's calls, reporting into the
// caller's progress.
class FfmpegSession {
public:
    using Step = EncodeSession::Step;
    explicit FfmpegSession(EngineProgress& progress);
    ~FfmpegSession();
    FfmpegSession(const FfmpegSession&) = delete;
    FfmpegSession& operator=(const FfmpegSession&) = delete;

    bool Open(const EngineSettings& settings, std::string* error);
    Step Next(std::string* error);
    bool Finish(std::string* error);
    void Abandon();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    EngineProgress& progress_;
};

}  // namespace orvane::wmenc

// The shared object's one entry point (kEngineEntry).
extern "C" const orvane::wmenc::EngineApi* OrvaneWmencEngine();
