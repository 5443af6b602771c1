// The main window over the simulated driver: start-up, readings, fan-curve
// following, the notification-area icon and handing the fan back at the end.
#include <objidl.h>
#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include <cstdio>
#include <functional>
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/Dpi.h"
#include "framework/WinApp.h"
#include "app/CCommandLine.h"
#include "app/CSingleInstance.h"
#include "main_window_fixture.h"
#include "note_closer.h"
#include "test_files.h"

using namespace mwtest;

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
    EXPECT_FALSE(dlg.IsWindowVisible()) << "never shown, not even for a moment";
    EXPECT_TRUE(TrayIconExists(dlg.m_hWnd));
    dlg.SendMessage(WM_TIMER, 1);
    EXPECT_FALSE(dlg.IsWindowVisible());
    dlg.ShowWindow(SW_SHOW);
    EXPECT_TRUE(dlg.IsWindowVisible()) << "shown when asked, once it is up";
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

// Started with Windows before the display driver: nothing is said and nothing
// shown while it waits, and the card's own profile is used once the driver is
// up; a driver that never comes brings the start-up messages after a minute.
TEST_F(MainWindowTest, AStartWithWindowsWaitsSilentlyForALateDriver)
{
    CCommandLine logon;
    ASSERT_TRUE(logon.Parse(L"qsurge.exe --logon"));
    CSingleInstance instance;
    for (bool arrives : {true, false}) {
        SCOPED_TRACE(arrives ? "the driver comes" : "no driver");
        ASSERT_TRUE(SimDriver::UseScenario(kScenario));
        SimDriver::Get().setFault(NvId::Initialize, -1);
        g_boxes.clear();
        m_dlg = std::make_unique<TestableQuiloDlg>();
        m_dlg->SetStart(logon, instance);
        ASSERT_TRUE(m_dlg->Create(IDD_MAIN));
        TestableQuiloDlg& dlg = *m_dlg;
        EXPECT_TRUE(g_boxes.empty());
        EXPECT_FALSE(dlg.IsWindowVisible());
        for (int second = 0; second < 59; ++second) dlg.SendMessage(WM_TIMER, 5);
        EXPECT_TRUE(g_boxes.empty()) << "59 seconds of silence";
        if (arrives) SimDriver::Get().setFault(NvId::Initialize, 0);
        dlg.SendMessage(WM_TIMER, 5);
        EXPECT_EQ(g_boxes.size(), arrives ? 0u : 2u);
        EXPECT_TRUE(dlg.IsWindowVisible()) << "not asked to start hidden";
        EXPECT_EQ(ReadKey(Profile(arrives ? "Quilo_ID2684.ini" : "Quilo_ID0000.ini"), "Initialized"), "1");
        EXPECT_EQ(GetFileAttributesA(Profile(arrives ? "Quilo_ID0000.ini" : "Quilo_ID2684.ini").c_str()),
                  INVALID_FILE_ATTRIBUTES);
        dlg.SendMessage(WM_TIMER, 5);
        EXPECT_EQ(g_boxes.size(), arrives ? 0u : 2u) << "the wait is over";
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
    ASSERT_EQ(dlg.FanAuto(), 0);
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

TEST_F(MainWindowTest, AFailedCurveWriteIsTriedAgainAtTheNextTick)
{
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 50);
    SimDriver::Get().setFault(NvId::SetCoolerLevels, -1);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    dlg.Tick();
    const auto refused = SimDriver::Calls(NvId::SetCoolerLevels);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].status, 0);
    SimDriver::Get().setFault(NvId::SetCoolerLevels, 0);
    SimDriver::Get().clearLog();
    dlg.Tick();  // the same segment: written again, since the first write failed
    dlg.Tick();  // and once only
    EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{60, 1}}));
}

TEST_F(MainWindowTest, AfterADriverResetTheReadingsReturnAndTheCurveIsWrittenAgain)
{
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 50);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    dlg.Tick();
    ASSERT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{60, 1}}));
    for (int needsInit : {0, 1}) {
        SCOPED_TRACE(needsInit);
        SimDriver::Get().resetDriver(needsInit);
        SimDriver::Get().setTemperature(0, 57);
        SimDriver::Get().clearLog();
        dlg.Tick();  // meets the reset
        dlg.Tick();  // the driver is started again
        EXPECT_EQ(dlg.Text(IDC_TEMP_READOUT), "57");
        EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{60, 1}})) << "the same segment, written again";
        SimDriver::Get().setTemperature(0, 56);
    }
    EXPECT_TRUE(g_boxes.empty());
}

namespace {
void WriteBytes(const std::string& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}
}  // namespace

