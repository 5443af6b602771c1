// The simulated driver, reached as the program reaches it: nvapi64.dll from the
// system directory, entered through nvapi_QueryInterface.
#include "gpu/NvApiTypes.h"
#include "nvsim/NvSimControl.h"
#include "test_files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <cstring>
#include <vector>

namespace {

HMODULE g_module;
NvQueryInterfaceFn g_query;

template <typename Fn> Fn Api(uint32_t id)
{
    return reinterpret_cast<Fn>(g_query(id));
}

template <typename Fn> Fn Control(const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(g_module, name)));
}

class NvSimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char system[MAX_PATH];
        UINT length = GetSystemDirectoryA(system, MAX_PATH);
        ASSERT_GT(length, 0u);
        g_module = LoadLibraryA((std::string(system, length) + "\\nvapi64.dll").c_str());
        ASSERT_NE(g_module, nullptr);
        g_query = reinterpret_cast<NvQueryInterfaceFn>(
            reinterpret_cast<void*>(GetProcAddress(g_module, "nvapi_QueryInterface")));
        ASSERT_NE(g_query, nullptr);
    }
    static void TearDownTestSuite() { FreeLibrary(g_module); }

    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_dir = std::string(temp) + "nvsim_test_" + std::to_string(GetCurrentProcessId()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(m_dir.c_str(), nullptr);
        Control<NvSim_FreezeFn>("NvSim_Freeze")(1);
        ASSERT_EQ(Control<NvSim_LoadScenarioFn>("NvSim_LoadScenario")(nullptr), 1);
    }
    void TearDown() override
    {
        DeleteFileA(Path("scenario.ini").c_str());
        DeleteFileA(Path("scenario-drs.ini").c_str());
        RemoveDirectoryA(m_dir.c_str());
    }

    std::string Path(const char* name) const { return m_dir + "\\" + name; }

    // Writes a scenario into this test's directory and loads it.
    bool Load(const char* text)
    {
        std::string path = Path("scenario.ini");
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return false;
        std::fputs(text, file);
        std::fclose(file);
        return Control<NvSim_LoadScenarioFn>("NvSim_LoadScenario")(path.c_str()) == 1;
    }

    // Initialises the driver and returns the GPU handles.
    std::vector<NvGpuHandle> Start()
    {
        EXPECT_EQ(Api<NvInitializeFn>(NvId::Initialize)(), kNvOk);
        NvGpuHandle handles[kNvMaxPhysicalGpus] = {};
        uint32_t count = 0;
        EXPECT_EQ(Api<NvEnumPhysicalGpusFn>(NvId::EnumPhysicalGpus)(handles, &count), kNvOk);
        return std::vector<NvGpuHandle>(handles, handles + count);
    }

    std::string m_dir;
};

// ------------------------------------------------------------- call helpers

int Temperature(NvGpuHandle gpu)
{
    NvThermalSettings record = {};
    record.version = NvVer::ThermalSettings;
    EXPECT_EQ(Api<NvGetThermalSettingsFn>(NvId::GetThermalSettings)(gpu, kNvThermalTargetAll, &record), kNvOk);
    return record.count ? record.sensor[0].currentTemp : -1000;
}

NvCoolerSettings Coolers(NvGpuHandle gpu)
{
    NvCoolerSettings record = {};
    record.version = NvVer::CoolerSettings;
    EXPECT_EQ(Api<NvGetCoolerSettingsFn>(NvId::GetCoolerSettings)(gpu, kNvCoolerTargetAll, &record), kNvOk);
    return record;
}

NvStatus SetCooler(NvGpuHandle gpu, uint32_t index, uint32_t level, uint32_t policy)
{
    NvCoolerLevels record = {};
    record.version = NvVer::CoolerLevels;
    if (index < kNvMaxCoolers) record.cooler[index] = {level, policy};
    return Api<NvSetCoolerLevelsFn>(NvId::SetCoolerLevels)(gpu, index, &record);
}

NvClockFrequencies Clocks(NvGpuHandle gpu)
{
    NvClockFrequencies record = {};
    record.version = NvVer::ClockFrequencies;
    EXPECT_EQ(Api<NvGetAllClockFrequenciesFn>(NvId::GetAllClockFrequencies)(gpu, &record), kNvOk);
    return record;
}

NvPstates20Info Pstates(NvGpuHandle gpu)
{
    NvPstates20Info record = {};
    record.version = NvVer::Pstates20;
    EXPECT_EQ(Api<NvPstates20Fn>(NvId::GetPstates20)(gpu, &record), kNvOk);
    return record;
}

// P0 graphics and memory offsets, written the way the program writes them.
NvStatus SetOffsets(NvGpuHandle gpu, int32_t gfx, int32_t mem, int32_t pstate = 0)
{
    NvPstates20Info record = {};
    record.version = NvVer::Pstates20;
    record.numPstates = 1;
    record.numClocks = 2;
    record.pstates[0].pstateId = pstate;
    record.pstates[0].clocks[0].domainId = kNvClockGraphics;
    record.pstates[0].clocks[0].offset = gfx;
    record.pstates[0].clocks[1].domainId = kNvClockMemory;
    record.pstates[0].clocks[1].offset = mem;
    return Api<NvPstates20Fn>(NvId::SetPstates20)(gpu, &record);
}

NvStatus SetPower(NvGpuHandle gpu, uint32_t policy, uint32_t target, uint8_t count = 1)
{
    NvPowerPolicyStatus record = {};
    record.version = NvVer::PowerPolicyStatus;
    record.count = count;
    record.entries[0] = {policy, 0, target, 0};
    return Api<NvPowerPolicyStatusFn>(NvId::SetPowerPolicyStatus)(gpu, &record);
}

