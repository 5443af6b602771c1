// Every window from the keyboard, with real key presses run through the
// program's loop: Enter never ends the program, Tab and Shift+Tab go round in
// reading order, Space and Enter press, Esc and Alt+F4 close as the close keys do,
// the focus comes back where it was, the focus mark shows only once the
// keyboard is used, the sliders, the curve grid and the GPU list take their keys.
#include <functional>
#include <string>
#include <vector>

#include "bitmap_controls_support.h"
#include "controls/CBitmapSlider.h"
#include "key_input.h"
#include "main_window_fixture.h"

using namespace mwtest;
using keys::FocusedId;
using keys::Press;

namespace {

const std::vector<int> kMainOrder = {IDC_SETTINGS, IDC_MINIMIZE,  IDC_CLOSE,    IDC_PRESET_3,
                                     IDC_PRESET_5, IDC_PRESET_10, IDC_APPLY,    IDC_RESET,
                                     IDC_FAN_MODE, IDC_HWM,       IDC_TURBO,    IDC_FANCURVE};

// A panel the main window owns, by its title.
HWND Panel(HWND main, const char* title)
{
    for (HWND h = ::FindWindowExA(nullptr, nullptr, "#32770", title); h;
         h = ::FindWindowExA(nullptr, h, "#32770", title))
        if (::GetWindow(h, GW_OWNER) == main) return h;
    return nullptr;
}

void Focus(HWND dialog, int id) { ::SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, id)), TRUE); }

// Presses a key of the window from the keyboard: the focus goes to it, then Enter.
void EnterOn(HWND dialog, int id)
{
    Focus(dialog, id);
    Press(VK_RETURN);
}

std::string Text(HWND dialog, int id)
{
    char text[32] = {};
    ::GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// The skins' cyan of the focus mark.
constexpr COLORREF kMark = RGB(0, 200, 240);

int MarkPixels(HWND control) { return CaptureClient(control).Count(kMark); }

class KeyboardTest : public MainWindowTest {
protected:
    // A real press of the mouse's button on a window of the test: the last
    // input is the mouse's, as when the program starts.
    static void ClickWithTheMouse()
    {
        HWND target = ::CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE | SS_NOTIFY, 0, 0, 40, 40,
                                        nullptr, nullptr, nullptr, nullptr);
        keys::RunMessages(20);
        bctest::MouseInput(POINT{20, 20}, MOUSEEVENTF_LEFTDOWN);
        bctest::MouseInput(POINT{20, 20}, MOUSEEVENTF_LEFTUP);
        keys::RunMessages();
        ::DestroyWindow(target);
    }
    TestableQuiloDlg& OpenInFront()
    {
        TestableQuiloDlg& dlg = Open();
        keys::BringToFront(dlg);
        return dlg;
    }
    // Opens a panel with its key in the main window; the panel is in front then.
    HWND OpenPanel(int key, const char* title)
    {
        EnterOn(*m_dlg, key);
        HWND panel = Panel(*m_dlg, title);
        EXPECT_NE(panel, nullptr) << title;
        EXPECT_EQ(::GetForegroundWindow(), panel) << title;
        return panel;
    }
};

}  // namespace

// The dialog's OK ended its modal loop, and the program, whatever had the focus.
namespace {
struct ModalRun {
    CQuiloDlg* dlg = nullptr;
    int fanModeAfterEnter = -1;
    bool aliveAfterEnter = false;
    int step = 0;
};
ModalRun g_run;

void CALLBACK DriveModal(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND main = g_run.dlg->m_hWnd;
    if (g_run.step++ == 0) {
        ::SetForegroundWindow(main);
        Focus(main, IDC_FAN_MODE);
        keys::Send(VK_RETURN, false);
        keys::Send(VK_RETURN, true);
        return;  // the modal loop itself takes the key
    }
    ::KillTimer(nullptr, id);
    g_run.aliveAfterEnter = ::IsWindow(main) && ::IsWindowVisible(main);
    g_run.fanModeAfterEnter = static_cast<TestableQuiloDlg*>(g_run.dlg)->FanAuto();
    keys::Send(VK_MENU, false);
    keys::Send(VK_F4, false);
    keys::Send(VK_F4, true);
    keys::Send(VK_MENU, true);
}
}  // namespace