// Whatever lies beside the program under the profile's name, it starts, runs
// and writes nothing that could lose the user's own lines.
TEST_F(MainWindowTest, AnyProfileFileIsHarmless)
{
    std::string randomBytes;
    for (int i = 0; i < 4096; ++i) randomBytes += static_cast<char>((i * 7919 + 13) % 256);
    const std::string junk(1 << 20, 'x');
    const std::string huge =
        "; my own note\r\n[System]\r\nInitialized=99999999999999999999\r\nMinisize=-5\r\n"
        "[FanCurve]\r\nPoint0=99999999999999999999,1,1\r\nAuto=-1\r\n[Mine]\r\nkeep=this\r\n";
    const std::string valid = "[System]\r\nInitialized=1\r\nLaunch=0\r\nMinisize=0\r\n";
    struct Case {
        const char* name;
        std::string content;
        bool readOnly, folder, ours;
    };
    const Case cases[] = {
        {"random bytes", randomBytes, false, false, false},
        {"a megabyte of junk", junk, false, false, false},
        {"numbers out of range", huge, false, false, true},
        {"read-only", valid, true, false, false},
        {"a folder", "", false, true, false},
    };
    const std::string file = Profile("Quilo_ID2684.ini");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.folder) {
            ASSERT_TRUE(CreateDirectoryA(file.c_str(), nullptr));
        } else {
            WriteBytes(file, c.content);
            if (c.readOnly) SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
        }
        TestableQuiloDlg& dlg = Open();
        SimDriver::Get().setTemperature(0, 50);
        dlg.Tick();
        // A switch of fan mode is kept in memory whether or not it reaches the file.
        const int fanAuto = dlg.FanAuto();
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
        EXPECT_EQ(dlg.FanAuto(), !fanAuto);
        dlg.Tick();
        m_dlg.reset();

        if (c.folder) {
            EXPECT_TRUE(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
            EXPECT_TRUE(RemoveDirectoryA(file.c_str()));
            continue;
        }
        const std::string after = ReadWholeFile(file);
        if (c.ours) {
            // A file of ours with odd values: written, the user's lines kept.
            EXPECT_NE(after.find("; my own note"), std::string::npos);
            EXPECT_NE(after.find("keep=this"), std::string::npos);
        } else {
            EXPECT_EQ(after, c.content) << "a file that is not ours is left as it was";
        }
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
    }
    RemoveAutoRun();
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

// Both take a reading every 100 ms. Opened 40 ms after a refresh, the monitor
// comes into step with the refresh from the second refresh on: a sample and a
// refresh are taken in one wake of the thread, with no wait between them.
TEST_F(MainWindowTest, TheMonitorSamplesInTheRefreshsWake)
{
    TestableQuiloDlg& dlg = Open();
    dlg.ShowWindow(SW_SHOW);
    HWND monitor = nullptr;
    struct Taken {
        bool refresh;
        int waits;  // the thread's waits for messages before it was taken
    };
    std::vector<Taken> taken;
    int waits = 0;
    auto pumpUntilRefreshes = [&](size_t refreshes) {
        auto counted = [&] {
            return static_cast<size_t>(std::count_if(taken.begin(), taken.end(), [](const Taken& t) { return t.refresh; }));
        };
        const DWORD end = GetTickCount() + 10000;
        MSG msg;
        while (counted() < refreshes && GetTickCount() < end) {
            if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ++waits;
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 500, QS_ALLINPUT);
                continue;
            }
            if (msg.message == WM_TIMER && msg.hwnd == dlg.m_hWnd && msg.wParam == 2) taken.push_back({true, waits});
            if (msg.message == WM_TIMER && monitor && msg.hwnd == monitor && msg.wParam == 10) taken.push_back({false, waits});
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    };
    pumpUntilRefreshes(1);
    Sleep(40);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_HWM, BN_CLICKED), 0);
    monitor = FindWindowExA(nullptr, nullptr, "#32770", "HWM");
    ASSERT_NE(monitor, nullptr);
    taken.clear();
    pumpUntilRefreshes(13);
    // From the third refresh after the opening on: a refresh taken next to a sample.
    int refreshes = 0, inStep = 0, samples = 0;
    auto sampleBeside = [&](size_t i, size_t j) {
        return j < taken.size() && !taken[j].refresh && taken[j].waits == taken[i].waits;
    };
    for (size_t i = 0; i < taken.size(); ++i) {
        if (!taken[i].refresh) {
            ++samples;
            continue;
        }
        if (++refreshes < 3 || refreshes > 12) continue;
        inStep += sampleBeside(i, i + 1) || (i > 0 && sampleBeside(i, i - 1));
    }
    EXPECT_GE(samples, 10) << "the monitor keeps sampling";
    EXPECT_GE(inStep, 7) << "of 10 refreshes";
}

namespace {
void OpenTrayMenu(CQuiloDlg& dlg, std::vector<std::pair<UINT, WPARAM>> keys);
}  // namespace

