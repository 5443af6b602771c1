// The bitmap slider: mapping, drawing, mouse and keys over real messages,
// reading the notifications it posts to its parent.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "bitmap_controls_ids.h"
#include "bitmap_controls_support.h"
#include "controls/CBitmapSlider.h"
#include "dpi_change.h"
#include "framework/Art.h"
#include "framework/Dialog.h"
#include "window_pixels.h"

using bctest::Canvas;

namespace {

constexpr COLORREF kChannel = RGB(60, 60, 60);
constexpr COLORREF kActive = RGB(0, 200, 0);
constexpr COLORREF kThumb = RGB(220, 0, 0);
constexpr COLORREF kThumbActive = RGB(255, 255, 0);
constexpr int kWidth = 134;  // channel 134 x 10, thumb 15 x 8

class SliderHost : public CDialog {
public:
    SliderHost() : CDialog(IDD_SLIDER_HOST) {}
    CBitmapSlider m_slider;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_SLIDER, m_slider); }
};

struct Posted {
    UINT message;
    int pos;
    bool operator==(const Posted& o) const { return message == o.message && pos == o.pos; }
};
void PrintTo(const Posted& p, std::ostream* os)
{
    *os << (p.message == WM_SLIDER_MOVING ? "moving " : p.message == WM_SLIDER_MOVED ? "moved " : "? ") << p.pos;
}
constexpr UINT kMoving = WM_SLIDER_MOVING, kMoved = WM_SLIDER_MOVED;

struct BitmapSliderTest : ::testing::Test {
    SliderHost dlg;
    CBitmapSlider& slider = dlg.m_slider;
    void SetUp() override
    {
        ASSERT_TRUE(dlg.Create(IDD_SLIDER_HOST));
        // As the overclock panel sets up each of its sliders.
        ASSERT_TRUE(slider.SetChannelBitmaps(IDB_CHANNEL, IDB_CHANNEL_ACTIVE, FALSE, 0xFF000000, 0, 0));
        ASSERT_TRUE(slider.SetThumbBitmaps(IDB_THUMB, IDB_THUMB_ACTIVE, FALSE, 0xFF000000, 0, 0));
        slider.SetRange(0, 115, FALSE);  // one step per pixel of travel
        slider.SetPos(0);
        slider.EnableSlider(TRUE);
        slider.SetFocusRectDrawing(FALSE, FALSE);
        slider.SetMargins(2, 0, 2, 0);
        dlg.SetWindowPos(HWND_TOPMOST, 400, 200, 300, 100, SWP_SHOWWINDOW);
        bctest::PumpFor(30);
        Notes();
    }
    // What the slider posted to its parent since the last call, waiting `ms` for real input.
    std::vector<Posted> Notes(DWORD ms = 0)
    {
        std::vector<Posted> notes;
        for (const MSG& m : bctest::PumpFor(ms, dlg.m_hWnd, kMoving, kMoved)) {
            EXPECT_EQ(m.wParam, static_cast<WPARAM>(IDC_SLIDER));
            notes.push_back({m.message, static_cast<int>(m.lParam)});
        }
        return notes;
    }
    void Mouse(UINT msg, int x) { slider.SendMessage(msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, 5)); }
    void Key(WPARAM vk) { slider.SendMessage(WM_KEYDOWN, vk, 1); }
    // The thumb's centre on screen, or -1. The normal thumb's leftmost column is a
    // key pixel; the active thumb is one colour.
    int ThumbCentre(COLORREF colour = kThumb)
    {
        Canvas canvas(kWidth, 10, RGB(1, 2, 3));
        bctest::CaptureWindow(slider.m_hWnd, canvas);
        const int firstColumn = colour == kThumb ? 1 : 0;
        for (int x = 0; x < kWidth; ++x)
            if (canvas.At(x, 3) == colour) return x - firstColumn + 15 / 2;
        return -1;
    }
};

}  // namespace

