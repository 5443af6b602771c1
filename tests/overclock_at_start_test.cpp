// The overclock kept for the next start: with the "OC" switch on it is applied
// again once the main window is up, as the overclock panel's "Apply" applied
// it; a start that did not run for three minutes holds it back at the next
// start, until the user applies one by hand; stored values that make no sense
// are never applied. Restarts here are of the machine and the program: the
// card back at its defaults, the main window opened afresh on the same profile.
#include <string>
#include <vector>

#include "main_window_fixture.h"
#include "note_closer.h"
#include "overclock/COverclockAtStart.h"
#include "overclock_writes.h"
#include "test_files.h"

using namespace mwtest;

namespace {

// Offsets, power targets and the frame-rate target, in the order written.
std::vector<DriverWrite> DriverWrites() { return OverclockWrites(false); }

std::vector<int> GpusOf(const std::vector<DriverWrite>& writes, unsigned interfaceId)
{
    std::vector<int> gpus;
    for (const DriverWrite& w : writes)
        if (w.interfaceId == interfaceId) gpus.push_back(w.gpu);
    return gpus;
}

ULONGLONG g_now = 0;
ULONGLONG TestClock() { return g_now; }
constexpr ULONGLONG kThreeMinutes = COverclockAtStart::kConfirmAfterMs;

struct Balloon {
    std::wstring title, text;
};
std::vector<Balloon> g_balloons;

BOOL RecordNotification(DWORD message, NOTIFYICONDATAW* data)
{
    if (message == NIM_MODIFY && (data->uFlags & NIF_INFO)) g_balloons.push_back({data->szInfoTitle, data->szInfo});
    return TRUE;
}

std::string Text(HWND window, int id)
{
    char text[256] = {};
    ::GetWindowTextA(::GetDlgItem(window, id), text, sizeof text);
    return text;
}

class OverclockAtStartTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        g_balloons.clear();
        g_now = 5000000;
        CTrayIcon::SetNotifyHook(&RecordNotification);
        COverclockAtStart::SetClock(&TestClock);
        m_file = Profile("Quilo_ID2684.ini");
        Switches(1, 1);
    }
    void TearDown() override
    {
        StopClosingNotes();
        if (!m_file.empty()) SetFileAttributesA(m_file.c_str(), FILE_ATTRIBUTE_NORMAL);
        MainWindowTest::TearDown();
        CTrayIcon::SetNotifyHook(nullptr);
        COverclockAtStart::SetClock(nullptr);
    }
    // A profile past its first start with the "OC" and "All" switches.
    void Switches(int overClock, int synchronization)
    {
        WritePrivateProfileStringA("System", "Initialized", "1", m_file.c_str());
        WritePrivateProfileStringA("System", "OverClock", overClock ? "1" : "0", m_file.c_str());
        WritePrivateProfileStringA("System", "Synchronization", synchronization ? "1" : "0", m_file.c_str());
    }
    // No program running, and a profile with nothing but the switches, "OC" on.
    void Afresh(int synchronization)
    {
        m_dlg.reset();
        SetFileAttributesA(m_file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteProfiles();
        Switches(1, synchronization);
    }
    std::string Stored(const char* key) const
    {
        char value[64] = {};
        GetPrivateProfileStringA("Overclock", key, "", value, sizeof value, m_file.c_str());
        return value;
    }
    // The machine and the program start; the main window is up and its first
    // timer has run. The log holds what the start wrote.
    TestableQuiloDlg& Start(const char* scenario = kScenario)
    {
        m_dlg.reset();
        EXPECT_TRUE(SimDriver::UseScenario(scenario));
        TestableQuiloDlg& dlg = Open();
        // A warning note would hold the start in its loop; this one closes it.
        CloseNoteWhenShown();
        dlg.SendMessage(WM_TIMER, 1);
        EXPECT_FALSE(LastNote().shown) << "no warning at start";
        StopClosingNotes();
        return dlg;
    }
    // The overclock panel, opened as "Turbo" opens it.
    static HWND OpenPanel(TestableQuiloDlg& dlg)
    {
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TURBO, BN_CLICKED), 0);
        return dlg.TurboPanel();
    }
    // In the overclock panel, from the card's defaults: power 105 %, frame rate
    // 60, graphics +120 MHz, memory -300 MHz, then "Apply" past its warning.
    static std::vector<DriverWrite> ApplyByHand(TestableQuiloDlg& dlg)
    {
        HWND panel = OpenPanel(dlg);
        const auto keys = [panel](int slider, WPARAM key, int times) {
            for (int i = 0; i < times; ++i) ::SendMessageA(::GetDlgItem(panel, slider), WM_KEYDOWN, key, 0);
        };
        keys(IDC_POWER_SLIDER, VK_RIGHT, 5);
        keys(IDC_FRAME_SLIDER, VK_NEXT, 1);
        keys(IDC_GPU_OFFSET_SLIDER, VK_NEXT, 6);
        keys(IDC_MEM_OFFSET_SLIDER, VK_PRIOR, 15);
        SimDriver::Get().clearLog();
        CloseNoteWhenShown();
        ::SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(panel, IDC_APPLY)));
        EXPECT_TRUE(LastNote().shown);
        EXPECT_EQ(Text(panel, IDC_GPU_OFFSET_READOUT), "120");
        return DriverWrites();
    }
    static std::string PanelLine(TestableQuiloDlg& dlg) { return Text(OpenPanel(dlg), IDC_OVERCLOCK_NOTE); }
    // The close key, then the end of the window as the end of its modal run brings it.
    static void EndCleanly(TestableQuiloDlg& dlg)
    {
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
        ::DestroyWindow(dlg.m_hWnd);
    }

    std::string m_file;
};

