// The settings panel over the simulated driver: its switches against the Run
// entry and the profile, and the GPU list.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "framework/Art.h"
#include "framework/Dpi.h"
#include "framework/Resources.h"
#include "message_listener.h"
#include "panels/CDlgSetting.h"
#include "profile/AutoRun.h"
#include "registry_scratch.h"
#include "res/resource.h"
#include "sim_driver.h"
#include "test_files.h"
#include "window_pixels.h"

namespace {

const char* const kTwoGpus = "[Simulator]\nGpuCount=2\n[Gpu]\nLoad=0\nLoadAmplitude=0\n";

std::string ProfilePath()
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "qsurge_settings_" + std::to_string(GetCurrentProcessId()) + ".ini";
}

std::string ReadKey(const char* key)
{
    char value[16] = {};
    GetPrivateProfileStringA("System", key, "<missing>", value, sizeof value, ProfilePath().c_str());
    return value;
}

bool RunEntryPresent()
{
    char buffer[256];
    return QueryAutoRun(buffer) == 0;
}

class SettingsPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(SimDriver::Get().load, nullptr) << "simulated driver missing";
        ASSERT_TRUE(SimDriver::UseScenario(kTwoGpus));
        ASSERT_EQ(m_gpu.Initialize(), 0);
        DeleteFileA(ProfilePath().c_str());
        RemoveAutoRun();
    }
    void TearDown() override
    {
        m_panel.reset();
        DeleteFileA(ProfilePath().c_str());
        RemoveAutoRun();
    }
    CDlgSetting& Open(CGpuControl* gpu)
    {
        m_panel = std::make_unique<CDlgSetting>();
        m_panel->SetProfilePath(Widen(ProfilePath()));
        m_panel->SetGpuControl(gpu);
        EXPECT_TRUE(m_panel->Create(IDD_SETTINGS));
        m_panel->ShowWindow(SW_SHOW);
        return *m_panel;
    }
    void Press(int id)
    {
        m_panel->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(m_panel->GetDlgItem(id)));
    }
    // Whether the switch shows its "on" image (off otherwise), read from the screen.
    bool ShowsOn(int id)
    {
        ::RedrawWindow(*m_panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        const WindowPixels shown = CaptureClient(m_panel->GetDlgItem(id));
        CBitmap on = LoadArt(IDB_SWITCH_ON, kBaseDpi);
        CBitmap off = LoadArt(IDB_SWITCH_OFF, kBaseDpi);
        const bool isOn = CaptureBitmap(on).pixels == shown.pixels;
        EXPECT_NE(isOn, CaptureBitmap(off).pixels == shown.pixels) << "switch " << id << " shows neither image";
        return isOn;
    }

    CGpuControl m_gpu;
    std::unique_ptr<CDlgSetting> m_panel;
};

}  // namespace

TEST_F(SettingsPanelTest, LaunchShowsTheRunEntryTheOthersTheProfile)
{
    const std::string profile = ProfilePath();
    WritePrivateProfileStringA("System", "Launch", "0", profile.c_str());
    WritePrivateProfileStringA("System", "Minisize", "1", profile.c_str());
    WritePrivateProfileStringA("System", "OverClock", "0", profile.c_str());
    WritePrivateProfileStringA("System", "Synchronization", "1", profile.c_str());
    ASSERT_EQ(SetAutoRun(), ERROR_SUCCESS);
    CDlgSetting& panel = Open(&m_gpu);
    EXPECT_EQ(panel.GetWindowText(), "Setting");
    EXPECT_EQ(panel.GetWindowRect().Width(), 295);
    EXPECT_EQ(panel.GetWindowRect().Height(), 207);
    EXPECT_TRUE(ShowsOn(IDC_SWITCH_LAUNCH));
    EXPECT_TRUE(ShowsOn(IDC_SWITCH_MINISIZE));
    EXPECT_FALSE(ShowsOn(IDC_SWITCH_OC));
    EXPECT_TRUE(ShowsOn(IDC_SWITCH_ALL));
    m_panel.reset();

    RemoveAutoRun();
    WritePrivateProfileStringA("System", "Launch", "1", profile.c_str());
    Open(&m_gpu);
    EXPECT_FALSE(ShowsOn(IDC_SWITCH_LAUNCH));
}

