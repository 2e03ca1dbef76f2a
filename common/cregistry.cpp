#include "common/cregistry.h"

#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

constexpr DWORD kNameBuffer = 2048;
constexpr DWORD kKeyNameBuffer = 2047;
constexpr DWORD kDeleteNameBuffer = 260;
constexpr LONG kServiceFailed = ERROR_EXCEPTION_IN_SERVICE;

const char* RootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (root == HKEY_USERS) return "HKEY_USERS";
    if (root == HKEY_PERFORMANCE_DATA) return "HKEY_PERFORMANCE_DATA";
    if (root == HKEY_CURRENT_CONFIG) return "HKEY_CURRENT_CONFIG";
    if (root == HKEY_DYN_DATA) return "HKEY_DYN_DATA";
    return "Unknown";
}

}  // namespace

CRegistry::CRegistry() { Empty(); }

CRegistry::~CRegistry() {
    if (m_hRegistry) Close();
}

const CRuntimeClass* CRegistry::GetRuntimeClass() const {
    static const CRuntimeClass rc{"CRegistry", sizeof(CRegistry)};
    return &rc;
}

void CRegistry::Empty() {
    m_hKey = nullptr;
    m_hRegistry = nullptr;
    m_ErrorCode = ERROR_SUCCESS;
    m_ClassName.clear();
    m_ComputerName.clear();
    m_KeyName.clear();
    m_RegistryName.clear();
    m_NumberOfSubkeys = 0;
    m_NumberOfValues = 0;
    m_LongestSubkeyNameLength = 0;
    m_LongestClassNameLength = 0;
    m_LongestValueNameLength = 0;
    m_LongestValueDataLength = 0;
    m_SecurityDescriptorLength = 0;
    m_LastWriteTime = FILETIME{};
}

BOOL CRegistry::Result(LONG code) {
    m_ErrorCode = code;
    return code == ERROR_SUCCESS ? TRUE : FALSE;
}

