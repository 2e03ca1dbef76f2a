#include "platform/dynlib/dynlib.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/shell/sysinfo.h"

namespace orvane::dynlib {

namespace {
thread_local std::string tLastError;
}

std::string LibraryPath(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    std::string file = name;
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0)
        file = "lib" + lower.substr(0, lower.size() - 4) + ".so";
    std::string folder;
    if (const char* dist = std::getenv("ORVANE_DIST"); dist && *dist) {
        folder = dist;
        if (folder.back() != '/') folder += '/';
    } else {
        folder = shell::ModuleFolder();
    }
    return folder + file;
}

std::string LastError() { return tLastError; }

}  // namespace orvane::dynlib

HMODULE LoadLibraryA(LPCSTR name) {
    if (!name || !*name) {
        orvane::dynlib::tLastError = "no library name";
        return nullptr;
    }
    std::string path = orvane::dynlib::LibraryPath(name);
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        orvane::dynlib::tLastError = why ? why : path + ": cannot be loaded";
    }
    return handle;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (!module || !name) return nullptr;
    ::dlerror();
    void* symbol = ::dlsym(module, name);
    if (!symbol) {
        const char* why = ::dlerror();
        orvane::dynlib::tLastError = why ? why : std::string(name) + ": no such entry point";
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) { return module && ::dlclose(module) == 0 ? TRUE : FALSE; }