TEST_F(MainWindowTest, EveryWayOfEndingHandsTheFanBack)
{
    struct Case {
        const char* name;
        void (*end)(TestableQuiloDlg& dlg);
    };
    const Case cases[] = {
        {"close key", [](TestableQuiloDlg& dlg) { dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED)); }},
        {"Alt+F4", [](TestableQuiloDlg& dlg) { dlg.SendMessage(WM_CLOSE); }},
        {"Esc", [](TestableQuiloDlg& dlg) { dlg.SendMessage(WM_COMMAND, IDCANCEL); }},
        {"Exit", [](TestableQuiloDlg& dlg) { OpenTrayMenu(dlg, {{WM_CHAR, 'e'}}); }},
        {"session end", [](TestableQuiloDlg& dlg) { dlg.SendMessage(WM_ENDSESSION, TRUE); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteProfiles();  // each case starts with the fan the driver's
        TestableQuiloDlg& dlg = Open();
        SimDriver::Get().setTemperature(0, 70);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
        dlg.Tick();
        c.end(dlg);
        const auto writes = CoolerWrites();
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[1].second, 32);
        m_dlg.reset();  // destroying the window must not write again
        EXPECT_EQ(CoolerWrites().size(), 2u);
    }
}

// An installer closing running programs ends this one too, with the fan
// handed back; after sleep the curve's level is written again.
TEST_F(MainWindowTest, ClosingAppsEndsTheProgramAndWakingWritesTheLevelAgain)
{
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 50);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    dlg.Tick();
    dlg.Tick();
    EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{60, 1}}));
    EXPECT_EQ(dlg.SendMessage(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0), TRUE);
    dlg.Tick();
    EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{60, 1}, {60, 1}})) << "written again after sleep";

    dlg.SendMessage(WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    EXPECT_EQ(CoolerWrites().back(), std::make_pair(60, 32));
    EXPECT_FALSE(dlg.IsWindowVisible()) << "the dialog ended";
    dlg.Tick();
    EXPECT_EQ(CoolerWrites().size(), 3u) << "the curve writes no more";
}

// An installer closing running programs while a message box is open: the box
// gives way, and the program ends with the fan handed back.
TEST_F(MainWindowTest, ClosingAppsEndsTheProgramAlsoWhileAMessageBoxIsOpen)
{
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 50);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    dlg.Tick();
    ASSERT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{60, 1}}));
    // Should the box not give way, it is answered after a while, and the test fails.
    std::atomic<bool> answered{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 100 && !answered; ++i) Sleep(50);
        if (HWND box = FindWindowA("#32770", "Info"); box && !answered) PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    SetMessageBoxHook(nullptr);
    dlg.PostMessage(WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    const ULONGLONG start = GetTickCount64();
    AppMessageBox(dlg.m_hWnd, "A question for the user", "Info", MB_OK);
    const ULONGLONG took = GetTickCount64() - start;
    answered = true;
    watchdog.join();
    SetMessageBoxHook(&RecordBox);
    EXPECT_LT(took, 4000u) << "the box gave way";
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "handed on to the program's loop";
    EXPECT_EQ(CoolerWrites().back(), std::make_pair(60, 32));
    EXPECT_FALSE(dlg.IsWindowVisible()) << "the dialog ended";
}

// A shell that took the icon but refused the add (late at logon) does not
// keep the window on screen.
TEST_F(MainWindowTest, AnIconTheShellHasAlreadyLetsTheWindowHide)
{
    TestableQuiloDlg& dlg = Open();
    NOTIFYICONDATAA nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = dlg.m_hWnd;
    nid.uID = 128;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &nid));
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MINIMIZE, BN_CLICKED), 0);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_TRUE(TrayIconExists(dlg.m_hWnd));
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
// The overclock panel, found as the user's next window titled like the main one.
HWND FindTurboPanel(HWND main)
{
    for (HWND h = ::FindWindowExA(nullptr, nullptr, nullptr, "Q-Surge"); h; h = ::FindWindowExA(nullptr, h, nullptr, "Q-Surge"))
        if (h != main && ::GetWindow(h, GW_OWNER) == main) return h;
    return nullptr;
}

std::vector<std::pair<int, int>> OffsetWrites()
{
    std::vector<std::pair<int, int>> writes;
    for (const NvSimCall& call : SimDriver::Calls(NvId::SetPstates20)) writes.emplace_back(call.values[2], call.values[4]);
    return writes;
}
}  // namespace

TEST_F(MainWindowTest, TurboOpensTheOverclockPanelBelowTheWindowEvenBeforeItMoves)
{
    TestableQuiloDlg& dlg = Open();
    ASSERT_EQ(FindTurboPanel(dlg), nullptr) << "panels get their windows when first opened";
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TURBO, BN_CLICKED), 0);
    HWND panel = FindTurboPanel(dlg);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(::IsWindowVisible(panel));
    const CRect main = dlg.GetWindowRect();
    CRect placed;
    ::GetWindowRect(panel, &placed);
    EXPECT_EQ(placed, CRect(main.left + 256, main.bottom - 40, main.left + 256 + 412, main.bottom - 40 + 364));

    // Closed, minimised or moved, a later "Turbo" shows it again where it is.
    ::SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindowVisible(panel));
    ::SetWindowPos(panel, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TURBO, BN_CLICKED), 0);
    EXPECT_TRUE(::IsWindowVisible(panel));
    ::ShowWindow(panel, SW_MINIMIZE);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TURBO, BN_CLICKED), 0);
    EXPECT_FALSE(::IsIconic(panel));
    ::GetWindowRect(panel, &placed);
    EXPECT_EQ(placed.left, 10);
    EXPECT_EQ(placed.top, 20);
    EXPECT_EQ(FindTurboPanel(dlg), panel) << "one panel for the program's run";
}

