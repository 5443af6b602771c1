#include "controls/CBitmapSlider.h"

#include <windowsx.h>
#include <oleacc.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "controls/CMemDC.h"
#include "controls/FocusMark.h"
#include "framework/Art.h"
#include "framework/Dpi.h"
#include "framework/Keyboard.h"
#include "framework/Resources.h"

namespace {
// Asks for the key pixel's own colour instead of a given key.
constexpr COLORREF kKeyFromPixel = 0xFF000000;

int ToInt(double v) { return static_cast<int>(std::clamp(v, double(INT_MIN), double(INT_MAX))); }
}  // namespace

BEGIN_MESSAGE_MAP(CBitmapSlider, CStatic)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_MESSAGE(WM_PAINT, OnPaint)
    ON_MESSAGE(WM_NCHITTEST, OnNcHitTest)
    ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
    ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
    ON_MESSAGE(WM_LBUTTONUP, OnLButtonUp)
    ON_MESSAGE(WM_CAPTURECHANGED, OnCaptureChanged)
    ON_MESSAGE(WM_GETDLGCODE, OnGetDlgCode)
    ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
    ON_MESSAGE(WM_KILLFOCUS, OnKillFocus)
    ON_MESSAGE(WM_SETFOCUS, OnSetFocus)
    ON_MESSAGE(WM_DESTROY, OnDestroy)
    ON_MESSAGE(WM_GETTEXT, OnGetText)
    ON_MESSAGE(WM_GETTEXTLENGTH, OnGetTextLength)
    ON_MESSAGE(kDpiChangedAfterParent, OnDpiChangedAfterParent)
    ON_WM_GETOBJECT_ACCESSIBLE()
END_MESSAGE_MAP()

CBitmapSlider::CBitmapSlider() = default;

CBitmapSlider::~CBitmapSlider() = default;

// The slider shows a position, and says it to whoever reads its text.
LRESULT CBitmapSlider::OnGetText(WPARAM size, LPARAM buffer)
{
    return AnswerGetText(std::to_string(m_nPos), size, buffer);
}

LRESULT CBitmapSlider::OnGetTextLength(WPARAM, LPARAM)
{
    return static_cast<LRESULT>(std::to_string(m_nPos).size());
}

// ---- position and pixel ----

int CBitmapSlider::PositionToPixel(int pos) const
{
    const int halfThumb = m_nThumbWidth / 2;
    // Equal ends: the thumb rests at the left end of its travel.
    if (m_nMax == m_nMin) return m_nMarginLeft + halfThumb;
    const double travel = m_nWidth - m_nMarginLeft - m_nMarginRight - m_nThumbWidth;
    const double ratio = (double(pos) - m_nMin) / (double(m_nMax) - m_nMin);
    return m_nMarginLeft + ToInt(travel * ratio) + halfThumb;
}

int CBitmapSlider::PixelToPosition(int x) const
{
    const double travel = m_nWidth - m_nMarginLeft - m_nMarginRight - m_nThumbWidth;
    if (m_nMax == m_nMin || travel == 0) return m_nMin;
    return ToInt(m_nMin + ((double(x) - m_nMarginLeft - m_nThumbWidth / 2) / travel) * (double(m_nMax) - m_nMin));
}

// ---- range and state ----

void CBitmapSlider::SetRange(int minimum, int maximum, BOOL redraw)
{
    SetRangeMin(minimum, FALSE);
    SetRangeMax(maximum, redraw);
}

void CBitmapSlider::SetRangeMin(int minimum, BOOL redraw)
{
    m_nMin = minimum;
    if (redraw && m_hWnd) Invalidate();
}

void CBitmapSlider::SetRangeMax(int maximum, BOOL redraw)
{
    m_nMax = maximum;
    if (redraw && m_hWnd) Invalidate();
}

void CBitmapSlider::SetPos(int pos)
{
    const int before = m_nPos;
    m_nPos = std::max(std::min(pos, m_nMax), m_nMin);
    if (!m_hWnd) return;
    Invalidate();
    if (m_nPos != before) NotifyValueChange(m_hWnd);
}

