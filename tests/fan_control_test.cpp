// Fan control without a window: the stored curve and mode read through the
// real profile functions, and the follower driven with temperatures over the
// simulated driver, read back from the driver's records.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fan/CFanControl.h"
#include "access/ObjectSecurity.h"
#include "gpu/GpuControl.h"
#include "guard_program.h"
#include "profile/IniFile.h"
#include "program_process.h"
#include "sim_driver.h"
#include "test_files.h"

namespace {

// 20 % up to 20 degrees, 50 % up to 60, 90 % up to 100.
const char* const kOwnPoints[kCurvePoints] = {"0,0,0", "8,2,1", "0,0,0", "0,0,0", "0,0,0",
                                              "5,6,1", "0,0,0", "0,0,0", "0,0,0", "1,10,1"};

std::string Rows(const FanCurvePoints& points)
{
    std::string rows;
    for (const CurvePoint& p : points) rows += p.enabled ? static_cast<char>('0' + p.row) : '-';
    return rows;
}

// Cooler writes since the log was last cleared: (GPU, level, policy, 1) when
// taken, (GPU, 0) when refused (the driver keeps no values of a refused call).
std::vector<std::vector<int>> CoolerWrites()
{
    std::vector<std::vector<int>> writes;
    for (const NvSimCall& call : SimDriver::Calls(NvId::SetCoolerLevels)) {
        if (call.status == 0)
            writes.push_back({call.gpu, call.values[1], call.values[2], 1});
        else
            writes.push_back({call.gpu, 0});
    }
    return writes;
}

class FanControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(SimDriver::Get().load, nullptr) << "simulated driver missing";
        ASSERT_TRUE(SimDriver::UseScenario(kTwoCardsScenario));
        UseBuiltFanGuard();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_path = std::string(temp) + "qsurge_fan_" + std::to_string(GetCurrentProcessId()) + ".ini";
        DeleteFileA(m_path.c_str());
        m_ini.SetPath(Widen(m_path));
        ASSERT_EQ(m_gpu.Initialize(), 0);
    }
    void TearDown() override { DeleteFileA(m_path.c_str()); }

    void StorePoints(const char* const (&points)[kCurvePoints])
    {
        for (int i = 0; i < kCurvePoints; ++i)
            m_ini.WriteText("FanCurve", ("Point" + std::to_string(i)).c_str(), points[i]);
    }
    // The control as a start finds it, the driver's log cleared.
    CFanControl& Start()
    {
        m_fan = std::make_unique<CFanControl>(m_gpu, m_ini);
        m_fan->Load();
        SimDriver::Get().clearLog();
        return *m_fan;
    }

    // A refresh as the main window makes it: the card read once, then the
    // follower given that reading at the temperature asked for. The first
    // fan's level read.
    unsigned Tick(CFanControl& fan, unsigned temperature)
    {
        GpuReading reading;
        m_gpu.Read(reading, -1);
        reading.temperature = temperature;
        fan.Tick(reading);
        return reading.fanLevel.value_or(0);
    }

    // Another set of cards, the driver started again over it.
    void UseCards(const char* scenario)
    {
        ASSERT_TRUE(SimDriver::UseScenario(scenario));
        m_gpu = CGpuControl();
        ASSERT_EQ(m_gpu.Initialize(), 0);
    }

    std::string m_path;
    CIniFile m_ini;
    CGpuControl m_gpu;
    std::unique_ptr<CFanControl> m_fan;
};

// A card with two client fans that keep 30 % while manual, and a laptop's card
// whose fans the system controls, then an older card.
const char kNewerCards[] =
    "[Simulator]\nGpuCount=3\n"
    "[Gpu]\nTemperature=45\nLoad=0\nLoadAmplitude=0\nCoolerMin=30\nCoolerMax=100\n"
    "[Gpu0]\nFanInterface=client\nCoolers=2\n"
    "[Gpu1]\nFanInterface=none\n";

// Client fan writes since the log was last cleared: the count, then id, level
// and mode of each fan.
std::vector<std::vector<int>> ClientWrites()
{
    std::vector<std::vector<int>> writes;
    for (const NvSimCall& call : SimDriver::Calls(NvId::ClientFanCoolersSetControl))
        writes.push_back(std::vector<int>(call.values, call.values + call.count));
    return writes;
}

uint64_t g_now = 0;
uint64_t TestNow() { return g_now; }

}  // namespace