uint32_t PowerTarget(NvGpuHandle gpu)
{
    NvPowerPolicyStatus record = {};
    record.version = NvVer::PowerPolicyStatus;
    EXPECT_EQ(Api<NvPowerPolicyStatusFn>(NvId::GetPowerPolicyStatus)(gpu, &record), kNvOk);
    return record.entries[0].powerTarget;
}

// A session on the base profile, opened as the program opens it.
void OpenBaseProfile(NvDrsSession& session, NvDrsProfile& profile)
{
    ASSERT_EQ(Api<NvDrsCreateSessionFn>(NvId::DrsCreateSession)(&session), kNvOk);
    ASSERT_EQ(Api<NvDrsSessionFn>(NvId::DrsLoadSettings)(session), kNvOk);
    ASSERT_EQ(Api<NvDrsGetBaseProfileFn>(NvId::DrsGetBaseProfile)(session, &profile), kNvOk);
}

NvStatus SetFrameRate(NvDrsSession session, NvDrsProfile profile, uint32_t value, uint32_t version = NvVer::DrsSetting)
{
    NvDrsSetting setting = {};
    setting.version = version;
    setting.settingId = kNvDrsFrameRateLimiter;
    setting.currentValue.dword = value;
    return Api<NvDrsSetSettingFn>(NvId::DrsSetSetting)(session, profile, &setting);
}

void Step(unsigned ms)
{
    Control<NvSim_StepTimeFn>("NvSim_StepTime")(ms);
}

std::vector<NvSimCall> Log()
{
    std::vector<NvSimCall> calls(Control<NvSim_GetCallCountFn>("NvSim_GetCallCount")());
    for (size_t i = 0; i < calls.size(); ++i) Control<NvSim_GetCallFn>("NvSim_GetCall")(static_cast<int>(i), &calls[i]);
    return calls;
}

// -------------------------------------------------------------------- tests

TEST_F(NvSimTest, AnswersEveryInterfaceAndNullForUnknownOnes)
{
    for (uint32_t id : NvId::kAll) EXPECT_NE(g_query(id), nullptr) << std::hex << id;
    for (uint32_t id : {0u, 0xD22BDD7Eu, 0x12345678u, 0xFFFFFFFFu}) EXPECT_EQ(g_query(id), nullptr) << std::hex << id;
    Control<NvSim_SetFaultFn>("NvSim_SetFault")(NvId::GetCoreCount, NVSIM_FAULT_MISSING);
    EXPECT_EQ(g_query(NvId::GetCoreCount), nullptr);
}

TEST_F(NvSimTest, RefusesCallsLikeADriver)
{
    uint32_t count = 0;
    NvGpuHandle handles[kNvMaxPhysicalGpus] = {};
    EXPECT_EQ(Api<NvEnumPhysicalGpusFn>(NvId::EnumPhysicalGpus)(handles, &count), kNvNotInitialized);
    char name[kNvShortStringSize];
    EXPECT_EQ(Api<NvGetShortStringFn>(NvId::GetFullName)(nullptr, name), kNvNotInitialized);

    NvGpuHandle gpu = Start().at(0);
    NvGpuHandle bogus = reinterpret_cast<NvGpuHandle>(reinterpret_cast<uintptr_t>(gpu) + 1);
    NvDrsSession session = nullptr;
    NvDrsProfile profile = nullptr;
    OpenBaseProfile(session, profile);
    struct Case {
        const char* what;
        std::function<NvStatus()> call;
        NvStatus expected;
    };
    const Case cases[] = {
        {"null handle array", [] { uint32_t n; return Api<NvEnumPhysicalGpusFn>(NvId::EnumPhysicalGpus)(nullptr, &n); }, kNvInvalidArgument},
        {"null name buffer", [&] { return Api<NvGetShortStringFn>(NvId::GetFullName)(gpu, nullptr); }, kNvInvalidArgument},
        {"null GPU handle", [&] { return Api<NvGetShortStringFn>(NvId::GetFullName)(nullptr, name); }, kNvInvalidHandle},
        {"forged GPU handle", [&] { uint32_t kb; return Api<NvGetGpuWordFn>(NvId::GetFrameBufferSize)(bogus, &kb); }, kNvInvalidHandle},
        {"display past the end", [] { NvDisplayHandle d; return Api<NvEnumDisplayHandleFn>(NvId::EnumDisplayHandle)(1, &d); }, kNvEndEnumeration},
        {"null display output", [] { return Api<NvEnumDisplayHandleFn>(NvId::EnumDisplayHandle)(0, nullptr); }, kNvInvalidArgument},
        {"forged display handle", [] { NvDriverVersion v = {}; v.version = NvVer::DriverVersion;
             return Api<NvGetDisplayDriverVersionFn>(NvId::GetDisplayDriverVersion)(reinterpret_cast<NvDisplayHandle>(8), &v); }, kNvInvalidHandle},
        {"driver version v2", [] { NvDriverVersion v = {}; v.version = 0x2008C;
             return Api<NvGetDisplayDriverVersionFn>(NvId::GetDisplayDriverVersion)(nullptr, &v); }, kNvIncompatibleVersion},
        {"clock record of wrong size", [&] { NvClockFrequencies c = {}; c.version = 0x20100;
             return Api<NvGetAllClockFrequenciesFn>(NvId::GetAllClockFrequencies)(gpu, &c); }, kNvIncompatibleVersion},
        {"clock type 3", [&] { NvClockFrequencies c = {}; c.version = NvVer::ClockFrequencies; c.flags = 3;
             return Api<NvGetAllClockFrequenciesFn>(NvId::GetAllClockFrequencies)(gpu, &c); }, kNvInvalidArgument},
        {"thermal v3", [&] { NvThermalSettings t = {}; t.version = 0x30044;
             return Api<NvGetThermalSettingsFn>(NvId::GetThermalSettings)(gpu, 15, &t); }, kNvIncompatibleVersion},
        {"absent sensor", [&] { NvThermalSettings t = {}; t.version = NvVer::ThermalSettings;
             return Api<NvGetThermalSettingsFn>(NvId::GetThermalSettings)(gpu, 1, &t); }, kNvInvalidArgument},
        {"P-states with version 0", [&] { NvPstates20Info p = {};
             return Api<NvPstates20Fn>(NvId::GetPstates20)(gpu, &p); }, kNvIncompatibleVersion},
        {"null P-state output", [&] { return Api<NvGetCurrentPstateFn>(NvId::GetCurrentPstate)(gpu, nullptr); }, kNvInvalidArgument},
        {"power info v2", [&] { NvPowerPolicyInfo p = {}; p.version = 0x200B8;
             return Api<NvGetPowerPolicyInfoFn>(NvId::GetPowerPolicyInfo)(gpu, &p); }, kNvIncompatibleVersion},
        {"cooler settings v1", [&] { NvCoolerSettings c = {}; c.version = 0x10508;
             return Api<NvGetCoolerSettingsFn>(NvId::GetCoolerSettings)(gpu, 7, &c); }, kNvIncompatibleVersion},
        {"absent cooler read", [&] { NvCoolerSettings c = {}; c.version = NvVer::CoolerSettings;
             return Api<NvGetCoolerSettingsFn>(NvId::GetCoolerSettings)(gpu, 1, &c); }, kNvInvalidArgument},
        {"cooler index past the record", [&] { return SetCooler(gpu, 20, 50, 1); }, kNvInvalidArgument},
        {"null bus location", [&] { uint32_t w; return Api<NvGetMemoryBusWidthFn>(NvId::GetMemoryBusWidth)(gpu, &w, nullptr); }, kNvInvalidArgument},
        {"forged DRS session", [] { return Api<NvDrsSessionFn>(NvId::DrsLoadSettings)(reinterpret_cast<NvDrsSession>(16)); }, kNvInvalidHandle},
        {"setting on a foreign profile", [&] { return SetFrameRate(session, reinterpret_cast<NvDrsProfile>(8), 0); }, kNvInvalidHandle},
        {"setting record v2", [&] { return SetFrameRate(session, profile, 0, 0x23020); }, kNvIncompatibleVersion},
        {"setting of an ended session", [&] { Api<NvDrsSessionFn>(NvId::DrsDestroySession)(session);
             return SetFrameRate(session, profile, 0); }, kNvInvalidHandle},
    };
    for (const Case& c : cases) EXPECT_EQ(c.call(), c.expected) << c.what;
}

