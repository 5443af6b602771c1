#pragma once
// Fixture for CGpuControl tests: the simulated driver, reached through the real
// loader, with a scenario per test and its control exports for faults and the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gpu/GpuControl.h"
#include "sim_driver.h"

class SimDriverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void TearDown() override;

    // Loads the scenario text (frozen model), initialises m_gpu, empties the log.
    void LoadScenario(const std::string& ini);
    // As LoadScenario, with faults set before Initialize and the log kept; returns its result.
    int LoadAndInitialize(const std::string& ini, const std::vector<std::pair<uint32_t, int>>& faults);
    static std::vector<NvSimCall> Calls() { return SimDriver::Calls(); }
    static std::vector<uint32_t> Ids(const std::vector<NvSimCall>& calls);
    static std::vector<int> Values(const NvSimCall& call);

    static const SimDriver& s_sim;

    CGpuControl m_gpu;
};
