#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "platform/registry/changes.h"
#include "platform/registry/hive.h"
#include "platform/shell/sysinfo.h"
#include "registry_fixture.h"

namespace orvane::test {
namespace {

namespace fs = std::filesystem;
using Registry = RegistryTest;

std::string Dword(DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

TEST_F(Registry, EveryValueTypeSurvivesTheHiveFileByteForByte) {
    const std::string binary("\0\x01\xff\0\n\"\\x", 8);
    struct Case {
        const char* name;
        DWORD type;
        std::string data;
    } cases[] = {
        {"Empty text", REG_SZ, std::string(1, '\0')},
        {"Text", REG_SZ, std::string("caf\xc3\xa9 \"quoted\" back\\slash\ttab", 30) + '\0'},
        {"Unterminated", REG_SZ, "no zero"},
        {"Embedded zero", REG_SZ, std::string("a\0b\0", 4)},
        {"Binary", REG_BINARY, binary},
        {"Empty binary", REG_BINARY, ""},
        {"Number", REG_DWORD, Dword(0xdeadbeef)},
        {"Short number", REG_DWORD, "\x01\x02"},
        {"List", REG_MULTI_SZ, std::string("one\0\0three\0\0", 12)},
        {"Other type", 0x1234, std::string("\0z", 2)},
        {"", REG_EXPAND_SZ, std::string("%HOME%\0", 7)},
        {"line\nbreak \"name\"", REG_SZ, std::string("v\r\n", 3) + '\0'},
    };
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Odd%Name]\x01\\Values");
    for (const auto& c : cases)
        ASSERT_EQ(ERROR_SUCCESS, SetBytes(key, c.name, c.type, c.data));
    RegCloseKey(key);

    orvane::registry::ResetForTesting();  // forget the cache: read the file afresh
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "software\\odd%name]\x01\\VALUES", 0,
                                           KEY_READ, &key));
    for (const auto& c : cases) {
        DWORD type = 0;
        EXPECT_EQ(c.data, GetBytes(key, c.name, &type)) << c.name;
        EXPECT_EQ(c.type, type) << c.name;
    }
    // Values enumerate in the order they were first set, with their spelling.
    char name[64];
    DWORD size = sizeof name;
    ASSERT_EQ(ERROR_SUCCESS,
              RegEnumValueA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("Text", name);
    RegCloseKey(key);
}

TEST_F(Registry, NamesIgnoreCaseAndKeepTheirSpelling) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\MiXed");
    SetBytes(key, "Volume", REG_DWORD, Dword(1));
    SetBytes(key, "VOLUME", REG_DWORD, Dword(2));
    Create(HKEY_CURRENT_USER, "software\\mixed\\Beta");
    Create(HKEY_CURRENT_USER, "SOFTWARE\\MIXED\\alpha");
    DWORD values = 0, subkeys = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(1u, values);
    EXPECT_EQ(2u, subkeys);
    EXPECT_EQ(Dword(2), GetBytes(key, "volume"));
    char name[32];
    DWORD size = sizeof name;
    RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
    EXPECT_STREQ("Volume", name);
    // Subkeys enumerate sorted without regard to case.
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyA(key, 0, name, sizeof name));
    EXPECT_STREQ("alpha", name);
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyA(key, 1, name, sizeof name));
    EXPECT_STREQ("Beta", name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(key, 2, name, sizeof name));
    RegCloseKey(key);
}

TEST_F(Registry, QueryFunctionsFollowTheBufferRules) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Sizes");
    SetBytes(key, "Twelve", REG_BINARY, "0123456789ab");
    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Twelve", nullptr, &type, nullptr, &size));
    EXPECT_EQ(12u, size);
    BYTE small[4];
    size = sizeof small;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Twelve", nullptr, &type, small, &size));
    EXPECT_EQ(12u, size);
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExA(key, "Twelve", nullptr, &type, small, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "None", nullptr, &type, nullptr, &size));

    char name[4];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
    nameSize = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr));

    DWORD maxData = 0, maxName = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                     &maxData, nullptr, nullptr);
    EXPECT_EQ(6u, maxName);
    EXPECT_EQ(12u, maxData);

    HKEY missing = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Nowhere", 0, KEY_READ, &missing));
    EXPECT_EQ(ERROR_BAD_PATHNAME,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\\\Sizes", 0, KEY_READ, &missing));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(reinterpret_cast<HKEY>(0x12345), "x", nullptr,
                                                     nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reinterpret_cast<HKEY>(0x12345)));
    RegCloseKey(key);
}

