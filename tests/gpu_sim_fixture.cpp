#include "gpu_sim_fixture.h"

#include <windows.h>

const SimDriver& SimDriverTest::s_sim = SimDriver::Get();

void SimDriverTest::SetUpTestSuite()
{
    ASSERT_NE(s_sim.load, nullptr) << "simulated driver missing";
}

void SimDriverTest::TearDown()
{
    const std::string path = SimDriver::ScenarioPath();
    DeleteFileA(path.c_str());
    DeleteFileA((path.substr(0, path.size() - 4) + "-drs.ini").c_str());
}

int SimDriverTest::LoadAndInitialize(const std::string& ini, const std::vector<std::pair<uint32_t, int>>& faults)
{
    EXPECT_TRUE(SimDriver::UseScenario(ini));
    for (const auto& fault : faults)
        s_sim.setFault(fault.first, fault.second);
    return m_gpu.Initialize();
}

void SimDriverTest::LoadScenario(const std::string& ini)
{
    ASSERT_EQ(LoadAndInitialize(ini, {}), 0);
    s_sim.clearLog();
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
