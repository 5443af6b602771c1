// The bitmap button over real owner drawing, real pointer input and real
// focus and cursor handling.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "bitmap_controls_ids.h"
#include "bitmap_controls_support.h"
#include "controls/CBitButtonNL.h"
#include "controls/FocusMark.h"
#include "dpi_change.h"
#include "framework/Art.h"
#include "framework/Dialog.h"
#include "window_pixels.h"

using bctest::Canvas;

namespace {

constexpr COLORREF kPaper = RGB(1, 2, 3);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kMarker = RGB(255, 0, 0);
constexpr COLORREF kPressed = RGB(0, 160, 0);
constexpr COLORREF kHover = RGB(255, 200, 0);
constexpr COLORREF kDisabled = RGB(100, 100, 100);

// Counts the caption passes so that a test can see when none happens.
class CountingButton : public CBitButtonNL {
public:
    int m_captions = 0;

protected:
    void DrawCaption(CDC& dc, const std::string& text, const CRect& item, const CRect& caption, BOOL pressed,
                     BOOL disabled) override
    {
        ++m_captions;
        CBitButtonNL::DrawCaption(dc, text, item, caption, pressed, disabled);
    }
};

class ButtonHost : public CDialog {
    DECLARE_MESSAGE_MAP()
public:
    ButtonHost() : CDialog(IDD_BUTTON_HOST) {}
    CountingButton m_button;
    int m_clicks = 0;
    HWND m_focusAtClick = nullptr;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_BTN_IMAGE, m_button); }
    void OnImageClicked()
    {
        ++m_clicks;
        m_focusAtClick = ::GetFocus();
    }
};
BEGIN_MESSAGE_MAP(ButtonHost, CDialog)
    ON_BN_CLICKED(IDC_BTN_IMAGE, OnImageClicked)
END_MESSAGE_MAP()

struct BitButtonTest : ::testing::Test {
    ButtonHost dlg;
    CBitButtonNL& button = dlg.m_button;
    void SetUp() override
    {
        ASSERT_TRUE(dlg.Create(IDD_BUTTON_HOST));
        ASSERT_TRUE(button.SetBitmaps(IDB_BUTTON_NORMAL, IDB_BUTTON_PRESSED, IDB_BUTTON_HOVER, IDB_BUTTON_DISABLED));
        button.FitToBitmap();
    }
    void Show()
    {
        dlg.SetWindowPos(HWND_TOPMOST, 300, 300, 200, 100, SWP_SHOWWINDOW);
        ::SetForegroundWindow(dlg.m_hWnd);
        bctest::PumpFor(50);
    }
    // Draws the button in the given item state the way its parent is asked to.
    void Draw(Canvas& canvas, UINT itemState)
    {
        DRAWITEMSTRUCT dis{ODT_BUTTON, IDC_BTN_IMAGE, 0, ODA_DRAWENTIRE, itemState, button.m_hWnd, canvas.dc(),
                           {0, 0, canvas.width(), canvas.height()}, 0};
        dlg.SendMessage(WM_DRAWITEM, IDC_BTN_IMAGE, reinterpret_cast<LPARAM>(&dis));
    }
    COLORREF OnScreen()
    {
        Canvas canvas(12, 10, kPaper);
        bctest::CaptureWindow(button.m_hWnd, canvas);
        return canvas.At(3, 5);  // a navy pixel of the normal image
    }
    void PointAt(POINT p, DWORD buttons = 0)
    {
        bctest::MouseInput(p, buttons);
        bctest::PumpFor(60);
    }
    // Wine reports leaving a tracked window from a timer at the hover interval.
    void PointAway()
    {
        bctest::MouseInput(Outside());
        bctest::PumpFor(600);
    }
    POINT Outside() const
    {
        const CRect r = dlg.GetWindowRect();
        return POINT{r.right - 5, r.bottom - 5};
    }
};

}  // namespace

TEST_F(BitButtonTest, AttachingMakesTheButtonOwnerDrawnAndFitsItToItsImage)
{
    EXPECT_EQ(button.GetStyle() & 0x1F, BS_OWNERDRAW);
    EXPECT_EQ(button.GetClientRect(), CRect(0, 0, 12, 10));
}