void CRegistry::CloseKey() {
    if (m_hKey) {
        RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
}

BOOL CRegistry::Close() {
    CloseKey();
    LONG r = RegCloseKey(m_hRegistry);
    if (r == ERROR_SUCCESS) Empty();
    return Result(r);
}

BOOL CRegistry::Connect(HKEY root, LPCSTR machineName) {
    try {
        if (root == HKEY_CLASSES_ROOT || root == HKEY_CURRENT_USER) {
            if (machineName) return Result(ERROR_INVALID_HANDLE);
            m_hRegistry = root;
            m_ErrorCode = ERROR_SUCCESS;
        } else {
            HKEY handle = nullptr;
            LONG r = RegConnectRegistryA(machineName, root, &handle);
            if (r != ERROR_SUCCESS) return Result(r);
            m_hRegistry = handle;
            m_ErrorCode = ERROR_SUCCESS;
        }
        if (machineName) {
            m_ComputerName = machineName;
        } else {
            char name[260] = {};
            DWORD size = sizeof name;
            m_ComputerName = GetComputerNameA(name, &size) ? name : "";
        }
        m_RegistryName = RootName(root);
        return TRUE;
    } catch (...) {
        return Result(kServiceFailed);
    }
}

BOOL CRegistry::Create(LPCSTR subKey, LPCSTR className, DWORD options, REGSAM access,
                       LPSECURITY_ATTRIBUTES security, LPDWORD disposition) {
    if (!subKey) return Result(ERROR_INVALID_PARAMETER);
    try {
        CloseKey();
        std::string cls = className ? className : "";
        DWORD result = 0;
        LONG r = RegCreateKeyExA(m_hRegistry, subKey, 0, cls.data(), options, access, security,
                                 &m_hKey, &result);
        if (r != ERROR_SUCCESS) {
            m_hKey = nullptr;
            return Result(r);
        }
        m_KeyName = subKey;
        if (disposition) *disposition = result;
        return Result(ERROR_SUCCESS);
    } catch (...) {
        return Result(kServiceFailed);
    }
}

// Deletes a subkey and everything below it. A subkey that cannot be deleted ends the walk with
// its error, so the loop never spins on a key that stays.
LONG CRegistry::DeleteSubkey(HKEY parent, const char* name) {
    HKEY key = nullptr;
    LONG r = RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key);
    if (r != ERROR_SUCCESS) return r;
    std::unique_ptr<char[]> child(new (std::nothrow) char[kDeleteNameBuffer]);
    if (!child) {
        RegCloseKey(key);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    while (RegEnumKeyA(key, 0, child.get(), kDeleteNameBuffer) == ERROR_SUCCESS) {
        r = DeleteSubkey(key, child.get());
        if (r != ERROR_SUCCESS) {
            RegCloseKey(key);
            return r;
        }
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name);
}

BOOL CRegistry::DeleteKey(LPCSTR path) {
    if (!path) return Result(ERROR_INVALID_PARAMETER);
    try {
        std::string text(path);
        size_t last = text.rfind('\\');
        if (last == std::string::npos) return Result(DeleteSubkey(m_hKey, path));
        std::string parent = text.substr(0, last);
        std::string child = text.substr(last + 1);
        std::string previousName = m_KeyName;
        if (!Open(parent.c_str(), KEY_ALL_ACCESS)) {
            m_KeyName = previousName;
            return FALSE;
        }
        return Result(DeleteSubkey(m_hKey, child.c_str()));
    } catch (...) {
        return Result(kServiceFailed);
    }
}

BOOL CRegistry::DeleteValue(LPCSTR name) {
    if (!name) return Result(ERROR_INVALID_PARAMETER);
    return Result(RegDeleteValueA(m_hKey, name));
}

BOOL CRegistry::EnumerateKeys(DWORD index, std::string& name, std::string& className) {
    char nameBuffer[kKeyNameBuffer + 1] = {};
    char classBuffer[kKeyNameBuffer + 1] = {};
    DWORD nameSize = kKeyNameBuffer;
    DWORD classSize = kKeyNameBuffer;
    FILETIME written;
    LONG r = RegEnumKeyExA(m_hKey, index, nameBuffer, &nameSize, nullptr, classBuffer, &classSize,
                           &written);
    if (r == ERROR_SUCCESS) {
        name.assign(nameBuffer, nameSize);
        className.assign(classBuffer, classSize);
    }
    return Result(r);
}

BOOL CRegistry::EnumerateValues(DWORD index, std::string& name, DWORD& type, LPBYTE data,
                                DWORD& size) {
    if (!data) return Result(ERROR_INVALID_PARAMETER);
    try {
        char nameBuffer[kNameBuffer] = {};
        DWORD nameSize = kNameBuffer;
        LONG r = RegEnumValueA(m_hKey, index, nameBuffer, &nameSize, nullptr, &type, data, &size);
        if (r == ERROR_SUCCESS) name.assign(nameBuffer, nameSize);
        return Result(r);
    } catch (...) {
        return Result(kServiceFailed);
    }
}

BOOL CRegistry::Flush() { return Result(RegFlushKey(m_hKey)); }

// Refreshes the key query, takes a buffer of the longest value's size and queries the value
// into it; the buffer holds exactly the value's bytes on success.
BOOL CRegistry::ReadSizedValue(LPCSTR name, DWORD type, std::vector<BYTE>& buffer) {
    if (!name) return Result(ERROR_INVALID_PARAMETER);
    if (!QueryInfo()) return FALSE;
    try {
        buffer.resize(m_LongestValueDataLength);
    } catch (const std::bad_alloc&) {
        return Result(ERROR_NOT_ENOUGH_MEMORY);
    }
    DWORD size = static_cast<DWORD>(buffer.size());
    LONG r = RegQueryValueExA(m_hKey, name, nullptr, &type, buffer.data(), &size);
    if (r == ERROR_SUCCESS) buffer.resize(size);
    return Result(r);
}

BOOL CRegistry::GetBinaryValue(LPCSTR name, std::vector<BYTE>& value) {
    std::vector<BYTE> buffer;
    if (!ReadSizedValue(name, REG_BINARY, buffer)) return FALSE;
    value = std::move(buffer);
    return TRUE;
}

std::string CRegistry::GetClassName() const { return m_ClassName; }
std::string CRegistry::GetComputerName() const { return m_ComputerName; }

BOOL CRegistry::GetDoubleWordValue(LPCSTR name, DWORD& value) {
    if (!name) return Result(ERROR_INVALID_PARAMETER);
    DWORD type = REG_DWORD;
    DWORD size = sizeof(DWORD);
    DWORD read = 0;
    LONG r = RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<LPBYTE>(&read), &size);
    if (r == ERROR_SUCCESS) value = read;
    return Result(r);
}

