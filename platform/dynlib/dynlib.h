#pragma once
// Libraries loaded at run time, by the names the calling code was written with.
//
// A bare name ending in ".dll" ("wnaspi32.dll") stands for the shared object "lib" + its base
// name in lower case + ".so" ("libwnaspi32.so") in the program folder; a name holding a '/' is
// used as given. The program folder is the folder of the running program, or the folder named
// by ORVANE_DIST when that is set (tools and tests that run from outside the program folder).

#include <string>

#include "platform/base/wintypes.h"

using HMODULE = void*;
using FARPROC = void (*)();

namespace orvane::dynlib {

// The file a library name stands for.
std::string LibraryPath(const std::string& name);
// The text of the last failure of LoadLibraryA or GetProcAddress on this thread.
std::string LastError();

}  // namespace orvane::dynlib

// Null when the library cannot be loaded (LastError says why).
HMODULE LoadLibraryA(LPCSTR name);
// Null when the library has no such entry point.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
