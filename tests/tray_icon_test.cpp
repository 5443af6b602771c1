// The notification-area icon: the temperature it draws, its tip, the warning
// balloon, coming back after the shell restarts, and hiding only once it is in.
// The shell is asked through the icon's notification seam, which records.
#include <algorithm>
#include <string>
#include <vector>

#include "app/TrayIconArt.h"
#include "dpi_change.h"
#include "dpi_process.h"
#include "framework/Dpi.h"
#include "main_window_fixture.h"

using namespace mwtest;

namespace {

struct Notification {
    DWORD message;
    UINT flags;
    HICON icon;
    std::wstring tip, infoTitle;
};
std::vector<Notification> g_notes;
bool g_refuseAdd = false;
// A second passes between refreshes unless a test holds the clock.
ULONGLONG g_now = 1000000;
ULONGLONG g_step = 1000;
ULONGLONG TestClock() { return g_now += g_step; }

bool g_added = false;  // as the shell keeps it: an icon it has not got takes no change

BOOL RecordNotification(DWORD message, NOTIFYICONDATAW* data)
{
    g_notes.push_back({message, data->uFlags, data->hIcon, data->szTip, data->szInfoTitle});
    if (message == NIM_ADD) {
        if (g_refuseAdd) return FALSE;
        g_added = true;
    } else if (message == NIM_DELETE) {
        g_added = false;
    } else if (message == NIM_MODIFY) {
        return g_added;
    }
    return TRUE;
}

// The digits an icon shows, read off its pixels at the middle of each
// segment; -1 when a segment is neither lit in the colour nor dark.
int ReadNumber(HICON icon, int digits, COLORREF colour)
{
    const int size = ::GetSystemMetrics(SM_CXSMICON);
    CCompatibleDC dc(nullptr);
    void* bits = nullptr;
    CBitmap canvas = CreateTopDownDib(size, size, &bits);
    CSelect select(dc, canvas);
    ::DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    const WindowPixels pixels = CaptureDC(dc, size, size);
    const DigitLayout d = LayoutDigits(size, digits);
    // The seven segments' middles: top, upper right, lower right, bottom, lower left, upper left, middle.
    const int sampleX[7] = {d.width / 2, d.width - 1, d.width - 1, d.width / 2, 0, 0, d.width / 2};
    const int sampleY[7] = {0, d.height / 4, d.height * 3 / 4, d.height - 1, d.height * 3 / 4, d.height / 4,
                            (d.height - d.stroke) / 2};
    const unsigned digitSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    int number = 0;
    for (int i = 0; i < digits; ++i) {
        unsigned lit = 0;
        for (int s = 0; s < 7; ++s) {
            const COLORREF p = pixels.At(d.left + i * (d.width + d.gap) + sampleX[s], d.top + sampleY[s]);
            if (p == colour) lit |= 1u << s;
        }
        const unsigned* found = std::find(std::begin(digitSegments), std::end(digitSegments), lit);
        if (found == std::end(digitSegments)) return -1;
        number = number * 10 + static_cast<int>(found - digitSegments);
    }
    return number;
}

// An icon's pixels at its own size; its size through size.
WindowPixels IconPixels(HICON icon, int& size)
{
    ICONINFO info{};
    size = 0;
    if (!::GetIconInfo(icon, &info)) return {};
    CBitmap colour(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    ::GetObjectA(colour, sizeof bm, &bm);
    size = bm.bmWidth;
    CCompatibleDC dc(nullptr);
    void* bits = nullptr;
    CBitmap canvas = CreateTopDownDib(size, size, &bits);
    CSelect select(dc, canvas);
    ::DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    return CaptureDC(dc, size, size);
}

// Runs of lit pixels along count pixels of a line of the picture.
int LitRuns(const WindowPixels& p, COLORREF lit, int x, int y, int dx, int dy, int count)
{
    int runs = 0;
    bool inRun = false;
    for (; count-- > 0 && x >= 0 && y >= 0 && x < p.width && y < p.height; x += dx, y += dy) {
        const bool on = p.At(x, y) == lit;
        runs += on && !inRun;
        inRun = on;
    }
    return runs;
}

class TrayIconTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        g_notes.clear();
        g_refuseAdd = false;
        g_added = false;
        CTrayIcon::SetNotifyHook(&RecordNotification);
        g_step = 1000;
        CTrayIcon::SetClock(&TestClock);
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        CTrayIcon::SetNotifyHook(nullptr);
        CTrayIcon::SetClock(nullptr);
    }
    // The window hidden in the notification area at that temperature.
    TestableQuiloDlg& OpenHidden(int celsius)
    {
        TestableQuiloDlg& dlg = Open();
        SimDriver::Get().setTemperature(0, celsius);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MINIMIZE, BN_CLICKED), 0);
        dlg.Tick();
        return dlg;
    }
    static std::vector<Notification> Of(UINT flag)
    {
        std::vector<Notification> found;
        for (const Notification& n : g_notes)
            if (n.message == NIM_MODIFY && (n.flags & flag)) found.push_back(n);
        return found;
    }
    static int Count(DWORD message)
    {
        return static_cast<int>(std::count_if(g_notes.begin(), g_notes.end(),
                                              [message](const Notification& n) { return n.message == message; }));
    }
};

}  // namespace