TEST_F(SettingsPanelTest, SwitchesFlipOnScreenAndApplyStoresThem)
{
    CDlgSetting& panel = Open(&m_gpu);
    for (int id : {IDC_SWITCH_MINISIZE, IDC_SWITCH_OC, IDC_SWITCH_ALL}) Press(id);
    panel.SendMessage(WM_COMMAND, IDCANCEL);  // Esc
    EXPECT_FALSE(panel.IsWindowVisible());
    EXPECT_EQ(ReadKey("Minisize"), "<missing>") << "nothing is stored before Apply";
    EXPECT_EQ(ReadKey("OverClock"), "<missing>");

    panel.ShowWindow(SW_SHOW);
    EXPECT_TRUE(ShowsOn(IDC_SWITCH_MINISIZE));
    EXPECT_TRUE(ShowsOn(IDC_SWITCH_OC));
    EXPECT_TRUE(ShowsOn(IDC_SWITCH_ALL));
    Press(IDC_SWITCH_ALL);
    Press(IDC_APPLY);
    EXPECT_TRUE(panel.IsWindowVisible());
    EXPECT_EQ(ReadKey("Launch"), "0");
    EXPECT_EQ(ReadKey("Minisize"), "1");
    EXPECT_EQ(ReadKey("OverClock"), "1");
    EXPECT_EQ(ReadKey("Synchronization"), "0");
    Press(IDC_CLOSE);
    EXPECT_FALSE(panel.IsWindowVisible());
}

TEST_F(SettingsPanelTest, LaunchWritesAndDeletesTheRunEntryOnApply)
{
    Open(&m_gpu);
    Press(IDC_SWITCH_LAUNCH);
    EXPECT_FALSE(RunEntryPresent()) << "not before Apply";
    Press(IDC_APPLY);
    EXPECT_TRUE(RunEntryPresent());
    EXPECT_TRUE(ShowsOn(IDC_SWITCH_LAUNCH));
    EXPECT_EQ(ReadKey("Launch"), "1");

    Press(IDC_SWITCH_LAUNCH);
    Press(IDC_APPLY);
    EXPECT_FALSE(RunEntryPresent());
    EXPECT_EQ(ReadKey("Launch"), "0");
    Press(IDC_APPLY);  // the delete fails now, and nothing else changes
    EXPECT_FALSE(RunEntryPresent());
    EXPECT_FALSE(ShowsOn(IDC_SWITCH_LAUNCH));
    EXPECT_EQ(ReadKey("Launch"), "0");
}

// Without administrator rights the machine-wide key refuses the write.
TEST_F(SettingsPanelTest, LaunchFallsBackToTheUsersKeyAndShowsWhatTheRegistryHolds)
{
    ScratchRunRoot machine(HKEY_LOCAL_MACHINE, "Machine");
    ScratchRunRoot user(HKEY_CURRENT_USER, "User");
    ASSERT_TRUE(machine.Ready() && user.Ready());
    ASSERT_TRUE(machine.Lock());
    Open(&m_gpu);
    Press(IDC_SWITCH_LAUNCH);
    Press(IDC_APPLY);
    EXPECT_EQ(machine.Value(), "<none>");
    EXPECT_NE(user.Value(), "<none>");
    EXPECT_TRUE(ShowsOn(IDC_SWITCH_LAUNCH));
    EXPECT_EQ(ReadKey("Launch"), "1");

    Press(IDC_SWITCH_LAUNCH);
    Press(IDC_APPLY);
    EXPECT_EQ(user.Value(), "<none>");

    // Where no key takes the entry, the switch and the profile say so.
    ASSERT_TRUE(user.Lock());
    Press(IDC_SWITCH_LAUNCH);
    Press(IDC_APPLY);
    EXPECT_FALSE(ShowsOn(IDC_SWITCH_LAUNCH));
    EXPECT_EQ(ReadKey("Launch"), "0");
}

TEST_F(SettingsPanelTest, GpuListSelectsTheGpuAtOnce)
{
    CDlgSetting& panel = Open(&m_gpu);
    const HWND list = panel.GetDlgItem(IDC_GPU_LIST);
    ASSERT_EQ(::SendMessageA(list, CB_GETCOUNT, 0, 0), 2);
    char text[16] = {};
    ::SendMessageA(list, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "GPU 2");
    EXPECT_EQ(::SendMessageA(list, CB_GETCURSEL, 0, 0), 0);

    ::SendMessageA(list, CB_SETCURSEL, 1, 0);
    panel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_GPU_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(m_gpu.m_gpuIndex, 1);
    EXPECT_EQ(ReadKey("Launch"), "<missing>") << "the choice needs no Apply";
    m_panel.reset();

    Open(&m_gpu);  // a new panel shows the selection in force
    EXPECT_EQ(::SendMessageA(m_panel->GetDlgItem(IDC_GPU_LIST), CB_GETCURSEL, 0, 0), 1);
}

