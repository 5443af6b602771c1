// The main window over the simulated driver: start-up, readings, fan-curve
// following, the notification-area icon and handing the fan back at the end.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <objidl.h>
#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include <string>
#include <utility>
#include <vector>

#include "app/CQuiloDlg.h"
#include "framework/MessageBox.h"
#include "profile/AutoRun.h"
#include "res/resource.h"
#include "framework/Resources.h"
#include "sim_driver.h"
#include "window_pixels.h"

namespace {

// A card with known cooler limits and a frozen model.
const char* const kScenario =
    "[Simulator]\nGpuCount=1\n"
    "[Gpu]\nDeviceId=0x2684\nExtDeviceId=0x2684\nCoolerMin=35\nCoolerMax=90\nTemperature=45\n"
    "Load=0\nLoadAmplitude=0\n";

struct Box {
    std::string text, caption;
    UINT type;
};
std::vector<Box> g_boxes;

int RecordBox(HWND, const char* text, const char* caption, UINT type)
{
    g_boxes.push_back({text, caption, type});
    return IDOK;
}

std::string ExeDirectory()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s = path;
    return s.substr(0, s.rfind('\\'));
}

std::string ReadKey(const std::string& file, const char* key)
{
    char value[16] = {};
    GetPrivateProfileStringA("System", key, "<missing>", value, sizeof value, file.c_str());
    return value;
}

// The window, reachable by the test as the class sees itself.
class TestableQuiloDlg : public CQuiloDlg {
public:
    using CQuiloDlg::ApplyFanCurve;
    using CQuiloDlg::m_fanAuto;
    using CQuiloDlg::m_gauge;
    // One refresh, then the painting the message loop would do after it.
    void Tick()
    {
        SendMessage(WM_TIMER, 2);
        PaintPending();
    }
    void PaintPending() { ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); }
    CRect ChildRect(int id) const
    {
        CRect r;
        ::GetWindowRect(GetDlgItem(id), &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    // Whether a picture control shows exactly the bitmap resource.
    bool Shows(int id, UINT bitmapId) const
    {
        CBitmap expected = LoadBitmapResource(bitmapId);
        const WindowPixels want = CaptureBitmap(expected);
        const WindowPixels got = CaptureClient(GetDlgItem(id));
        return want.width == got.width && want.height == got.height && want.pixels == got.pixels;
    }
    std::string Text(int id) const
    {
        char text[32] = {};
        ::GetWindowTextA(GetDlgItem(id), text, sizeof text);
        return text;
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_boxes.clear();
        SetMessageBoxHook(&RecordBox);
        ASSERT_NE(SimDriver::Get().load, nullptr) << "simulated driver missing";
        ASSERT_TRUE(SimDriver::UseScenario(kScenario));
        DeleteProfiles();
    }
    void TearDown() override
    {
        m_dlg.reset();
        DeleteProfiles();
        RemoveAutoRun();
        SetMessageBoxHook(nullptr);
    }
    void DeleteProfiles()
    {
        for (const char* name : {"Quilo_ID2684.ini", "Quilo_ID0000.ini"})
            DeleteFileA((ExeDirectory() + "\\" + name).c_str());
    }
    std::string Profile(const char* name) const { return ExeDirectory() + "\\" + name; }

    TestableQuiloDlg& Open()
    {
        m_dlg = std::make_unique<TestableQuiloDlg>();
        EXPECT_TRUE(m_dlg->Create(IDD_MAIN));
        m_dlg->PaintPending();
        SimDriver::Get().clearLog();
        return *m_dlg;
    }
    // Cooler writes since the log was last cleared: (level, policy) pairs.
    static std::vector<std::pair<int, int>> CoolerWrites()
    {
        std::vector<std::pair<int, int>> writes;
        for (const NvSimCall& call : SimDriver::Calls(NvId::SetCoolerLevels))
            writes.emplace_back(call.values[1], call.values[2]);
        return writes;
    }
    static bool TrayIconExists(HWND owner)
    {
        NOTIFYICONDATAA nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = owner;
        nid.uID = 128;
        return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
    }

    std::unique_ptr<TestableQuiloDlg> m_dlg;
};

}  // namespace