TEST_F(KeyboardTest, EnterPressesTheFocusedSwitchAndTheProgramGoesOnUntilAltF4)
{
    TestableQuiloDlg dlg;
    g_run = ModalRun{&dlg};
    ::SetTimer(nullptr, 0, 300, &DriveModal);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(g_run.aliveAfterEnter) << "Enter must not end the program";
    EXPECT_EQ(g_run.fanModeAfterEnter, 0) << "Enter switches the fan to the curve";
    // Alt+F4 ended it as the close key does: the fan went back to the driver.
    const auto writes = CoolerWrites();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().second, 32);
}

TEST_F(KeyboardTest, TabGoesRoundEveryWindowInReadingOrder)
{
    TestableQuiloDlg& dlg = OpenInFront();
    EXPECT_EQ(FocusedId(), kMainOrder.front()) << "the first key in reading order has the focus first";
    Focus(dlg, kMainOrder.back());
    EXPECT_EQ(keys::TabRound(kMainOrder.size()), kMainOrder);
    std::vector<int> backwards(kMainOrder.rbegin() + 1, kMainOrder.rend());
    backwards.push_back(kMainOrder.back());
    EXPECT_EQ(keys::TabRound(kMainOrder.size(), true), backwards);

    struct Case {
        int key;
        const char* title;
        std::vector<int> order;
    };
    const Case panels[] = {
        {IDC_TURBO, "Q-Surge",
         {IDC_MINIMIZE, IDC_CLOSE, IDC_POWER_MINUS, IDC_POWER_SLIDER, IDC_POWER_PLUS, IDC_FRAME_MINUS,
          IDC_FRAME_SLIDER, IDC_FRAME_PLUS, IDC_GPU_OFFSET_MINUS, IDC_GPU_OFFSET_SLIDER, IDC_GPU_OFFSET_PLUS,
          IDC_MEM_OFFSET_MINUS, IDC_MEM_OFFSET_SLIDER, IDC_MEM_OFFSET_PLUS, IDC_APPLY, IDC_RESET}},
        {IDC_FANCURVE, "Fan Curve", {IDC_MINIMIZE, IDC_CLOSE, IDC_CURVE, IDC_APPLY, IDC_RESET}},
        {IDC_SETTINGS, "Setting",
         {IDC_MINIMIZE, IDC_CLOSE, IDC_SWITCH_LAUNCH, IDC_SWITCH_MINISIZE, IDC_SWITCH_OC, IDC_GPU_LIST,
          IDC_SWITCH_ALL, IDC_APPLY}},
        {IDC_HWM, "Information", {IDC_MINIMIZE, IDC_CLOSE}},
    };
    for (const Case& c : panels) {
        SCOPED_TRACE(c.title);
        keys::BringToFront(dlg);
        HWND panel = OpenPanel(c.key, c.title);
        EXPECT_EQ(FocusedId(), c.order.front());
        Focus(panel, c.order.back());
        EXPECT_EQ(keys::TabRound(c.order.size()), c.order);
        EXPECT_TRUE(::IsChild(panel, ::GetFocus()));
    }
    // The monitor panel opened with the information panel.
    HWND monitor = Panel(dlg, "HWM");
    keys::BringToFront(monitor);
    Focus(monitor, IDC_CLOSE);
    EXPECT_EQ(keys::TabRound(2), (std::vector<int>{IDC_MINIMIZE, IDC_CLOSE}));
}

TEST_F(KeyboardTest, SpaceAndEnterPressKeysAndSwitches)
{
    TestableQuiloDlg& dlg = OpenInFront();
    for (WORD key : {VK_SPACE, VK_RETURN}) {
        SCOPED_TRACE(key == VK_SPACE ? "Space" : "Enter");
        const int before = dlg.FanAuto();
        Focus(dlg, IDC_FAN_MODE);
        Press(key);
        EXPECT_EQ(dlg.FanAuto(), !before);
        EXPECT_TRUE(dlg.IsWindowVisible());
    }
    // Enter off any key (here a readout made focusable for the test) does nothing.
    const HWND readout = dlg.GetDlgItem(IDC_TEMP_READOUT);
    ::SetFocus(readout);
    Press(VK_RETURN);
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_EQ(::GetFocus(), readout);

    HWND settings = OpenPanel(IDC_SETTINGS, "Setting");
    const WindowPixels off = CaptureClient(::GetDlgItem(settings, IDC_SWITCH_OC));
    Focus(settings, IDC_SWITCH_OC);
    Press(VK_SPACE);
    EXPECT_NE(CaptureClient(::GetDlgItem(settings, IDC_SWITCH_OC)).pixels, off.pixels) << "the switch turned on";
    EXPECT_TRUE(::IsWindowVisible(settings));
}

