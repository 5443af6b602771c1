// The plot control drawn into a real dialog and read back from the screen:
// its grid, the history length, the rows samples land on, empty samples,
// series names and the hover text.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/Dialog.h"
#include "framework/Dpi.h"
#include "panels/CPlot.h"
#include "plot_test_ids.h"
#include "window_pixels.h"

namespace {

// Puts the mouse there as the plot will read it: where it was when the
// message being handled arrived.
bool PointerAt(int x, int y)
{
    if (!::SetCursorPos(x, y)) return false;
    ::PostThreadMessageA(::GetCurrentThreadId(), WM_NULL, 0, 0);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    return true;
}

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kGridLine = RGB(0x28, 0x39, 0x43);
constexpr COLORREF kHoverText = RGB(0xDE, 0xDE, 0xDE);
constexpr COLORREF kLine = RGB(250, 60, 60);
constexpr COLORREF kOtherLine = RGB(60, 250, 60);
constexpr int kWidth = 230;
constexpr int kHeight = 56;

class TestablePlot : public rlcuv::CPlot {
public:
    int HistoryLength(size_t series) const { return m_series[series].count; }
};

class PlotHost : public CDialog {
public:
    PlotHost() : CDialog(IDD_PLOT_TEST) {}
    TestablePlot m_plot, m_other;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_PLOT_TEST, m_plot);
        DDX_Control(pDX, IDC_PLOT_OTHER, m_other);
    }
};

class PlotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::SetCursorPos(1279, 1023);  // away from the plots
        m_host = Open(kWidth);
    }

    // A plot of that width and 56 pixels high, with one series when a name is given.
    static std::unique_ptr<PlotHost> Open(int width, const char* series = "Load")
    {
        auto host = std::make_unique<PlotHost>();
        EXPECT_TRUE(host->Create(IDD_PLOT_TEST));
        host->MoveWindow(100, 100, 400, 300);
        host->m_plot.MoveWindow(10, 10, width, kHeight);
        host->m_other.MoveWindow(10, 100, width, kHeight);
        host->ShowWindow(SW_SHOW);
        host->m_plot.SetGrid(FALSE, RGB(0, 0, 0), PS_SOLID, 100, FALSE);
        if (series) {
            EXPECT_TRUE(host->m_plot.AddSeries(series, kLine, PS_SOLID, 0, FALSE));
        }
        return host;
    }

    TestablePlot& Plot() { return m_host->m_plot; }

    void Add(int percent, int count = 1, const char* name = "Load")
    {
        for (int i = 0; i < count; ++i) Plot().AddPoint(name, rlcuv::PlotSample{0, 0, percent, percent}, TRUE);
    }

    // The plot as it shows after the paints its changes asked for.
    static WindowPixels Shot(CWnd& plot)
    {
        ::RedrawWindow(plot, nullptr, nullptr, RDW_UPDATENOW);
        return CaptureClient(plot);
    }
    WindowPixels Shot() { return Shot(Plot()); }

    // The rows of a column holding the colour.
    static std::vector<int> RowsOf(const WindowPixels& shot, int x, COLORREF colour)
    {
        std::vector<int> rows;
        for (int y = 0; y < shot.height; ++y)
            if (shot.At(x, y) == colour) rows.push_back(y);
        return rows;
    }

    std::unique_ptr<PlotHost> m_host;
};

}  // namespace

TEST_F(PlotTest, GridLinesFallOnTheirPhaseOverABlackBackground)
{
    const WindowPixels shot = Shot();
    ASSERT_EQ(shot.width, kWidth);
    ASSERT_EQ(shot.height, kHeight);
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            // Vertical lines at 3, 8, ... 228; horizontal ones at 0, 5, ... 55, ending at 228.
            const bool grid = x <= 228 && (x % 5 == 3 || y % 5 == 0);
            wrong += shot.At(x, y) != (grid ? kGridLine : kBlack);
        }
    }
    EXPECT_EQ(wrong, 0);

    Plot().SetGrid(TRUE, RGB(0, 0, 0), PS_SOLID, 100, TRUE);
    EXPECT_EQ(Shot().Count(kBlack), kWidth * kHeight);
}

TEST_F(PlotTest, HistoryHoldsOneSamplePerGridColumn)
{
    const std::pair<int, int> cases[] = {{230, 231}, {232, 231}, {234, 231}, {235, 236}, {229, 226}, {4, 1}, {5, 6}};
    for (const auto& [width, length] : cases) {
        SCOPED_TRACE(width);
        auto host = Open(width);
        EXPECT_EQ(host->m_plot.HistoryLength(0), length);
    }
}

