// The dialog framework over real windows and messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>
// GDI+ wants min and max, which NOMINMAX keeps out of windows.h.
using std::max;
using std::min;
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "framework/Art.h"
#include "framework/CButton.h"
#include "framework/CStatic.h"
#include "framework/Dialog.h"
#include "framework/Dpi.h"
#include "framework/WinApp.h"
#include "framework_test_ids.h"
#include "message_listener.h"

namespace {

std::vector<std::string> g_log;

class TestButton : public CButton {
    DECLARE_MESSAGE_MAP()
public:
    BOOL m_consume = FALSE;
    int m_drawn = 0;
    BOOL OnClicked()
    {
        g_log.push_back("button");
        return m_consume;
    }
    void DrawItem(const DRAWITEMSTRUCT&) { ++m_drawn; }
};
BEGIN_MESSAGE_MAP(TestButton, CButton)
    ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
    ON_DRAWITEM_REFLECT(DrawItem)
END_MESSAGE_MAP()

// Counts how often its text is set.
class CountingStatic : public CStatic {
    DECLARE_MESSAGE_MAP()
public:
    int m_setText = 0;
    LRESULT OnSetText(WPARAM, LPARAM)
    {
        ++m_setText;
        return Default();
    }
};
BEGIN_MESSAGE_MAP(CountingStatic, CStatic)
    ON_MESSAGE(WM_SETTEXT, OnSetText)
END_MESSAGE_MAP()

class BaseDialog : public CDialog {
    DECLARE_MESSAGE_MAP()
public:
    using CDialog::CDialog;
    LRESULT OnUser(WPARAM wp, LPARAM)
    {
        g_log.push_back("base user " + std::to_string(wp));
        return 7;
    }
    LRESULT OnUser2(WPARAM, LPARAM)
    {
        g_log.push_back("base user2");
        return 0;
    }
};
BEGIN_MESSAGE_MAP(BaseDialog, CDialog)
    ON_MESSAGE(WM_USER, OnUser)
    ON_MESSAGE(WM_USER + 2, OnUser2)
END_MESSAGE_MAP()

class TestDialog : public BaseDialog {
    DECLARE_MESSAGE_MAP()
public:
    TestDialog() : BaseDialog(IDD_TEST) {}
    TestButton m_button;
    TestButton m_ownerDraw;
    CountingStatic m_text;
    int m_value = 42;
    bool m_inited = false;

    BOOL OnInitDialog() override
    {
        BaseDialog::OnInitDialog();
        m_inited = true;
        return TRUE;
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_TEST_BUTTON, m_button);
        DDX_Control(pDX, IDC_TEST_OWNERDRAW, m_ownerDraw);
        DDX_Control(pDX, IDC_TEST_TEXT, m_text);
        DDX_Text(pDX, IDC_TEST_TEXT, m_value);
    }
    LRESULT OnUser2(WPARAM, LPARAM)
    {
        g_log.push_back("derived user2");
        return 0;
    }
    void OnButton() { g_log.push_back("parent"); }
};
BEGIN_MESSAGE_MAP(TestDialog, BaseDialog)
    ON_MESSAGE(WM_USER + 2, OnUser2)
    ON_BN_CLICKED(IDC_TEST_BUTTON, OnButton)
END_MESSAGE_MAP()

struct FrameworkTest : ::testing::Test {
    TestDialog dlg;
    void SetUp() override
    {
        g_log.clear();
        ASSERT_TRUE(dlg.Create(IDD_TEST));
    }
};

}  // namespace

TEST_F(FrameworkTest, InitialisesAndAttachesTemplateControls)
{
    EXPECT_TRUE(dlg.m_inited);
    EXPECT_EQ(CWnd::FromHandle(dlg.m_hWnd), &dlg);
    EXPECT_EQ(dlg.m_button.m_hWnd, dlg.GetDlgItem(IDC_TEST_BUTTON));
    EXPECT_EQ(CWnd::FromHandle(dlg.GetDlgItem(IDC_TEST_TEXT)), &dlg.m_text);
    EXPECT_EQ(dlg.m_text.GetWindowText(), "42");
}

