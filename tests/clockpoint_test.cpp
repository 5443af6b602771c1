// The two-needle dial, drawn by real GDI+ into a real window and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>
using std::max;
using std::min;
#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>

#include <cwchar>
#include <memory>
#include <string>
#include <tuple>

#include "clockpoint_test_ids.h"
#include "controls/ClockPoint.h"
#include "dpi_change.h"
#include "framework/Art.h"
#include "framework/Dialog.h"
#include "window_pixels.h"

namespace {

class GdiplusEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&m_token, &input, nullptr), Gdiplus::Ok);
    }
    void TearDown() override { Gdiplus::GdiplusShutdown(m_token); }

private:
    ULONG_PTR m_token = 0;
};
const auto* const g_gdiplus = ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

constexpr int kCentre = 149;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

class DialDialog : public CDialog {
public:
    DialDialog() : CDialog(IDD_DIAL_TEST) {}
    ClockPoint m_dial;

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_DIAL_TEST, m_dial); }
};

struct ClockPointTest : ::testing::Test {
    DialDialog dlg;
    ClockPoint& dial = dlg.m_dial;

    void SetUp() override
    {
        ASSERT_TRUE(dlg.Create(IDD_DIAL_TEST));
        dlg.MoveWindow(0, 0, 330, 330);
        dial.MoveWindow(10, 10, 298, 298);
        dlg.ShowWindow(SW_SHOW);
        dlg.UpdateWindow();
    }
    // What the main window does once at start-up.
    void Prepare()
    {
        dial.AttachWindowDC();
        ASSERT_TRUE(dial.LoadEngineNeedle(224, "PNG"));
        ASSERT_TRUE(dial.LoadMemoryNeedle(225, "PNG"));
        dial.SetMemoryNeedlePivot(14, 26);
        dial.SetEngineNeedlePivot(11, 34);
    }
    // Something else draws over the dial.
    void Overpaint()
    {
        CClientDC dc(dial);
        const RECT all{0, 0, 298, 298};
        ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    }
    WindowPixels Draw(int memory, int engine)
    {
        dial.DrawGauge(memory, engine);
        return CaptureClient(dial);
    }
};

// The point at a distance from the centre along a needle turned by degrees:
// an upright needle points down from its pivot and turns clockwise.
POINT AlongNeedle(double degrees, double distance)
{
    const double r = degrees * 3.14159265358979 / 180.0;
    return {kCentre + static_cast<LONG>(-std::sin(r) * distance + 0.5),
            kCentre + static_cast<LONG>(std::cos(r) * distance + 0.5)};
}

std::vector<POINT> PixelsOf(const WindowPixels& frame, COLORREF colour)
{
    std::vector<POINT> out;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            if (frame.At(x, y) == colour) out.push_back({x, y});
    return out;
}

bool SamePixels(const std::vector<POINT>& a, const std::vector<POINT>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](POINT p, POINT q) { return p.x == q.x && p.y == q.y; });
}

// The dial composed with GDI+ drawing each needle straight onto the face and
// then the two numbers, in the window's own pixel format: the picture the
// dial must show. The dial draws its numbers with GDI, which under Wine gives
// GDI+'s very pixels; on Windows, where the two antialias text differently,
// the numbers' edge pixels may differ in shade.
class DirectDial {
public:
    explicit DirectDial(HWND like) : m_window(like), m_dc(m_window)
    {
        m_face = CBitmap(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(216)));
        m_frame = CBitmap(::CreateCompatibleBitmap(m_window, 298, 298));
        m_engine = Load(224);
        m_memory = Load(225);
    }
    bool Ready() const { return m_face && m_frame && m_engine && m_memory; }
    // The needles over the face, then the numbers.
    WindowPixels Frame(int memory, int engine)
    {
        {
            CCompatibleDC faceDC(m_window);
            CSelect face(faceDC, m_face);
            CSelect frame(m_dc, m_frame);
            ::BitBlt(m_dc, 0, 0, 298, 298, faceDC, 0, 0, SRCCOPY);
            Gdiplus::Graphics g(m_dc.GetSafeHdc());
            Turn(g, *m_memory, 14, 26, OnScale(memory * 270LL / 9000));
            Turn(g, *m_engine, 11, 34, OnScale(engine * 270LL / 1800));
            Number(g, memory, 14, Gdiplus::Color(255, 255, 255, 255), 206, 218);
            Number(g, engine, 23, Gdiplus::Color(255, 0, 0, 0), 193, 163);
        }
        return CaptureBitmap(m_frame);
    }

