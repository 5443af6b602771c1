#pragma once
// Test helpers for running the real qsurge.exe as a process over the simulated
// driver's shared state, and reading that driver's shared call log.
#include <windows.h>
#include <tlhelp32.h>

#include <sstream>
#include <string>
#include <vector>

inline std::string Directory(const std::string& path) { return path.substr(0, path.rfind('\\')); }

inline std::string ThisDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return Directory(path);
}

// The program as the build leaves it.
inline std::string BuiltProgram() { return Directory(ThisDirectory()) + "\\app\\qsurge.exe"; }
inline std::string BuiltGuard() { return Directory(ThisDirectory()) + "\\app\\qsurge-guard.exe"; }

// One line of the shared log: the calling process, the interface, the GPU,
// the status and the logged values.
struct LoggedCall {
    unsigned long pid;
    unsigned id;
    int gpu, status;
    std::vector<int> values;
};

inline std::vector<LoggedCall> LoggedCalls(const std::string& log)
{
    std::vector<LoggedCall> calls;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        LoggedCall call{};
        if (!(fields >> call.pid >> std::hex >> call.id >> std::dec >> call.gpu >> call.status)) continue;
        for (int value; fields >> value;) call.values.push_back(value);
        calls.push_back(call);
    }
    return calls;
}

namespace program_process {
struct FindMain {
    DWORD pid;
    HWND found;
};
inline BOOL CALLBACK FindMainWindow(HWND h, LPARAM param)
{
    auto* find = reinterpret_cast<FindMain*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    char title[16] = {};
    GetWindowTextA(h, title, sizeof title);
    // The panels share the title, but are owned by the main window.
    if (pid != find->pid || std::string(title) != "Q-Surge" || GetWindow(h, GW_OWNER)) return TRUE;
    find->found = h;
    return FALSE;
}
}  // namespace program_process

// The main window of a process of the program, shown or hidden; null when it has none.
inline HWND MainWindowOf(DWORD pid)
{
    program_process::FindMain find{pid, nullptr};
    EnumWindows(&program_process::FindMainWindow, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

template <typename Condition> bool WaitFor(Condition done, int seconds = 20)
{
    for (int i = 0; i < seconds * 20; ++i) {
        if (done()) return true;
        Sleep(50);
    }
    return done();
}

// A copy of the program that already runs in this session (one the prefix
// started from its Run entry, say) would take every start's command line: it
// is asked to end, as a script would.
inline void EndRunningCopy(const std::string& exe)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + exe + "\" --exit";
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return;
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

// Every process running now.
inline std::vector<PROCESSENTRY32W> Processes()
{
    std::vector<PROCESSENTRY32W> all;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        all.push_back(entry);
    CloseHandle(snapshot);
    return all;
}

// Every process of that image name (as taskkill /F /IM does on Windows).
inline std::vector<DWORD> ProcessesNamed(const wchar_t* image)
{
    std::vector<DWORD> pids;
    for (const PROCESSENTRY32W& p : Processes())
        if (_wcsicmp(p.szExeFile, image) == 0) pids.push_back(p.th32ProcessID);
    return pids;
}

// Ends each process and waits until it has gone.
inline void EndProcesses(const std::vector<DWORD>& pids)
{
    for (DWORD pid : pids) {
        if (HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
            TerminateProcess(h, 1);
            WaitForSingleObject(h, 10000);
            CloseHandle(h);
        }
    }
}
