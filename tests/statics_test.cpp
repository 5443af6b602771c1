// The readout, label and picture statics on a real dialog, read back from the screen.
#include <cstring>
#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controls/CLabel.h"
#include "controls/CStaticFont.h"
#include "controls/CTEMP.h"
#include "dpi_change.h"
#include "framework/Art.h"
#include "framework/Dialog.h"
#include "statics_test_ids.h"
#include "window_pixels.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kMarker = RGB(255, 0, 255);

class StaticsDialog : public CDialog {
public:
    StaticsDialog() : CDialog(IDD_STATICS_TEST) {}
    CStaticFont m_readout;
    CLabel m_label;
    CTEMP m_picture;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_READOUT_TEST, m_readout);
        DDX_Control(pDX, IDC_LABEL_TEST, m_label);
        DDX_Control(pDX, IDC_PICTURE_TEST, m_picture);
    }
};

struct StaticsTest : ::testing::Test {
    StaticsDialog dlg;

    void SetUp() override
    {
        ASSERT_TRUE(dlg.Create(IDD_STATICS_TEST));
        dlg.MoveWindow(0, 0, 400, 340);
        dlg.m_readout.MoveWindow(10, 10, 200, 60);
        dlg.m_label.MoveWindow(10, 80, 200, 40);
        dlg.m_picture.MoveWindow(10, 130, 100, 130);
        dlg.ShowWindow(SW_SHOW);
        ::RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    void Repaint(CWnd& control)
    {
        control.Invalidate(FALSE);
        control.UpdateWindow();
    }
    // The colouring the dialog gives the static, on a memory context the test can inspect.
    HBRUSH Colour(CWnd& control, HDC dc)
    {
        return reinterpret_cast<HBRUSH>(
            dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control.m_hWnd)));
    }
};

LOGFONTA FontDescription(HGDIOBJ font)
{
    LOGFONTA lf{};
    ::GetObjectA(font, sizeof lf, &lf);
    return lf;
}

}  // namespace

TEST_F(StaticsTest, ReadoutFontIsAPointFontSetWithoutRedrawing)
{
    // 30 points at 96 pixels per inch, whatever the system's setting; 20 points round up to 27 pixels.
    dlg.m_readout.SetReadoutFont(200, "Tahoma");
    EXPECT_EQ(FontDescription(reinterpret_cast<HGDIOBJ>(dlg.m_readout.SendMessage(WM_GETFONT))).lfHeight, -27);
    dlg.m_readout.SetReadoutFont(300, "Tahoma");
    const LOGFONTA lf = FontDescription(reinterpret_cast<HGDIOBJ>(dlg.m_readout.SendMessage(WM_GETFONT)));
    EXPECT_EQ(lf.lfHeight, -40);
    EXPECT_STREQ(lf.lfFaceName, "Tahoma");
    EXPECT_FALSE(::GetUpdateRect(dlg.m_readout, nullptr, FALSE));
}

// A font given to the static from outside is the one its texts are painted in.
TEST_F(StaticsTest, ReadoutPaintsInTheFontTheStaticHolds)
{
    CStaticFont& readout = dlg.m_readout;
    readout.SetReadoutFont(300, "Tahoma");
    readout.SetReadoutColour(kRed);
    readout.SetWindowText("88");
    const RECT large = CaptureClient(readout).Bounds(kRed);
    LOGFONTA small{};
    small.lfHeight = -10;
    std::strcpy(small.lfFaceName, "Tahoma");
    CFont smallFont(::CreateFontIndirectA(&small));
    readout.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(smallFont.get()), FALSE);
    readout.SetWindowText("89");
    const RECT shown = CaptureClient(readout).Bounds(kRed);
    EXPECT_LT(shown.bottom - shown.top, (large.bottom - large.top) / 2);
    readout.SetReadoutFont(300, "Tahoma");  // lets go of the small font before it is deleted
}