TEST_F(MainWindowTest, ApplyRunsTheSelectedPresetAndResetPutsTheCardBackWithoutShowingThePanel)
{
    TestableQuiloDlg& dlg = Open();
    // The note is owned by the application's window, so it has no taskbar button.
    CWinApp app;
    app.m_pMainWnd = &dlg;
    struct Case {
        int presetButton;
        std::pair<int, int> offsets;  // kHz
    };
    const Case cases[] = {
        {IDC_PRESET_10, {80000, 100000}},
        {IDC_PRESET_3, {30000, 50000}},
        {IDC_PRESET_5, {50000, 80000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.presetButton);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(c.presetButton, BN_CLICKED), 0);
        SimDriver::Get().clearLog();
        CloseNoteWhenShown();
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
        ASSERT_TRUE(LastNote().shown);
        EXPECT_EQ(LastNote().owner, dlg.m_hWnd);
        EXPECT_EQ(OffsetWrites(), (std::vector<std::pair<int, int>>{c.offsets}));
        const auto power = SimDriver::Calls(NvId::SetPowerPolicyStatus);
        ASSERT_EQ(power.size(), 1u);
        EXPECT_EQ(power[0].values[2], 110000);  // the card's default of 100 % + 10
    }
    EXPECT_TRUE(::IsWindowEnabled(dlg)) << "the note's owner is enabled again once it closes";

    SimDriver::Get().clearLog();
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_RESET, BN_CLICKED), 0);
    EXPECT_EQ(OffsetWrites(), (std::vector<std::pair<int, int>>{{0, 0}}));
    const auto power = SimDriver::Calls(NvId::SetPowerPolicyStatus);
    ASSERT_EQ(power.size(), 1u);
    EXPECT_EQ(power[0].values[2], 100000);

    EXPECT_EQ(FindTurboPanel(dlg), nullptr) << "presets and Reset need no overclock panel";
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TURBO, BN_CLICKED), 0);
    HWND panel = FindTurboPanel(dlg);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(::IsWindowVisible(panel));
    char shown[16] = {};
    ::GetWindowTextA(::GetDlgItem(panel, IDC_GPU_OFFSET_READOUT), shown, sizeof shown);
    EXPECT_STREQ(shown, "0") << "the panel shows what Reset left in the driver";
}

