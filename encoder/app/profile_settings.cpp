#include "encoder/app/profile_settings.h"

#include <vector>

#include "encoder/app/encoder_app.h"
#include "platform/registry/winreg.h"

namespace orvane::encoder {

ProfileSettings::ProfileSettings() : profile_(kProfileKey, "Plimo") {}

unsigned ProfileSettings::GetProfileInt(const std::string& section, const std::string& entry,
                                        int defaultValue) {
    return profile_.GetProfileInt(section, entry, defaultValue);
}

std::string ProfileSettings::GetProfileString(const std::string& section, const std::string& entry,
                                              const std::string& defaultValue) {
    return profile_.GetProfileString(section, entry, defaultValue);
}

bool ProfileSettings::WriteProfileInt(const std::string& section, const std::string& entry,
                                      int value) {
    return profile_.WriteProfileInt(section, entry, value);
}

bool ProfileSettings::WriteProfileString(const std::string& section, const std::string& entry,
                                         const std::string& value) {
    return profile_.WriteProfileString(section, entry, value);
}

bool ProfileSettings::ReadMachineValue(const std::string& root, const std::string& subKey,
                                       const std::string& valueName, std::string& value) {
    HKEY rootKey = root == "HKEY_CLASSES_ROOT"   ? HKEY_CLASSES_ROOT
                   : root == "HKEY_CURRENT_USER" ? HKEY_CURRENT_USER
                                                 : HKEY_LOCAL_MACHINE;
    // A key path is relative to its root; a leading separator names no key.
    std::string path = subKey;
    while (!path.empty() && path.front() == '\\')
        path.erase(path.begin());
    HKEY key = nullptr;
    if (RegOpenKeyExA(rootKey, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    std::vector<BYTE> buffer(5000);
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD type = 0;
    LONG r = RegQueryValueExA(key, valueName.empty() ? nullptr : valueName.c_str(), nullptr, &type,
                              buffer.data(), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return false;
    std::string text(reinterpret_cast<const char*>(buffer.data()), size);
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    value = text;
    return true;
}

}  // namespace orvane::encoder