TEST_F(StaticsTest, ReadoutColourAppliesAtTheNextRepaintOverWhatIsUnderneath)
{
    dlg.m_readout.SetReadoutFont(300, "Tahoma");
    dlg.m_readout.SetReadoutColour(kRed);
    {
        CClientDC dc(dlg.m_readout);
        const RECT all{0, 0, 200, 60};
        CBrush marker(::CreateSolidBrush(kMarker));
        ::FillRect(dc, &all, marker);
    }
    Repaint(dlg.m_readout);
    const WindowPixels red = CaptureClient(dlg.m_readout);
    EXPECT_GT(red.Count(kRed), 50);
    EXPECT_GT(red.Count(kMarker), 50);  // no background of its own

    dlg.m_readout.SetReadoutColour(kBlue);
    EXPECT_EQ(CaptureClient(dlg.m_readout).pixels, red.pixels);
    Repaint(dlg.m_readout);
    const WindowPixels blue = CaptureClient(dlg.m_readout);
    EXPECT_EQ(blue.Count(kBlue), red.Count(kRed));
    EXPECT_EQ(blue.Count(kRed), 0);
}

TEST_F(StaticsTest, ReadoutPaintsANewTextAtOnceOverWhatLiesUnderIt)
{
    CStaticFont& readout = dlg.m_readout;
    readout.SetReadoutFont(300, "Tahoma");
    readout.SetReadoutColour(kRed);
    // What the window shows when the dialog and the readout are painted afresh.
    auto repainted = [&] {
        ::RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return CaptureClient(readout);
    };
    // Each text replaces the last one whole, also after the readout moved or
    // something painted over it.
    const char* const texts[] = {"88", "1", "888", "7"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        if (text == texts[2]) readout.MoveWindow(190, 270, 200, 60);  // clear of the other statics
        if (text == texts[3]) {
            CClientDC dc(readout);
            const RECT all{0, 0, 200, 60};
            CBrush marker(::CreateSolidBrush(kMarker));
            ::FillRect(dc, &all, marker);
            readout.Invalidate(FALSE);
            readout.UpdateWindow();
        }
        readout.SetWindowText(text);
        EXPECT_FALSE(::GetUpdateRect(readout, nullptr, FALSE));
        // The dialog has nothing to repaint, but where a moved readout was.
        if (text != texts[2]) {
            EXPECT_FALSE(::GetUpdateRect(dlg, nullptr, FALSE));
        }
        const WindowPixels shown = CaptureClient(readout);
        EXPECT_GT(shown.Count(kRed), 50);
        EXPECT_EQ(shown.pixels, repainted().pixels);
    }

    // A hidden readout keeps its new text and draws nothing.
    readout.ShowWindow(SW_HIDE);
    const WindowPixels before = CaptureClient(dlg);
    readout.SetWindowText("5");
    EXPECT_EQ(readout.GetWindowText(), "5");
    EXPECT_EQ(CaptureClient(dlg).pixels, before.pixels);
}

namespace {
int g_erases = 0;
HWND g_counted = nullptr;
LRESULT CALLBACK CountErases(int code, WPARAM wp, LPARAM lp)
{
    const auto* msg = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && msg->hwnd == g_counted && msg->message == WM_ERASEBKGND) ++g_erases;
    return ::CallNextHookEx(nullptr, code, wp, lp);
}
}  // namespace