TEST_F(NvSimTest, AResetInvalidatesEveryHandleAndTheSameGpusComeBackUnderNewOnes)
{
    ASSERT_TRUE(Load("[Simulator]\nGpuCount=2\nDisplays=1\n[Gpu1]\nName=Second\n"));
    auto reset = Control<NvSim_ResetDriverFn>("NvSim_ResetDriver");
    ASSERT_NE(reset, nullptr);
    char name[kNvShortStringSize];
    for (int needsInit : {0, 1}) {
        SCOPED_TRACE(needsInit);
        const std::vector<NvGpuHandle> before = Start();
        NvDisplayHandle display = nullptr;
        ASSERT_EQ(Api<NvEnumDisplayHandleFn>(NvId::EnumDisplayHandle)(0, &display), kNvOk);
        NvDrsSession session = nullptr;
        NvDrsProfile profile = nullptr;
        OpenBaseProfile(session, profile);
        reset(needsInit);

        const NvStatus old = needsInit ? kNvNotInitialized : kNvHandleInvalidated;
        EXPECT_EQ(Api<NvGetShortStringFn>(NvId::GetFullName)(before[1], name), old);
        if (!needsInit) {
            NvDriverVersion v = {};
            v.version = NvVer::DriverVersion;
            EXPECT_EQ(Api<NvGetDisplayDriverVersionFn>(NvId::GetDisplayDriverVersion)(display, &v), kNvInvalidHandle);
            EXPECT_EQ(Api<NvDrsSessionFn>(NvId::DrsLoadSettings)(session), kNvInvalidHandle);
        }
        const std::vector<NvGpuHandle> after = Start();
        ASSERT_EQ(after.size(), 2u);
        EXPECT_NE(after[1], before[1]);
        ASSERT_EQ(Api<NvGetShortStringFn>(NvId::GetFullName)(after[1], name), kNvOk);
        EXPECT_STREQ(name, "Second");
        EXPECT_EQ(Api<NvGetShortStringFn>(NvId::GetFullName)(before[1], name), kNvHandleInvalidated);
    }
}

