#pragma once
// The small object runtime the encoder objects live in: result codes, class and interface
// identifiers, per-thread initialisation, object creation by class id and interface queries.
// References are shared pointers; dropping one releases the object.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/base/wintypes.h"

namespace orvane::wmenc {

using HRESULT = std::int32_t;

constexpr HRESULT MakeResult(std::uint32_t code) { return static_cast<HRESULT>(code); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002u);
constexpr HRESULT E_POINTER = MakeResult(0x80004003u);
constexpr HRESULT E_FAIL = MakeResult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057u);
constexpr HRESULT E_ACCESSDENIED = MakeResult(0x80070005u);
constexpr HRESULT E_FILE_NOT_FOUND = MakeResult(0x80070002u);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeResult(0x80040110u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeResult(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = MakeResult(0x800401F0u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;

using VARIANT_BOOL = short;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct GUID {
    std::uint32_t data1;
    std::uint16_t data2, data3;
    std::uint8_t data4[8];

    friend bool operator==(const GUID& a, const GUID& b) {
        if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.data4[i] != b.data4[i]) return false;
        return true;
    }
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string ToString(const GUID& id);

constexpr GUID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// Every object is an automation object: it answers IID_IUnknown and IID_IDispatch besides its
// own interface.
class IUnknown : public std::enable_shared_from_this<IUnknown> {
public:
    virtual ~IUnknown() = default;
    // Another interface of the object, or E_NOINTERFACE.
    virtual HRESULT QueryInterface(const GUID& iid, std::shared_ptr<IUnknown>* out);

protected:
    virtual bool Implements(const GUID& iid) const;
};

// The description of the last failure of an object.
class IErrorInfo : public IUnknown {
public:
    virtual HRESULT GetDescription(std::string* text) = 0;

protected:
    bool Implements(const GUID& iid) const override;
};

// A reference to an interface as T, or nothing when the object is not a T.
template <class T>
std::shared_ptr<T> As(const std::shared_ptr<IUnknown>& p) {
    return std::dynamic_pointer_cast<T>(p);
}

// The argument holder of the calls that take one: only the empty and the object kinds.
constexpr unsigned short VT_EMPTY = 0;
constexpr unsigned short VT_DISPATCH = 9;
struct VARIANT {
    unsigned short vt = VT_EMPTY;
    std::shared_ptr<IUnknown> pdispVal;
};

// Per-thread initialisation; objects are created only on an initialised thread. The first
// CoInitialize of a thread answers S_OK, the next ones S_FALSE; each needs its CoUninitialize.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();

// Creates an object of a known class and asks it for iid. The encoder class is known once its
// component is installed (its profile folder registered).
HRESULT CoCreateInstance(const GUID& clsid, IUnknown* outer, DWORD context, const GUID& iid,
                         std::shared_ptr<IUnknown>* out);

// Every named call of the encoder objects passes through this hook first (tests record the
// order of the calls and make chosen ones fail). A result other than S_OK is the call's
// result and the call does nothing else. No hook: every call goes on.
using CallHook = std::function<HRESULT(std::string_view call)>;
void SetCallHook(CallHook hook);
HRESULT EnterCall(std::string_view call);

}  // namespace orvane::wmenc
