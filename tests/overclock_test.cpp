// The overclock with no window at all, over the simulated driver: the kept
// overclock applied at start within the limits the driver reports then, to its
// card or not at all, with what kept it back said in the overclock's line; an
// overclock the driver refuses is not kept; "Sync all GPUs" governs every
// write as it is stored at that moment; and the selected card is followed.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "overclock/COverclock.h"
#include "overclock/COverclockAtStart.h"
#include "profile/IniFile.h"
#include "overclock_writes.h"
#include "sim_driver.h"
#include "test_files.h"

namespace {

const char kOneCard[] = "[Simulator]\nGpuCount=1\n";
// The second card another model: its identifiers differ from the first's.
const char kTwoCards[] = "[Simulator]\nGpuCount=2\n[Gpu1]\nDeviceId=0x1C0310DE\nExtDeviceId=0x1C03\n";

// The overclock's writes the driver took.
std::vector<DriverWrite> TakenWrites() { return OverclockWrites(true); }

DriverWrite Offsets(int gpu, int gfxKhz, int memKhz)
{
    return {gpu, NvId::SetPstates20, {0, kNvClockGraphics, gfxKhz, kNvClockMemory, memKhz}};
}
DriverWrite Power(int gpu, int target) { return {gpu, NvId::SetPowerPolicyStatus, {0, 0, target}}; }
DriverWrite FrameRate(int fps)
{
    return {-1, NvId::DrsSetSetting,
            {static_cast<int>(kNvDrsFrameRateLimiter), kNvDrsTypeDword, static_cast<int>(0xF0000000u + fps)}};
}

std::string TempPath(const char* name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int WindowsOfThisThread()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

class OverclockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(SimDriver::Get().load, nullptr) << "simulated driver missing";
        DeleteFileA(m_profile.c_str());
        m_ini.SetPath(Widen(m_profile));
    }
    void TearDown() override
    {
        m_atStart.reset();
        m_overclock.reset();
        m_gpu.reset();
        SetFileAttributesA(m_profile.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(m_profile.c_str());
        EXPECT_EQ(WindowsOfThisThread(), 0) << "the overclock needs no window";
    }
    // The machine starts: the driver with this scenario, the program afresh.
    void Start(const char* scenario)
    {
        m_atStart.reset();
        m_overclock.reset();
        m_gpu.reset();
        ASSERT_TRUE(SimDriver::UseScenario(scenario));
        m_gpu = std::make_unique<CGpuControl>();
        ASSERT_EQ(m_gpu->Initialize(), 0);
        m_overclock = std::make_unique<COverclock>(*m_gpu, m_ini);
        m_atStart = std::make_unique<COverclockAtStart>();
        SimDriver::Get().clearLog();
    }
    void Switches(int overClock, int synchronization)
    {
        WritePrivateProfileStringA("System", "OverClock", overClock ? "1" : "0", m_profile.c_str());
        WritePrivateProfileStringA("System", "Synchronization", synchronization ? "1" : "0", m_profile.c_str());
    }
    void Keep(const std::vector<std::pair<const char*, std::string>>& keys)
    {
        for (const auto& [key, value] : keys)
            WritePrivateProfileStringA("Overclock", key, value.c_str(), m_profile.c_str());
    }
    std::string Stored(const char* key) const
    {
        char value[64] = {};
        GetPrivateProfileStringA("Overclock", key, "", value, sizeof value, m_profile.c_str());
        return value;
    }
    // The card at this place as the profile keeps it.
    std::string CardIds(int place) const
    {
        uint16_t ids[4] = {};
        EXPECT_EQ(m_gpu->GetPCIIdentifiers(ids[0], ids[1], ids[2], ids[3], place), 1);
        char text[24];
        std::snprintf(text, sizeof text, "%04X:%04X:%04X:%04X", ids[0], ids[1], ids[2], ids[3]);
        return text;
    }

    std::string m_profile = TempPath("qsurge_overclock_test.ini");
    CIniFile m_ini;
    std::unique_ptr<CGpuControl> m_gpu;
    std::unique_ptr<COverclock> m_overclock;
    std::unique_ptr<COverclockAtStart> m_atStart;
};

}  // namespace

