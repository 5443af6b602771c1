// The main window of a copy that another user's copy keeps from the cards,
// and of a copy that waits for the driver at logon: what it says, what it
// answers, and that it writes nothing to the cards until it may.
#include <string>
#include <vector>

#include "app/CCardOwnership.h"
#include "card_holder.h"
#include "main_window_fixture.h"
#include "overclock/StoredOverclock.h"

using namespace mwtest;

namespace {

struct Balloon {
    std::wstring title, text;
};
std::vector<Balloon> g_balloons;
int g_iconsShown = 0;  // added and not removed
BOOL RecordBalloon(DWORD message, NOTIFYICONDATAW* data)
{
    if (data->uFlags & NIF_INFO) g_balloons.push_back({data->szInfoTitle, data->szInfo});
    g_iconsShown += message == NIM_ADD ? 1 : message == NIM_DELETE ? -1 : 0;
    return TRUE;
}

// Every write to a card or to the driver's settings since the log was cleared.
std::vector<unsigned> Writes()
{
    std::vector<unsigned> writes;
    for (const NvSimCall& call : SimDriver::Calls())
        if (call.interfaceId == NvId::SetPstates20 || call.interfaceId == NvId::SetPowerPolicyStatus ||
            call.interfaceId == NvId::SetCoolerLevels || call.interfaceId == NvId::ClientFanCoolersSetControl ||
            call.interfaceId == NvId::DrsSetSetting)
            writes.push_back(call.interfaceId);
    return writes;
}

// The window, with what its writing keys tell assistive technology.
class CardsDlg : public TestableQuiloDlg {
public:
    std::vector<std::string> WriteKeyDescriptions() const
    {
        std::vector<std::string> descriptions;
        for (const CBitButtonNL* key : {&m_applyButton, &m_resetButton, &m_fanModeButton, &m_turboButton}) {
            AccessibleFacts facts;
            static_cast<const AccessibleControl&>(*key).Describe(facts);
            descriptions.push_back(facts.description);
        }
        return descriptions;
    }
};

class MainWindowCardsTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        g_balloons.clear();
        g_iconsShown = 0;
        CTrayIcon::SetNotifyHook(&RecordBalloon);
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        CTrayIcon::SetNotifyHook(nullptr);
    }
    std::string FanMode() const
    {
        char mode[8] = {};
        GetPrivateProfileStringA("FanCurve", "Auto", "", mode, sizeof mode, Profile("Quilo_ID2684.ini").c_str());
        return mode;
    }
    bool SaidLast(const char* words) const
    {
        return !g_balloons.empty() && g_balloons.back().title == L"Q-Surge: cards" &&
               g_balloons.back().text.find(std::wstring(words, words + strlen(words))) != std::wstring::npos;
    }
};

}  // namespace