TEST_F(MainWindowTest, FirstStartWritesTheProfileAndASecondStartKeepsIt)
{
    Open();
    const std::string file = Profile("Quilo_ID2684.ini");
    char run[256] = {};
    const bool registered = QueryAutoRun(run) == 0;
    EXPECT_EQ(ReadKey(file, "Launch"), registered ? "1" : "0");
    EXPECT_EQ(ReadKey(file, "Minisize"), "0");
    EXPECT_EQ(ReadKey(file, "OverClock"), "0");
    EXPECT_EQ(ReadKey(file, "Synchronization"), "1");
    EXPECT_EQ(ReadKey(file, "Initialized"), "1");
    m_dlg.reset();

    RemoveAutoRun();
    WritePrivateProfileStringA("System", "Synchronization", "0", file.c_str());
    Open();
    EXPECT_EQ(ReadKey(file, "Synchronization"), "0");
    EXPECT_NE(QueryAutoRun(run), 0) << "a second start must not register again";
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MainWindowTest, StartsHiddenWithTheTrayIconWhenAsked)
{
    const std::string file = Profile("Quilo_ID2684.ini");
    WritePrivateProfileStringA("System", "Initialized", "1", file.c_str());
    WritePrivateProfileStringA("System", "Minisize", "1", file.c_str());
    TestableQuiloDlg& dlg = Open();
    dlg.ShowWindow(SW_SHOW);
    dlg.SendMessage(WM_TIMER, 1);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_TRUE(TrayIconExists(dlg.m_hWnd));
    EXPECT_EQ(ReadKey(file, "Launch"), "<missing>") << "not a first run";
}

TEST_F(MainWindowTest, DriverFailuresAreReportedAndTheProfileIsNamedForNoCard)
{
    struct Case {
        unsigned int interfaceId;
        int status;
        const char* first;
    };
    const Case cases[] = {
        {NvId::Initialize, NVSIM_FAULT_MISSING, "Initial nvapi fail!"},
        {NvId::Initialize, -1, "Initial nvapi fail!"},
        {NvId::EnumPhysicalGpus, -6, "NvAPI_EnumPhysicalGPUs failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        ASSERT_TRUE(SimDriver::UseScenario(kScenario));
        SimDriver::Get().setFault(c.interfaceId, c.status);
        g_boxes.clear();
        TestableQuiloDlg& dlg = Open();
        ASSERT_EQ(g_boxes.size(), 2u);
        EXPECT_EQ(g_boxes[0].text, c.first);
        EXPECT_EQ(g_boxes[1].text, "Application will not work normally!");
        for (const Box& b : g_boxes) {
            EXPECT_EQ(b.caption, "Info");
            EXPECT_EQ(b.type, static_cast<UINT>(MB_ICONINFORMATION));
        }
        EXPECT_EQ(ReadKey(Profile("Quilo_ID0000.ini"), "Initialized"), "1");
        dlg.Tick();  // refreshing without a card must not fail
        EXPECT_EQ(dlg.Text(IDC_TEMP_READOUT), "0");
        m_dlg.reset();
        DeleteProfiles();
    }
}

TEST_F(MainWindowTest, RefreshShowsTheReadingsAndMovesWideReadouts)
{
    TestableQuiloDlg& dlg = Open();
    CGpuControl gpu;
    ASSERT_EQ(gpu.Initialize(), 0);

    struct Case {
        int temperature, fan;
        CRect temperatureRect, fanRect;
        UINT temperaturePicture, fanPicture;
    };
    const Case cases[] = {
        {63, 42, {136, 187, 206, 237}, {144, 310, 194, 342}, IDB_TEMP_60, IDB_FAN_40},
        {100, 100, {110, 187, 210, 237}, {125, 310, 195, 342}, IDB_TEMP_100, IDB_FAN_100},
        {99, 9, {136, 187, 206, 237}, {144, 310, 194, 342}, IDB_TEMP_90, IDB_FAN_0},
        {135, 0, {110, 187, 210, 237}, {144, 310, 194, 342}, IDB_TEMP_120, IDB_FAN_0},
    };
    const int framesBefore = dlg.m_gauge.FramesComposed();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.temperature);
        SimDriver::Get().setTemperature(0, c.temperature);
        SimDriver::Get().setFanLevel(0, 0, c.fan);
        dlg.Tick();
        // A readout that moves or changes repaints the skin under it, and the
        // fan readout's first place reaches into the fan picture, which paints
        // itself again; a second refresh of the same readings changes nothing.
        dlg.Tick();
        GpuClockInfo clocks{};
        ASSERT_EQ(gpu.GetCurrentClocks(clocks), 1);
        EXPECT_EQ(dlg.Text(IDC_TEMP_READOUT), std::to_string(c.temperature));
        EXPECT_EQ(dlg.Text(IDC_FAN_READOUT), std::to_string(c.fan));
        EXPECT_EQ(dlg.Text(IDC_ENGINE_READOUT), std::to_string(clocks.gfxClock / 1000));
        EXPECT_EQ(dlg.Text(IDC_MEMORY_READOUT), std::to_string(clocks.memClock * 2 / 1000));
        EXPECT_EQ(dlg.ChildRect(IDC_TEMP_READOUT), c.temperatureRect);
        EXPECT_EQ(dlg.ChildRect(IDC_FAN_READOUT), c.fanRect);
        EXPECT_TRUE(dlg.Shows(IDC_TEMP_PICTURE, c.temperaturePicture));
        EXPECT_TRUE(dlg.Shows(IDC_FAN_PICTURE, c.fanPicture));
        // The readouts show their numbers in white, as they do when the whole
        // window is painted afresh.
        const WindowPixels temperature = CaptureClient(dlg.GetDlgItem(IDC_TEMP_READOUT));
        const WindowPixels fan = CaptureClient(dlg.GetDlgItem(IDC_FAN_READOUT));
        EXPECT_GT(temperature.Count(RGB(255, 255, 255)), 50);
        EXPECT_GT(fan.Count(RGB(255, 255, 255)), 30);
        ::RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        EXPECT_EQ(temperature.pixels, CaptureClient(dlg.GetDlgItem(IDC_TEMP_READOUT)).pixels);
        EXPECT_EQ(fan.pixels, CaptureClient(dlg.GetDlgItem(IDC_FAN_READOUT)).pixels);
    }
    EXPECT_GT(dlg.m_gauge.FramesComposed(), framesBefore);
}

