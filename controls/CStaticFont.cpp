#include "controls/CStaticFont.h"

#include <oleacc.h>

#include <algorithm>

#include "controls/CBkDialogST.h"
#include "controls/FocusMark.h"
#include "framework/Dpi.h"
#include "framework/Resources.h"

BEGIN_MESSAGE_MAP(CStaticFont, CStatic)
    ON_CTLCOLOR_REFLECT(OnCtlColorReflect)
    ON_MESSAGE(WM_SETTEXT, OnSetText)
    ON_MESSAGE(WM_GETTEXT, OnGetText)
    ON_MESSAGE(WM_GETTEXTLENGTH, OnGetTextLength)
    ON_MESSAGE(WM_PAINT, OnPaint)
    ON_MESSAGE(WM_PRINTCLIENT, OnPrintClient)
    ON_MESSAGE(WM_SETFONT, OnSetFont)
    ON_MESSAGE(kDpiChangedAfterParent, OnDpiChangedAfterParent)
    ON_WM_GETOBJECT_ACCESSIBLE()
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
    MakeFont();
}

void CStaticFont::MakeFont()
{
    m_fontDpi = Dpi();
    CFont font = CreatePointFont(m_pointSize, m_faceName.c_str(), m_fontDpi);
    // The static must let go of the old font before it is deleted.
    if (m_hWnd) SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    m_font = std::move(font);
}

void CStaticFont::PreSubclassWindow()
{
    m_text = GetWindowText();
    // A font made before the readout had its window is for the system's DPI.
    if (m_font && Dpi() != m_fontDpi)
        MakeFont();
    else if (m_font)
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
    // Not attached yet, the readout does not see the static take the font.
    m_shownFont = m_font ? m_font.get() : reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
}

// Sent by the readout's window when its DPI changes, and by Windows after it:
// only a DPI the font is not made for makes it again. The parent's skin
// under the readout changes with it.
LRESULT CStaticFont::OnDpiChangedAfterParent(WPARAM, LPARAM)
{
    if (!m_font || Dpi() == m_fontDpi) return Default();
    MakeFont();
    for (Background& background : m_backgrounds) background.taken = false;
    Invalidate(FALSE);
    return Default();
}

SIZE CStaticFont::TextExtent(const std::string& text) const
{
    SIZE extent{0, 0};
    CClientDC screen(nullptr);
    CSelect font(screen, m_shownFont);
    ::GetTextExtentPoint32A(screen, text.c_str(), static_cast<int>(text.size()), &extent);
    return extent;
}

// The static's font is followed here, so that a paint need not ask for it.
LRESULT CStaticFont::OnSetFont(WPARAM font, LPARAM)
{
    m_shownFont = reinterpret_cast<HFONT>(font);
    return Default();
}

// Under high contrast the number stands on the system's own colours instead
// of the skin.
HBRUSH CStaticFont::OnCtlColorReflect(HDC dc, UINT)
{
    ::SetBkMode(dc, TRANSPARENT);
    if (HighContrastOn()) {
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        return ::GetSysColorBrush(COLOR_WINDOW);
    }
    ::SetTextColor(dc, m_textColour);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
}

// The static itself would draw the new text straight over the old one. A new
// text is a new value of the readout's object (its name stays), announced on
// that object so that screen readers hear new readings.
LRESULT CStaticFont::OnSetText(WPARAM, LPARAM lParam)
{
    const char* text = reinterpret_cast<const char*>(lParam);
    const bool changed = m_text != (text ? text : "");
    m_text = text ? text : "";
    if (IsWindowVisible()) PaintText();
    if (changed) NotifyValueChange(m_hWnd);
    return TRUE;
}

void CStaticFont::Describe(AccessibleFacts& facts) const
{
    facts.name = AccessibleName();
    facts.role = ROLE_SYSTEM_STATICTEXT;
    facts.states = STATE_SYSTEM_READONLY;
    facts.value = m_unit.empty() || m_text.empty() ? m_text : m_text + " " + m_unit;
}

LRESULT CStaticFont::OnGetText(WPARAM size, LPARAM buffer) { return AnswerGetText(m_text, size, buffer); }

LRESULT CStaticFont::OnGetTextLength(WPARAM, LPARAM) { return static_cast<LRESULT>(m_text.size()); }