// Held by another copy, the cards get nothing from this one: not the stored
// overclock at start, not the curve's fan level, not the keys' writes; the
// window says so in a balloon and on the keys that write. Once the holder
// lets go (or dies, leaving its mutex abandoned) the next refresh takes the
// cards: the curve drives the fan and the stored overclock goes out.
TEST_F(MainWindowCardsTest, WithoutTheCardsItSaysSoAndWritesNothingUntilItTakesThem)
{
    for (const bool release : {true, false}) {
        SCOPED_TRACE(release ? "the holder lets go" : "the holder dies");
        DeleteProfiles();
        const std::string profile = Profile("Quilo_ID2684.ini");
        WritePrivateProfileStringA("System", "Initialized", "1", profile.c_str());
        WritePrivateProfileStringA("System", "OverClock", "1", profile.c_str());
        WritePrivateProfileStringA("FanCurve", "Auto", "0", profile.c_str());
        CIniFile ini;
        ini.SetPath(std::wstring(profile.begin(), profile.end()));
        OverclockSettings stored;
        stored.gpuOffset = 50;
        stored.memOffset = 100;
        ASSERT_EQ(StoreOverclock(ini, stored), 1);
        g_balloons.clear();

        CardHolder holder;
        ASSERT_TRUE(holder.Holds());
        CCardOwnership cards;
        ASSERT_FALSE(cards.Held());
        SimDriver::Get().clearLog();
        auto owned = std::make_unique<CardsDlg>();
        CardsDlg& dlg = *owned;
        m_dlg = std::move(owned);
        dlg.SetCardOwnership(cards);
        ASSERT_TRUE(dlg.Create(IDD_MAIN));
        dlg.SendMessage(WM_TIMER, 1);  // the start, once the window is up
        SimDriver::Get().setTemperature(0, 70);
        for (int i = 0; i < 5; ++i) dlg.Tick();
        EXPECT_TRUE(SaidLast("Another user's copy of Q-Surge controls the cards"));
        const size_t told = g_balloons.size();
        for (const int key : {IDC_FAN_MODE, IDC_APPLY, IDC_RESET}) {
            dlg.SendMessage(WM_COMMAND, MAKEWPARAM(key, BN_CLICKED), 0);
            EXPECT_TRUE(SaidLast("Another user's copy of Q-Surge controls the cards")) << key;
        }
        EXPECT_EQ(g_balloons.size(), told + 3);
        EXPECT_EQ(dlg.WriteKeyDescriptions(), std::vector<std::string>(4, CCardOwnership::kHeldElsewhere));
        std::string why;
        EXPECT_FALSE(dlg.MayWriteCards(why));
        EXPECT_EQ(why, CCardOwnership::kHeldElsewhere);
        EXPECT_TRUE(Writes().empty());
        EXPECT_EQ(FanMode(), "0") << "the switch as it was";
        EXPECT_EQ(dlg.FanAuto(), 0) << "still on the curve, for when the cards come";

        holder.End(release);
        dlg.Tick();
        EXPECT_TRUE(cards.Held());
        EXPECT_TRUE(SaidLast("controls the cards now"));
        EXPECT_EQ(dlg.WriteKeyDescriptions(), std::vector<std::string>(4, ""));
        EXPECT_TRUE(dlg.MayWriteCards(why));
        const std::vector<NvSimCall> offsets = SimDriver::Calls(NvId::SetPstates20);
        ASSERT_EQ(offsets.size(), 1u) << "the stored overclock";
        EXPECT_EQ(std::vector<int>(offsets[0].values, offsets[0].values + offsets[0].count),
                  (std::vector<int>{0, 0, 50000, 4, 100000}));
        ASSERT_FALSE(CoolerWrites().empty());
        const std::pair<int, int> level = CoolerWrites().back();
        EXPECT_EQ(level.second, static_cast<int>(kNvCoolerPolicyManual)) << "the curve's level";
        // A dead holder's fan guard may hand its fans back meanwhile: three
        // seconds on, the level goes out once more, and then no more.
        const size_t written = CoolerWrites().size();
        for (int i = 0; i < 28; ++i) dlg.Tick();
        EXPECT_EQ(CoolerWrites().size(), written);
        for (int i = 0; i < 4; ++i) dlg.Tick();
        ASSERT_EQ(CoolerWrites().size(), written + 1);
        EXPECT_EQ(CoolerWrites().back(), level);
        for (int i = 0; i < 30; ++i) dlg.Tick();
        EXPECT_EQ(CoolerWrites().size(), written + 1);
        m_dlg.reset();
    }
}

// A start with Windows that waits for the driver takes commands at once: the
// window asked for comes, or stays hidden, once the wait is over; what needs
// the driver is refused with a sentence that says why.
TEST_F(MainWindowCardsTest, WaitingForTheDriverTheWindowAskedForComesAfterTheWait)
{
    CCommandLine logon;
    ASSERT_TRUE(logon.Parse(L"qsurge.exe --logon"));
    CSingleInstance instance;
    for (const bool show : {true, false}) {
        SCOPED_TRACE(show ? "shown" : "hidden");
        DeleteProfiles();
        g_iconsShown = 0;
        SimDriver::Get().setFault(NvId::Initialize, -1);
        m_dlg = std::make_unique<TestableQuiloDlg>();
        TestableQuiloDlg& dlg = *m_dlg;
        dlg.SetStart(logon, instance);
        ASSERT_TRUE(dlg.Create(IDD_MAIN));
        EXPECT_TRUE(dlg.StartedUp()) << "commands are taken while it waits";
        std::string text;
        if (show)
            dlg.ShowMainWindow(text);
        else
            dlg.HideMainWindow(text);
        EXPECT_EQ(text.find("its window comes once the driver is there") != std::string::npos, show) << text;
        EXPECT_FALSE(dlg.IsWindowVisible());
        std::string why, status;
        EXPECT_FALSE(dlg.MayWriteCards(why));
        EXPECT_EQ(why, "Q-Surge is waiting for the display driver");
        EXPECT_EQ(dlg.WriteStatus(status), 1);
        EXPECT_EQ(status, "Q-Surge is waiting for the display driver.\r\n");

        SimDriver::Get().setFault(NvId::Initialize, 0);
        dlg.SendMessage(WM_TIMER, 5);
        EXPECT_EQ(dlg.IsWindowVisible() != FALSE, show);
        EXPECT_EQ(g_iconsShown, show ? 0 : 1) << "in the notification area when hidden";
        EXPECT_TRUE(dlg.MayWriteCards(why));
        EXPECT_TRUE(g_boxes.empty());
        m_dlg.reset();
    }
}
