#include "controls/CBitButtonNL.h"

#include <windowsx.h>
#include <commctrl.h>

#include <oleacc.h>

#include <algorithm>
#include <cstring>

#include "controls/FocusMark.h"
#include "framework/Art.h"
#include "framework/Dpi.h"
#include "framework/Keyboard.h"
#include "framework/Resources.h"

namespace {
constexpr LONG kButtonTypeBits = 0x1F;
constexpr COLORREF kWhite = RGB(255, 255, 255);

CBitmap LoadOptional(UINT id, UINT dpi) { return id ? LoadArt(id, dpi) : CBitmap(); }

// A font given in pixels is at the window's DPI: its point size is kept, to
// make it again at another.
int FontTenthsAt(const LOGFONTA& font, UINT dpi)
{
    return ::MulDiv(font.lfHeight < 0 ? -font.lfHeight : font.lfHeight, 720, static_cast<int>(dpi));
}
}  // namespace

BEGIN_MESSAGE_MAP(CBitButtonNL, CButton)
    ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
    ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
    ON_MESSAGE(WM_KILLFOCUS, OnKillFocus)
    ON_MESSAGE(WM_SETCURSOR, OnSetCursor)
    ON_MESSAGE(kDpiChangedAfterParent, OnDpiChangedAfterParent)
    ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
    ON_DRAWITEM_REFLECT(DrawItem)
    ON_WM_GETOBJECT_ACCESSIBLE()
END_MESSAGE_MAP()

CBitButtonNL::CBitButtonNL() = default;

CBitButtonNL::~CBitButtonNL() = default;

BOOL CBitButtonNL::SetBitmaps(UINT normal, UINT pressed, UINT hover, UINT disabled)
{
    m_artDpi = Dpi();
    const BOOL taken = TakeBitmaps(LoadArt(normal, m_artDpi), LoadOptional(pressed, m_artDpi),
                                   LoadOptional(hover, m_artDpi), LoadOptional(disabled, m_artDpi));
    const UINT ids[StateCount] = {normal, pressed, hover, disabled};
    std::copy(std::begin(ids), std::end(ids), m_imageIds);
    return taken;
}

BOOL CBitButtonNL::SetBitmaps(CBitmap normal, CBitmap pressed, CBitmap hover, CBitmap disabled)
{
    std::fill(std::begin(m_imageIds), std::end(m_imageIds), 0u);
    return TakeBitmaps(std::move(normal), std::move(pressed), std::move(hover), std::move(disabled));
}

BOOL CBitButtonNL::TakeBitmaps(CBitmap normal, CBitmap pressed, CBitmap hover, CBitmap disabled)
{
    FreeBitmaps();
    if (normal) {
        CBitmap* images[StateCount] = {&normal, &pressed, &hover, &disabled};
        for (int i = 0; i < StateCount; ++i) {
            StateBitmap& slot = m_bitmaps[i];
            if (!*images[i]) continue;
            if (!GetBitmapSize(*images[i], slot.width, slot.height)) {
                FreeBitmaps();
                return FALSE;
            }
            slot.bitmap = std::move(*images[i]);
        }
    }
    Redraw(TRUE);
    return TRUE;
}

void CBitButtonNL::FreeBitmaps()
{
    for (StateBitmap& slot : m_bitmaps) slot = StateBitmap();
}

BOOL CBitButtonNL::SetButtonCursor(UINT cursorId, BOOL redraw)
{
    m_cursor.reset();
    m_cursorId = cursorId;
    if (!cursorId) return TRUE;
    m_artDpi = Dpi();
    // The cursor file carries several sizes; the one for the scale is taken.
    m_cursor.reset(static_cast<HCURSOR>(::LoadImageA(
        ResourceInstance(), MAKEINTRESOURCEA(cursorId), IMAGE_CURSOR, SystemMetricForDpi(SM_CXCURSOR, m_artDpi),
        SystemMetricForDpi(SM_CYCURSOR, m_artDpi), LR_DEFAULTCOLOR)));
    Redraw(redraw);
    return m_cursor ? TRUE : FALSE;
}

void CBitButtonNL::SetKeyImages(UINT normal, UINT pressed, UINT hover, UINT cursorId)
{
    SetBitmaps(normal, pressed, hover, 0);
    SetButtonCursor(cursorId, TRUE);
    FitToBitmap();
}