// The stored mode holds whatever became of the curve; only a mode that cannot
// be read leaves the fan to the driver. Nothing is rewritten by reading.
TEST_F(FanControlTest, TheStoredModeHoldsWhateverBecameOfTheCurve)
{
    const std::string kDefault = Rows(kDefaultFanCurve), kOwn = "-8---5---1";
    struct Case {
        const char* name;
        bool points;             // the own curve stored
        const char* damage[2];   // a point key and its value (nullptr: removed)
        const char* mode;        // nullptr: no mode stored
        int expectedAuto;
        std::string expectedRows;
    };
    const Case cases[] = {
        {"never applied, curve mode", false, {}, "0", 0, kDefault},
        {"never applied, driver mode", false, {}, "1", 1, kDefault},
        {"never applied, no mode", false, {}, nullptr, 1, kDefault},
        {"own curve, curve mode", true, {}, "0", 0, kOwn},
        {"own curve, no mode", true, {}, nullptr, 1, kOwn},
        {"own curve, unreadable mode", true, {}, "yes", 1, kOwn},
        {"unreadable point, curve mode", true, {"Point5", "5,6"}, "0", 0, kDefault},
        {"missing point, curve mode", true, {"Point9", nullptr}, "0", 0, kDefault},
        {"rising rows, curve mode", true, {"Point5", "9,6,1"}, "0", 0, kDefault},
        {"point off its column, driver mode", true, {"Point5", "5,7,1"}, "1", 1, kDefault},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(m_path.c_str());
        if (c.points) StorePoints(kOwnPoints);
        if (c.damage[0]) WritePrivateProfileStringA("FanCurve", c.damage[0], c.damage[1], m_path.c_str());
        if (c.mode) m_ini.WriteText("FanCurve", "Auto", c.mode);
        const std::string before = ReadWholeFile(m_path);

        FanCurvePoints curve;
        EXPECT_EQ(ReadFanSettings(m_ini, curve), c.expectedAuto);
        EXPECT_EQ(Rows(curve), c.expectedRows);
        CFanControl& fan = Start();
        EXPECT_EQ(fan.FanAuto(), c.expectedAuto);
        EXPECT_EQ(Rows(fan.Curve()), c.expectedRows);
        EXPECT_EQ(ReadWholeFile(m_path), before) << "nothing rewritten until a curve is applied";
    }
}

TEST_F(FanControlTest, ACurveNeverAppliedIsFollowedInCurveModeFromTheFirstTick)
{
    m_ini.WriteText("FanCurve", "Auto", "0");
    CFanControl& fan = Start();
    Tick(fan, 50);
    EXPECT_EQ(CoolerWrites(), (std::vector<std::vector<int>>{{0, 60, 1, 1}}));
    EXPECT_EQ(Tick(fan, 50), 60u) << "the level written, read back";
    EXPECT_EQ(fan.Held(), GpuBit(0));
    fan.Release();
    EXPECT_EQ(CoolerWrites().back(), (std::vector<int>{0, 60, 32, 1}));
    EXPECT_EQ(fan.Held(), 0u);
}

// A GPU switch while the driver refuses cooler writes: the old fan's hand-back
// is asked again at every tick until the driver takes it, and until then both
// fans stay held (and guarded).
TEST_F(FanControlTest, AHandBackRefusedDuringAGpuSwitchIsTriedAgainUntilTheDriverTakesIt)
{
    m_ini.WriteText("FanCurve", "Auto", "0");
    CFanControl& fan = Start();
    Tick(fan, 50);
    Tick(fan, 50);  // GPU 0 at 60 %, read back
    SimDriver::Get().setFault(NvId::SetCoolerLevels, -1);
    m_gpu.SelectGpu(1);
    SimDriver::Get().clearLog();
    Tick(fan, 35);
    Tick(fan, 35);
    // Each tick: GPU 0 handed back, then the curve's level on GPU 1; all refused.
    EXPECT_EQ(CoolerWrites(), (std::vector<std::vector<int>>{{0, 0}, {1, 0}, {0, 0}, {1, 0}}));
    EXPECT_EQ(fan.Held(), GpuBit(0) | GpuBit(1));

    SimDriver::Get().setFault(NvId::SetCoolerLevels, 0);
    SimDriver::Get().clearLog();
    Tick(fan, 35);
    Tick(fan, 35);
    EXPECT_EQ(CoolerWrites(), (std::vector<std::vector<int>>{{0, 60, 32, 1}, {1, 45, 1, 1}}));
    EXPECT_EQ(fan.Held(), GpuBit(1));

    SimDriver::Get().clearLog();
    fan.Release();
    EXPECT_EQ(CoolerWrites(), (std::vector<std::vector<int>>{{1, 45, 32, 1}}));
    EXPECT_EQ(fan.Held(), 0u);
}

