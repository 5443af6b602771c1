// CGpuControl: temperatures, clocks, P-state offsets, power target, coolers and
// the frame-rate driver setting, against the simulated driver.
#include <cstring>
#include <functional>

#include "gpu_sim_fixture.h"

namespace {

std::vector<int32_t> Words(const GpuClockInfo& info)
{
    std::vector<int32_t> words(sizeof(info) / sizeof(int32_t));
    std::memcpy(words.data(), &info, sizeof(info));
    return words;
}

const char kClockScenario[] =
    "[Simulator]\nGpuCount=2\n[Gpu]\nLoad=0\n"
    "GfxType=range\nGfxMinFreq=300000\nGfxMaxFreq=1900000\nGfxVoltageDomain=0\n"
    "GfxMinVoltage=700000\nGfxMaxVoltage=1000000\nGfxOffsetMin=-200000\nGfxOffsetMax=300000\nGfxEditable=1\n"
    "MemType=single\nMemFreq=7000000\nMemOffsetMin=-100000\nMemOffsetMax=500000\nMemEditable=0\n"
    "ProcType=range\nProcMinFreq=100000\nProcMaxFreq=1500000\n";

TEST_F(SimDriverTest, TemperatureOfTheLastSensor)
{
    // The simulator's second and third sensors read 8 above and 6 below the core.
    const struct {
        int sensors;
        uint32_t expected;
    } cases[] = {{0, 999}, {1, 61}, {2, 69}, {3, 55}};
    for (const auto& c : cases) {
        LoadScenario("[Gpu]\nSensors=" + std::to_string(c.sensors) + "\n");
        ASSERT_EQ(s_sim.setTemperature(0, 61), 1);
        uint32_t celsius = 999;
        EXPECT_EQ(m_gpu.GetTemperature(celsius, -1), 1) << c.sensors;
        EXPECT_EQ(celsius, c.expected) << c.sensors;
        EXPECT_EQ(Values(Calls().at(0)), std::vector<int>{15}) << c.sensors;
    }
    s_sim.setFault(NvId::GetThermalSettings, kNvError);
    uint32_t celsius = 999;
    EXPECT_EQ(m_gpu.GetTemperature(celsius, -1), 0);
    EXPECT_EQ(celsius, 999u);
}

TEST_F(SimDriverTest, PstateClocksOfSingleAndRangeEntries)
{
    GpuClockInfo rangeGfx = {};
    rangeGfx.gfxMinClock = 300000;
    rangeGfx.gfxMaxClock = 1900000;
    rangeGfx.gfxMinVoltage = 700000;
    rangeGfx.gfxMaxVoltage = 1000000;
    rangeGfx.gfxOffsetMin = -200000;
    rangeGfx.gfxOffsetMax = 300000;
    rangeGfx.gfxOffsetEditable = 1;
    rangeGfx.memClock = rangeGfx.memBaseClock = 7000000;
    rangeGfx.memOffsetMin = -100000;
    rangeGfx.memOffsetMax = 500000;
    rangeGfx.procMinClock = 100000;
    rangeGfx.procMaxClock = 1500000;

    // Graphics single, memory range with core voltages, processor single; a
    // graphics range outside the core voltage domain keeps its voltages out.
    GpuClockInfo rangeMem = rangeGfx;
    rangeMem.gfxMinClock = rangeMem.gfxMaxClock = rangeMem.gfxMinVoltage = rangeMem.gfxMaxVoltage = 0;
    rangeMem.gfxClock = 1500000;
    rangeMem.memClock = rangeMem.memBaseClock = 0;
    rangeMem.memMinClock = 6000000;
    rangeMem.memMaxClock = 8000000;
    rangeMem.memMinVoltage = 1300000;
    rangeMem.memMaxVoltage = 1350000;
    rangeMem.procMinClock = rangeMem.procMaxClock = 0;
    rangeMem.procClock = 1200000;
    GpuClockInfo otherDomain = rangeGfx;
    otherDomain.gfxMinVoltage = otherDomain.gfxMaxVoltage = 0;

    const struct {
        std::string ini;
        GpuClockInfo expected;
    } cases[] = {
        {kClockScenario, rangeGfx},
        {std::string(kClockScenario) + "GfxType=single\nGfxFreq=1500000\nMemType=range\nMemMinFreq=6000000\n"
                                       "MemMaxFreq=8000000\nMemMinVoltage=1300000\nMemMaxVoltage=1350000\n"
                                       "ProcType=single\nProcFreq=1200000\n",
         rangeMem},
        {std::string(kClockScenario) + "GfxVoltageDomain=16\n", otherDomain},
    };
    for (const auto& c : cases) {
        LoadScenario(c.ini);
        GpuClockInfo info = {};
        ASSERT_EQ(m_gpu.GetPstateClocks(info, -1, 0), 1);
        EXPECT_EQ(Words(info), Words(c.expected));
        EXPECT_EQ(Ids(Calls()), (std::vector<uint32_t>{NvId::GetCurrentPstate, NvId::GetPstates20}));
    }
}

TEST_F(SimDriverTest, PstateClocksReadTheRequestedOrCurrentPstate)
{
    const struct {
        uint32_t pstate;
        uint32_t faultId;
        uint32_t used;
        bool filled;
    } cases[] = {
        {0, 0, 0, false},                          // no entry numbered 0: untouched
        {8, 0, 8, true},
        {16, 0, 8, true},                          // 16: the driver's current P-state
        {16, NvId::GetCurrentPstate, 16, false},   // current P-state unknown
    };
    for (const auto& c : cases) {
        LoadScenario(std::string(kClockScenario) + "Pstates=8\nCurrentPstate=8\n");
        s_sim.setFault(c.faultId, kNvError);
        GpuClockInfo info;
        std::memset(&info, 0x5A, sizeof(info));
        const GpuClockInfo before = info;
        EXPECT_EQ(m_gpu.GetPstateClocks(info, -1, c.pstate), 1) << c.pstate;
        EXPECT_EQ(m_gpu.m_pstate, c.used) << c.pstate;
        EXPECT_EQ(std::memcmp(&info, &before, sizeof(info)) != 0, c.filled) << c.pstate;
        if (c.filled) {
            EXPECT_EQ(info.gfxMinClock, 300000u);
        }
    }
    s_sim.setFault(NvId::GetPstates20, kNvError);
    GpuClockInfo info = {};
    EXPECT_EQ(m_gpu.GetPstateClocks(info, -1, 0), 0);
}

TEST_F(SimDriverTest, ClockOffsetsWrittenToP0OfTheAddressedGpu)
{
    LoadScenario(kClockScenario);
    GpuClockInfo info = {};
    info.gfxOffset = 150000;
    info.memOffset = 0;
    info.gfxClock = 1;  // everything but the two offsets is ignored
    ASSERT_EQ(m_gpu.SetClockOffsets(info, 1), 1);
    const std::vector<NvSimCall> calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].interfaceId, NvId::SetPstates20);
    EXPECT_EQ(calls[0].gpu, 1);
    // One P-state (P0) with two clocks: graphics then memory.
    EXPECT_EQ(Values(calls[0]), (std::vector<int>{0, kNvClockGraphics, 150000, kNvClockMemory, 0}));

    GpuClockInfo read = {};
    ASSERT_EQ(m_gpu.GetPstateClocks(read, 1, 0), 1);
    EXPECT_EQ(read.gfxOffset, 150000);
    ASSERT_EQ(m_gpu.GetCurrentClocks(read, 1), 1);
    EXPECT_EQ(read.gfxClock, 450000u);  // idle P0 clock plus the offset
    EXPECT_EQ(read.memClock, 7000000u);
    EXPECT_EQ(read.procClock, 100000u);
    read = {};
    ASSERT_EQ(m_gpu.GetPstateClocks(read, 0, 0), 1);
    EXPECT_EQ(read.gfxOffset, 0);

    s_sim.clearLog();
    info.gfxOffset = -50000;
    info.memOffset = 200000;  // memory offset not editable: refused
    EXPECT_EQ(m_gpu.SetClockOffsets(info, 1), 0);
    EXPECT_EQ(Values(Calls().at(0)), (std::vector<int>{0, kNvClockGraphics, -50000, kNvClockMemory, 200000}));
}