// Another process that loads the driver sees the coolers as this one left them.
TEST_F(NvSimTest, SharedStateKeepsCoolersAndLogsCallsForEveryProcess)
{
    const std::string shared = Path("shared.state");
    ASSERT_TRUE(SetEnvironmentVariableA("NVSIM_SHARED", shared.c_str()));
    ASSERT_TRUE(Load("[Gpu]\nCoolerMin=20\nCoolerMax=95\n"));
    NvGpuHandle gpu = Start().at(0);
    ASSERT_EQ(SetCooler(gpu, 0, 55, kNvCoolerPolicyManual), kNvOk);
    EXPECT_EQ(ReadWholeFile(shared), "0 0 1 55\n");

    // Another process takes the fan to 77 %.
    {
        FILE* file = std::fopen(shared.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs("0 0 1 77\n", file);
        std::fclose(file);
    }
    EXPECT_EQ(Coolers(gpu).cooler[0].currentLevel, 77u);
    ASSERT_EQ(SetCooler(gpu, 0, 0, kNvCoolerPolicyAuto), kNvOk);
    EXPECT_EQ(ReadWholeFile(shared), "0 0 32 77\n");

    const std::string log = ReadWholeFile(shared + ".log");
    const std::string pid = std::to_string(GetCurrentProcessId());
    EXPECT_NE(log.find(pid + " 891FA0AE 0 0 0 55 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find(pid + " 891FA0AE 0 0 0 0 32\n"), std::string::npos) << log;
    EXPECT_NE(log.find(pid + " 0150E828 -1 0\n"), std::string::npos) << "every call, not only the coolers'";

    SetEnvironmentVariableA("NVSIM_SHARED", nullptr);
    ASSERT_TRUE(Load("[Gpu]\n"));  // back to a driver of its own
    DeleteFileA(shared.c_str());
    DeleteFileA((shared + ".log").c_str());
}

TEST_F(NvSimTest, DefaultScenarioIsOneCurrentCard)
{
    std::vector<NvGpuHandle> gpus = Start();
    ASSERT_EQ(gpus.size(), 1u);
    uint32_t device, subsystem, revision, external;
    ASSERT_EQ(Api<NvGetPciIdentifiersFn>(NvId::GetPciIdentifiers)(gpus[0], &device, &subsystem, &revision, &external), kNvOk);
    EXPECT_EQ(device & 0xFFFF, 0x10DEu);
    EXPECT_EQ(external & 0xFFFF, 0x2684u);
    NvPstates20Info p = Pstates(gpus[0]);
    ASSERT_EQ(p.numPstates, 1u);
    ASSERT_EQ(p.numClocks, 2u);
    const NvPstateClock& gfx = p.pstates[0].clocks[0];
    EXPECT_EQ(gfx.typeId, kNvPstateClockRange);
    EXPECT_EQ(gfx.data.range.voltageDomain, kNvVoltageDomainCore);
    EXPECT_LT(gfx.data.range.minFreq, gfx.data.range.maxFreq);
    EXPECT_EQ(gfx.offsetMin, -1000000);
    EXPECT_EQ(p.pstates[0].clocks[1].typeId, kNvPstateClockSingle);
    NvPowerPolicyInfo info = {};
    info.version = NvVer::PowerPolicyInfo;
    ASSERT_EQ(Api<NvGetPowerPolicyInfoFn>(NvId::GetPowerPolicyInfo)(gpus[0], &info), kNvOk);
    EXPECT_EQ(info.valid, 1);
    EXPECT_EQ(info.entries[0].minPower, 50000u);
    EXPECT_EQ(info.entries[0].maxPower, 114000u);
    EXPECT_EQ(PowerTarget(gpus[0]), 100000u);
    NvCoolerSettings coolers = Coolers(gpus[0]);
    EXPECT_EQ(coolers.count, 1u);
    EXPECT_EQ(coolers.cooler[0].defaultMinLevel, 30u);
    EXPECT_EQ(coolers.cooler[0].defaultMaxLevel, 100u);
    int temperature = Temperature(gpus[0]);
    EXPECT_GT(temperature, 20);
    EXPECT_LT(temperature, 60);
}

TEST_F(NvSimTest, ScenarioDescribesGpusDriverAndFaults)
{
    ASSERT_TRUE(Load("[Simulator]\nGpuCount=3\nDisplays=2\nDriverVersion=47114\nDriverBranch=r471_11\n"
                     "[Gpu]\nName=Common Card\nMemoryType=5\n"
                     "[Gpu1]\nName=Second Card\nDeviceId=0x1B8010DE\nExtDeviceId=0x1B80\nSubSystemId=0x33011462\n"
                     "MemoryKB=8388608\nCores=2560\nBusWidth=256\nVbios=86.04.17.00.01\nMemoryType=12\n"
                     "GfxType=single\nGfxFreq=1607000\nGfxOffsetMin=-200000\nGfxOffsetMax=300000\nGfxEditable=0\n"
                     "ProcType=range\nProcMinFreq=100000\nProcMaxFreq=200000\nPstates=8, 0\n"
                     "Sensors=3\nCoolers=2\nCoolerMin=25\nCoolerMax=90\nPowerValid=0\n"
                     "[Faults]\n0xC7026A87=-104\n0x46FBEB03=missing\n"));
    std::vector<NvGpuHandle> gpus = Start();
    ASSERT_EQ(gpus.size(), 3u);
    char name[kNvShortStringSize];
    Api<NvGetShortStringFn>(NvId::GetFullName)(gpus[0], name);
    EXPECT_STREQ(name, "Common Card");
    Api<NvGetShortStringFn>(NvId::GetFullName)(gpus[1], name);
    EXPECT_STREQ(name, "Second Card");
    Api<NvGetShortStringFn>(NvId::GetVbiosVersionString)(gpus[1], name);
    EXPECT_STREQ(name, "86.04.17.00.01");

    uint32_t device, subsystem, revision, external, width, location, type;
    Api<NvGetPciIdentifiersFn>(NvId::GetPciIdentifiers)(gpus[1], &device, &subsystem, &revision, &external);
    EXPECT_EQ(device, 0x1B8010DEu);
    EXPECT_EQ(subsystem, 0x33011462u);
    EXPECT_EQ(external, 0x1B80u);
    Api<NvGetMemoryBusWidthFn>(NvId::GetMemoryBusWidth)(gpus[1], &width, &location);
    EXPECT_EQ(width, 256u);
    Api<NvGetGpuWordFn>(NvId::GetMemoryType)(gpus[1], &type);
    EXPECT_EQ(type, 12u);
    Api<NvGetGpuWordFn>(NvId::GetMemoryType)(gpus[2], &type);
    EXPECT_EQ(type, 5u);

    NvPstates20Info p = Pstates(gpus[1]);
    ASSERT_EQ(p.numPstates, 2u);
    EXPECT_EQ(p.pstates[0].pstateId, 8);
    EXPECT_EQ(p.pstates[1].pstateId, 0);
    ASSERT_EQ(p.numClocks, 3u);
    EXPECT_EQ(p.pstates[1].clocks[0].typeId, kNvPstateClockSingle);
    EXPECT_EQ(p.pstates[1].clocks[0].data.single.freq, 1607000u);
    EXPECT_EQ(p.pstates[1].clocks[0].editable, 0u);
    EXPECT_EQ(p.pstates[1].clocks[0].offsetMax, 300000);
    EXPECT_EQ(p.pstates[1].clocks[2].domainId, kNvClockProcessor);
    EXPECT_EQ(p.pstates[1].clocks[2].data.range.maxFreq, 200000u);

    NvThermalSettings thermal = {};
    thermal.version = NvVer::ThermalSettings;
    ASSERT_EQ(Api<NvGetThermalSettingsFn>(NvId::GetThermalSettings)(gpus[1], 15, &thermal), kNvOk);
    EXPECT_EQ(thermal.count, 3u);
    NvCoolerSettings coolers = Coolers(gpus[1]);
    EXPECT_EQ(coolers.count, 2u);
    EXPECT_EQ(coolers.cooler[1].defaultMinLevel, 25u);
    EXPECT_EQ(coolers.cooler[1].defaultMaxLevel, 90u);
    NvPowerPolicyInfo info = {};
    info.version = NvVer::PowerPolicyInfo;
    ASSERT_EQ(Api<NvGetPowerPolicyInfoFn>(NvId::GetPowerPolicyInfo)(gpus[1], &info), kNvOk);
    EXPECT_EQ(info.valid, 0);
    EXPECT_EQ(SetPower(gpus[1], 0, 100000), kNvNotSupported);

    NvDisplayHandle displays[3];
    auto enumDisplay = Api<NvEnumDisplayHandleFn>(NvId::EnumDisplayHandle);
    EXPECT_EQ(enumDisplay(0, &displays[0]), kNvOk);
    EXPECT_EQ(enumDisplay(1, &displays[1]), kNvOk);
    EXPECT_EQ(enumDisplay(2, &displays[2]), kNvEndEnumeration);
    NvDriverVersion version = {};
    version.version = NvVer::DriverVersion;
    ASSERT_EQ(Api<NvGetDisplayDriverVersionFn>(NvId::GetDisplayDriverVersion)(displays[1], &version), kNvOk);
    EXPECT_EQ(version.driverVersion, 47114u);
    EXPECT_STREQ(version.branch, "r471_11");

    uint32_t cores = 0;
    EXPECT_EQ(Api<NvGetGpuWordFn>(NvId::GetCoreCount)(gpus[1], &cores), -104);
    EXPECT_EQ(cores, 0u);
    EXPECT_EQ(g_query(NvId::GetFrameBufferSize), nullptr);
}

TEST_F(NvSimTest, GarbageCountsAreClamped)
{
    struct Case {
        const char* scenario;
        size_t gpus;
        uint32_t sensors, coolers, policies;
    };
    const Case cases[] = {
        {"[Simulator]\nGpuCount=1000\n[Gpu]\nSensors=9\nCoolers=99\nPowerPolicies=7\n", 64, 3, 20, 4},
        {"[Simulator]\nGpuCount=abc\n[Gpu]\nSensors=-1\nCoolers=x\nPowerPolicies=0\n", 1, 0, 1, 0},
        {"[Simulator]\nGpuCount=0\n[Gpu]\nSensors=2junk\nCoolers=0\n", 1, 1, 0, 1},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Load(c.scenario)) << c.scenario;
        std::vector<NvGpuHandle> gpus = Start();
        ASSERT_EQ(gpus.size(), c.gpus) << c.scenario;
        NvThermalSettings thermal = {};
        thermal.version = NvVer::ThermalSettings;
        Api<NvGetThermalSettingsFn>(NvId::GetThermalSettings)(gpus.back(), 15, &thermal);
        EXPECT_EQ(thermal.count, c.sensors) << c.scenario;
        EXPECT_EQ(Coolers(gpus.back()).count, c.coolers) << c.scenario;
        NvPowerPolicyInfo info = {};
        info.version = NvVer::PowerPolicyInfo;
        Api<NvGetPowerPolicyInfoFn>(NvId::GetPowerPolicyInfo)(gpus.back(), &info);
        EXPECT_EQ(info.count, c.policies) << c.scenario;
    }
}

TEST_F(NvSimTest, SixtyFourGpusEachWithItsOwnSection)
{
    ASSERT_TRUE(Load("[Simulator]\nGpuCount=64\n[Gpu]\nCores=1000\n[Gpu63]\nCores=6300\n[Gpu0]\nCores=7\n"));
    std::vector<NvGpuHandle> gpus = Start();
    ASSERT_EQ(gpus.size(), 64u);
    for (size_t i = 0; i < gpus.size(); ++i) {
        for (size_t j = 0; j < i; ++j) ASSERT_NE(gpus[i], gpus[j]);
    }
    std::vector<uint32_t> cores;
    for (NvGpuHandle gpu : gpus) {
        uint32_t count = 0;
        Api<NvGetGpuWordFn>(NvId::GetCoreCount)(gpu, &count);
        cores.push_back(count);
    }
    EXPECT_EQ(cores[0], 7u);
    EXPECT_EQ(cores[1], 1000u);
    EXPECT_EQ(cores[62], 1000u);
    EXPECT_EQ(cores[63], 6300u);
}

// Two identical cards side by side, so each comparison differs in one input only.
const char kTwinCards[] = "[Simulator]\nGpuCount=2\n[Gpu]\nTemperature=40\nLoad=50\n";

TEST_F(NvSimTest, LoadHeatsAndFanCools)
{
    struct Case {
        const char* what;
        int load[2];
        uint32_t fan[2];
    };
    const Case cases[] = {{"load raises temperature", {10, 100}, {50, 50}},
                          {"fan lowers temperature", {80, 80}, {100, 30}}};
    for (const Case& c : cases) {
        ASSERT_TRUE(Load(kTwinCards));
        std::vector<NvGpuHandle> gpus = Start();
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(Control<NvSim_SetLoadFn>("NvSim_SetLoad")(i, c.load[i]), 1);
            ASSERT_EQ(SetCooler(gpus[i], 0, c.fan[i], kNvCoolerPolicyManual), kNvOk);
        }
        Step(60000);
        EXPECT_GT(Temperature(gpus[1]), Temperature(gpus[0]) + 10) << c.what;
    }
}

TEST_F(NvSimTest, FanFollowsTheWrittenLevelOrTheDriverCurve)
{
    ASSERT_TRUE(Load(kTwinCards));
    std::vector<NvGpuHandle> gpus = Start();
    ASSERT_EQ(SetCooler(gpus[0], 0, 40, kNvCoolerPolicyManual), kNvOk);
    int startLevel = static_cast<int>(Coolers(gpus[1]).cooler[0].currentLevel);
    for (int i = 0; i < 2; ++i) Control<NvSim_SetTemperatureFn>("NvSim_SetTemperature")(i, 95);
    Step(3000);
    EXPECT_EQ(Coolers(gpus[0]).cooler[0].currentLevel, 40u);
    EXPECT_GT(static_cast<int>(Coolers(gpus[1]).cooler[0].currentLevel), startLevel + 30);

    ASSERT_EQ(SetCooler(gpus[0], 0, 0, kNvCoolerPolicyAuto), kNvOk);
    Step(3000);
    EXPECT_GT(Coolers(gpus[0]).cooler[0].currentLevel, 60u);
}

TEST_F(NvSimTest, ClocksAddOffsetsAndBoostUnderLoad)
{
    std::vector<NvGpuHandle> gpus = Start();
    Control<NvSim_SetLoadFn>("NvSim_SetLoad")(0, 20);
    NvClockFrequencies before = Clocks(gpus[0]);
    ASSERT_EQ(SetOffsets(gpus[0], 150000, -250000), kNvOk);
    NvClockFrequencies after = Clocks(gpus[0]);
    EXPECT_EQ(after.domain[kNvClockGraphics].frequency, before.domain[kNvClockGraphics].frequency + 150000);
    EXPECT_EQ(after.domain[kNvClockMemory].frequency, before.domain[kNvClockMemory].frequency - 250000);
    NvPstates20Info p = Pstates(gpus[0]);
    EXPECT_EQ(p.pstates[0].clocks[0].offset, 150000);
    EXPECT_EQ(p.pstates[0].clocks[1].offset, -250000);

    Control<NvSim_SetLoadFn>("NvSim_SetLoad")(0, 100);
    EXPECT_GT(Clocks(gpus[0]).domain[kNvClockGraphics].frequency, after.domain[kNvClockGraphics].frequency + 500000);
}

TEST_F(NvSimTest, LoadPatternRisesAndFalls)
{
    ASSERT_TRUE(Load("[Gpu0]\nLoad=50\nLoadAmplitude=45\nLoadPeriodMs=20000\n"));
    NvGpuHandle gpu = Start().at(0);
    Step(5000);
    uint32_t peak = Clocks(gpu).domain[kNvClockGraphics].frequency;
    Step(10000);
    uint32_t trough = Clocks(gpu).domain[kNvClockGraphics].frequency;
    EXPECT_GT(peak, trough + 1000000);
}

TEST_F(NvSimTest, RefusedWritesChangeNothing)
{
    NvGpuHandle gpu = Start().at(0);
    ASSERT_EQ(SetOffsets(gpu, 100000, 100000), kNvOk);
    ASSERT_EQ(SetPower(gpu, 0, 90000), kNvOk);
    ASSERT_EQ(SetCooler(gpu, 0, 45, kNvCoolerPolicyManual), kNvOk);
    struct Case {
        const char* what;
        std::function<NvStatus()> write;
    };
    const Case cases[] = {
        {"graphics offset above range", [&] { return SetOffsets(gpu, 1000001, 0); }},
        {"memory offset below range", [&] { return SetOffsets(gpu, 0, -1000001); }},
        {"absent P-state", [&] { return SetOffsets(gpu, 0, 0, 3); }},
        {"unknown clock domain", [&] {
             NvPstates20Info r = {}; r.version = NvVer::Pstates20; r.numPstates = 1; r.numClocks = 1;
             r.pstates[0].clocks[0].domainId = 9;
             return Api<NvPstates20Fn>(NvId::SetPstates20)(gpu, &r); }},
        {"clock count past the record", [&] {
             NvPstates20Info r = {}; r.version = NvVer::Pstates20; r.numPstates = 1; r.numClocks = 9;
             return Api<NvPstates20Fn>(NvId::SetPstates20)(gpu, &r); }},
        {"power above maximum", [&] { return SetPower(gpu, 0, 114001); }},
        {"power below minimum", [&] { return SetPower(gpu, 0, 49999); }},
        {"unknown power policy", [&] { return SetPower(gpu, 1, 100000); }},
        {"power entry count past the record", [&] { return SetPower(gpu, 0, 100000, 5); }},
        {"fan below its minimum", [&] { return SetCooler(gpu, 0, 29, kNvCoolerPolicyManual); }},
        {"unknown fan policy", [&] { return SetCooler(gpu, 0, 50, 7); }},
        {"absent cooler", [&] { return SetCooler(gpu, 1, 50, kNvCoolerPolicyManual); }},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.write(), kNvInvalidArgument) << c.what;
        NvPstates20Info p = Pstates(gpu);
        EXPECT_EQ(p.pstates[0].clocks[0].offset, 100000) << c.what;
        EXPECT_EQ(p.pstates[0].clocks[1].offset, 100000) << c.what;
        EXPECT_EQ(PowerTarget(gpu), 90000u) << c.what;
        EXPECT_EQ(Coolers(gpu).cooler[0].currentLevel, 45u) << c.what;
    }
}