TEST_F(MainWindowTest, WhileTheWarningIsUpNoOtherWindowTakesInputAndAnotherRequestOnlyBringsItForward)
{
    TestableQuiloDlg& dlg = Open();
    CWinApp app;
    app.m_pMainWnd = &dlg;
    for (int id : {IDC_TURBO, IDC_HWM}) dlg.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    const HWND panel = FindTurboPanel(dlg);
    const HWND monitor = ::FindWindowA(nullptr, "HWM");
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(monitor, nullptr);
    const auto press = [](HWND window, int id) {
        return [window, id] { ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); };
    };
    struct Case {
        const char* asker;
        std::function<void()> ask;
        std::vector<std::function<void()>> again;  // while the note is up
        std::pair<int, int> offsets;                // kHz, the one write that goes out
    };
    const Case cases[] = {
        {"the panel's Apply", press(panel, IDC_APPLY),
         {press(dlg, IDC_APPLY), press(dlg, IDC_RESET), press(panel, IDC_APPLY)}, {0, 0}},
        {"the main window's Apply", press(dlg, IDC_APPLY),
         {press(panel, IDC_APPLY), press(panel, IDC_RESET), press(dlg, IDC_APPLY)}, {30000, 50000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asker);
        SimDriver::Get().clearLog();
        CloseNoteWhenShown(NoteClose::Button, [&](HWND note) {
            EXPECT_FALSE(::IsWindowEnabled(dlg));
            EXPECT_FALSE(::IsWindowEnabled(panel));
            EXPECT_FALSE(::IsWindowEnabled(monitor));
            EXPECT_TRUE(::IsWindowEnabled(note));
            // A window of someone else's that the user went to meanwhile.
            const HWND elsewhere = ::CreateWindowExA(0, "STATIC", "elsewhere", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                                     nullptr, nullptr, nullptr, nullptr);
            for (const auto& ask : c.again) {
                ::SetForegroundWindow(elsewhere);
                ASSERT_EQ(::GetForegroundWindow(), elsewhere);
                ask();
                EXPECT_EQ(NotesUp(), 1);
                EXPECT_EQ(::GetForegroundWindow(), note) << "the note comes forward";
            }
            ::DestroyWindow(elsewhere);
        });
        c.ask();
        ASSERT_TRUE(LastNote().shown);
        EXPECT_EQ(LastNote().stacked, 0);
        EXPECT_EQ(OffsetWrites(), (std::vector<std::pair<int, int>>{c.offsets}));
        EXPECT_EQ(SimDriver::Calls(NvId::SetPowerPolicyStatus).size(), 1u);
        for (HWND window : {dlg.m_hWnd, panel, monitor}) EXPECT_TRUE(::IsWindowEnabled(window));
    }
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

// ---- The fan-curve and settings panels as the main window opens and follows them.

namespace {

// The owned pop-up of that title, or null.
HWND OwnedWindow(HWND owner, const char* title)
{
    struct Search {
        HWND owner;
        const char* title;
        HWND found;
    } search{owner, title, nullptr};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(lp);
            char text[64] = {};
            GetWindowTextA(h, text, sizeof text);
            if (GetWindow(h, GW_OWNER) != s.owner || std::string(text) != s.title) return TRUE;
            s.found = h;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Press(HWND window, int id)
{
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

// Cooler writes since the log was last cleared: (GPU, level, policy).
std::vector<std::vector<int>> GpuCoolerWrites()
{
    std::vector<std::vector<int>> writes;
    for (const NvSimCall& call : SimDriver::Calls(NvId::SetCoolerLevels))
        writes.push_back({call.gpu, call.values[1], call.values[2]});
    return writes;
}

CurvePoint Step(int row, int column) { return {row, column + 1, 1}; }

std::string CurveKey(const std::string& file, const char* key)
{
    char value[32] = {};
    GetPrivateProfileStringA("FanCurve", key, "<missing>", value, sizeof value, file.c_str());
    return value;
}

// 20 % up to 20 degrees, 50 % up to 60, 90 % up to 100.
const CurvePoint kOwnCurve[kCurvePoints] = {{}, Step(8, 1), {}, {}, {}, Step(5, 5), {}, {}, {}, Step(1, 9)};

// Picks "GPU 2" in the settings panel, opened from "Set"; the panel, or null.
HWND ChooseSecondGpu(HWND main)
{
    Press(main, IDC_SETTINGS);
    const HWND panel = OwnedWindow(main, "Setting");
    const HWND list = GetDlgItem(panel, IDC_GPU_LIST);
    if (SendMessageA(list, CB_SETCURSEL, 1, 0) != 1) return nullptr;
    SendMessageA(panel, WM_COMMAND, MAKEWPARAM(IDC_GPU_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return panel;
}

std::string Grid(HWND panel)
{
    char text[128] = {};
    GetWindowTextA(GetDlgItem(panel, IDC_CURVE), text, sizeof text);
    return text;
}

}  // namespace

TEST_F(MainWindowTest, FanCurveAndSetOpenTheirPanelsBelowTheWindowAndReopenThem)
{
    TestableQuiloDlg& dlg = Open();
    const CRect main = dlg.GetWindowRect();
    struct Case {
        int button;
        const char* title;
        int dx, dy;
    };
    for (const Case& c : {Case{IDC_FANCURVE, "Fan Curve", 256, -40}, Case{IDC_SETTINGS, "Setting", 310, -40}}) {
        SCOPED_TRACE(c.title);
        Press(dlg, c.button);
        const HWND panel = OwnedWindow(dlg, c.title);
        ASSERT_NE(panel, nullptr);
        EXPECT_TRUE(IsWindowVisible(panel));
        RECT r{};
        GetWindowRect(panel, &r);
        EXPECT_EQ(r.left, main.left + c.dx);
        EXPECT_EQ(r.top, main.bottom + c.dy);
        Press(panel, IDC_CLOSE);
        EXPECT_FALSE(IsWindowVisible(panel));
        Press(dlg, c.button);
        EXPECT_EQ(OwnedWindow(dlg, c.title), panel);
        EXPECT_TRUE(IsWindowVisible(panel));
    }
}

TEST_F(MainWindowTest, ThePanelsCurveDrivesTheFanOnApplyAndResetAndIsKept)
{
    TestableQuiloDlg& dlg = Open();
    const std::string file = Profile("Quilo_ID2684.ini");
    SimDriver::Get().setTemperature(0, 50);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    dlg.Tick();
    Press(dlg, IDC_FANCURVE);
    const HWND panel = OwnedWindow(dlg, "Fan Curve");
    ASSERT_NE(panel, nullptr);
    // The 30 % step moves on to 50 degrees: column 4, row 7.
    SendMessageA(GetDlgItem(panel, IDC_CURVE), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4 * 29 + 5, 7 * 20 + 5));
    SimDriver::Get().clearLog();
    dlg.Tick();
    EXPECT_TRUE(CoolerWrites().empty()) << "an edit alone changes nothing";

    Press(panel, IDC_APPLY);
    dlg.Tick();
    EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{35, 1}}));  // 30 % raised to the minimum
    EXPECT_EQ(CurveKey(file, "Point3") + " " + CurveKey(file, "Point4"), "0,0,0 7,5,1");

    SimDriver::Get().clearLog();
    Press(panel, IDC_RESET);
    dlg.Tick();
    EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{60, 1}}));
    EXPECT_EQ(CurveKey(file, "Point3") + " " + CurveKey(file, "Point4"), "7,4,1 0,0,0");

    // 50 % instead of 60 % for 41 to 60 degrees: the same segment, sent again all the same.
    SimDriver::Get().clearLog();
    SendMessageA(GetDlgItem(panel, IDC_CURVE), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5 * 29 + 5, 5 * 20 + 5));
    Press(panel, IDC_APPLY);
    dlg.Tick();
    EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{50, 1}}));
}

