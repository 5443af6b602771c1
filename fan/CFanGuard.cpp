#include "fan/CFanGuard.h"

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "gpu/GpuControl.h"

namespace {
// The guard that holds fans for this process, if any.
CFanGuard* g_holding = nullptr;
std::wstring g_guardProgram;

// A driver that refuses the hand-back of a fan once the program has gone is
// asked again every second for this long; after that the guard gives up.
constexpr DWORD kRetryPeriod = 1000;
constexpr int kRetries = 300;
// The guard tells it holds the program and its event through a second event.
constexpr wchar_t kReadySuffix[] = L"-ready";
constexpr char kReadySuffixA[] = "-ready";
constexpr DWORD kReadyTimeLimit = 10000;

uint64_t CreationTime(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

// Owns a kernel handle.
class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : m_h(h) {}
    ~Handle() { if (m_h) ::CloseHandle(m_h); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h;
};

// Owns this process's environment block.
class EnvironmentBlock {
public:
    EnvironmentBlock() : m_block(::GetEnvironmentStringsW()) {}
    ~EnvironmentBlock() { if (m_block) ::FreeEnvironmentStringsW(m_block); }
    EnvironmentBlock(const EnvironmentBlock&) = delete;
    EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;
    void* Get() const { return m_block; }

private:
    wchar_t* m_block;
};

// The shell's process, to be the guard's parent: a guard in this process's
// tree would end with it when the tree is ended. The shell's desktop window
// names it, else its taskbar, which holds the notification area (Wine's shell
// has no desktop window). Null when there is no shell (early at logon), or it
// cannot be opened for that.
HANDLE OpenShellProcess()
{
    DWORD shell = 0;
    HWND window = ::GetShellWindow();
    if (!window) window = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    if (window) ::GetWindowThreadProcessId(window, &shell);
    if (shell == 0 || shell == ::GetCurrentProcessId()) return nullptr;
    return ::OpenProcess(PROCESS_CREATE_PROCESS, FALSE, shell);
}

// Starts the guard with nothing inherited, in the system folder (so no folder
// of the program's is held open), without the busy cursor, as a child of the
// shell where it can be.
bool StartGuard(std::wstring commandLine, PROCESS_INFORMATION& process)
{
    wchar_t systemDir[MAX_PATH] = {};
    ::GetSystemDirectoryW(systemDir, MAX_PATH);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_FORCEOFFFEEDBACK;
    const DWORD flags = CREATE_NO_WINDOW | BELOW_NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT;
    // This process's environment, named: where the shell is the parent, its
    // environment must not be taken instead (Wine takes the parent's).
    EnvironmentBlock environment;

    Handle shell(OpenShellProcess());
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> list(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
    HANDLE parent = shell.Get();
    if (parent && size && ::InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
        const bool set = ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, &parent,
                                                     sizeof parent, nullptr, nullptr) != FALSE;
        startup.lpAttributeList = attributes;
        const bool started = set && ::CreateProcessW(g_guardProgram.c_str(), &commandLine[0], nullptr, nullptr,
                                                     FALSE, flags | EXTENDED_STARTUPINFO_PRESENT, environment.Get(), systemDir,
                                                     &startup.StartupInfo, &process);
        ::DeleteProcThreadAttributeList(attributes);
        if (started) return true;
    }
    // No shell to start it from: outside the tree it is not, but it still
    // outlives every process of the program's own name.
    startup.lpAttributeList = nullptr;
    startup.StartupInfo.cb = sizeof(STARTUPINFOW);
    return ::CreateProcessW(g_guardProgram.c_str(), &commandLine[0], nullptr, nullptr, FALSE, flags,
                            environment.Get(), systemDir, &startup.StartupInfo, &process) != FALSE;
}
// Waits for the guard to say it is ready, or to end. Messages other threads
// send to this one are delivered meanwhile: a window of the shell's waiting on
// this thread must not hold up the guard's start.
bool WaitUntilReady(HANDLE ready, HANDLE guard)
{
    const HANDLE waits[2] = {ready, guard};
    const ULONGLONG end = ::GetTickCount64() + kReadyTimeLimit;
    for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
        const DWORD woke =
            ::MsgWaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(end - now), QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 2) return woke == WAIT_OBJECT_0;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return false;
}
}  // namespace

void CFanGuard::SetGuardProgram(const std::wstring& executable) { g_guardProgram = executable; }

CFanGuard::~CFanGuard() { CloseHandles(); }