TEST_F(NvSimTest, LogsEachCallWithWhatWasWritten)
{
    ASSERT_TRUE(Load("[Simulator]\nGpuCount=2\n[Gpu1]\nCoolers=2\n"));
    std::vector<NvGpuHandle> gpus = Start();
    Control<NvSim_ClearLogFn>("NvSim_ClearLog")();
    ASSERT_EQ(SetOffsets(gpus[1], 50000, -30000), kNvOk);
    ASSERT_EQ(SetPower(gpus[0], 0, 95000), kNvOk);
    ASSERT_EQ(SetCooler(gpus[1], 1, 55, kNvCoolerPolicyManual), kNvOk);
    Control<NvSim_SetFaultFn>("NvSim_SetFault")(NvId::DrsCreateSession, -1);
    NvDrsSession session = nullptr;
    EXPECT_EQ(Api<NvDrsCreateSessionFn>(NvId::DrsCreateSession)(&session), -1);
    Control<NvSim_SetFaultFn>("NvSim_SetFault")(NvId::DrsCreateSession, 0);
    NvDrsProfile profile = nullptr;
    OpenBaseProfile(session, profile);
    ASSERT_EQ(SetFrameRate(session, profile, kNvDrsFrameRateEnabled + 60), kNvOk);
    ASSERT_EQ(Api<NvDrsSessionFn>(NvId::DrsDestroySession)(session), kNvOk);

    struct Expected {
        uint32_t id;
        int gpu, status;
        std::vector<int> values;
    };
    const Expected expected[] = {
        {NvId::SetPstates20, 1, kNvOk, {0, kNvClockGraphics, 50000, kNvClockMemory, -30000}},
        {NvId::SetPowerPolicyStatus, 0, kNvOk, {0, 0, 95000}},
        {NvId::SetCoolerLevels, 1, kNvOk, {1, 55, 1}},
        {NvId::DrsCreateSession, -1, -1, {}},
        {NvId::DrsCreateSession, -1, kNvOk, {}},
        {NvId::DrsLoadSettings, -1, kNvOk, {}},
        {NvId::DrsGetBaseProfile, -1, kNvOk, {}},
        {NvId::DrsSetSetting, -1, kNvOk, {static_cast<int>(kNvDrsFrameRateLimiter), 0, static_cast<int>(0xF000003Cu)}},
        {NvId::DrsDestroySession, -1, kNvOk, {}},
    };
    std::vector<NvSimCall> log = Log();
    ASSERT_EQ(log.size(), std::size(expected));
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].interfaceId, expected[i].id) << i;
        EXPECT_EQ(log[i].gpu, expected[i].gpu) << i;
        EXPECT_EQ(log[i].status, expected[i].status) << i;
        EXPECT_EQ(std::vector<int>(log[i].values, log[i].values + log[i].count), expected[i].values) << i;
    }
}