TEST_F(BitButtonTest, EachStateDrawsItsImage)
{
    struct Case {
        const char* name;
        UINT state;
        bool ownImages;
        COLORREF at00, at11;
    };
    const Case cases[] = {
        {"normal", 0, true, kMarker, kNavy},
        {"pressed", ODS_SELECTED, true, kPressed, kPressed},
        {"pressed, no image: sinks", ODS_SELECTED, false, kPaper, kMarker},
        {"disabled", ODS_DISABLED, true, kDisabled, kDisabled},
        {"disabled and pressed", ODS_DISABLED | ODS_SELECTED, true, kDisabled, kDisabled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.ownImages ? button.SetBitmaps(IDB_BUTTON_NORMAL, IDB_BUTTON_PRESSED, IDB_BUTTON_HOVER,
                                                    IDB_BUTTON_DISABLED)
                                : button.SetBitmaps(IDB_BUTTON_NORMAL, 0, 0, 0));
        Canvas canvas(14, 12, kPaper);
        Draw(canvas, c.state);
        EXPECT_EQ(canvas.At(0, 0), c.at00);
        EXPECT_EQ(canvas.At(1, 1), c.at11);
        EXPECT_EQ(canvas.At(13, 11), kPaper);  // nothing drawn beyond the image
    }
}