TEST_F(PlotTest, NPointsJoinTheNRightmostSamples)
{
    int added = 0;
    for (int n : {0, 1, 2, 3, 10, 231, 240}) {
        SCOPED_TRACE(n);
        Add(50, n - added);
        added = n;
        const WindowPixels shot = Shot();
        if (n < 2) {
            EXPECT_EQ(shot.Count(kLine), 0);
            continue;
        }
        // The oldest of n samples starts at x = 230 - n; lines end short of the newest, at 229.
        const int first = std::max(0, kWidth - n);
        EXPECT_EQ(shot.Count(kLine), 229 - first);
        const RECT bounds = shot.Bounds(kLine);
        EXPECT_EQ(bounds.left, first);
        EXPECT_EQ(bounds.right, 229);
        EXPECT_EQ(bounds.top, 28);
        EXPECT_EQ(bounds.bottom, 29);
    }
}

TEST_F(PlotTest, PercentMapsToRowsWithATopClampOnly)
{
    const std::pair<int, int> cases[] = {{0, 55}, {1, 55}, {50, 28}, {99, 1}, {100, 0}, {101, 0}, {150, 0}};
    for (const auto& [percent, row] : cases) {
        SCOPED_TRACE(percent);
        m_host = Open(kWidth);
        Add(percent, 3);
        EXPECT_EQ(RowsOf(Shot(), 228, kLine), std::vector<int>{row});
    }
    // Below the bottom nothing holds the line: it leaves the control.
    m_host = Open(kWidth);
    Add(-50, 3);
    EXPECT_EQ(Shot().Count(kLine), 0);
}

TEST_F(PlotTest, AnEmptySampleEndsTheLineAtTheBottomAndStartsNone)
{
    for (int percent : {50, 50, -1, 50, 50}) Add(percent);
    const WindowPixels shot = Shot();
    // Samples at x = 225 .. 229: the segment into the empty sample (226 -> 227)
    // runs down to the bottom row; none leaves it (227 -> 228).
    EXPECT_EQ(RowsOf(shot, 225, kLine), std::vector<int>{28});
    const RECT bounds = shot.Bounds(kLine);
    EXPECT_EQ(bounds.left, 225);
    EXPECT_EQ(bounds.right, 229);
    EXPECT_EQ(bounds.bottom, 55) << "the line stops one short of its end point on row 55";
    EXPECT_NE(shot.At(227, 55), kLine);
    EXPECT_EQ(RowsOf(shot, 228, kLine), std::vector<int>{28});
}

TEST_F(PlotTest, PointsGoToEverySeriesOfTheNameWhateverItsCase)
{
    Add(50, 3);
    const WindowPixels before = Shot();
    ::ValidateRect(Plot(), nullptr);
    Add(80, 1, "Fan");
    EXPECT_FALSE(::GetUpdateRect(Plot(), nullptr, FALSE)) << "a new point is painted at once, not asked for";
    EXPECT_EQ(CaptureClient(Plot()).pixels, before.pixels);

    // A second series of the same name, in other letters, starts empty.
    ASSERT_TRUE(Plot().AddSeries("LOAD", kOtherLine, PS_SOLID, 0, TRUE));
    Add(20, 2, "load");
    const WindowPixels shot = Shot();
    const int row20 = 56 - 56 * 20 / 101 - 1;
    EXPECT_EQ(shot.At(228, row20), kOtherLine) << "the second series, drawn last";
    EXPECT_EQ(RowsOf(shot, 226, kLine), std::vector<int>{28}) << "the first series goes on";
    EXPECT_EQ(shot.Count(kOtherLine), 1);
}

TEST_F(PlotTest, PenBlendsTheSeriesColourWithTheGridColour)
{
    struct Case {
        bool setGrid;
        COLORREF grid;
        int blend;
        COLORREF pen;
    };
    const Case cases[] = {
        {true, RGB(0, 100, 200), 50, RGB(125, 80, 130)},  // (250, 60, 60) and (0, 100, 200) half and half
        {true, RGB(0, 100, 200), 100, kLine},
        {true, RGB(0, 100, 200), 0, RGB(0, 100, 200)},
        {false, 0, 0, RGB(0x40, 0x60, 0x40)},  // a plot never given a grid draws in its grid colour
    };
    m_host.reset();  // one window on the screen at a time
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blend);
        auto host = std::make_unique<PlotHost>();
        ASSERT_TRUE(host->Create(IDD_PLOT_TEST));
        host->m_plot.MoveWindow(10, 10, kWidth, kHeight);
        host->ShowWindow(SW_SHOW);
        if (c.setGrid) host->m_plot.SetGrid(FALSE, c.grid, PS_SOLID, c.blend, FALSE);
        host->m_plot.AddSeries("Load", kLine, PS_SOLID, 0, FALSE);
        for (int i = 0; i < 3; ++i) host->m_plot.AddPoint("Load", rlcuv::PlotSample{0, 0, 50, 0}, TRUE);
        EXPECT_EQ(Shot(host->m_plot).At(228, 28), c.pen);
    }
}

