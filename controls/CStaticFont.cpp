#include "controls/CStaticFont.h"

#include "framework/Resources.h"

BEGIN_MESSAGE_MAP(CStaticFont, CStatic)
    ON_CTLCOLOR_REFLECT(OnCtlColorReflect)
END_MESSAGE_MAP()

CStaticFont::CStaticFont() : m_faceName("宋体") {}

void CStaticFont::SetReadoutFont(int pointSizeTenths, const std::string& faceName)
{
    m_pointSize = pointSizeTenths;
    m_faceName = faceName;
    CFont font = CreatePointFont(m_pointSize, m_faceName.c_str());
    // The static must let go of the old font before it is deleted.
    if (m_hWnd) SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    m_font = std::move(font);
}

void CStaticFont::PreSubclassWindow()
{
    if (m_font) SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
}

HBRUSH CStaticFont::OnCtlColorReflect(HDC dc, UINT)
{
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, m_textColour);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}