LONG CRegistry::GetErrorCode() const { return m_ErrorCode; }
std::string CRegistry::GetKeyName() const { return m_KeyName; }
DWORD CRegistry::GetNumberOfSubkeys() const { return m_NumberOfSubkeys; }
DWORD CRegistry::GetNumberOfValues() const { return m_NumberOfValues; }
std::string CRegistry::GetRegistryName() const { return m_RegistryName; }

BOOL CRegistry::GetSecurity(SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor,
                            DWORD& size) {
    return Result(RegGetKeySecurity(m_hKey, what, descriptor, &size));
}

BOOL CRegistry::GetStringValue(LPCSTR name, std::string& value) {
    if (!name) {
        value.clear();
        return Result(ERROR_INVALID_PARAMETER);
    }
    char buffer[kNameBuffer];
    std::memset(buffer, 0, sizeof buffer);
    DWORD type = REG_SZ;
    DWORD size = sizeof buffer;
    LONG r =
        RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    if (r == ERROR_SUCCESS)
        value.assign(buffer, strnlen(buffer, size));
    else
        value.clear();
    return Result(r);
}

BOOL CRegistry::GetStringArrayValue(LPCSTR name, std::vector<std::string>& value) {
    std::vector<BYTE> buffer;
    if (!ReadSizedValue(name, REG_MULTI_SZ, buffer)) return FALSE;
    // Each text ends with a zero byte and the list with one more; a list written without that
    // last zero still yields its texts.
    std::string data(buffer.begin(), buffer.end());
    if (data.size() >= 2 && data.compare(data.size() - 2, 2, std::string(2, '\0')) == 0)
        data.pop_back();
    else if (data == std::string(1, '\0'))
        data.clear();
    value.clear();
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\0', start);
        if (end == std::string::npos) end = data.size();
        value.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return Result(ERROR_SUCCESS);
}

BOOL CRegistry::GetValue(LPCSTR name, std::vector<std::string>& value) {
    if (!name) return Result(ERROR_INVALID_PARAMETER);
    return GetStringArrayValue(name, value);
}
BOOL CRegistry::GetValue(LPCSTR name, std::string& value) {
    if (!name) return Result(ERROR_INVALID_PARAMETER);
    return GetStringValue(name, value);
}
BOOL CRegistry::GetValue(LPCSTR name, DWORD& value) {
    if (!name) return Result(ERROR_INVALID_PARAMETER);
    return GetDoubleWordValue(name, value);
}
BOOL CRegistry::GetValue(LPCSTR name, std::vector<BYTE>& value) {
    if (!name) return Result(ERROR_INVALID_PARAMETER);
    return GetBinaryValue(name, value);
}

BOOL CRegistry::Load(LPCSTR subKey, LPCSTR file) {
    if (!subKey || !file) return Result(ERROR_INVALID_PARAMETER);
    return Result(RegLoadKeyA(m_hRegistry, subKey, file));
}

BOOL CRegistry::NotifyChange(HANDLE event, DWORD filter, BOOL watchSubtree, BOOL asynchronous) {
    return Result(RegNotifyChangeKeyValue(m_hKey, watchSubtree, filter, event, asynchronous));
}

BOOL CRegistry::Open(LPCSTR subKey, REGSAM access) {
    if (!subKey) return Result(ERROR_INVALID_PARAMETER);
    try {
        CloseKey();
        LONG r = RegOpenKeyExA(m_hRegistry, subKey, 0, access, &m_hKey);
        if (r != ERROR_SUCCESS) {
            m_hKey = nullptr;
            return Result(r);
        }
        QueryInfo();
        m_KeyName = subKey;
        return Result(ERROR_SUCCESS);
    } catch (...) {
        return Result(kServiceFailed);
    }
}

