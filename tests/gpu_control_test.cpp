// CGpuControl: loading the driver, Initialize, identity queries, GPU index
// checks, statuses, and a driver that reports impossible counts.
#include <windows.h>

#include <cstring>
#include <functional>

#include "gpu_sim_fixture.h"

namespace {

const char kTwoGpus[] =
    "[Simulator]\nGpuCount=2\nDisplays=2\nDriverVersion=53141\n"
    "[Gpu0]\nName=Sim Card Zero\nDeviceId=0x1B8010DE\nSubSystemId=0x37041462\nExtDeviceId=0x1B81\n"
    "[Gpu1]\nName=Sim Card One\nVbios=86.04.7A.00.19\nDeviceId=0x2204abcd\nSubSystemId=0x1234fedc\n"
    "ExtDeviceId=0xFFFF2206\nMemoryKB=12582911\nCores=10496\nBusWidth=384\nBusLocation=2\n";

std::string SystemPath(const char* file)
{
    char dir[MAX_PATH];
    GetSystemDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\" + file;
}

std::string ExeDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string exe(path);
    return exe.substr(0, exe.rfind('\\'));
}

TEST_F(SimDriverTest, InitializeResults)
{
    const struct {
        uint32_t faultId;
        int faultStatus;
        int result;
        uint32_t gpus;
        uint32_t displays;
        uint16_t device;
    } cases[] = {
        {0, 0, 0, 2, 2, 0x1B81},
        {NvId::Initialize, kNvError, 1, 0, 0, 0},
        {NvId::Initialize, NVSIM_FAULT_MISSING, 1, 0, 0, 0},
        {NvId::EnumPhysicalGpus, kNvDeviceNotFound, 2, 0, 0, 0},
        {NvId::EnumDisplayHandle, kNvError, 0, 2, 0, 0x1B81},
        {NvId::GetPciIdentifiers, kNvError, 0, 2, 2, 0},
    };
    for (const auto& c : cases) {
        m_gpu = CGpuControl();
        EXPECT_EQ(LoadAndInitialize(kTwoGpus, {{c.faultId, c.faultStatus}}), c.result) << std::hex << c.faultId;
        EXPECT_EQ(m_gpu.m_gpuCount, c.gpus) << std::hex << c.faultId;
        EXPECT_EQ(m_gpu.m_displayCount, c.displays) << std::hex << c.faultId;
        EXPECT_EQ(m_gpu.m_pciIds[1], c.device) << std::hex << c.faultId;
    }

    m_gpu = CGpuControl();
    ASSERT_EQ(LoadAndInitialize(kTwoGpus, {}), 0);
    const std::vector<NvSimCall> calls = Calls();
    // Then each card's fan interface: the client one first, then the older one.
    EXPECT_EQ(Ids(calls), (std::vector<uint32_t>{NvId::Initialize, NvId::EnumPhysicalGpus, NvId::EnumDisplayHandle,
                                                 NvId::EnumDisplayHandle, NvId::EnumDisplayHandle,
                                                 NvId::GetPciIdentifiers, NvId::ClientFanCoolersGetStatus,
                                                 NvId::GetCoolerSettings, NvId::ClientFanCoolersGetStatus,
                                                 NvId::GetCoolerSettings}));
    EXPECT_EQ(calls[4].status, kNvEndEnumeration);
    EXPECT_EQ(calls[5].gpu, 0);
    EXPECT_EQ(m_gpu.m_pciIds[0], 0x10DE);
    EXPECT_EQ(m_gpu.m_pciIds[2], 0x1462);
    EXPECT_EQ(m_gpu.m_pciIds[3], 0x3704);
}

