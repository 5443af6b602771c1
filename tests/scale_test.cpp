// Every window at the display's scale. In processes of their own at 96, 120,
// 144 and 192 DPI, each window is its 96-DPI size scaled, cut to its art's
// outline, painted from its art at that scale, and wide enough for the widest
// values of its readouts; a running window told of another scale
// (WM_DPICHANGED, which Wine never sends by itself) lays itself out again.
#include <string>
#include <vector>

#include "dpi_process.h"
#include "framework/Art.h"
#include "framework/Dpi.h"
#include "main_window_fixture.h"
#include "note_closer.h"

namespace {
using namespace mwtest;

constexpr COLORREF kKey = RGB(0, 0, 255);
constexpr char kDpiVariable[] = "QSURGE_SCALE_DPI";
constexpr UINT kDpis[] = {96, 120, 144, 192};

// A window's skin and its size at 96 DPI.
struct Skin {
    const char* name;
    UINT art;
    int width, height;
};
constexpr Skin kMain{"main window", IDB_MAIN_SKIN, 926, 451};
constexpr Skin kOverclock{"overclock", IDB_OVERCLOCK_SKIN, 412, 364};
constexpr Skin kFanCurve{"fan curve", IDB_FANCURVE_SKIN, 412, 402};
constexpr Skin kSettings{"settings", IDB_SETTINGS_SKIN, 295, 207};
constexpr Skin kMonitor{"monitor", IDB_MONITOR_SKIN, 412, 364};
constexpr Skin kInformation{"information", IDB_INFO_SKIN, 412, 364};
constexpr Skin kNote{"note", IDB_NOTE_SKIN, 295, 207};

// The main window with its panels in reach.
class ScaledDlg : public TestableQuiloDlg {
public:
    using CQuiloDlg::m_fanCurvePanel;
    using CQuiloDlg::m_infoPanel;
    using CQuiloDlg::m_monitorPanel;
    using CQuiloDlg::m_settingsPanel;
    using CQuiloDlg::m_turboPanel;
};

// Which pixels of the window its outline holds; every pixel when it has none.
std::vector<bool> OutlineMask(HWND window, int width, int height)
{
    std::vector<bool> inside(static_cast<size_t>(width) * height, false);
    CRgn region(::CreateRectRgn(0, 0, 0, 0));
    if (::GetWindowRgn(window, region) == ERROR) {
        inside.assign(inside.size(), true);
        return inside;
    }
    std::vector<BYTE> data(::GetRegionData(region, 0, nullptr));
    if (data.empty() || !::GetRegionData(region, static_cast<DWORD>(data.size()), reinterpret_cast<RGNDATA*>(data.data())))
        return inside;
    const auto* header = reinterpret_cast<const RGNDATA*>(data.data());
    const auto* rects = reinterpret_cast<const RECT*>(header->Buffer);
    for (DWORD i = 0; i < header->rdh.nCount; ++i) {
        for (LONG y = std::max(0L, rects[i].top); y < std::min<LONG>(height, rects[i].bottom); ++y)
            for (LONG x = std::max(0L, rects[i].left); x < std::min<LONG>(width, rects[i].right); ++x)
                inside[static_cast<size_t>(y) * width + x] = true;
    }
    return inside;
}

// The visible children's rectangles, in the window's client coordinates.
std::vector<CRect> ChildRects(HWND window)
{
    std::vector<CRect> rects;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child)) continue;
        CRect r;
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        rects.push_back(r);
    }
    return rects;
}

