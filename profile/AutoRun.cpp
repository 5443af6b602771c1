#include "profile/AutoRun.h"

#include <shellapi.h>
#include <shlobj.h>

#include "profile/IniFile.h"

#include <string>
#include <vector>

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

// What the value holds for that executable.
std::wstring RunData(const std::wstring& executable)
{
    // Unquoted, a path with spaces lets Windows run "C:\Program.exe" first.
    return L"\"" + executable + L"\" " + kLogonArgumentW;
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

// The value's text, environment strings expanded; false for a value that is
// absent or not a string.
bool ReadCommand(HKEY root, std::wstring& text)
{
    RegKey key;
    if (RegOpenKeyExW(root, kRunKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> data(MAX_PATH);
    for (;;) {
        DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        // An expandable string comes expanded; the result always ends in a null.
        const LONG status = RegGetValueW(key.Get(), nullptr, kValueName, RRF_RT_REG_SZ, nullptr, data.data(), &size);
        if (status == ERROR_SUCCESS) {
            text = data.data();
            return true;
        }
        if (status != ERROR_MORE_DATA || data.size() >= 32768)
            return false;
        data.resize(data.size() * 2);
    }
}

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t'; }

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The path made whole, with each short (8.3) name in it spelt out where the
// file exists.
std::wstring LongPath(const std::wstring& path)
{
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    if (full.empty() || GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr) == 0)
        return path;
    full.resize(full.find(L'\0'));
    std::wstring spelt(GetLongPathNameW(full.c_str(), nullptr, 0), L'\0');
    if (spelt.empty() || GetLongPathNameW(full.c_str(), &spelt[0], static_cast<DWORD>(spelt.size())) == 0)
        return full;
    spelt.resize(spelt.find(L'\0'));
    return spelt;
}

// Both paths name the same file, in any case and through short names.
bool SameFile(const std::wstring& a, const std::wstring& b)
{
    return SamePath(a, b) || (!a.empty() && !b.empty() && SamePath(LongPath(a), LongPath(b)));
}

// Whether the command line starts the executable, and its arguments if so.
// Windows runs an unquoted path with spaces as the longest start of it that
// names a program; earlier versions wrote the path so.
bool StartsExecutable(const std::wstring& command, const std::wstring& executable, std::wstring& arguments)
{
    size_t begin = 0;
    while (begin < command.size() && IsSpace(command[begin])) ++begin;
    std::wstring program;
    size_t rest = 0;
    if (begin < command.size() && command[begin] == L'"') {
        const size_t close = command.find(L'"', begin + 1);
        program = command.substr(begin + 1, close == std::wstring::npos ? std::wstring::npos : close - begin - 1);
        rest = close == std::wstring::npos ? command.size() : close + 1;
    } else {
        const size_t length = executable.size();
        const bool whole = command.size() - begin >= length &&
                           (command.size() - begin == length || IsSpace(command[begin + length])) &&
                           CompareStringOrdinal(command.c_str() + begin, static_cast<int>(length), executable.c_str(),
                                                static_cast<int>(length), TRUE) == CSTR_EQUAL;
        size_t end = begin;
        if (whole)
            end = begin + length;
        else
            while (end < command.size() && !IsSpace(command[end])) ++end;
        program = command.substr(begin, end - begin);
        rest = end;
    }
    if (!SameFile(program, executable)) return false;
    arguments = command.substr(rest);
    return true;
}

bool HasLogonArgument(const std::wstring& arguments)
{
    // The program's own rules for reading a command line, after a stand-in name.
    int count = 0;
    wchar_t** args = CommandLineToArgvW((L"x " + arguments).c_str(), &count);
    if (!args) return false;
    bool found = false;
    for (int i = 1; i < count; ++i) found = found || kLogonArgumentW == args[i];
    LocalFree(args);
    return found;
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
    const std::wstring data = RunData(executable);
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

void AddLogonMarkToAutoRun()
{
    const std::wstring path = ProgramPath();
    if (!path.empty()) AddLogonMarkToAutoRun(path);
}

void AddLogonMarkToAutoRun(const std::wstring& executable)
{
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        std::wstring command, arguments;
        if (ReadCommand(root, command) && StartsExecutable(command, executable, arguments) &&
            !HasLogonArgument(arguments)) {
            // A key the user may not change keeps its value; the start is as it was.
            WriteIn(root, RunData(executable));
        }
    }
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