TEST_F(MainWindowTest, AShorterCurveNeverSendsADiscardedSegmentsLevel)
{
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 70);
    const WPARAM toggle = MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED);
    dlg.SendMessage(WM_COMMAND, toggle, 0);
    dlg.Tick();  // 70 % from the 60..80 degree segment, the third
    const CurvePoint shorter[kCurvePoints] = {{}, {}, {}, Step(7, 3)};
    dlg.ApplyFanCurve(shorter);
    dlg.Tick();
    dlg.SendMessage(WM_COMMAND, toggle, 0);
    dlg.SendMessage(WM_COMMAND, toggle, 0);
    dlg.Tick();
    SimDriver::Get().setTemperature(0, 30);
    dlg.Tick();
    EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{70, 1}, {70, 32}, {35, 1}}));
}

TEST_F(MainWindowTest, AnEmptyCurveHandsTheFanBackUntilACurveIsApplied)
{
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 50);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    dlg.Tick();
    dlg.Tick();  // the fan reads the level sent
    const CurvePoint empty[kCurvePoints] = {};
    dlg.ApplyFanCurve(empty);
    for (int t : {30, 50, 90}) {
        SimDriver::Get().setTemperature(0, t);
        dlg.Tick();
    }
    EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{60, 1}, {60, 32}}));
    dlg.ApplyFanCurve(kDefaultFanCurve);
    dlg.Tick();  // 90 degrees
    EXPECT_EQ(CoolerWrites().back(), std::make_pair(90, 1));
}

TEST_F(MainWindowTest, ChoosingGpu2MovesTheReadingsButNotTheProfile)
{
    ASSERT_TRUE(SimDriver::UseScenario(kTwoCardsScenario));
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 50);
    SimDriver::Get().setTemperature(1, 77);
    dlg.Tick();
    const HWND panel = ChooseSecondGpu(dlg);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(dlg.Text(IDC_TEMP_READOUT), "50");
    dlg.Tick();
    EXPECT_EQ(dlg.Text(IDC_TEMP_READOUT), "77");
    EXPECT_TRUE(CoolerWrites().empty()) << "the driver keeps both fans";

    Press(panel, IDC_SWITCH_MINISIZE);
    Press(panel, IDC_APPLY);
    EXPECT_EQ(ReadKey(Profile("Quilo_ID2684.ini"), "Minisize"), "1");
    EXPECT_EQ(GetFileAttributesA(Profile("Quilo_ID1C03.ini").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MainWindowTest, SwitchingGpuInCurveModeHandsTheOldFanBackAndDrivesTheNewOne)
{
    ASSERT_TRUE(SimDriver::UseScenario(kTwoCardsScenario));
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 50);
    SimDriver::Get().setTemperature(1, 35);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    dlg.Tick();
    dlg.Tick();  // the fan reads the level sent
    const HWND panel = ChooseSecondGpu(dlg);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(CoolerWrites().size(), 1u) << "nothing until the next tick";
    dlg.Tick();
    dlg.Tick();
    // The second card's own minimum (45) now bounds the 30 % step.
    EXPECT_EQ(GpuCoolerWrites(), (std::vector<std::vector<int>>{{0, 60, 1}, {0, 60, 32}, {1, 45, 1}}));
    const auto reads = SimDriver::Calls(NvId::GetCoolerSettings);
    EXPECT_TRUE(std::any_of(reads.begin(), reads.end(), [](const NvSimCall& c) { return c.gpu == 1; }));

    SimDriver::Get().clearLog();
    Press(dlg, IDC_CLOSE);
    EXPECT_EQ(GpuCoolerWrites(), (std::vector<std::vector<int>>{{1, 45, 32}}));
}

