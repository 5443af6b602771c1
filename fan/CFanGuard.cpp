#include "fan/CFanGuard.h"

#include <cinttypes>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "access/ObjectSecurity.h"
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
// The first look at a new guard waits this long for it, answering messages
// sent to this thread and painting meanwhile: a guard starting normally is
// ready well within it, and the window is never long without input.
constexpr DWORD kFirstLookMs = 1000;

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
// Waits for the guard to say it is ready, or to end, at most waitMs.
// Messages other threads send to this one are delivered meanwhile (a window
// of the shell's waiting on this thread must not hold up the guard's start),
// and windows are painted. WAIT_OBJECT_0: ready; WAIT_OBJECT_0 + 1: ended;
// WAIT_TIMEOUT.
DWORD WaitForGuard(HANDLE ready, HANDLE guard, DWORD waitMs)
{
    const HANDLE waits[2] = {ready, guard};
    const ULONGLONG end = ::GetTickCount64() + waitMs;
    for (ULONGLONG now = ::GetTickCount64();; now = ::GetTickCount64()) {
        const DWORD left = now < end ? static_cast<DWORD>(end - now) : 0;
        const DWORD woke = ::MsgWaitForMultipleObjects(2, waits, FALSE, left, QS_SENDMESSAGE | QS_PAINT);
        if (woke != WAIT_OBJECT_0 + 2) return woke == WAIT_OBJECT_0 || woke == WAIT_OBJECT_0 + 1 ? woke : WAIT_TIMEOUT;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (::PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE | PM_QS_PAINT)) ::DispatchMessageW(&msg);
    }
}
}  // namespace

void CFanGuard::SetGuardProgram(const std::wstring& executable) { g_guardProgram = executable; }

// A starting guard holds nothing yet; the one in force is left waiting.
CFanGuard::~CFanGuard()
{
    AbandonStarting();
    CloseHandles();
}

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

void CFanGuard::Guard::Close()
{
    for (HANDLE* h : {&process, &release, &ready}) {
        if (*h) ::CloseHandle(*h);
        *h = nullptr;
    }
    gpus = 0;
}

// The guard, outside this process's tree, inherits nothing: it opens this
// process by its id (checking its start time, so a reused id is not taken for
// it) and the events by their names.
bool CFanGuard::StartGuard(GpuSet gpus)
{
    if (g_guardProgram.empty()) return false;
    // Started from the shell, the guard has the shell's token, not ours when
    // this process runs elevated: it is given what it takes of this process
    // and of the events whatever the tokens.
    static bool s_watchable = false;
    if (!s_watchable) s_watchable = GrantUserThisProcess(kGuardProcessRights);
    static unsigned s_serial = 0;
    wchar_t name[96];
    std::swprintf(name, sizeof name / sizeof name[0], L"Local\\Q-Surge-FanGuard-%lu-%u-%llu",
                  ::GetCurrentProcessId(), ++s_serial, static_cast<unsigned long long>(::GetTickCount64()));
    CObjectSecurity security(kGuardEventRights);
    Guard guard;
    guard.release = ::CreateEventW(security.Attributes(), TRUE, FALSE, name);
    guard.ready = ::CreateEventW(security.Attributes(), TRUE, FALSE, (std::wstring(name) + kReadySuffix).c_str());
    wchar_t arguments[192];
    std::swprintf(arguments, sizeof arguments / sizeof arguments[0], L" %lu %llu %ls %llu",
                  ::GetCurrentProcessId(), static_cast<unsigned long long>(CreationTime(::GetCurrentProcess())),
                  name, static_cast<unsigned long long>(gpus));
    PROCESS_INFORMATION process{};
    if (!guard.release || !guard.ready || !::StartGuard(L"\"" + g_guardProgram + L"\"" + arguments, process)) {
        guard.Close();
        return false;
    }
    ::CloseHandle(process.hThread);
    guard.process = process.hProcess;
    guard.gpus = gpus;
    guard.started = ::GetTickCount64();
    m_starting = guard;
    return true;
}

CFanGuard::Guarding CFanGuard::LookAtStarting(DWORD waitMs)
{
    const DWORD woke = WaitForGuard(m_starting.ready, m_starting.process, waitMs);
    if (woke == WAIT_OBJECT_0) {
        // The new guard is waiting: the old one may go.
        ReleaseInForce();
        m_guard = std::exchange(m_starting.process, nullptr);
        m_release = std::exchange(m_starting.release, nullptr);
        m_gpus = m_starting.gpus;
        m_starting.Close();
        g_holding = this;
        return Guarding::Ready;
    }
    if (woke == WAIT_TIMEOUT && ::GetTickCount64() - m_starting.started < kReadyLimitMs) return Guarding::Starting;
    AbandonStarting();
    return Guarding::Failed;
}

void CFanGuard::AbandonStarting()
{
    if (!m_starting.process) return;
    ::SetEvent(m_starting.release);
    // It holds nothing yet: one that never answered is not left behind.
    ::TerminateProcess(m_starting.process, 1);
    m_starting.Close();
}

CFanGuard::Guarding CFanGuard::Hold(GpuSet gpus)
{
    if (gpus == 0) {
        Release();
        return Guarding::Ready;
    }
    if (m_guard && gpus == m_gpus) {
        AbandonStarting();
        return Guarding::Ready;
    }
    if (m_starting.process && m_starting.gpus != gpus) AbandonStarting();
    if (m_starting.process) return LookAtStarting(0);
    if (!StartGuard(gpus)) return Guarding::Failed;
    return LookAtStarting(kFirstLookMs);
}

bool CFanGuard::ForgetEnded()
{
    if (!m_guard) return true;
    if (::WaitForSingleObject(m_guard, 0) == WAIT_TIMEOUT) return false;
    ::CloseHandle(m_guard);
    ::CloseHandle(m_release);
    m_guard = m_release = nullptr;
    m_gpus = 0;
    if (g_holding == this) g_holding = nullptr;
    return true;
}

void CFanGuard::Release()
{
    AbandonStarting();
    ReleaseInForce();
}

void CFanGuard::ReleaseInForce()
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