// A readout moving between its narrow and wide places paints itself there at
// once, leaves the dialog only what it uncovered, and takes the background of
// a place it has been before from what it kept.
TEST_F(StaticsTest, ReadoutMovesBetweenItsPlacesWithoutRetakingTheirBackgrounds)
{
    CStaticFont& readout = dlg.m_readout;
    readout.SetReadoutFont(300, "Tahoma");
    readout.SetReadoutColour(kRed);
    readout.MoveTo(200, 260, 120, 60);
    readout.SetWindowText("88");
    g_counted = dlg.m_hWnd;
    HHOOK hook = ::SetWindowsHookExA(WH_CALLWNDPROC, &CountErases, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    struct Step {
        CRect place;  // left, top, width, height
        const char* text;
    };
    const Step steps[] = {{{180, 260, 160, 60}, "100"}, {{200, 260, 120, 60}, "99"},
                          {{180, 260, 160, 60}, "100"}, {{200, 260, 120, 60}, "98"}};
    std::vector<WindowPixels> shown;
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE(i);
        ::ValidateRect(dlg, nullptr);
        g_erases = 0;
        readout.MoveTo(s.place.left, s.place.top, s.place.right, s.place.bottom);
        readout.SetWindowText(s.text);
        // Nothing is left for the dialog to repaint: the strips either side
        // of the narrow place get its background from the readout's copy.
        EXPECT_FALSE(::GetUpdateRect(readout, nullptr, FALSE));
        EXPECT_FALSE(::GetUpdateRect(dlg, nullptr, FALSE));
        // Each place's background is taken the first time only (the narrow one before the loop).
        EXPECT_EQ(g_erases, i == 0 ? 1 : 0);
        shown.push_back(CaptureClient(dlg));
    }
    ::UnhookWindowsHookEx(hook);
    const WindowPixels readoutShown = CaptureClient(readout);
    EXPECT_GT(readoutShown.Count(kRed), 50);
    ::RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_EQ(readoutShown.pixels, CaptureClient(readout).pixels);
    // Within the wide place, around the readout's place at each step, the
    // dialog showed what a full repaint shows: no digit left behind.
    const WindowPixels repainted = CaptureClient(dlg);
    const CRect wide(180, 260, 340, 320);
    for (size_t i = 0; i < shown.size(); ++i) {
        const CRect& p = steps[i].place;
        int differing = 0;
        for (int y = wide.top; y < wide.bottom; ++y)
            for (int x = wide.left; x < wide.right; ++x) {
                const bool inPlace = x >= p.left && x < p.left + p.right && y >= p.top && y < p.top + p.bottom;
                differing += !inPlace && shown[i].At(x, y) != repainted.At(x, y);
            }
        EXPECT_EQ(differing, 0) << i;
    }
    EXPECT_GE(repainted.Bounds(kRed).left, 200);
}

TEST_F(StaticsTest, ReadoutAnswersForItsTextAndLeavesItToTheWindowWhenItGoes)
{
    CStaticFont& readout = dlg.m_readout;
    EXPECT_EQ(readout.GetWindowText(), "88");  // from the template
    readout.SetWindowText("12345");
    wchar_t wide[8] = {};
    EXPECT_EQ(::GetWindowTextW(readout, wide, 8), 5);
    EXPECT_STREQ(wide, L"12345");
    char small[3] = {};
    EXPECT_EQ(readout.SendMessage(WM_GETTEXT, sizeof small, reinterpret_cast<LPARAM>(small)), 2);
    EXPECT_STREQ(small, "12");
    EXPECT_EQ(readout.SendMessage(WM_GETTEXTLENGTH), 5);

    HWND window = ::CreateWindowExA(0, "STATIC", "9", WS_CHILD | WS_VISIBLE, 250, 10, 100, 40, dlg, nullptr,
                                    nullptr, nullptr);
    ASSERT_TRUE(window);
    {
        CStaticFont other;  // a readout whose object goes before its window
        ASSERT_TRUE(other.SubclassWindow(window));
        EXPECT_EQ(other.GetWindowText(), "9");
        other.SetWindowText("678");
    }
    char text[8] = {};
    ::GetWindowTextA(window, text, sizeof text);
    EXPECT_STREQ(text, "678");
}

