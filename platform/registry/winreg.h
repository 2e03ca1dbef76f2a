#pragma once
// The registry service: the Win32 registry functions with their handles, value types, access
// rights and error numbers, kept in one hive file per root under $ORVANE_REGISTRY_DIR
// (default ~/.config/orvane/).

#include <string>

#include "platform/base/event.h"
#include "platform/base/wintypes.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
using LPCBYTE = const BYTE*;
using SECURITY_INFORMATION = DWORD;
using PSECURITY_DESCRIPTOR = void*;
using PFILETIME = FILETIME*;

struct SECURITY_ATTRIBUTES {
    DWORD nLength = sizeof(SECURITY_ATTRIBUTES);
    void* lpSecurityDescriptor = nullptr;
    BOOL bInheritHandle = FALSE;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

inline HKEY PredefinedKey(std::uintptr_t value) { return reinterpret_cast<HKEY>(value); }
#define HKEY_CLASSES_ROOT PredefinedKey(0x80000000u)
#define HKEY_CURRENT_USER PredefinedKey(0x80000001u)
#define HKEY_LOCAL_MACHINE PredefinedKey(0x80000002u)
#define HKEY_USERS PredefinedKey(0x80000003u)
#define HKEY_PERFORMANCE_DATA PredefinedKey(0x80000004u)
#define HKEY_CURRENT_CONFIG PredefinedKey(0x80000005u)
#define HKEY_DYN_DATA PredefinedKey(0x80000006u)

constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_INVALID_SECURITY_DESCR = 1338;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_EXECUTE = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Creation options and dispositions.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_OPTION_BACKUP_RESTORE = 4;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Restore flags.
constexpr DWORD REG_WHOLE_HIVE_VOLATILE = 1;
constexpr DWORD REG_REFRESH_HIVE = 2;
constexpr DWORD REG_FORCE_RESTORE = 8;

// Change notification filters.
constexpr DWORD REG_NOTIFY_CHANGE_NAME = 0x1;
constexpr DWORD REG_NOTIFY_CHANGE_ATTRIBUTES = 0x2;
constexpr DWORD REG_NOTIFY_CHANGE_LAST_SET = 0x4;
constexpr DWORD REG_NOTIFY_CHANGE_SECURITY = 0x8;

// Parts of a security descriptor.
constexpr SECURITY_INFORMATION OWNER_SECURITY_INFORMATION = 0x1;
constexpr SECURITY_INFORMATION GROUP_SECURITY_INFORMATION = 0x2;
constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x4;
constexpr SECURITY_INFORMATION SACL_SECURITY_INFORMATION = 0x8;

LONG RegConnectRegistryA(LPCSTR machineName, HKEY key, PHKEY result);
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                     REGSAM desired, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);
LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LONG RegCloseKey(HKEY key);
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);
LONG RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD nameSize);
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                   LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG RegFlushKey(HKEY key);
LONG RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classSize, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen, LPDWORD values,
                      LPDWORD maxValueNameLen, LPDWORD maxValueLen, LPDWORD securityDescriptorSize,
                      PFILETIME lastWriteTime);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegLoadKeyA(HKEY key, LPCSTR subKey, LPCSTR file);
LONG RegUnLoadKeyA(HKEY key, LPCSTR subKey);
LONG RegSaveKeyA(HKEY key, LPCSTR file, LPSECURITY_ATTRIBUTES security);
LONG RegRestoreKeyA(HKEY key, LPCSTR file, DWORD flags);
LONG RegReplaceKeyA(HKEY key, LPCSTR subKey, LPCSTR newFile, LPCSTR oldFile);
LONG RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD filter, HANDLE event,
                             BOOL asynchronous);
LONG RegGetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor,
                       LPDWORD descriptorSize);
LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor);
// The local computer's name; FALSE with the needed size when the buffer is too small.
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);

namespace orvane::registry {

// The folder of the hive files in force ($ORVANE_REGISTRY_DIR, else ~/.config/orvane/).
std::string RegistryFolder();
// Drops every cached hive, loaded key and open handle, so the next call starts afresh in the
// folder named by the environment (used by tests that switch folders).
void ResetForTesting();

}  // namespace orvane::registry
