#include "common/installed_keys.h"

#include <sys/stat.h>

#include "platform/registry/registry_fixture.h"

namespace orvane::test {
namespace {

using InstalledKeysTest = RegistryTest;

TEST_F(InstalledKeysTest, MissingKeysAreMadeAndExistingValuesStay) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane Systems\\Orvane Encoder\\3.00");
    ASSERT_EQ(ERROR_SUCCESS, SetBytes(key, "CDAReadBufferSize", REG_SZ, std::string("40\0", 3)));
    RegCloseKey(key);

    std::string error;
    ASSERT_TRUE(CreateInstalledKeys(error)) << error;
    EXPECT_TRUE(error.empty());
    for (const char* path : kInstalledKeys) {
        HKEY opened = nullptr;
        // Opened as the programs open them (the player asks for every right).
        EXPECT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &opened))
            << path;
        RegCloseKey(opened);
    }
    // The class view of the machine's classes sees the player's key too.
    HKEY cls = nullptr;
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CLASSES_ROOT, "AudioCD\\shell\\play\\command", 0, KEY_READ, &cls));
    RegCloseKey(cls);

    // A second start changes nothing.
    ASSERT_TRUE(CreateInstalledKeys(error)) << error;
    key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane Systems\\Orvane Encoder\\3.00");
    EXPECT_EQ(std::string("40\0", 3), GetBytes(key, "CDAReadBufferSize"));
    RegCloseKey(key);
}

TEST_F(InstalledKeysTest, AMachineRegistryThatCannotBeWrittenIsReported) {
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other"));
    ASSERT_EQ(0, ::chmod(HiveFile("HKEY_LOCAL_MACHINE").c_str(), 0444));
    std::string error;
    EXPECT_FALSE(CreateInstalledKeys(error));
    // One line per key, each naming it.
    for (const char* path : kInstalledKeys)
        EXPECT_NE(error.find(path), std::string::npos) << error;
    ::chmod(HiveFile("HKEY_LOCAL_MACHINE").c_str(), 0600);
}

}  // namespace
}  // namespace orvane::test