GpuSet CFanGuard::HandBackToDriver(GpuSet gpus)
{
    CGpuControl gpu;
    if (gpu.Initialize() != 0) return gpus;
    GpuSet refused = 0;
    for (int index = 0; index < kMaxGuardedGpus; ++index) {
        if (!(gpus & GpuBit(index))) continue;
        // The start read every card's fans: the hand-back carries their levels.
        if (!gpu.SetFansAuto(index)) refused |= GpuBit(index);
    }
    return refused;
}

void CFanGuard::HandBackNow()
{
    CFanGuard* guard = g_holding;
    if (!guard) return;
    // Should any refuse, the guard is left to try them all once the process is gone.
    if (HandBackToDriver(guard->m_gpus) == 0) guard->Release();
}

// The guard, outside this process's tree, inherits nothing: it opens this
// process by its id (checking its start time, so a reused id is not taken for
// it) and the release event by its name.
bool CFanGuard::Hold(GpuSet gpus)
{
    if (gpus == 0) {
        Release();
        return true;
    }
    if (m_guard && gpus == m_gpus) return true;
    if (g_guardProgram.empty()) return false;
    static unsigned s_serial = 0;
    wchar_t name[96];
    std::swprintf(name, sizeof name / sizeof name[0], L"Local\\Q-Surge-FanGuard-%lu-%u-%llu",
                  ::GetCurrentProcessId(), ++s_serial, static_cast<unsigned long long>(::GetTickCount64()));
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, name);
    if (!release) return false;
    Handle ready(::CreateEventW(nullptr, TRUE, FALSE, (std::wstring(name) + kReadySuffix).c_str()));
    if (!ready.Get()) {
        ::CloseHandle(release);
        return false;
    }
    wchar_t arguments[192];
    std::swprintf(arguments, sizeof arguments / sizeof arguments[0], L" %lu %llu %ls %llu",
                  ::GetCurrentProcessId(), static_cast<unsigned long long>(CreationTime(::GetCurrentProcess())),
                  name, static_cast<unsigned long long>(gpus));
    PROCESS_INFORMATION process{};
    if (!StartGuard(L"\"" + g_guardProgram + L"\"" + arguments, process)) {
        ::CloseHandle(release);
        return false;
    }
    ::CloseHandle(process.hThread);
    // Guarded only once the guard holds this process and its event.
    if (!WaitUntilReady(ready.Get(), process.hProcess)) {
        ::SetEvent(release);
        ::CloseHandle(release);
        ::CloseHandle(process.hProcess);
        return false;
    }
    // The new guard is waiting: the old one may go.
    Release();
    m_guard = process.hProcess;
    m_release = release;
    m_gpus = gpus;
    g_holding = this;
    return true;
}

bool CFanGuard::IsWaiting() const { return m_guard && ::WaitForSingleObject(m_guard, 0) == WAIT_TIMEOUT; }

bool CFanGuard::Restart(GpuSet gpus)
{
    CloseHandles();
    return Hold(gpus);
}

void CFanGuard::Release()
{
    if (m_release) ::SetEvent(m_release);
    CloseHandles();
}

void CFanGuard::CloseHandles()
{
    if (m_release) {
        ::CloseHandle(m_release);
        m_release = nullptr;
    }
    if (m_guard) {
        ::CloseHandle(m_guard);
        m_guard = nullptr;
    }
    m_gpus = 0;
    if (g_holding == this) g_holding = nullptr;
}

int CFanGuard::RunGuard(const char* commandLine)
{
    unsigned long pid = 0;
    unsigned long long created = 0, gpus = 0;
    char name[96] = {};
    if (std::sscanf(commandLine, "%lu %llu %95s %llu", &pid, &created, name, &gpus) != 4) return 2;
    Handle program(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    // A program already gone, or its id taken by another, has its fans handed back at once.
    if (program.Get() && CreationTime(program.Get()) == created) {
        Handle release(::OpenEventA(SYNCHRONIZE, FALSE, name));
        Handle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string(name) + kReadySuffixA).c_str()));
        if (ready.Get()) ::SetEvent(ready.Get());
        if (release.Get()) {
            // The release first: when the program hands the fans back and ends
            // before the guard wakes, both are signalled and the lower index is reported.
            const HANDLE waits[2] = {release.Get(), program.Get()};
            if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) return 0;
        } else if (::WaitForSingleObject(program.Get(), 0) == WAIT_TIMEOUT) {
            return 0;  // the event is gone while the program lives: it released this guard already
        }
    }
    for (int attempt = 0; gpus != 0; ++attempt) {
        if (attempt > 0) {
            if (attempt > kRetries) return 1;
            ::Sleep(kRetryPeriod);
        }
        gpus = HandBackToDriver(gpus);
    }
    return 0;
}
