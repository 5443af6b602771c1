#include "controls/CLabel.h"

#include <oleacc.h>

#include "controls/FocusMark.h"
#include "framework/Dpi.h"
#include "framework/Resources.h"

BEGIN_MESSAGE_MAP(CLabel, CStatic)
    ON_CTLCOLOR_REFLECT(OnCtlColorReflect)
    ON_MESSAGE(kDpiChangedAfterParent, OnDpiChangedAfterParent)
    ON_WM_GETOBJECT_ACCESSIBLE()
END_MESSAGE_MAP()

CLabel::CLabel()
    : m_textColour(::GetSysColor(COLOR_WINDOWTEXT)),
      m_backgroundBrush(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)))
{
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof m_logFont, &m_logFont);
    RebuildFont();
}

void CLabel::Describe(AccessibleFacts& facts) const
{
    facts.name = GetWindowText();
    facts.role = ROLE_SYSTEM_STATICTEXT;
    facts.states = STATE_SYSTEM_READONLY;
}

void CLabel::SetLabelFontName(const std::string& faceName)
{
    SetFaceName(m_logFont, faceName.c_str());
    RebuildFont();
    Redraw();
}

void CLabel::SetLabelFontSize(int height)
{
    m_height = height;
    RebuildFont();
    Redraw();
}

// Sent by the label's window when its DPI changes, and by Windows after it:
// only a height not yet scaled for the DPI makes the font again.
LRESULT CLabel::OnDpiChangedAfterParent(WPARAM, LPARAM)
{
    if (!m_height || Dpi() == m_fontDpi) return Default();
    RebuildFont();
    Redraw();
    return Default();
}

void CLabel::SetLabelTextColour(COLORREF colour)
{
    m_textColour = colour;
    Redraw();
}

// The static gets the font as its own as well: some systems' statics select
// their own font only after asking for their colours.
void CLabel::RebuildFont()
{
    if (m_height) {
        m_fontDpi = Dpi();
        m_logFont.lfHeight = -ScaleToDpi(m_height, m_fontDpi);
    }
    CFont font(::CreateFontIndirectW(&m_logFont));
    // The static must let go of the old font before it is deleted.
    if (m_hWnd) SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    m_font = std::move(font);
}

void CLabel::PreSubclassWindow()
{
    // A height scaled before the label had its window is for the system's DPI.
    if (m_height && Dpi() != m_fontDpi)
        RebuildFont();
    else
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
}

void CLabel::Redraw()
{
    if (!m_hWnd) return;
    Invalidate(TRUE);
    UpdateWindow();
}

// Under high contrast the text stands on the system's own colours instead of the skin.
HBRUSH CLabel::OnCtlColorReflect(HDC dc, UINT ctlType)
{
    const bool contrast = HighContrastOn();
    if (ctlType == CTLCOLOR_STATIC) {
        if (m_font) ::SelectObject(dc, m_font);
        ::SetTextColor(dc, contrast ? ::GetSysColor(COLOR_WINDOWTEXT) : m_textColour);
        ::SetBkMode(dc, TRANSPARENT);
    }
    return contrast ? ::GetSysColorBrush(COLOR_WINDOW) : m_backgroundBrush.get();
}