// A shown window laid out at dpi: its size, its outline and the skin between
// its controls all come from its art at that DPI.
void ExpectLaidOut(HWND window, const Skin& skin, UINT dpi)
{
    SCOPED_TRACE(std::string(skin.name) + " at " + std::to_string(dpi) + " DPI");
    ASSERT_TRUE(::IsWindow(window));
    CBitmap artBitmap = LoadArt(skin.art, dpi);
    const WindowPixels art = CaptureBitmap(artBitmap);
    ASSERT_EQ(art.width, ScaleToDpi(skin.width, dpi));
    ASSERT_EQ(art.height, ScaleToDpi(skin.height, dpi));

    CRect rect;
    ::GetWindowRect(window, &rect);
    EXPECT_NEAR(rect.Width(), art.width, 1);
    EXPECT_NEAR(rect.Height(), art.height, 1);
    const CWnd* object = CWnd::FromHandle(window);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Dpi(), dpi);

    // The outline is exactly the art's pixels that are not the key.
    const int width = std::min<int>(rect.Width(), art.width), height = std::min<int>(rect.Height(), art.height);
    const std::vector<bool> inside = OutlineMask(window, rect.Width(), rect.Height());
    int outlineWrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            outlineWrong += inside[static_cast<size_t>(y) * rect.Width() + x] != (art.At(x, y) != kKey);
    EXPECT_EQ(outlineWrong, 0) << "pixels where the outline and the art's shape differ";

    // The skin as the window shows it, wherever no control covers it. The
    // window is put where the whole of it is on the screen, above the rest.
    ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const WindowPixels shown = CaptureClient(window);
    ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    const std::vector<CRect> children = ChildRects(window);
    int compared = 0, differ = 0;
    for (int y = 0; y < std::min(height, shown.height); ++y) {
        for (int x = 0; x < std::min(width, shown.width); ++x) {
            if (art.At(x, y) == kKey) continue;
            const POINT p{x, y};
            bool covered = false;
            for (const CRect& c : children) covered = covered || ::PtInRect(&c, p);
            if (covered) continue;
            ++compared;
            differ += shown.At(x, y) != art.At(x, y);
        }
    }
    EXPECT_GT(compared, art.width * art.height / 4) << "most of the skin lies between the controls";
    EXPECT_EQ(differ, 0) << "of " << compared << " skin pixels shown";
}

// The widest text of digits a readout may show: the widest digit of its font
// count times, after a prefix.
std::string Widest(HDC dc, int count, const std::string& prefix = "")
{
    char widest = '0';
    LONG most = -1;
    for (char d = '0'; d <= '9'; ++d) {
        SIZE size{};
        ::GetTextExtentPoint32A(dc, &d, 1, &size);
        if (size.cx > most) most = size.cx, widest = d;
    }
    return prefix + std::string(static_cast<size_t>(count), widest);
}

struct Readout {
    int id;
    int digits;
    const char* prefix;
};