const char kHint[] = "Values go to the GPU when you press Apply.";

}  // namespace

TEST_F(OverclockAtStartTest, WhatApplyWroteIsWrittenAgainAtTheNextStartToTheSameGpusInTheSameOrder)
{
    struct Case {
        const char* name;
        const char* scenario;
        int synchronization;
        std::vector<int> gpus;  // written to, in turn
    };
    const Case cases[] = {
        {"one card", kScenario, 1, {0}},
        {"two cards, synchronised", kTwoCardsScenario, 1, {0, 1}},
        {"two cards, the selected one", kTwoCardsScenario, 0, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Afresh(c.synchronization);
        TestableQuiloDlg* dlg = &Start(c.scenario);
        EXPECT_TRUE(DriverWrites().empty()) << "nothing stored yet";
        const std::vector<DriverWrite> applied = ApplyByHand(*dlg);
        ASSERT_EQ(GpusOf(applied, NvId::SetPstates20), c.gpus);
        ASSERT_EQ(GpusOf(applied, NvId::SetPowerPolicyStatus), c.gpus);
        ASSERT_EQ(GpusOf(applied, NvId::DrsSetSetting).size(), 1u) << "the frame-rate target, once";
        EXPECT_EQ(Stored("PowerTarget"), "105");
        EXPECT_EQ(Stored("FrameTarget"), "60");
        EXPECT_EQ(Stored("GpuOffset"), "120");
        EXPECT_EQ(Stored("MemOffset"), "-300");
        EXPECT_EQ(Stored("AllGpus"), c.synchronization ? "1" : "0");

        // The switch changed since: the overclock goes where it went.
        Switches(1, !c.synchronization);
        dlg = &Start(c.scenario);
        EXPECT_EQ(DriverWrites(), applied);
        EXPECT_EQ(Stored("StartGuard"), "running") << "marked before it went out";
        // Read back and shown, as after "Apply".
        const HWND panel = OpenPanel(*dlg);
        EXPECT_EQ(Text(panel, IDC_POWER_READOUT), "105");
        EXPECT_EQ(Text(panel, IDC_FRAME_READOUT), "60");
        EXPECT_EQ(Text(panel, IDC_GPU_OFFSET_READOUT), "120");
        EXPECT_EQ(Text(panel, IDC_MEM_OFFSET_READOUT), "-300");
        EXPECT_EQ(Text(panel, IDC_OVERCLOCK_NOTE), kHint);
        EXPECT_TRUE(g_balloons.empty());
    }
}

TEST_F(OverclockAtStartTest, NothingIsAppliedAtStartAfterResetOrWithTheSwitchOff)
{
    enum class Then { Reset, SwitchOff };
    for (Then then : {Then::Reset, Then::SwitchOff}) {
        SCOPED_TRACE(then == Then::Reset ? "Reset" : "switch off");
        Afresh(1);
        TestableQuiloDlg& dlg = Start();
        ASSERT_FALSE(ApplyByHand(dlg).empty());
        if (then == Then::Reset) {
            dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_RESET, BN_CLICKED), 0);
            for (const char* key : {"PowerTarget", "FrameTarget", "GpuOffset", "MemOffset", "AllGpus"})
                EXPECT_EQ(Stored(key), "") << key;
        } else {
            Switches(0, 1);
        }
        Start();
        EXPECT_TRUE(DriverWrites().empty());
        EXPECT_EQ(Stored("StartGuard"), "");
        if (then == Then::SwitchOff) {
            EXPECT_EQ(Stored("GpuOffset"), "120") << "kept for when it is on again";
        }
    }
}

