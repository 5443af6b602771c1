#include "panels/CCurve.h"

#include <windowsx.h>
#include <oleacc.h>

#include <algorithm>

#include "controls/FocusMark.h"
#include "framework/Art.h"
#include "framework/Dpi.h"
#include "framework/Keyboard.h"
#include "framework/Resources.h"

namespace {
// "30% to 40C, 60% to 60C": each step's fan level and the temperature it reaches.
std::string StepsText(const FanCurvePoints& points)
{
    std::string text;
    for (const CurvePoint& p : points) {
        if (!p.enabled) continue;
        if (!text.empty()) text += ", ";
        text += std::to_string((10 - p.row) * 10) + "% to " + std::to_string(p.rightColumn * 10) + "C";
    }
    return text;
}
}  // namespace

BEGIN_MESSAGE_MAP(CCurve, CStatic)
    ON_DRAWITEM_REFLECT(DrawItem)
    ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
    ON_MESSAGE(WM_RBUTTONDOWN, OnRButtonDown)
    ON_MESSAGE(WM_GETDLGCODE, OnGetDlgCode)
    ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
    ON_MESSAGE(WM_SETFOCUS, OnFocusChange)
    ON_MESSAGE(WM_KILLFOCUS, OnFocusChange)
    ON_MESSAGE(kDpiChangedAfterParent, OnDpiChanged)
    ON_WM_GETOBJECT_ACCESSIBLE()
END_MESSAGE_MAP()

CCurve& CCurve::SetCurveBitmap(UINT bitmapId)
{
    m_gridId = bitmapId;
    LoadGrid();
    if (!m_sizeFixed) {
        m_cellWidth = LengthAt96(m_width, m_gridDpi) / kCurvePoints;
        m_cellHeight = LengthAt96(m_height, m_gridDpi) / kCurvePoints;
        m_sizeFixed = 1;
    }
    return *this;
}

void CCurve::LoadGrid()
{
    m_gridDpi = Dpi();
    m_grid = LoadArt(m_gridId, m_gridDpi);
    m_width = m_height = 0;
    GetBitmapSize(m_grid, m_width, m_height);
}

// Told by the parent, and by Windows after it: the grid is loaded once per DPI.
LRESULT CCurve::OnDpiChanged(WPARAM, LPARAM)
{
    if (m_gridId && Dpi() != m_gridDpi) {
        LoadGrid();
        Invalidate(FALSE);
    }
    return 0;
}

int CCurve::ColumnEdge(int column) const { return ScaleToDpi(column * m_cellWidth, m_gridDpi); }

int CCurve::RowEdge(int row) const { return ScaleToDpi(row * m_cellHeight, m_gridDpi); }

void CCurve::SetPoints(const FanCurvePoints& points)
{
    std::copy(std::begin(points), std::end(points), m_points);
    ShowChange(false);
}

void CCurve::GetPoints(FanCurvePoints& points) const { std::copy(std::begin(m_points), std::end(m_points), points); }

void CCurve::ShowChange(bool notify)
{
    if (!m_hWnd) return;
    Invalidate(TRUE);
    SetWindowText(StepsText(m_points));
    NotifyValueChange(m_hWnd);
    if (notify) ::SendMessageA(GetParent(), WM_CURVE_CHANGED, 0, 0);
}

bool CCurve::CellAt(LPARAM point, int& column, int& row) const
{
    // A grid that could not be loaded has no cells; one whose size is not a
    // multiple of ten leaves a strip beyond the tenth column or row.
    if (m_cellWidth <= 0 || m_cellHeight <= 0) return false;
    const int x = GET_X_LPARAM(point);
    const int y = GET_Y_LPARAM(point);
    if (x < 0 || y < 0) return false;
    column = 0;
    while (column < kCurvePoints && x >= ColumnEdge(column + 1)) ++column;
    row = 0;
    while (row < kCurvePoints && y >= RowEdge(row + 1)) ++row;
    return column < kCurvePoints && row < kCurvePoints;
}

// Fan levels must rise with temperature. A click at the level of the nearest
// step to the left moves that step here; one at the level of the nearest step
// to the right is already covered by it, so this column's step goes.
bool CCurve::EditAt(int column, int row)
{
    FanCurvePoints edited;
    std::copy(std::begin(m_points), std::end(m_points), edited);
    for (int c = column - 1; c >= 0; --c) {
        CurvePoint& left = edited[c];
        if (!left.enabled) continue;
        if (row > left.row) return false;
        if (row < left.row) break;
        left = {};
    }
    bool covered = false;
    for (int c = column + 1; c < kCurvePoints; ++c) {
        const CurvePoint& right = edited[c];
        if (!right.enabled) continue;
        if (row < right.row) return false;
        covered = row == right.row;
        break;
    }
    edited[column] = covered ? CurvePoint{} : CurvePoint{row, column + 1, 1};
    std::copy(std::begin(edited), std::end(edited), m_points);
    return true;
}