TEST(GpuLoader, TakesTheDriverFromTheSystemDirectoryOnly)
{
    // The test driver sits beside this executable: found there, it would load.
    const char* const refused[] = {"qsurge_absent_driver.dll", "kernel32.dll", "libqsurge_test_driver.dll",
                                   "..\\system32\\nvapi64.dll", "C:nvapi64.dll", ""};
    for (const char* name : refused) {
        CGpuControl gpu(name);
        EXPECT_EQ(gpu.Initialize(), 1) << name;
        EXPECT_EQ(gpu.m_gpuCount, 0u) << name;
    }
    EXPECT_EQ(GetModuleHandleA("libqsurge_test_driver.dll"), nullptr);

    CGpuControl gpu;
    ASSERT_EQ(gpu.Initialize(), 0);
    char loaded[MAX_PATH] = {};
    GetModuleFileNameA(GetModuleHandleA("nvapi64.dll"), loaded, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(loaded, SystemPath("nvapi64.dll").c_str()), 0) << loaded;
}

TEST_F(SimDriverTest, IdentityOfTheAddressedGpu)
{
    LoadScenario(kTwoGpus);
    m_gpu.m_gpuIndex = 1;
    uint16_t ids[4] = {};
    ASSERT_EQ(m_gpu.GetPCIIdentifiers(ids[0], ids[1], ids[2], ids[3], -1), 1);
    EXPECT_EQ(ids[0], 0xABCD);  // low half of the device word
    EXPECT_EQ(ids[1], 0x2206);  // low half of the external device word
    EXPECT_EQ(ids[2], 0xFEDC);  // subsystem word: vendor low, subsystem high
    EXPECT_EQ(ids[3], 0x1234);

    char name[64] = {};
    char bios[64] = {};
    uint32_t megabytes = 0, cores = 0, width = 0, location = 99;
    ASSERT_EQ(m_gpu.GetFullName(name, 1), 1);
    ASSERT_EQ(m_gpu.GetBiosVersion(bios, -1), 1);
    ASSERT_EQ(m_gpu.GetMemorySize(megabytes, -1), 1);
    ASSERT_EQ(m_gpu.GetCoreCount(cores, -1), 1);
    ASSERT_EQ(m_gpu.GetMemoryBusWidth(width, location, -1), 1);
    EXPECT_STREQ(name, "Sim Card One");
    EXPECT_STREQ(bios, "86.04.7A.00.19");
    EXPECT_EQ(megabytes, 12287u);  // 12582911 KB, whole megabytes rounded down
    EXPECT_EQ(cores, 10496u);
    EXPECT_EQ(width, 384u);
    EXPECT_EQ(location, 2u);
    for (const NvSimCall& call : Calls())
        EXPECT_EQ(call.gpu, 1) << std::hex << call.interfaceId;

    ASSERT_EQ(m_gpu.GetFullName(name, 0), 1);
    EXPECT_STREQ(name, "Sim Card Zero");

    // The location is cleared before the query, the width only passed on success.
    s_sim.setFault(NvId::GetMemoryBusWidth, kNvError);
    EXPECT_EQ(m_gpu.GetMemoryBusWidth(width, location, 1), 0);
    EXPECT_EQ(width, 384u);
    EXPECT_EQ(location, 0u);
}

TEST_F(SimDriverTest, MemoryTypeTable)
{
    const char* const names[] = {"UNKNOWN", "SDRAM", "DDR1", "DDR2", "GDDR2", "GDDR3", "GDDR4", "DDR3", "GDDR5"};
    for (uint32_t code = 0; code <= 10; ++code) {
        LoadScenario("[Gpu]\nMemoryType=" + std::to_string(code == 10 ? 200 : code) + "\n");
        std::string text = "as set";
        EXPECT_EQ(m_gpu.GetMemoryType(text), 1) << code;
        EXPECT_EQ(text, code < 9 ? names[code] : "as set") << code;
    }
    s_sim.setFault(NvId::GetMemoryType, kNvError);
    std::string text = "as set";
    EXPECT_EQ(m_gpu.GetMemoryType(text), 0);
    EXPECT_EQ(text, "UNKNOWN");
}

