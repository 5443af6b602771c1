// The fan-curve panel and its grid on their own: the click rules, the painted
// step line, what Apply and Reset hand on, and grids without whole cells.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/Art.h"
#include "framework/Dpi.h"
#include "framework/Resources.h"
#include "panels/CDlgFanCurve.h"
#include "res/resource.h"
#include "window_pixels.h"

namespace {

// One character per slot: '-' empty, else the row; 'X' a point outside its own column.
std::string Rows(const FanCurvePoints& points)
{
    std::string rows;
    for (int slot = 0; slot < kCurvePoints; ++slot) {
        const CurvePoint& p = points[slot];
        rows += !p.enabled ? '-' : p.rightColumn == slot + 1 ? static_cast<char>('0' + p.row) : 'X';
    }
    return rows;
}

// The inverse of Rows.
void FromRows(const std::string& rows, FanCurvePoints& points)
{
    for (int slot = 0; slot < kCurvePoints; ++slot)
        points[slot] = rows[slot] == '-' ? CurvePoint{} : CurvePoint{rows[slot] - '0', slot + 1, 1};
}

struct RecordingFollower : FanCurveFollower {
    std::vector<std::string> applied;
    bool ApplyFanCurve(const FanCurvePoints& points) override
    {
        applied.push_back(Rows(points));
        return true;
    }
};

class TestableFanCurvePanel : public CDlgFanCurve {
    DECLARE_MESSAGE_MAP()
public:
    using CDlgFanCurve::CDlgFanCurve;
    using CDlgFanCurve::m_curve;
    int changes = 0;  // WM_CURVE_CHANGED received

    CCurve& Grid() { return m_curveControl; }
    std::string Shown()
    {
        FanCurvePoints points;
        m_curveControl.GetPoints(points);
        return Rows(points);
    }
    void Press(int id) { SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(id))); }

protected:
    LRESULT OnCurveChangedCounted(WPARAM wParam, LPARAM lParam)
    {
        ++changes;
        return OnCurveChanged(wParam, lParam);
    }
};

BEGIN_MESSAGE_MAP(TestableFanCurvePanel, CDlgFanCurve)
    ON_MESSAGE(WM_CURVE_CHANGED, OnCurveChangedCounted)
END_MESSAGE_MAP()

// A click in the middle of a grid cell of 29 x 20 pixels.
LPARAM Cell(int column, int row) { return MAKELPARAM(column * 29 + 14, row * 20 + 10); }

bool NeedsRepaint(HWND window) { return ::GetUpdateRect(window, nullptr, FALSE) != FALSE; }

class FanCurvePanelTest : public ::testing::Test {
protected:
    TestableFanCurvePanel& Open()
    {
        m_panel = std::make_unique<TestableFanCurvePanel>(m_follower);
        EXPECT_TRUE(m_panel->Create(IDD_FANCURVE));
        return *m_panel;
    }
    RecordingFollower m_follower;
    std::unique_ptr<TestableFanCurvePanel> m_panel;
};

}  // namespace

TEST_F(FanCurvePanelTest, ClicksFollowTheCurvesOrder)
{
    struct Case {
        const char* name;
        const char* start;
        UINT button;
        int column, row;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {"below the step to the left", "---7-4-3-0", WM_LBUTTONDOWN, 4, 8, nullptr},
        {"at the level of the step to the left", "---7-4-3-0", WM_LBUTTONDOWN, 4, 7, "----74-3-0"},
        {"at the level of the step to the right", "---754-3-0", WM_LBUTTONDOWN, 4, 4, "---7-4-3-0"},
        {"above the step to the right", "---7-4-3-0", WM_LBUTTONDOWN, 6, 2, nullptr},
        {"a new row for a column's step", "---7-4-3-0", WM_LBUTTONDOWN, 5, 5, "---7-5-3-0"},
        {"on an empty grid", "----------", WM_LBUTTONDOWN, 2, 6, "--6-------"},
        {"the last column at the top", "----------", WM_LBUTTONDOWN, 9, 0, "---------0"},
        {"right on an empty column", "---7-4-3-0", WM_RBUTTONDOWN, 0, 5, "---7-4-3-0"},
        {"right on a step, any row", "---7-4-3-0", WM_RBUTTONDOWN, 7, 9, "---7-4---0"},
    };
    TestableFanCurvePanel& panel = Open();
    panel.ShowWindow(SW_SHOW);  // a hidden window gathers nothing to repaint
    const HWND grid = panel.Grid();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FanCurvePoints start;
        FromRows(c.start, start);
        panel.Grid().SetPoints(start);
        ::RedrawWindow(panel, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        ASSERT_FALSE(NeedsRepaint(grid));
        panel.changes = 0;

        ::SendMessageA(grid, c.button, c.button == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, Cell(c.column, c.row));
        EXPECT_EQ(panel.Shown(), c.expected ? c.expected : c.start);
        EXPECT_EQ(panel.changes, c.expected ? 1 : 0);
        EXPECT_EQ(NeedsRepaint(grid), c.expected != nullptr);
        if (c.expected) {
            EXPECT_EQ(Rows(panel.m_curve), c.expected);
        }
    }
    EXPECT_TRUE(m_follower.applied.empty()) << "editing alone applies nothing";
}

