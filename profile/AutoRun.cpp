#include "profile/AutoRun.h"

#include <shlobj.h>

#include "profile/IniFile.h"

#include <string>

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kValueName[] = L"QuiloStartUpAutoRun";
// The argument is plain ASCII.
const std::wstring kLogonArgumentW(kLogonArgument, kLogonArgument + std::char_traits<char>::length(kLogonArgument));
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
    if (RegOpenKeyExW(root, kRunKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return 1;
    DWORD type = REG_NONE;
    wchar_t text[kQueryBufferSize] = {};
    DWORD size = sizeof text;
    const LONG status = RegQueryValueExW(key.Get(), kValueName, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    // Present but longer than the buffer (a quoted path of 255 characters is):
    // the buffer's contents are undefined then.
    if (status == ERROR_MORE_DATA)
        return 0;
    if (status != ERROR_SUCCESS)
        return 2;
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
        return 0;
    // Registry strings need not end in a null.
    const int length = static_cast<int>(size / sizeof(wchar_t));
    const int written = WideCharToMultiByte(CP_UTF8, 0, text, length, buffer, kQueryBufferSize - 1, nullptr, nullptr);
    buffer[written > 0 ? written : 0] = '\0';
    return 0;
}

bool HoldsValue(HKEY root)
{
    char buffer[kQueryBufferSize];
    return QueryIn(root, buffer) == 0;
}

LONG WriteIn(HKEY root, const std::wstring& data)
{
    RegKey key;
    const LONG status = RegCreateKeyW(root, kRunKey, key.Receive());
    if (status != ERROR_SUCCESS)
        return status;
    return RegSetValueExW(key.Get(), kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

// ERROR_FILE_NOT_FOUND also when a key this user may not change holds no value:
// there is nothing to remove from it.
LONG DeleteIn(HKEY root)
{
    RegKey key;
    LONG status = RegOpenKeyExW(root, kRunKey, 0, KEY_SET_VALUE, key.Receive());
    if (status == ERROR_SUCCESS)
        status = RegDeleteValueW(key.Get(), kValueName);
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

bool IsInsideUserProfile(const std::wstring& path)
{
    wchar_t* profile = nullptr;
    bool inside = false;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &profile)) && profile) {
        const size_t length = std::char_traits<wchar_t>::length(profile);
        inside = length > 0 && path.size() > length && path[length] == L'\\' &&
                 CompareStringOrdinal(path.c_str(), static_cast<int>(length), profile, static_cast<int>(length),
                                      TRUE) == CSTR_EQUAL;
    }
    CoTaskMemFree(profile);
    return inside;
}

LONG SetAutoRun()
{
    const std::wstring path = ProgramPath();
    return path.empty() ? static_cast<LONG>(GetLastError()) : SetAutoRun(path);
}

LONG SetAutoRun(const std::wstring& executable)
{
    // Unquoted, a path with spaces lets Windows run "C:\Program.exe" first.
    const std::wstring data = L"\"" + executable + L"\" " + kLogonArgumentW;
    // A program in a user's own folder starts for that user only: other users
    // cannot open the folder, and the per-user uninstaller cannot reach the
    // machine's key.
    if (IsInsideUserProfile(executable)) {
        DeleteIn(HKEY_LOCAL_MACHINE);
        return WriteIn(HKEY_CURRENT_USER, data);
    }
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