private:
    // In the numbers' face, else the generic sans-serif family, else the face
    // the font mapper gives for it, as the dial has always chosen.
    static void Number(Gdiplus::Graphics& g, int value, float points, Gdiplus::Color colour, float x, float y)
    {
        Gdiplus::FontFamily named(L"DigifaceWide");
        const Gdiplus::FontFamily* family = named.IsAvailable() ? &named : Gdiplus::FontFamily::GenericSansSerif();
        std::unique_ptr<Gdiplus::FontFamily> mapped;
        if (!family || !family->IsAvailable()) {
            LOGFONTW wanted{};
            wanted.lfCharSet = DEFAULT_CHARSET;
            std::wcscpy(wanted.lfFaceName, L"DigifaceWide");
            CFont font(::CreateFontIndirectW(&wanted));
            CClientDC screen(nullptr);
            CSelect select(screen, font);
            wchar_t chosen[LF_FACESIZE] = L"";
            ::GetTextFaceW(screen, LF_FACESIZE, chosen);
            mapped = std::make_unique<Gdiplus::FontFamily>(chosen);
            family = mapped.get();
        }
        Gdiplus::Font font(family, points, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint);
        Gdiplus::SolidBrush brush(colour);
        const std::wstring text = std::to_wstring(value);
        g.DrawString(text.c_str(), -1, &font, Gdiplus::PointF(x, y), &brush);
    }
    static int OnScale(long long degrees) { return static_cast<int>(std::clamp(degrees, 0LL, 270LL)); }
    static std::unique_ptr<Gdiplus::Image> Load(int id)
    {
        HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(id), "PNG");
        const BYTE* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, found)));
        IStream* stream = ::SHCreateMemStream(bytes, ::SizeofResource(nullptr, found));
        if (!stream) return nullptr;
        auto image = std::make_unique<Gdiplus::Image>(stream, FALSE);
        stream->Release();
        return image->GetLastStatus() == Gdiplus::Ok ? std::move(image) : nullptr;
    }
    static void Turn(Gdiplus::Graphics& g, Gdiplus::Image& image, int pivotX, int pivotY, int degrees)
    {
        Gdiplus::Matrix m;
        m.Translate(kCentre, kCentre);
        m.Rotate(static_cast<Gdiplus::REAL>(degrees), Gdiplus::MatrixOrderPrepend);
        m.Translate(static_cast<Gdiplus::REAL>(-pivotX), static_cast<Gdiplus::REAL>(-pivotY),
                    Gdiplus::MatrixOrderPrepend);
        const int w = static_cast<int>(image.GetWidth()), h = static_cast<int>(image.GetHeight());
        Gdiplus::Point corners[3] = {{0, 0}, {w, 0}, {0, h}};
        m.TransformPoints(corners, 3);
        g.DrawImage(&image, corners, 3);
    }

    CClientDC m_window;
    CCompatibleDC m_dc;
    CBitmap m_face, m_frame;
    std::unique_ptr<Gdiplus::Image> m_engine, m_memory;
};

}  // namespace

