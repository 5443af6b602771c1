// The bitmap-background dialog and the off-screen context, over real GDI and
// real window messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "bitmap_controls_ids.h"
#include "bitmap_controls_support.h"
#include "controls/CBkDialogST.h"
#include "controls/CMemDC.h"
#include "controls/CStaticFont.h"
#include "dpi_change.h"
#include "framework/Art.h"
#include "window_pixels.h"

using bctest::Canvas;

namespace {

constexpr COLORREF kKey = 0x00FF0000;
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kMarker = RGB(255, 0, 0);
constexpr COLORREF kPaper = RGB(1, 2, 3);

// Records the move requests a press on the background makes, instead of
// entering the system's move loop, and what the composing hook saw.
class BkHost : public CBkDialogST {
    DECLARE_MESSAGE_MAP()
public:
    BkHost() : CBkDialogST(IDD_BK_HOST) {}
    std::vector<WPARAM> m_sysCommands;
    int m_composed = 0;
    COLORREF m_composedOrigin = CLR_INVALID;

    LRESULT OnSysCommand(WPARAM wp, LPARAM)
    {
        m_sysCommands.push_back(wp);
        return 0;
    }
    void OnBackgroundComposed(CDC& memDC) override
    {
        ++m_composed;
        m_composedOrigin = ::GetPixel(memDC, 0, 0);
        // Drawn after the copy: must not reach the window.
        CBrush brush(::CreateSolidBrush(RGB(0, 255, 0)));
        CRect all(0, 0, 1000, 1000);
        ::FillRect(memDC, &all, brush);
    }
};
BEGIN_MESSAGE_MAP(BkHost, CBkDialogST)
    ON_MESSAGE(WM_SYSCOMMAND, OnSysCommand)
END_MESSAGE_MAP()

struct BkDialogTest : ::testing::Test {
    BkHost dlg;
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
        ::InitCommonControlsEx(&icc);
        ASSERT_TRUE(dlg.Create(IDD_BK_HOST));
    }
    void Resize(int w, int h) { dlg.SetWindowPos(nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE); }
    // The client area as WM_ERASEBKGND paints it into a fresh context.
    void Erase(Canvas& canvas) { dlg.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc())); }
};

std::vector<CRect> RegionRects(HWND wnd, int& type)
{
    CRgn rgn(::CreateRectRgn(0, 0, 0, 0));
    type = ::GetWindowRgn(wnd, rgn);
    std::vector<char> buf(::GetRegionData(rgn, 0, nullptr));
    auto* data = reinterpret_cast<RGNDATA*>(buf.data());
    ::GetRegionData(rgn, static_cast<DWORD>(buf.size()), data);
    const RECT* r = reinterpret_cast<const RECT*>(data->Buffer);
    return std::vector<CRect>(r, r + data->rdh.nCount);
}

}  // namespace

