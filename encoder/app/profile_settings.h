#pragma once
// The settings of the encoder front-end kept in the registry: the profile of company key
// "Orvane Systems\\Orvane Encoder" (application "Plimo") and the machine-wide values.

#include "encoder/app/settings_store.h"
#include "platform/registry/profile.h"

namespace orvane::encoder {

class ProfileSettings : public SettingsStore {
public:
    ProfileSettings();

    unsigned GetProfileInt(const std::string& section, const std::string& entry,
                           int defaultValue) override;
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue = {}) override;
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value) override;
    bool WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value) override;
    bool ReadMachineValue(const std::string& root, const std::string& subKey,
                          const std::string& valueName, std::string& value) override;

private:
    registry::Profile profile_;
};

}  // namespace orvane::encoder