// Back to the driver while it refuses: the fan stays held, is asked for at every
// tick, and at the end too.
TEST_F(FanControlTest, ASwitchToTheDriverThatIsRefusedKeepsTheFanHeldUntilItIsTaken)
{
    m_ini.WriteText("FanCurve", "Auto", "0");
    CFanControl& fan = Start();
    Tick(fan, 70);
    SimDriver::Get().setFault(NvId::SetCoolerLevels, -1);
    fan.SetFanAuto(1);
    Tick(fan, 70);
    EXPECT_EQ(fan.Held(), GpuBit(0));
    SimDriver::Get().setFault(NvId::SetCoolerLevels, 0);
    SimDriver::Get().clearLog();
    fan.Release();
    EXPECT_EQ(CoolerWrites(), (std::vector<std::vector<int>>{{0, 70, 32, 1}}));
    EXPECT_EQ(fan.Held(), 0u);
    EXPECT_EQ(m_ini.ReadText("FanCurve", "Auto"), "1");
}

// No guard, no level of ours: the fan stays with the driver, and says so.
TEST_F(FanControlTest, WithoutAGuardTheCurveWritesNothingAndTheFanIsTheDriversAgain)
{
    CFanGuard::SetGuardProgram(BuiltProgramFolder() + L"missing\\" + CFanGuard::kGuardImage);
    m_ini.WriteText("FanCurve", "Auto", "0");
    CFanControl& fan = Start();
    Tick(fan, 50);
    EXPECT_TRUE(CoolerWrites().empty());
    EXPECT_EQ(fan.FanAuto(), 1);
    EXPECT_EQ(fan.Held(), 0u);
    EXPECT_EQ(m_ini.ReadText("FanCurve", "Auto"), "0") << "the user's choice is kept for the next start";
}

// One write for both fans of a newer card, never the older interface, and
// the hand-back in one write.
TEST_F(FanControlTest, OverATwoFanCardTheCurveDrivesBothFansInOneWrite)
{
    ASSERT_NO_FATAL_FAILURE(UseCards(kNewerCards));
    m_ini.WriteText("FanCurve", "Auto", "0");
    CFanControl& fan = Start();
    EXPECT_TRUE(fan.CanDrive());
    Tick(fan, 50);
    EXPECT_EQ(Tick(fan, 50), 60u) << "the first fan's level, read back";
    EXPECT_EQ(ClientWrites(), (std::vector<std::vector<int>>{{2, 1, 60, 1, 2, 60, 1}}));
    EXPECT_EQ(fan.Held(), GpuBit(0));
    fan.Release();
    EXPECT_EQ(ClientWrites().back(), (std::vector<int>{2, 1, 60, 0, 2, 60, 0}));
    EXPECT_TRUE(SimDriver::Calls(NvId::SetCoolerLevels).empty());
    EXPECT_EQ(fan.Held(), 0u);
}

// Above 80 degrees C the fans run at their maximum whatever the step says,
// also within a step that spans 80; the level is written once per change.
TEST_F(FanControlTest, AboveEightyDegreesTheFanRunsAtItsMaximumEvenWithinAStep)
{
    // 30 % up to 70 degrees, 70 % up to 90, 100 % up to 100.
    const char* const points[kCurvePoints] = {"0,0,0", "0,0,0", "0,0,0", "0,0,0", "0,0,0",
                                              "0,0,0", "7,7,1", "0,0,0", "3,9,1", "0,10,1"};
    StorePoints(points);
    m_ini.WriteText("FanCurve", "Auto", "0");
    CFanControl& fan = Start();
    struct Step {
        unsigned temperature;
        std::vector<std::vector<int>> writes;  // GPU 0's cooler, limits 35..90
    } steps[] = {
        {65, {{0, 35, 1, 1}}}, {75, {{0, 70, 1, 1}}}, {85, {{0, 90, 1, 1}}}, {89, {}},
        {80, {{0, 70, 1, 1}}}, {79, {}},              {95, {{0, 90, 1, 1}}}, {81, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.temperature);
        SimDriver::Get().clearLog();
        Tick(fan, step.temperature);
        EXPECT_EQ(CoolerWrites(), step.writes);
    }
    fan.Release();
}

