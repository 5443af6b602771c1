#pragma once
// CCurve: the fan-curve grid. Ten temperature columns by ten fan-level rows,
// drawn from a grid bitmap with the step line over it. A left click sets a
// step where the curve's order allows it, a right click empties a column;
// from the keyboard the arrows move a cell cursor, Space sets the step there
// and Delete empties its column, under the same rules. Each accepted edit is
// reported to the parent with WM_CURVE_CHANGED. Its window text tells the
// steps it shows; to assistive technology it is a chart whose value is the
// cell under the cursor and the steps.
#include <string>

#include "fan/FanCurve.h"
#include "framework/Accessible.h"
#include "framework/CStatic.h"
#include "framework/Gdi.h"

// Sent to the parent after every accepted edit; wParam and lParam 0.
constexpr UINT WM_CURVE_CHANGED = WM_USER + 100;

class CCurve : public CStatic, public AccessibleControl {
    DECLARE_MESSAGE_MAP()
public:
    // The first call fixes the grid's cell size (at 96 DPI); every call loads
    // the bitmap, at the control's DPI and again when that changes.
    CCurve& SetCurveBitmap(UINT bitmapId);
    void SetLineColour(COLORREF colour) { m_lineColour = colour; }
    // Shows the points; the parent is not told.
    void SetPoints(const FanCurvePoints& points);
    void GetPoints(FanCurvePoints& points) const;

    void Describe(AccessibleFacts& facts) const override;

protected:
    virtual void DrawItem(const DRAWITEMSTRUCT& dis);
    LRESULT OnLButtonDown(WPARAM, LPARAM);
    LRESULT OnRButtonDown(WPARAM, LPARAM);
    LRESULT OnGetDlgCode(WPARAM, LPARAM);
    LRESULT OnKeyDown(WPARAM, LPARAM);
    LRESULT OnFocusChange(WPARAM, LPARAM);
    LRESULT OnDpiChanged(WPARAM, LPARAM);

private:
    // The cell under a client point; false off the ten columns and rows, and
    // for every point while the grid has no size.
    bool CellAt(LPARAM point, int& column, int& row) const;
    // Sets the step at the clicked cell; false when the curve's order refuses it.
    bool EditAt(int column, int row);
    // Repaints, says what the control shows and tells the parent.
    void ShowChange(bool notify);
    void PlaceCursor();
    // Moves the cell cursor by whole cells, kept within the grid.
    void MoveCursor(int columns, int rows);
    void LoadGrid();
    // The left edge of a column and the top edge of a row, 0 to 10, at the
    // grid's DPI: the 96-DPI edges scaled, so cells meet the grid's art.
    int ColumnEdge(int column) const;
    int RowEdge(int row) const;

    int m_sizeFixed = 0;
    UINT m_gridId = 0;
    UINT m_gridDpi = 0;  // of the grid loaded
    int m_width = 0;     // of the grid loaded
    int m_height = 0;
    CBitmap m_grid;
    COLORREF m_lineColour = 0;
    FanCurvePoints m_points = {};
    int m_cellWidth = 0;  // at 96 DPI
    int m_cellHeight = 0;
    int m_cursorColumn = -1;  // -1 until the grid first has the focus
    int m_cursorRow = 0;
};
