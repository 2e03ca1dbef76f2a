#pragma once
// The encoder front-end's settings kept in the registry: the per-user profile under
// "Orvane Systems\\Orvane Encoder" and machine-wide values read with the registry functions.

#include "encoder/app/settings_store.h"
#include "platform/registry/profile.h"

namespace orvane::plimo {

class ProfileSettings : public encoder::SettingsStore {
public:
    // company: the profile's registry key ("Orvane Systems\\Orvane Encoder").
    explicit ProfileSettings(const std::string& company);

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

}  // namespace orvane::plimo