// Without a temperature the curve cannot be followed: after 3 s the driver,
// whose own control follows the card's heat, has the fans back; the first
// good reading takes them again. The stored mode is kept.
TEST_F(FanControlTest, ThreeSecondsWithoutATemperatureHandTheFansBackUntilItReturns)
{
    ASSERT_NO_FATAL_FAILURE(UseCards(kNewerCards));
    m_ini.WriteText("FanCurve", "Auto", "0");
    g_now = 1000000;
    CFanControl& fan = Start();
    fan.SetClock(&TestNow);
    Tick(fan, 50);
    ASSERT_EQ(ClientWrites(), (std::vector<std::vector<int>>{{2, 1, 60, 1, 2, 60, 1}}));
    const auto blindTick = [&](uint64_t at) {
        g_now = 1000000 + at;
        GpuReading reading;
        m_gpu.Read(reading, -1);
        reading.temperature.reset();
        fan.Tick(reading);
    };
    std::string notice;
    for (uint64_t at : {100, 1500, 2999}) blindTick(at);
    EXPECT_EQ(ClientWrites().size(), 1u) << "nothing for less than 3 s";
    EXPECT_FALSE(fan.TakeNotice(notice));
    blindTick(3000);
    ASSERT_EQ(ClientWrites().size(), 2u);
    EXPECT_EQ(ClientWrites().back(), (std::vector<int>{2, 1, 60, 0, 2, 60, 0}));
    EXPECT_EQ(fan.Held(), 0u);
    EXPECT_TRUE(fan.TakeNotice(notice));
    EXPECT_NE(notice.find("temperature"), std::string::npos) << notice;
    blindTick(4000);
    EXPECT_FALSE(fan.TakeNotice(notice)) << "said once";
    EXPECT_EQ(ClientWrites().size(), 2u);
    EXPECT_EQ(m_ini.ReadText("FanCurve", "Auto"), "0");

    g_now += 100;
    Tick(fan, 50);
    EXPECT_EQ(ClientWrites().back(), (std::vector<int>{2, 1, 60, 1, 2, 60, 1})) << "taken again";
    EXPECT_EQ(fan.Held(), GpuBit(0));
    fan.Release();
}

// A laptop's card: no fan write of any kind and no guard; the switch cannot
// be turned off, and the stored mode is left for a card that can take it.
TEST_F(FanControlTest, ACardWithoutFanControlIsNeverWrittenToAndKeepsTheStoredMode)
{
    ASSERT_NO_FATAL_FAILURE(UseCards(kNewerCards));
    m_gpu.SelectGpu(1);
    m_ini.WriteText("FanCurve", "Auto", "0");
    const size_t guardsBefore = ProcessesNamed(CFanGuard::kGuardImage).size();
    CFanControl& fan = Start();
    EXPECT_FALSE(fan.CanDrive());
    EXPECT_EQ(fan.FanAuto(), 1);
    Tick(fan, 50);
    Tick(fan, 85);
    EXPECT_FALSE(fan.SetFanAuto(0));
    EXPECT_FALSE(fan.ApplyFanCurve(kDefaultFanCurve)) << "kept, but not taken";
    Tick(fan, 50);
    EXPECT_TRUE(SimDriver::Calls(NvId::SetCoolerLevels).empty());
    EXPECT_TRUE(SimDriver::Calls(NvId::ClientFanCoolersSetControl).empty());
    EXPECT_EQ(fan.Held(), 0u);
    EXPECT_EQ(ProcessesNamed(CFanGuard::kGuardImage).size(), guardsBefore) << "no guard started";
    EXPECT_EQ(m_ini.ReadText("FanCurve", "Point3"), "7,4,1") << "the curve is kept";
    EXPECT_EQ(m_ini.ReadText("FanCurve", "Auto"), "0") << "the stored mode is left as it was";

    // A card that can take the curve is driven as before.
    m_gpu.SelectGpu(2);
    Tick(fan, 50);
    EXPECT_EQ(fan.FanAuto(), 0);
    EXPECT_EQ(CoolerWrites(), (std::vector<std::vector<int>>{{2, 60, 1, 1}}));
    fan.Release();
}

