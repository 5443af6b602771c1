#include "sim_driver.h"

#include <windows.h>

#include <cstdio>

namespace {
template <typename Fn> void Resolve(HMODULE module, const char* name, Fn& fn)
{
    fn = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
}  // namespace

std::string SimDriver::ScenarioPath()
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "qsurge_sim_" + std::to_string(GetCurrentProcessId()) + ".ini";
}

const SimDriver& SimDriver::Get()
{
    static const SimDriver driver = [] {
        char path[MAX_PATH];
        GetSystemDirectoryA(path, MAX_PATH);
        HMODULE module = LoadLibraryA((std::string(path) + "\\nvapi64.dll").c_str());
        SimDriver d{};
        Resolve(module, "NvSim_LoadScenario", d.load);
        Resolve(module, "NvSim_SetTemperature", d.setTemperature);
        Resolve(module, "NvSim_SetLoad", d.setLoad);
        Resolve(module, "NvSim_SetFanLevel", d.setFanLevel);
        Resolve(module, "NvSim_Freeze", d.freeze);
        Resolve(module, "NvSim_StepTime", d.stepTime);
        Resolve(module, "NvSim_GetCallCount", d.callCount);
        Resolve(module, "NvSim_GetCall", d.getCall);
        Resolve(module, "NvSim_ClearLog", d.clearLog);
        Resolve(module, "NvSim_SetFault", d.setFault);
        Resolve(module, "NvSim_GetSavedSetting", d.savedSetting);
        Resolve(module, "NvSim_ResetDriver", d.resetDriver);
        return d;
    }();
    return driver;
}

bool SimDriver::UseScenario(const std::string& ini)
{
    const SimDriver& sim = Get();
    if (!sim.load) return false;
    const std::string path = ScenarioPath();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::fputs(ini.c_str(), file);
    std::fclose(file);
    const bool loaded = sim.load(path.c_str()) == 1;
    sim.freeze(1);
    // Processes this one starts (the fan guard) find the same cards.
    SetEnvironmentVariableA("NVSIM_SCENARIO", path.c_str());
    return loaded;
}

std::vector<NvSimCall> SimDriver::Calls()
{
    const SimDriver& sim = Get();
    std::vector<NvSimCall> calls(static_cast<size_t>(sim.callCount()));
    for (size_t i = 0; i < calls.size(); ++i) sim.getCall(static_cast<int>(i), &calls[i]);
    return calls;
}

std::vector<NvSimCall> SimDriver::Calls(unsigned int interfaceId)
{
    std::vector<NvSimCall> matching;
    for (const NvSimCall& call : Calls())
        if (call.interfaceId == interfaceId) matching.push_back(call);
    return matching;
}