TEST_F(ClockPointTest, FramesMatchGdiplusDrawingNeedlesAndNumbersStraightOntoTheFace)
{
    Prepare();
    DirectDial direct(dial);
    ASSERT_TRUE(direct.Ready());
    // First showings, negative and past full scale, then angles shown before.
    const struct {
        int memory, engine;
    } cases[] = {{0, 0}, {4499, 894}, {9000, 1800}, {-3000, -900}, {15000, 2500}, {1234, 321},
                 {4499, 894}, {0, 0}, {1234, 321}};
    auto check = [&](int memory, int engine) {
        const WindowPixels shown = Draw(memory, engine);
        const WindowPixels expected = direct.Frame(memory, engine);
        ASSERT_GT(expected.Count(kWhite), 10) << "the reference drew its numbers";
        int differing = 0;
        for (int y = 0; y < 298; ++y)
            for (int x = 0; x < 298; ++x) differing += shown.At(x, y) != expected.At(x, y);
        EXPECT_EQ(differing, 0) << memory << "/" << engine;
    };
    for (const auto& c : cases) check(c.memory, c.engine);
    // More angles than are kept: the first ones are turned afresh.
    const int turnedBefore = dial.NeedlesTurned();
    for (int degree = 0; degree < 270; ++degree) dial.DrawGauge(degree * 9000 / 270, degree * 1800 / 270);
    EXPECT_GT(dial.NeedlesTurned() - turnedBefore, 2 * 128);  // more than the two needles keep
    check(4499, 894);
    check(1234, 321);
}

TEST_F(ClockPointTest, DrawsNothingUntilAttachedAndBothNeedlesLoaded)
{
    ClockPoint detached;
    EXPECT_TRUE(detached.LoadEngineNeedle(224, "PNG"));
    EXPECT_TRUE(detached.LoadMemoryNeedle(225, "PNG"));
    detached.AttachWindowDC();
    detached.DrawGauge(100, 100);
    EXPECT_EQ(detached.FramesComposed(), 0);

    const WindowPixels unpainted = CaptureClient(dial);  // the static's own frame
    ASSERT_TRUE(dial.LoadEngineNeedle(224, "PNG"));
    dial.DrawGauge(100, 100);  // no window context yet
    dial.AttachWindowDC();
    dial.DrawGauge(100, 100);  // no memory needle yet
    WindowPixels frame = CaptureClient(dial);
    EXPECT_EQ(dial.FramesComposed(), 0);
    EXPECT_EQ(frame.pixels, unpainted.pixels);
    EXPECT_EQ(frame.Count(kFaceColour), 0);

    ASSERT_TRUE(dial.LoadMemoryNeedle(225, "PNG"));
    frame = Draw(100, 100);
    EXPECT_EQ(dial.FramesComposed(), 1);
    EXPECT_EQ(frame.At(0, 0), kFaceColour);
}

TEST_F(ClockPointTest, LoaderRefusesMissingOrUndecodableNeedlesAndKeepsTheLoadedOne)
{
    EXPECT_FALSE(dial.LoadEngineNeedle(999, "PNG"));
    EXPECT_FALSE(dial.LoadEngineNeedle(224, "GIF"));
    EXPECT_FALSE(dial.LoadEngineNeedle(IDR_NOT_AN_IMAGE, "PNG"));
    dial.AttachWindowDC();
    ASSERT_TRUE(dial.LoadMemoryNeedle(225, "PNG"));
    dial.DrawGauge(0, 0);
    EXPECT_EQ(dial.FramesComposed(), 0);

    ASSERT_TRUE(dial.LoadEngineNeedle(224, "PNG"));
    EXPECT_FALSE(dial.LoadEngineNeedle(IDR_NOT_AN_IMAGE, "PNG"));
    dial.SetEngineNeedlePivot(11, 34);
    EXPECT_EQ(Draw(0, 0).At(kCentre, 250), kEngineColour);
}