TEST_F(MainWindowTest, FanFollowsTheCurveOncePerSegment)
{
    TestableQuiloDlg& dlg = Open();
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    ASSERT_EQ(dlg.m_fanAuto, 0);
    // Default curve: 30 % to 40 degrees, 60 % to 60, 70 % to 80, 100 % to 100;
    // the cooler's limits are 35..90. -1: nothing is written.
    const std::pair<int, int> steps[] = {
        {40, 35},  // upper bound included; 30 raised to the minimum
        {39, -1},  // same segment
        {41, 60},  // lower bound excluded
        {60, -1}, {61, 70},
        {81, 90},   // above 80 degrees: the maximum, not the segment's 100
        {150, -1},  // above every segment: the last level stays
        {0, -1},    // below every segment
        {50, 60},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.first);
        SimDriver::Get().clearLog();
        SimDriver::Get().setTemperature(0, step.first);
        dlg.Tick();
        const auto writes = CoolerWrites();
        if (step.second < 0) {
            EXPECT_TRUE(writes.empty());
        } else {
            ASSERT_EQ(writes.size(), 1u);
            EXPECT_EQ(writes[0], std::make_pair(step.second, 1));
        }
    }
}

TEST_F(MainWindowTest, TogglingTheFanModeTwiceSendsTheLevelAgain)
{
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 50);
    SimDriver::Get().setFanLevel(0, 0, 44);
    const WPARAM toggle = MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED);
    dlg.SendMessage(WM_COMMAND, toggle, 0);
    dlg.Tick();
    dlg.Tick();
    dlg.SendMessage(WM_COMMAND, toggle, 0);  // back to the driver at the current level
    dlg.SendMessage(WM_COMMAND, toggle, 0);
    dlg.Tick();
    EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{60, 1}, {60, 32}, {60, 1}}));
}

TEST_F(MainWindowTest, AnEmptyCurveWritesNothing)
{
    TestableQuiloDlg& dlg = Open();
    const CurvePoint empty[kCurvePoints] = {};
    dlg.ApplyFanCurve(empty);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    for (int t : {30, 50, 90}) {
        SimDriver::Get().setTemperature(0, t);
        dlg.Tick();
    }
    EXPECT_TRUE(CoolerWrites().empty());
}

