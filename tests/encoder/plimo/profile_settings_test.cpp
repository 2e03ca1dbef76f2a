#include "encoder/plimo/profile_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "encoder/app/encoder_app.h"
#include "platform/registry/winreg.h"
#include "support/temp_dir.h"

namespace orvane::plimo {
namespace {

// The registry's hive files live in a scratch folder for this whole test program.
class RegistryFolder : public ::testing::Environment {
public:
    void SetUp() override { ::setenv("ORVANE_REGISTRY_DIR", dir_.path().c_str(), 1); }

private:
    orvane::test::TempDir dir_;
};
const auto* const kRegistry = ::testing::AddGlobalTestEnvironment(new RegistryFolder);

TEST(ProfileSettingsTest, ProfileValuesSurviveANewStore) {
    {
        ProfileSettings settings(encoder::kProfileKey);
        EXPECT_EQ(settings.GetProfileString("Settings", "LastBitrate", "320"), "320");
        EXPECT_EQ(settings.GetProfileInt("Settings", "TurboMode", 1), 1u);
        EXPECT_TRUE(settings.WriteProfileString("Settings", "LastBitrate", "128"));
        EXPECT_TRUE(settings.WriteProfileInt("Settings", "TurboMode", 0));
    }
    ProfileSettings again(encoder::kProfileKey);
    EXPECT_EQ(again.GetProfileString("Settings", "LastBitrate", "320"), "128");
    EXPECT_EQ(again.GetProfileInt("Settings", "TurboMode", 1), 0u);
}

TEST(ProfileSettingsTest, MachineValueIsReadAsAString) {
    ProfileSettings settings(encoder::kProfileKey);
    std::string value = "unchanged";
    EXPECT_FALSE(settings.ReadMachineValue("HKEY_LOCAL_MACHINE", encoder::kMachineKey,
                                           "CDAReadBufferSize", value));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, encoder::kMachineKey, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_FALSE(settings.ReadMachineValue("HKEY_LOCAL_MACHINE", encoder::kMachineKey,
                                           "CDAReadBufferSize", value));
    const char text[] = "300";
    ASSERT_EQ(RegSetValueExA(key, "CDAReadBufferSize", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text), sizeof text),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_TRUE(settings.ReadMachineValue("HKEY_LOCAL_MACHINE", encoder::kMachineKey,
                                          "CDAReadBufferSize", value));
    EXPECT_EQ(value, "300");
    EXPECT_EQ(encoder::ClampReadBufferSize(true, value), 256);
}

}  // namespace
}  // namespace orvane::plimo
