#include "platform/wmenc/com.h"

#include <cstdio>
#include <mutex>

#include "platform/wmenc/objects.h"
#include "platform/wmenc/wmenc.h"

namespace orvane::wmenc {

namespace {

thread_local int initCount = 0;

std::mutex& HookMutex() {
    static std::mutex m;
    return m;
}

CallHook& Hook() {
    static CallHook hook;
    return hook;
}

}  // namespace

std::string ToString(const GUID& id) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(id.data1), id.data2, id.data3, id.data4[0], id.data4[1],
                  id.data4[2], id.data4[3], id.data4[4], id.data4[5], id.data4[6], id.data4[7]);
    return text;
}

HRESULT IUnknown::QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>* out) {
    if (!out) return E_POINTER;
    if (!Implements(iid)) return E_NOINTERFACE;
    *out = shared_from_this();
    return S_OK;
}

bool IUnknown::Implements(const GUID& iid) const {
    return iid == IID_IUnknown || iid == IID_IDispatch;
}

bool IErrorInfo::Implements(const GUID& iid) const {
    return iid == IID_IErrorInfo || IUnknown::Implements(iid);
}

HRESULT CoInitialize(void*) {
    if (HRESULT hr = EnterCall("CoInitialize"); hr != S_OK) return hr;
    return initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    EnterCall("CoUninitialize");
    if (initCount > 0) --initCount;
}

HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, DWORD context, const GUID& iid,
                         std::shared_ptr<IUnknown>* out) {
    if (HRESULT hr = EnterCall("CoCreateInstance"); hr != S_OK) return hr;
    if (!out) return E_POINTER;
    if (initCount == 0) return CO_E_NOTINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!(clsid == CLSID_WMEncoder) || !(context & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    std::shared_ptr<IUnknown> object;
    if (HRESULT hr = CreateEncoderObject(&object); FAILED(hr)) return hr;
    return object->QueryInterface(iid, out);
}

void SetCallHook(CallHook hook) {
    std::lock_guard lock(HookMutex());
    Hook() = std::move(hook);
}

HRESULT EnterCall(std::string_view call) {
    CallHook hook;
    {
        std::lock_guard lock(HookMutex());
        hook = Hook();
    }
    return hook ? hook(call) : S_OK;
}

}  // namespace orvane::wmenc
