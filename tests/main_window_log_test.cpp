// The readings log as the main window runs it over the simulated driver: the
// notification-area menu's "Log readings" switch, kept in the profile across a
// restart, and "Open log folder"; one row a second for both cards with the
// fan mode and what the curve wrote; a log that cannot be written raises one
// balloon and the program runs on; others' files in the log folder cost the
// log nothing.

#include <string>
#include <vector>

#include "log/LogFolder.h"
#include "log_files.h"
#include "main_window_fixture.h"
#include "note_closer.h"

using namespace mwtest;

namespace {

// Answers the tray menu with the key queued before it opens.
void ChooseFromTrayMenu(CQuiloDlg& dlg, char key)
{
    PostMessageA(dlg.m_hWnd, WM_CHAR, static_cast<WPARAM>(key), 0);
    dlg.SendMessage(CTrayIcon::kCallbackMessage, CTrayIcon::kIconId, WM_RBUTTONUP);
}

// Whether the open tray menu shows "Log readings" ticked; it is then closed.
HWND g_menuOwner = nullptr;
int g_logItemChecked = -1;
void CALLBACK ReadLogItem(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    HWND menuWindow = FindWindowA("#32768", nullptr);
    HMENU menu = menuWindow ? reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0)) : nullptr;
    if (menu) g_logItemChecked = (GetMenuState(menu, ID_TRAY_LOG, MF_BYCOMMAND) & MF_CHECKED) ? 1 : 0;
    PostMessageA(g_menuOwner, WM_KEYDOWN, VK_ESCAPE, 0);
}

int LogItemChecked(CQuiloDlg& dlg)
{
    g_menuOwner = dlg.m_hWnd;
    g_logItemChecked = -1;
    SetTimer(nullptr, 0, 50, &ReadLogItem);
    dlg.SendMessage(CTrayIcon::kCallbackMessage, CTrayIcon::kIconId, WM_RBUTTONUP);
    return g_logItemChecked;
}

std::vector<std::wstring> g_balloonTitles;
BOOL RecordBalloons(DWORD, NOTIFYICONDATAW* data)
{
    if (data->uFlags & NIF_INFO) g_balloonTitles.push_back(data->szInfoTitle);
    return TRUE;
}

std::wstring g_openedFolder;
bool RecordOpenedFolder(const std::wstring& folder)
{
    g_openedFolder = folder;
    return true;
}

// The cells of each row after the header, as a spreadsheet shows them.
std::vector<std::vector<std::string>> Rows(const std::string& text)
{
    std::vector<std::vector<std::string>> rows = OpenInSpreadsheet(text, ';');
    if (!rows.empty()) rows.erase(rows.begin());
    return rows;
}

class MainWindowLogTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        m_folder = DefaultLogFolder();
        ASSERT_FALSE(m_folder.empty());
        RemoveLogFolder(m_folder);
        SetLogNow(2024, 5, 1, 14, 3, 7);
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        SetLogClock(nullptr, std::nullopt);
        CReadingsLog::SetOpenFolderHook(nullptr);
        CTrayIcon::SetNotifyHook(nullptr);
        RemoveLogFolder(m_folder);
    }
    // A refresh at that second, its rows handled.
    void TickAt(int second)
    {
        SetLogNow(2024, 5, 1, 14, 3, second);
        m_dlg->Tick();
        m_dlg->m_readingsLog.WaitWritten();
    }
    std::string LogSwitch() const
    {
        char value[16] = {};
        GetPrivateProfileStringA("Log", "Enabled", "<missing>", value, sizeof value,
                                 Profile("Quilo_ID2684.ini").c_str());
        return value;
    }
    std::string Today() const { return ReadText(m_folder + L"\\Q-Surge-2024-05-01.csv"); }

    std::wstring m_folder;
};

TEST_F(MainWindowLogTest, TheLogSwitchInTheTrayMenuIsKeptAcrossARestart)
{
    TestableQuiloDlg* dlg = &Open();
    TickAt(7);
    EXPECT_EQ(Today(), "<missing>") << "off until the user turns it on";
    EXPECT_EQ(LogItemChecked(*dlg), 0);
    ChooseFromTrayMenu(*dlg, 'l');
    EXPECT_EQ(LogSwitch(), "1");
    TickAt(8);
    // The menu's loop runs the window's refreshes, here within the same second.
    EXPECT_EQ(LogItemChecked(*dlg), 1);
    EXPECT_EQ(Rows(Today()).size(), 1u);

    m_dlg.reset();
    dlg = &Open();
    TickAt(9);
    EXPECT_EQ(LogItemChecked(*dlg), 1);
    const auto rows = Rows(Today());
    ASSERT_EQ(rows.size(), 2u) << "on again after the restart, appending to the day's file";
    EXPECT_EQ(rows[1][0], "2024-05-01T14:03:09+02:00");

    ChooseFromTrayMenu(*dlg, 'l');
    EXPECT_EQ(LogSwitch(), "0");
    TickAt(10);
    m_dlg.reset();
    Open();
    TickAt(11);
    EXPECT_EQ(Rows(Today()).size(), 2u) << "off, and still off after the restart";
}

