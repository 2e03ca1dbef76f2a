#include "platform/base/event.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

namespace {

struct Event {
    std::mutex mutex;
    std::condition_variable signalled;
    bool manualReset = false;
    bool state = false;
};

// Live events by handle. A handle is checked here before use, so a stale or foreign handle is
// refused instead of dereferenced; the shared pointer keeps an event alive while a call uses it.
std::mutex& TableMutex() {
    static std::mutex m;
    return m;
}
std::map<HANDLE, std::shared_ptr<Event>>& Table() {
    static std::map<HANDLE, std::shared_ptr<Event>> t;
    return t;
}

std::shared_ptr<Event> Lookup(HANDLE h) {
    std::lock_guard lock(TableMutex());
    auto it = Table().find(h);
    return it == Table().end() ? nullptr : it->second;
}

}  // namespace

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, LPCSTR) {
    auto e = std::make_shared<Event>();
    e->manualReset = manualReset != FALSE;
    e->state = initialState != FALSE;
    std::lock_guard lock(TableMutex());
    Table()[e.get()] = e;
    return e.get();
}

BOOL SetEvent(HANDLE h) {
    auto e = Lookup(h);
    if (!e) return FALSE;
    {
        std::lock_guard lock(e->mutex);
        e->state = true;
    }
    if (e->manualReset)
        e->signalled.notify_all();
    else
        e->signalled.notify_one();
    return TRUE;
}

BOOL ResetEvent(HANDLE h) {
    auto e = Lookup(h);
    if (!e) return FALSE;
    std::lock_guard lock(e->mutex);
    e->state = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD ms) {
    auto e = Lookup(h);
    if (!e) return WAIT_FAILED;
    std::unique_lock lock(e->mutex);
    auto ready = [&] { return e->state; };
    if (ms == INFINITE) {
        e->signalled.wait(lock, ready);
    } else if (!e->signalled.wait_for(lock, std::chrono::milliseconds(ms), ready)) {
        return WAIT_TIMEOUT;
    }
    if (!e->manualReset) e->state = false;
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE h) {
    std::lock_guard lock(TableMutex());
    return Table().erase(h) ? TRUE : FALSE;
}