TEST_F(OverclockAtStartTest, AStartThatDidNotRunThreeMinutesHoldsTheOverclockBackUntilItIsAppliedByHand)
{
    TestableQuiloDlg* dlg = &Start();
    ApplyByHand(*dlg);
    dlg = &Start();
    ASSERT_FALSE(DriverWrites().empty());
    g_now += kThreeMinutes - 1;
    dlg->CheckOverclockAtStart();
    EXPECT_EQ(Stored("StartGuard"), "running");
    // The profile as a crash within the three minutes leaves it.
    const std::string crashed = ReadWholeFile(m_file);
    // A clean end within them, the end of the session included, is no crash: the mark goes.
    dlg->SendMessage(WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(Stored("StartGuard"), "");
    EndCleanly(*dlg);
    m_dlg.reset();
    ASSERT_TRUE(WriteWholeFile(m_file, crashed));
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start);
        dlg = &Start();
        EXPECT_TRUE(DriverWrites().empty());
        EXPECT_EQ(PanelLine(*dlg), COverclockAtStart::kHeldBack);
        g_now += 2 * kThreeMinutes;
        dlg->CheckOverclockAtStart();
        EXPECT_EQ(Stored("StartGuard"), "tripped") << "held back, not armed again by running";
        EXPECT_EQ(Stored("GpuOffset"), "120");
    }
    ASSERT_EQ(g_balloons.size(), 1u) << "the user is told once";
    EXPECT_EQ(g_balloons[0].text, WideFromCp936(COverclockAtStart::kHeldBack));

    // Applied by hand, it is the one to apply at start again.
    const std::vector<DriverWrite> applied = ApplyByHand(*dlg);
    EXPECT_EQ(Stored("StartGuard"), "");
    EXPECT_EQ(Text(dlg->TurboPanel(), IDC_OVERCLOCK_NOTE), kHint);
    Start();
    EXPECT_EQ(DriverWrites(), applied);
    EXPECT_EQ(g_balloons.size(), 1u);
}

TEST_F(OverclockAtStartTest, AfterThreeMinutesOfRunningTheNextStartAppliesItAgain)
{
    enum class Seen { ByTheTimer, AtACleanExit };
    for (Seen seen : {Seen::ByTheTimer, Seen::AtACleanExit}) {
        SCOPED_TRACE(seen == Seen::ByTheTimer ? "timer" : "clean exit");
        Afresh(1);
        TestableQuiloDlg* dlg = &Start();
        const std::vector<DriverWrite> applied = ApplyByHand(*dlg);
        dlg = &Start();
        ASSERT_EQ(DriverWrites(), applied);
        g_now += kThreeMinutes;
        if (seen == Seen::ByTheTimer) {
            dlg->CheckOverclockAtStart();
            EXPECT_EQ(Stored("StartGuard"), "");
        } else {
            EXPECT_EQ(Stored("StartGuard"), "running");
            EndCleanly(*dlg);
            EXPECT_EQ(Stored("StartGuard"), "");
        }
        dlg = &Start();
        EXPECT_EQ(DriverWrites(), applied);
        EXPECT_TRUE(g_balloons.empty());
    }
}