LRESULT CStaticFont::OnPaint(WPARAM, LPARAM)
{
    // What lies under the readout may have changed with whatever made it repaint.
    for (Background& background : m_backgrounds) background.taken = false;
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
    // A skin dialog hands the colouring to the readout and adds nothing but a
    // transparent background, so the readout colours the context itself.
    HWND parent = GetParent();
    HBRUSH brush = nullptr;
    if (dynamic_cast<CBkDialogST*>(CWnd::FromHandle(parent)))
        brush = OnCtlColorReflect(dc, CTLCOLOR_STATIC);
    else
        brush = reinterpret_cast<HBRUSH>(
            ::SendMessageA(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hWnd)));
    if (brush && (style & SS_TYPEMASK) != SS_SIMPLE) ::FillRect(dc, &client, brush);
    if (!::IsWindowEnabled(m_hWnd)) ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    CSelect font(dc, m_shownFont);
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
    // Taken for each text (a context kept for good would hold one of the
    // system's shared window contexts), and the parent's, cut to the
    // readout's place: the system keeps only a few shared contexts ready, and
    // a panel's readouts and the parent itself then share one of them.
    // Without its children clipped, the parent's context reaches the same
    // pixels there as the readout's own.
    CClientDC window(parent, DCX_CACHE);
    const bool cut = window.GetSafeHdc() &&
                     ::IntersectClipRect(window, place.left, place.top, place.right, place.bottom) != ERROR;
    const int width = client.Width(), height = client.Height();
    Background* background = cut ? BackgroundAt(window, place) : nullptr;
    if (!background || !m_canvas.Make(window, width, height)) {
        // Without its surfaces the new text still shows, skin first, at the next paint.
        for (Background& b : m_backgrounds) b.taken = false;
        ::RedrawWindow(parent, &place, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return;
    }
    ::BitBlt(m_canvas.dc, 0, 0, width, height, background->surface.dc, 0, 0, SRCCOPY);
    DrawReadout(m_canvas.dc);
    ::BitBlt(window, place.left, place.top, width, height, m_canvas.dc, 0, 0, SRCCOPY);
}

CStaticFont::Background* CStaticFont::BackgroundAt(HDC like, const CRect& place)
{
    for (Background& kept : m_backgrounds) {
        if (kept.taken && ::EqualRect(&place, &kept.place)) {
            m_latest = static_cast<int>(&kept - m_backgrounds);
            return &kept;
        }
    }
    // The place before the latest one gives way.
    m_latest = 1 - m_latest;
    Background& background = m_backgrounds[m_latest];
    background.taken = false;
    if (!background.surface.Make(like, place.Width(), place.Height())) return nullptr;
    // The parent erases into the readout's rectangle of its client area.
    HDC dc = background.surface.dc;
    ::SetViewportOrgEx(dc, -place.left, -place.top, nullptr);
    ::SendMessageA(GetParent(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ::SetViewportOrgEx(dc, 0, 0, nullptr);
    background.place = place;
    background.taken = true;
    return &background;
}

void CStaticFont::MoveTo(int x, int y, int width, int height)
{
    HWND parent = GetParent();
    CRect old = GetWindowRect();
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&old), 2);
    const CRect place(x, y, x + width, y + height);
    if (place == old) return;
    // Nothing is repainted by the move itself; what needs it is painted here.
    SetWindowPos(nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_NOCOPYBITS);
    if (!IsWindowVisible()) return;
    PaintText();
    CRgn left(::CreateRectRgnIndirect(&old));
    CRgn covered(::CreateRectRgnIndirect(&place));
    if (!left || !covered) {
        ::RedrawWindow(parent, &old, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return;
    }
    if (::CombineRgn(left, left, covered, RGN_DIFF) == NULLREGION || PaintLeftBehind(old, left)) return;
    ::RedrawWindow(parent, nullptr, left, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The parent's background goes back where the readout no longer is, from the
// copy kept of it, around the parent's other controls. False when no copy of
// the old place is kept: the parent must repaint it.
bool CStaticFont::PaintLeftBehind(const CRect& old, HRGN left)
{
    const Background* kept = std::find_if(std::begin(m_backgrounds), std::end(m_backgrounds),
                                          [&old](const Background& b) { return b.taken && b.place == old; });
    if (kept == std::end(m_backgrounds)) return false;
    CClientDC parent(GetParent(), DCX_CACHE | DCX_CLIPCHILDREN | DCX_CLIPSIBLINGS);
    if (!parent.GetSafeHdc() || ::SelectClipRgn(parent, left) == ERROR) return false;
    ::BitBlt(parent, old.left, old.top, old.Width(), old.Height(), kept->surface.dc, 0, 0, SRCCOPY);
    return true;
}

// A surface at least as large as asked for: a readout moving between its
// places keeps one canvas.
bool CStaticFont::Surface::Make(HDC like, int w, int h)
{
    if (dc && w <= width && h <= height) return true;
    dc.Release();  // lets go of the old bitmap before it is deleted
    bitmap = CBitmap(::CreateCompatibleBitmap(like, w, h));
    if (!bitmap || !dc.Select(like, bitmap)) return false;
    width = w;
    height = h;
    return true;
}
