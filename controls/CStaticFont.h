#pragma once
// CStaticFont: a numeric readout with its own point-size font and text colour,
// drawn without a background of its own.
#include <string>

#include "framework/CStatic.h"
#include "framework/Gdi.h"

class CStaticFont : public CStatic {
    DECLARE_MESSAGE_MAP()
public:
    CStaticFont();

    // Size in tenths of a point. The font becomes the static's own without a
    // redraw; the owner repaints when it next changes the text.
    void SetReadoutFont(int pointSizeTenths, const std::string& faceName);
    // Takes effect at the next repaint.
    void SetReadoutColour(COLORREF colour) { m_textColour = colour; }

protected:
    // A font chosen before the static was attached is handed over now.
    void PreSubclassWindow() override;

private:
    HBRUSH OnCtlColorReflect(HDC dc, UINT ctlType);

    CFont m_font;
    int m_pointSize = 110;
    std::string m_faceName;
    COLORREF m_textColour = 0;
};