TEST_F(FrameworkTest, MessagesReachTheMostDerivedHandlerThenTheBase)
{
    EXPECT_EQ(dlg.SendMessage(WM_USER, 3), 7);
    dlg.SendMessage(WM_USER + 2);
    EXPECT_EQ(g_log, (std::vector<std::string>{"base user 3", "derived user2"}));
}

TEST_F(FrameworkTest, ReflectedClickReachesParentUnlessConsumed)
{
    dlg.m_button.SendMessage(BM_CLICK);
    dlg.m_button.m_consume = TRUE;
    dlg.m_button.SendMessage(BM_CLICK);
    EXPECT_EQ(g_log, (std::vector<std::string>{"button", "parent", "button"}));
}

TEST_F(FrameworkTest, OwnerDrawingIsReflectedToTheControl)
{
    dlg.ShowWindow(SW_SHOW);
    dlg.m_ownerDraw.Invalidate();
    dlg.m_ownerDraw.UpdateWindow();
    EXPECT_GT(dlg.m_ownerDraw.m_drawn, 0);
}

TEST_F(FrameworkTest, DataExchangeBothWaysAndLeavesUnchangedTextAlone)
{
    dlg.m_value = 123;
    dlg.UpdateData(FALSE);
    EXPECT_EQ(dlg.m_text.GetWindowText(), "123");
    // An unchanged value must not set the text again (no needless repaint).
    int sets = dlg.m_text.m_setText;
    dlg.UpdateData(FALSE);
    EXPECT_EQ(dlg.m_text.m_setText, sets);
    dlg.m_text.SetWindowText("77");
    dlg.UpdateData(TRUE);
    EXPECT_EQ(dlg.m_value, 77);
    dlg.m_value = -5;
    dlg.UpdateData(FALSE);
    EXPECT_EQ(dlg.m_text.GetWindowText(), "-5");
}

// Texts of any length go both ways whole, the longest being read at their full length.
TEST_F(FrameworkTest, DataExchangeCarriesTextsOfAnyLength)
{
    for (size_t length : {0, 1, 62, 63, 64, 200}) {
        SCOPED_TRACE(length);
        std::string out(length, 'x');
        if (length) out.back() = 'z';
        CDataExchange toControl{&dlg, FALSE};
        DDX_Text(&toControl, IDC_TEST_TEXT, out);
        EXPECT_EQ(dlg.m_text.GetWindowText(), out);
        std::string in = "stale";
        CDataExchange fromControl{&dlg, TRUE};
        DDX_Text(&fromControl, IDC_TEST_TEXT, in);
        EXPECT_EQ(in, out);
    }
}

TEST_F(FrameworkTest, DataExchangeFindsAControlMadeAgainUnderTheSameIdentifier)
{
    dlg.m_value = 5;
    dlg.UpdateData(FALSE);
    ASSERT_EQ(dlg.m_text.GetWindowText(), "5");
    ::DestroyWindow(dlg.GetDlgItem(IDC_TEST_TEXT));
    HWND again = ::CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 50, 10, dlg.m_hWnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TEST_TEXT)), nullptr, nullptr);
    ASSERT_TRUE(again);
    dlg.m_value = 6;
    dlg.UpdateData(FALSE);
    char text[8] = {};
    ::GetWindowTextA(again, text, sizeof text);
    EXPECT_STREQ(text, "6");
    EXPECT_EQ(dlg.Item(IDC_TEST_TEXT), again);
    EXPECT_EQ(dlg.Item(IDC_TEST_BUTTON), dlg.m_button.m_hWnd);
    EXPECT_EQ(dlg.Item(4242), nullptr);
}