TEST_F(SimDriverTest, CurrentClocksLeftAsTheyWereOnFailure)
{
    LoadScenario(kClockScenario);
    s_sim.setFault(NvId::GetAllClockFrequencies, kNvError);
    GpuClockInfo info;
    std::memset(&info, 0x5A, sizeof(info));
    const GpuClockInfo before = info;
    EXPECT_EQ(m_gpu.GetCurrentClocks(info, -1), 0);
    EXPECT_EQ(std::memcmp(&info, &before, sizeof(info)), 0);
}

TEST_F(SimDriverTest, PowerTargetReadAndWrite)
{
    LoadScenario("[Simulator]\nGpuCount=2\n[Gpu]\nPowerPolicies=1\nPowerMin=50000\nPowerDefault=100000\n"
                 "PowerMax=120000\n");
    GpuClockInfo info = {};
    ASSERT_EQ(m_gpu.GetPowerTarget(info, 1), 1);
    EXPECT_EQ(info.powerMin, 50000u);
    EXPECT_EQ(info.powerDefault, 100000u);
    EXPECT_EQ(info.powerMax, 120000u);
    EXPECT_EQ(info.powerTarget, 100000u);

    s_sim.clearLog();
    info.powerTarget = 110000;
    ASSERT_EQ(m_gpu.SetPowerTarget(info, 1), 1);
    std::vector<NvSimCall> calls = Calls();
    EXPECT_EQ(Ids(calls), (std::vector<uint32_t>{NvId::GetPowerPolicyInfo, NvId::SetPowerPolicyStatus}));
    EXPECT_EQ(calls.back().gpu, 1);
    EXPECT_EQ(Values(calls.back()), (std::vector<int>{0, 0, 110000}));  // policy 0, flags clear, target
    info.powerTarget = 0;
    ASSERT_EQ(m_gpu.GetPowerTarget(info, 1), 1);
    EXPECT_EQ(info.powerTarget, 110000u);
    ASSERT_EQ(m_gpu.GetPowerTarget(info, 0), 1);
    EXPECT_EQ(info.powerTarget, 100000u);

    info.powerTarget = 130000;  // above the maximum: the driver refuses
    EXPECT_EQ(m_gpu.SetPowerTarget(info, 1), 0);

    s_sim.setFault(NvId::GetPowerPolicyStatus, kNvError);
    info.powerTarget = 1;
    EXPECT_EQ(m_gpu.GetPowerTarget(info, 1), 0);
    EXPECT_EQ(info.powerTarget, 1u);
}

