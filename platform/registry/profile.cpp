#include "platform/registry/profile.h"

#include <cstring>
#include <vector>

#include "platform/registry/winreg.h"
#include "platform/shell/sysinfo.h"

namespace orvane::registry {

namespace {

// Reads one value of a section; false when the section or the value is missing.
bool ReadValue(const std::string& keyPath, const std::string& entry, DWORD& type,
               std::vector<BYTE>& data) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG r = RegQueryValueExA(key, entry.c_str(), nullptr, &type, nullptr, &size);
    if (r == ERROR_SUCCESS) {
        data.resize(size);
        r = RegQueryValueExA(key, entry.c_str(), nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

bool WriteValue(const std::string& keyPath, const std::string& entry, DWORD type, const BYTE* data,
                DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG r = RegSetValueExA(key, entry.c_str(), 0, type, data, size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

}  // namespace

Profile::Profile(std::string company, std::string application)
    : company_(std::move(company)), application_(std::move(application)) {
    if (application_.empty()) application_ = orvane::shell::ModuleBaseName();
}

std::string Profile::KeyPath() const { return "Software\\" + company_ + "\\" + application_; }

unsigned Profile::GetProfileInt(const std::string& section, const std::string& entry,
                                int defaultValue) const {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(KeyPath() + "\\" + section, entry, type, data) || type != REG_DWORD ||
        data.size() != 4)
        return static_cast<unsigned>(defaultValue);
    DWORD value;
    std::memcpy(&value, data.data(), 4);
    return value;
}

std::string Profile::GetProfileString(const std::string& section, const std::string& entry,
                                      const std::string& defaultValue) const {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(KeyPath() + "\\" + section, entry, type, data) || type != REG_SZ)
        return defaultValue;
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

bool Profile::WriteProfileInt(const std::string& section, const std::string& entry, int value) {
    DWORD v = static_cast<DWORD>(value);
    BYTE bytes[4];
    std::memcpy(bytes, &v, 4);
    return WriteValue(KeyPath() + "\\" + section, entry, REG_DWORD, bytes, 4);
}

bool Profile::WriteProfileString(const std::string& section, const std::string& entry,
                                 const std::string& value) {
    return WriteValue(KeyPath() + "\\" + section, entry, REG_SZ,
                      reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>(value.size() + 1));
}

}  // namespace orvane::registry