// The pens are kept from paint to paint, so a new blend must reach them.
TEST_F(PlotTest, ANewBlendColoursTheLinesFromTheNextPaint)
{
    Add(50, 3);
    EXPECT_EQ(Shot().At(228, 28), kLine);
    Plot().SetGrid(FALSE, RGB(0, 100, 200), PS_SOLID, 50, TRUE);
    EXPECT_EQ(Shot().At(228, 28), RGB(125, 80, 130));
}

TEST_F(PlotTest, HoverTextShowsTheValueOfTheSampleUnderTheMouse)
{
    for (int i = 0; i < 231; ++i) Plot().AddPoint("Load", rlcuv::PlotSample{0, 0, 50, 1000 + i}, TRUE);
    const CRect window = Plot().GetWindowRect();
    struct Case {
        int column;  // client column of the mouse
        int y;       // screen row
        const char* text;
    };
    const Case cases[] = {
        {200, window.top + 20, "1201"},  // sample 201 starts its segment at x = 200
        {0, window.top, "1001"},
        {-1, window.bottom, "1000"},    // the oldest, left of the control; the bottom edge counts
        {228, window.bottom + 1, ""},   // below the control
        {229, window.top + 20, ""},     // the newest starts no segment
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        ASSERT_TRUE(PointerAt(window.left + c.column, c.y));
        Plot().Invalidate(FALSE);
        const WindowPixels shot = Shot();
        EXPECT_EQ(Plot().GetWindowText(), c.text);
        if (*c.text && c.column >= 0) {
            // Drawn at (x, row - 15): 28 - 15 = 13, clear of the line.
            const RECT text = shot.Bounds(kHoverText);
            EXPECT_GE(text.left, c.column);
            EXPECT_GE(text.top, 13);
            EXPECT_LE(text.bottom, 28);
        } else if (!*c.text) {
            EXPECT_EQ(shot.Count(kHoverText), 0);
        }
    }
}

namespace {
// The plot of a 230 x 56 control drawn the plain way, segment by segment:
// what every paint must match pixel for pixel.
WindowPixels ReferencePlot(const std::vector<rlcuv::PlotSample>& samples, int penStyle, int penWidth,
                           int hoverColumn)
{
    CClientDC screen(nullptr);
    CCompatibleDC dc(screen);
    void* bits = nullptr;
    CBitmap canvas = CreateTopDownDib(kWidth, kHeight, &bits);
    CSelect selectCanvas(dc, canvas);
    const RECT all{0, 0, kWidth, kHeight};
    ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    {
        CPen grid(::CreatePen(PS_SOLID, 1, kGridLine));
        CSelect select(dc, grid);
        for (int x = -2; x <= 228; x += 5) {
            ::MoveToEx(dc, x, 0, nullptr);
            ::LineTo(dc, x, 56);
        }
        for (int y = 0; y <= 55; y += 5) {
            ::MoveToEx(dc, -1, y, nullptr);
            ::LineTo(dc, 229, y);
        }
    }
    LOGFONTW lf{};
    lf.lfHeight = -10;
    lf.lfWeight = 100;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = VARIABLE_PITCH;
    wcscpy(lf.lfFaceName, L"微软雅黑");
    CFont font(::CreateFontIndirectW(&lf));
    CSelect selectFont(dc, font);
    ::SetTextColor(dc, kHoverText);
    ::SetBkMode(dc, TRANSPARENT);
    CPen pen(::CreatePen(penStyle, penWidth, kLine));
    CSelect selectPen(dc, pen);
    const auto row = [](int percent) { return std::max(56 - 56 * percent / 101 - 1, 0); };
    for (size_t i = 0; i + 1 < samples.size(); ++i) {
        if (samples[i].percent == -1) continue;
        const int x1 = static_cast<int>(i) - 1, y1 = row(samples[i].percent);
        ::MoveToEx(dc, x1, y1, nullptr);
        ::LineTo(dc, x1 + 1, row(samples[i + 1].percent));
        if (x1 == hoverColumn) {
            const std::string text = std::to_string(samples[i].value);
            ::TextOutA(dc, x1, y1 - 15, text.c_str(), static_cast<int>(text.size()));
        }
    }
    return CaptureDC(dc, kWidth, kHeight);
}
}  // namespace