TEST_F(SimDriverTest, DriverVersionOfAnEnumeratedDisplay)
{
    LoadScenario(kTwoGpus);
    NvDriverVersion record;
    std::memset(&record, 0x5A, sizeof(record));
    ASSERT_EQ(m_gpu.GetDriverVersion(record, 1), 1);
    EXPECT_EQ(record.version, NvVer::DriverVersion);
    EXPECT_EQ(record.driverVersion, 53141u);
    EXPECT_STREQ(record.adapter, "Sim Card Zero");

    std::memset(&record, 0x5A, sizeof(record));
    const NvDriverVersion before = record;
    EXPECT_EQ(m_gpu.GetDriverVersion(record, 2), 0);
    m_gpu.m_displayIndex = 128;
    EXPECT_EQ(m_gpu.GetDriverVersion(record, -1), 0);
    EXPECT_EQ(std::memcmp(&record, &before, sizeof(record)), 0);
    EXPECT_EQ(Calls().size(), 1u);
}

// Each operation, called on one GPU; result 1 means success.
struct Operation {
    const char* name;
    std::function<int(CGpuControl&, int gpu)> call;
};

std::vector<Operation> Operations()
{
    return {
        {"GetPCIIdentifiers", [](CGpuControl& g, int i) { uint16_t w[4]; return g.GetPCIIdentifiers(w[0], w[1], w[2], w[3], i); }},
        {"GetFullName", [](CGpuControl& g, int i) { char t[64]; return g.GetFullName(t, i); }},
        {"GetBiosVersion", [](CGpuControl& g, int i) { char t[64]; return g.GetBiosVersion(t, i); }},
        {"GetMemorySize", [](CGpuControl& g, int i) { uint32_t v; return g.GetMemorySize(v, i); }},
        {"GetCoreCount", [](CGpuControl& g, int i) { uint32_t v; return g.GetCoreCount(v, i); }},
        {"GetMemoryBusWidth", [](CGpuControl& g, int i) { uint32_t v, l; return g.GetMemoryBusWidth(v, l, i); }},
        {"GetMemoryType", [](CGpuControl& g, int i) { std::string t; return g.GetMemoryType(t, i); }},
        {"GetCurrentClocks", [](CGpuControl& g, int i) { GpuClockInfo c = {}; return g.GetCurrentClocks(c, i); }},
        {"GetTemperature", [](CGpuControl& g, int i) { uint32_t v; return g.GetTemperature(v, i); }},
        {"GetCurrentPstate", [](CGpuControl& g, int i) { return g.GetCurrentPstate(i) == 16 ? 0 : 1; }},
        {"GetPstateClocks", [](CGpuControl& g, int i) { GpuClockInfo c = {}; return g.GetPstateClocks(c, i, 0); }},
        {"SetClockOffsets", [](CGpuControl& g, int i) { return g.SetClockOffsets(GpuClockInfo{}, i); }},
        {"GetPowerTarget", [](CGpuControl& g, int i) { GpuClockInfo c = {}; return g.GetPowerTarget(c, i); }},
        {"SetPowerTarget", [](CGpuControl& g, int i) { GpuClockInfo c = {}; c.powerTarget = 100000; return g.SetPowerTarget(c, i); }},
        {"GetCoolerSettings", [](CGpuControl& g, int i) { NvCoolerSettings s = {}; return g.GetCoolerSettings(s, i, 0); }},
        {"GetCoolerLevel", [](CGpuControl& g, int i) { return g.GetCoolerLevel(i, 0) > 0 ? 1 : 0; }},
        {"SetCoolerLevel", [](CGpuControl& g, int i) { return g.SetCoolerLevel(50, kNvCoolerPolicyManual, i, 0); }},
    };
}

TEST_F(SimDriverTest, GpuIndexOutsideTheEnumerationMakesNoDriverCall)
{
    LoadScenario(kTwoGpus);
    for (const Operation& op : Operations()) {
        ASSERT_EQ(op.call(m_gpu, 1), 1) << op.name;  // the operation works on a valid index
        s_sim.clearLog();
        for (int index : {2, 63, 64, 1000, -2}) {
            EXPECT_EQ(op.call(m_gpu, index), 0) << op.name << ' ' << index;
        }
        m_gpu.m_gpuIndex = 2;
        EXPECT_EQ(op.call(m_gpu, -1), 0) << op.name;
        m_gpu.m_gpuIndex = 0;
        EXPECT_EQ(Calls().size(), 0u) << op.name;
    }
}