TEST_F(NvSimTest, LogKeepsTheNewestCallsInOrder)
{
    NvGpuHandle gpu = Start().at(0);
    Control<NvSim_ClearLogFn>("NvSim_ClearLog")();
    constexpr int kCalls = 4096 + 904;
    for (int i = 0; i < kCalls; ++i) ASSERT_EQ(SetCooler(gpu, 0, 40 + i % 61, kNvCoolerPolicyManual), kNvOk);
    std::vector<NvSimCall> log = Log();
    ASSERT_EQ(log.size(), 4096u);
    for (size_t k = 0; k < log.size(); ++k) {
        ASSERT_EQ(log[k].interfaceId, NvId::SetCoolerLevels) << k;
        ASSERT_EQ(log[k].values[1], static_cast<int>(40 + (904 + k) % 61)) << k;
    }
    NvSimCall past{};
    EXPECT_EQ(Control<NvSim_GetCallFn>("NvSim_GetCall")(4096, &past), 0);
    Control<NvSim_ClearLogFn>("NvSim_ClearLog")();
    ASSERT_EQ(SetCooler(gpu, 0, 77, kNvCoolerPolicyManual), kNvOk);
    log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].values[1], 77);
}

TEST_F(NvSimTest, SavedFrameRateSurvivesAReload)
{
    ASSERT_TRUE(Load("[Gpu0]\nName=Persistent\n"));
    Start();
    auto writeFrameRate = [](uint32_t value, bool save) {
        NvDrsSession session = nullptr;
        NvDrsProfile profile = nullptr;
        OpenBaseProfile(session, profile);
        ASSERT_EQ(SetFrameRate(session, profile, value), kNvOk);
        if (save) {
            ASSERT_EQ(Api<NvDrsSessionFn>(NvId::DrsSaveSettings)(session), kNvOk);
        }
        ASSERT_EQ(Api<NvDrsSessionFn>(NvId::DrsDestroySession)(session), kNvOk);
    };
    auto saved = [] {
        unsigned value = 0;
        return Control<NvSim_GetSavedSettingFn>("NvSim_GetSavedSetting")(kNvDrsFrameRateLimiter, &value) ? value : 0u;
    };
    writeFrameRate(0xF000003C, false);
    EXPECT_EQ(saved(), 0u);
    writeFrameRate(0xF000003C, true);
    EXPECT_EQ(saved(), 0xF000003Cu);

    ASSERT_EQ(Control<NvSim_LoadScenarioFn>("NvSim_LoadScenario")(Path("scenario.ini").c_str()), 1);
    EXPECT_EQ(saved(), 0xF000003Cu);
    EXPECT_EQ(GetFileAttributesA(Path("scenario-drs.ini").c_str()) != INVALID_FILE_ATTRIBUTES, true);
    Start();
    writeFrameRate(0xF0000000, false);
    EXPECT_EQ(saved(), 0xF000003Cu);
}