// Each readout's widest values fit its rectangle whole, in the font it draws with.
void ExpectReadoutsFit(HWND window, const char* name, std::initializer_list<Readout> readouts)
{
    for (const Readout& r : readouts) {
        SCOPED_TRACE(std::string(name) + " readout " + std::to_string(r.id));
        HWND control = ::GetDlgItem(window, r.id);
        ASSERT_NE(control, nullptr);
        CRect client;
        ::GetClientRect(control, &client);
        CClientDC dc(control);
        CSelect font(dc, reinterpret_cast<HGDIOBJ>(::SendMessageA(control, WM_GETFONT, 0, 0)));
        const std::string text = Widest(dc, r.digits, r.prefix);
        RECT needed{0, 0, 0, 0};
        ::DrawTextA(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        EXPECT_LE(needed.right, client.Width()) << "\"" << text << "\"";
        EXPECT_LE(needed.bottom, client.Height()) << "\"" << text << "\"";
    }
}

// The tests of one scale, each in a process at its DPI.
class ScaleInProcess : public MainWindowTest {
protected:
    void SetUp() override
    {
        m_dpi = dpitest::ToldDpi(kDpiVariable);
        if (!m_dpi) GTEST_SKIP() << "runs only in a process of its own, at a DPI set for it";
        CClientDC screen(nullptr);
        ASSERT_EQ(::GetDeviceCaps(screen, LOGPIXELSX), static_cast<int>(m_dpi)) << "the setting did not take";
        MainWindowTest::SetUp();
    }
    ScaledDlg& OpenScaled()
    {
        auto dlg = std::make_unique<ScaledDlg>();
        ScaledDlg& window = *dlg;
        m_dlg = std::move(dlg);
        EXPECT_TRUE(window.Create(IDD_MAIN));
        window.PaintPending();
        return window;
    }
    void Press(HWND window, int id) { ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    UINT m_dpi = kBaseDpi;
};

// A window moved to a monitor of another scale: WM_DPICHANGED with the new
// DPI and the system's suggested rectangle.
void MoveToScale(HWND window, UINT dpi, POINT at, const Skin& skin)
{
    RECT suggested{at.x, at.y, at.x + ScaleToDpi(skin.width, dpi), at.y + ScaleToDpi(skin.height, dpi)};
    ::SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    CRect now;
    ::GetWindowRect(window, &now);
    EXPECT_EQ(now, suggested) << "the suggested rectangle is taken as it is";
}

}  // namespace

TEST(Scale, EveryWindowAtEachDisplayScale)
{
    for (UINT dpi : kDpis) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI (the process's own output is above)");
        EXPECT_EQ(dpitest::RunAtDpi(dpi, "ScaleInProcess.*", kDpiVariable), 0u);
    }
}

TEST_F(ScaleInProcess, TheMainWindowAndItsReadouts)
{
    ScaledDlg& dlg = OpenScaled();
    const CScale scale(m_dpi);
    ExpectLaidOut(dlg, kMain, m_dpi);
    // A few controls at their 96-DPI rectangles scaled.
    const std::pair<int, CRect> places[] = {{IDC_APPLY, scale.Rect(655, 275, 97, 45)},
                                            {IDC_TURBO, scale.Rect(725, 338, 69, 68)},
                                            {IDC_GAUGE, scale.Rect(318, 67, 298, 298)}};
    for (const auto& [id, want] : places) {
        const CRect got = dlg.ChildRect(id);
        EXPECT_NEAR(got.left, want.left, 1) << id;
        EXPECT_NEAR(got.top, want.top, 1) << id;
        EXPECT_NEAR(got.Width(), want.Width(), 1) << id;
        EXPECT_NEAR(got.Height(), want.Height(), 1) << id;
    }
    // A key shows its own art at this scale.
    CBitmap apply = LoadArt(IDB_MAIN_APPLY, m_dpi);
    const WindowPixels want = CaptureBitmap(apply);
    const WindowPixels got = CaptureClient(dlg.GetDlgItem(IDC_APPLY));
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    EXPECT_TRUE(got.pixels == want.pixels) << "the apply key's pixels";
    dlg.Tick();
    ExpectReadoutsFit(dlg, "main window", {{IDC_TEMP_READOUT, 2, ""}, {IDC_FAN_READOUT, 2, ""}});
}

TEST_F(ScaleInProcess, EveryPanelAndTheNote)
{
    ScaledDlg& dlg = OpenScaled();
    const CScale scale(m_dpi);
    const CRect main = dlg.GetWindowRect();

    Press(dlg, IDC_TURBO);
    HWND turbo = dlg.m_turboPanel;
    const CRect opened = dlg.m_turboPanel.GetWindowRect();
    EXPECT_NEAR(opened.left, main.left + scale(256), 1) << "where a panel opens scales with the display";
    EXPECT_NEAR(opened.top, main.bottom + scale(-40), 1);
    ExpectLaidOut(turbo, kOverclock, m_dpi);
    ExpectReadoutsFit(turbo, "overclock", {{IDC_POWER_READOUT, 3, ""}, {IDC_FRAME_READOUT, 3, ""},
                                           {IDC_GPU_OFFSET_READOUT, 3, "-"}, {IDC_MEM_OFFSET_READOUT, 4, "-"}});
    CloseNoteWhenShown(NoteClose::Button, [this](HWND note) { ExpectLaidOut(note, kNote, m_dpi); });
    Press(turbo, IDC_APPLY);
    EXPECT_TRUE(LastNote().shown);
    StopClosingNotes();
    ::ShowWindow(turbo, SW_HIDE);

    Press(dlg, IDC_FANCURVE);
    ExpectLaidOut(dlg.m_fanCurvePanel, kFanCurve, m_dpi);
    ::ShowWindow(dlg.m_fanCurvePanel, SW_HIDE);

    Press(dlg, IDC_SETTINGS);
    ExpectLaidOut(dlg.m_settingsPanel, kSettings, m_dpi);
    ::ShowWindow(dlg.m_settingsPanel, SW_HIDE);

    Press(dlg, IDC_HWM);
    ::ShowWindow(dlg.m_infoPanel, SW_HIDE);
    ExpectLaidOut(dlg.m_monitorPanel, kMonitor, m_dpi);
    ExpectReadoutsFit(dlg.m_monitorPanel, "monitor", {{IDC_TEMP_READOUT, 3, ""}, {IDC_FAN_READOUT, 3, ""},
                                                      {IDC_ENGINE_READOUT, 4, ""}, {IDC_MEMORY_READOUT, 5, ""}});
    ::ShowWindow(dlg.m_monitorPanel, SW_HIDE);
    ::ShowWindow(dlg.m_infoPanel, SW_SHOW);
    ExpectLaidOut(dlg.m_infoPanel, kInformation, m_dpi);
}

// Moved between monitors of different scales, a running window takes the
// suggested rectangle and its art, outline and layout for each.
TEST_F(ScaleInProcess, ARunningWindowFollowsWmDpiChanged)
{
    if (m_dpi != kBaseDpi) GTEST_SKIP() << "from the 96-DPI process only";
    ScaledDlg& dlg = OpenScaled();
    Press(dlg, IDC_SETTINGS);
    for (UINT dpi : {144u, 192u, 120u, 96u}) {
        SCOPED_TRACE(dpi);
        MoveToScale(dlg, dpi, {10, 20}, kMain);
        ExpectLaidOut(dlg, kMain, dpi);
        const CRect want = CScale(dpi).Rect(655, 275, 97, 45);
        const CRect got = dlg.ChildRect(IDC_APPLY);
        EXPECT_NEAR(got.left, want.left, 1);
        EXPECT_NEAR(got.top, want.top, 1);
        EXPECT_NEAR(got.Width(), want.Width(), 1);
        MoveToScale(dlg.m_settingsPanel, dpi, {30, 40}, kSettings);
        ExpectLaidOut(dlg.m_settingsPanel, kSettings, dpi);
    }
}

// Told of a scale beyond the largest Windows offers (a faulty or hostile
// sender), a window is laid out at 500 %, sized for it from the suggested
// place; below 100 % at 100 %. Told of a new scale with no rectangle, it stays
// as it was and shown.
TEST_F(ScaleInProcess, AScaleBeyondWindowsOwnIsHeldToItsLargestAndNoRectangleChangesNothing)
{
    if (m_dpi != kBaseDpi) GTEST_SKIP() << "from the 96-DPI process only";
    ScaledDlg& dlg = OpenScaled();
    Press(dlg, IDC_SETTINGS);
    const struct {
        HWND window;
        Skin skin;
        UINT told, laidOut;
    } cases[] = {
        {dlg, kMain, 65535, kLargestDpi},
        {dlg.m_settingsPanel, kSettings, 2000, kLargestDpi},
        {dlg.m_settingsPanel, kSettings, 48, kBaseDpi},
        {dlg, kMain, 96, kBaseDpi},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.skin.name) + " told " + std::to_string(c.told) + " DPI");
        RECT suggested{5, 6, 5 + ScaleToDpi(c.skin.width, c.told), 6 + ScaleToDpi(c.skin.height, c.told)};
        ::SendMessageA(c.window, WM_DPICHANGED, MAKEWPARAM(c.told, c.told), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(CWnd::FromHandle(c.window)->Dpi(), c.laidOut);
        CRect now;
        ::GetWindowRect(c.window, &now);
        EXPECT_EQ(now.left, 5);
        EXPECT_EQ(now.top, 6);
        EXPECT_NEAR(now.Width(), ScaleToDpi(c.skin.width, c.laidOut), 1);
        EXPECT_NEAR(now.Height(), ScaleToDpi(c.skin.height, c.laidOut), 1);
        EXPECT_TRUE(::IsWindowVisible(c.window));
        if (c.window == dlg.m_hWnd) {
            const CRect want = CScale(c.laidOut).Rect(655, 275, 97, 45), got = dlg.ChildRect(IDC_APPLY);
            EXPECT_NEAR(got.left, want.left, 1);
            EXPECT_NEAR(got.top, want.top, 1);
            EXPECT_NEAR(got.Width(), want.Width(), 1);
        }
    }

    for (HWND window : {static_cast<HWND>(dlg), static_cast<HWND>(dlg.m_settingsPanel)}) {
        CRect before;
        ::GetWindowRect(window, &before);
        const UINT dpi = CWnd::FromHandle(window)->Dpi();
        ::SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(144, 144), 0);
        CRect after;
        ::GetWindowRect(window, &after);
        EXPECT_EQ(after, before);
        EXPECT_EQ(CWnd::FromHandle(window)->Dpi(), dpi);
        EXPECT_TRUE(::IsWindowVisible(window)) << "drawing is not left switched off";
    }
    ExpectLaidOut(dlg, kMain, kBaseDpi);
    ExpectLaidOut(dlg.m_settingsPanel, kSettings, kBaseDpi);
}
