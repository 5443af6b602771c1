#include "app/CFanGuard.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "gpu/GpuControl.h"

namespace {
std::string ThisExecutable()
{
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) return std::string(path.data(), length);
        path.resize(path.size() * 2);
    }
}
}  // namespace

CFanGuard::CFanGuard(std::string executable)
    : m_executable(executable.empty() ? ThisExecutable() : std::move(executable))
{
}

CFanGuard::~CFanGuard() { Release(); }

// The guard inherits a handle to this process and the release event, and
// nothing else: both are made inheritable only for this one start.
bool CFanGuard::Hold(int gpuIndex)
{
    if (m_guard && gpuIndex == m_gpuIndex) return true;
    Release();
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
    std::string commandLine = "\"" + m_executable + "\"" + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessA(m_executable.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
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
    // The event stays with this process only from here on.
    ::SetHandleInformation(m_release, HANDLE_FLAG_INHERIT, 0);
    return true;
}

void CFanGuard::Release()
{
    if (m_release) {
        ::SetEvent(m_release);
        ::CloseHandle(m_release);
        m_release = nullptr;
    }
    if (m_guard) {
        ::CloseHandle(m_guard);
        m_guard = nullptr;
    }
    m_gpuIndex = -1;
}

int CFanGuard::RunGuard(const char* commandLine)
{
    uintptr_t program = 0, release = 0;
    int gpuIndex = 0;
    if (std::sscanf(commandLine, "%" SCNuPTR " %" SCNuPTR " %d", &program, &release, &gpuIndex) != 3) return 2;
    const HANDLE waits[2] = {reinterpret_cast<HANDLE>(program), reinterpret_cast<HANDLE>(release)};
    const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0 + 1) return 0;  // handed back by the program itself
    // The program is gone (or its handle is unusable, which is no better):
    // the fan goes back to the driver at the level it is at now.
    CGpuControl gpu;
    if (gpu.Initialize() != 0) return 1;
    gpu.m_gpuIndex = gpuIndex;
    const uint32_t level = gpu.GetCoolerLevel(-1, 0);
    return gpu.SetCoolerLevel(level, kNvCoolerPolicyAuto, -1, 0) ? 0 : 1;
}
