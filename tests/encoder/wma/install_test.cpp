#include "encoder/wma/install.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "../app/fake_window.h"
#include "encoder/app/profile_settings.h"
#include "platform/clock/clock.h"
#include "platform/process/process.h"
#include "platform/registry/winreg.h"
#include "platform/shell/winver.h"
#include "support/temp_dir.h"

namespace orvane::wma {
namespace {

namespace fs = std::filesystem;

class Install : public ::testing::Test {
protected:
    void SetUp() override {
        clock::Install(&clk);
        ::setenv("ORVANE_STATE_DIR", (work / "state").c_str(), 1);
        for (const char* name : kProfileFiles)
            test::WriteFile(prog / name, name);
    }
    void TearDown() override {
        clock::Install(nullptr);
        ::unsetenv("ORVANE_STATE_DIR");
        ::unsetenv("FAKE_MODE");
    }
    void UseFakeInstaller(const char* mode) {
        ::setenv("FAKE_MODE", mode, 1);
        ::setenv("FAKE_CODE", "0", 1);
        fs::create_symlink(FAKE_CHILD_PATH, prog / "WMEDist.exe");
    }
    std::string Folder() { return prog.path().string() + "/"; }

    clock::VirtualClock clk{true};
    test::TempDir prog, work;
    encoder::MemorySettings registry;
    test::FakeWindow ui;
};

TEST_F(Install, MissingInstallerAsksWhetherToGoOnWithoutWma) {
    ui.Answer(IDOK);
    ui.Answer(IDYES);
    EXPECT_EQ(InstallWmaComponents(ui, registry, Folder()), 1);
    auto boxes = ui.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text,
              "Error: Can't find WMEDist.exe in the folder where Orvane Encoder was installed.");
    EXPECT_EQ(boxes[0].flags, MB_ICONEXCLAMATION);
    EXPECT_EQ(boxes[1].flags, MB_YESNO | MB_ICONQUESTION);
    ui.Reset();
    ui.Answer(IDOK);
    ui.Answer(IDNO);
    EXPECT_EQ(InstallWmaComponents(ui, registry, Folder()), 0);
}

TEST_F(Install, QuickInstallerThenProfilesGoIntoTheRegisteredFolder) {
    UseFakeInstaller("exit");
    fs::create_directory(work / "profiles");
    registry.SetMachineValue("HKEY_CLASSES_ROOT", kProfileDirectoryKey, "",
                             (work / "profiles").string());  // no trailing slash
    EXPECT_EQ(InstallWmaComponents(ui, registry, Folder()), 1);
    EXPECT_TRUE(ui.Boxes().empty());
    for (const char* name : kProfileFiles)
        EXPECT_EQ(test::ReadFile(work / "profiles" / name), name);
    EXPECT_FALSE(fs::exists(work / kProfileFiles[0]));
}

TEST_F(Install, InstallerRunningPastTheLimitIsEnded) {
    UseFakeInstaller("ignore");
    std::uint64_t before = clk.NowMs();
    EXPECT_EQ(InstallWmaComponents(ui, registry, Folder()), 1);
    std::uint64_t waited = clk.NowMs() - before;
    EXPECT_GT(waited, kInstallerLimitMs);
    EXPECT_LE(waited, kInstallerLimitMs + 1000);
}

TEST_F(Install, PendingReplacementsOfferARecordedRestart) {
    UseFakeInstaller("exit");
    registry.SetMachineValue("HKEY_LOCAL_MACHINE", kSessionManagerKey,
                             "PendingFileRenameOperations", "a\0b");
    ASSERT_TRUE(IsRestartPending(registry));
    ui.Answer(IDNO);
    EXPECT_EQ(InstallWmaComponents(ui, registry, Folder()), 1);
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].text,
              "Orvane Encoder needs to restart your computer in order to register the Windows "
              "Media Audio Encoder DLL files,\n\nDo you want restart now ?");
    std::size_t requests = shell::RecordedExitRequests().size();
    ui.Answer(IDYES);
    EXPECT_EQ(InstallWmaComponents(ui, registry, Folder()), 0);
    ASSERT_EQ(shell::RecordedExitRequests().size(), requests + 1);
    EXPECT_EQ(shell::RecordedExitRequests().back(), EWX_REBOOT);
}

