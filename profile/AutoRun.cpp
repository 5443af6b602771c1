#include "profile/AutoRun.h"

#include <string>

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kValueName[] = "QuiloStartUpAutoRun";
const DWORD kQueryBufferSize = 256;

// Owns an open registry key.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { if (m_key) RegCloseKey(m_key); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* Receive() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

}  // namespace

int QueryAutoRun(char* buffer)
{
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return 1;
    DWORD size = kQueryBufferSize;
    const LONG status = RegGetValueA(key.Get(), nullptr, kValueName, RRF_RT_REG_SZ, nullptr, buffer, &size);
    if (status == ERROR_MORE_DATA) {
        // Present but longer than the buffer (a quoted path of 255 characters is);
        // the buffer's contents are undefined then.
        buffer[0] = '\0';
        return 0;
    }
    return status == ERROR_SUCCESS ? 0 : 2;
}

LONG SetAutoRun()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0)
        return static_cast<LONG>(GetLastError());
    if (length >= MAX_PATH)
        return ERROR_INSUFFICIENT_BUFFER;  // never register a truncated path
    // Unquoted, a path with spaces lets Windows run "C:\Program.exe" first.
    const std::string data = "\"" + std::string(path, length) + "\"";
    RegKey key;
    const LONG status = RegCreateKeyA(HKEY_LOCAL_MACHINE, kRunKey, key.Receive());
    if (status != ERROR_SUCCESS)
        return status;
    return RegSetValueExA(key.Get(), kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1));
}

LONG RemoveAutoRun()
{
    RegKey key;
    const LONG status = RegCreateKeyA(HKEY_LOCAL_MACHINE, kRunKey, key.Receive());
    if (status != ERROR_SUCCESS)
        return status;
    return RegDeleteValueA(key.Get(), kValueName);
}