void CBitmapSlider::Describe(AccessibleFacts& facts) const
{
    facts.name = AccessibleName();
    facts.role = ROLE_SYSTEM_SLIDER;
    facts.value = std::to_string(m_nPos);
    facts.description = "From " + std::to_string(m_nMin) + " to " + std::to_string(m_nMax);
    if (!m_bEnable) facts.states |= STATE_SYSTEM_UNAVAILABLE;
}

void CBitmapSlider::EnableSlider(BOOL enable)
{
    m_bEnable = enable;
    if (!enable && m_bLButtonDown) {
        m_bLButtonDown = FALSE;
        if (::GetCapture() == m_hWnd) ::ReleaseCapture();
    }
    if (m_hWnd) Invalidate();
}

void CBitmapSlider::SetFocusRectDrawing(BOOL draw, BOOL redraw)
{
    m_bDrawFocusRect = draw;
    if (redraw && m_hWnd) Invalidate();
}

void CBitmapSlider::SetMargins(int left, int top, int right, int bottom)
{
    m_margins = {left, top, right, bottom};
    m_artDpi = Dpi();
    ScaleMargins();
}

void CBitmapSlider::ScaleMargins()
{
    const CScale scale(m_artDpi);
    m_nMarginLeft = scale(m_margins.left);
    m_nMarginTop = scale(m_margins.top);
    m_nMarginRight = scale(m_margins.right);
    m_nMarginBottom = scale(m_margins.bottom);
}

// Sent by the slider's window when its DPI changes, and by Windows after it:
// only a DPI not yet taken makes the bitmaps and margins again.
LRESULT CBitmapSlider::OnDpiChangedAfterParent(WPARAM, LPARAM)
{
    const UINT dpi = Dpi();
    if (dpi == m_artDpi) return Default();
    const ArtSource channel = m_channelArt, thumb = m_thumbArt;
    if (channel.id)
        SetChannelBitmaps(channel.id, channel.activeId, channel.transparent, channel.key, channel.keyX, channel.keyY);
    if (thumb.id) SetThumbBitmaps(thumb.id, thumb.activeId, thumb.transparent, thumb.key, thumb.keyX, thumb.keyY);
    m_artDpi = dpi;
    ScaleMargins();
    Invalidate();
    return Default();
}

// ---- bitmaps ----

BOOL CBitmapSlider::SetChannelBitmaps(UINT channelId, UINT activeId, BOOL transparent, COLORREF key, int keyX,
                                      int keyY)
{
    const BitmapPair pair{m_bmChannel, m_bmChannelMask, m_bmChannelActive, m_bmChannelActiveMask};
    m_bChannel = FALSE;
    m_channelArt = {channelId, activeId, transparent, key, keyX, keyY};
    if (!channelId) {
        FreePair(pair);
        m_bChannelActive = FALSE;
        return TRUE;
    }
    m_artDpi = Dpi();
    if (!LoadPair(pair, m_channelArt, m_artDpi, m_bChannelActive)) return FALSE;
    GetBitmapSize(m_bmChannel, m_nWidth, m_nHeight);
    SetWindowPos(nullptr, 0, 0, m_nWidth, m_nHeight, SWP_NOMOVE | SWP_NOZORDER);
    m_rect = GetClientRect();
    m_bTransparentChannel = transparent;
    m_bChannel = TRUE;
    return TRUE;
}