TEST_F(MainWindowLogTest, EachSecondLogsBothCardsWithTheirFanModeAndWhatTheCurveWrote)
{
    ASSERT_TRUE(SimDriver::UseScenario(kTwoCardsScenario));
    WritePrivateProfileStringA("Log", "Enabled", "1", Profile("Quilo_ID2684.ini").c_str());
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 50);
    SimDriver::Get().setTemperature(1, 66);
    SimDriver::Get().setFanLevel(1, 0, 77);
    TickAt(7);
    TickAt(7);  // the same second: no second row
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    TickAt(8);
    SimDriver::Get().setFault(NvId::GetThermalSettings, -1);
    TickAt(9);

    const auto rows = Rows(Today());
    ASSERT_EQ(rows.size(), 6u);
    struct Expected {
        const char* time;
        const char* gpu;
        const char* temperature;
        const char* fanMode;
        const char* written;
    };
    // 50 degrees C is in the default curve's 60 % step.
    const Expected expected[] = {
        {"2024-05-01T14:03:07+02:00", "0", "50", "auto", ""},
        {"2024-05-01T14:03:07+02:00", "1", "66", "auto", ""},
        {"2024-05-01T14:03:08+02:00", "0", "50", "curve", "fan 60%"},
        {"2024-05-01T14:03:08+02:00", "1", "66", "auto", ""},
        {"2024-05-01T14:03:09+02:00", "0", "", "curve", ""},
        {"2024-05-01T14:03:09+02:00", "1", "", "auto", ""},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(rows[i].size(), 9u);
        EXPECT_EQ(rows[i][0], expected[i].time);
        EXPECT_EQ(rows[i][1], expected[i].gpu);
        EXPECT_EQ(rows[i][2], expected[i].temperature);
        EXPECT_EQ(rows[i][6], expected[i].fanMode);
        EXPECT_EQ(rows[i][7], expected[i].written);
    }
    EXPECT_EQ(rows[1][3], "77");
    // A second's readings are taken once, before the curve writes in that tick.
    EXPECT_EQ(rows[4][3], "60") << "the level the curve wrote, read back the next second";
    EXPECT_EQ(rows[4][8], "60%");
    EXPECT_EQ(rows[1][8], "77%") << "every fan: an older card's one";
}

TEST_F(MainWindowLogTest, OpenLogFolderOpensTheUsersLogFolder)
{
    CReadingsLog::SetOpenFolderHook(&RecordOpenedFolder);
    TestableQuiloDlg& dlg = Open();
    ChooseFromTrayMenu(dlg, 'f');
    EXPECT_EQ(g_openedFolder, m_folder);
    const std::wstring tail = L"\\Q-Surge\\logs";
    EXPECT_EQ(m_folder.compare(m_folder.size() - tail.size(), tail.size(), tail), 0);
    EXPECT_TRUE(Exists(m_folder)) << "made when missing, so that there is something to open";
}

TEST_F(MainWindowLogTest, ALogThatCannotBeWrittenRaisesOneBalloonAndResumes)
{
    g_balloonTitles.clear();
    CTrayIcon::SetNotifyHook(&RecordBalloons);
    WritePrivateProfileStringA("Log", "Enabled", "1", Profile("Quilo_ID2684.ini").c_str());
    CreateLogFolder(m_folder.substr(0, m_folder.rfind(L'\\')));
    HANDLE blocker = CreateFileW(m_folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(blocker, INVALID_HANDLE_VALUE);
    CloseHandle(blocker);
    TestableQuiloDlg& dlg = Open();
    for (int second = 7; second < 12; ++second) TickAt(second);
    EXPECT_EQ(g_balloonTitles, std::vector<std::wstring>{L"Q-Surge: logging paused"});
    EXPECT_TRUE(dlg.IsWindowVisible()) << "the program runs on";

    DeleteFileW(m_folder.c_str());
    TickAt(12);
    const auto rows = Rows(Today());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "2024-05-01T14:03:12+02:00");
    EXPECT_EQ(g_balloonTitles.size(), 1u);
}