TEST_F(PlotTest, EveryPaintMatchesThePlotDrawnSegmentBySegment)
{
    // Wandering readings with gaps, some above the top and some far below it.
    std::vector<rlcuv::PlotSample> samples;
    unsigned seed = 12345;
    for (int i = 0; i < 231; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int r = static_cast<int>((seed >> 16) % 140);
        const int percent = r < 8 ? -1 : r > 130 ? -(r - 120) * 3 : r - 8;
        samples.push_back({0, 0, percent, i * 7});
    }
    // Under the mouse at x = 100 a steep rise: the hover text covers its own
    // segment, and the segments after it cover the text.
    samples[101] = {0, 0, 0, 8888};
    samples[102] = {0, 0, 100, 1};
    samples[103] = {0, 0, 10, 1};
    const int pens[][2] = {{PS_SOLID, 0}, {PS_SOLID, 1}, {PS_DOT, 0}, {PS_SOLID, 3}};
    m_host.reset();
    for (const auto& pen : pens) {
        SCOPED_TRACE(pen[0] * 10 + pen[1]);
        auto host = Open(kWidth, nullptr);
        host->m_plot.AddSeries("Load", kLine, pen[0], pen[1], FALSE);
        for (const rlcuv::PlotSample& s : samples) host->m_plot.AddPoint("Load", s, TRUE);
        const CRect window = host->m_plot.GetWindowRect();
        ASSERT_TRUE(PointerAt(window.left + 100, window.top + 30));
        host->m_plot.Invalidate(FALSE);
        const WindowPixels shot = Shot(host->m_plot);
        EXPECT_FALSE(host->m_plot.GetWindowText().empty()) << "the hover text is drawn";
        EXPECT_TRUE(shot.pixels == ReferencePlot(samples, pen[0], pen[1], 100).pixels);
        ::SetCursorPos(1279, 1023);
    }
}

// A window painting several plots takes one context of its own for them all.
TEST_F(PlotTest, PaintedInItsParentItShowsTheSamePixelsAtItsPlaceAndNothingElse)
{
    std::vector<rlcuv::PlotSample> samples;
    for (int i = 0; i < 231; ++i) {
        samples.push_back({0, 0, i % 120, i});
        Plot().AddPoint("Load", samples.back(), FALSE);
    }
    ::RedrawWindow(*m_host, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const CRect host = m_host->GetClientRect();
    {
        CClientDC dc(*m_host);
        ::PatBlt(dc, 0, 0, host.Width(), host.Height(), WHITENESS);
        Plot().PaintInParent(dc);
    }
    EXPECT_TRUE(CaptureClient(Plot()).pixels == ReferencePlot(samples, PS_SOLID, 0, -1000).pixels);
    const WindowPixels all = CaptureClient(*m_host);
    EXPECT_EQ(all.Count(RGB(255, 255, 255)), all.width * all.height - kWidth * kHeight);
}

// At 150 % the plot keeps its history (one sample per column at 96 DPI) and
// draws it scaled: grid lines at their scaled phase, the line at its scaled
// rows and thicker, over the whole scaled width.
TEST_F(PlotTest, AtAnotherDpiThePlotIsDrawnScaledWithTheSameHistory)
{
    const int length = Plot().HistoryLength(0);
    Add(50, length);
    const CScale s(144);
    RECT suggested{100, 100, 100 + s(400), 100 + s(300)};
    m_host->SendMessage(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    Plot().MoveWindow(s(10), s(10), s(kWidth), s(kHeight));
    const WindowPixels shot = Shot();
    ASSERT_EQ(shot.width, s(kWidth));
    EXPECT_EQ(Plot().HistoryLength(0), length);
    // 50 % lands on row 56 - 56 * 50 / 101 - 1 = 28 at 96 DPI.
    for (int x : {s(20), s(120), s(200)}) {
        const std::vector<int> rows = RowsOf(shot, x, kLine);
        ASSERT_FALSE(rows.empty()) << x;
        EXPECT_LE(rows.front(), s(28)) << x;
        EXPECT_GE(rows.back(), s(28)) << x;
        EXPECT_EQ(static_cast<int>(rows.size()), s(1)) << "a line as thick as a pixel at 96 DPI, scaled";
    }
    // The vertical grid line of column 3 at 96 DPI, between horizontal ones.
    EXPECT_EQ(shot.At(s(3), s(2)), kGridLine);
    EXPECT_EQ(shot.At(s(3) + s(2), s(2)), kBlack);
}