void CBitButtonNL::FitToBitmap()
{
    m_fitToBitmap = true;
    const StateBitmap& normal = m_bitmaps[Normal];
    if (!normal.bitmap) return;
    SetWindowPos(nullptr, 0, 0, normal.width, normal.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
}

void CBitButtonNL::SetCaptionColours(COLORREF normal, COLORREF pressed, COLORREF hover, BOOL redraw)
{
    m_captionColours[Normal] = normal;
    m_captionColours[Pressed] = pressed;
    m_captionColours[Hover] = hover;
    Redraw(redraw);
}

void CBitButtonNL::SetCaptionAlignment(BYTE alignment, BOOL redraw)
{
    m_alignment = alignment;
    Redraw(redraw);
}

void CBitButtonNL::SetDrawCaption(BOOL draw, BOOL redraw)
{
    m_bDrawCaption = draw;
    Redraw(redraw);
}

void CBitButtonNL::SetFontBold(BOOL bold, BOOL redraw)
{
    m_logFont.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    RebuildFont();
    Redraw(redraw);
}

void CBitButtonNL::SetFontName(const char* face, BYTE charSet, BOOL redraw)
{
    std::strncpy(m_logFont.lfFaceName, face ? face : "", LF_FACESIZE - 1);
    m_logFont.lfFaceName[LF_FACESIZE - 1] = '\0';
    m_logFont.lfCharSet = charSet;
    RebuildFont();
    Redraw(redraw);
}

void CBitButtonNL::SetFontUnderline(BOOL underline, BOOL redraw)
{
    m_logFont.lfUnderline = underline ? TRUE : FALSE;
    RebuildFont();
    Redraw(redraw);
}

void CBitButtonNL::SetFontItalic(BOOL italic, BOOL redraw)
{
    m_logFont.lfItalic = italic ? TRUE : FALSE;
    RebuildFont();
    Redraw(redraw);
}

void CBitButtonNL::SetFontSize(int pointSize, BOOL redraw)
{
    SizeFont(pointSize * 10);
    RebuildFont();
    Redraw(redraw);
}

void CBitButtonNL::SizeFont(int pointSizeTenths)
{
    m_fontTenths = pointSizeTenths;
    m_artDpi = Dpi();
    // Only the cell size comes from a point font of the current face.
    CFont sized = CreatePointFont(pointSizeTenths, m_logFont.lfFaceName, m_artDpi);
    LOGFONTA lf{};
    if (sized && ::GetObjectA(sized, sizeof lf, &lf)) {
        m_logFont.lfHeight = lf.lfHeight;
        m_logFont.lfWidth = lf.lfWidth;
    }
}

void CBitButtonNL::SetCaptionFont(const LOGFONTA& font, BOOL redraw)
{
    m_logFont = font;
    m_fontTenths = FontTenthsAt(font, Dpi());
    RebuildFont();
    Redraw(redraw);
}

void CBitButtonNL::SetCaptionShadow(BOOL shadow, int offsetX, int offsetY, BOOL redraw)
{
    m_bShadow = shadow;
    m_shadowOffsetX = offsetX;
    m_shadowOffsetY = offsetY;
    Redraw(redraw);
}

void CBitButtonNL::SetShadowColour(COLORREF colour, BOOL redraw)
{
    m_shadowColour = colour;
    Redraw(redraw);
}

void CBitButtonNL::SetEmbossDisabled(BOOL emboss, BOOL redraw)
{
    m_bEmbossDisabled = emboss;
    Redraw(redraw);
}

void CBitButtonNL::RebuildFont() { m_font.reset(::CreateFontIndirectA(&m_logFont)); }

void CBitButtonNL::Redraw(BOOL redraw)
{
    if (redraw && m_hWnd) Invalidate();
}

void CBitButtonNL::PreSubclassWindow()
{
    const LONG style = GetStyle();
    if ((style & kButtonTypeBits) != BS_OWNERDRAW) {
        ::SetWindowLongPtrA(m_hWnd, GWL_STYLE, (style & ~kButtonTypeBits) | BS_OWNERDRAW);
        SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT));
    if (!font) font = ::GetStockObject(SYSTEM_FONT);
    ::GetObjectA(font, sizeof m_logFont, &m_logFont);
    m_artDpi = Dpi();
    m_fontTenths = FontTenthsAt(m_logFont, m_artDpi);
    RebuildFont();
    CButton::PreSubclassWindow();
}