TEST_F(BkDialogTest, RegionKeepsEachRunOfNonKeyPixels)
{
    struct Case {
        UINT bitmap;
        int type;
        std::vector<CRect> rects;
    };
    const Case cases[] = {
        {IDB_REGION_SOLID, SIMPLEREGION, {{0, 0, 6, 4}}},
        {IDB_REGION_KEY, NULLREGION, {}},
        // Row 0: K G G K G K K G, row 1: G G K K K G G K.
        {IDB_REGION_RUNS, COMPLEXREGION, {{1, 0, 3, 1}, {4, 0, 5, 1}, {7, 0, 8, 1}, {0, 1, 2, 2}, {5, 1, 7, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bitmap);
        dlg.ApplyRegionFromBitmap(c.bitmap, kKey);
        int type = ERROR;
        EXPECT_EQ(RegionRects(dlg.m_hWnd, type), c.rects);
        EXPECT_EQ(type, c.type);
    }
}

TEST_F(BkDialogTest, BackgroundIsTiledOnceForEachCopyThatStartsInside)
{
    ASSERT_EQ(dlg.SetBackgroundBitmap(IDB_SKIN), 0);
    struct Case {
        int width, height, copies;
    };
    // The skin is 8 x 6 with one marker pixel at its origin.
    for (const Case& c : {Case{8, 6, 1}, Case{16, 12, 4}, Case{17, 12, 6}, Case{7, 5, 1}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        Resize(c.width, c.height);
        ASSERT_EQ(dlg.GetClientRect(), CRect(0, 0, c.width, c.height));
        Canvas canvas(c.width + 2, c.height + 2, kPaper);
        Erase(canvas);
        EXPECT_EQ(canvas.Count(kMarker), c.copies);
        EXPECT_EQ(canvas.Count(kGrey), c.width * c.height - c.copies);
        EXPECT_EQ(canvas.At(c.width, c.height), kPaper);  // nothing outside the client area
    }
}

TEST_F(BkDialogTest, AClippedEraseDrawsExactlyItsPartOfTheTiling)
{
    ASSERT_EQ(dlg.SetBackgroundBitmap(IDB_SKIN), 0);
    Resize(17, 12);
    Canvas full(17, 12, kPaper);
    Erase(full);
    // Clip boxes off the 8 x 6 tiling's grid, inside it, across it and partly outside the client area.
    for (const CRect& clip : {CRect(3, 2, 13, 11), CRect(9, 7, 11, 8), CRect(15, 10, 20, 14)}) {
        SCOPED_TRACE(testing::Message() << clip.left << "," << clip.top);
        Canvas part(20, 14, kPaper);
        ::IntersectClipRect(part.dc(), clip.left, clip.top, clip.right, clip.bottom);
        Erase(part);
        for (int y = 0; y < 14; ++y) {
            for (int x = 0; x < 20; ++x) {
                const bool erased = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom && x < 17 &&
                                    y < 12;
                ASSERT_EQ(part.At(x, y), erased ? full.At(x, y) : kPaper) << x << "," << y;
            }
        }
    }
}

TEST_F(BkDialogTest, ComposingHookSeesTheImageAfterItReachedTheWindow)
{
    ASSERT_EQ(dlg.SetBackgroundBitmap(IDB_SKIN), 0);
    Resize(16, 12);
    Canvas canvas(16, 12, kPaper);
    Erase(canvas);
    EXPECT_EQ(dlg.m_composed, 1);
    EXPECT_EQ(dlg.m_composedOrigin, kMarker);
    EXPECT_EQ(canvas.Count(RGB(0, 255, 0)), 0);
}

TEST_F(BkDialogTest, WithoutUsableBitmapOnlyTheDefaultErasingRuns)
{
    Resize(16, 12);
    CBitmap stale(::CreateBitmap(4, 4, 1, 32, nullptr));
    HBITMAP handle = stale.get();
    stale.reset();
    // A handle whose header cannot be read is refused; a missing resource clears.
    EXPECT_EQ(dlg.SetBackgroundBitmap(CBitmap(handle)), 1);
    EXPECT_EQ(dlg.SetBackgroundBitmap(IDB_MISSING), 0);
    Canvas canvas(16, 12, kPaper);
    Erase(canvas);
    EXPECT_EQ(canvas.Count(kMarker), 0);
    EXPECT_EQ(canvas.At(5, 5), ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(dlg.m_composed, 0);
}

TEST_F(BkDialogTest, ReleasedBackgroundBelongsToTheCaller)
{
    ASSERT_EQ(dlg.SetBackgroundBitmap(IDB_SKIN), 0);
    CBitmap released = dlg.ReleaseBackground();
    EXPECT_EQ(::GetObjectType(released), static_cast<DWORD>(OBJ_BITMAP));
    HBITMAP handle = released.get();
    ASSERT_EQ(dlg.SetBackgroundBitmap(std::move(released)), 0);
    ASSERT_EQ(dlg.SetBackgroundBitmap(IDB_SKIN), 0);  // replacing deletes the old one
    EXPECT_EQ(::GetObjectType(handle), 0u);
}

TEST_F(BkDialogTest, PressOnTheBackgroundStartsTheMoveOnlyWhenAllowed)
{
    dlg.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 60));
    dlg.SetDragByBackground(TRUE);
    dlg.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 60));
    EXPECT_EQ(dlg.m_sysCommands, std::vector<WPARAM>{0xF012});
}

