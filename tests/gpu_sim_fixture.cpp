#include "gpu_sim_fixture.h"

#include <windows.h>

#include <cstdio>

SimDriverTest::Control SimDriverTest::s_sim = {};

namespace {
template <typename Fn> void Resolve(HMODULE module, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    ASSERT_NE(fn, nullptr) << name;
}
}  // namespace

void SimDriverTest::SetUpTestSuite()
{
    if (s_sim.load)
        return;
    CGpuControl loader;
    ASSERT_EQ(loader.Initialize(), 0);
    HMODULE module = GetModuleHandleA("nvapi64.dll");
    ASSERT_NE(module, nullptr);
    Resolve(module, "NvSim_LoadScenario", s_sim.load);
    Resolve(module, "NvSim_SetTemperature", s_sim.setTemperature);
    Resolve(module, "NvSim_SetFanLevel", s_sim.setFanLevel);
    Resolve(module, "NvSim_Freeze", s_sim.freeze);
    Resolve(module, "NvSim_GetCallCount", s_sim.callCount);
    Resolve(module, "NvSim_GetCall", s_sim.getCall);
    Resolve(module, "NvSim_ClearLog", s_sim.clearLog);
    Resolve(module, "NvSim_SetFault", s_sim.setFault);
    Resolve(module, "NvSim_GetSavedSetting", s_sim.savedSetting);
}

std::string SimDriverTest::ScenarioPath()
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "qsurge_gpu_test_" + std::to_string(GetCurrentProcessId()) + ".ini";
}

void SimDriverTest::TearDown()
{
    const std::string path = ScenarioPath();
    DeleteFileA(path.c_str());
    DeleteFileA((path.substr(0, path.size() - 4) + "-drs.ini").c_str());
}

int SimDriverTest::LoadAndInitialize(const std::string& ini, const std::vector<std::pair<uint32_t, int>>& faults)
{
    const std::string path = ScenarioPath();
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (!file)
        return -1;
    std::fputs(ini.c_str(), file);
    std::fclose(file);
    EXPECT_EQ(s_sim.load(path.c_str()), 1);
    s_sim.freeze(1);
    for (const auto& fault : faults)
        s_sim.setFault(fault.first, fault.second);
    return m_gpu.Initialize();
}

void SimDriverTest::LoadScenario(const std::string& ini)
{
    ASSERT_EQ(LoadAndInitialize(ini, {}), 0);
    s_sim.clearLog();
}

std::vector<NvSimCall> SimDriverTest::Calls() const
{
    std::vector<NvSimCall> calls(static_cast<size_t>(s_sim.callCount()));
    for (size_t i = 0; i < calls.size(); ++i)
        s_sim.getCall(static_cast<int>(i), &calls[i]);
    return calls;
}

std::vector<uint32_t> SimDriverTest::Ids(const std::vector<NvSimCall>& calls)
{
    std::vector<uint32_t> ids;
    for (const NvSimCall& call : calls)
        ids.push_back(call.interfaceId);
    return ids;
}

std::vector<int> SimDriverTest::Values(const NvSimCall& call)
{
    return std::vector<int>(call.values, call.values + call.count);
}