TEST_F(ClockPointTest, AtZeroBothNeedlesStandUprightWithTheirPivotsOnTheCentre)
{
    Prepare();
    const WindowPixels frame = Draw(0, 0);
    // Engine bar: image columns 9..13, pivot (11, 34), so x 147..151 from y 115 down.
    // Memory bar: image columns 4..24 by 107 rows, pivot (14, 26): x 139..159, y 123..229.
    struct Case {
        int x, y;
        COLORREF colour;
    } cases[] = {
        {147, 115, kEngineColour}, {151, 115, kEngineColour}, {149, 297, kEngineColour},
        {146, 115, kFaceColour},   {152, 115, kFaceColour},   {149, 114, kFaceColour},
        {139, 123, kMemoryColour}, {159, 123, kMemoryColour}, {139, 229, kMemoryColour},
        {159, 229, kMemoryColour}, {138, 150, kFaceColour},   {160, 150, kFaceColour},
        {145, 122, kFaceColour},   {145, 230, kFaceColour},   {kCentre, kCentre, kEngineColour},
    };
    for (const Case& c : cases) EXPECT_EQ(frame.At(c.x, c.y), c.colour) << c.x << "," << c.y;
}

TEST_F(ClockPointTest, NeedlesTurnClockwiseBy270DegreesAtFullScale)
{
    Prepare();
    struct Case {
        int memory, engine;
        double degrees;  // of the needle whose colour is checked
        COLORREF colour;
    } cases[] = {
        {9000, 0, 270, kMemoryColour},
        {0, 900, 135, kEngineColour},
        {0, 1800, 270, kEngineColour},
    };
    for (const Case& c : cases) {
        const WindowPixels frame = Draw(c.memory, c.engine);
        for (double distance : {40.0, 60.0, 75.0}) {
            const POINT on = AlongNeedle(c.degrees, distance);
            EXPECT_EQ(frame.At(on.x, on.y), c.colour) << c.memory << "/" << c.engine << " at " << distance;
            // 25 degrees either side lies off the needle.
            for (double off : {-25.0, 25.0}) {
                const POINT beside = AlongNeedle(c.degrees + off, distance);
                EXPECT_NE(frame.At(beside.x, beside.y), c.colour) << c.memory << "/" << c.engine;
            }
        }
    }
}

TEST_F(ClockPointTest, NeedlesStayOnTheirScalesWhileTheNumbersShowTheTrueReadings)
{
    Prepare();
    struct Case {
        int memory, engine;  // beyond an end of the scale
        int memoryEnd, engineEnd;
    } cases[] = {{19002, 2500, 9000, 1800}, {-3000, -900, 0, 0}, {INT32_MAX, INT32_MIN, 9000, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.memory << "/" << c.engine);
        const WindowPixels beyond = Draw(c.memory, c.engine);
        const WindowPixels atEnd = Draw(c.memoryEnd, c.engineEnd);
        for (COLORREF needle : {kMemoryColour, kEngineColour})
            EXPECT_TRUE(SamePixels(PixelsOf(beyond, needle), PixelsOf(atEnd, needle)));
        EXPECT_NE(beyond.Bounds(kWhite).right, atEnd.Bounds(kWhite).right) << "the memory number is the reading's";
    }
}

TEST_F(ClockPointTest, AnglesAreWholeDegreesTruncated)
{
    Prepare();
    // Memory: 4466 is 133.98 degrees, 4467 is 134.01, 4499 is 134.97, 4500 is 135.
    // Engine: 893 is 133.95, 894 is 134.1, 899 is 134.85, 900 is 135.
    struct Case {
        int below, first, last, next;
        bool memory;
    } cases[] = {{4466, 4467, 4499, 4500, true}, {893, 894, 899, 900, false}};
    for (const Case& c : cases) {
        auto needle = [&](int value) {
            return PixelsOf(c.memory ? Draw(value, 0) : Draw(0, value), c.memory ? kMemoryColour : kEngineColour);
        };
        const auto first = needle(c.first);
        EXPECT_TRUE(SamePixels(first, needle(c.last))) << c.first << " and " << c.last << " share a degree";
        EXPECT_FALSE(SamePixels(first, needle(c.below))) << c.below;
        EXPECT_FALSE(SamePixels(needle(c.last), needle(c.next))) << c.next;
    }
}