TEST_F(Registry, KeysDeleteOnlyWhenEmptyAndOpenHandlesNoticeIt) {
    HKEY parent = Create(HKEY_CURRENT_USER, "Software\\Parent");
    HKEY child = Create(HKEY_CURRENT_USER, "Software\\Parent\\Child");
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Parent"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(parent, "Child"));
    EXPECT_EQ(ERROR_KEY_DELETED, SetBytes(child, "x", REG_SZ, std::string(1, '\0')));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(parent, "Child"));
    // A handle opened for reading may not write.
    HKEY reader = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Parent", 0, KEY_READ, &reader));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetBytes(reader, "x", REG_DWORD, Dword(1)));
    for (HKEY k : {parent, child, reader})
        RegCloseKey(k);
}

TEST_F(Registry, OtherMachinesAndSpecialRootsAnswerAsOnNt) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_BAD_NETPATH, RegConnectRegistryA("\\\\otherbox", HKEY_LOCAL_MACHINE, &key));
    std::string self = "\\\\" + orvane::shell::HostName();
    EXPECT_EQ(ERROR_SUCCESS, RegConnectRegistryA(self.c_str(), HKEY_LOCAL_MACHINE, &key));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, key);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegConnectRegistryA(nullptr, HKEY_DYN_DATA, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegConnectRegistryA(nullptr, HKEY_PERFORMANCE_DATA, &key));
    DWORD size = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(HKEY_PERFORMANCE_DATA, "Global", nullptr, nullptr, nullptr, &size));

    char name[64];
    DWORD nameSize = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &nameSize));
    EXPECT_EQ(strlen(name), nameSize);
    DWORD tiny = 1;
    EXPECT_FALSE(GetComputerNameA(name, &tiny));
    EXPECT_EQ(nameSize + 1, tiny);
}

TEST_F(Registry, ClassesRootIsAViewOfTheMachineClasses) {
    HKEY cls = Create(HKEY_CLASSES_ROOT, "\\AudioCD\\shell\\play\\command");
    SetBytes(cls, "", REG_SZ, std::string("player %1", 9) + '\0');
    HKEY machine = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\AudioCD\\shell\\play\\command",
                            0, KEY_READ, &machine));
    EXPECT_EQ(std::string("player %1", 9) + '\0', GetBytes(machine, ""));
    EXPECT_TRUE(fs::exists(HiveFile("HKEY_LOCAL_MACHINE")));
    EXPECT_FALSE(fs::exists(HiveFile("HKEY_CLASSES_ROOT")));
    RegCloseKey(cls);
    RegCloseKey(machine);
}

TEST_F(Registry, SaveLoadUnloadRestoreAndReplace) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Saved");
    SetBytes(key, "Kept", REG_DWORD, Dword(7));
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Saved\\Below"));
    std::string file = (Dir() / "saved.hiv").string();
    ASSERT_EQ(ERROR_SUCCESS, RegSaveKeyA(key, file.c_str(), nullptr));
    EXPECT_EQ(ERROR_ALREADY_EXISTS, RegSaveKeyA(key, file.c_str(), nullptr));

    // Loaded under HKEY_USERS, the file is a key of its own, written back to that file.
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_USERS, "Guest", file.c_str()));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegLoadKeyA(HKEY_CURRENT_USER, "Guest", file.c_str()));
    HKEY loaded = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_USERS, "guest", 0, KEY_ALL_ACCESS, &loaded));
    EXPECT_EQ(Dword(7), GetBytes(loaded, "Kept"));
    char name[32];
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyA(HKEY_USERS, 0, name, sizeof name));
    EXPECT_STREQ("Guest", name);
    SetBytes(loaded, "Added", REG_DWORD, Dword(8));
    EXPECT_NE(std::string::npos, ReadFile(file).find("\"Added\"=dword:00000008"));
    EXPECT_EQ(std::string::npos, ReadFile(HiveFile("HKEY_USERS")).find("Added"));
    ASSERT_EQ(ERROR_SUCCESS, RegUnLoadKeyA(HKEY_USERS, "Guest"));
    EXPECT_EQ(ERROR_KEY_DELETED, SetBytes(loaded, "Late", REG_DWORD, Dword(9)));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegUnLoadKeyA(HKEY_USERS, "Guest"));
    RegCloseKey(loaded);

    // Restore puts the saved tree back over whatever the key holds now.
    SetBytes(key, "Kept", REG_DWORD, Dword(1));
    RegDeleteKeyA(key, "Below");
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Saved\\Stray"));
    ASSERT_EQ(ERROR_SUCCESS, RegRestoreKeyA(key, file.c_str(), 0));
    EXPECT_EQ(Dword(8), GetBytes(key, "Added"));
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyA(key, 0, name, sizeof name));
    EXPECT_STREQ("Below", name);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(key, 1, name, sizeof name));

    // Replace: the hive's old content goes to the old file, the new file becomes the hive.
    std::string old = (Dir() / "old.hiv").string();
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyA(HKEY_LOCAL_MACHINE, "Mounted", file.c_str()));
    std::string replacement = (Dir() / "new.hiv").string();
    WriteFile(replacement, "REGEDIT4\n\n[X]\n\"Fresh\"=dword:00000001\n");
    ASSERT_EQ(ERROR_SUCCESS,
              RegReplaceKeyA(HKEY_LOCAL_MACHINE, "Mounted", replacement.c_str(), old.c_str()));
    EXPECT_NE(std::string::npos, ReadFile(old).find("\"Added\""));
    HKEY mounted = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Mounted", 0, KEY_READ, &mounted));
    EXPECT_EQ(Dword(1), GetBytes(mounted, "Fresh"));
    EXPECT_EQ("<missing>", GetBytes(mounted, "Added"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegReplaceKeyA(HKEY_CURRENT_USER, "Software\\Saved",
                                                      replacement.c_str(), old.c_str()));
    RegCloseKey(mounted);
    RegCloseKey(key);
}