// A run without a window never agrees to a restart: it names what is pending and ends.
TEST_F(Install, RunThatMayNotRestartSaysWhatIsPending) {
    UseFakeInstaller("exit");
    registry.SetMachineValue("HKEY_LOCAL_MACHINE", kSessionManagerKey,
                             "PendingFileRenameOperations",
                             std::string("C:\\old.dll") + '\0' + "C:\\new.dll");
    std::size_t requests = shell::RecordedExitRequests().size();
    EXPECT_EQ(InstallWmaComponents(ui, registry, Folder(), RestartQuestion::Refuse), 0);
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].flags, MB_ICONEXCLAMATION);
    EXPECT_EQ(ui.Boxes()[0].text,
              "Error: The Windows Media Audio encoder components need a restart of the computer: "
              "file replacements are waiting for it (PendingFileRenameOperations).\n"
              "  C:\\old.dll\n  C:\\new.dll\n"
              "Nothing was restarted. Restart the computer, then try again.");
    EXPECT_EQ(shell::RecordedExitRequests().size(), requests);
}

TEST_F(Install, NoPendingReplacementsNoQuestion) {
    EXPECT_FALSE(IsRestartPending(registry));
    EXPECT_FALSE(WininitPending(work.path().string()));
    test::WriteFile(work / "wininit.ini", "");
    EXPECT_FALSE(WininitPending(work.path().string()));
    test::WriteFile(work / "wininit.ini", "[rename]\n");
    EXPECT_TRUE(WininitPending(work.path().string()));
}

TEST_F(Install, OurInstallerRegistersAndCreatesTheProfileFolder) {
    clock::Install(nullptr);
    test::TempDir hive, data;
    ::setenv("ORVANE_REGISTRY_DIR", hive.path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    registry::ResetForTesting();
    encoder::ProfileSettings settings;
    const char* env = std::getenv("ORVANE_DIST");
    std::string dist = std::string(env ? env : ORVANE_DIST_DIR) + "/";
    EXPECT_EQ(InstallWmaComponents(ui, settings, dist), 1);
    EXPECT_TRUE(ui.Boxes().empty());
    fs::path profiles = data / "orvane/Windows Media/Profiles";
    for (const char* name : kProfileFiles) {
        std::string xml = test::ReadFile(profiles / name);
        EXPECT_NE(xml.find("<profile name=\""), std::string::npos) << name;
    }
    ::unsetenv("ORVANE_REGISTRY_DIR");
    ::unsetenv("XDG_DATA_HOME");
    registry::ResetForTesting();
}

// The installer puts the profiles shipped beside it into the profile folder before it
// registers the folder; without profiles to put there it registers nothing, so that the next
// start installs again rather than finding an empty folder.
TEST_F(Install, OurInstallerRegistersTheFolderOnlyWithItsProfilesInPlace) {
    clock::Install(nullptr);
    test::TempDir hive, data;
    ::setenv("ORVANE_REGISTRY_DIR", hive.path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    registry::ResetForTesting();
    const char* env = std::getenv("ORVANE_DIST");
    const fs::path dist = env ? env : ORVANE_DIST_DIR;
    auto registered = [] {
        encoder::ProfileSettings settings;
        std::string folder;
        return settings.ReadMachineValue("HKEY_CLASSES_ROOT", kProfileDirectoryKey, "", folder)
                   ? folder
                   : std::string();
    };
    auto install = [](const fs::path& installer) {
        process::Process child;
        EXPECT_TRUE(child.Spawn(installer.string(), {installer.string(), "/Q:A", "/R:N"}));
        EXPECT_EQ(child.Wait(INFINITE), WAIT_OBJECT_0);
        return child.ExitCode();
    };

    // A copy of the installer in a folder without profiles.
    fs::copy_file(dist / "WMEDist.exe", prog / "WMEDist.exe");
    fs::remove(prog / kProfileFiles[0]);
    fs::remove(prog / kProfileFiles[1]);
    EXPECT_NE(install(prog / "WMEDist.exe"), 0u);
    registry::ResetForTesting();
    EXPECT_EQ(registered(), "");

    EXPECT_EQ(install(dist / "WMEDist.exe"), 0u);
    registry::ResetForTesting();
    const fs::path profiles = data / "orvane/Windows Media/Profiles";
    EXPECT_EQ(registered(), profiles.string() + "/");
    for (const char* name : kProfileFiles)
        EXPECT_EQ(test::ReadFile(profiles / name), test::ReadFile(dist / name)) << name;
    ::unsetenv("ORVANE_REGISTRY_DIR");
    ::unsetenv("XDG_DATA_HOME");
    registry::ResetForTesting();
}

}  // namespace
}  // namespace orvane::wma