TEST_F(SimDriverTest, InvalidPowerInformationWritesNothing)
{
    for (const std::string ini : {"[Gpu]\nPowerValid=0\n", "[Gpu]\n"}) {
        LoadScenario(ini);
        if (ini == "[Gpu]\n")
            s_sim.setFault(NvId::GetPowerPolicyInfo, kNvError);
        GpuClockInfo info = {};
        info.powerTarget = 100000;
        EXPECT_EQ(m_gpu.GetPowerTarget(info, -1), 0) << ini;
        EXPECT_EQ(m_gpu.SetPowerTarget(info, -1), 0) << ini;
        EXPECT_EQ(Ids(Calls()), (std::vector<uint32_t>{NvId::GetPowerPolicyInfo, NvId::GetPowerPolicyInfo})) << ini;
    }
}

TEST_F(SimDriverTest, CoolerSettingsAndLevels)
{
    LoadScenario("[Simulator]\nGpuCount=2\n[Gpu]\nCoolers=2\nCoolerMin=25\nCoolerMax=95\n");
    ASSERT_EQ(s_sim.setFanLevel(0, 1, 55), 1);
    NvCoolerSettings record = {};
    ASSERT_EQ(m_gpu.GetCoolerSettings(record, -1, 1), 1);
    EXPECT_EQ(record.version, NvVer::CoolerSettings);
    EXPECT_EQ(record.count, 2u);
    EXPECT_EQ(record.cooler[1].defaultMinLevel, 25u);
    EXPECT_EQ(record.cooler[1].defaultMaxLevel, 95u);
    EXPECT_EQ(record.cooler[1].currentLevel, 55u);
    EXPECT_EQ(Values(Calls().at(0)), std::vector<int>{7});  // every cooler
    EXPECT_EQ(m_gpu.GetCoolerLevel(-1, 1), 55u);
    EXPECT_EQ(m_gpu.m_coolerSettings.cooler[1].currentLevel, 55u);

    s_sim.clearLog();
    ASSERT_EQ(m_gpu.SetCoolerLevel(70, kNvCoolerPolicyManual, 1, 1), 1);
    ASSERT_EQ(m_gpu.SetCoolerLevel(40, kNvCoolerPolicyAuto, 0, 0), 1);
    std::vector<NvSimCall> calls = Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].gpu, 1);
    EXPECT_EQ(Values(calls[0]), (std::vector<int>{1, 70, 1}));  // cooler index, level, policy
    EXPECT_EQ(calls[1].gpu, 0);
    EXPECT_EQ(Values(calls[1]), (std::vector<int>{0, 40, 32}));
    EXPECT_EQ(m_gpu.GetCoolerLevel(1, 1), 70u);

    // A failed read gives the addressed cooler level 0 and limits 0 to 100.
    s_sim.setFault(NvId::GetCoolerSettings, kNvError);
    std::memset(&record, 0xAB, sizeof(record));
    EXPECT_EQ(m_gpu.GetCoolerSettings(record, -1, 1), 0);
    EXPECT_EQ(record.cooler[1].currentLevel, 0u);
    EXPECT_EQ(record.cooler[1].defaultMinLevel, 0u);
    EXPECT_EQ(record.cooler[1].defaultMaxLevel, 100u);
    EXPECT_EQ(record.cooler[0].currentLevel, 0xABABABABu);
    EXPECT_EQ(m_gpu.GetCoolerLevel(-1, 1), 0u);
}