TEST_F(Registry, SecurityDescriptorsAreKeptAsGiven) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Secure");
    DWORD size = 0;
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER,
              RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size));
    EXPECT_EQ(20u, size);
    // Self-relative, with an owner SID (S-1-5-18) at offset 20.
    BYTE sd[32] = {1, 0, 0x00, 0x80, 20, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0,
                   0, 0, 0,    0,    1,  1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION, sd));
    orvane::registry::ResetForTesting();
    RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Secure", 0, KEY_READ, &key);
    BYTE back[64];
    size = sizeof back;
    ASSERT_EQ(ERROR_SUCCESS, RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION, back, &size));
    EXPECT_EQ(32u, size);
    EXPECT_EQ(0, std::memcmp(sd, back, 32));
    BYTE absolute[20] = {1, 0, 0, 0};
    EXPECT_EQ(ERROR_INVALID_SECURITY_DESCR, RegSetKeySecurity(key, 0, absolute));
    RegCloseKey(key);
}

TEST_F(Registry, ChangeNotificationSignalsOnceForTheWatchedScope) {
    HKEY watched = Create(HKEY_CURRENT_USER, "Software\\Watched");
    HKEY inner = Create(HKEY_CURRENT_USER, "Software\\Watched\\Inner");
    HKEY sibling = Create(HKEY_CURRENT_USER, "Software\\Sibling");
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    // Without the subtree, a value set below does not count; a new subkey name does.
    ASSERT_EQ(ERROR_SUCCESS, RegNotifyChangeKeyValue(
                                 watched, FALSE,
                                 REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME, event, TRUE));
    SetBytes(inner, "deep", REG_DWORD, Dword(1));
    SetBytes(sibling, "other", REG_DWORD, Dword(1));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 50));
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Watched\\New"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 2000));

    // With the subtree, a value deep below counts; and the notice fires once only.
    ResetEvent(event);
    ASSERT_EQ(ERROR_SUCCESS,
              RegNotifyChangeKeyValue(watched, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE));
    SetBytes(inner, "deep", REG_DWORD, Dword(2));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 2000));
    ResetEvent(event);
    SetBytes(inner, "deep", REG_DWORD, Dword(3));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 50));

    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegNotifyChangeKeyValue(watched, TRUE, 0, event, TRUE));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegNotifyChangeKeyValue(watched, TRUE, REG_NOTIFY_CHANGE_NAME, nullptr, TRUE));
    CloseHandle(event);
    for (HKEY k : {watched, inner, sibling})
        RegCloseKey(k);
}

// Runs the registry tool of the program folder; its exit status.
int RunTool(const std::string& arguments) {
    std::string command = (DistDir() / "orvane-reg").string() + " " + arguments + " >/dev/null";
    return WEXITSTATUS(std::system(command.c_str()));
}

