#pragma once
// Where the encoder front-end keeps its settings: the per-user profile under
// "Orvane Systems\\Orvane Encoder" and the few machine-wide registry values it reads.

#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace orvane::encoder {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual unsigned GetProfileInt(const std::string& section, const std::string& entry,
                                   int defaultValue) = 0;
    virtual std::string GetProfileString(const std::string& section, const std::string& entry,
                                         const std::string& defaultValue = {}) = 0;
    virtual bool WriteProfileInt(const std::string& section, const std::string& entry,
                                 int value) = 0;
    virtual bool WriteProfileString(const std::string& section, const std::string& entry,
                                    const std::string& value) = 0;
    // readMachineValue: a string value of a key below a root ("HKEY_LOCAL_MACHINE",
    // "HKEY_CLASSES_ROOT"); an empty value name is the key's default value. False when the key
    // or the value cannot be read.
    virtual bool ReadMachineValue(const std::string& root, const std::string& subKey,
                                  const std::string& valueName, std::string& value) = 0;
};

// Settings kept in memory: for tests and for headless runs that must not touch the registry.
class MemorySettings : public SettingsStore {
public:
    unsigned GetProfileInt(const std::string& section, const std::string& entry,
                           int defaultValue) override;
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& defaultValue = {}) override;
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value) override;
    bool WriteProfileString(const std::string& section, const std::string& entry,
                            const std::string& value) override;
    bool ReadMachineValue(const std::string& root, const std::string& subKey,
                          const std::string& valueName, std::string& value) override;

    // Machine-wide values for ReadMachineValue.
    void SetMachineValue(const std::string& root, const std::string& subKey,
                         const std::string& valueName, const std::string& value);
    bool HasProfileValue(const std::string& section, const std::string& entry);

private:
    std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, std::string> strings_;
    std::map<std::pair<std::string, std::string>, int> ints_;
    std::map<std::tuple<std::string, std::string, std::string>, std::string> machine_;
};

}  // namespace orvane::encoder