TEST_F(ClockPointTest, NumbersStartAtTheirOriginsInTheirColours)
{
    Prepare();
    struct Case {
        COLORREF colour;
        int originX, originY;
    } numbers[] = {{kWhite, 206, 218}, {kBlack, 193, 163}};
    const WindowPixels one = Draw(1, 1);
    const WindowPixels wide = Draw(11111, 11111);
    for (const Case& n : numbers) {
        const RECT single = one.Bounds(n.colour);
        ASSERT_LT(single.left, single.right) << "no pixels of " << std::hex << n.colour;
        EXPECT_GE(single.left, n.originX);
        EXPECT_LT(single.left, n.originX + 12);
        EXPECT_GE(single.top, n.originY);
        EXPECT_LT(single.top, n.originY + 16);
        // More digits run on to the right of the same origin.
        const RECT five = wide.Bounds(n.colour);
        EXPECT_EQ(five.left, single.left);
        EXPECT_GT(five.right, single.right + 30);
    }
}

TEST_F(ClockPointTest, OnlyANewReadingIsComposedAgain)
{
    Prepare();
    dial.DrawGauge(3000, 1000);
    dial.DrawGauge(3000, 1000);
    EXPECT_EQ(dial.FramesComposed(), 1);
    dial.DrawGauge(3000, 1001);  // same degree, another number
    EXPECT_EQ(dial.FramesComposed(), 2);
    dial.DrawGauge(3040, 1001);  // another degree
    EXPECT_EQ(dial.FramesComposed(), 3);

    // An unchanged reading leaves the window alone; a new one reaches it at
    // once where the picture changes, under the needles and the numbers (the
    // rest shows the last frame already, and a repaint puts back whatever was
    // drawn over it).
    const WindowPixels shown = CaptureClient(dial);
    Overpaint();
    const WindowPixels overpainted = CaptureClient(dial);
    EXPECT_EQ(Draw(3040, 1001).pixels, overpainted.pixels);
    const WindowPixels next = Draw(3000, 1000);
    ::RedrawWindow(dial, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const WindowPixels whole = CaptureClient(dial);
    ASSERT_EQ(next.pixels.size(), whole.pixels.size());
    int updated = 0, untouched = 0;
    for (size_t i = 0; i < next.pixels.size(); ++i) {
        if (next.pixels[i] == whole.pixels[i])
            updated += next.pixels[i] != overpainted.pixels[i];
        else
            untouched += next.pixels[i] == overpainted.pixels[i];
        ASSERT_TRUE(next.pixels[i] == whole.pixels[i] || next.pixels[i] == overpainted.pixels[i]) << i;
    }
    EXPECT_GT(updated, 1000);    // the needles and both numbers
    EXPECT_GT(untouched, 30000); // the face far from them
    EXPECT_EQ(Draw(3040, 1001).pixels, shown.pixels);
    EXPECT_EQ(dial.FramesComposed(), 5);
}

// Hidden (the window in the notification area), the dial keeps its readings
// and composes nothing; shown again, it paints the latest ones.
TEST_F(ClockPointTest, AHiddenDialComposesNothingUntilItIsShownAgain)
{
    Prepare();
    Draw(6000, 1200);
    dlg.ShowWindow(SW_HIDE);
    for (int i = 1; i <= 20; ++i) dial.DrawGauge(6000 + 45 * i, 1200 + 9 * i);
    EXPECT_EQ(dial.FramesComposed(), 1);
    dlg.ShowWindow(SW_SHOW);
    dlg.UpdateWindow();
    EXPECT_EQ(dial.FramesComposed(), 2);
    const WindowPixels shown = CaptureClient(dial);
    EXPECT_EQ(Draw(6900, 1380).pixels, shown.pixels) << "the latest readings, which need nothing more";
    EXPECT_EQ(dial.FramesComposed(), 2);
}

TEST_F(ClockPointTest, PaintingShowsTheLastFrame)
{
    Prepare();
    const WindowPixels shown = Draw(6000, 1200);
    Overpaint();
    ASSERT_NE(CaptureClient(dial).pixels, shown.pixels);
    dial.Invalidate(TRUE);
    dial.UpdateWindow();
    EXPECT_EQ(CaptureClient(dial).pixels, shown.pixels);
    EXPECT_EQ(dial.FramesComposed(), 1);
}

TEST_F(ClockPointTest, GdiObjectsStayFlatOverManyReadings)
{
    Prepare();
    dial.DrawGauge(0, 0);
    const int before = LiveGdiObjects();
    for (int i = 1; i <= 200; ++i) dial.DrawGauge(i * 45, i * 9);
    EXPECT_EQ(dial.FramesComposed(), 201);
    EXPECT_EQ(LiveGdiObjects(), before);
}

// Moved to a monitor of another scale (its window places it at the scaled
// size), the dial draws the face's art at the new DPI, turns the needles
// about their pivots scaled to it, and writes the numbers at their scaled
// places in fonts at that DPI.
TEST_F(ClockPointTest, FaceNeedlesAndNumbersFollowTheDpiOfItsWindow)
{
    Prepare();
    Draw(0, 0);
    const int objects = LiveGdiObjects();
    for (UINT dpi : kCheckedDpis) {
        SCOPED_TRACE(dpi);
        const CScale s(dpi);
        ChangeDpi(dlg, dpi, 330, 330);
        dial.MoveWindow(s(10), s(10), s(298), s(298));
        const WindowPixels frame = Draw(1, 1);
        const WindowPixels face = CaptureBitmap(LoadArt(216, dpi));
        ASSERT_EQ(frame.width, face.width);
        for (POINT corner : {POINT{0, 0}, POINT{face.width - 1, 0}, POINT{0, face.height - 1}})
            EXPECT_EQ(frame.At(corner.x, corner.y), face.At(corner.x, corner.y));

        // Upright at zero: the engine bar (image columns 9..13 from row 0,
        // pivot (11, 34)) and the memory bar (columns 4..24, rows 0..106,
        // pivot (14, 26)) about the centre; their edges may blend.
        const int c = s(298) / 2;
        EXPECT_EQ(frame.At(c, c), kEngineColour);
        const RECT engine = frame.Bounds(kEngineColour), memory = frame.Bounds(kMemoryColour);
        EXPECT_NEAR(engine.top, c - s(34), 1);
        EXPECT_NEAR(engine.left, c - s(11) + s(9), 1);
        EXPECT_NEAR(engine.right, c - s(11) + s(14), 1);
        EXPECT_NEAR(memory.left, c - s(14) + s(4), 1);
        EXPECT_NEAR(memory.right, c - s(14) + s(25), 1);
        EXPECT_NEAR(memory.top, c - s(26), 1);
        EXPECT_NEAR(memory.bottom, c - s(26) + s(107), 1);

        for (auto [colour, x, y] : {std::tuple{kWhite, 206, 218}, std::tuple{kBlack, 193, 163}}) {
            const RECT number = frame.Bounds(colour);
            EXPECT_GE(number.left, s(x));
            EXPECT_LT(number.left, s(x + 12));
            EXPECT_GE(number.top, s(y));
            EXPECT_LT(number.top, s(y + 16));
        }

        // Told again at the same DPI, the dial makes nothing again and keeps its frame.
        const int composed = dial.FramesComposed();
        dial.SendMessage(kDpiChangedAfterParent);
        dial.UpdateWindow();
        EXPECT_EQ(dial.FramesComposed(), composed);
        EXPECT_EQ(DifferingPixels(CaptureClient(dial), frame), 0);
    }
    EXPECT_EQ(LiveGdiObjects(), objects) << "nothing is left of the other scales";
}