TEST_F(BitButtonTest, DisabledWithoutItsOwnImageIsEmbossedInSystemColours)
{
    ASSERT_TRUE(button.SetBitmaps(IDB_BUTTON_NORMAL, IDB_BUTTON_PRESSED, IDB_BUTTON_HOVER, 0));
    Canvas canvas(12, 10, kPaper);
    Draw(canvas, ODS_DISABLED);
    // Dark pixels (left half) take the shadow colour, white ones leave the background,
    // and the highlight shows one pixel right of the dark part.
    EXPECT_EQ(canvas.At(3, 5), ::GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(canvas.At(6, 5), ::GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(canvas.At(10, 5), kPaper);
}

TEST_F(BitButtonTest, ImagesThatCannotBeUsedLeaveTheButtonBlank)
{
    CBitmap stale(::CreateBitmap(4, 4, 1, 32, nullptr));
    HBITMAP handle = stale.get();
    stale.reset();
    CBitmap good(::CreateBitmap(4, 4, 1, 32, nullptr));
    HBITMAP goodHandle = good.get();
    EXPECT_FALSE(button.SetBitmaps(std::move(good), CBitmap(handle), CBitmap(), CBitmap()));
    EXPECT_EQ(::GetObjectType(goodHandle), 0u);  // the images already taken are deleted too
    EXPECT_TRUE(button.SetBitmaps(IDB_MISSING, IDB_BUTTON_PRESSED, 0, 0));
    for (UINT state : {0u, UINT(ODS_SELECTED)}) {
        Canvas canvas(12, 10, kPaper);
        Draw(canvas, state);
        EXPECT_EQ(canvas.Count(kPaper), 12 * 10);
    }
    // Without a normal image the size stays.
    button.SetWindowPos(nullptr, 0, 0, 30, 20, SWP_NOMOVE | SWP_NOZORDER);
    button.FitToBitmap();
    EXPECT_EQ(button.GetClientRect(), CRect(0, 0, 30, 20));
}

TEST_F(BitButtonTest, ImagesAndCursorAreFreedWithTheButton)
{
    HBITMAP images[4];
    HCURSOR cursor;
    {
        ButtonHost other;
        ASSERT_TRUE(other.Create(IDD_BUTTON_HOST));
        CBitmap owned[4];
        for (int i = 0; i < 4; ++i) images[i] = (owned[i] = CBitmap(::CreateBitmap(3, 3, 1, 32, nullptr))).get();
        ASSERT_TRUE(other.m_button.SetBitmaps(std::move(owned[0]), std::move(owned[1]), std::move(owned[2]),
                                              std::move(owned[3])));
        ASSERT_TRUE(other.m_button.SetButtonCursor(IDC_HAND_CURSOR, FALSE));
        other.m_button.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(other.m_button.m_hWnd),
                                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        cursor = ::GetCursor();
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(cursor, &info));
        ::DeleteObject(info.hbmMask);
        ::DeleteObject(info.hbmColor);
        ::SetCursor(nullptr);
    }
    for (HBITMAP h : images) EXPECT_EQ(::GetObjectType(h), 0u);
    ICONINFO info{};
    EXPECT_FALSE(::GetIconInfo(cursor, &info));
}

TEST_F(BitButtonTest, OwnCursorIsShownOverTheButton)
{
    auto cursorShown = [&]() {
        ::SetCursor(nullptr);
        const LRESULT handled = button.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(button.m_hWnd),
                                                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        ICONINFO info{};
        POINT hotspot{-1, -1};
        if (::GetIconInfo(::GetCursor(), &info)) {
            hotspot = {static_cast<LONG>(info.xHotspot), static_cast<LONG>(info.yHotspot)};
            ::DeleteObject(info.hbmMask);
            ::DeleteObject(info.hbmColor);
        }
        return std::pair{handled, hotspot};
    };
    EXPECT_TRUE(button.SetButtonCursor(IDC_HAND_CURSOR, TRUE));
    auto [handled, hotspot] = cursorShown();
    EXPECT_EQ(handled, TRUE);
    EXPECT_EQ(hotspot.x, 5);
    EXPECT_EQ(hotspot.y, 7);
    // A missing cursor falls back to the window's own.
    EXPECT_FALSE(button.SetButtonCursor(IDB_MISSING, TRUE));
    EXPECT_EQ(cursorShown().second.x, 0);
    EXPECT_TRUE(button.SetButtonCursor(0, TRUE));
}

TEST_F(BitButtonTest, HoverLightsAndUnlights)
{
    Show();
    const POINT on = bctest::CentreOnScreen(button.m_hWnd);
    PointAway();
    EXPECT_EQ(OnScreen(), kNavy);
    PointAt(on);
    EXPECT_EQ(OnScreen(), kHover);
    PointAway();
    EXPECT_EQ(OnScreen(), kNavy);

    // Losing the focus unlights as well.
    PointAt(on);
    ::SetFocus(button.m_hWnd);
    EXPECT_EQ(OnScreen(), kHover);
    ::SetFocus(dlg.GetDlgItem(IDC_BTN_OTHER));
    EXPECT_EQ(OnScreen(), kNavy);
}

TEST_F(BitButtonTest, DragStartedElsewhereDoesNotLight)
{
    Show();
    PointAway();
    PointAt(Outside(), MOUSEEVENTF_LEFTDOWN);
    PointAt(bctest::CentreOnScreen(button.m_hWnd));
    EXPECT_EQ(OnScreen(), kNavy);
    PointAt(bctest::CentreOnScreen(button.m_hWnd), MOUSEEVENTF_LEFTUP);
}

TEST_F(BitButtonTest, ClickGivesFocusAndReachesTheParent)
{
    Show();
    HWND other = dlg.GetDlgItem(IDC_BTN_OTHER);
    ::SetFocus(other);
    // The notification alone moves the focus, before the parent sees it.
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_IMAGE, BN_CLICKED), reinterpret_cast<LPARAM>(button.m_hWnd));
    EXPECT_EQ(dlg.m_clicks, 1);
    EXPECT_EQ(dlg.m_focusAtClick, button.m_hWnd);

    ::SetFocus(other);
    const POINT on = bctest::CentreOnScreen(button.m_hWnd);
    PointAt(on, MOUSEEVENTF_LEFTDOWN);
    PointAt(on, MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(dlg.m_clicks, 2);
    EXPECT_EQ(::GetFocus(), button.m_hWnd);
}

TEST_F(BitButtonTest, CaptionIsDrawnOnlyWhenEnabledAndNotEmpty)
{
    struct Case {
        const char* text;
        BOOL draw;
        int passes;
    };
    for (const Case& c : {Case{"", TRUE, 0}, Case{"W", FALSE, 0}, Case{"W", TRUE, 1}}) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" " << c.draw);
        dlg.m_button.m_captions = 0;
        button.SetWindowText(c.text);
        button.SetDrawCaption(c.draw, FALSE);
        Canvas canvas(12, 10, kPaper);
        Draw(canvas, 0);
        EXPECT_EQ(dlg.m_button.m_captions, c.passes);
    }
}