TEST_F(Registry, AnotherProcessesWritesAreSeenAndNotified) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Shared");
    EXPECT_EQ("<missing>", GetBytes(key, "FromTool"));
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(ERROR_SUCCESS,
              RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE));
    ASSERT_EQ(0, RunTool("add 'HKCU\\Software\\Shared' /v FromTool /t REG_DWORD /d 5"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 5000));
    EXPECT_EQ(Dword(5), GetBytes(key, "FromTool"));
    CloseHandle(event);
    RegCloseKey(key);
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
    constexpr int kThreads = 4, kProcesses = 2, kEach = 40;
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Busy"));
    auto write = [](const std::string& prefix) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Busy", 0, KEY_ALL_ACCESS, &key)) return;
        for (int i = 0; i < kEach; ++i) {
            std::string name = prefix + std::to_string(i);
            DWORD v = static_cast<DWORD>(i);
            RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4);
        }
        RegCloseKey(key);
    };
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            orvane::registry::ResetForTesting();
            write("proc" + std::to_string(p) + "-");
            _exit(0);
        }
        children.push_back(pid);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(write, "thread" + std::to_string(t) + "-");
    for (auto& t : threads)
        t.join();
    for (pid_t pid : children)
        waitpid(pid, nullptr, 0);

    orvane::registry::ResetForTesting();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Busy", 0, KEY_READ, &key));
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_EQ(static_cast<DWORD>((kThreads + kProcesses) * kEach), values);
    RegCloseKey(key);
}

TEST_F(Registry, AWriterKilledAtAnyMomentLeavesALoadableHive) {
    std::mt19937 random(12345);
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Crash");
    // A hive of some size, so that a write takes a while.
    for (int i = 0; i < 200; ++i)
        SetBytes(key, ("filler" + std::to_string(i)).c_str(), REG_SZ, std::string(100, 'f') + '\0');
    RegCloseKey(key);
    for (int round = 0; round < 15; ++round) {
        orvane::registry::ResetForTesting();
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            HKEY k = nullptr;
            RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Crash", 0, KEY_ALL_ACCESS, &k);
            for (DWORD i = 0;; ++i)
                RegSetValueExA(k, "counter", 0, REG_DWORD, reinterpret_cast<BYTE*>(&i), 4);
        }
        usleep(std::uniform_int_distribution<int>(1000, 30000)(random));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        auto parsed = orvane::registry::Parse(ReadFile(HiveFile("HKEY_CURRENT_USER")));
        ASSERT_TRUE(parsed.root) << "round " << round << ": " << parsed.error;
        orvane::registry::ResetForTesting();
        HKEY k = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Crash", 0, KEY_READ, &k));
        EXPECT_EQ(std::string(100, 'f') + '\0', GetBytes(k, "filler199"));
        RegCloseKey(k);
    }
    // The next writer clears the temporary files the killed writers left.
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\After"));
    for (const auto& entry : fs::directory_iterator(Dir().path()))
        EXPECT_EQ(std::string::npos, entry.path().filename().string().find(".tmp-"));
}

TEST_F(Registry, ACorruptHiveIsSetAsideAndReportedOnce) {
    const std::string garbage = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"broken=\n";
    WriteFile(HiveFile("HKEY_CURRENT_USER"), garbage);
    ::testing::internal::CaptureStderr();
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, said.find("line 4"));
    EXPECT_EQ(said.find("cannot be read"), said.rfind("cannot be read"));

    std::vector<fs::path> aside;
    for (const auto& entry : fs::directory_iterator(Dir().path()))
        if (entry.path().string().find(".corrupt-") != std::string::npos)
            aside.push_back(entry.path());
    ASSERT_EQ(1u, aside.size());
    EXPECT_EQ(garbage, ReadFile(aside[0]));
    // Writing goes on into a fresh hive; the set-aside copy stays as it was.
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\New"));
    EXPECT_TRUE(orvane::registry::Parse(ReadFile(HiveFile("HKEY_CURRENT_USER"))).root);
    EXPECT_EQ(garbage, ReadFile(aside[0]));
}

TEST_F(Registry, AReadOnlyHiveRefusesWritesWithAccessDenied) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Locked");
    SetBytes(key, "Before", REG_DWORD, Dword(1));
    RegCloseKey(key);
    ASSERT_EQ(0, ::chmod(HiveFile("HKEY_CURRENT_USER").c_str(), 0444));
    std::string before = ReadFile(HiveFile("HKEY_CURRENT_USER"));

    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Locked", 0, KEY_ALL_ACCESS, &key));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Locked", 0, KEY_READ, &key));
    EXPECT_EQ(Dword(1), GetBytes(key, "Before"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetBytes(HKEY_CURRENT_USER, "Root value", REG_DWORD, Dword(2)));
    HKEY created = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Other", 0, nullptr,
                                                   0, KEY_ALL_ACCESS, nullptr, &created, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Locked"));
    EXPECT_EQ(before, ReadFile(HiveFile("HKEY_CURRENT_USER")));
    RegCloseKey(key);
    ::chmod(HiveFile("HKEY_CURRENT_USER").c_str(), 0600);
}

