#pragma once
// CGpuList: the settings panel's list of GPUs, a drop-down list drawn in the
// skin's colours (a dark field with a hairline border and its own arrow, light
// text, the accent for the entry picked in the open list) at the window's
// DPI, its entries' height and font made again when the DPI changes. The list
// paints its closed field itself, so no stock frame or button shows. Under high contrast it keeps to the system's colours. Its template
// makes it owner-drawn with strings, so it answers WM_GETTEXT with the entry
// it shows.
#include "framework/CComboBox.h"
#include "framework/Gdi.h"

class CGpuList : public CComboBox {
    DECLARE_MESSAGE_MAP()
public:
    static constexpr COLORREF kField = RGB(27, 31, 39);
    static constexpr COLORREF kText = RGB(232, 236, 242);
    static constexpr COLORREF kAccent = RGB(34, 211, 238);
    static constexpr COLORREF kAccentText = RGB(6, 20, 26);
    static constexpr COLORREF kBorder = RGB(44, 50, 61);
    static constexpr COLORREF kArrow = RGB(150, 160, 175);
    // An entry's height at 96 DPI, in the field and in the list.
    static constexpr int kItemHeight = 18;

protected:
    void PreSubclassWindow() override;
    virtual void DrawItem(const DRAWITEMSTRUCT& dis);
    LRESULT OnDpiChanged(WPARAM, LPARAM);
    // The open list's empty part in the field's colour.
    HBRUSH OnCtlColorReflect(HDC dc, UINT ctlType);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnPrintClient(WPARAM dc, LPARAM);
    LRESULT OnEraseBkgnd(WPARAM, LPARAM) { return TRUE; }
    // The system paints the field at once when the choice changes: it is painted again.
    BOOL OnSelChange();

private:
    // Font and entry heights for the DPI the list is laid out for.
    void Scale();
    // The closed field: border, entry chosen and arrow.
    void PaintField(HDC dc);
    // One entry's background and text in rect.
    void PaintEntry(HDC dc, UINT item, const RECT& rect, bool picked);

    UINT m_dpi = 0;  // of the font and heights
    CFont m_font;
    CBrush m_fieldBrush{::CreateSolidBrush(kField)};
};
