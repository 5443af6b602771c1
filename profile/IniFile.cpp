#include "profile/IniFile.h"

#include <psapi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kSection[] = "System";

// Owns a process handle opened for a query.
class ProcessHandle {
public:
    explicit ProcessHandle(HANDLE handle) : m_handle(handle) {}
    ~ProcessHandle() { if (m_handle) CloseHandle(m_handle); }
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

}  // namespace

void CIniFile::SetPath(const std::string& path)
{
    m_path = path;
}

int CIniFile::ReadInitialized() const
{
    return ReadFlag("Initialized");
}

int CIniFile::WriteInitialized(int flag) const
{
    return WriteFlag("Initialized", flag);
}

void CIniFile::ReadSystemFlags(SystemFlags& flags) const
{
    flags.launch = ReadFlag("Launch");
    flags.minisize = ReadFlag("Minisize");
    flags.overClock = ReadFlag("OverClock");
    flags.synchronization = ReadFlag("Synchronization");
}

int CIniFile::WriteSystemFlags(SystemFlags flags) const
{
    int ok = WriteFlag("Launch", flags.launch);
    ok &= WriteFlag("Minisize", flags.minisize);
    ok &= WriteFlag("OverClock", flags.overClock);
    ok &= WriteFlag("Synchronization", flags.synchronization);
    return ok;
}

std::string CIniFile::ReadText(const char* section, const char* key) const
{
    // An unset path would make the profile functions fall back to win.ini.
    if (m_path.empty())
        return "";
    char value[64] = {};
    GetPrivateProfileStringA(section, key, "", value, sizeof(value), m_path.c_str());
    return value;
}

int CIniFile::WriteText(const char* section, const char* key, const char* value) const
{
    // An unset path would make the profile functions fall back to win.ini.
    if (m_path.empty())
        return 0;
    return WritePrivateProfileStringA(section, key, value, m_path.c_str()) ? 1 : 0;
}

int CIniFile::ReadFlag(const char* key) const
{
    // An unset path would make the profile functions fall back to win.ini.
    if (m_path.empty())
        return 0;
    char value[10] = {};
    GetPrivateProfileStringA(kSection, key, "0", value, sizeof(value), m_path.c_str());
    // Only the leading decimal number counts: "1abc" is 1, "abc" is 0.
    return std::strtol(value, nullptr, 10) != 0 ? 1 : 0;
}

int CIniFile::WriteFlag(const char* key, int flag) const
{
    return WriteText(kSection, key, flag ? "1" : "0");
}

std::string BuildProfilePath(const std::string& directory, uint16_t deviceId)
{
    char name[32];
    std::snprintf(name, sizeof(name), "Quilo_ID%04X.ini", static_cast<unsigned>(deviceId));
    return directory + "\\" + name;
}

void GetExeDirectory(HWND window, char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return;
    buffer[0] = '\0';
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const auto module = reinterpret_cast<HMODULE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    ProcessHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process.Get())
        return;
    if (GetModuleFileNameExA(process.Get(), module, buffer, size) == 0) {
        buffer[0] = '\0';
        return;
    }
    buffer[size - 1] = '\0';
    char* lastSlash = std::strrchr(buffer, '\\');
    if (lastSlash)
        *lastSlash = '\0';
    else
        buffer[0] = '\0';
}
