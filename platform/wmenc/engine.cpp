// EncodeSession over the encoding engine's shared object, loaded from the program folder the
// first time a session is made.
#include "platform/wmenc/engine.h"

#include <mutex>

#include "platform/dynlib/dynlib.h"
#include "platform/wmenc/engine_module.h"

namespace orvane::wmenc {

namespace {

struct Loaded {
    const EngineApi* api = nullptr;
    std::string error;  // why it is not there
};

const Loaded& Engine() {
    static Loaded loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        // Kept loaded for the rest of the process: sessions may end at any time.
        HMODULE module = LoadLibraryA(kEngineLibrary);
        auto entry =
            module ? reinterpret_cast<EngineEntry>(GetProcAddress(module, kEngineEntry)) : nullptr;
        const EngineApi* api = entry ? entry() : nullptr;
        if (api && api->version == kEngineApiVersion)
            loaded.api = api;
        else
            loaded.error = "The encoding engine " + dynlib::LibraryPath(kEngineLibrary) +
                           " cannot be used: " +
                           (api ? std::string("it is of another version") : dynlib::LastError());
    });
    return loaded;
}

}  // namespace

struct EncodeSession::Impl {
    const EngineApi* api = nullptr;
    EngineHandle* session = nullptr;
};

EncodeSession::EncodeSession() : impl_(std::make_unique<Impl>()) {
    impl_->api = Engine().api;
    if (impl_->api) impl_->session = impl_->api->create(&progress_);
}

EncodeSession::~EncodeSession() {
    if (impl_->session) impl_->api->destroy(impl_->session);
}

bool EncodeSession::Open(const EngineSettings& settings, std::string* error) {
    if (!impl_->session) {
        *error = Engine().error;
        return false;
    }
    return impl_->api->open(impl_->session, settings, error);
}

EncodeSession::Step EncodeSession::Next(std::string* error) {
    if (!impl_->session) {
        *error = Engine().error;
        return Step::Failed;
    }
    return static_cast<Step>(impl_->api->next(impl_->session, error));
}

bool EncodeSession::Finish(std::string* error) {
    if (!impl_->session) {
        *error = Engine().error;
        return false;
    }
    return impl_->api->finish(impl_->session, error);
}

void EncodeSession::Abandon() {
    if (impl_->session) impl_->api->abandon(impl_->session);
}

}  // namespace orvane::wmenc