TEST_F(TrayIconTest, TheIconShowsTheTemperatureInItsBandsColour)
{
    struct Case {
        int celsius, digits;
        COLORREF colour;
    };
    const Case cases[] = {
        {0, 2, TemperatureColour(0)},    {9, 2, TemperatureColour(0)},     {63, 2, TemperatureColour(kWarmFrom)},
        {99, 2, TemperatureColour(kHotFrom)}, {100, 3, TemperatureColour(kHotFrom)}, {130, 3, TemperatureColour(kHotFrom)},
    };
    EXPECT_NE(TemperatureColour(kWarmFrom - 1), TemperatureColour(kWarmFrom));
    EXPECT_NE(TemperatureColour(kHotFrom - 1), TemperatureColour(kHotFrom));
    TestableQuiloDlg& dlg = OpenHidden(40);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.celsius);
        g_notes.clear();
        SimDriver::Get().setTemperature(0, c.celsius);
        dlg.Tick();
        const auto pictures = Of(NIF_ICON);
        ASSERT_EQ(pictures.size(), 1u);
        EXPECT_EQ(ReadNumber(pictures[0].icon, c.digits, c.colour), c.celsius);
    }
    // No reading: the application icon, as before there was one.
    g_notes.clear();
    SimDriver::Get().setFault(NvId::GetThermalSettings, -1);
    dlg.Tick();
    const auto pictures = Of(NIF_ICON);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].icon, reinterpret_cast<HICON>(dlg.SendMessage(WM_GETICON, ICON_SMALL)));
}

TEST_F(TrayIconTest, TheIconIsDrawnAgainOnlyWhenItsNumberChangesAndNoIconIsLeaked)
{
    TestableQuiloDlg& dlg = OpenHidden(63);
    auto sweep = [&] {
        for (int celsius = 50; celsius < 80; ++celsius) {
            SimDriver::Get().setTemperature(0, celsius);
            dlg.Tick();
        }
        SimDriver::Get().setTemperature(0, 63);
        dlg.Tick();
    };
    sweep();  // the main window's own pictures of these temperatures are loaded once
    g_notes.clear();
    for (int i = 0; i < 30; ++i) dlg.Tick();
    EXPECT_TRUE(Of(NIF_ICON).empty());
    const int before = LiveGdiObjects();
    sweep();
    EXPECT_EQ(Of(NIF_ICON).size(), 31u);
    EXPECT_EQ(LiveGdiObjects(), before) << "every replaced picture is destroyed";
}

TEST_F(TrayIconTest, TheTipCarriesEveryReadingAtMostOnceASecond)
{
    TestableQuiloDlg& dlg = OpenHidden(63);
    SimDriver::Get().setFanLevel(0, 0, 47);
    const auto tips = Of(NIF_TIP);
    ASSERT_FALSE(tips.empty());
    const std::wstring& tip = tips.back().tip;
    EXPECT_EQ(tip.rfind(L"Quilo\nGPU 63 \u00B0C \u00B7 fan ", 0), 0u) << std::string(tip.begin(), tip.end());
    EXPECT_NE(tip.find(L" MHz"), std::wstring::npos);
    EXPECT_LT(tip.size(), 128u);
    g_notes.clear();
    g_step = 100;  // refreshes a tenth of a second apart
    for (int i = 0; i < 9; ++i) {
        SimDriver::Get().setTemperature(0, 64 + i);
        dlg.Tick();
    }
    EXPECT_TRUE(Of(NIF_TIP).empty()) << "within the second the tip was set";
    EXPECT_TRUE(Of(NIF_ICON).empty()) << "nor the picture";
    dlg.Tick();
    ASSERT_EQ(g_notes.size(), 1u) << "picture and tip in one call";
    EXPECT_EQ(g_notes[0].flags & (NIF_TIP | NIF_ICON), static_cast<UINT>(NIF_TIP | NIF_ICON));
    EXPECT_EQ(g_notes[0].tip.rfind(L"Quilo\nGPU 72 \u00B0C \u00B7 fan 47 %", 0), 0u);
}