TEST_F(BkDialogTest, RealPressMovesByBackgroundButNotByAControl)
{
    dlg.SetDragByBackground(TRUE);
    dlg.SetWindowPos(HWND_TOPMOST, 100, 100, 200, 120, SWP_SHOWWINDOW);
    bctest::PumpFor(50);
    const CRect wnd = dlg.GetWindowRect();
    for (POINT p : {bctest::CentreOnScreen(dlg.GetDlgItem(IDC_BK_BUTTON)), POINT{wnd.right - 3, wnd.top + 3}}) {
        bctest::MouseInput(p, MOUSEEVENTF_LEFTDOWN);
        bctest::MouseInput(p, MOUSEEVENTF_LEFTUP);
        bctest::PumpFor(100);
    }
    EXPECT_EQ(dlg.m_sysCommands, std::vector<WPARAM>{0xF012});
}

TEST_F(BkDialogTest, StaticsAreTransparentButATrackbarKeepsItsColours)
{
    Canvas canvas(4, 4, kPaper);
    HWND stat = dlg.GetDlgItem(IDC_BK_STATIC), track = dlg.GetDlgItem(IDC_BK_TRACKBAR);
    auto colour = [&](UINT msg, HWND child) {
        ::SetBkMode(canvas.dc(), OPAQUE);
        return reinterpret_cast<HBRUSH>(
            dlg.SendMessage(msg, reinterpret_cast<WPARAM>(canvas.dc()), reinterpret_cast<LPARAM>(child)));
    };
    const HBRUSH hollow = static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    EXPECT_EQ(colour(WM_CTLCOLORSTATIC, stat), hollow);
    EXPECT_EQ(::GetBkMode(canvas.dc()), TRANSPARENT);
    for (auto [msg, child] : {std::pair{WM_CTLCOLORSTATIC, track}, std::pair{WM_CTLCOLORBTN, stat}}) {
        HBRUSH brush = colour(msg, child);
        EXPECT_NE(brush, hollow);
        EXPECT_NE(brush, nullptr);
        EXPECT_EQ(::GetBkMode(canvas.dc()), OPAQUE);
    }

    // On screen the skin shows around the static's text.
    ASSERT_EQ(dlg.SetBackgroundBitmap(IDB_SKIN), 0);
    dlg.SetWindowPos(HWND_TOPMOST, 100, 100, 200, 120, SWP_SHOWWINDOW);
    bctest::PumpFor(50);
    Canvas text(20, 8, kPaper);
    bctest::CaptureWindow(stat, text);
    EXPECT_GT(text.Count(kGrey), 0);
}

// A readout on a skin dialog colours its context itself instead of asking the
// dialog: this holds only while the dialog's colouring gives exactly that.
TEST_F(BkDialogTest, TheColouringAReadoutGetsIsItsOwn)
{
    CStaticFont readout;
    ASSERT_TRUE(readout.SubclassDlgItem(IDC_BK_STATIC, &dlg));
    readout.SetReadoutColour(RGB(12, 34, 56));
    Canvas canvas(4, 4, kPaper);
    ::SetBkMode(canvas.dc(), OPAQUE);
    ::SetTextColor(canvas.dc(), RGB(0, 0, 0));
    const auto brush = reinterpret_cast<HBRUSH>(
        dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(canvas.dc()), reinterpret_cast<LPARAM>(readout.m_hWnd)));
    EXPECT_EQ(brush, static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(::GetBkMode(canvas.dc()), TRANSPARENT);
    EXPECT_EQ(::GetTextColor(canvas.dc()), RGB(12, 34, 56));
    readout.Detach();
}