void CBitButtonNL::DrawItem(const DRAWITEMSTRUCT& dis)
{
    CDC dc(dis.hDC);
    m_bPressed = (dis.itemState & ODS_SELECTED) != 0;
    m_bDisabled = (dis.itemState & ODS_DISABLED) != 0;
    ::SetBkMode(dc, TRANSPARENT);
    const std::string text = GetWindowText();
    const CRect item = dis.rcItem;
    const CRect caption = item;
    if (m_bitmaps[Normal].bitmap) {
        ::SetBkColor(dc, kWhite);
        DrawStateBitmap(dc, !text.empty(), item, caption, m_bPressed, m_bDisabled);
    }
    if (!text.empty() && m_bDrawCaption) DrawCaption(dc, text, item, caption, m_bPressed, m_bDisabled);
    if ((dis.itemState & ODS_FOCUS) && FocusMarkShown(m_hWnd)) DrawFocusMark(dc, item, Dpi());
}

void CBitButtonNL::DrawStateBitmap(CDC& dc, BOOL, const CRect& item, const CRect&, BOOL pressed, BOOL disabled)
{
    State state = Normal;
    if (disabled)
        state = m_bitmaps[Disabled].bitmap ? Disabled : Normal;
    else if (pressed)
        state = m_bitmaps[Pressed].bitmap ? Pressed : Normal;
    else if (m_bHover && m_bitmaps[Hover].bitmap)
        state = Hover;
    const StateBitmap& image = m_bitmaps[state];

    int x = item.left, y = item.top;
    if (pressed && state == Normal) {  // no pressed image: the button sinks instead
        const CScale scale(Dpi());
        x += scale(m_pressOffsetX);
        y += scale(m_pressOffsetY);
    }
    CCompatibleDC imageDC(dc);
    CSelect imageSel(imageDC, image.bitmap);
    if (disabled && state == Normal) {
        // DrawState cannot take a bitmap that is selected in a context: draw a copy.
        CBitmap copy(::CreateCompatibleBitmap(dc, image.width, image.height));
        {
            CCompatibleDC copyDC(dc);
            CSelect copySel(copyDC, copy);
            ::SetBkColor(copyDC, kWhite);
            ::BitBlt(copyDC, 0, 0, image.width, image.height, imageDC, 0, 0, SRCCOPY);
        }
        ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(copy.get()), 0, x, y, image.width, image.height,
                     DST_BITMAP | DSS_DISABLED);
    } else {
        ::BitBlt(dc, x, y, image.width, image.height, imageDC, 0, 0, SRCCOPY);
    }
}

void CBitButtonNL::DrawCaption(CDC& dc, const std::string& text, const CRect&, const CRect& caption, BOOL pressed,
                               BOOL disabled)
{
    const CScale scale(Dpi());
    CRect area = caption;
    if (pressed) ::OffsetRect(&area, scale(m_pressOffsetX), scale(m_pressOffsetY));
    const int W = area.Width(), H = area.Height();
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = ::GetTextColor(dc);
    CSelect fontSel(dc, m_font);

    CRect rect = area;
    ::DrawTextA(dc, text.c_str(), -1, &rect, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
    const int w = rect.Width(), h = rect.Height();
    const int dx = m_alignment == 0 ? (W - w) / 5 : m_alignment == 1 ? 4 * (W - w) / 5 : (W - w) / 2;
    ::OffsetRect(&rect, dx, (H - h) / 2 - 1);

    if (disabled && m_bEmbossDisabled) {
        const int emboss = scale(1);
        ::OffsetRect(&rect, emboss, emboss);
        PaintText(dc, text, rect, ::GetSysColor(COLOR_BTNHIGHLIGHT));
        ::OffsetRect(&rect, -emboss, -emboss);
        PaintText(dc, text, rect, ::GetSysColor(COLOR_BTNSHADOW));
    } else if (pressed) {
        PaintText(dc, text, rect, m_captionColours[Pressed]);
    } else {
        if (m_bShadow) {
            CRect shadow = rect;
            ::OffsetRect(&shadow, scale(m_shadowOffsetX), scale(m_shadowOffsetY));
            PaintText(dc, text, shadow, m_shadowColour);
        }
        PaintText(dc, text, rect, m_captionColours[m_bHover ? Hover : Normal]);
    }
    ::SetTextColor(dc, oldColour);
    ::SetBkMode(dc, oldMode);
}

void CBitButtonNL::PaintText(HDC dc, const std::string& text, CRect rect, COLORREF colour) const
{
    ::SetTextColor(dc, colour);
    ::DrawTextA(dc, text.c_str(), -1, &rect, DT_WORDBREAK | DT_CENTER);
}

LRESULT CBitButtonNL::OnMouseMove(WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = Default();
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(m_hWnd, &pt);
    const HWND under = ::WindowFromPoint(pt);
    // A press that began elsewhere does not light the button.
    if ((wParam & MK_LBUTTON) && !m_bHover) return result;
    if (under == m_hWnd) {
        if (m_bHover) return result;
        m_bHover = TRUE;
        Invalidate();
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, m_hWnd, 0};
        ::TrackMouseEvent(&tme);
    } else {
        CancelHover();
    }
    return result;
}