TEST_F(SimDriverTest, FailedCallsAndStatusKeeping)
{
    // Which interface each operation fails on, and whether it keeps the status.
    const struct {
        const char* name;
        uint32_t id;
        bool keepsStatus;
    } cases[] = {
        {"GetPCIIdentifiers", NvId::GetPciIdentifiers, true}, {"GetFullName", NvId::GetFullName, true},
        {"GetBiosVersion", NvId::GetVbiosVersionString, true}, {"GetMemorySize", NvId::GetFrameBufferSize, true},
        {"GetCoreCount", NvId::GetCoreCount, true}, {"GetMemoryBusWidth", NvId::GetMemoryBusWidth, true},
        {"GetMemoryType", NvId::GetMemoryType, true}, {"GetTemperature", NvId::GetThermalSettings, true},
        {"GetCurrentPstate", NvId::GetCurrentPstate, true}, {"GetPstateClocks", NvId::GetPstates20, true},
        {"GetCoolerSettings", NvId::GetCoolerSettings, true}, {"GetCoolerLevel", NvId::GetCoolerSettings, true},
        {"SetCoolerLevel", NvId::SetCoolerLevels, true}, {"GetCurrentClocks", NvId::GetAllClockFrequencies, false},
        {"SetClockOffsets", NvId::SetPstates20, false}, {"GetPowerTarget", NvId::GetPowerPolicyInfo, false},
        {"SetPowerTarget", NvId::SetPowerPolicyStatus, false},
    };
    const std::vector<Operation> operations = Operations();
    LoadScenario(kTwoGpus);
    for (const auto& c : cases) {
        const Operation* op = nullptr;
        for (const Operation& candidate : operations)
            if (std::strcmp(candidate.name, c.name) == 0) op = &candidate;
        ASSERT_NE(op, nullptr) << c.name;
        // A refusing driver, and one without the interface at all (-3).
        for (int fault : {kNvError, static_cast<int>(NVSIM_FAULT_MISSING)}) {
            s_sim.setFault(c.id, fault);
            m_gpu.m_status = 777;
            EXPECT_EQ(op->call(m_gpu, -1), 0) << c.name;
            const int status = fault == kNvError ? kNvError : kNvNoImplementation;
            EXPECT_EQ(m_gpu.m_status, c.keepsStatus ? status : 777) << c.name << ' ' << fault;
            s_sim.setFault(c.id, 0);
        }
        m_gpu.m_status = 777;
        EXPECT_EQ(op->call(m_gpu, -1), 1) << c.name;
        EXPECT_EQ(m_gpu.m_status, c.keepsStatus ? 0 : 777) << c.name;
    }
}

namespace {
uint64_t g_nowMs = 0;
uint64_t TestClock() { return g_nowMs; }
}  // namespace

TEST_F(SimDriverTest, ADriverResetIsSurvivedWithTheSelectedGpuKept)
{
    ASSERT_NE(s_sim.resetDriver, nullptr);
    for (int needsInit : {0, 1}) {
        SCOPED_TRACE(needsInit);
        LoadScenario(kTwoGpus);
        g_nowMs = 50000;
        m_gpu.SetClock(&TestClock);
        m_gpu.m_gpuIndex = 1;
        const NvGpuHandle old = m_gpu.m_gpuHandles[1];
        const unsigned recoveries = m_gpu.Recoveries();
        char name[64] = {};
        s_sim.resetDriver(needsInit);

        // The call that meets the reset fails; the next one brings the driver back.
        EXPECT_EQ(m_gpu.GetFullName(name), 0);
        EXPECT_EQ(m_gpu.Recoveries(), recoveries);
        s_sim.clearLog();
        ASSERT_EQ(m_gpu.GetFullName(name), 1);
        EXPECT_STREQ(name, "Sim Card One");
        EXPECT_EQ(m_gpu.m_gpuIndex, 1);
        EXPECT_NE(m_gpu.m_gpuHandles[1], old);
        EXPECT_EQ(m_gpu.Recoveries(), recoveries + 1);
        EXPECT_EQ(Ids(Calls()).front(), NvId::Initialize);
    }
}