TEST_F(TrayIconTest, TheWarningComesOncePerCrossingAndAgainOnlyAfterTheFall)
{
    struct Step {
        int celsius;
        bool warns;
    };
    // Default warning at 90 degrees; it may come again once the card is at 85 or below.
    const Step steps[] = {{89, false}, {90, true}, {95, false}, {86, false}, {91, false},
                          {85, false}, {90, true}, {120, false}};
    for (bool hidden : {true, false}) {
        SCOPED_TRACE(hidden ? "hidden" : "shown");
        TestableQuiloDlg& dlg = hidden ? OpenHidden(40) : Open();
        for (const Step& s : steps) {
            SCOPED_TRACE(s.celsius);
            g_notes.clear();
            SimDriver::Get().setTemperature(0, s.celsius);
            dlg.Tick();
            const auto balloons = Of(NIF_INFO);
            EXPECT_EQ(balloons.size(), s.warns ? 1u : 0u);
            if (s.warns && !balloons.empty()) {
                EXPECT_NE(balloons[0].infoTitle.find(std::to_wstring(s.celsius)), std::wstring::npos);
                // With the window shown a temporary icon carries it, and goes again.
                EXPECT_EQ(Count(NIM_ADD), hidden ? 0 : 1);
                if (!hidden) {
                    g_notes.clear();
                    dlg.TrayIcon().OnBalloonTimer();  // its time is up
                    EXPECT_EQ(Count(NIM_DELETE), 1);
                }
            }
        }
        m_dlg.reset();
    }
}

TEST_F(TrayIconTest, TheWarningTemperatureComesFromItsOwnSectionOfTheProfile)
{
    struct Case {
        const char* value;  // null: no key
        int warnsAt;
    };
    const Case cases[] = {{"70", 70}, {nullptr, 90}, {"abc", 90}, {"200", 90}, {"-5", 90}, {"75x", 90}};
    const std::string file = Profile("Quilo_ID2684.ini");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "missing");
        DeleteProfiles();
        WritePrivateProfileStringA("System", "Initialized", "1", file.c_str());
        if (c.value) WritePrivateProfileStringA("Warning", "Temperature", c.value, file.c_str());
        TestableQuiloDlg& dlg = OpenHidden(c.warnsAt - 1);
        g_notes.clear();
        dlg.Tick();
        EXPECT_TRUE(Of(NIF_INFO).empty());
        SimDriver::Get().setTemperature(0, c.warnsAt);
        dlg.Tick();
        EXPECT_EQ(Of(NIF_INFO).size(), 1u);
        m_dlg.reset();
    }
    // A first start writes the default for the user to find.
    DeleteProfiles();
    Open();
    char value[8] = {};
    GetPrivateProfileStringA("Warning", "Temperature", "", value, sizeof value, file.c_str());
    EXPECT_STREQ(value, "90");
}

TEST_F(TrayIconTest, TheIconComesBackWhenTheShellRestarts)
{
    TestableQuiloDlg& dlg = OpenHidden(50);
    ASSERT_EQ(Count(NIM_ADD), 1);
    g_notes.clear();
    dlg.SendMessage(CQuiloDlg::s_taskbarCreated, 0, 0);
    ASSERT_EQ(Count(NIM_ADD), 1);
    EXPECT_NE(g_notes[0].icon, reinterpret_cast<HICON>(dlg.SendMessage(WM_GETICON, ICON_SMALL)))
        << "with the temperature it showed";
    // A shown window has no icon to bring back.
    dlg.SendMessage(CTrayIcon::kCallbackMessage, CTrayIcon::kIconId, WM_LBUTTONDBLCLK);
    g_notes.clear();
    dlg.SendMessage(CQuiloDlg::s_taskbarCreated, 0, 0);
    EXPECT_EQ(Count(NIM_ADD), 0);
}

TEST_F(TrayIconTest, TheWindowIsHiddenOnlyOnceTheIconIsIn)
{
    TestableQuiloDlg& dlg = Open();
    g_refuseAdd = true;  // no notification area yet
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_MINIMIZE, BN_CLICKED), 0);
    EXPECT_TRUE(dlg.IsWindowVisible());
    dlg.SendMessage(WM_TIMER, 3);  // a second later, still none
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_EQ(Count(NIM_ADD), 2);
    g_refuseAdd = false;
    dlg.SendMessage(WM_TIMER, 3);
    EXPECT_FALSE(dlg.IsWindowVisible());
    EXPECT_EQ(Count(NIM_ADD), 3);
    dlg.SendMessage(WM_TIMER, 3);  // nothing more to do once it is in
    EXPECT_EQ(Count(NIM_ADD), 3);
}