TEST_F(MainWindowLogTest, ASpreadsheetBiggerThanTheLimitInTheFolderCostsNoLogAndNoBalloon)
{
    g_balloonTitles.clear();
    CTrayIcon::SetNotifyHook(&RecordBalloons);
    WritePrivateProfileStringA("Log", "Enabled", "1", Profile("Quilo_ID2684.ini").c_str());
    ASSERT_EQ(CreateLogFolder(m_folder), static_cast<unsigned long>(ERROR_SUCCESS));
    const std::vector<std::wstring> earlier = {L"Q-Surge-2024-04-28.csv", L"Q-Surge-2024-04-29.csv",
                                               L"Q-Surge-2024-04-30.csv"};
    for (const std::wstring& name : earlier) ASSERT_TRUE(MakeFile(m_folder + L"\\" + name, 2000, "\r\n"));
    ASSERT_TRUE(MakeFile(m_folder + L"\\readings.xlsx", kLogFolderLimit + 1));
    Open();
    for (int second = 7; second < 10; ++second) TickAt(second);

    std::vector<std::wstring> expected = earlier;
    expected.push_back(L"Q-Surge-2024-05-01.csv");
    expected.push_back(L"readings.xlsx");
    EXPECT_EQ(FilesIn(m_folder), expected);
    EXPECT_EQ(Rows(Today()).size(), 3u) << "a row a second";
    EXPECT_TRUE(g_balloonTitles.empty());
}

}  // namespace

// The settings panel's GPU list is the one place the card is chosen: by the
// next refresh the curve drives the new card's fan, the log says so, and a
// preset with "Sync all GPUs" off goes to that card.
TEST_F(MainWindowLogTest, ChoosingGpu2MovesTheCurvesFanTheLogsRowsAndAnUnsynchronisedPreset)
{
    ASSERT_TRUE(SimDriver::UseScenario(kTwoCardsScenario));
    const std::string profile = Profile("Quilo_ID2684.ini");
    for (const auto& [key, value] : {std::pair<const char*, const char*>{"Initialized", "1"}, {"Launch", "0"},
                                     {"Minisize", "0"}, {"OverClock", "0"}, {"Synchronization", "0"}})
        WritePrivateProfileStringA("System", key, value, profile.c_str());
    WritePrivateProfileStringA("Log", "Enabled", "1", profile.c_str());
    TestableQuiloDlg& dlg = Open();
    SimDriver::Get().setTemperature(0, 50);
    SimDriver::Get().setTemperature(1, 50);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    TickAt(7);

    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SETTINGS, BN_CLICKED), 0);
    HWND settings = nullptr;
    for (HWND h = FindWindowExA(nullptr, nullptr, "#32770", "Setting"); h && !settings;
         h = FindWindowExA(nullptr, h, "#32770", "Setting"))
        if (GetWindow(h, GW_OWNER) == dlg.m_hWnd) settings = h;
    ASSERT_NE(settings, nullptr);
    const HWND list = GetDlgItem(settings, IDC_GPU_LIST);
    SendMessageA(list, CB_SETCURSEL, 1, 0);
    SendMessageA(settings, WM_COMMAND, MAKEWPARAM(IDC_GPU_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    SimDriver::Get().clearLog();
    TickAt(8);

    // The first card's fan back to the driver, the second's on the curve's 60 %.
    std::vector<std::pair<int, int>> coolerWrites;  // (GPU, policy)
    for (const NvSimCall& call : SimDriver::Calls(NvId::SetCoolerLevels)) coolerWrites.emplace_back(call.gpu, call.values[2]);
    EXPECT_EQ(coolerWrites, (std::vector<std::pair<int, int>>{{0, static_cast<int>(kNvCoolerPolicyAuto)},
                                                               {1, static_cast<int>(kNvCoolerPolicyManual)}}));
    const auto rows = Rows(Today());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][6], "curve");
    EXPECT_EQ(rows[1][6], "auto");
    EXPECT_EQ(rows[2][1], "0");
    EXPECT_EQ(rows[2][6], "auto");
    EXPECT_EQ(rows[3][1], "1");
    EXPECT_EQ(rows[3][6], "curve");
    EXPECT_EQ(rows[3][7], "fan 60%");

    SimDriver::Get().clearLog();
    CloseNoteWhenShown();
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
    ASSERT_TRUE(LastNote().shown);
    std::vector<int> overclocked;
    for (const NvSimCall& call : SimDriver::Calls())
        if (call.interfaceId == NvId::SetPstates20 || call.interfaceId == NvId::SetPowerPolicyStatus)
            overclocked.push_back(call.gpu);
    EXPECT_EQ(overclocked, (std::vector<int>{1, 1})) << "offsets, then power target, to GPU 2 alone";
    EXPECT_EQ(dlg.TurboPanel(), nullptr) << "a preset needs no overclock panel";

    // The switch hands the fan the curve drives now back: GPU 2's.
    SimDriver::Get().clearLog();
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_FAN_MODE, BN_CLICKED), 0);
    const auto handedBack = SimDriver::Calls(NvId::SetCoolerLevels);
    ASSERT_EQ(handedBack.size(), 1u);
    EXPECT_EQ(handedBack[0].gpu, 1);
    EXPECT_EQ(handedBack[0].values[2], static_cast<int>(kNvCoolerPolicyAuto));
}
