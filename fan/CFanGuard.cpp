#include "fan/CFanGuard.h"

#include <cinttypes>
#include <cstdio>

#include "gpu/GpuControl.h"

namespace {
// The guard that holds fans for this process, if any.
CFanGuard* g_holding = nullptr;
std::string g_guardProgram;

// A driver that refuses the hand-back of a fan once the program has gone is
// asked again every second for this long; after that the guard gives up.
constexpr DWORD kRetryPeriod = 1000;
constexpr int kRetries = 300;
}  // namespace

void CFanGuard::SetGuardProgram(const std::string& executable) { g_guardProgram = executable; }

CFanGuard::~CFanGuard() { CloseHandles(); }

GpuSet CFanGuard::HandBackToDriver(GpuSet gpus)
{
    CGpuControl gpu;
    if (gpu.Initialize() != 0) return gpus;
    GpuSet refused = 0;
    for (int index = 0; index < kMaxGuardedGpus; ++index) {
        if (!(gpus & GpuBit(index))) continue;
        const uint32_t level = gpu.GetCoolerLevel(index, 0);
        if (!gpu.SetCoolerLevel(level, kNvCoolerPolicyAuto, index, 0)) refused |= GpuBit(index);
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

// The guard inherits a handle to this process and the release event, and
// nothing else: both are made inheritable only for this one start.
bool CFanGuard::Hold(GpuSet gpus)
{
    if (gpus == 0) {
        Release();
        return true;
    }
    if (m_guard && gpus == m_gpus) return true;
    if (g_guardProgram.empty()) return false;
    HANDLE self = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentProcess(), ::GetCurrentProcess(), &self, SYNCHRONIZE,
                           TRUE, 0))
        return false;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE release = ::CreateEventA(&inherit, TRUE, FALSE, nullptr);
    if (!release) {
        ::CloseHandle(self);
        return false;
    }
    char arguments[160];
    std::snprintf(arguments, sizeof arguments, " %s %" PRIuPTR " %" PRIuPTR " %" PRIu64, kArgument,
                  reinterpret_cast<uintptr_t>(self), reinterpret_cast<uintptr_t>(release), gpus);
    std::string commandLine = "\"" + g_guardProgram + "\"" + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessA(g_guardProgram.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                          CREATE_NO_WINDOW | BELOW_NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                                          &process);
    ::CloseHandle(self);
    if (!started) {
        ::CloseHandle(release);
        return false;
    }
    ::CloseHandle(process.hThread);
    // The event stays with this process only from here on.
    ::SetHandleInformation(release, HANDLE_FLAG_INHERIT, 0);
    // The new guard is waiting: the old one may go.
    Release();
    m_guard = process.hProcess;
    m_release = release;
    m_gpus = gpus;
    g_holding = this;
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
    m_gpus = 0;
    if (g_holding == this) g_holding = nullptr;
}

int CFanGuard::RunGuard(const char* commandLine)
{
    uintptr_t program = 0, release = 0;
    GpuSet gpus = 0;
    if (std::sscanf(commandLine, "%" SCNuPTR " %" SCNuPTR " %" SCNu64, &program, &release, &gpus) != 3) return 2;
    // The release first: when the program hands the fans back and ends before
    // the guard wakes, both are signalled and the lower index is reported.
    const HANDLE waits[2] = {reinterpret_cast<HANDLE>(release), reinterpret_cast<HANDLE>(program)};
    const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0) return 0;  // handed back by the program itself
    // The program is gone (or its handle is unusable, which is no better).
    for (int attempt = 0; gpus != 0; ++attempt) {
        if (attempt > 0) {
            if (attempt > kRetries) return 1;
            ::Sleep(kRetryPeriod);
        }
        gpus = HandBackToDriver(gpus);
    }
    return 0;
}