TEST_F(MainWindowTest, TheCurveAndFanModeSurviveARestart)
{
    TestableQuiloDlg& first = Open();
    first.ApplyFanCurve(kOwnCurve);
    first.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    m_dlg.reset();

    SimDriver::Get().setTemperature(0, 50);
    TestableQuiloDlg& dlg = Open();
    EXPECT_EQ(dlg.FanAuto(), 0);
    EXPECT_TRUE(dlg.Shows(IDC_FAN_MODE, IDB_SWITCH_OFF));
    dlg.Tick();  // taken at the first tick
    EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{50, 1}}));
    Press(dlg, IDC_FANCURVE);
    EXPECT_EQ(Grid(OwnedWindow(dlg, "Fan Curve")), "20% to 20C, 50% to 60C, 90% to 100C");
}

TEST_F(MainWindowTest, ADamagedCurveGivesTheDefaultInTheStoredMode)
{
    const std::string file = Profile("Quilo_ID2684.ini");
    struct Case {
        const char* key;
        const char* value;  // nullptr: the key is missing
        int expectedAuto;
        int expectedLevel;  // at 50 degrees once the curve drives the fan
    };
    const Case cases[] = {
        {"Point5", "5,6", 0, 60},    {"Point5", "5,6,1x", 0, 60}, {"Point5", "9,6,1", 0, 60},  // rows must fall
        {"Point5", "5,7,1", 0, 60},  {"Point5", "5,6,2", 0, 60},  {"Point9", nullptr, 0, 60},
        {"Point0", "0,1,0", 0, 60},  {"Auto", "yes", 1, 50},  // only the mode is damaged: the curve stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + (c.value ? c.value : "<missing>"));
        {
            TestableQuiloDlg& first = Open();
            first.ApplyFanCurve(kOwnCurve);
            first.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
            m_dlg.reset();
        }
        WritePrivateProfileStringA("FanCurve", c.key, c.value, file.c_str());
        const std::string stored = ReadWholeFile(file);
        SimDriver::Get().setTemperature(0, 50);
        TestableQuiloDlg& dlg = Open();
        EXPECT_EQ(dlg.FanAuto(), c.expectedAuto);
        EXPECT_TRUE(dlg.Shows(IDC_FAN_MODE, c.expectedAuto ? IDB_SWITCH_ON : IDB_SWITCH_OFF));
        dlg.Tick();
        if (c.expectedAuto) {
            EXPECT_TRUE(CoolerWrites().empty());
            dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
            dlg.Tick();
        } else {
            EXPECT_EQ(ReadWholeFile(file), stored) << "nothing rewritten until a curve is applied";
        }
        EXPECT_EQ(CoolerWrites(), (std::vector<std::pair<int, int>>{{c.expectedLevel, 1}}));
        m_dlg.reset();
        DeleteProfiles();
    }
}

TEST_F(MainWindowTest, AProfileDeletedWhileRunningGetsTheWholeStateBackAtTheNextWrite)
{
    const std::string file = Profile("Quilo_ID2684.ini");
    struct Key {
        const char *section, *key, *value;
    };
    const std::vector<Key> stored = {
        {"System", "Initialized", "1"}, {"System", "Launch", "0"},         {"System", "Minisize", "0"},
        {"System", "OverClock", "1"},   {"System", "Synchronization", "0"}, {"Warning", "Temperature", "70"},
        {"FanCurve", "Auto", "0"},      {"FanCurve", "Point0", "0,0,0"},    {"FanCurve", "Point1", "8,2,1"},
        {"FanCurve", "Point2", "0,0,0"}, {"FanCurve", "Point3", "0,0,0"},   {"FanCurve", "Point4", "0,0,0"},
        {"FanCurve", "Point5", "5,6,1"}, {"FanCurve", "Point6", "0,0,0"},   {"FanCurve", "Point7", "0,0,0"},
        {"FanCurve", "Point8", "0,0,0"}, {"FanCurve", "Point9", "1,10,1"},
    };
    struct Case {
        const char* writer;
        std::function<void(TestableQuiloDlg&)> write;
        std::vector<Key> written;
        int fanAuto;  // after the next start
    };
    const Case cases[] = {
        {"the fan mode", [](TestableQuiloDlg& dlg) { Press(dlg, IDC_FAN_MODE); }, {{"FanCurve", "Auto", "1"}}, 1},
        {"a fan curve", [](TestableQuiloDlg& dlg) { dlg.ApplyFanCurve(kDefaultFanCurve); },
         {{"FanCurve", "Point1", "0,0,0"}, {"FanCurve", "Point3", "7,4,1"}, {"FanCurve", "Point5", "4,6,1"},
          {"FanCurve", "Point7", "3,8,1"}, {"FanCurve", "Point9", "0,10,1"}},
         0},
        // Opened after the profile went, the panel shows the switches the program holds.
        {"the settings panel", [](TestableQuiloDlg& dlg) {
             Press(dlg, IDC_SETTINGS);
             Press(OwnedWindow(dlg, "Setting"), IDC_APPLY);
         }, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.writer);
        RemoveAutoRun();
        for (const Key& k : stored) ASSERT_TRUE(WritePrivateProfileStringA(k.section, k.key, k.value, file.c_str()));
        TestableQuiloDlg& dlg = Open();
        ASSERT_TRUE(DeleteFileA(file.c_str()));
        c.write(dlg);

        std::vector<Key> expected = stored;
        for (const Key& w : c.written)
            for (Key& k : expected)
                if (std::string(k.section) == w.section && std::string(k.key) == w.key) k.value = w.value;
        const auto expectProfile = [&] {
            for (const Key& k : expected) {
                char value[32] = {};
                GetPrivateProfileStringA(k.section, k.key, "<missing>", value, sizeof value, file.c_str());
                EXPECT_STREQ(value, k.value) << k.section << " " << k.key;
            }
        };
        expectProfile();

        // The next start is not a first start: nothing the user chose is undone.
        m_dlg.reset();
        TestableQuiloDlg& next = Open();
        char run[256] = {};
        EXPECT_NE(QueryAutoRun(run), 0) << "start with Windows stays off";
        EXPECT_EQ(next.FanAuto(), c.fanAuto);
        expectProfile();
        m_dlg.reset();
        DeleteProfiles();
    }
}

