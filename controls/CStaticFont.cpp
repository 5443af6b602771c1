#include "controls/CStaticFont.h"

#include <algorithm>

#include "framework/Resources.h"

BEGIN_MESSAGE_MAP(CStaticFont, CStatic)
    ON_CTLCOLOR_REFLECT(OnCtlColorReflect)
    ON_MESSAGE(WM_SETTEXT, OnSetText)
    ON_MESSAGE(WM_GETTEXT, OnGetText)
    ON_MESSAGE(WM_GETTEXTLENGTH, OnGetTextLength)
    ON_MESSAGE(WM_PAINT, OnPaint)
    ON_MESSAGE(WM_PRINTCLIENT, OnPrintClient)
END_MESSAGE_MAP()

CStaticFont::CStaticFont() : m_faceName("宋体") {}

// A window that outlives its readout keeps the text it showed.
CStaticFont::~CStaticFont()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DefWindowProcA(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(m_text.c_str()));
}

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
    m_text = GetWindowText();
    if (m_font) SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
}

HBRUSH CStaticFont::OnCtlColorReflect(HDC dc, UINT)
{
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, m_textColour);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

// The static itself would draw the new text straight over the old one.
LRESULT CStaticFont::OnSetText(WPARAM, LPARAM lParam)
{
    const char* text = reinterpret_cast<const char*>(lParam);
    m_text = text ? text : "";
    if (IsWindowVisible()) PaintText();
    return TRUE;
}

LRESULT CStaticFont::OnGetText(WPARAM size, LPARAM buffer) { return ReplyWithText(m_text, size, buffer); }

LRESULT CStaticFont::OnGetTextLength(WPARAM, LPARAM) { return static_cast<LRESULT>(m_text.size()); }

LRESULT CStaticFont::OnPaint(WPARAM, LPARAM)
{
    // What lies under the readout may have changed with whatever made it repaint.
    m_backgroundTaken = false;
    CPaintDC dc(m_hWnd);
    DrawReadout(dc);
    return 0;
}

LRESULT CStaticFont::OnPrintClient(WPARAM dc, LPARAM)
{
    DrawReadout(reinterpret_cast<HDC>(dc));
    return 0;
}

namespace {

// How a text static of that style lays its text out.
UINT TextFormat(LONG style)
{
    UINT format = DT_EXPANDTABS | DT_WORDBREAK;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER:
        format |= DT_CENTER;
        break;
    case SS_RIGHT:
        format |= DT_RIGHT;
        break;
    case SS_SIMPLE:
    case SS_LEFTNOWORDWRAP:
        format = DT_EXPANDTABS | DT_SINGLELINE;
        break;
    default:
        break;
    }
    if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
    if (style & SS_CENTERIMAGE) format = (format & ~DT_WORDBREAK) | DT_SINGLELINE | DT_VCENTER;
    return format;
}

}  // namespace

// As a text static paints: the parent colours the context (which reaches this
// readout's colouring first), the brush fills the client area, and the text
// goes on top in the static's font. The static itself would take the text the
// window stores, which the readout keeps to itself.
void CStaticFont::DrawReadout(HDC dc)
{
    const LONG style = GetStyle();
    const CRect client = GetClientRect();
    HBRUSH brush = reinterpret_cast<HBRUSH>(
        ::SendMessageA(GetParent(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd)));
    if (brush && (style & SS_TYPEMASK) != SS_SIMPLE) ::FillRect(dc, &client, brush);
    if (!::IsWindowEnabled(m_hWnd)) ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    CSelect font(dc, reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT)));
    CRect area = client;
    ::DrawTextA(dc, m_text.c_str(), static_cast<int>(m_text.size()), &area, TextFormat(style));
}

void CStaticFont::PaintText()
{
    HWND parent = GetParent();
    const CRect client = GetClientRect();
    if (!parent || client.IsEmpty()) return;
    CRect place = client;
    ::MapWindowPoints(m_hWnd, parent, reinterpret_cast<POINT*>(&place), 2);
    // Taken for each text: a context kept for good would hold one of the
    // system's shared window contexts.
    CClientDC window(m_hWnd);
    const int width = client.Width(), height = client.Height();
    if (!window.GetSafeHdc() || !m_background.Make(window, width, height) || !m_canvas.Make(window, width, height)) {
        // Without its surfaces the new text still shows, skin first, at the next paint.
        m_backgroundTaken = false;
        ::RedrawWindow(parent, &place, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return;
    }

    if (!m_backgroundTaken || !::EqualRect(&place, &m_backgroundPlace)) {
        // The parent erases into the readout's rectangle of its client area.
        HDC background = m_background.dc;
        ::SetViewportOrgEx(background, -place.left, -place.top, nullptr);
        ::SendMessageA(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(background), 0);
        ::SetViewportOrgEx(background, 0, 0, nullptr);
        m_backgroundPlace = place;
        m_backgroundTaken = true;
    }
    ::BitBlt(m_canvas.dc, 0, 0, width, height, m_background.dc, 0, 0, SRCCOPY);
    DrawReadout(m_canvas.dc);
    ::BitBlt(window, 0, 0, width, height, m_canvas.dc, 0, 0, SRCCOPY);
}

bool CStaticFont::Surface::Make(HDC like, int w, int h)
{
    if (dc && w == width && h == height) return true;
    dc.Release();  // lets go of the old bitmap before it is deleted
    bitmap = CBitmap(::CreateCompatibleBitmap(like, w, h));
    if (!bitmap || !dc.Select(like, bitmap)) return false;
    width = w;
    height = h;
    return true;
}