TEST_F(BitButtonTest, CaptionColourFollowsTheState)
{
    constexpr COLORREF kText = RGB(10, 200, 30), kDown = RGB(200, 10, 30), kShadow = RGB(7, 7, 7);
    ASSERT_TRUE(button.SetBitmaps(IDB_BUTTON_PRESSED, 0, 0, 0));  // one plain colour
    button.SetWindowText("WW");
    button.SetDrawCaption(TRUE, FALSE);
    button.SetFontSize(14, FALSE);
    button.SetCaptionColours(kText, kDown, RGB(0, 0, 0), FALSE);
    button.SetCaptionShadow(TRUE, 1, 1, FALSE);
    button.SetShadowColour(kShadow, FALSE);
    struct Case {
        UINT state;
        COLORREF shown, absent;
    };
    const Case cases[] = {
        {0, kText, kDown},
        {ODS_SELECTED, kDown, kText},
        {ODS_DISABLED, ::GetSysColor(COLOR_BTNSHADOW), kText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        Canvas canvas(40, 30, kPaper);
        Draw(canvas, c.state);
        EXPECT_GT(canvas.Count(c.shown), 0);
        EXPECT_EQ(canvas.Count(c.absent), 0);
        EXPECT_EQ(canvas.Count(kShadow) > 0, c.state == 0);
    }
}

// Moved to a monitor of another scale, the button shows its images at the new
// DPI, takes their size, and points with the cursor at the scale's size.
TEST_F(BitButtonTest, ImagesSizeAndCursorFollowTheDpiOfItsWindow)
{
    ASSERT_TRUE(button.SetButtonCursor(IDC_HAND_CURSOR, FALSE));
    const int objects = LiveGdiObjects();
    for (UINT dpi : kCheckedDpis) {
        SCOPED_TRACE(dpi);
        ChangeDpi(dlg, dpi, 200, 100);
        const CRect size = button.GetClientRect();
        EXPECT_EQ(size, CRect(0, 0, ScaleToDpi(12, dpi), ScaleToDpi(10, dpi)));
        for (auto [state, image] : {std::pair{0u, IDB_BUTTON_NORMAL}, std::pair{UINT(ODS_SELECTED), IDB_BUTTON_PRESSED}}) {
            const WindowPixels art = CaptureBitmap(LoadArt(image, dpi));
            Canvas canvas(size.Width(), size.Height(), kPaper);
            Draw(canvas, state);
            EXPECT_EQ(DifferingPixels(CaptureDC(canvas.dc(), size.Width(), size.Height()), art), 0) << image;
        }

        ::SetCursor(nullptr);
        button.SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(button.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(::GetCursor(), &info));
        CBitmap mask(info.hbmMask), colour(info.hbmColor);
        BITMAP bm{};
        ::GetObjectA(mask, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, SystemMetricForDpi(SM_CXCURSOR, dpi));

        // Told again at the same DPI (as Windows tells it after its window
        // did), it takes nothing again: the size its window gave it stays.
        button.SetWindowPos(nullptr, 0, 0, 30, 20, SWP_NOMOVE | SWP_NOZORDER);
        button.SendMessage(kDpiChangedAfterParent);
        EXPECT_EQ(button.GetClientRect(), CRect(0, 0, 30, 20));
        button.FitToBitmap();
    }
    EXPECT_EQ(LiveGdiObjects(), objects) << "nothing is left of the other scales";
}

// The focus mark's ring, two pixels of cyan over one dark pixel at 96 DPI,
// is as much thicker as the scale is larger.
TEST(FocusMark, RingsAreScaledToTheDpi)
{
    constexpr COLORREF kCyan = RGB(0, 200, 240), kDark = RGB(0, 0, 0);
    struct Case {
        UINT dpi;
        int cyan, dark;
    };
    for (const Case& c : {Case{96, 2, 1}, Case{120, 3, 1}, Case{144, 3, 2}, Case{192, 4, 2}}) {
        SCOPED_TRACE(c.dpi);
        Canvas canvas(30, 20, kPaper);
        DrawFocusMark(canvas.dc(), RECT{0, 0, 30, 20}, c.dpi);
        for (int i = 0; i < 8; ++i) {
            const COLORREF expected = i < c.cyan ? kCyan : i < c.cyan + c.dark ? kDark : kPaper;
            EXPECT_EQ(canvas.At(i, 10), expected) << "left side, " << i;
            EXPECT_EQ(canvas.At(15, i), expected) << "top side, " << i;
        }
    }
}