TEST_F(NvSimTest, ModelIsTheSameHoweverTimeIsSliced)
{
    auto run = [this](unsigned slices) {
        EXPECT_TRUE(Load("[Gpu0]\nLoad=30\nLoadAmplitude=30\nLoadPeriodMs=7000\nTemperature=70\n"));
        NvGpuHandle gpu = Start().at(0);
        for (unsigned i = 0; i < slices; ++i) Step(30000 / slices);
        return std::make_pair(Temperature(gpu), Coolers(gpu).cooler[0].currentLevel);
    };
    EXPECT_EQ(run(1), run(3000));
}

} // namespace

namespace {
// A little-endian word of a raw record at a byte offset.
uint32_t WordAt(const std::vector<unsigned char>& record, size_t offset)
{
    uint32_t word = 0;
    std::memcpy(&word, record.data() + offset, sizeof word);
    return word;
}
void PutWord(std::vector<unsigned char>& record, size_t offset, uint32_t word)
{
    std::memcpy(record.data() + offset, &word, sizeof word);
}
}  // namespace

// The client fan records as the driver lays them out, byte by byte: a status
// of 1704 bytes with 52-byte items from offset 40, a control of 1452 bytes
// with 44-byte items from offset 44. Each card answers one fan interface.
TEST_F(NvSimTest, ClientFanRecordsAtTheDriversOffsetsAndOneInterfacePerCard)
{
    ASSERT_TRUE(Load("[Simulator]\nGpuCount=3\n[Gpu]\nCoolerMin=30\nCoolerMax=95\nFanRpmPerPercent=25\n"
                     "[Gpu0]\nFanInterface=client\nCoolers=3\n[Gpu2]\nFanInterface=none\n"));
    const std::vector<NvGpuHandle> gpus = Start();
    ASSERT_EQ(gpus.size(), 3u);
    ASSERT_EQ(Control<NvSim_SetFanLevelFn>("NvSim_SetFanLevel")(0, 2, 44), 1);
    const auto status = reinterpret_cast<NvStatus (*)(NvGpuHandle, void*)>(g_query(NvId::ClientFanCoolersGetStatus));
    const auto get = reinterpret_cast<NvStatus (*)(NvGpuHandle, void*)>(g_query(NvId::ClientFanCoolersGetControl));
    const auto set = reinterpret_cast<NvStatus (*)(NvGpuHandle, void*)>(g_query(NvId::ClientFanCoolersSetControl));
    ASSERT_TRUE(status && get && set);

    std::vector<unsigned char> record(1704, 0xCD);
    PutWord(record, 0, 0x000106A8);
    ASSERT_EQ(status(gpus[0], record.data()), kNvOk);
    EXPECT_EQ(WordAt(record, 4), 3u);
    const size_t third = 40 + 2 * 52;
    EXPECT_EQ(WordAt(record, third), 3u) << "fan ids count from 1";
    EXPECT_EQ(WordAt(record, third + 4), 44u * 25) << "speed";
    EXPECT_EQ(WordAt(record, third + 8), 30u) << "minimum";
    EXPECT_EQ(WordAt(record, third + 12), 95u) << "maximum";
    EXPECT_EQ(WordAt(record, third + 16), 44u) << "level";
    EXPECT_EQ(WordAt(record, third + 20), 0u) << "reserved bytes are zero";
    EXPECT_EQ(WordAt(record, 1700), 0u);

    std::vector<unsigned char> control(1452, 0);
    PutWord(control, 0, 0x000105AC);
    PutWord(control, 8, 2);
    for (uint32_t i = 0; i < 2; ++i) {
        PutWord(control, 44 + 44 * i, i == 0 ? 3 : 1);  // fan 3, then fan 1
        PutWord(control, 44 + 44 * i + 4, 20);           // below the minimum: raised to it
        PutWord(control, 44 + 44 * i + 8, 1);
    }
    ASSERT_EQ(set(gpus[0], control.data()), kNvOk);
    std::vector<unsigned char> read(1452, 0);
    PutWord(read, 0, 0x000105AC);
    ASSERT_EQ(get(gpus[0], read.data()), kNvOk);
    EXPECT_EQ(WordAt(read, 8), 3u);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{30, 1}, {0, 0}, {30, 1}};  // level, mode
    for (uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(WordAt(read, 44 + 44 * i), i + 1);
        if (expected[i].second) EXPECT_EQ(WordAt(read, 44 + 44 * i + 4), expected[i].first);
        EXPECT_EQ(WordAt(read, 44 + 44 * i + 8), expected[i].second);
    }
    PutWord(control, 44, 4);  // no fan 4
    EXPECT_EQ(set(gpus[0], control.data()), kNvInvalidArgument);
    PutWord(control, 0, 0x000205AC);
    EXPECT_EQ(set(gpus[0], control.data()), kNvIncompatibleVersion);

    // The older card answers only the older interface; the laptop's neither.
    NvCoolerSettings cooler = {};
    cooler.version = NvVer::CoolerSettings;
    const auto coolers = Api<NvGetCoolerSettingsFn>(NvId::GetCoolerSettings);
    EXPECT_EQ(coolers(gpus[0], kNvCoolerTargetAll, &cooler), kNvNotSupported);
    EXPECT_EQ(coolers(gpus[1], kNvCoolerTargetAll, &cooler), kNvOk);
    EXPECT_EQ(coolers(gpus[2], kNvCoolerTargetAll, &cooler), kNvNotSupported);
    PutWord(record, 0, 0x000106A8);
    EXPECT_EQ(status(gpus[1], record.data()), kNvNotSupported);
    EXPECT_EQ(status(gpus[2], record.data()), kNvNotSupported);
}