TEST_F(BitmapSliderTest, ChannelSetsTheSizeAndThumbTravelsBetweenTheMargins)
{
    EXPECT_EQ(slider.GetClientRect(), CRect(0, 0, kWidth, 10));
    struct Case {
        int min, max, pos, centre;
    };
    for (const Case& c : {Case{0, 115, 0, 9}, Case{0, 115, 115, 124}, Case{0, 115, 40, 49}, Case{-50, 50, 0, 66},
                          Case{0, 1000, 999, 123}, Case{0, 100, 250, 124}, Case{0, 100, -3, 9}}) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " at " << c.pos);
        slider.SetRange(c.min, c.max, FALSE);
        slider.SetPos(c.pos);
        EXPECT_EQ(ThumbCentre(), c.centre);
    }
}

TEST_F(BitmapSliderTest, ActiveChannelFillsLeftOfTheThumb)
{
    slider.SetPos(40);  // centre 49
    Canvas canvas(kWidth, 10, RGB(1, 2, 3));
    bctest::CaptureWindow(slider.m_hWnd, canvas);
    EXPECT_EQ(canvas.At(48, 9), kActive);
    EXPECT_EQ(canvas.At(49, 9), kChannel);
    EXPECT_EQ(canvas.Count(kActive), 49 * 10 - 7 * 8);  // less the part under the thumb
}

TEST_F(BitmapSliderTest, DragFollowsThePointerAndPostsOnlyWhenTheValueMoves)
{
    slider.SetPos(50);  // centre 59
    Mouse(WM_LBUTTONDOWN, 62);  // on the thumb, 3 right of its centre: no jump
    EXPECT_EQ(slider.GetPos(), 50);
    EXPECT_EQ(ThumbCentre(kThumbActive), 59);  // the active thumb while pressed
    Mouse(WM_MOUSEMOVE, 62);
    Mouse(WM_MOUSEMOVE, 70);
    Mouse(WM_MOUSEMOVE, 70);
    Mouse(WM_MOUSEMOVE, 500);  // beyond the right end: stops at the maximum
    Mouse(WM_MOUSEMOVE, 600);
    Mouse(WM_MOUSEMOVE, -100);
    Mouse(WM_MOUSEMOVE, -200);
    Mouse(WM_LBUTTONUP, -200);
    EXPECT_EQ(Notes(), (std::vector<Posted>{{kMoving, 58}, {kMoving, 115}, {kMoving, 0}, {kMoved, 0}}));
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_EQ(ThumbCentre(), 9);
}

TEST_F(BitmapSliderTest, ADragThatLosesTheMouseEndsWhereItWas)
{
    slider.SetPos(50);
    Mouse(WM_LBUTTONDOWN, 62);
    Mouse(WM_MOUSEMOVE, 70);
    // Another window takes the mouse, as Alt+Tab or a message box would.
    HWND other = dlg.GetDlgItem(IDC_SLIDER_OTHER);
    ::SetCapture(other);
    EXPECT_EQ(Notes(), (std::vector<Posted>{{kMoving, 58}, {kMoved, 58}}));
    EXPECT_EQ(ThumbCentre(), 67) << "the thumb is no longer the pressed one";
    ::ReleaseCapture();
    Mouse(WM_MOUSEMOVE, 100);  // the button is up: moves no longer drag
    EXPECT_EQ(slider.GetPos(), 58);
    EXPECT_TRUE(Notes().empty());
}

TEST_F(BitmapSliderTest, PressBesideTheThumbCentresItUnderThePointer)
{
    slider.SetPos(50);
    Mouse(WM_LBUTTONDOWN, 100);
    EXPECT_EQ(::GetCapture(), slider.m_hWnd);
    EXPECT_EQ(::GetFocus(), slider.m_hWnd);
    Mouse(WM_MOUSEMOVE, 101);
    Mouse(WM_LBUTTONUP, 101);
    EXPECT_EQ(Notes(), (std::vector<Posted>{{kMoving, 91}, {kMoving, 92}, {kMoved, 92}}));
}