TEST_F(SimDriverTest, ADriverThatStaysDownIsTriedOnceASecondAndNoCallUsesAnOldHandle)
{
    LoadScenario("[Simulator]\nGpuCount=2\n");
    g_nowMs = 50000;
    m_gpu.SetClock(&TestClock);
    m_gpu.m_gpuIndex = 1;
    s_sim.resetDriver(1);
    s_sim.setFault(NvId::Initialize, kNvError);
    uint32_t celsius = 0;
    EXPECT_EQ(m_gpu.GetTemperature(celsius), 0);  // meets the reset
    s_sim.clearLog();
    for (int tick = 0; tick < 25; ++tick) {  // 2.4 s of refreshes
        EXPECT_EQ(m_gpu.GetTemperature(celsius), 0);
        EXPECT_EQ(m_gpu.SetCoolerLevel(50, kNvCoolerPolicyManual, -1, 0), 0);
        g_nowMs += 100;
    }
    const std::vector<NvSimCall> calls = Calls();
    EXPECT_EQ(Ids(calls), (std::vector<uint32_t>(3, NvId::Initialize))) << "at 0, 1 and 2 seconds, and nothing else";

    // The driver comes back with one GPU: the selection falls back to GPU 0.
    ASSERT_TRUE(SimDriver::UseScenario("[Simulator]\nGpuCount=1\n"));
    s_sim.resetDriver(1);
    g_nowMs += 1000;
    s_sim.clearLog();
    EXPECT_EQ(m_gpu.GetTemperature(celsius), 1);
    EXPECT_EQ(m_gpu.m_gpuIndex, 0);
    EXPECT_EQ(m_gpu.m_gpuCount, 1u);
    EXPECT_EQ(Calls().back().gpu, 0);
}

TEST_F(SimDriverTest, ADriverNotReadyAtStartIsTakenUpWhenItIs)
{
    m_gpu = CGpuControl();
    ASSERT_EQ(LoadAndInitialize(kTwoGpus, {{NvId::Initialize, kNvNotInitialized}}), 1);
    g_nowMs = 1000;
    m_gpu.SetClock(&TestClock);
    uint32_t celsius = 0;
    EXPECT_EQ(m_gpu.GetTemperature(celsius), 0);
    s_sim.setFault(NvId::Initialize, 0);
    g_nowMs += 1000;
    EXPECT_EQ(m_gpu.GetTemperature(celsius), 1);
    EXPECT_EQ(m_gpu.m_gpuCount, 2u);
}

// A driver reporting counts beyond its records' arrays must not make any loop
// read past them; an unbounded display enumeration would never end.
TEST(GpuControlGarbageCounts, LoopsStayInsideTheRecords)
{
    const std::string source = ExeDirectory() + "\\libqsurge_test_driver.dll";
    ASSERT_TRUE(CopyFileA(source.c_str(), SystemPath("qsurge_test_driver.dll").c_str(), FALSE)) << GetLastError();
    CGpuControl gpu("qsurge_test_driver.dll");
    ASSERT_EQ(gpu.Initialize(), 0);
    EXPECT_EQ(gpu.m_gpuCount, 64u);
    EXPECT_EQ(gpu.m_displayCount, 128u);
    EXPECT_EQ(gpu.m_pciIds[1], 0x1B80);  // what follows the display table is intact

    uint32_t celsius = 0;
    ASSERT_EQ(gpu.GetTemperature(celsius, 63), 1);
    EXPECT_EQ(celsius, 42u);
    EXPECT_EQ(gpu.GetTemperature(celsius, 64), 0);

    GpuClockInfo info = {};
    ASSERT_EQ(gpu.GetPstateClocks(info, -1, 0), 1);
    EXPECT_EQ(info.gfxClock, 128u);  // last clock of the last entry

    ASSERT_EQ(gpu.GetPowerTarget(info, -1), 1);
    EXPECT_EQ(info.powerMin, 1003u);
    EXPECT_EQ(info.powerDefault, 2003u);
    EXPECT_EQ(info.powerMax, 3003u);
    EXPECT_EQ(info.powerTarget, 5003u);
}

}  // namespace