TEST_F(SimDriverTest, CoolerIndexOutsideTheRecordFails)
{
    LoadScenario("[Gpu]\nCoolers=2\n");
    for (int cooler : {20, 21, 1000, -1}) {
        NvCoolerSettings record;
        std::memset(&record, 0xAB, sizeof(record));
        const NvCoolerSettings before = record;
        EXPECT_EQ(m_gpu.GetCoolerSettings(record, -1, cooler), 0) << cooler;
        EXPECT_EQ(std::memcmp(&record, &before, sizeof(record)), 0) << cooler;
        EXPECT_EQ(m_gpu.GetCoolerLevel(-1, cooler), 0u) << cooler;
        EXPECT_EQ(m_gpu.SetCoolerLevel(50, kNvCoolerPolicyManual, -1, cooler), 0) << cooler;
    }
    EXPECT_EQ(Calls().size(), 0u);
}

TEST_F(SimDriverTest, FrameRateSettingInTheBaseProfile)
{
    const struct {
        uint32_t value;
        uint32_t written;
    } cases[] = {{0, 0xF0000000u}, {60, 0xF000003Cu}, {0x10000005u, 5}};
    for (const auto& c : cases) {
        LoadScenario("[Gpu]\n");
        ASSERT_EQ(m_gpu.SetDriverSetting(c.value), 1);
        const std::vector<NvSimCall> calls = Calls();
        EXPECT_EQ(Ids(calls), (std::vector<uint32_t>{NvId::DrsCreateSession, NvId::DrsLoadSettings,
                                                     NvId::DrsGetBaseProfile, NvId::DrsSetSetting,
                                                     NvId::DrsSaveSettings, NvId::DrsDestroySession}));
        EXPECT_EQ(Values(calls.at(3)), (std::vector<int>{static_cast<int>(kNvDrsFrameRateLimiter), kNvDrsTypeDword,
                                                         static_cast<int>(c.written)}));
        EXPECT_EQ(calls.at(5).status, kNvOk);
        uint32_t saved = 0;
        ASSERT_EQ(s_sim.savedSetting(kNvDrsFrameRateLimiter, &saved), 1);
        EXPECT_EQ(saved, c.written);
    }
}