namespace {
// A child's rectangle in its window's client area.
CRect ChildPlace(HWND window, int id)
{
    CRect r;
    ::GetWindowRect(::GetDlgItem(window, id), &r);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void ExpectNear(const CRect& got, const CRect& want, const char* what)
{
    EXPECT_NEAR(got.left, want.left, 1) << what;
    EXPECT_NEAR(got.top, want.top, 1) << what;
    EXPECT_NEAR(got.right, want.right, 1) << what;
    EXPECT_NEAR(got.bottom, want.bottom, 1) << what;
}

void SendDpiChange(HWND window, UINT dpi, const CRect& suggested)
{
    RECT r = suggested;
    ::SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&r));
}
}  // namespace

// Moved to a monitor of 150 %, the window takes the suggested rectangle and
// puts every control at its 96-DPI place scaled; the readouts' places follow
// their readings at the new scale, and panels open at scaled offsets and lay
// themselves out again when their own DPI changes.
TEST_F(MainWindowTest, AChangeOfDpiLaysTheWindowAndItsPanelsOutAgain)
{
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 63);
    dlg.Tick();
    const CScale s(144);
    const CRect suggested(40, 30, 40 + s(926), 30 + s(451));
    SendDpiChange(dlg, 144, suggested);
    EXPECT_EQ(dlg.GetWindowRect(), suggested);
    EXPECT_EQ(dlg.Dpi(), 144u);

    struct Place {
        int id;
        int left, top, width, height;  // at 96 DPI; width 0: sized by its art
    };
    const Place places[] = {
        {IDC_GAUGE, 318, 67, 298, 298},        {IDC_TEMP_PICTURE, 220, 150, 78, 117},
        {IDC_FAN_PICTURE, 230, 291, 122, 91},  {IDC_TEMP_READOUT, 136, 187, 70, 50},
        {IDC_APPLY, 655, 275, 0, 0},           {IDC_CLOSE, 638, 76, 0, 0},
        {IDC_FANCURVE, 123, 381, 0, 0},
    };
    const auto check = [&s](HWND window, const Place& p) {
        const CRect got = ChildPlace(window, p.id);
        const CRect want = p.width ? s.Rect(p.left, p.top, p.width, p.height)
                                   : CRect(s(p.left), s(p.top), s(p.left) + got.Width(), s(p.top) + got.Height());
        ExpectNear(got, want, std::to_string(p.id).c_str());
    };
    for (const Place& p : places) check(dlg, p);
    SimDriver::Get().setTemperature(0, 100);
    dlg.Tick();
    ExpectNear(dlg.ChildRect(IDC_TEMP_READOUT), s.Rect(110, 187, 100, 50), "wide temperature readout");

    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TURBO, BN_CLICKED), 0);
    HWND panel = FindTurboPanel(dlg);
    ASSERT_NE(panel, nullptr);
    CRect placed;
    ::GetWindowRect(panel, &placed);
    EXPECT_EQ(placed.left, suggested.left + s(256));
    EXPECT_EQ(placed.top, suggested.bottom + s(-40));

    const CRect panelSuggested(placed.left, placed.top, placed.left + s(412), placed.top + s(364));
    SendDpiChange(panel, 144, panelSuggested);
    ::GetWindowRect(panel, &placed);
    EXPECT_EQ(placed, panelSuggested);
    const Place panelPlaces[] = {
        {IDC_POWER_READOUT, 334, 100, 43, 24},     {IDC_MEM_OFFSET_READOUT, 334, 238, 43, 24},
        {IDC_OVERCLOCK_NOTE, 22, 61, 370, 29},     {IDC_POWER_SLIDER, 170, 102, 0, 0},
        {IDC_MEM_OFFSET_PLUS, 307, 239, 0, 0},     {IDC_APPLY, 50, 283, 0, 0},
        {IDC_CLOSE, 382, 5, 0, 0},
    };
    for (const Place& p : panelPlaces) check(panel, p);
}