TEST_F(KeyboardTest, EscClosesPanelsAndEndsTheProgramFromTheMainWindowAsItsCloseKey)
{
    TestableQuiloDlg& dlg = OpenInFront();
    HWND turbo = OpenPanel(IDC_TURBO, "Q-Surge");
    Press(VK_ESCAPE);
    EXPECT_FALSE(::IsWindowVisible(turbo));
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_TRUE(CoolerWrites().empty()) << "closing a panel ends nothing";

    keys::BringToFront(dlg);
    EnterOn(dlg, IDC_FAN_MODE);  // the fan follows the curve
    Press(VK_ESCAPE);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_FALSE(TrayIconExists(dlg)) << "ended, not hidden in the notification area";
    const auto writes = CoolerWrites();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().second, 32) << "the fan went back to the driver";
}

TEST_F(KeyboardTest, AltF4ClosesAPanelAsItsCloseKeyAndTheMainWindowEndsTheProgram)
{
    TestableQuiloDlg& dlg = OpenInFront();
    HWND curve = OpenPanel(IDC_FANCURVE, "Fan Curve");
    Press(VK_F4, {VK_MENU});
    EXPECT_FALSE(::IsWindowVisible(curve));
    EXPECT_TRUE(::IsWindow(curve)) << "a closed panel keeps its window";

    keys::BringToFront(dlg);
    EnterOn(dlg, IDC_FAN_MODE);  // the fan follows the curve
    Press(VK_F4, {VK_MENU});
    EXPECT_FALSE(dlg.IsWindowVisible());
    const auto writes = CoolerWrites();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().second, 32) << "the fan went back to the driver";
}

TEST_F(KeyboardTest, TheFocusComesBackWhereItWasWhenAWindowIsShownAgain)
{
    TestableQuiloDlg& dlg = OpenInFront();
    HWND turbo = OpenPanel(IDC_TURBO, "Q-Surge");
    Focus(turbo, IDC_GPU_OFFSET_SLIDER);
    Press(VK_ESCAPE);  // a slider takes every key but Tab and Esc
    EXPECT_FALSE(::IsWindowVisible(turbo));
    keys::BringToFront(dlg);
    EXPECT_EQ(FocusedId(), IDC_TURBO);
    Focus(dlg, IDC_FANCURVE);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MINIMIZE, BN_CLICKED));  // to the notification area
    dlg.SendMessage(CTrayIcon::kCallbackMessage, 128, WM_LBUTTONDBLCLK);
    keys::RunMessages(300);  // the display's own news of the window shown
    EXPECT_EQ(::GetForegroundWindow(), dlg.m_hWnd);
    EXPECT_EQ(FocusedId(), IDC_FANCURVE);

    EnterOn(dlg, IDC_TURBO);
    EXPECT_EQ(::GetForegroundWindow(), turbo);
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(turbo, IDC_GPU_OFFSET_SLIDER));
}

TEST_F(KeyboardTest, TheFocusMarkShowsOnlyOnceTheKeyboardIsUsed)
{
    ClickWithTheMouse();
    TestableQuiloDlg& dlg = Open();
    dlg.KillTimer(2);  // readings that change are not what this looks at
    ::SetForegroundWindow(dlg);
    dlg.PaintPending();
    // Clicked with the mouse, a key takes the focus and shows no mark.
    const HWND preset = dlg.GetDlgItem(IDC_PRESET_3);
    const WindowPixels before = CaptureClient(dlg);
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PRESET_3, BN_CLICKED), reinterpret_cast<LPARAM>(preset));
    keys::RunMessages();
    dlg.PaintPending();
    ASSERT_EQ(::GetFocus(), preset);
    EXPECT_EQ(CaptureClient(dlg).pixels, before.pixels) << "nothing changes on screen at rest";

    Press(VK_TAB);
    dlg.PaintPending();
    const HWND five = dlg.GetDlgItem(IDC_PRESET_5);
    ASSERT_EQ(::GetFocus(), five);
    EXPECT_GT(MarkPixels(five), 100);
    EXPECT_EQ(MarkPixels(preset), 0) << "only the focused key shows it";

    // A window opened from the keyboard shows it at once; the switch, on or off.
    HWND settings = OpenPanel(IDC_SETTINGS, "Setting");
    Focus(settings, IDC_SWITCH_OC);
    for (int i = 0; i < 2; ++i) {
        Press(VK_SPACE);
        ::RedrawWindow(settings, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        EXPECT_GT(MarkPixels(::GetDlgItem(settings, IDC_SWITCH_OC)), 40);
    }
}