// Moved to a monitor of another scale, the window tiles the skin's art at
// the new DPI and cuts its outline from the outline's art at that DPI.
TEST_F(BkDialogTest, SkinAndOutlineFollowTheDpiOfTheWindow)
{
    ASSERT_EQ(dlg.SetBackgroundBitmap(IDB_SKIN), 0);
    dlg.ApplyRegionFromBitmap(IDB_REGION_RUNS, kKey);
    {
        Canvas first(8, 6, kPaper);
        Erase(first);  // the skin's context is kept from the first erase on
    }
    const int objects = LiveGdiObjects();
    for (UINT dpi : kCheckedDpis) {
        SCOPED_TRACE(dpi);
        ChangeDpi(dlg, dpi, 20, 15);
        const WindowPixels skin = CaptureBitmap(LoadArt(IDB_SKIN, dpi));
        ASSERT_EQ(skin.width, ScaleToDpi(8, dpi));
        const CRect client = dlg.GetClientRect();
        ASSERT_GT(client.Width(), skin.width);
        Canvas canvas(client.Width(), client.Height(), kPaper);
        Erase(canvas);
        int differing = 0;
        for (int y = 0; y < client.Height(); ++y)
            for (int x = 0; x < client.Width(); ++x) differing += canvas.At(x, y) != skin.At(x % skin.width, y % skin.height);
        EXPECT_EQ(differing, 0);

        const WindowPixels outline = CaptureBitmap(LoadArt(IDB_REGION_RUNS, dpi));
        CRgn region(::CreateRectRgn(0, 0, 0, 0));
        ASSERT_NE(::GetWindowRgn(dlg, region), ERROR);
        RECT box{};
        ::GetRgnBox(region, &box);
        EXPECT_LE(box.right, outline.width);
        EXPECT_LE(box.bottom, outline.height);
        int wrong = 0;
        for (int y = 0; y < outline.height; ++y)
            for (int x = 0; x < outline.width; ++x)
                wrong += (::PtInRegion(region, x, y) != FALSE) != (outline.At(x, y) != kKey);
        EXPECT_EQ(wrong, 0);
    }
    EXPECT_EQ(LiveGdiObjects(), objects) << "nothing is left of the other scales";
}

// ---- CMemDC ----

TEST(MemDC, EmptyAreaCoversTheClipBox)
{
    Canvas target(20, 20, kPaper);
    CRgn clip(::CreateRectRgn(4, 6, 14, 16));
    ::SelectClipRgn(target.dc(), clip);
    CDC targetDC(target.dc());
    {
        CMemDC mem(targetDC);
        EXPECT_TRUE(mem.IsBuffered());
        EXPECT_EQ(mem.Area(), CRect(4, 6, 14, 16));
        // Drawn in the target's own coordinates.
        ::SetPixel(mem, 4, 6, kMarker);
    }
    EXPECT_EQ(target.At(4, 6), kMarker);
    ::SelectClipRgn(target.dc(), nullptr);
    CMemDC whole(targetDC);
    EXPECT_EQ(whole.Area(), CRect(0, 0, 20, 20));
}

TEST(MemDC, CopiesItsAreaOnceWhenDestroyed)
{
    for (BOOL copyFirst : {FALSE, TRUE}) {
        SCOPED_TRACE(copyFirst);
        Canvas target(20, 20, kPaper);
        CDC targetDC(target.dc());
        {
            CMemDC mem(targetDC, CRect(5, 5, 10, 10), copyFirst);
            CBrush brush(::CreateSolidBrush(kMarker));
            CRect spot(5, 5, 7, 7), outside(0, 0, 4, 4);
            ::FillRect(mem, &spot, brush);
            ::FillRect(mem, &outside, brush);
            EXPECT_EQ(target.At(5, 5), kPaper);  // nothing reaches the target before the end
        }
        EXPECT_EQ(target.At(6, 6), kMarker);
        EXPECT_EQ(target.At(0, 0), kPaper);
        EXPECT_EQ(target.At(10, 10), kPaper);
        // Pixels not drawn on: the target's own when copied first, else the blank surface.
        EXPECT_EQ(target.At(9, 9) == kPaper, copyFirst == TRUE);
    }
}