TEST_F(FanCurvePanelTest, OpensSkinnedWithTheCurveInForce)
{
    FanCurvePoints kept;
    FromRows("-8---5---1", kept);
    m_panel = std::make_unique<TestableFanCurvePanel>(m_follower);
    m_panel->SetCurve(kept);
    ASSERT_TRUE(m_panel->Create(IDD_FANCURVE));
    TestableFanCurvePanel& panel = *m_panel;
    EXPECT_EQ(panel.Shown(), "-8---5---1");
    EXPECT_EQ(panel.GetWindowText(), "Fan Curve");
    const CRect window = panel.GetWindowRect();
    EXPECT_EQ(window.Width(), 412);
    EXPECT_EQ(window.Height(), 402);
    struct Place {
        int id;
        CRect rect;
    };
    for (const Place& p : {Place{IDC_APPLY, {80, 336, 196, 389}}, Place{IDC_RESET, {230, 336, 346, 389}},
                           Place{IDC_CURVE, {68, 101, 358, 301}}}) {
        CRect r;
        ::GetWindowRect(panel.GetDlgItem(p.id), &r);
        ::MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r, p.rect) << p.id;
    }
    EXPECT_EQ(Rows(panel.GetDefaultCurve()), "---7-4-3-0");
}

TEST_F(FanCurvePanelTest, ApplyHandsOnTheGridAndResetAppliesTheDefaultAtOnce)
{
    TestableFanCurvePanel& panel = Open();
    ::SendMessageA(panel.Grid(), WM_LBUTTONDOWN, MK_LBUTTON, Cell(4, 7));
    ::SendMessageA(panel.Grid(), WM_RBUTTONDOWN, MK_RBUTTON, Cell(9, 0));
    EXPECT_TRUE(m_follower.applied.empty());
    panel.Press(IDC_APPLY);
    panel.Press(IDC_RESET);
    EXPECT_EQ(m_follower.applied, (std::vector<std::string>{"----74-3--", "---7-4-3-0"}));
    EXPECT_EQ(panel.Shown(), "---7-4-3-0");
    EXPECT_EQ(Rows(panel.m_curve), "---7-4-3-0");
}

TEST_F(FanCurvePanelTest, PaintsTheStepLineOverTheGrid)
{
    struct Run {
        int x0, y0, x1, y1;  // inclusive
    };
    struct Case {
        const char* curve;
        std::vector<Run> runs;
    };
    // The step line, end points excluded as a line drawing excludes them.
    const Case cases[] = {
        // The default curve: up the left edge to 30 %, along to 40 degrees, up
        // to 60 %, along to 60 degrees, up to 70 %, along to 80 degrees, up to
        // the top and along it.
        {"---7-4-3-0",
         {{0, 141, 0, 199}, {0, 140, 115, 140}, {116, 81, 116, 140}, {116, 80, 173, 80}, {174, 61, 174, 80},
          {174, 60, 231, 60}, {232, 1, 232, 60}, {232, 0, 289, 0}}},
        // After the last step the line climbs to the top row and runs along it.
        {"--6-------", {{0, 121, 0, 199}, {0, 120, 86, 120}, {87, 1, 87, 120}, {87, 0, 289, 0}}},
        {"----------", {{0, 1, 0, 199}, {0, 0, 289, 0}}},
    };
    TestableFanCurvePanel& panel = Open();
    panel.ShowWindow(SW_SHOW);
    CBitmap grid = LoadArt(IDB_CURVE_GRID, kBaseDpi);
    const WindowPixels bitmap = CaptureBitmap(grid);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.curve);
        FanCurvePoints points;
        FromRows(c.curve, points);
        panel.Grid().SetPoints(points);
        ::RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        const WindowPixels pixels = CaptureClient(panel.Grid());
        ASSERT_EQ(pixels.width, 290);
        ASSERT_EQ(pixels.height, 200);
        std::set<std::pair<int, int>> expected;
        for (const Run& r : c.runs)
            for (int x = r.x0; x <= r.x1; ++x)
                for (int y = r.y0; y <= r.y1; ++y) expected.emplace(x, y);
        std::set<std::pair<int, int>> cyan;
        int gridDiffers = 0;  // beside the line the grid shows as the bitmap has it
        for (int y = 0; y < pixels.height; ++y)
            for (int x = 0; x < pixels.width; ++x) {
                if (pixels.At(x, y) == RGB(0, 255, 255))
                    cyan.emplace(x, y);
                else
                    gridDiffers += pixels.At(x, y) != bitmap.At(x, y);
            }
        EXPECT_EQ(cyan, expected);
        EXPECT_EQ(gridDiffers, 0);
    }
    // The grid says what it shows.
    panel.Grid().SetPoints(kDefaultFanCurve);
    EXPECT_EQ(CWnd::FromHandle(panel.Grid())->GetWindowText(), "30% to 40C, 60% to 60C, 70% to 80C, 100% to 100C");
}