TEST_F(OverclockTest, TheKeptOverclockGoesOutAtStartWithinTodaysLimitsToItsCardOrNotAtAll)
{
    // Kept from a card that allowed more: power 130 %, frame rate 90, graphics
    // +1500 MHz, memory -1200 MHz. Today's limits: power 50..114 %, graphics
    // -1000..1000 MHz, memory -1000..1500 MHz.
    enum class Card { Every, First, Second, Absent, NotSaid };
    struct Case {
        const char* name;
        std::string scenario;
        Card card;
        unsigned fault;  // an interface the driver refuses, 0 none
        std::vector<DriverWrite> writes;
        const char* line;   // the overclock's line afterwards
        const char* guard;  // the start mark afterwards
        int frameShown;
    };
    const std::string withCard = std::string(kOneCard) + "[Gpu]\n";
    const Case cases[] = {
        {"beyond today's limits: brought within them", kOneCard, Card::Every, 0,
         {Offsets(0, 1000000, -1000000), Power(0, 114000), FrameRate(90)}, "", "running", 90},
        {"the graphics offset no longer editable: left out", withCard + "GfxEditable=0\n", Card::Every, 0,
         {Offsets(0, 0, -1000000), Power(0, 114000), FrameRate(90)}, "", "running", 90},
        {"no power target to set: left out", withCard + "PowerMin=0\nPowerDefault=0\n", Card::Every, 0,
         {Offsets(0, 1000000, -1000000), FrameRate(90)}, "", "running", 90},
        {"every card", kTwoCards, Card::Every, 0,
         {Offsets(0, 1000000, -1000000), Power(0, 114000), Offsets(1, 1000000, -1000000), Power(1, 114000),
          FrameRate(90)},
         "", "running", 90},
        {"its card, the second", kTwoCards, Card::Second, 0,
         {Offsets(1, 1000000, -1000000), Power(1, 114000), FrameRate(90)}, "", "running", 90},
        {"its card, the only one, not said by an older profile", kOneCard, Card::NotSaid, 0,
         {Offsets(0, 1000000, -1000000), Power(0, 114000), FrameRate(90)}, "", "running", 90},
        {"its card no longer in the computer", kTwoCards, Card::Absent, 0, {}, COverclockAtStart::kNoCard, "", 40},
        {"its card not said, two cards", kTwoCards, Card::NotSaid, 0, {}, COverclockAtStart::kNoCard, "", 40},
        {"the limits not reported", kOneCard, Card::Every, NvId::GetPstates20, {}, COverclockAtStart::kNoLimits, "",
         40},
        {"the power target refused", kOneCard, Card::Every, NvId::SetPowerPolicyStatus,
         {Offsets(0, 1000000, -1000000), FrameRate(90)}, COverclockAtStart::kRefused, "", 90},
        {"the frame-rate target refused", kOneCard, Card::Every, NvId::DrsSetSetting,
         {Offsets(0, 1000000, -1000000), Power(0, 114000)}, COverclockAtStart::kRefused, "", 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(m_profile.c_str());
        Switches(1, 0);
        Start(c.scenario.c_str());
        Keep({{"PowerTarget", "130"}, {"FrameTarget", "90"}, {"GpuOffset", "1500"}, {"MemOffset", "-1200"},
              {"AllGpus", c.card == Card::Every ? "1" : "0"}});
        if (c.card == Card::First || c.card == Card::Second) {
            const int place = c.card == Card::Second ? 1 : 0;
            Keep({{"Card", std::to_string(place)}, {"CardIds", CardIds(place)}});
        } else if (c.card == Card::Absent) {
            Keep({{"Card", "1"}, {"CardIds", "10DE:FFFF:0000:0000"}});
        }
        if (c.fault) SimDriver::Get().setFault(c.fault, -1);
        EXPECT_FALSE(m_atStart->Run(m_ini, *m_overclock));
        EXPECT_EQ(TakenWrites(), c.writes);
        EXPECT_EQ(m_overclock->Note(), c.line);
        EXPECT_EQ(Stored("StartGuard"), c.guard) << "marked only for an overclock that reached the card";
        EXPECT_EQ(m_overclock->Value(COverclock::kFrame).value, c.frameShown) << "what the driver holds";
        EXPECT_EQ(Stored("GpuOffset"), "1500") << "the kept overclock stays as the user made it";
        SimDriver::Get().setFault(c.fault, 0);
    }
}

TEST_F(OverclockTest, AnOverclockTheDriverRefusesIsNotKept)
{
    struct Case {
        const char* name;
        unsigned fault;
        bool preset;  // else "Apply"
    };
    const Case cases[] = {
        {"Apply, offsets refused", NvId::SetPstates20, false},
        {"Apply, power target refused", NvId::SetPowerPolicyStatus, false},
        {"Apply, frame-rate target refused", NvId::DrsSetSetting, false},
        {"preset, offsets refused", NvId::SetPstates20, true},
        {"preset, power target refused", NvId::SetPowerPolicyStatus, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(m_profile.c_str());
        Switches(0, 1);
        Start(kOneCard);
        m_overclock->ReadAll();
        m_overclock->SetValue(COverclock::kGpuOffset, 20);
        ASSERT_TRUE(m_overclock->Apply());
        const std::string kept = ReadWholeFile(m_profile);
        ASSERT_NE(kept.find("GpuOffset=20"), std::string::npos) << kept;

        SimDriver::Get().setFault(c.fault, -1);
        m_overclock->SetValue(COverclock::kGpuOffset, 40);
        m_overclock->SetValue(COverclock::kFrame, 70);
        EXPECT_FALSE(c.preset ? m_overclock->ApplyPreset(2) : m_overclock->Apply());
        EXPECT_EQ(ReadWholeFile(m_profile), kept);
        SimDriver::Get().setFault(c.fault, 0);
    }
}

TEST_F(OverclockTest, TheSyncSwitchGovernsEveryWriteAsItIsStoredThen)
{
    Switches(0, 0);
    Start(kTwoCards);
    m_overclock->ReadAll();
    m_overclock->SetValue(COverclock::kGpuOffset, 120);
    ASSERT_TRUE(m_overclock->Apply());
    EXPECT_EQ(TakenWrites(), (std::vector<DriverWrite>{Offsets(0, 120000, 0), Power(0, 100000), FrameRate(40)}));
    EXPECT_EQ(Stored("AllGpus"), "0");
    EXPECT_EQ(Stored("Card"), "0");
    EXPECT_EQ(Stored("CardIds"), CardIds(0));

    // "Sync all GPUs" turned on and applied in the settings while this runs.
    Switches(0, 1);
    SimDriver::Get().clearLog();
    ASSERT_TRUE(m_overclock->Apply());
    EXPECT_EQ(TakenWrites(), (std::vector<DriverWrite>{Offsets(0, 120000, 0), Power(0, 100000), Offsets(1, 120000, 0),
                                                        Power(1, 100000)}));
    EXPECT_EQ(Stored("AllGpus"), "1");
    EXPECT_EQ(Stored("Card"), "") << "every card: no card of its own";
    SimDriver::Get().clearLog();
    ASSERT_TRUE(m_overclock->ApplyPreset(1));
    EXPECT_EQ(TakenWrites(), (std::vector<DriverWrite>{Offsets(0, 30000, 50000), Power(0, 110000),
                                                        Offsets(1, 30000, 50000), Power(1, 110000)}));
    Switches(0, 0);
    SimDriver::Get().clearLog();
    EXPECT_TRUE(m_overclock->Reset());
    EXPECT_EQ(TakenWrites(), (std::vector<DriverWrite>{Offsets(0, 0, 0), Power(0, 100000)}));
}

TEST_F(OverclockTest, TheSelectedCardIsReadWhenChosenAndTakesTheWritesAndTheKeptCard)
{
    Switches(0, 0);
    const std::string scenario = std::string(kTwoCards) + "PowerDefault=90000\nGfxOffsetMax=400000\n";
    Start(scenario.c_str());
    m_overclock->ReadAll();
    EXPECT_EQ(m_overclock->PowerDefault(), 100);
    ASSERT_TRUE(m_gpu->SelectGpu(1));
    EXPECT_EQ(m_overclock->PowerDefault(), 90) << "read when chosen";
    EXPECT_EQ(m_overclock->Value(COverclock::kGpuOffset).maximum, 400);
    EXPECT_FALSE(m_gpu->SelectGpu(2)) << "no such card";
    SimDriver::Get().clearLog();
    ASSERT_TRUE(m_overclock->ApplyPreset(3));
    EXPECT_EQ(TakenWrites(), (std::vector<DriverWrite>{Offsets(1, 80000, 100000), Power(1, 100000)}));
    EXPECT_EQ(Stored("Card"), "1");
    EXPECT_EQ(Stored("CardIds"), CardIds(1));
    EXPECT_NE(CardIds(1), CardIds(0));
}