TEST_F(SettingsPanelTest, WithoutGpusTheListIsEmpty)
{
    CGpuControl none;  // never initialised: no GPUs
    for (CGpuControl* gpu : {&none, static_cast<CGpuControl*>(nullptr)}) {
        CDlgSetting& panel = Open(gpu);
        const HWND list = panel.GetDlgItem(IDC_GPU_LIST);
        EXPECT_EQ(::SendMessageA(list, CB_GETCOUNT, 0, 0), 0);
        panel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_GPU_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        EXPECT_EQ(none.m_gpuIndex, 0);
    }
}

// High contrast switched on or off while the panel is open: the list, a
// common control, learns of it from the panel as it does of any change of the
// system's colours or settings.
TEST_F(SettingsPanelTest, TheGpuListHearsOfColourAndSettingChanges)
{
    CDlgSetting& panel = Open(&m_gpu);
    MessageListener list(panel.GetDlgItem(IDC_GPU_LIST), {WM_SYSCOLORCHANGE, WM_SETTINGCHANGE});
    panel.SendMessage(WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST);
    panel.SendMessage(WM_SYSCOLORCHANGE);
    const auto& heard = list.HeardSoFar();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].message, static_cast<UINT>(WM_SETTINGCHANGE));
    EXPECT_EQ(heard[0].wParam, static_cast<WPARAM>(SPI_SETHIGHCONTRAST));
    EXPECT_EQ(heard[1].message, static_cast<UINT>(WM_SYSCOLORCHANGE));
}

// The GPU list is drawn in the skin's colours, not as a stock white box: a
// dark field with light text; its entries' height follows the DPI, and it
// answers with the entry it shows.
TEST_F(SettingsPanelTest, TheGpuListIsDrawnInTheSkinsColoursAtEveryDpi)
{
    CDlgSetting& panel = Open(&m_gpu);
    const HWND list = panel.GetDlgItem(IDC_GPU_LIST);
    ::SendMessageA(list, CB_SETCURSEL, 1, 0);
    char text[16] = {};
    ::SendMessageA(list, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "GPU 2");
    // The panel's outline is its skin's; here only the list is looked at.
    ::SetWindowRgn(panel, nullptr, TRUE);
    for (UINT dpi : {96u, 144u, 192u}) {
        SCOPED_TRACE(dpi);
        if (dpi != 96) {
            CRect window = panel.GetWindowRect();
            RECT suggested{window.left, window.top, window.left + ScaleToDpi(295, dpi),
                           window.top + ScaleToDpi(207, dpi)};
            panel.SendMessage(WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        }
        const int height = ScaleToDpi(18, dpi);
        EXPECT_GE(::SendMessageA(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0), height);
        EXPECT_EQ(::SendMessageA(list, CB_GETITEMHEIGHT, 0, 0), height);
        ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        const WindowPixels shown = CaptureClient(list);
        ASSERT_GT(shown.width, 0);
        EXPECT_EQ(shown.Count(RGB(255, 255, 255)), 0) << "no white box";
        EXPECT_GT(shown.Count(CGpuList::kField), shown.width * height / 3) << "a dark field";
        // The letters: pixels much lighter than the field, smoothed edges
        // included, in the left half (the arrow is at the right).
        RECT letters{shown.width, shown.height, 0, 0};
        for (int y = 0; y < shown.height; ++y) {
            for (int x = 0; x < shown.width / 2; ++x) {
                if (GetGValue(shown.At(x, y)) < 128) continue;
                letters = {std::min<LONG>(letters.left, x), std::min<LONG>(letters.top, y),
                           std::max<LONG>(letters.right, x + 1), std::max<LONG>(letters.bottom, y + 1)};
            }
        }
        EXPECT_GE(letters.right - letters.left, ScaleToDpi(20, dpi)) << "light text";
        EXPECT_GE(letters.bottom - letters.top, ScaleToDpi(7, dpi)) << "letters grow with the DPI";
    }
}