namespace {
// Each value change of a readout's object, with the value the object gave
// when asked from the event.
struct ValueChange {
    HWND window;
    std::wstring value;
};
std::vector<ValueChange> g_valueChanges;
void CALLBACK OnValueChange(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    IAccessible* accessible = nullptr;
    VARIANT which;
    ::VariantInit(&which);
    std::wstring value = L"<no object>";
    if (::AccessibleObjectFromEvent(window, object, child, &accessible, &which) == S_OK && accessible) {
        BSTR text = nullptr;
        value = accessible->get_accValue(which, &text) == S_OK && text ? text : L"<no value>";
        ::SysFreeString(text);
        accessible->Release();
    }
    ::VariantClear(&which);
    g_valueChanges.push_back({window, value});
}
}  // namespace

// Screen readers hear a readout's new text on the object that holds it: its
// value, with the unit.
TEST_F(StaticsTest, ReadoutAnnouncesANewValueOnTheObjectThatHoldsIt)
{
    dlg.m_readout.SetAccessibleUnit("MHz");
    HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                                           &OnValueChange, ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    auto announced = [&](const char* text) {
        g_valueChanges.clear();
        dlg.m_readout.SetWindowText(text);
        MSG msg;
        for (int i = 0; i < 20; ++i) {
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
            ::Sleep(5);
        }
        std::vector<std::wstring> values;
        for (const ValueChange& change : g_valueChanges)
            if (change.window == dlg.m_readout.m_hWnd) values.push_back(change.value);
        return values;
    };
    EXPECT_EQ(announced("1365"), std::vector<std::wstring>{L"1365 MHz"});
    EXPECT_EQ(announced("1365"), std::vector<std::wstring>{});
    EXPECT_EQ(announced("1380"), std::vector<std::wstring>{L"1380 MHz"});
    ::UnhookWinEvent(hook);
}

