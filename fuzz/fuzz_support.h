#pragma once
// What the fuzz targets share: a check that stops the run with a message (libFuzzer keeps the
// input that made it fail), and a scratch folder for the files a parser reads, made on first use
// and removed when the process ends normally. Set TMPDIR to a memory file system for speed.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "tests/support/temp_dir.h"

// The entry point every target defines; libFuzzer or the replay driver calls it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace orvane::fuzz {

// Fails the run when a property of the parser's result does not hold.
inline void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline const orvane::test::TempDir& Scratch() {
    static orvane::test::TempDir dir;
    return dir;
}

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace orvane::fuzz