BOOL CRegistry::QueryInfo() {
    char className[kNameBuffer] = {};
    DWORD classSize = kNameBuffer;
    LONG r = RegQueryInfoKeyA(
        m_hKey, className, &classSize, nullptr, &m_NumberOfSubkeys, &m_LongestSubkeyNameLength,
        &m_LongestClassNameLength, &m_NumberOfValues, &m_LongestValueNameLength,
        &m_LongestValueDataLength, &m_SecurityDescriptorLength, &m_LastWriteTime);
    if (r == ERROR_SUCCESS) m_ClassName.assign(className, classSize);
    return Result(r);
}

BOOL CRegistry::QueryValue(LPCSTR name, DWORD& type, LPBYTE data, DWORD& size) {
    if (!name || !data) return Result(ERROR_INVALID_PARAMETER);
    return Result(RegQueryValueExA(m_hKey, name, nullptr, &type, data, &size));
}

BOOL CRegistry::Replace(LPCSTR subKey, LPCSTR newFile, LPCSTR oldFile) {
    if (!newFile || !oldFile) return Result(ERROR_INVALID_PARAMETER);
    return Result(RegReplaceKeyA(m_hKey, subKey, newFile, oldFile));
}

BOOL CRegistry::Restore(LPCSTR file, DWORD flags) {
    if (!file) return Result(ERROR_INVALID_PARAMETER);
    return Result(RegRestoreKeyA(m_hKey, file, flags));
}

BOOL CRegistry::Save(LPCSTR file, LPSECURITY_ATTRIBUTES security) {
    if (!file) return Result(ERROR_INVALID_PARAMETER);
    return Result(RegSaveKeyA(m_hKey, file, security));
}

BOOL CRegistry::SetBinaryValue(LPCSTR name, const std::vector<BYTE>& value) {
    std::vector<BYTE> buffer(value);
    return SetValue(name, REG_BINARY, buffer.data(), static_cast<DWORD>(buffer.size()));
}

BOOL CRegistry::SetDoubleWordValue(LPCSTR name, DWORD value) {
    return SetValue(name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(DWORD));
}

BOOL CRegistry::SetSecurity(SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor) {
    return Result(RegSetKeySecurity(m_hKey, what, descriptor));
}

BOOL CRegistry::SetStringValue(LPCSTR name, const std::string& value) {
    return SetValue(name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                    static_cast<DWORD>(value.size() + 1));
}

BOOL CRegistry::SetStringArrayValue(LPCSTR name, const std::vector<std::string>& value) {
    std::string buffer;
    for (const auto& text : value) {
        buffer += text;
        buffer += '\0';
    }
    buffer += '\0';
    return SetValue(name, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(buffer.data()),
                    static_cast<DWORD>(buffer.size()));
}

BOOL CRegistry::SetValue(LPCSTR name, DWORD type, const BYTE* data, DWORD size) {
    if (!name || (!data && size)) return Result(ERROR_INVALID_PARAMETER);
    return Result(RegSetValueExA(m_hKey, name, 0, type, data, size));
}
BOOL CRegistry::SetValue(LPCSTR name, const std::string& value) {
    return SetStringValue(name, value);
}
BOOL CRegistry::SetValue(LPCSTR name, const std::vector<std::string>& value) {
    return SetStringArrayValue(name, value);
}
BOOL CRegistry::SetValue(LPCSTR name, DWORD value) { return SetDoubleWordValue(name, value); }
BOOL CRegistry::SetValue(LPCSTR name, const std::vector<BYTE>& value) {
    return SetBinaryValue(name, value);
}

BOOL CRegistry::UnLoad(LPCSTR subKey) {
    if (!subKey) return Result(ERROR_INVALID_PARAMETER);
    return Result(RegUnLoadKeyA(m_hRegistry, subKey));
}
