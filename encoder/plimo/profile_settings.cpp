#include "encoder/plimo/profile_settings.h"

#include <vector>

#include "platform/registry/winreg.h"

namespace orvane::plimo {

ProfileSettings::ProfileSettings(const std::string& company) : profile_(company) {}

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
    HKEY rootKey = root == "HKEY_CLASSES_ROOT" ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
    HKEY key = nullptr;
    if (RegOpenKeyExA(rootKey, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    // The value is read into a 5000-byte buffer.
    std::vector<char> buffer(5000, '\0');
    DWORD size = static_cast<DWORD>(buffer.size() - 1);
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(key, valueName.empty() ? nullptr : valueName.c_str(), nullptr,
                                     &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return false;
    value.assign(buffer.data());
    return true;
}

}  // namespace orvane::plimo
