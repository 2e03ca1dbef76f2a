#include "common/cregistry.h"

#include <sys/stat.h>

#include "platform/registry/profile.h"
#include "platform/registry/registry_fixture.h"
#include "platform/shell/sysinfo.h"

namespace orvane::test {
namespace {

using CRegistryTest = RegistryTest;

TEST_F(CRegistryTest, ConnectNamesTheRootAndRefusesRemoteUserRoots) {
    struct {
        HKEY root;
        const char* name;
    } roots[] = {{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
                 {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
                 {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
                 {HKEY_USERS, "HKEY_USERS"},
                 {HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA"},
                 {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"}};
    for (const auto& r : roots) {
        CRegistry reg;
        ASSERT_TRUE(reg.Connect(r.root)) << r.name;
        EXPECT_EQ(r.name, reg.GetRegistryName());
        EXPECT_EQ(0, reg.GetErrorCode());
        EXPECT_FALSE(reg.GetComputerName().empty());
    }
    CRegistry dyn;
    EXPECT_FALSE(dyn.Connect(HKEY_DYN_DATA));
    EXPECT_EQ(ERROR_INVALID_HANDLE, dyn.GetErrorCode());

    for (HKEY root : {HKEY_CURRENT_USER, HKEY_CLASSES_ROOT}) {
        CRegistry remote;
        EXPECT_FALSE(remote.Connect(root, "anything"));
        EXPECT_EQ(ERROR_INVALID_HANDLE, remote.GetErrorCode());
    }
    CRegistry far;
    EXPECT_FALSE(far.Connect(HKEY_LOCAL_MACHINE, "\\\\elsewhere"));
    EXPECT_EQ(ERROR_BAD_NETPATH, far.GetErrorCode());
    CRegistry self;
    std::string host = orvane::shell::HostName();
    ASSERT_TRUE(self.Connect(HKEY_LOCAL_MACHINE, host.c_str()));
    EXPECT_EQ(host, self.GetComputerName());
    EXPECT_STREQ("CRegistry", self.GetRuntimeClass()->m_lpszClassName);
}

TEST_F(CRegistryTest, OpenOfAMissingKeyFailsWithTwoAndLeavesNoKeyOpen) {
    CRegistry reg;
    ASSERT_TRUE(reg.Connect(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(reg.Create("Software\\Present"));
    EXPECT_FALSE(reg.Open("Software\\Absent"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.GetErrorCode());
    EXPECT_EQ(nullptr, reg.KeyHandle());
    EXPECT_EQ("Software\\Present", reg.GetKeyName());
}

TEST_F(CRegistryTest, ValuesOfEveryKindRoundTrip) {
    CRegistry reg;
    ASSERT_TRUE(reg.Connect(HKEY_CURRENT_USER));
    DWORD disposition = 0;
    ASSERT_TRUE(reg.Create("Software\\Kinds", "KindClass", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    ASSERT_TRUE(reg.SetValue("Text", std::string("hello")));
    ASSERT_TRUE(reg.SetValue("Number", DWORD{4096}));
    ASSERT_TRUE(reg.SetValue("Bytes", std::vector<BYTE>{0, 1, 0, 255}));
    ASSERT_TRUE(reg.SetValue("List", std::vector<std::string>{"a", "", "c"}));
    ASSERT_TRUE(reg.SetStringArrayValue("Empty list", {}));
    ASSERT_TRUE(reg.SetStringValue("", ""));

    CRegistry again;
    ASSERT_TRUE(again.Connect(HKEY_CURRENT_USER));
    ASSERT_TRUE(again.Open("software\\kinds"));
    EXPECT_EQ(6u, again.GetNumberOfValues());
    EXPECT_EQ("KindClass", again.GetClassName());
    std::string text;
    DWORD number = 0;
    std::vector<BYTE> bytes;
    std::vector<std::string> list{"stale"};
    EXPECT_TRUE(again.GetValue("Text", text));
    EXPECT_EQ("hello", text);
    EXPECT_TRUE(again.GetValue("Number", number));
    EXPECT_EQ(4096u, number);
    EXPECT_TRUE(again.GetValue("Bytes", bytes));
    EXPECT_EQ((std::vector<BYTE>{0, 1, 0, 255}), bytes);
    EXPECT_TRUE(again.GetValue("List", list));
    EXPECT_EQ((std::vector<std::string>{"a", "", "c"}), list);
    EXPECT_TRUE(again.GetValue("Empty list", list));
    EXPECT_TRUE(list.empty());

    // An empty text is stored as one zero byte.
    DWORD type = 0, size = 16;
    BYTE raw[16];
    EXPECT_TRUE(again.QueryValue("", type, raw, size));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(1u, size);

    text = "kept?";
    EXPECT_FALSE(again.GetStringValue("Missing", text));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, again.GetErrorCode());
    EXPECT_EQ("", text);
    EXPECT_FALSE(again.GetValue(nullptr, text));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, again.GetErrorCode());
    EXPECT_FALSE(again.GetValue(static_cast<LPCSTR>(nullptr), number));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, again.GetErrorCode());

    std::string name;
    std::vector<BYTE> data(64);
    DWORD dataSize = 64;
    EXPECT_TRUE(again.EnumerateValues(1, name, type, data.data(), dataSize));
    EXPECT_EQ("Number", name);
    EXPECT_EQ(REG_DWORD, type);
    EXPECT_FALSE(again.EnumerateValues(6, name, type, data.data(), dataSize));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, again.GetErrorCode());
}

TEST_F(CRegistryTest, DeleteKeyRemovesTheChildTreeAndLeavesTheParentOpen) {
    CRegistry reg;
    ASSERT_TRUE(reg.Connect(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.Create("Software\\Top\\Child\\Grand\\Great"));
    ASSERT_TRUE(reg.Create("Software\\Top\\Child\\Other"));
    ASSERT_TRUE(reg.Create("Software\\Top\\Sibling"));
    ASSERT_TRUE(reg.DeleteKey("Software\\Top\\Child"));
    EXPECT_EQ("Software\\Top", reg.GetKeyName());
    std::string name, cls;
    ASSERT_TRUE(reg.EnumerateKeys(0, name, cls));
    EXPECT_EQ("Sibling", name);
    EXPECT_FALSE(reg.EnumerateKeys(1, name, cls));
    EXPECT_TRUE(reg.SetDoubleWordValue("StillOpen", 1));

    // Without a backslash the name is a subkey of the open key.
    ASSERT_TRUE(reg.DeleteKey("Sibling"));
    EXPECT_FALSE(reg.EnumerateKeys(0, name, cls));
    // A missing parent keeps the key name and fails.
    EXPECT_FALSE(reg.DeleteKey("Software\\Nope\\Child"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg.GetErrorCode());
    EXPECT_EQ("Software\\Top", reg.GetKeyName());
}

TEST_F(CRegistryTest, DeleteKeyOnAReadOnlyHiveStopsWithAccessDenied) {
    CRegistry reg;
    ASSERT_TRUE(reg.Connect(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.Create("Software\\Stuck\\Below"));
    ASSERT_TRUE(reg.Open("Software"));
    ASSERT_EQ(0, ::chmod(HiveFile("HKEY_CURRENT_USER").c_str(), 0444));
    EXPECT_FALSE(reg.DeleteKey("Stuck"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, reg.GetErrorCode());
    ::chmod(HiveFile("HKEY_CURRENT_USER").c_str(), 0600);
}

TEST_F(CRegistryTest, CloseResetsEverythingAndSaveRestoreUseTheOpenKey) {
    CRegistry reg;
    ASSERT_TRUE(reg.Connect(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.Create("Software\\Backup"));
    ASSERT_TRUE(reg.SetValue("v", DWORD{1}));
    std::string file = (Dir() / "backup.hiv").string();
    ASSERT_TRUE(reg.Save(file.c_str()));
    ASSERT_TRUE(reg.SetValue("v", DWORD{2}));
    ASSERT_TRUE(reg.Restore(file.c_str()));
    DWORD v = 0;
    ASSERT_TRUE(reg.GetValue("v", v));
    EXPECT_EQ(1u, v);
    ASSERT_TRUE(reg.Flush());
    ASSERT_TRUE(reg.QueryInfo());
    EXPECT_EQ(1u, reg.GetNumberOfValues());

    ASSERT_TRUE(reg.Close());
    EXPECT_EQ(nullptr, reg.KeyHandle());
    EXPECT_EQ(nullptr, reg.RegistryHandle());
    EXPECT_EQ("", reg.GetKeyName());
    EXPECT_EQ("", reg.GetRegistryName());
    EXPECT_EQ(0u, reg.GetNumberOfValues());
    // Closing again has no registry handle to close.
    EXPECT_FALSE(reg.Close());
    EXPECT_EQ(ERROR_INVALID_HANDLE, reg.GetErrorCode());
}

TEST_F(CRegistryTest, LoadAndUnloadWorkOnTheConnectedRoot) {
    std::string file = (Dir() / "user.hiv").string();
    CRegistry reg;
    ASSERT_TRUE(reg.Connect(HKEY_USERS));
    ASSERT_TRUE(reg.Load("Visitor", file.c_str()));
    ASSERT_TRUE(reg.Open("Visitor"));
    ASSERT_TRUE(reg.SetStringValue("Greeting", "hi"));
    ASSERT_TRUE(reg.UnLoad("Visitor"));
    EXPECT_FALSE(reg.Open("Visitor"));
    ASSERT_TRUE(reg.Load("Visitor", file.c_str()));
    ASSERT_TRUE(reg.Open("Visitor"));
    std::string text;
    EXPECT_TRUE(reg.GetStringValue("Greeting", text));
    EXPECT_EQ("hi", text);
    EXPECT_FALSE(reg.Load(nullptr, file.c_str()));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, reg.GetErrorCode());
}

TEST_F(CRegistryTest, NotifyChangeSignalsTheCallersEvent) {
    CRegistry reg;
    ASSERT_TRUE(reg.Connect(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.Create("Software\\Watch"));
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(reg.NotifyChange(event));
    CRegistry writer;
    ASSERT_TRUE(writer.Connect(HKEY_CURRENT_USER));
    ASSERT_TRUE(writer.Create("Software\\Watch\\Deeper"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 2000));
    CloseHandle(event);
}

TEST_F(CRegistryTest, ProfileKeepsSettingsUnderTheCompanyAndApplication) {
    orvane::registry::Profile profile("Orvane Systems", "Tarvo");
    EXPECT_EQ("Software\\Orvane Systems\\Tarvo", profile.KeyPath());
    EXPECT_EQ(20u, profile.GetProfileInt("General", "IntroScanTime", 20));
    EXPECT_EQ("C:\\", profile.GetProfileString("Settings", "Output", "C:\\"));
    ASSERT_TRUE(profile.WriteProfileInt("General", "IntroScanTime", 12));
    ASSERT_TRUE(profile.WriteProfileInt("General", "Negative", -1));
    ASSERT_TRUE(profile.WriteProfileString("Settings", "Output", "/music/"));
    ASSERT_TRUE(profile.WriteProfileString("Settings", "Empty", ""));

    orvane::registry::ResetForTesting();
    orvane::registry::Profile reread("Orvane Systems", "Tarvo");
    EXPECT_EQ(12u, reread.GetProfileInt("General", "IntroScanTime", 20));
    EXPECT_EQ(0xFFFFFFFFu, reread.GetProfileInt("General", "Negative", 0));
    EXPECT_EQ("/music/", reread.GetProfileString("Settings", "Output", "C:\\"));
    EXPECT_EQ("", reread.GetProfileString("Settings", "Empty", "default"));
    // A value of the other kind reads as missing.
    EXPECT_EQ(5u, reread.GetProfileInt("Settings", "Output", 5));
    EXPECT_EQ("d", reread.GetProfileString("General", "IntroScanTime", "d"));

    CRegistry reg;
    ASSERT_TRUE(reg.Connect(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.Open("Software\\Orvane Systems\\Tarvo\\General", KEY_READ));
    DWORD v = 0;
    EXPECT_TRUE(reg.GetDoubleWordValue("IntroScanTime", v));
    EXPECT_EQ(12u, v);

    orvane::registry::Profile unnamed("Orvane Systems");
    EXPECT_EQ(orvane::shell::ModuleBaseName(), unnamed.Application());
}

}  // namespace
}  // namespace orvane::test
