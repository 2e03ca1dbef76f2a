#pragma once
// The application framework's profile: per-user settings kept in the registry under
// HKEY_CURRENT_USER\Software\<company>\<application>\<section>.

#include <string>

namespace orvane::registry {

class Profile {
public:
    // company: the registry key set at start-up ("Orvane Systems" or
    // "Orvane Systems\\Orvane Encoder"); application: the executable's base name when empty.
    explicit Profile(std::string company, std::string application = {});

    const std::string& Company() const { return company_; }
    const std::string& Application() const { return application_; }
    // "Software\\<company>\\<application>" below HKEY_CURRENT_USER.
    std::string KeyPath() const;

    // A missing value (or one of another type) yields the default.
    unsigned GetProfileInt(const std::string& section, const std::string& entry,
                           int defaultValue) const;
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue = {}) const;
    // Creates the section when needed; false when the registry refused the write.
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value);
    bool WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value);

private:
    std::string company_;
    std::string application_;
};

}  // namespace orvane::registry
