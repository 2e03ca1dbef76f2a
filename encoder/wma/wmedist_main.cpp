// WMEDist.exe: installs the Windows Media encoder components for this toolkit. It registers
// the encoder's profile folder (a folder under the user's data directory) in the registry and
// creates it. Options: /Q:A (quiet), /R:N (no restart); both are accepted and need no answer.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/base/command_line.h"
#include "platform/registry/winreg.h"
#include "platform/shell/sysinfo.h"

namespace {

std::string ProfileFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base =
        data && *data ? std::string(data) : orvane::shell::HomeFolder() + "/.local/share";
    return base + "/orvane/Windows Media/Profiles/";
}

constexpr const char* kHelp =
    "Usage: WMEDist.exe [/Q:A] [/R:N]\n"
    "\n"
    "Installs the WMA encoder components: registers the encoder's profile folder and creates\n"
    "it. /Q:A (quiet) and /R:N (no restart) are accepted and need no answer.\n";

}  // namespace

int main(int argc, char** argv) {
    if (int answered = orvane::AnswerHelpOrVersion(argc, argv, "WMEDist.exe", kHelp); answered >= 0)
        return answered;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option != "/Q:A" && option != "/R:N" && option != "/Q" && option != "/R:A") {
            std::printf("WMEDist: unknown option %s\n", option.c_str());
            return 1;
        }
    }
    std::string folder = ProfileFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::printf("WMEDist: cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }
    HKEY key = nullptr;
    LONG r =
        RegCreateKeyExA(HKEY_CLASSES_ROOT,
                        "Software\\Microsoft\\Windows Media Tools\\Encoder\\ProfileMgr\\"
                        "Directory",
                        0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS) {
        std::printf("WMEDist: cannot register the profile folder (error %ld)\n",
                    static_cast<long>(r));
        return 1;
    }
    r = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>(folder.size() + 1));
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) {
        std::printf("WMEDist: cannot register the profile folder (error %ld)\n",
                    static_cast<long>(r));
        return 1;
    }
    return 0;
}
