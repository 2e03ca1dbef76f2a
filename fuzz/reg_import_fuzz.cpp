// The registry tool's import of .reg files users bring from elsewhere, through the command
// itself into a registry of its own in the scratch folder (emptied after every input). An
// import that succeeds must leave a registry the tool can export again.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/registry/winreg.h"
#include "tools/orvane-reg/regtool.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using orvane::fuzz::Check;
    namespace fs = std::filesystem;
    static const fs::path registry = [] {
        const fs::path dir = orvane::fuzz::Scratch() / "registry";
        fs::create_directories(dir);
        ::setenv("ORVANE_REGISTRY_DIR", dir.c_str(), 1);
        return dir;
    }();
    const fs::path input = orvane::fuzz::Scratch() / "import.reg";
    orvane::test::WriteFile(input, std::string(reinterpret_cast<const char*>(data), size));

    std::ostringstream out, err;
    const int status = orvane::regtool::Run({"import", input.string()}, out, err);
    Check(status == 0 || status == 1, "the tool answers 0 or 1");
    Check((status == 0) == err.str().empty(), "a failure says why and a success says nothing");
    if (status == 0) {
        std::ostringstream out2, err2;
        const fs::path exported = orvane::fuzz::Scratch() / "export.reg";
        for (const char* root : {"HKCU", "HKLM", "HKU"}) {
            const int e =
                orvane::regtool::Run({"export", root, exported.string(), "/y"}, out2, err2);
            Check(e == 0, "an imported registry exports again");
        }
    }
    orvane::registry::ResetForTesting();
    std::error_code ec;
    fs::remove_all(registry, ec);
    fs::create_directories(registry, ec);
    return 0;
}
