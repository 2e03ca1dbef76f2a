// WMEDist.exe: installs the Windows Media encoder components for this toolkit. It creates the
// encoder's profile folder (a folder under the user's data directory), puts the profiles that
// ship beside it (its "*.prx" files) into it, and only then registers the folder in the
// registry: a registered folder always holds its profiles, and an installation cut short is
// done again by the next run. Options: /Q:A (quiet), /R:N (no restart); both are accepted and
// need no answer.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/command_line.h"
#include "platform/fs/fs.h"
#include "platform/registry/winreg.h"
#include "platform/shell/sysinfo.h"

namespace {

// Profiles are short text files; nothing larger is one.
constexpr std::size_t kMaxProfileBytes = 64 * 1024;

std::string ProfileFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base =
        data && *data ? std::string(data) : orvane::shell::HomeFolder() + "/.local/share";
    return base + "/orvane/Windows Media/Profiles/";
}

constexpr const char* kHelp =
    "Usage: WMEDist.exe [/Q:A] [/R:N]\n"
    "\n"
    "Installs the WMA encoder components: creates the encoder's profile folder, puts the\n"
    "profiles shipped beside this program into it, then registers the folder. /Q:A (quiet)\n"
    "and /R:N (no restart) are accepted and need no answer.\n";

// The profiles shipped in folder: its regular "*.prx" files (extension in any case).
std::vector<std::filesystem::path> ShippedProfiles(const std::string& folder) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::error_code typeError;
        if (ext == ".prx" && it->is_regular_file(typeError)) found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Copies the shipped profiles into folder, each replaced whole; false (after saying why) when
// there are none or one cannot be copied.
bool PlaceProfiles(const std::string& folder) {
    const std::string from = orvane::shell::ModuleFolder();
    std::vector<std::filesystem::path> profiles = ShippedProfiles(from);
    if (profiles.empty()) {
        std::printf("WMEDist: no profiles (*.prx) in %s\n", from.c_str());
        return false;
    }
    for (const std::filesystem::path& profile : profiles) {
        std::string bytes;
        orvane::fs::Status status = orvane::fs::ReadFile(profile.string(), kMaxProfileBytes, bytes);
        if (status)
            status = orvane::fs::WriteFileAtomically(folder + profile.filename().string(), bytes);
        if (!status) {
            std::printf("WMEDist: %s\n", status.message.c_str());
            return false;
        }
    }
    return true;
}

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
    if (!PlaceProfiles(folder)) return 1;
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