TEST_F(BitmapSliderTest, KeysStepClampAndAlwaysPost)
{
    slider.SetRange(-10, 90, FALSE);
    struct Case {
        int start;
        WPARAM key;
        int end;
    };
    const Case cases[] = {
        {-5, VK_PRIOR, -10}, {50, VK_PRIOR, 30}, {50, VK_NEXT, 70}, {85, VK_NEXT, 90}, {50, VK_END, 90}, {50, VK_HOME, -10},
        {50, VK_LEFT, 49},   {50, VK_UP, 49},    {50, VK_RIGHT, 51}, {50, VK_DOWN, 51}, {90, VK_RIGHT, 90},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " key " << c.key);
        slider.SetPos(c.start);
        Key(c.key);
        EXPECT_EQ(slider.GetPos(), c.end);
        EXPECT_EQ(Notes(), (std::vector<Posted>{{kMoved, c.end}}));
    }
    Key('A');
    EXPECT_TRUE(Notes().empty());
    EXPECT_EQ(slider.SendMessage(WM_GETDLGCODE), DLGC_WANTALLKEYS);
}

TEST_F(BitmapSliderTest, RealClickReachesTheSliderThroughItsStatic)
{
    slider.SetPos(50);
    CRect r = slider.GetWindowRect();
    bctest::MouseInput(POINT{r.left + 100, r.top + 5}, MOUSEEVENTF_LEFTDOWN);
    bctest::MouseInput(POINT{r.left + 100, r.top + 5}, MOUSEEVENTF_LEFTUP);
    EXPECT_EQ(Notes(100), (std::vector<Posted>{{kMoving, 91}, {kMoved, 91}}));
}

TEST_F(BitmapSliderTest, DisabledDrawsNoThumbAndIgnoresInput)
{
    slider.SetPos(40);
    Mouse(WM_LBUTTONDOWN, 49);
    slider.EnableSlider(FALSE);  // disabling mid-drag lets the mouse go
    EXPECT_EQ(::GetCapture(), nullptr);
    Notes();
    Canvas canvas(kWidth, 10, RGB(1, 2, 3));
    bctest::CaptureWindow(slider.m_hWnd, canvas);
    EXPECT_EQ(canvas.Count(kChannel), kWidth * 10);
    Mouse(WM_LBUTTONDOWN, 100);
    Mouse(WM_MOUSEMOVE, 110);
    Mouse(WM_LBUTTONUP, 110);
    Key(VK_END);
    EXPECT_EQ(slider.GetPos(), 40);
    EXPECT_TRUE(Notes().empty());
}

TEST_F(BitmapSliderTest, EqualEndsRestAtTheLeftEnd)
{
    slider.SetRange(50, 50, FALSE);
    slider.SetPos(70);
    EXPECT_EQ(slider.GetPos(), 50);
    EXPECT_EQ(ThumbCentre(), 9);
    Mouse(WM_LBUTTONDOWN, 100);
    Mouse(WM_MOUSEMOVE, 120);
    Mouse(WM_LBUTTONUP, 120);
    Key(VK_NEXT);
    EXPECT_EQ(slider.GetPos(), 50);
    EXPECT_EQ(Notes(), (std::vector<Posted>{{kMoved, 50}, {kMoved, 50}}));
}

TEST_F(BitmapSliderTest, TransparentThumbShowsTheChannelThroughItsKeyPixels)
{
    // The thumb's left column holds its key colour, taken from its pixel (0, 0).
    ASSERT_TRUE(slider.SetThumbBitmaps(IDB_THUMB, 0, TRUE, 0xFF000000, 0, 0));
    slider.SetPos(40);  // thumb from x = 42
    Canvas canvas(kWidth, 10, RGB(1, 2, 3));
    bctest::CaptureWindow(slider.m_hWnd, canvas);
    EXPECT_EQ(canvas.At(41, 3), kActive);
    EXPECT_EQ(canvas.At(42, 3), kActive);
    EXPECT_EQ(canvas.At(43, 3), kThumb);
    EXPECT_EQ(canvas.Count(RGB(255, 0, 255)), 0);
}

