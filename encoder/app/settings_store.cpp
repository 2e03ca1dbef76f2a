#include "encoder/app/settings_store.h"

namespace orvane::encoder {

unsigned MemorySettings::GetProfileInt(const std::string& section, const std::string& entry,
                                       int defaultValue) {
    std::lock_guard lock(mutex_);
    auto it = ints_.find({section, entry});
    return static_cast<unsigned>(it == ints_.end() ? defaultValue : it->second);
}

std::string MemorySettings::GetProfileString(const std::string& section, const std::string& entry,
                                             const std::string& defaultValue) {
    std::lock_guard lock(mutex_);
    auto it = strings_.find({section, entry});
    return it == strings_.end() ? defaultValue : it->second;
}

bool MemorySettings::WriteProfileInt(const std::string& section, const std::string& entry,
                                     int value) {
    std::lock_guard lock(mutex_);
    ints_[{section, entry}] = value;
    return true;
}

bool MemorySettings::WriteProfileString(const std::string& section, const std::string& entry,
                                        const std::string& value) {
    std::lock_guard lock(mutex_);
    strings_[{section, entry}] = value;
    return true;
}

bool MemorySettings::ReadMachineValue(const std::string& root, const std::string& subKey,
                                      const std::string& valueName, std::string& value) {
    std::lock_guard lock(mutex_);
    auto it = machine_.find({root, subKey, valueName});
    if (it == machine_.end()) return false;
    value = it->second;
    return true;
}

void MemorySettings::SetMachineValue(const std::string& root, const std::string& subKey,
                                     const std::string& valueName, const std::string& value) {
    std::lock_guard lock(mutex_);
    machine_[{root, subKey, valueName}] = value;
}

bool MemorySettings::HasProfileValue(const std::string& section, const std::string& entry) {
    std::lock_guard lock(mutex_);
    return ints_.count({section, entry}) || strings_.count({section, entry});
}

}  // namespace orvane::encoder