BOOL CBitmapSlider::SetThumbBitmaps(UINT thumbId, UINT activeId, BOOL transparent, COLORREF key, int keyX, int keyY)
{
    const BitmapPair pair{m_bmThumb, m_bmThumbMask, m_bmThumbActive, m_bmThumbActiveMask};
    m_bThumb = FALSE;
    // The saved background belongs to the previous thumb.
    m_bmThumbBg.reset();
    m_nThumbBgX = m_nThumbBgY = -1;
    m_thumbArt = {thumbId, activeId, transparent, key, keyX, keyY};
    if (!thumbId) {
        FreePair(pair);
        m_bThumbActive = FALSE;
        return TRUE;
    }
    m_artDpi = Dpi();
    if (!LoadPair(pair, m_thumbArt, m_artDpi, m_bThumbActive)) return FALSE;
    GetBitmapSize(m_bmThumb, m_nThumbWidth, m_nThumbHeight);
    if (!m_bChannel) {
        m_rect = GetClientRect();
        m_nWidth = m_rect.Width();
        m_nHeight = m_rect.Height();
    }
    m_bTransparentThumb = transparent;
    m_bThumb = TRUE;
    return TRUE;
}

void CBitmapSlider::FreePair(const BitmapPair& pair)
{
    pair.main.reset();
    pair.mainMask.reset();
    pair.active.reset();
    pair.activeMask.reset();
}

// Loads a bitmap and its optional active counterpart; on failure keeps neither.
BOOL CBitmapSlider::LoadPair(const BitmapPair& pair, const ArtSource& source, UINT dpi, BOOL& hasActive)
{
    FreePair(pair);
    hasActive = FALSE;
    const CScale scale(dpi);
    const int keyX = scale(source.keyX), keyY = scale(source.keyY);
    pair.main = LoadArt(source.id, dpi);
    if (!pair.main) return FALSE;
    if (source.transparent) BuildMask(pair.main, pair.mainMask, source.key, keyX, keyY);
    if (!source.activeId) return TRUE;
    pair.active = LoadArt(source.activeId, dpi);
    if (!pair.active) {
        FreePair(pair);
        return FALSE;
    }
    if (source.transparent) BuildMask(pair.active, pair.activeMask, source.key, keyX, keyY);
    hasActive = TRUE;
    return TRUE;
}

// Makes a monochrome mask with the key pixels white, and blackens those pixels
// in the source so that it can be ORed over a background the mask has cut.
void CBitmapSlider::BuildMask(HBITMAP source, CBitmap& mask, COLORREF key, int keyX, int keyY)
{
    int w = 0, h = 0;
    GetBitmapSize(source, w, h);
    mask.reset(::CreateBitmap(w, h, 1, 1, nullptr));
    CCompatibleDC sourceDC(nullptr);
    CCompatibleDC maskDC(nullptr);
    CSelect sourceSel(sourceDC, source);
    CSelect maskSel(maskDC, mask);
    // A key pixel's place scaled from 96 DPI may fall on the edge past the last pixel.
    if (key == kKeyFromPixel) key = ::GetPixel(sourceDC, std::min(keyX, w - 1), std::min(keyY, h - 1));
    ::SetBkColor(sourceDC, key);
    ::BitBlt(maskDC, 0, 0, w, h, sourceDC, 0, 0, SRCCOPY);
    ::SetTextColor(sourceDC, RGB(255, 255, 255));
    ::SetBkColor(sourceDC, RGB(0, 0, 0));
    ::BitBlt(sourceDC, 0, 0, w, h, maskDC, 0, 0, SRCAND);
}

void CBitmapSlider::DrawSliderBitmap(HDC dc, int x, int y, int w, int h, HDC source, int sourceX, int sourceY,
                                     HBITMAP mask, BOOL transparent)
{
    if (!transparent) {
        ::BitBlt(dc, x, y, w, h, source, sourceX, sourceY, SRCCOPY);
        return;
    }
    CCompatibleDC maskDC(dc);
    CSelect maskSel(maskDC, mask);
    ::BitBlt(dc, x, y, w, h, maskDC, sourceX, sourceY, SRCAND);
    ::BitBlt(dc, x, y, w, h, source, sourceX, sourceY, SRCPAINT);
}

// ---- painting ----

LRESULT CBitmapSlider::OnEraseBkgnd(WPARAM, LPARAM) { return TRUE; }