void CBitButtonNL::CancelHover()
{
    if (!m_bHover) return;
    m_bHover = FALSE;
    Invalidate();
}

LRESULT CBitButtonNL::OnMouseLeave(WPARAM, LPARAM)
{
    CancelHover();
    return 0;
}

LRESULT CBitButtonNL::OnKillFocus(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    CancelHover();
    return result;
}

// Sent by the button's window when its DPI changes, and by Windows after it:
// only a DPI not yet taken makes the images, cursor and font again.
LRESULT CBitButtonNL::OnDpiChangedAfterParent(WPARAM, LPARAM)
{
    const UINT dpi = Dpi();
    if (dpi == m_artDpi) return Default();
    if (m_imageIds[Normal]) {
        SetBitmaps(m_imageIds[Normal], m_imageIds[Pressed], m_imageIds[Hover], m_imageIds[Disabled]);
        if (m_fitToBitmap) FitToBitmap();
    }
    if (m_cursorId) SetButtonCursor(m_cursorId, FALSE);
    if (m_fontTenths) {
        SizeFont(m_fontTenths);
        RebuildFont();
    }
    m_artDpi = dpi;
    Invalidate();
    return Default();
}

LRESULT CBitButtonNL::OnSetCursor(WPARAM, LPARAM)
{
    if (!m_cursor) return Default();
    ::SetCursor(m_cursor);
    return TRUE;
}

void CBitButtonNL::SetChecked(bool checked)
{
    if (checked == m_checked) return;
    m_checked = checked;
    NotifyStateChange(m_hWnd);
}

void CBitButtonNL::SetTip(const std::string& text)
{
    SetAccessibleDescription(text);
    if (text.empty()) {
        m_tip.reset();
        return;
    }
    if (!m_hWnd) return;
    const bool added = m_tip != nullptr;
    if (!added)
        m_tip.reset(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                                      nullptr, nullptr));
    if (!m_tip) return;
    std::wstring wide = WideFromCp936(text.c_str());
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_hWnd;
    tool.uId = reinterpret_cast<UINT_PTR>(m_hWnd);
    tool.lpszText = wide.data();
    ::SendMessageW(m_tip.get(), added ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CBitButtonNL::Describe(AccessibleFacts& facts) const
{
    facts.name = AccessibleName().empty() ? GetWindowText() : AccessibleName();
    facts.description = AccessibleDescription();
    switch (m_kind) {
    case Kind::Key:
        facts.role = ROLE_SYSTEM_PUSHBUTTON;
        facts.defaultAction = "Press";
        break;
    case Kind::Switch:
        facts.role = ROLE_SYSTEM_CHECKBUTTON;
        facts.defaultAction = m_checked ? "Uncheck" : "Check";
        break;
    case Kind::Choice:
        facts.role = ROLE_SYSTEM_RADIOBUTTON;
        facts.defaultAction = "Select";
        break;
    }
    if (m_checked && m_kind != Kind::Key) facts.states |= STATE_SYSTEM_CHECKED;
}

// Posted: the press may open a modal note, which must not run inside the
// call of assistive technology.
bool CBitButtonNL::DoDefaultAction()
{
    return ::IsWindowEnabled(m_hWnd) && PostMessage(BM_CLICK);
}

BOOL CBitButtonNL::OnClicked()
{
    ::SetFocus(m_hWnd);
    return FALSE;
}