TEST_F(BitmapSliderTest, ItsTextIsThePositionItShows)
{
    slider.SetRange(-50, 200, FALSE);
    slider.SetPos(-37);
    char text[8] = {};
    EXPECT_EQ(::GetWindowTextLengthA(slider), 3);
    EXPECT_EQ(::GetWindowTextA(slider, text, sizeof text), 3);
    EXPECT_STREQ(text, "-37");
    wchar_t wide[8] = {};
    ::GetWindowTextW(slider, wide, 8);
    EXPECT_STREQ(wide, L"-37");
    slider.SetPos(500);
    ::GetWindowTextA(slider, text, 3);  // truncated to the buffer
    EXPECT_STREQ(text, "20");
}

TEST_F(BitmapSliderTest, MissingBitmapsAreRefusedWithoutAHalfLoadedPair)
{
    EXPECT_FALSE(slider.SetChannelBitmaps(IDB_CHANNEL, IDB_MISSING, FALSE, 0xFF000000, 0, 0));
    EXPECT_FALSE(slider.SetThumbBitmaps(IDB_MISSING, 0, FALSE, 0xFF000000, 0, 0));
    Canvas canvas(kWidth, 10, RGB(1, 2, 3));
    bctest::CaptureWindow(slider.m_hWnd, canvas);
    EXPECT_EQ(canvas.Count(kChannel) + canvas.Count(kThumb) + canvas.Count(kActive), 0);
}

// Moved to a monitor of another scale, the slider takes the channel's size at
// the new DPI, draws its art at that DPI and keeps the thumb within the
// margins scaled to it.
TEST_F(BitmapSliderTest, ArtAndMarginsFollowTheDpiOfItsWindow)
{
    const int objects = LiveGdiObjects();
    for (UINT dpi : kCheckedDpis) {
        SCOPED_TRACE(dpi);
        ChangeDpi(dlg, dpi, 300, 100);
        const WindowPixels channel = CaptureBitmap(LoadArt(IDB_CHANNEL, dpi));
        const WindowPixels thumb = CaptureBitmap(LoadArt(IDB_THUMB, dpi));
        ASSERT_EQ(slider.GetClientRect(), CRect(0, 0, channel.width, channel.height));
        const int margin = ScaleToDpi(2, dpi);
        for (auto [pos, left] : {std::pair{0, margin}, std::pair{115, channel.width - margin - thumb.width}}) {
            SCOPED_TRACE(pos);
            slider.SetPos(pos);
            Canvas canvas(channel.width, channel.height, RGB(1, 2, 3));
            bctest::CaptureWindow(slider.m_hWnd, canvas);
            int differing = 0;
            for (int y = 0; y < thumb.height; ++y)
                for (int x = 0; x < thumb.width; ++x) differing += canvas.At(left + x, y) != thumb.At(x, y);
            EXPECT_EQ(differing, 0);
        }
        slider.EnableSlider(FALSE);  // the channel alone
        Canvas canvas(channel.width, channel.height, RGB(1, 2, 3));
        bctest::CaptureWindow(slider.m_hWnd, canvas);
        EXPECT_EQ(DifferingPixels(CaptureDC(canvas.dc(), channel.width, channel.height), channel), 0);
        slider.EnableSlider(TRUE);

        // Told again at the same DPI, it takes nothing again: the size its
        // window gave it stays.
        slider.SetWindowPos(nullptr, 0, 0, 50, 20, SWP_NOMOVE | SWP_NOZORDER);
        slider.SendMessage(kDpiChangedAfterParent);
        EXPECT_EQ(slider.GetClientRect(), CRect(0, 0, 50, 20));
        slider.SetWindowPos(nullptr, 0, 0, channel.width, channel.height, SWP_NOMOVE | SWP_NOZORDER);
    }
    EXPECT_EQ(LiveGdiObjects(), objects) << "nothing is left of the other scales";
}