// A guard ended from outside while a level of ours is in force is replaced at
// the next tick; when none can start, the fans go back and the user is told.
TEST_F(FanControlTest, AGuardThatEndsIsReplacedOrTheFansGoBack)
{
    m_ini.WriteText("FanCurve", "Auto", "0");
    CFanControl& fan = Start();
    // Guards of other holders in this process, which may still be about.
    std::vector<DWORD> others = ProcessesNamed(CFanGuard::kGuardImage);
    const auto newGuards = [&] {
        std::vector<DWORD> found;
        for (DWORD pid : ProcessesNamed(CFanGuard::kGuardImage))
            if (std::find(others.begin(), others.end(), pid) == others.end()) found.push_back(pid);
        return found;
    };
    Tick(fan, 50);
    const std::vector<DWORD> first = newGuards();
    ASSERT_EQ(first.size(), 1u);
    EndProcesses(first);
    others.push_back(first[0]);
    SimDriver::Get().clearLog();
    Tick(fan, 50);
    const std::vector<DWORD> second = newGuards();
    ASSERT_EQ(second.size(), 1u) << "a new guard";
    EXPECT_TRUE(CoolerWrites().empty()) << "the fan stays on the curve";
    EXPECT_EQ(fan.Held(), GpuBit(0));
    std::string notice;
    EXPECT_FALSE(fan.TakeNotice(notice));

    CFanGuard::SetGuardProgram(BuiltProgramFolder() + L"missing\\" + CFanGuard::kGuardImage);
    EndProcesses(second);
    Tick(fan, 50);
    EXPECT_EQ(CoolerWrites(), (std::vector<std::vector<int>>{{0, 60, 32, 1}}));
    EXPECT_EQ(fan.FanAuto(), 1);
    EXPECT_EQ(fan.Held(), 0u);
    EXPECT_TRUE(fan.TakeNotice(notice));
    EXPECT_NE(notice.find("guard"), std::string::npos) << notice;
    EXPECT_EQ(m_ini.ReadText("FanCurve", "Auto"), "0");
}

namespace {
// What the access list grants the SID, summed over its allowing entries.
DWORD GrantedTo(PACL acl, PSID sid)
{
    DWORD granted = 0;
    ACL_SIZE_INFORMATION size{};
    if (!acl || !GetAclInformation(acl, &size, sizeof size, AclSizeInformation)) return 0;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(acl, i, &entry)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&allowed->SidStart, sid))
            granted |= allowed->Mask;
    }
    return granted;
}

struct LocalMemory {
    void* memory = nullptr;
    ~LocalMemory() { LocalFree(memory); }
};
}  // namespace

// An elevated program's guard runs with the shell's token: the events grant
// the user's own SID waiting and setting under a medium label, and this
// process grants it waiting on it and reading its start time.
TEST(GuardAccessTest, TheGuardsEventsAndThisProcessGrantTheUserWhatTheGuardTakes)
{
    LocalMemory user;
    ASSERT_TRUE(ConvertStringSidToSidW(UserSidText().c_str(), &user.memory)) << "the user's SID";
    constexpr DWORD kGuardEventRights = CFanGuard::kGuardEventRights;
    constexpr DWORD kGuardProcessRights = CFanGuard::kGuardProcessRights;
    CObjectSecurity security(kGuardEventRights);
    ASSERT_NE(security.Attributes(), nullptr);
    HANDLE event = CreateEventW(security.Attributes(), TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    PACL dacl = nullptr, sacl = nullptr;
    LocalMemory descriptor;
    ASSERT_EQ(GetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                              nullptr, nullptr, &dacl, &sacl, &descriptor.memory),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(GrantedTo(dacl, user.memory) & kGuardEventRights, kGuardEventRights);
    EXPECT_EQ(GrantedTo(dacl, user.memory) & ~kGuardEventRights, 0u) << "nothing more";
    bool medium = false;
    ACL_SIZE_INFORMATION size{};
    if (sacl && GetAclInformation(sacl, &size, sizeof size, AclSizeInformation)) {
        for (DWORD i = 0; i < size.AceCount; ++i) {
            void* entry = nullptr;
            if (!GetAce(sacl, i, &entry)) continue;
            auto* label = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(entry);
            if (label->Header.AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE) continue;
            const PSID sid = &label->SidStart;
            medium = *GetSidSubAuthority(sid, 0) == SECURITY_MANDATORY_MEDIUM_RID &&
                     (label->Mask & SYSTEM_MANDATORY_LABEL_NO_WRITE_UP) != 0;
        }
    }
    EXPECT_TRUE(medium) << "a medium label: a guard of medium integrity may set it";
    CloseHandle(event);

    ASSERT_TRUE(GrantUserThisProcess(kGuardProcessRights));
    PACL processDacl = nullptr;
    LocalMemory processDescriptor;
    ASSERT_EQ(GetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &processDacl, nullptr, &processDescriptor.memory),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(GrantedTo(processDacl, user.memory) & kGuardProcessRights, kGuardProcessRights);
}