TEST_F(KeyboardTest, SlidersTakeArrowsPagesAndEndsAsTheirKeysDo)
{
    OpenInFront();
    HWND turbo = OpenPanel(IDC_TURBO, "Q-Surge");
    auto* slider = static_cast<CBitmapSlider*>(CWnd::FromHandle(::GetDlgItem(turbo, IDC_POWER_SLIDER)));
    ASSERT_NE(slider, nullptr);
    Focus(turbo, IDC_POWER_SLIDER);
    const int start = slider->GetPos();
    struct Step {
        WORD key;
        int expected;
    };
    const Step steps[] = {
        {VK_RIGHT, start + 1},    {VK_UP, start},       {VK_DOWN, start + 1},     {VK_LEFT, start},
        {VK_PRIOR, start - 20},   {VK_NEXT, start},    {VK_END, slider->GetRangeMax()},
        {VK_HOME, slider->GetRangeMin()},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.key);
        Press(s.key);
        EXPECT_EQ(slider->GetPos(), s.expected);
        EXPECT_EQ(Text(turbo, IDC_POWER_READOUT), std::to_string(s.expected)) << "shown as its keys show it";
    }
    // "+" from the keyboard moves the same value.
    EnterOn(turbo, IDC_POWER_PLUS);
    EXPECT_EQ(slider->GetPos(), slider->GetRangeMin() + 1);
    EXPECT_EQ(Text(turbo, IDC_POWER_READOUT), std::to_string(slider->GetRangeMin() + 1));
    EXPECT_TRUE(::IsWindowVisible(turbo)) << "Enter on a key presses it and leaves the panel open";
}

TEST_F(KeyboardTest, TheCurveGridTakesArrowsSpaceAndDelete)
{
    OpenInFront();
    HWND curve = OpenPanel(IDC_FANCURVE, "Fan Curve");
    const HWND grid = ::GetDlgItem(curve, IDC_CURVE);
    auto steps = [&] {
        char text[128] = {};
        ::GetWindowTextA(grid, text, sizeof text);
        return std::string(text);
    };
    const std::string original = steps();
    ASSERT_EQ(original, "30% to 40C, 60% to 60C, 70% to 80C, 100% to 100C");
    Focus(curve, IDC_CURVE);  // the cursor stands on the first step: column 3, 30 %
    Press(VK_RIGHT);
    Press(VK_SPACE);  // the 30 % step reaches 50 degrees
    EXPECT_EQ(steps(), "30% to 50C, 60% to 60C, 70% to 80C, 100% to 100C");
    Press(VK_DOWN);
    Press(VK_RIGHT);
    Press(VK_SPACE);  // 20 % after 30 %: refused
    EXPECT_EQ(steps(), "30% to 50C, 60% to 60C, 70% to 80C, 100% to 100C");
    for (int i = 0; i < 2; ++i) Press(VK_RIGHT);
    Press(VK_DELETE);  // column 7 emptied, whatever its row
    EXPECT_EQ(steps(), "30% to 50C, 60% to 60C, 100% to 100C");
    for (int i = 0; i < 20; ++i) Press(VK_UP);  // held at the top row
    Press(VK_SPACE);  // 100 % from 70 degrees: covered by the step to the right
    EXPECT_EQ(steps(), "30% to 50C, 60% to 60C, 100% to 100C");
    EXPECT_GT(MarkPixels(grid), 20) << "the cursor shows";

    EnterOn(curve, IDC_RESET);
    EXPECT_EQ(steps(), original);
}

TEST_F(KeyboardTest, TheGpuListOpensWithAltDownAndEscClosesOnlyTheList)
{
    OpenInFront();
    HWND settings = OpenPanel(IDC_SETTINGS, "Setting");
    const HWND list = ::GetDlgItem(settings, IDC_GPU_LIST);
    Focus(settings, IDC_GPU_LIST);
    Press(VK_DOWN, {VK_MENU});
    EXPECT_TRUE(::SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0));
    Press(VK_ESCAPE);
    EXPECT_FALSE(::SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_TRUE(::IsWindowVisible(settings));
    Press(VK_ESCAPE);
    EXPECT_FALSE(::IsWindowVisible(settings));
}
