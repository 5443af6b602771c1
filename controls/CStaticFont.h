#pragma once
// CStaticFont: a numeric readout with its own point-size font and text colour,
// drawn without a background of its own. A new text is painted at once over
// the parent's background under the readout, so the old digits never show
// through and the parent need not repaint. The readout keeps its text itself,
// answers for it and paints it as a text static would: storing a window's
// text asks the window manager (a server round trip under Wine), and the main
// window's readouts change ten times a second.
#include <string>

#include "framework/Accessible.h"
#include "framework/CStatic.h"
#include "framework/Gdi.h"
#include "framework/Rect.h"

// To assistive technology a readout is a text named by its window, whose
// value is its number with the unit given.
class CStaticFont : public CStatic, public AccessibleControl {
    DECLARE_MESSAGE_MAP()
public:
    CStaticFont();
    ~CStaticFont() override;

    // Size in tenths of a point, at the DPI of the readout's window (and made
    // again when that changes). The font becomes the static's own without a
    // redraw; the owner repaints when it next changes the text.
    void SetReadoutFont(int pointSizeTenths, const std::string& faceName);
    // The size a text takes in the readout's font, to lay the readout out by.
    SIZE TextExtent(const std::string& text) const;
    // Takes effect at the next repaint.
    void SetReadoutColour(COLORREF colour) { m_textColour = colour; }
    // Moves the readout within its parent and paints it there at once; the
    // parent repaints only what the readout no longer covers. The background
    // of the place it left is kept, so moving back and forth takes nothing again.
    void MoveTo(int x, int y, int width, int height);
    void SetAccessibleUnit(const std::string& unit) { m_unit = unit; }

    void Describe(AccessibleFacts& facts) const override;

protected:
    // A font chosen before the static was attached is handed over now.
    void PreSubclassWindow() override;

private:
    // A bitmap of the readout's size in a kept context.
    struct Surface {
        CBitmap bitmap;
        int width = 0;
        int height = 0;
        CKeptDC dc;
        bool Make(HDC like, int w, int h);
    };

    HBRUSH OnCtlColorReflect(HDC dc, UINT ctlType);
    LRESULT OnSetText(WPARAM, LPARAM);
    LRESULT OnGetText(WPARAM, LPARAM);
    LRESULT OnGetTextLength(WPARAM, LPARAM);
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnPrintClient(WPARAM, LPARAM);
    LRESULT OnSetFont(WPARAM font, LPARAM);
    LRESULT OnDpiChangedAfterParent(WPARAM, LPARAM);
    void MakeFont();
    void PaintText();
    void DrawReadout(HDC dc);
    bool PaintLeftBehind(const CRect& old, HRGN left);

    CFont m_font;
    UINT m_fontDpi = 0;  // the DPI m_font is made for
    HFONT m_shownFont = nullptr;  // the static's, which is m_font once that is set
    int m_pointSize = 110;
    std::string m_faceName;
    COLORREF m_textColour = 0;
    std::string m_text;
    std::string m_unit;

    // The parent's background under one place of the readout.
    struct Background {
        Surface surface;
        CRect place;  // in the parent's client area
        bool taken = false;
    };
    // The one for the place, taken now unless it is kept; null when it cannot be made.
    Background* BackgroundAt(HDC like, const CRect& place);

    // What painting a new text needs, kept from one text to the next: the
    // parent's background under the readout's last two places (taken again
    // after the parent repaints the readout), and a canvas where background
    // and text are put together.
    Background m_backgrounds[2];
    int m_latest = 0;
    Surface m_canvas;
};
