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

// QueryAutoRun's answer for one root.
int QueryIn(HKEY root, char* buffer)
{
    buffer[0] = '\0';
    RegKey key;
    if (RegOpenKeyExA(root, kRunKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return 1;
    DWORD type = REG_NONE;
    DWORD size = kQueryBufferSize;
    const LONG status =
        RegQueryValueExA(key.Get(), kValueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    // Present but longer than the buffer (a quoted path of 255 characters is):
    // the buffer's contents are undefined then.
    if (status == ERROR_MORE_DATA) {
        buffer[0] = '\0';
        return 0;
    }
    if (status != ERROR_SUCCESS)
        return 2;
    // Registry strings need not end in a null.
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
        buffer[size < kQueryBufferSize ? size : kQueryBufferSize - 1] = '\0';
    else
        buffer[0] = '\0';
    return 0;
}

bool HoldsValue(HKEY root)
{
    char buffer[kQueryBufferSize];
    return QueryIn(root, buffer) == 0;
}

LONG WriteIn(HKEY root, const std::string& data)
{
    RegKey key;
    const LONG status = RegCreateKeyA(root, kRunKey, key.Receive());
    if (status != ERROR_SUCCESS)
        return status;
    return RegSetValueExA(key.Get(), kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>(data.size() + 1));
}

// ERROR_FILE_NOT_FOUND also when a key this user may not change holds no value:
// there is nothing to remove from it.
LONG DeleteIn(HKEY root)
{
    RegKey key;
    LONG status = RegOpenKeyExA(root, kRunKey, 0, KEY_SET_VALUE, key.Receive());
    if (status == ERROR_SUCCESS)
        status = RegDeleteValueA(key.Get(), kValueName);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && !HoldsValue(root))
        return ERROR_FILE_NOT_FOUND;
    return status;
}

}  // namespace

int QueryAutoRun(char* buffer)
{
    const int machine = QueryIn(HKEY_LOCAL_MACHINE, buffer);
    if (machine == 0 || QueryIn(HKEY_CURRENT_USER, buffer) == 0)
        return 0;
    buffer[0] = '\0';
    return machine;
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
    const std::string data = "\"" + std::string(path, length) + "\" " + kLogonArgument;
    if (WriteIn(HKEY_LOCAL_MACHINE, data) == ERROR_SUCCESS) {
        // An entry left under the user's key by an earlier fallback would start the program twice.
        DeleteIn(HKEY_CURRENT_USER);
        return ERROR_SUCCESS;
    }
    return WriteIn(HKEY_CURRENT_USER, data);
}

LONG RemoveAutoRun()
{
    const LONG statuses[] = {DeleteIn(HKEY_LOCAL_MACHINE), DeleteIn(HKEY_CURRENT_USER)};
    LONG result = ERROR_FILE_NOT_FOUND;
    for (const LONG status : statuses) {
        if (status == ERROR_FILE_NOT_FOUND)
            continue;
        if (status != ERROR_SUCCESS)
            return status;
        result = ERROR_SUCCESS;
    }
    return result;
}