TEST_F(SimDriverTest, FrameRateSettingDestroysTheSessionOnEveryFailure)
{
    const uint32_t steps[] = {NvId::DrsCreateSession, NvId::DrsLoadSettings, NvId::DrsGetBaseProfile,
                              NvId::DrsSetSetting, NvId::DrsSaveSettings};
    for (size_t failed = 0; failed < 5; ++failed) {
        LoadScenario("[Gpu]\n");
        s_sim.setFault(steps[failed], kNvError);
        EXPECT_EQ(m_gpu.SetDriverSetting(60), 0) << failed;
        std::vector<uint32_t> expected(steps, steps + failed + 1);
        if (failed > 0)
            expected.push_back(NvId::DrsDestroySession);
        const std::vector<NvSimCall> calls = Calls();
        EXPECT_EQ(Ids(calls), expected) << failed;
        if (failed > 0) {
            EXPECT_EQ(calls.back().status, kNvOk) << failed;
        }
        uint32_t saved = 0;
        EXPECT_EQ(s_sim.savedSetting(kNvDrsFrameRateLimiter, &saved), 0) << failed;
    }
}

}  // namespace

namespace {
// Lets writes through while open.
class SwitchGate : public GpuWriteGate {
public:
    bool open = true;
    bool MayWrite() const override { return open; }
};
}  // namespace

// A copy that may not write to the cards reaches the driver with none of its
// writes, and each says why; opened, the same writes go through.
TEST_F(SimDriverTest, AClosedWriteGateHoldsBackEveryWriteWithoutADriverCall)
{
    LoadScenario("[Simulator]\nGpuCount=2\n[Gpu]\nGfxOffsetMin=-100000\nGfxOffsetMax=100000\nGfxEditable=1\n"
                 "MemOffsetMin=-100000\nMemOffsetMax=100000\nMemEditable=1\n"
                 "[Gpu1]\nFanInterface=client\nCoolers=2\n");
    SwitchGate gate;
    m_gpu.SetWriteGate(&gate);
    GpuClockInfo info = {};
    ASSERT_EQ(m_gpu.GetPowerTarget(info, 0), 1);
    info.gfxOffset = 50000;
    info.memOffset = -20000;
    const struct {
        const char* what;
        std::function<int()> write;
    } writes[] = {
        {"clock offsets", [&] { return m_gpu.SetClockOffsets(info, 0); }},
        {"power target", [&] { return m_gpu.SetPowerTarget(info, 0); }},
        {"cooler level", [&] { return m_gpu.SetCoolerLevel(50, kNvCoolerPolicyManual, 0, 0); }},
        {"older card's fans manual", [&] { return m_gpu.SetFansManual(60, 0); }},
        {"client fans manual", [&] { return m_gpu.SetFansManual(60, 1); }},
        {"client fans back to the driver", [&] { return m_gpu.SetFansAuto(1); }},
        {"frame-rate target", [&] { return m_gpu.SetDriverSetting(60); }},
    };
    for (const auto& w : writes) {
        SCOPED_TRACE(w.what);
        gate.open = false;
        s_sim.clearLog();
        m_gpu.m_status = kNvOk;
        EXPECT_EQ(w.write(), 0);
        EXPECT_EQ(m_gpu.m_status, kGpuWriteHeldBack);
        EXPECT_TRUE(Calls().empty()) << std::hex << Calls().front().interfaceId;
        gate.open = true;
        EXPECT_EQ(w.write(), 1);
        EXPECT_FALSE(Calls().empty());
    }
    // Readings never ask the gate.
    gate.open = false;
    GpuReading reading;
    EXPECT_EQ(m_gpu.Read(reading, 1), 1);
    EXPECT_TRUE(reading.fanLevel.has_value());
}