TEST_F(Registry, HivesTooDeepOrNotRegularAreSetAsideAndDeepTreesNeedNoDeepStack) {
    // One key 200 000 levels down: every program loading it used to overflow its stack.
    std::string deep = "REGEDIT4\n\n[HKEY_CURRENT_USER";
    for (int i = 0; i < 200000; ++i)
        deep += "\\k";
    WriteFile(HiveFile("HKEY_CURRENT_USER"), deep + "]\n");
    ::testing::internal::CaptureStderr();
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "k", 0, KEY_READ, &key));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("the key lies too deep"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(HiveFile("HKEY_CURRENT_USER")));

    // A FIFO in place of a hive is neither waited on nor read: it is set aside too.
    ASSERT_EQ(::mkfifo(HiveFile("HKEY_USERS").c_str(), 0600), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_USERS, "x", 0, KEY_READ, &key));
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("not a regular file"),
              std::string::npos);
    RegCloseKey(Create(HKEY_USERS, "x"));
    EXPECT_TRUE(fs::is_regular_file(HiveFile("HKEY_USERS")));

    // Trees of any depth are copied, compared and taken apart without recursion.
    auto top = std::make_unique<orvane::registry::Node>();
    orvane::registry::Node* node = top.get();
    for (int i = 0; i < 200000; ++i)
        node = node->AddChild("k");
    auto copy = top->Clone();
    EXPECT_EQ(copy->Depth(), 200000u);
    EXPECT_EQ(orvane::registry::Snapshot(*copy, 0xF, true).size(),
              orvane::registry::Snapshot(*top, 0xF, true).size());
    copy.reset();
    top.reset();

    // The registry makes keys as deep as it can read back, and no deeper.
    std::string path = "k";
    for (size_t i = 1; i < orvane::registry::kMaxKeyDepth; ++i)
        path += "\\k";
    RegCloseKey(Create(HKEY_CURRENT_USER, path.c_str()));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegCreateKeyExA(HKEY_CURRENT_USER, (path + "\\k").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr));
    orvane::registry::ResetForTesting();
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key));
    RegCloseKey(key);
}

TEST_F(Registry, ChangesApplyInOrderAndAllOrNothing) {
    using orvane::registry::KeyChange;
    HKEY old = Create(HKEY_CURRENT_USER, "Software\\Old\\Sub");
    RegCloseKey(old);
    std::vector<KeyChange> changes(5);
    changes[0].kind = KeyChange::Kind::CreateKey;
    changes[0].path = {"Software", "New"};
    changes[0].lastWrite = 0x01d0000000000000ULL;
    changes[1].kind = KeyChange::Kind::SetValue;
    changes[1].path = {"Software", "New"};
    changes[1].value = {"v", REG_SZ, std::string("x\0", 2)};
    changes[2].kind = KeyChange::Kind::DeleteValue;
    changes[2].path = {"Software", "New"};
    changes[2].value.name = "not there";
    changes[3].kind = KeyChange::Kind::DeleteKey;
    changes[3].path = {"Software", "Old"};
    changes[4].kind = KeyChange::Kind::CreateKey;
    changes[4].path = {".mp3"};
    for (auto& c : changes)
        c.root = HKEY_CURRENT_USER;
    changes[4].root = HKEY_CLASSES_ROOT;  // its key does not exist yet
    ASSERT_EQ(ERROR_SUCCESS, orvane::registry::ApplyChanges(changes));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Old", 0, KEY_READ, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\New", 0, KEY_READ, &key));
    EXPECT_EQ(GetBytes(key, "v"), std::string("x\0", 2));
    FILETIME written{};
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, &written));
    EXPECT_EQ(written.dwHighDateTime, 0x01d00000u);  // the given time, though a value was set
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\.mp3", 0, KEY_READ, &key));
    RegCloseKey(key);

    // A change that cannot be made leaves the hive as it was, earlier changes included.
    const std::string before = ReadFile(HiveFile("HKEY_CURRENT_USER"));
    std::vector<KeyChange> bad(2);
    bad[0].root = bad[1].root = HKEY_CURRENT_USER;
    bad[0].path = {"Software", "Half"};
    bad[1].kind = KeyChange::Kind::DeleteKey;  // the root itself
    EXPECT_EQ(ERROR_ACCESS_DENIED, orvane::registry::ApplyChanges(bad));
    EXPECT_EQ(ReadFile(HiveFile("HKEY_CURRENT_USER")), before);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Half", 0, KEY_READ, &key));
}

}  // namespace
}  // namespace orvane::test
