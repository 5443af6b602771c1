#include "nvsim/SharedState.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace {

// Serialises the processes' reads and writes of the shared files.
class SharedLock {
public:
    SharedLock() : m_mutex(CreateMutexA(nullptr, FALSE, "Local\\nvsim-shared-state"))
    {
        if (m_mutex) WaitForSingleObject(m_mutex, INFINITE);
    }
    ~SharedLock()
    {
        if (m_mutex) {
            ReleaseMutex(m_mutex);
            CloseHandle(m_mutex);
        }
    }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    HANDLE m_mutex;
};

}  // namespace

void SharedState::Open()
{
    char value[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("NVSIM_SHARED", value, MAX_PATH);
    m_path.clear();
    if (length == 0 || length >= MAX_PATH) return;
    m_path.assign(value, length);
    if (m_path[0] == '/') {
        std::replace(m_path.begin(), m_path.end(), '/', '\\');
        m_path = "Z:" + m_path;
    }
}

void SharedState::AppendCall(const NvSimCall& call) const
{
    if (!Enabled()) return;
    SharedLock lock;
    FILE* file = std::fopen((m_path + ".log").c_str(), "ab");
    if (!file) return;
    std::fprintf(file, "%lu %08X %d %d", GetCurrentProcessId(), call.interfaceId, call.gpu, call.status);
    for (int i = 0; i < call.count && i < NVSIM_MAX_CALL_VALUES; ++i) std::fprintf(file, " %d", call.values[i]);
    std::fputs("\n", file);
    std::fclose(file);
}

void SharedState::LoadCoolers(std::vector<GpuModel>& gpus) const
{
    if (!Enabled()) return;
    SharedLock lock;
    FILE* file = std::fopen(m_path.c_str(), "rb");
    if (!file) return;
    int gpu = 0, cooler = 0;
    unsigned policy = 0;
    double level = 0;
    while (std::fscanf(file, "%d %d %u %lf", &gpu, &cooler, &policy, &level) == 4) {
        if (gpu < 0 || static_cast<size_t>(gpu) >= gpus.size() || cooler < 0 ||
            static_cast<uint32_t>(cooler) >= gpus[gpu].Config().coolers)
            continue;
        gpus[gpu].SetCoolerPolicy(static_cast<uint32_t>(cooler), policy);
        if (policy == kNvCoolerPolicyManual) gpus[gpu].SetCoolerLevel(static_cast<uint32_t>(cooler), level);
    }
    std::fclose(file);
}

void SharedState::SaveCoolers(const std::vector<GpuModel>& gpus) const
{
    if (!Enabled()) return;
    SharedLock lock;
    FILE* file = std::fopen(m_path.c_str(), "wb");
    if (!file) return;
    for (size_t g = 0; g < gpus.size(); ++g) {
        for (uint32_t c = 0; c < gpus[g].Config().coolers; ++c)
            std::fprintf(file, "%u %u %u %d\n", static_cast<unsigned>(g), c, gpus[g].CoolerPolicy(c),
                         gpus[g].CoolerLevel(c));
    }
    std::fclose(file);
}