TEST_F(OverclockAtStartTest, StoredValuesThatMakeNoSenseAreNeitherAppliedNorRewritten)
{
    struct Case {
        const char* name;
        const char* key;
        const char* value;  // instead of the stored one
        const char* line;   // the panel's; null: applied
        bool readOnly = false;
    };
    const Case cases[] = {
        {"as stored", "GpuOffset", "120", nullptr},
        {"a word", "PowerTarget", "high", COverclockAtStart::kNotValid},
        {"a number and a unit", "GpuOffset", "120MHz", COverclockAtStart::kNotValid},
        {"a fraction", "MemOffset", "-300.5", COverclockAtStart::kNotValid},
        {"hexadecimal", "GpuOffset", "0x78", COverclockAtStart::kNotValid},
        {"more digits than a number holds", "MemOffset", "99999999999999999999", COverclockAtStart::kNotValid},
        {"an offset beyond any card", "GpuOffset", "50000", COverclockAtStart::kNotValid},
        {"a power target beyond any card", "PowerTarget", "5000", COverclockAtStart::kNotValid},
        {"a negative power target", "PowerTarget", "-5", COverclockAtStart::kNotValid},
        {"a frame rate the panel never offers", "FrameTarget", "30", COverclockAtStart::kNotValid},
        {"every GPU neither yes nor no", "AllGpus", "2", COverclockAtStart::kNotValid},
        {"every GPU not said", "AllGpus", "", COverclockAtStart::kNotValid},
        {"a profile that cannot be marked", "GpuOffset", "120", COverclockAtStart::kNotMarked, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Afresh(1);
        const std::pair<const char*, const char*> stored[] = {
            {"PowerTarget", "105"}, {"FrameTarget", "60"}, {"GpuOffset", "120"}, {"MemOffset", "-300"}, {"AllGpus", "1"}};
        for (const auto& [key, value] : stored)
            WritePrivateProfileStringA("Overclock", key, std::string(key) == c.key ? c.value : value, m_file.c_str());
        if (c.readOnly) SetFileAttributesA(m_file.c_str(), FILE_ATTRIBUTE_READONLY);
        const std::string before = ReadWholeFile(m_file);

        TestableQuiloDlg& dlg = Start();
        if (!c.line) {
            EXPECT_EQ(DriverWrites().size(), 3u) << "offsets, power target, frame-rate target";
            continue;
        }
        EXPECT_TRUE(DriverWrites().empty());
        EXPECT_EQ(ReadWholeFile(m_file), before) << "nothing rewritten";
        EXPECT_TRUE(g_balloons.empty());
        EXPECT_EQ(PanelLine(dlg), c.line);
    }
}

TEST_F(OverclockAtStartTest, EachValueIsBroughtWithinTheLimitsTheDriverReportsNowOrLeftOut)
{
    // Stored from a card that allowed more: power 130 %, graphics +1500 MHz,
    // memory -1200 MHz, frame rate 90.
    struct Case {
        const char* name;
        const char* card;
        std::vector<DriverWrite> writes;
    };
    const DriverWrite frameRate{-1, NvId::DrsSetSetting, {static_cast<int>(kNvDrsFrameRateLimiter), kNvDrsTypeDword,
                                                          static_cast<int>(0xF000005A)}};
    const Case cases[] = {
        {"limits lower now", "",
         {{0, NvId::SetPstates20, {0, kNvClockGraphics, 1000000, kNvClockMemory, -1000000}},
          {0, NvId::SetPowerPolicyStatus, {0, 0, 114000}},
          frameRate}},
        {"graphics offset no longer editable", "GfxEditable=0\n",
         {{0, NvId::SetPstates20, {0, kNvClockGraphics, 0, kNvClockMemory, -1000000}},
          {0, NvId::SetPowerPolicyStatus, {0, 0, 114000}},
          frameRate}},
        {"no power target to set", "PowerMin=0\nPowerDefault=0\n",
         {{0, NvId::SetPstates20, {0, kNvClockGraphics, 1000000, kNvClockMemory, -1000000}}, frameRate}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Afresh(1);
        const std::pair<const char*, const char*> stored[] = {
            {"PowerTarget", "130"}, {"FrameTarget", "90"}, {"GpuOffset", "1500"}, {"MemOffset", "-1200"}, {"AllGpus", "1"}};
        for (const auto& [key, value] : stored) WritePrivateProfileStringA("Overclock", key, value, m_file.c_str());
        const std::string scenario = std::string(kScenario) + c.card;
        Start(scenario.c_str());
        EXPECT_EQ(DriverWrites(), c.writes);
        EXPECT_EQ(Stored("GpuOffset"), "1500") << "the stored overclock stays as the user made it";
    }
}