// At every small-icon size the digits stand apart, the holes of each 8 stay
// open (its strokes at least a pixel apart) and the number fills the icon.
TEST(TrayIconArt, DigitsStayLegibleAtEverySmallIconSize)
{
    for (int size : {16, 20, 24, 32, 40, 48}) {
        for (int celsius : {88, 888}) {
            SCOPED_TRACE(std::to_string(size) + " px, " + std::to_string(celsius));
            CIcon icon = MakeTemperatureIcon(celsius, size);
            ASSERT_TRUE(icon);
            int shownSize = 0;
            const WindowPixels p = IconPixels(icon, shownSize);
            ASSERT_EQ(shownSize, size);
            const COLORREF lit = TemperatureColour(celsius);
            const RECT box = p.Bounds(lit);
            EXPECT_GE((box.right - box.left) * 4, size * 3) << "spans most of the width";
            EXPECT_GE((box.bottom - box.top) * 4, size * 3) << "spans most of the height";
            const int digits = celsius >= 100 ? 3 : 2;
            // Along the top stroke, one run of lit pixels per digit: no two digits merge.
            EXPECT_EQ(LitRuns(p, lit, 0, box.top, 1, 0, size), digits);
            // Each 8: its centre column crosses three strokes, and the middle
            // rows of its upper and lower halves two, with unlit pixels between.
            const DigitLayout d = LayoutDigits(size, digits);
            for (int i = 0; i < digits; ++i) {
                const int left = d.left + i * (d.width + d.gap);
                EXPECT_EQ(LitRuns(p, lit, left + d.width / 2, 0, 0, 1, size), 3) << "digit " << i;
                EXPECT_EQ(LitRuns(p, lit, left, d.top + d.height / 4, 1, 0, d.width), 2) << "digit " << i;
                EXPECT_EQ(LitRuns(p, lit, left, d.top + d.height * 3 / 4, 1, 0, d.width), 2) << "digit " << i;
            }
        }
    }
}

namespace {
constexpr char kTrayDpiVariable[] = "QSURGE_TRAY_DPI";

// The tests of one display scale, in a process at its DPI.
class TrayIconAtDpi : public TrayIconTest {
protected:
    void SetUp() override
    {
        m_dpi = dpitest::ToldDpi(kTrayDpiVariable);
        if (!m_dpi) GTEST_SKIP() << "runs only in a process of its own, at a DPI set for it";
        ASSERT_EQ(SystemDpi(), m_dpi) << "the setting did not take";
        TrayIconTest::SetUp();
    }
    UINT m_dpi = kBaseDpi;
};
}  // namespace

// The icon shows in the notification area, on the taskbar's monitor: it is
// drawn at that monitor's small-icon size wherever the main window is. Under
// Wine every monitor has the system's DPI, so each scale runs in a process
// at it.
TEST(TrayIconScale, TheIconIsDrawnForTheTaskbarsMonitorNotTheWindows)
{
    for (UINT dpi : {96u, 144u}) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI (the process's own output is above)");
        EXPECT_EQ(dpitest::RunAtDpi(dpi, "TrayIconAtDpi.*", kTrayDpiVariable), 0u);
    }
}

TEST_F(TrayIconAtDpi, AWindowOnAnotherScaleLeavesTheIconAtTheTaskbars)
{
    const int taskbarSize = SystemMetricForDpi(SM_CXSMICON, m_dpi);
    const UINT other = m_dpi == kBaseDpi ? 144 : kBaseDpi;
    ASSERT_NE(SystemMetricForDpi(SM_CXSMICON, other), taskbarSize);
    TestableQuiloDlg& dlg = OpenHidden(45);
    auto pictures = Of(NIF_ICON);
    ASSERT_FALSE(pictures.empty());
    int size = 0;
    IconPixels(pictures.back().icon, size);
    EXPECT_EQ(size, taskbarSize) << "the first picture";

    // The window on a monitor of another scale; then the messages that make
    // the icon ask again where the taskbar is.
    const auto nextPicture = [&](int celsius) {
        g_notes.clear();
        SimDriver::Get().setTemperature(0, celsius);
        dlg.Tick();
        const auto shown = Of(NIF_ICON);
        ASSERT_EQ(shown.size(), 1u);
        const WindowPixels p = IconPixels(shown[0].icon, size);
        EXPECT_EQ(size, taskbarSize);
        EXPECT_GT(p.Count(TemperatureColour(celsius)), 0);
    };
    ChangeDpi(dlg, other, 926, 451);
    ASSERT_EQ(dlg.Dpi(), other);
    nextPicture(46);
    dlg.SendMessage(WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
    dlg.SendMessage(WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    nextPicture(47);
}
