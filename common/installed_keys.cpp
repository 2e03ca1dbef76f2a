#include "common/installed_keys.h"

#include "platform/registry/winreg.h"

namespace orvane {

bool CreateInstalledKeys(std::string& error) {
    error.clear();
    for (const char* path : kInstalledKeys) {
        HKEY key = nullptr;
        const LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key, nullptr);
        if (r == ERROR_SUCCESS) {
            RegCloseKey(key);
            continue;
        }
        if (!error.empty()) error += '\n';
        error += "cannot create HKEY_LOCAL_MACHINE\\" + std::string(path) + " (error " +
                 std::to_string(r) + ")";
    }
    return error.empty();
}

}  // namespace orvane
