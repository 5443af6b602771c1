#include "app/CFanGuard.h"

#include <cinttypes>
#include <cstdio>

#include "gpu/GpuControl.h"

namespace {
// The guard that holds a fan for this process, if any.
CFanGuard* g_holding = nullptr;
std::string g_guardProgram;
}  // namespace

void CFanGuard::SetGuardProgram(const std::string& executable) { g_guardProgram = executable; }

CFanGuard::~CFanGuard() { CloseHandles(); }

bool CFanGuard::HandBackToDriver(int gpuIndex)
{
    CGpuControl gpu;
    if (gpu.Initialize() != 0) return false;
    gpu.m_gpuIndex = gpuIndex;
    const uint32_t level = gpu.GetCoolerLevel(-1, 0);
    return gpu.SetCoolerLevel(level, kNvCoolerPolicyAuto, -1, 0) != 0;
}

void CFanGuard::HandBackNow()
{
    CFanGuard* guard = g_holding;
    if (!guard) return;
    // Should that fail too, the guard is left to try once the process is gone.
    if (HandBackToDriver(guard->m_gpuIndex)) guard->Release();
}

// The guard inherits a handle to this process and the release event, and
// nothing else: both are made inheritable only for this one start.
bool CFanGuard::Hold(int gpuIndex)
{
    if (m_guard && gpuIndex == m_gpuIndex) return true;
    Release();
    if (g_guardProgram.empty()) return false;
    HANDLE self = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, SYNCHRONIZE,
                           TRUE, 0))
        return false;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    m_release = ::CreateEventA(&inherit, TRUE, FALSE, nullptr);
    if (!m_release) {
        ::CloseHandle(self);
        return false;
    }
    char arguments[160];
    std::snprintf(arguments, sizeof arguments, " %s %" PRIuPTR " %" PRIuPTR " %d", kArgument,
                  reinterpret_cast<uintptr_t>(self), reinterpret_cast<uintptr_t>(m_release), gpuIndex);
    std::string commandLine = "\"" + g_guardProgram + "\"" + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessA(g_guardProgram.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                          CREATE_NO_WINDOW | BELOW_NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                                          &process);
    ::CloseHandle(self);
    if (!started) {
        ::CloseHandle(m_release);
        m_release = nullptr;
        return false;
    }
    ::CloseHandle(process.hThread);
    m_guard = process.hProcess;
    m_gpuIndex = gpuIndex;
    g_holding = this;
    // The event stays with this process only from here on.
    ::SetHandleInformation(m_release, HANDLE_FLAG_INHERIT, 0);
    return true;
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
    m_gpuIndex = -1;
    if (g_holding == this) g_holding = nullptr;
}

int CFanGuard::RunGuard(const char* commandLine)
{
    uintptr_t program = 0, release = 0;
    int gpuIndex = 0;
    if (std::sscanf(commandLine, "%" SCNuPTR " %" SCNuPTR " %d", &program, &release, &gpuIndex) != 3) return 2;
    // The release first: when the program hands the fan back and ends before
    // the guard wakes, both are signalled and the lower index is reported.
    const HANDLE waits[2] = {reinterpret_cast<HANDLE>(release), reinterpret_cast<HANDLE>(program)};
    const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0) return 0;  // handed back by the program itself
    // The program is gone (or its handle is unusable, which is no better).
    return HandBackToDriver(gpuIndex) ? 0 : 1;
}
