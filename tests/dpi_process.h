#pragma once
// Runs some of this test program's tests in a process of their own with the
// system's DPI set for it, as Wine reports the prefix's LogPixels to each
// process it starts; the setting is given back afterwards.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace dpitest {

// The process's exit code (1000 when it could not be started), the tests
// chosen by filter, the DPI told to them in the environment variable.
inline DWORD RunAtDpi(UINT dpi, const char* filter, const char* variable)
{
    constexpr wchar_t kDesktop[] = L"Control Panel\\Desktop";
    DWORD saved = 0, size = sizeof saved;
    const bool present = ::RegGetValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &saved,
                                        &size) == ERROR_SUCCESS;
    const DWORD value = dpi;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels", REG_DWORD, &value, sizeof value);
    char self[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string commandLine = std::string("\"") + self + "\" --gtest_filter=" + filter;
    ::SetEnvironmentVariableA(variable, std::to_string(dpi).c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const BOOL started =
        ::CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
    ::SetEnvironmentVariableA(variable, nullptr);
    DWORD code = 1000;
    if (started) {
        ::WaitForSingleObject(child.hProcess, 120000);
        ::GetExitCodeProcess(child.hProcess, &code);
        ::CloseHandle(child.hProcess);
        ::CloseHandle(child.hThread);
    }
    if (present)
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels", REG_DWORD, &saved, sizeof saved);
    else
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels");
    return code;
}

// In a process RunAtDpi started, the DPI it was told of in the variable; 0 in
// any other.
inline UINT ToldDpi(const char* variable)
{
    const char* dpi = std::getenv(variable);
    return dpi ? static_cast<UINT>(std::atoi(dpi)) : 0;
}

}  // namespace dpitest
