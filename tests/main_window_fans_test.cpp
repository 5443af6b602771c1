// The main window over the fans of newer cards: two client fans, whose first
// the readout shows and both of which the curve drives in one write, and a
// laptop's card whose fans the system controls.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <thread>
#include <string>
#include <vector>

#include "app/CCommandLine.h"
#include "fan/CFanControl.h"
#include "main_window_fixture.h"
#include "panels/CDlgFanCurve.h"
#include "program_process.h"

using namespace mwtest;

namespace {

const char* const kTwoFans =
    "[Simulator]\nGpuCount=1\n"
    "[Gpu]\nDeviceId=0x2684\nExtDeviceId=0x2684\nFanInterface=client\nCoolers=2\nCoolerMin=30\nTemperature=50\n"
    "Load=0\nLoadAmplitude=0\n";
const char* const kNoFanControl =
    "[Simulator]\nGpuCount=1\n"
    "[Gpu]\nDeviceId=0x2684\nExtDeviceId=0x2684\nFanInterface=none\nTemperature=50\nLoad=0\nLoadAmplitude=0\n";

class FanWindow : public TestableQuiloDlg {
public:
    using CQuiloDlg::m_fanCurvePanel;
    using CQuiloDlg::m_fanModeButton;
};

class MainWindowFansTest : public MainWindowTest {
protected:
    FanWindow& OpenOver(const char* scenario, const char* storedFanMode)
    {
        EXPECT_TRUE(SimDriver::UseScenario(scenario));
        const std::string profile = Profile("Quilo_ID2684.ini");
        WritePrivateProfileStringA("System", "Initialized", "1", profile.c_str());
        WritePrivateProfileStringA("FanCurve", "Auto", storedFanMode, profile.c_str());
        auto dlg = std::make_unique<FanWindow>();
        FanWindow& window = *dlg;
        EXPECT_TRUE(window.Create(IDD_MAIN));
        window.PaintPending();
        m_dlg = std::move(dlg);
        SimDriver::Get().clearLog();
        return window;
    }
    static std::vector<std::vector<int>> ClientWrites()
    {
        std::vector<std::vector<int>> writes;
        for (const NvSimCall& call : SimDriver::Calls(NvId::ClientFanCoolersSetControl))
            writes.push_back(std::vector<int>(call.values, call.values + call.count));
        return writes;
    }
    // The tip the system shows for the control, from the tip window its top-level window owns.
    static std::wstring TipOf(HWND control)
    {
        const HWND owner = ::GetAncestor(control, GA_ROOT);
        for (HWND tip = ::FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); tip;
             tip = ::FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) {
            if (::GetWindow(tip, GW_OWNER) != owner && ::GetParent(tip) != control) continue;
            wchar_t text[128] = {};
            TOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.hwnd = control;
            tool.uId = reinterpret_cast<UINT_PTR>(control);
            tool.lpszText = text;
            ::SendMessageW(tip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
            if (text[0]) return text;
        }
        return {};
    }
};

TEST_F(MainWindowFansTest, ATwoFanCardShowsItsFirstFanAndTheCurveDrivesBothInOneWrite)
{
    FanWindow& dlg = OpenOver(kTwoFans, "1");
    SimDriver::Get().setFanLevel(0, 0, 55);
    SimDriver::Get().setFanLevel(0, 1, 57);
    dlg.Tick();
    EXPECT_EQ(dlg.Text(IDC_FAN_READOUT), "55");
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    dlg.Tick();
    dlg.Tick();
    EXPECT_EQ(ClientWrites(), (std::vector<std::vector<int>>{{2, 1, 60, 1, 2, 60, 1}}));
    EXPECT_EQ(dlg.Text(IDC_FAN_READOUT), "60");
    EXPECT_TRUE(SimDriver::Calls(NvId::SetCoolerLevels).empty()) << "no older-interface write on this card";
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
    EXPECT_EQ(ClientWrites().back(), (std::vector<int>{2, 1, 60, 0, 2, 60, 0})) << "both back in one write";
}

// No fan write of any kind, no guard, a dash, a switch that stays on and says
// why, a curve kept but not taken, and the stored mode left as it was.
TEST_F(MainWindowFansTest, ACardWithoutFanControlShowsADashAndTheSwitchStaysOn)
{
    const size_t guards = ProcessesNamed(CFanGuard::kGuardImage).size();
    FanWindow& dlg = OpenOver(kNoFanControl, "0");
    dlg.Tick();
    EXPECT_EQ(dlg.Text(IDC_FAN_READOUT), "-");
    EXPECT_EQ(dlg.FanAuto(), 1);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    dlg.Tick();
    EXPECT_EQ(dlg.FanAuto(), 1) << "the switch cannot be turned off";
    AccessibleFacts facts;
    dlg.m_fanModeButton.Describe(facts);
    EXPECT_NE(facts.states & STATE_SYSTEM_CHECKED, 0);
    EXPECT_EQ(facts.description, CFanControl::kNoFanControl);
    EXPECT_EQ(TipOf(dlg.m_fanModeButton.m_hWnd), L"This card's fans are controlled by the system");

    CCommandLine curve;
    ASSERT_TRUE(curve.Parse(L"qsurge.exe --fan curve"));
    std::string answer;
    EXPECT_EQ(curve.Run(dlg, answer), kExitRefused);
    EXPECT_EQ(answer, std::string(CFanControl::kNoFanControl) + ".\r\n");

    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FANCURVE, BN_CLICKED), 0);
    ASSERT_NE(dlg.m_fanCurvePanel.m_hWnd, nullptr);
    dlg.m_fanCurvePanel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, CDlgFanCurve::kCannotTake);
    EXPECT_EQ(g_boxes[0].caption, "Info");

    dlg.Tick();
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
    EXPECT_TRUE(SimDriver::Calls(NvId::SetCoolerLevels).empty());
    EXPECT_TRUE(SimDriver::Calls(NvId::ClientFanCoolersSetControl).empty());
    EXPECT_EQ(ProcessesNamed(CFanGuard::kGuardImage).size(), guards) << "no guard started";
    char mode[8] = {};
    GetPrivateProfileStringA("FanCurve", "Auto", "", mode, sizeof mode, Profile("Quilo_ID2684.ini").c_str());
    EXPECT_STREQ(mode, "0") << "the stored mode is left as it was";
}

