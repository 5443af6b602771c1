#pragma once
// Test helper: one of this process's registry roots (the machine's or the
// user's) redirected to a scratch key holding its own Run key, which can be
// made to refuse changes as a machine-wide key does for a user without
// administrator rights. Create a machine root before a user root: the
// scratch keys live under the real user root.
#include <windows.h>
#include <sddl.h>

#include <string>

class ScratchRunRoot {
public:
    static constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const char* kValue = "QuiloStartUpAutoRun";

    ScratchRunRoot(HKEY root, const std::string& name) : m_root(root), m_name("Software\\QSurgeTest\\" + name)
    {
        HKEY run = nullptr;
        if (RegCreateKeyA(HKEY_CURRENT_USER, m_name.c_str(), &m_key) == ERROR_SUCCESS &&
            RegCreateKeyA(m_key, kRunKey, &run) == ERROR_SUCCESS) {
            RegCloseKey(run);
            m_ready = RegOverridePredefKey(m_root, m_key) == ERROR_SUCCESS;
        }
    }
    ~ScratchRunRoot()
    {
        RegOverridePredefKey(m_root, nullptr);
        SetRunKeyAccess("D:(A;;KA;;;WD)");
        if (m_key) RegCloseKey(m_key);
        RegDeleteTreeA(HKEY_CURRENT_USER, m_name.c_str());
    }
    ScratchRunRoot(const ScratchRunRoot&) = delete;
    ScratchRunRoot& operator=(const ScratchRunRoot&) = delete;

    bool Ready() const { return m_ready; }
    // From now on the Run key may be read but not changed.
    bool Lock() { return SetRunKeyAccess("D:P(A;;KR;;;WD)"); }
    bool SetValue(const std::string& data)
    {
        return RegSetKeyValueA(m_key, kRunKey, kValue, REG_SZ, data.c_str(), static_cast<DWORD>(data.size() + 1)) ==
               ERROR_SUCCESS;
    }
    bool SetWideValue(const std::wstring& data, DWORD type = REG_SZ)
    {
        return RegSetKeyValueW(m_key, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"QuiloStartUpAutoRun", type,
                               data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    // The value's registry type, or REG_NONE when there is none.
    DWORD Type() const
    {
        DWORD type = REG_NONE;
        if (RegGetValueA(m_key, kRunKey, kValue, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr) != ERROR_SUCCESS)
            return REG_NONE;
        return type;
    }
    // The value's text as stored, or "<none>".
    std::string Value() const
    {
        char data[1024] = {};
        DWORD size = sizeof data;
        if (RegGetValueA(m_key, kRunKey, kValue, RRF_RT_ANY | RRF_NOEXPAND, nullptr, data, &size) != ERROR_SUCCESS) return "<none>";
        return data;
    }
    // The same as the wide text it is, or L"<none>".
    std::wstring WideValue() const
    {
        wchar_t data[1024] = {};
        DWORD size = sizeof data;
        if (RegGetValueW(m_key, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"QuiloStartUpAutoRun",
                         RRF_RT_ANY, nullptr, data, &size) != ERROR_SUCCESS)
            return L"<none>";
        return data;
    }

private:
    bool SetRunKeyAccess(const char* sddl)
    {
        HKEY run = nullptr;
        PSECURITY_DESCRIPTOR sd = nullptr;
        bool done = false;
        // The owner may always change the key's access list.
        if (m_key && RegOpenKeyExA(m_key, kRunKey, 0, WRITE_DAC, &run) == ERROR_SUCCESS &&
            ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr))
            done = RegSetKeySecurity(run, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
        if (sd) LocalFree(sd);
        if (run) RegCloseKey(run);
        return done;
    }

    HKEY m_root;
    std::string m_name;
    HKEY m_key = nullptr;
    bool m_ready = false;
};