TEST_F(MainWindowTest, HwmOpensTheMonitorAndInformationPanelsBelowTheWindowThenOnlyShowsThem)
{
    TestableQuiloDlg& dlg = Open();
    dlg.ShowWindow(SW_SHOW);
    dlg.SetWindowPos(nullptr, 60, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const CRect window = dlg.GetWindowRect();
    const WPARAM hwm = MAKEWPARAM(IDC_HWM, BN_CLICKED);
    dlg.SendMessage(WM_COMMAND, hwm, 0);
    const HWND monitor = FindWindowExA(nullptr, nullptr, "#32770", "HWM");
    const HWND info = FindWindowExA(nullptr, nullptr, "#32770", "Information");
    ASSERT_TRUE(monitor && info);
    const std::pair<HWND, LONG> placed[] = {{monitor, window.left + 52}, {info, window.left + 464}};
    for (const auto& [panel, left] : placed) {
        CRect r;
        GetWindowRect(panel, &r);
        EXPECT_EQ(r, CRect(left, window.bottom - 30, left + 412, window.bottom - 30 + 364));
        EXPECT_TRUE(IsWindowVisible(panel));
        EXPECT_EQ(GetWindow(panel, GW_OWNER), dlg.m_hWnd);
    }
    // Wired to the window's own driver access.
    CGpuControl gpu;
    ASSERT_EQ(gpu.Initialize(), 0);
    char name[64] = {}, shown[64] = {};
    ASSERT_EQ(gpu.GetFullName(name), 1);
    GetDlgItemTextA(info, IDC_INFO_NAME, shown, sizeof shown);
    EXPECT_STREQ(shown, name);

    SetWindowPos(monitor, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(monitor, SW_MINIMIZE);
    ShowWindow(info, SW_HIDE);
    dlg.SendMessage(WM_COMMAND, hwm, 0);
    EXPECT_EQ(FindWindowExA(nullptr, nullptr, "#32770", "HWM"), monitor);
    EXPECT_EQ(FindWindowExA(nullptr, monitor, "#32770", "HWM"), nullptr) << "one monitor panel";
    EXPECT_FALSE(IsIconic(monitor));
    EXPECT_TRUE(IsWindowVisible(info));
    CRect r;
    GetWindowRect(monitor, &r);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 5);
}

TEST_F(MainWindowTest, EveryWayOfEndingHandsTheFanBack)
{
    struct Case {
        const char* name;
        UINT msg;
        WPARAM wParam;
    };
    const Case cases[] = {
        {"close key", WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED)},
        {"Esc", WM_COMMAND, IDCANCEL},
        {"Exit", WM_COMMAND, IDOK},
        {"session end", WM_ENDSESSION, TRUE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestableQuiloDlg& dlg = Open();
        SimDriver::Get().setTemperature(0, 70);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
        dlg.Tick();
        dlg.SendMessage(c.msg, c.wParam, 0);
        const auto writes = CoolerWrites();
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[1].second, 32);
        m_dlg.reset();  // destroying the window must not write again
        EXPECT_EQ(CoolerWrites().size(), 2u);
    }
}

TEST_F(MainWindowTest, WindowLeftToTheDriverIsNotTouchedAtTheEnd)
{
    Open();
    m_dlg.reset();
    EXPECT_TRUE(CoolerWrites().empty());
}

TEST_F(MainWindowTest, TrayIconDoubleClickAndOtherIcons)
{
    TestableQuiloDlg& dlg = Open();
    dlg.ShowWindow(SW_SHOW);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MINIMIZE, BN_CLICKED), 0);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_TRUE(TrayIconExists(dlg.m_hWnd));

    EXPECT_EQ(dlg.SendMessage(CTrayIcon::kCallbackMessage, 127, WM_LBUTTONDBLCLK), 1);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_EQ(dlg.SendMessage(CTrayIcon::kCallbackMessage, 128, WM_MOUSEMOVE), 0);
    EXPECT_FALSE(dlg.IsWindowVisible());

    EXPECT_EQ(dlg.SendMessage(CTrayIcon::kCallbackMessage, 128, WM_LBUTTONDBLCLK), 0);
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_FALSE(TrayIconExists(dlg.m_hWnd));
}

TEST_F(MainWindowTest, EndingWhileHiddenRemovesTheTrayIcon)
{
    TestableQuiloDlg& dlg = Open();
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MINIMIZE, BN_CLICKED), 0);
    const HWND owner = dlg.m_hWnd;
    ASSERT_TRUE(TrayIconExists(owner));
    m_dlg.reset();
    EXPECT_FALSE(TrayIconExists(owner));
}

namespace {
// Answers the tray menu with the keys queued before it opens.
void OpenTrayMenu(CQuiloDlg& dlg, std::vector<std::pair<UINT, WPARAM>> keys)
{
    for (const auto& key : keys) PostMessageA(dlg.m_hWnd, key.first, key.second, 0);
    dlg.SendMessage(CTrayIcon::kCallbackMessage, 128, WM_RBUTTONUP);
}
}  // namespace

TEST_F(MainWindowTest, TrayMenuOpenRestoresAndADismissedMenuChangesNothing)
{
    TestableQuiloDlg& dlg = Open();
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MINIMIZE, BN_CLICKED), 0);

    OpenTrayMenu(dlg, {{WM_KEYDOWN, VK_ESCAPE}});
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_TRUE(TrayIconExists(dlg.m_hWnd));

    OpenTrayMenu(dlg, {{WM_CHAR, 'o'}});
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_FALSE(TrayIconExists(dlg.m_hWnd));
}

namespace {
CQuiloDlg* g_modal = nullptr;
void CALLBACK ChooseExit(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    OpenTrayMenu(*g_modal, {{WM_CHAR, 'e'}});
}
}  // namespace

TEST_F(MainWindowTest, TrayMenuExitEndsTheModalLoop)
{
    CQuiloDlg dlg;
    g_modal = &dlg;
    SetTimer(nullptr, 0, 50, &ChooseExit);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    const int result = RUN_ALL_TESTS();
    Gdiplus::GdiplusShutdown(token);
    return result;
}
