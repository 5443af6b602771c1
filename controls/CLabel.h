#pragma once
// CLabel: a text label with its own face, character height and text colour.
#include <string>

#include "framework/Accessible.h"
#include "framework/CStatic.h"
#include "framework/Gdi.h"

// To assistive technology a text, its name what it says.
class CLabel : public CStatic, public AccessibleControl {
    DECLARE_MESSAGE_MAP()
public:
    // Starts in the system's default GUI font and window-text colour.
    CLabel();

    // Each of these redraws the label at once.
    // The face is code page 936 text, as all the program's strings.
    void SetLabelFontName(const std::string& faceName);
    // A character height in pixels at 96 DPI, not a point size; the label
    // scales it to the DPI of its window, and again when that changes.
    void SetLabelFontSize(int height);
    void SetLabelTextColour(COLORREF colour);

    void SetLabelText(const std::string& text) { SetWindowText(text); }

    void Describe(AccessibleFacts& facts) const override;

protected:
    void PreSubclassWindow() override;

private:
    HBRUSH OnCtlColorReflect(HDC dc, UINT ctlType);
    LRESULT OnDpiChangedAfterParent(WPARAM, LPARAM);
    void RebuildFont();
    void Redraw();

    COLORREF m_textColour;
    CBrush m_backgroundBrush;
    LOGFONTW m_logFont{};
    int m_height = 0;  // at 96 DPI; 0 while the system's font height stands
    UINT m_fontDpi = 0;  // the DPI the height was scaled for
    CFont m_font;
};
