#pragma once
// CRegistry: one connection to a registry root (local or, by name, another machine) and at most
// one open subkey. Every operation keeps the Win32 result in the object and returns TRUE exactly
// when it is 0.

#include <string>
#include <vector>

#include "common/cobject.h"
#include "platform/registry/winreg.h"

class CRegistry : public CObject {
public:
    CRegistry();
    ~CRegistry() override;
    const CRuntimeClass* GetRuntimeClass() const override;

    virtual BOOL Close();
    virtual BOOL Connect(HKEY root, LPCSTR machineName = nullptr);
    virtual BOOL Create(LPCSTR subKey, LPCSTR className = nullptr,
                        DWORD options = REG_OPTION_NON_VOLATILE, REGSAM access = KEY_ALL_ACCESS,
                        LPSECURITY_ATTRIBUTES security = nullptr, LPDWORD disposition = nullptr);
    virtual BOOL DeleteKey(LPCSTR path);
    virtual BOOL DeleteValue(LPCSTR name);
    virtual BOOL EnumerateKeys(DWORD index, std::string& name, std::string& className);
    virtual BOOL EnumerateValues(DWORD index, std::string& name, DWORD& type, LPBYTE data,
                                 DWORD& size);
    virtual BOOL Flush();
    virtual BOOL GetBinaryValue(LPCSTR name, std::vector<BYTE>& value);
    virtual std::string GetClassName() const;
    virtual std::string GetComputerName() const;
    virtual BOOL GetDoubleWordValue(LPCSTR name, DWORD& value);
    virtual LONG GetErrorCode() const;
    virtual std::string GetKeyName() const;
    virtual DWORD GetNumberOfSubkeys() const;
    virtual DWORD GetNumberOfValues() const;
    virtual std::string GetRegistryName() const;
    virtual BOOL GetSecurity(SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor,
                             DWORD& size);
    virtual BOOL GetStringValue(LPCSTR name, std::string& value);
    virtual BOOL GetStringArrayValue(LPCSTR name, std::vector<std::string>& value);
    virtual BOOL GetValue(LPCSTR name, std::vector<std::string>& value);
    virtual BOOL GetValue(LPCSTR name, std::string& value);
    virtual BOOL GetValue(LPCSTR name, DWORD& value);
    virtual BOOL GetValue(LPCSTR name, std::vector<BYTE>& value);
    virtual BOOL Load(LPCSTR subKey, LPCSTR file);
    virtual BOOL NotifyChange(HANDLE event,
                              DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                              BOOL watchSubtree = TRUE, BOOL asynchronous = TRUE);
    virtual BOOL Open(LPCSTR subKey, REGSAM access = KEY_ALL_ACCESS);
    virtual BOOL QueryInfo();
    virtual BOOL QueryValue(LPCSTR name, DWORD& type, LPBYTE data, DWORD& size);
    virtual BOOL Replace(LPCSTR subKey, LPCSTR newFile, LPCSTR oldFile);
    virtual BOOL Restore(LPCSTR file, DWORD flags = 0);
    virtual BOOL Save(LPCSTR file, LPSECURITY_ATTRIBUTES security = nullptr);
    virtual BOOL SetBinaryValue(LPCSTR name, const std::vector<BYTE>& value);
    virtual BOOL SetDoubleWordValue(LPCSTR name, DWORD value);
    virtual BOOL SetSecurity(SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor);
    virtual BOOL SetStringValue(LPCSTR name, const std::string& value);
    virtual BOOL SetStringArrayValue(LPCSTR name, const std::vector<std::string>& value);
    virtual BOOL SetValue(LPCSTR name, DWORD type, const BYTE* data, DWORD size);
    virtual BOOL SetValue(LPCSTR name, const std::string& value);
    virtual BOOL SetValue(LPCSTR name, const std::vector<std::string>& value);
    virtual BOOL SetValue(LPCSTR name, DWORD value);
    virtual BOOL SetValue(LPCSTR name, const std::vector<BYTE>& value);
    virtual BOOL UnLoad(LPCSTR subKey);

    HKEY KeyHandle() const { return m_hKey; }
    HKEY RegistryHandle() const { return m_hRegistry; }
    DWORD LongestSubkeyNameLength() const { return m_LongestSubkeyNameLength; }
    DWORD LongestClassNameLength() const { return m_LongestClassNameLength; }
    DWORD LongestValueNameLength() const { return m_LongestValueNameLength; }
    DWORD LongestValueDataLength() const { return m_LongestValueDataLength; }
    DWORD SecurityDescriptorLength() const { return m_SecurityDescriptorLength; }
    FILETIME LastWriteTime() const { return m_LastWriteTime; }

private:
    void Empty();
    BOOL Result(LONG code);
    void CloseKey();
    LONG DeleteSubkey(HKEY parent, const char* name);
    BOOL ReadSizedValue(LPCSTR name, DWORD type, std::vector<BYTE>& buffer);

    HKEY m_hKey;
    HKEY m_hRegistry;
    LONG m_ErrorCode;
    std::string m_ClassName;
    std::string m_ComputerName;
    std::string m_KeyName;
    std::string m_RegistryName;
    DWORD m_NumberOfSubkeys;
    DWORD m_NumberOfValues;
    DWORD m_LongestSubkeyNameLength;
    DWORD m_LongestClassNameLength;
    DWORD m_LongestValueNameLength;
    DWORD m_LongestValueDataLength;
    DWORD m_SecurityDescriptorLength;
    FILETIME m_LastWriteTime;
};