LRESULT CBitmapSlider::OnPaint(WPARAM, LPARAM)
{
    CPaintDC dc(m_hWnd);
    CMemDC memDC(dc, m_rect, m_bTransparentChannel);
    CCompatibleDC bitmapDC(memDC);

    // The focus rectangle is drawn by inversion: drawing it again removes it.
    if (m_bFocusRect && (m_bTransparentChannel || !m_bChannel)) {
        ::DrawFocusRect(memDC, &m_rect);
        m_bFocusRect = FALSE;
    }
    if (m_bChannel) {
        if (m_bChannelActive && m_bEnable) {
            const int pixel = PositionToPixel(m_nPos);
            {
                CSelect sel(bitmapDC, m_bmChannel);
                DrawSliderBitmap(memDC, pixel, 0, m_nWidth - pixel, m_nHeight, bitmapDC, pixel, 0, m_bmChannelMask,
                                 m_bTransparentChannel);
            }
            CSelect sel(bitmapDC, m_bmChannelActive);
            DrawSliderBitmap(memDC, 0, 0, pixel, m_nHeight, bitmapDC, 0, 0, m_bmChannelActiveMask,
                             m_bTransparentChannel);
        } else {
            CSelect sel(bitmapDC, m_bmChannel);
            DrawSliderBitmap(memDC, 0, 0, m_nWidth, m_nHeight, bitmapDC, 0, 0, m_bmChannelMask,
                             m_bTransparentChannel);
        }
    }
    if (m_nThumbBgX != -1) {
        CSelect sel(bitmapDC, m_bmThumbBg);
        ::BitBlt(memDC, m_nThumbBgX, m_nThumbBgY, m_nThumbWidth, m_nThumbHeight, bitmapDC, 0, 0, SRCCOPY);
        m_nThumbBgX = m_nThumbBgY = -1;
    }
    if (m_bThumb && m_bEnable) {
        const bool active = m_bThumbActive && m_bLButtonDown;
        const int x = PositionToPixel(m_nPos) - m_nThumbWidth / 2;
        const int y = m_nMarginTop;
        // Without an opaque channel under it, the thumb's old place is restored from a copy.
        if (m_bTransparentChannel || !m_bChannel) {
            if (!m_bmThumbBg) m_bmThumbBg.reset(::CreateCompatibleBitmap(dc, m_nThumbWidth, m_nThumbHeight));
            CSelect sel(bitmapDC, m_bmThumbBg);
            ::BitBlt(bitmapDC, 0, 0, m_nThumbWidth, m_nThumbHeight, memDC, x, y, SRCCOPY);
            m_nThumbBgX = x;
            m_nThumbBgY = y;
        }
        CSelect sel(bitmapDC, active ? m_bmThumbActive : m_bmThumb);
        DrawSliderBitmap(memDC, x, y, m_nThumbWidth, m_nThumbHeight, bitmapDC, 0, 0,
                         active ? m_bmThumbActiveMask : m_bmThumbMask, m_bTransparentThumb);
    }
    // Once the keyboard is used the focus shows whatever the owner asked: as
    // the skins' mark over an opaque channel, else as the system's inverted
    // rectangle, which the next paint can take away again.
    const bool keyboardMark = m_bFocus && m_bEnable && FocusMarkShown(m_hWnd);
    if (keyboardMark && m_bChannel && !m_bTransparentChannel) {
        DrawFocusMark(memDC, m_rect, Dpi());
    } else if ((m_bDrawFocusRect || keyboardMark) && m_bFocus && m_bEnable) {
        ::DrawFocusRect(memDC, &m_rect);
        m_bFocusRect = TRUE;
    }
    return 0;
}

// ---- input ----

// A static lets the mouse through to its parent unless told otherwise.
LRESULT CBitmapSlider::OnNcHitTest(WPARAM, LPARAM) { return HTCLIENT; }

void CBitmapSlider::Notify(UINT message) const
{
    ::PostMessageA(GetParent(), message, static_cast<WPARAM>(GetDlgCtrlID()), m_nPos);
}