namespace {
// A plain parent that counts what its grid reports.
int g_reports = 0;
LRESULT CALLBACK CountingParent(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CURVE_CHANGED) ++g_reports;
    return ::DefWindowProcA(h, msg, wp, lp);
}
}  // namespace

TEST(CurveGrid, ClicksOutsideWholeCellsAreIgnored)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = CountingParent;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "QSurgeCurveParent";
    ::RegisterClassA(&wc);
    HWND parent = ::CreateWindowA("QSurgeCurveParent", "", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    ASSERT_NE(parent, nullptr);

    struct Case {
        const char* name;
        UINT bitmap;  // its size gives the cells
        std::vector<std::pair<int, int>> clicks;
    };
    const Case cases[] = {
        // 295 x 207: cells of 29 x 20 leave a strip of 5 x 7 pixels beyond the tenth column and row.
        {"beyond the tenth column or row", IDB_SETTINGS_SKIN, {{290, 10}, {294, 100}, {10, 200}, {100, 206}}},
        {"a grid that could not be loaded", 9999, {{0, 0}, {10, 10}, {150, 100}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND window = ::CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 0, 0, 300, 210, parent,
                                      nullptr, wc.hInstance, nullptr);
        CCurve grid;
        ASSERT_TRUE(grid.SubclassWindow(window));
        grid.SetCurveBitmap(c.bitmap);
        grid.SetPoints(kDefaultFanCurve);
        g_reports = 0;
        for (const auto& click : c.clicks) {
            for (UINT button : {WM_LBUTTONDOWN, WM_RBUTTONDOWN}) {
                ::ValidateRect(window, nullptr);
                grid.SendMessage(button, 0, MAKELPARAM(click.first, click.second));
                EXPECT_FALSE(NeedsRepaint(window)) << click.first << "," << click.second;
            }
        }
        FanCurvePoints after;
        grid.GetPoints(after);
        EXPECT_EQ(Rows(after), "---7-4-3-0");
        EXPECT_EQ(g_reports, 0);
        // Inside the ten columns and rows the same grid still takes clicks.
        if (c.bitmap == IDB_SETTINGS_SKIN) {
            grid.SendMessage(WM_RBUTTONDOWN, 0, MAKELPARAM(289, 199));
            grid.GetPoints(after);
            EXPECT_EQ(Rows(after), "---7-4-3--");
            EXPECT_EQ(g_reports, 1);
        }
        grid.Detach();
        ::DestroyWindow(window);
    }
    ::DestroyWindow(parent);
}

// At 150 % the grid is placed and drawn at its 96-DPI place scaled, its cells
// meet the scaled grid, and a click in the middle of a scaled cell edits that cell.
TEST_F(FanCurvePanelTest, AtAnotherDpiTheGridsCellsAreScaled)
{
    TestableFanCurvePanel& panel = Open();
    panel.ShowWindow(SW_SHOW);
    const CScale s(144);
    CRect window = panel.GetWindowRect();
    RECT suggested{window.left, window.top, window.left + s(412), window.top + s(402)};
    panel.SendMessage(WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    CRect grid;
    ::GetWindowRect(panel.Grid(), &grid);
    ::MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&grid), 2);
    EXPECT_EQ(grid, s.Rect(68, 101, 290, 200));

    const auto middle = [&s](int column, int row) {
        return MAKELPARAM((s(column * 29) + s(column * 29 + 29)) / 2, (s(row * 20) + s(row * 20 + 20)) / 2);
    };
    ::SendMessageA(panel.Grid(), WM_LBUTTONDOWN, MK_LBUTTON, middle(4, 7));
    ::SendMessageA(panel.Grid(), WM_RBUTTONDOWN, MK_RBUTTON, middle(9, 0));
    EXPECT_EQ(panel.Shown(), "----74-3--");
    // Just beyond the tenth column's scaled edge is off the grid.
    ::SendMessageA(panel.Grid(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(s(290), s(100)));
    EXPECT_EQ(panel.Shown(), "----74-3--");

    // The step line runs along row 7 over the fifth column, and down its left edge.
    ::RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const WindowPixels shown = CaptureClient(panel.Grid());
    ASSERT_EQ(shown.width, s(290));
    const COLORREF line = RGB(0, 255, 255);
    EXPECT_EQ(shown.At(s(4 * 29) + s(14), s(140)), line);
    EXPECT_NE(shown.At(s(4 * 29) + s(14), s(130)), line);
}