TEST_F(StaticsTest, LabelStartsWithTheSystemGuiFontAndColours)
{
    CCompatibleDC dc(nullptr);
    HBRUSH brush = Colour(dlg.m_label, dc);
    LOGBRUSH lb{};
    ASSERT_TRUE(::GetObjectA(brush, sizeof lb, &lb));
    EXPECT_EQ(lb.lbColor, ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(::GetTextColor(dc), ::GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
    const LOGFONTA chosen = FontDescription(::GetCurrentObject(dc, OBJ_FONT));
    const LOGFONTA gui = FontDescription(::GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(chosen.lfHeight, gui.lfHeight);
    EXPECT_STREQ(chosen.lfFaceName, gui.lfFaceName);
}

TEST_F(StaticsTest, LabelSizeIsACharacterHeightInPixels)
{
    dlg.m_label.SetLabelFontName("Tahoma");
    dlg.m_label.SetLabelFontSize(15);
    CCompatibleDC dc(nullptr);
    Colour(dlg.m_label, dc);
    const LOGFONTA lf = FontDescription(::GetCurrentObject(dc, OBJ_FONT));
    EXPECT_EQ(lf.lfHeight, -15);
    EXPECT_STREQ(lf.lfFaceName, "Tahoma");
    TEXTMETRICA tm{};
    ASSERT_TRUE(::GetTextMetricsA(dc, &tm));
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 15);
}

// The program's faces are code page 936 text; Windows must see the same name
// whatever the system's own code page is.
TEST_F(StaticsTest, ChineseFaceNamesReachWindowsIntact)
{
    const char* const yaHei = "\xCE\xA2\xC8\xED\xD1\xC5\xBA\xDA";  // 微软雅黑 in code page 936
    const char* const songTi = "\xCB\xCE\xCC\xE5";                  // 宋体
    dlg.m_label.SetLabelFontName(yaHei);
    CCompatibleDC dc(nullptr);
    Colour(dlg.m_label, dc);
    LOGFONTW label{};
    ASSERT_TRUE(::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof label, &label));
    EXPECT_STREQ(label.lfFaceName, L"\u5FAE\u8F6F\u96C5\u9ED1");

    dlg.m_readout.SetReadoutFont(140, songTi);
    LOGFONTW readout{};
    ASSERT_TRUE(::GetObjectW(reinterpret_cast<HGDIOBJ>(dlg.m_readout.SendMessage(WM_GETFONT)), sizeof readout, &readout));
    EXPECT_STREQ(readout.lfFaceName, L"\u5B8B\u4F53");
}

TEST_F(StaticsTest, LabelRedrawsAtOnceInItsColour)
{
    dlg.m_label.SetLabelText("MMMM");
    EXPECT_EQ(dlg.m_label.GetWindowText(), "MMMM");
    dlg.m_label.SetLabelFontSize(30);
    dlg.m_label.SetLabelTextColour(kRed);
    const WindowPixels red = CaptureClient(dlg.m_label);
    EXPECT_GT(red.Count(kRed), 50);
    EXPECT_EQ(red.At(199, 39), ::GetSysColor(COLOR_BTNFACE));
    const RECT text = red.Bounds(kRed);
    EXPECT_GT(text.bottom - text.top, 15);  // the 30-pixel font, not the dialog's

    dlg.m_label.SetLabelTextColour(kBlue);
    const WindowPixels blue = CaptureClient(dlg.m_label);
    EXPECT_EQ(blue.Count(kBlue), red.Count(kRed));
    EXPECT_EQ(blue.Count(kRed), 0);
}

TEST_F(StaticsTest, PictureKeepsTheSizeOfTheFirstBitmapAndStretchesLaterOnes)
{
    const WindowPixels before = CaptureClient(dlg.m_picture);
    dlg.m_picture.ShowBitmap(IDB_PICTURE_PLAIN);  // 78 x 117
    WindowPixels shown = CaptureClient(dlg.m_picture);
    EXPECT_EQ(shown.Count(kPlainColour), 78 * 117);
    EXPECT_EQ(shown.At(77, 116), kPlainColour);
    EXPECT_EQ(shown.At(78, 50), before.At(78, 50));
    EXPECT_EQ(shown.At(50, 117), before.At(50, 117));

    dlg.m_picture.ShowBitmap(IDB_PICTURE_HALVES);  // 20 x 10, two halves
    shown = CaptureClient(dlg.m_picture);
    EXPECT_EQ(shown.Count(kLeftColour) + shown.Count(kRightColour), 78 * 117);
    const RECT left = shown.Bounds(kLeftColour);
    const RECT right = shown.Bounds(kRightColour);
    EXPECT_EQ(left.left, 0);
    EXPECT_EQ(left.bottom, 117);
    EXPECT_EQ(right.right, 78);
    EXPECT_EQ(right.left, left.right);
    EXPECT_EQ(left.right, 39);
}

TEST_F(StaticsTest, PictureSizeComesFromTheFirstBitmapThatExists)
{
    const WindowPixels before = CaptureClient(dlg.m_picture);
    dlg.m_picture.ShowBitmap(999);
    EXPECT_EQ(CaptureClient(dlg.m_picture).pixels, before.pixels);
    dlg.m_picture.ShowBitmap(IDB_PICTURE_HALVES);
    const WindowPixels shown = CaptureClient(dlg.m_picture);
    EXPECT_EQ(shown.Count(kLeftColour), 10 * 10);
    EXPECT_EQ(shown.Count(kRightColour), 10 * 10);
}

TEST_F(StaticsTest, PictureShownIsPaintedAgainWhenTheControlIs)
{
    dlg.m_picture.ShowBitmap(IDB_PICTURE_PLAIN);
    const WindowPixels shown = CaptureClient(dlg.m_picture);
    ASSERT_EQ(shown.Count(kPlainColour), 78 * 117);
    // The dialog repaints over the picture, as when a readout beside it moves.
    ::RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_EQ(CaptureClient(dlg.m_picture).pixels, shown.pixels);

    {
        CClientDC dc(dlg.m_picture);
        const RECT picture{0, 0, 78, 117};
        ::FillRect(dc, &picture, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    }
    Repaint(dlg.m_picture);
    EXPECT_EQ(CaptureClient(dlg.m_picture).pixels, shown.pixels);
}

TEST_F(StaticsTest, PicturesCostNoGdiObjectsPerCall)
{
    dlg.m_picture.ShowBitmap(IDB_PICTURE_PLAIN);
    dlg.m_picture.ShowBitmap(IDB_PICTURE_HALVES);
    const int before = LiveGdiObjects();
    for (int i = 0; i < 200; ++i) dlg.m_picture.ShowBitmap(i % 2 ? IDB_PICTURE_PLAIN : IDB_PICTURE_HALVES);
    EXPECT_EQ(LiveGdiObjects(), before);
}

// Moved to a monitor of another scale, the readout's points and the label's
// height become pixels at the new DPI, the picture is the art at that DPI,
// and the readout measures texts in its new font.
TEST_F(StaticsTest, FontsAndPicturesFollowTheDpiOfTheirWindow)
{
    CStaticFont& readout = dlg.m_readout;
    readout.SetReadoutFont(300, "Tahoma");
    dlg.m_label.SetLabelFontSize(15);
    dlg.m_picture.ShowBitmap(IDB_PICTURE_PLAIN);
    dlg.m_picture.ShowBitmap(IDB_PICTURE_HALVES);  // stretched to the first one's size
    const SIZE wideAt96 = readout.TextExtent("8888");
    auto fontOf = [](CWnd& control) { return reinterpret_cast<HGDIOBJ>(control.SendMessage(WM_GETFONT)); };
    const int objects = LiveGdiObjects();
    for (UINT dpi : kCheckedDpis) {
        SCOPED_TRACE(dpi);
        ChangeDpi(dlg, dpi, 400, 420);
        dlg.m_picture.MoveWindow(10, 130, 200, 280);
        ::RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);

        HGDIOBJ readoutFont = fontOf(readout);
        EXPECT_EQ(FontDescription(readoutFont).lfHeight, -static_cast<LONG>(30 * dpi / 72));
        const SIZE wide = readout.TextExtent("8888");
        {
            CClientDC screen(nullptr);
            CSelect select(screen, readoutFont);
            TEXTMETRICA tm{};
            ASSERT_TRUE(::GetTextMetricsA(screen, &tm));
            EXPECT_EQ(wide.cy, tm.tmHeight);
        }
        EXPECT_NEAR(wide.cx, ScaleToDpi(wideAt96.cx, dpi), 4);

        HGDIOBJ labelFont = fontOf(dlg.m_label);
        EXPECT_EQ(FontDescription(labelFont).lfHeight, -ScaleToDpi(15, dpi));

        // The halves, stretched to the plain picture's size at this DPI.
        const WindowPixels plain = CaptureBitmap(LoadArt(IDB_PICTURE_PLAIN, dpi));
        const WindowPixels shown = CaptureClient(dlg.m_picture);
        const RECT left = shown.Bounds(kLeftColour), right = shown.Bounds(kRightColour);
        EXPECT_EQ(left.left, 0);
        EXPECT_EQ(left.bottom, plain.height);
        EXPECT_EQ(right.right, plain.width);
        EXPECT_EQ(right.bottom, plain.height);
        dlg.m_picture.ShowBitmap(IDB_PICTURE_PLAIN);
        const WindowPixels shownPlain = CaptureClient(dlg.m_picture);
        int differing = 0;
        for (int y = 0; y < plain.height; ++y)
            for (int x = 0; x < plain.width; ++x) differing += shownPlain.At(x, y) != plain.At(x, y);
        EXPECT_EQ(differing, 0);
        dlg.m_picture.ShowBitmap(IDB_PICTURE_HALVES);

        // Told again at the same DPI, they make nothing again.
        for (CWnd* control : {static_cast<CWnd*>(&readout), static_cast<CWnd*>(&dlg.m_label)})
            control->SendMessage(kDpiChangedAfterParent);
        EXPECT_EQ(fontOf(readout), readoutFont);
        EXPECT_EQ(fontOf(dlg.m_label), labelFont);
    }
    EXPECT_EQ(LiveGdiObjects(), objects) << "nothing is left of the other scales";
}