TEST_F(FrameworkTest, ModelessEscapeHidesAndDestroyDetaches)
{
    dlg.ShowWindow(SW_SHOW);
    ::SetFocus(dlg.m_button.m_hWnd);
    MSG msg{dlg.m_button.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    EXPECT_TRUE(CDialog::PreTranslate(msg));
    EXPECT_FALSE(dlg.IsWindowVisible());
    HWND h = dlg.m_hWnd;
    ::DestroyWindow(h);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_button.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandle(h), nullptr);
}

namespace {
// A procedure another party puts above ours.
WNDPROC g_below = nullptr;
int g_aboveCalls = 0;
LRESULT CALLBACK Above(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
    ++g_aboveCalls;
    return ::CallWindowProcA(g_below, h, msg, wp, lp);
}
}  // namespace

TEST_F(FrameworkTest, AnObjectThatGoesFirstLeavesItsWindowWorking)
{
    for (bool procedureAbove : {false, true}) {
        SCOPED_TRACE(procedureAbove ? "another procedure above ours" : "ours on top");
        HWND h = ::CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, dlg.m_hWnd, nullptr, nullptr, nullptr);
        ASSERT_NE(h, nullptr);
        auto first = std::make_unique<CountingStatic>();
        ASSERT_TRUE(first->SubclassWindow(h));
        if (procedureAbove)
            g_below = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Above)));
        ::SetWindowTextA(h, "a");
        EXPECT_EQ(first->m_setText, 1);
        first.reset();
        EXPECT_EQ(CWnd::FromHandle(h), nullptr);

        g_aboveCalls = 0;
        ::SetWindowTextA(h, "b");
        char text[8] = {};
        ::GetWindowTextA(h, text, sizeof text);
        EXPECT_STREQ(text, "b");
        EXPECT_EQ(g_aboveCalls > 0, procedureAbove);

        CountingStatic second;
        ASSERT_TRUE(second.SubclassWindow(h));
        ::SetWindowTextA(h, "c");
        EXPECT_EQ(second.m_setText, 1);
        ::DestroyWindow(h);
        EXPECT_EQ(second.m_hWnd, nullptr);
        EXPECT_EQ(CWnd::FromHandle(h), nullptr);
    }
}