// A refused or off-grid click changes, repaints and reports nothing.
LRESULT CCurve::OnLButtonDown(WPARAM, LPARAM lParam)
{
    int column = 0, row = 0;
    if (!CellAt(lParam, column, row) || !EditAt(column, row)) return 0;
    ShowChange(true);
    return Default();
}

LRESULT CCurve::OnRButtonDown(WPARAM, LPARAM lParam)
{
    int column = 0, row = 0;
    if (!CellAt(lParam, column, row)) return 0;
    m_points[column] = {};
    ShowChange(true);
    return Default();
}

void CCurve::Describe(AccessibleFacts& facts) const
{
    facts.name = AccessibleName().empty() ? "Fan curve" : AccessibleName();
    facts.role = ROLE_SYSTEM_CHART;
    facts.description = "Arrows move the cursor, Space sets a step there, Delete clears its column";
    const std::string steps = StepsText(m_points);
    facts.value = steps.empty() ? "No steps" : "Steps: " + steps;
    if (m_cursorColumn >= 0)
        facts.value = "Cursor: " + std::to_string(m_cursorColumn * 10) + " to " + std::to_string(m_cursorColumn * 10 + 10) +
                      "C at " + std::to_string((kCurvePoints - m_cursorRow) * 10) + "%. " + facts.value;
}

LRESULT CCurve::OnGetDlgCode(WPARAM, LPARAM) { return DLGC_WANTARROWS; }

LRESULT CCurve::OnKeyDown(WPARAM key, LPARAM)
{
    PlaceCursor();
    switch (key) {
    case VK_LEFT: MoveCursor(-1, 0); break;
    case VK_RIGHT: MoveCursor(1, 0); break;
    case VK_UP: MoveCursor(0, -1); break;
    case VK_DOWN: MoveCursor(0, 1); break;
    case VK_SPACE:
        if (EditAt(m_cursorColumn, m_cursorRow)) ShowChange(true);
        break;
    case VK_DELETE:
        m_points[m_cursorColumn] = {};
        ShowChange(true);
        break;
    default: return Default();
    }
    return 0;
}

void CCurve::MoveCursor(int columns, int rows)
{
    m_cursorColumn = std::clamp(m_cursorColumn + columns, 0, kCurvePoints - 1);
    m_cursorRow = std::clamp(m_cursorRow + rows, 0, kCurvePoints - 1);
    Invalidate(FALSE);
    NotifyValueChange(m_hWnd);
}

// The cursor first stands on the curve's first step (the lowest row's first
// cell when there is none).
void CCurve::PlaceCursor()
{
    if (m_cursorColumn >= 0) return;
    const CurvePoint* first =
        std::find_if(std::begin(m_points), std::end(m_points), [](const CurvePoint& p) { return p.enabled != 0; });
    const bool found = first != std::end(m_points);
    m_cursorColumn = found ? static_cast<int>(first - std::begin(m_points)) : 0;
    m_cursorRow = found ? first->row : kCurvePoints - 1;
}

// The cursor is drawn only while the grid has the focus.
LRESULT CCurve::OnFocusChange(WPARAM, LPARAM)
{
    PlaceCursor();
    Invalidate(FALSE);
    return Default();
}

void CCurve::DrawItem(const DRAWITEMSTRUCT& dis)
{
    if (!IsWindowVisible() || !m_grid || m_width <= 0 || m_height <= 0) return;
    // The line goes over a copy of the grid, which itself stays clean.
    CCompatibleDC canvas(dis.hDC);
    CBitmap surface(::CreateCompatibleBitmap(dis.hDC, m_width, m_height));
    CSelect selectSurface(canvas, surface);
    {
        CCompatibleDC gridDC(dis.hDC);
        CSelect selectGrid(gridDC, m_grid);
        ::BitBlt(canvas, 0, 0, m_width, m_height, gridDC, 0, 0, SRCCOPY);
    }
    CPen pen(::CreatePen(PS_SOLID, ScaleToDpi(1, m_gridDpi), m_lineColour));
    {
        CSelect selectPen(canvas, pen);
        // Up the left edge to the first step, along each step to its right
        // edge, then up to the top row after the last one.
        ::MoveToEx(canvas, 0, m_height, nullptr);
        int previousRight = 0;
        for (const CurvePoint& p : m_points) {
            if (!p.enabled) continue;
            ::LineTo(canvas, ColumnEdge(previousRight), RowEdge(p.row));
            ::LineTo(canvas, ColumnEdge(p.rightColumn), RowEdge(p.row));
            previousRight = p.rightColumn;
        }
        ::LineTo(canvas, ColumnEdge(previousRight), 0);
        ::LineTo(canvas, m_width, 0);
    }
    if (::GetFocus() == m_hWnd && m_cursorColumn >= 0 && FocusMarkShown(m_hWnd)) {
        const RECT cell{ColumnEdge(m_cursorColumn), RowEdge(m_cursorRow), ColumnEdge(m_cursorColumn + 1),
                        RowEdge(m_cursorRow + 1)};
        DrawFocusMark(canvas, cell);
    }
    ::BitBlt(dis.hDC, 0, 0, m_width, m_height, canvas, 0, 0, SRCCOPY);
}