void CBitmapSlider::DragTo(int pointerX)
{
    const int halfThumb = m_nThumbWidth / 2;
    int x = pointerX - m_nMouseOffset;
    x = std::max(x, m_nMarginLeft + halfThumb);
    x = std::min(x, m_nWidth - m_nMarginRight - halfThumb);
    if (x == PositionToPixel(m_nPos)) return;
    const int before = m_nPos;
    SetPos(PixelToPosition(x));
    // Past an end of the travel the pointer still moves but the value does not.
    if (m_nPos != before) Notify(WM_SLIDER_MOVING);
}

LRESULT CBitmapSlider::OnLButtonDown(WPARAM, LPARAM lParam)
{
    if (!m_bEnable) return Default();
    ::SetCapture(m_hWnd);
    ::SetFocus(m_hWnd);
    m_bLButtonDown = TRUE;
    const int x = GET_X_LPARAM(lParam);
    const int offset = x - PositionToPixel(m_nPos);
    // Grabbing the thumb keeps it under the same spot; a press beside it centres it.
    m_nMouseOffset = std::abs(offset) <= m_nThumbWidth / 2 ? offset : 0;
    DragTo(x);
    Invalidate();
    return Default();
}

LRESULT CBitmapSlider::OnMouseMove(WPARAM, LPARAM lParam)
{
    if (m_bLButtonDown && m_bEnable) DragTo(GET_X_LPARAM(lParam));
    return Default();
}

LRESULT CBitmapSlider::OnLButtonUp(WPARAM, LPARAM)
{
    if (!m_bEnable) return Default();
    // Cleared first: letting the mouse go reports the capture's loss at once.
    m_bLButtonDown = FALSE;
    if (::GetCapture() == m_hWnd) ::ReleaseCapture();
    Invalidate();
    Notify(WM_SLIDER_MOVED);
    return Default();
}

// Another window took the mouse mid-drag (Alt+Tab, a message box): the drag
// ends where it was, as if the button had been let go there.
LRESULT CBitmapSlider::OnCaptureChanged(WPARAM, LPARAM)
{
    if (m_bLButtonDown) {
        m_bLButtonDown = FALSE;
        Invalidate();
        Notify(WM_SLIDER_MOVED);
    }
    return Default();
}

LRESULT CBitmapSlider::OnGetDlgCode(WPARAM, LPARAM lParam)
{
    // Tab still moves the focus on and Esc still closes the window; every
    // other key comes here.
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    const bool tabOrEsc = msg && (msg->message == WM_KEYDOWN || msg->message == WM_CHAR) &&
                          (msg->wParam == VK_TAB || msg->wParam == VK_ESCAPE);
    if (tabOrEsc || ::GetKeyState(VK_TAB) < 0) return Default();
    return DLGC_WANTALLKEYS;
}

LRESULT CBitmapSlider::OnKeyDown(WPARAM wParam, LPARAM)
{
    if (!m_bEnable) return Default();
    long long target = m_nPos;
    switch (wParam) {
    case VK_PRIOR: target -= m_nPage; break;
    case VK_NEXT: target += m_nPage; break;
    case VK_END: target = m_nMax; break;
    case VK_HOME: target = m_nMin; break;
    case VK_LEFT:
    case VK_UP: target -= 1; break;
    case VK_RIGHT:
    case VK_DOWN: target += 1; break;
    default: return Default();
    }
    SetPos(static_cast<int>(std::clamp<long long>(target, INT_MIN, INT_MAX)));
    Notify(WM_SLIDER_MOVED);
    return Default();
}

LRESULT CBitmapSlider::OnSetFocus(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    m_bFocus = TRUE;
    Invalidate();
    return result;
}

LRESULT CBitmapSlider::OnKillFocus(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    m_bFocus = FALSE;
    Invalidate();
    return result;
}

LRESULT CBitmapSlider::OnDestroy(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    for (CBitmap* b : {&m_bmChannel, &m_bmChannelMask, &m_bmChannelActive, &m_bmChannelActiveMask, &m_bmThumb,
                       &m_bmThumbMask, &m_bmThumbActive, &m_bmThumbActiveMask, &m_bmThumbBg})
        b->reset();
    return result;
}