namespace {
// Presses Esc inside its own modal loop once the loop runs.
class EscapeDialog : public TestDialog {
    DECLARE_MESSAGE_MAP()
public:
    BOOL OnInitDialog() override
    {
        TestDialog::OnInitDialog();
        SetTimer(1, 10);
        return TRUE;
    }
    LRESULT OnTimer(WPARAM, LPARAM)
    {
        KillTimer(1);
        ::SetFocus(m_button.m_hWnd);
        ::PostMessageA(m_button.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
        return 0;
    }
};
BEGIN_MESSAGE_MAP(EscapeDialog, TestDialog)
    ON_MESSAGE(WM_TIMER, OnTimer)
END_MESSAGE_MAP()
}  // namespace

TEST(FrameworkModal, EscapeEndsTheModalLoopWithCancel)
{
    EscapeDialog dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

// The application's key name is code page 936 text, kept as Windows reads it
// whatever the system's own code page.
TEST(FrameworkApp, RegistryKeyNameIsKeptAsUnicode)
{
    CWinApp app;
    app.SetRegistryKey("\xD3\xA6\xD3\xC3\xB3\xCC\xD0\xF2");  // 应用程序 in code page 936
    EXPECT_EQ(app.RegistryKey(), L"\u5E94\u7528\u7A0B\u5E8F");
}

namespace {

// A bitmap's colours (0x00RRGGBB) through a 32-bit top-down copy, and its size.
std::vector<DWORD> PixelsOf(HBITMAP bitmap, int& width, int& height)
{
    BITMAP bm{};
    if (!GetObject(bitmap, sizeof bm, &bm)) return {};
    width = bm.bmWidth;
    height = bm.bmHeight;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<RGBQUAD> pixels(static_cast<size_t>(width) * height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    std::vector<DWORD> colours;
    for (const RGBQUAD& q : pixels) colours.push_back(static_cast<DWORD>(q.rgbRed << 16 | q.rgbGreen << 8 | q.rgbBlue));
    return colours;
}

// A program that carries no art for an id (test programs) gets its BITMAP
// or PNG resource: as it is at 96 DPI, at the scaled size at other DPIs.
TEST(Art, ImagesWithoutArtComeFromTheirBitmapOrPngResource)
{
    CBitmap raw(static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TEST_PLAIN), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    int rawWidth = 0, rawHeight = 0, width = 0, height = 0;
    const std::vector<DWORD> expected = PixelsOf(raw, rawWidth, rawHeight);
    ASSERT_FALSE(expected.empty());
    CBitmap at96 = LoadArt(IDB_TEST_PLAIN, kBaseDpi);
    EXPECT_TRUE(PixelsOf(at96, width, height) == expected);
    for (UINT dpi : {144u, 240u}) {
        SCOPED_TRACE(dpi);
        CBitmap scaled = LoadArt(IDB_TEST_PLAIN, dpi);
        EXPECT_FALSE(PixelsOf(scaled, width, height).empty());
        EXPECT_EQ(width, ScaleToDpi(rawWidth, dpi));
        EXPECT_EQ(height, ScaleToDpi(rawHeight, dpi));
    }
    // The needle is 22 x 186 with its pivot, opaque, at (11, 34).
    for (UINT dpi : {96u, 144u, 240u}) {
        SCOPED_TRACE(dpi);
        std::unique_ptr<Gdiplus::Bitmap> needle = LoadArtImage(IDP_TEST_NEEDLE, dpi);
        ASSERT_TRUE(needle);
        EXPECT_EQ(static_cast<int>(needle->GetWidth()), ScaleToDpi(22, dpi));
        EXPECT_EQ(static_cast<int>(needle->GetHeight()), ScaleToDpi(186, dpi));
        Gdiplus::Color pivot, corner;
        needle->GetPixel(ScaleToDpi(11, dpi), ScaleToDpi(34, dpi), &pivot);
        needle->GetPixel(0, 0, &corner);
        EXPECT_EQ(pivot.GetA(), 255);
        EXPECT_EQ(corner.GetA(), 0);
    }
    EXPECT_FALSE(LoadArtImage(IDB_TEST_PLAIN, kBaseDpi)) << "a bitmap is no PNG";
}

}  // namespace

// Windows tells only top-level windows that the system's colours or settings
// changed (high contrast switched, say); the common controls learn of it only
// when their window passes it on, and every control of a window is told.
TEST_F(FrameworkTest, ColourAndSettingChangesReachEveryControl)
{
    const std::vector<UINT> kinds = {WM_SYSCOLORCHANGE, WM_SETTINGCHANGE};
    MessageListener button(dlg.m_button, kinds), text(dlg.m_text, kinds), ownerDraw(dlg.m_ownerDraw, kinds);
    dlg.SendMessage(WM_SYSCOLORCHANGE);
    dlg.SendMessage(WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST);
    dlg.SendMessage(WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("intl"));
    for (const MessageListener* control : {&button, &text, &ownerDraw}) {
        const auto& heard = control->HeardSoFar();
        ASSERT_EQ(heard.size(), 3u);
        EXPECT_EQ(heard[0].message, static_cast<UINT>(WM_SYSCOLORCHANGE));
        EXPECT_EQ(heard[1].message, static_cast<UINT>(WM_SETTINGCHANGE));
        EXPECT_EQ(heard[1].wParam, static_cast<WPARAM>(SPI_SETHIGHCONTRAST));
        EXPECT_EQ(heard[2].message, static_cast<UINT>(WM_SETTINGCHANGE));
        EXPECT_EQ(heard[2].text, "intl");
    }
}
