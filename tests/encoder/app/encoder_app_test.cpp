#include "encoder/app/encoder_app.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "encoder/app/profile_settings.h"
#include "encoder/app/status_dialog.h"
#include "encoder/job/parallel_batch.h"
#include "platform/registry/winreg.h"
#include "support/temp_dir.h"

namespace orvane::encoder {
namespace {

TEST(EncoderApp, ReadBufferSizeIsClamped) {
    EXPECT_EQ(ClampReadBufferSize(true, "0"), 16);
    EXPECT_EQ(ClampReadBufferSize(true, "-5"), 16);
    EXPECT_EQ(ClampReadBufferSize(true, "300"), 256);
    EXPECT_EQ(ClampReadBufferSize(true, "256"), 256);
    EXPECT_EQ(ClampReadBufferSize(true, "32"), 32);
    EXPECT_EQ(ClampReadBufferSize(true, "fast"), 16);
    EXPECT_EQ(ClampReadBufferSize(false, "64"), 16);
}

TEST(EncoderApp, ProgramFolderEndsWithOneSlash) {
    EXPECT_EQ(AppFolderOf("/opt/orvane/dist/Plimo"), "/opt/orvane/dist/");
    EXPECT_EQ(AppFolderOf("/Plimo"), "/");
    EXPECT_EQ(AppFolderOf("Plimo"), "/");
}

TEST(EncoderApp, FailedComponentInstallationEndsStartUp) {
    MemorySettings settings;
    EncoderApp app;
    app.settings = &settings;
    int dialogs = 0;
    StartupHooks hooks;
    hooks.installWmaComponents = [] { return 0; };
    hooks.runStatusDialog = [&](ProcessingStatusDialog&) { return ++dialogs, IDCANCEL; };
    EXPECT_FALSE(Startup(app, "/opt/p/Plimo", hooks));
    EXPECT_EQ(dialogs, 0);
    EXPECT_FALSE(settings.HasProfileValue("Components", "WMARedist"));
}

TEST(EncoderApp, ParallelJobsComesFromTheProfileOrTheProcessors) {
    MemorySettings settings;
    EncoderApp app;
    app.settings = &settings;
    ReadSettings(app);
    EXPECT_EQ(app.parallelJobs, ParallelJobsSetting(0));
    EXPECT_GE(app.parallelJobs, 1);
    settings.WriteProfileInt("Preferences", "ParallelJobs", 1);
    ReadSettings(app);
    EXPECT_EQ(app.parallelJobs, 1);
    settings.WriteProfileInt("Preferences", "ParallelJobs", 6);
    ReadSettings(app);
    EXPECT_EQ(app.parallelJobs, 6);
}

TEST(EncoderApp, StartUpReadsTheSettingsAndLoopsUntilTheWizardIsCancelled) {
    MemorySettings settings;
    settings.WriteProfileInt("Preferences", "ProxyPort", 3128);
    settings.WriteProfileString("Preferences", "LastCD", "D:");
    settings.SetMachineValue("HKEY_LOCAL_MACHINE", kMachineKey, "CDAReadBufferSize", "300");
    EncoderApp app;
    app.settings = &settings;
    int installs = 0;
    std::vector<ProcessingStatusDialog*> seen;
    StartupHooks hooks;
    hooks.installWmaComponents = [&] { return ++installs, 1; };
    hooks.runStatusDialog = [&](ProcessingStatusDialog& dlg) {
        seen.push_back(&dlg);
        EXPECT_EQ(app.currentStatusDialog, &dlg);
        if (seen.size() == 3) app.exitRequested = 1;  // the wizard's Cancel
        return IDCANCEL;
    };
    EXPECT_FALSE(Startup(app, "/opt/p/Plimo", hooks));
    EXPECT_EQ(installs, 1);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(app.currentStatusDialog, nullptr);
    EXPECT_EQ(settings.GetProfileInt("Components", "WMARedist", 0), 1u);
    EXPECT_EQ(app.proxyPort, 3128);
    EXPECT_EQ(app.lastCd, "D:");
    EXPECT_EQ(app.windowEffects, 1);
    EXPECT_EQ(app.introSeconds, 15);
    EXPECT_EQ(app.freeDbServer, kDefaultFreeDbServer);
    EXPECT_EQ(app.cdaReadBufferSize, 256);
    EXPECT_EQ(app.appFolder, "/opt/p/");
    EXPECT_EQ(app.genreList.size(), 144u);

    // Installed once: the next start skips the installation; a dialog that could not be
    // created (any result but IDCANCEL) ends the loop.
    app.exitRequested = 0;
    seen.clear();
    hooks.runStatusDialog = [&](ProcessingStatusDialog& dlg) {
        seen.push_back(&dlg);
        return -1;
    };
    Startup(app, "/opt/p/Plimo", hooks);
    EXPECT_EQ(installs, 1);
    EXPECT_EQ(seen.size(), 1u);
}

TEST(ProfileSettings, KeepsTheSettingsInTheRegistry) {
    test::TempDir dir;
    ::setenv("ORVANE_REGISTRY_DIR", dir.path().c_str(), 1);
    registry::ResetForTesting();
    {
        ProfileSettings s;
        EXPECT_EQ(s.GetProfileString("Settings", "LastBitrate", "320"), "320");
        EXPECT_TRUE(s.WriteProfileString("Settings", "LastBitrate", "128"));
        EXPECT_TRUE(s.WriteProfileInt("Settings", "TurboMode", 0));
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMachineKey, 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const char text[] = "48";
        RegSetValueExA(key, "CDAReadBufferSize", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       sizeof text);
        RegCloseKey(key);
    }
    registry::ResetForTesting();
    ProfileSettings again;
    EXPECT_EQ(again.GetProfileString("Settings", "LastBitrate", "320"), "128");
    EXPECT_EQ(again.GetProfileInt("Settings", "TurboMode", 1), 0u);
    EncoderApp app;
    app.settings = &again;
    ReadSettings(app);
    EXPECT_EQ(app.cdaReadBufferSize, 48);
    EXPECT_EQ(app.writeId3v2, 1);  // on unless the user turned it off
    EXPECT_TRUE(again.WriteProfileInt("Preferences", "WriteID3v2", 0));
    ReadSettings(app);
    EXPECT_EQ(app.writeId3v2, 0);
    std::string value;
    EXPECT_FALSE(again.ReadMachineValue("HKEY_CLASSES_ROOT", "\\Software\\Nothing", "", value));
    ::unsetenv("ORVANE_REGISTRY_DIR");
    registry::ResetForTesting();
}

}  // namespace
}  // namespace orvane::encoder