// A guard that starts but never answers: the window answers messages
// throughout, the command that asked for the curve answers 1, and the
// stand-in is not left running.
TEST_F(MainWindowFansTest, AGuardThatNeverAnswersLeavesTheWindowAnsweringAndTheCommandRefused)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring standIn = self;
    standIn = standIn.substr(0, standIn.rfind(L'\\') + 1) + L"silent_guard.exe";
    CFanGuard::SetGuardProgram(standIn);
    FanWindow& dlg = OpenOver(kScenario, "1");
    SimDriver::Get().setTemperature(0, 50);
    dlg.Tick();

    std::atomic<bool> done{false};
    std::atomic<ULONGLONG> slowest{0};
    std::atomic<int> probes{0};
    std::atomic<bool> finished{false};
    const HWND window = dlg.m_hWnd;
    std::thread prober([&] {
        while (!done) {
            const ULONGLONG sent = GetTickCount64();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            slowest = std::max<ULONGLONG>(slowest, GetTickCount64() - sent);
            ++probes;
            Sleep(50);
        }
        finished = true;
    });
    CCommandLine curve;
    ASSERT_TRUE(curve.Parse(L"qsurge.exe --fan curve"));
    std::string answer;
    const ULONGLONG start = GetTickCount64();
    const int code = curve.Run(dlg, answer);
    const ULONGLONG took = GetTickCount64() - start;
    done = true;
    // A probe on its way is answered while the prober ends.
    for (MSG msg; !finished; Sleep(1)) PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    prober.join();

    EXPECT_EQ(code, kExitRefused);
    EXPECT_NE(answer.find("fan guard"), std::string::npos) << answer;
    EXPECT_GE(took, CFanGuard::kReadyLimitMs - 100) << "the guard was given its time";
    EXPECT_GT(probes, 50);
    EXPECT_LT(slowest, 200u) << "the window answered throughout";
    EXPECT_EQ(dlg.FanAuto(), 1);
    EXPECT_TRUE(CoolerWrites().empty()) << "no level without a guard";
    EXPECT_TRUE(WaitFor([] { return ProcessesNamed(L"silent_guard.exe").empty(); }, 5)) << "the stand-in was ended";
}

}  // namespace
