// Exports of the control interface for tests and benchmarks.
#define NVSIM_BUILDING_DLL
#include "nvsim/NvSimControl.h"

#include "nvsim/Simulator.h"

#include <algorithm>

int NvSim_LoadScenario(const char* path)
{
    SimLock lock;
    return lock.sim.Load(path) ? 1 : 0;
}

int NvSim_GetGpuCount(void)
{
    SimLock lock;
    return static_cast<int>(lock.sim.gpus.size());
}

int NvSim_SetTemperature(int gpu, int celsius)
{
    SimLock lock;
    GpuModel* model = lock.sim.Gpu(gpu);
    if (!model) return 0;
    model->SetTemperature(celsius);
    return 1;
}

int NvSim_SetLoad(int gpu, int percent)
{
    SimLock lock;
    GpuModel* model = lock.sim.Gpu(gpu);
    if (!model) return 0;
    model->HoldLoad(percent < 0 ? -1 : std::min(percent, 100));
    return 1;
}

int NvSim_SetFanLevel(int gpu, int cooler, int percent)
{
    SimLock lock;
    GpuModel* model = lock.sim.Gpu(gpu);
    if (!model || cooler < 0 || static_cast<uint32_t>(cooler) >= model->Config().coolers) return 0;
    model->SetCoolerLevel(static_cast<uint32_t>(cooler), std::clamp(percent, 0, 100));
    return 1;
}

void NvSim_Freeze(int frozen)
{
    SimLock lock;
    lock.sim.Freeze(frozen != 0);
}

void NvSim_StepTime(unsigned int ms)
{
    SimLock lock;
    lock.sim.Advance(ms);
}

int NvSim_GetCallCount(void)
{
    SimLock lock;
    return static_cast<int>(lock.sim.log.size());
}

int NvSim_GetCall(int index, NvSimCall* out)
{
    SimLock lock;
    if (!out || index < 0 || static_cast<size_t>(index) >= lock.sim.log.size()) return 0;
    *out = lock.sim.log[index];
    return 1;
}

void NvSim_ClearLog(void)
{
    SimLock lock;
    lock.sim.log.clear();
}

void NvSim_SetFault(unsigned int interfaceId, int status)
{
    SimLock lock;
    if (status == 0) lock.sim.faults.erase(interfaceId);
    else lock.sim.faults[interfaceId] = status;
}

int NvSim_GetSavedSetting(unsigned int settingId, unsigned int* value)
{
    SimLock lock;
    auto found = lock.sim.saved.find(settingId);
    if (!value || found == lock.sim.saved.end()) return 0;
    *value = found->second;
    return 1;
}

void NvSim_ResetDriver(int needsInit)
{
    SimLock lock;
    lock.sim.Reset(needsInit != 0);
}
