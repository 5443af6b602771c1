#include "controls/CBkDialogST.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "controls/FocusMark.h"
#include "framework/Art.h"
#include "framework/Resources.h"

namespace {
// Starts the system's move loop as if the caption had been pressed.
constexpr WPARAM kMoveByMouse = 0xF012;  // SC_MOVE | HTCAPTION
}  // namespace

BEGIN_MESSAGE_MAP(CBkDialogST, CDialog)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_MESSAGE(WM_SIZE, OnSize)
    ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
    ON_WM_CTLCOLOR(OnCtlColor)
    ON_MESSAGE(WM_SETTINGCHANGE, OnSettingChange)
END_MESSAGE_MAP()

CBkDialogST::CBkDialogST(UINT templateId, CWnd* parent)
    : CDialog(templateId, parent), m_hHollowBrush(static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)))
{
}

CBkDialogST::~CBkDialogST() = default;

void CBkDialogST::DoDataExchange(CDataExchange* pDX) { CDialog::DoDataExchange(pDX); }

void CBkDialogST::OnBackgroundComposed(CDC&) {}

int CBkDialogST::SetBackgroundBitmap(UINT resourceId)
{
    const UINT dpi = Dpi();
    const int result = TakeBackground(LoadArt(resourceId, dpi));
    m_backgroundId = m_bitmap ? resourceId : 0;
    m_backgroundDpi = dpi;
    return result;
}

int CBkDialogST::SetBackgroundBitmap(CBitmap bitmap)
{
    m_backgroundId = 0;
    return TakeBackground(std::move(bitmap));
}

int CBkDialogST::TakeBackground(CBitmap bitmap)
{
    ReleaseBackground();
    if (!bitmap) {
        if (m_hWnd) Invalidate(TRUE);
        return 0;
    }
    int width = 0, height = 0;
    if (!GetBitmapSize(bitmap, width, height)) return 1;  // bitmap deleted on return
    m_bitmap = std::move(bitmap);
    m_dwWidth = width;
    m_dwHeight = height;
    if (m_hWnd) Invalidate(TRUE);
    return 0;
}

void CBkDialogST::OnDpiChanged()
{
    CDialog::OnDpiChanged();
    const UINT dpi = Dpi();
    if (m_backgroundId && m_backgroundDpi != dpi) SetBackgroundBitmap(m_backgroundId);
    if (m_outlineId && m_outlineDpi != dpi) CutOutline();
}

CBitmap CBkDialogST::ReleaseBackground()
{
    m_backgroundId = 0;
    m_skinDC.Release();
    m_dwWidth = 0;
    m_dwHeight = 0;
    return std::move(m_bitmap);
}

LRESULT CBkDialogST::OnEraseBkgnd(WPARAM wParam, LPARAM)
{
    const LRESULT result = Default();
    if (!m_bitmap) return result;
    HDC target = reinterpret_cast<HDC>(wParam);
    // Only the part of the client area that can reach the window is composed:
    // a readout that changes erases a few hundred pixels, not the whole skin.
    const CRect client = GetClientRect();
    CRect area;
    if (::GetClipBox(target, &area) == ERROR || !::IntersectRect(&area, &area, &client)) return result;

    if (!m_skinDC && !m_skinDC.Select(target, m_bitmap)) return result;

    // A 32-bit DIB section holds every colour the display can show.
    void* bits = nullptr;
    CBitmap canvas = CreateTopDownDib(area.Width(), area.Height(), &bits);
    CCompatibleDC memDC(target);
    if (!canvas || !memDC.GetSafeHdc()) return result;
    CSelect canvasSel(memDC, canvas);
    ::SetWindowOrgEx(memDC, area.left, area.top, nullptr);  // client coordinates
    ::SetBkColor(memDC, ::GetBkColor(target));
    ::ExtTextOutA(memDC, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
    // The copies of the tiling that meet the area.
    for (int y = area.top / m_dwHeight * m_dwHeight; y < area.bottom; y += m_dwHeight) {
        for (int x = area.left / m_dwWidth * m_dwWidth; x < area.right; x += m_dwWidth)
            ::BitBlt(memDC, x, y, m_dwWidth, m_dwHeight, m_skinDC, 0, 0, SRCCOPY);
    }
    ::BitBlt(target, area.left, area.top, area.Width(), area.Height(), memDC, area.left, area.top, SRCCOPY);
    OnBackgroundComposed(memDC);
    return result;
}

LRESULT CBkDialogST::OnSize(WPARAM, LPARAM)
{
    const LRESULT result = Default();
    if (m_bitmap) Invalidate(TRUE);
    return result;
}

// High contrast turned on or off: every text and focus mark is drawn again.
LRESULT CBkDialogST::OnSettingChange(WPARAM setting, LPARAM text)
{
    const LRESULT result = OnSystemChange(setting, text);
    if (setting == SPI_SETHIGHCONTRAST) ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return result;
}

LRESULT CBkDialogST::OnLButtonDown(WPARAM, LPARAM)
{
    if (m_bDragByBackground) SendMessage(WM_SYSCOMMAND, kMoveByMouse, 0);
    return Default();
}

HBRUSH CBkDialogST::OnCtlColor(HDC dc, HWND child, UINT ctlType)
{
    HBRUSH brush = CDialog::OnCtlColor(dc, child, ctlType);
    // Under high contrast a static keeps the system's colours it chose.
    if (ctlType != CTLCOLOR_STATIC || HighContrastOn()) return brush;
    char className[256] = {};
    ::GetClassNameA(child, className, 255);
    // A trackbar asks for the static colouring too, but must keep its own.
    if (std::strcmp(className, "msctls_trackbar32") == 0) return CDialog::OnCtlColor(dc, child, ctlType);
    ::SetBkMode(dc, TRANSPARENT);
    return m_hHollowBrush;
}

// The pixels are read in one call and the outline made in one call: a pixel
// read per call would be a kernel call each, over 400,000 for the main window.
void CBkDialogST::ApplyRegionFromBitmap(UINT resourceId, COLORREF key)
{
    m_outlineId = resourceId;
    m_outlineKey = key;
    CutOutline();
}

void CBkDialogST::CutOutline()
{
    m_outlineDpi = Dpi();
    const COLORREF key = m_outlineKey;
    // The skin is mostly its own outline: the art shown is read, not decoded
    // again. A bitmap is read only while no context holds it.
    CBitmap loaded;
    HBITMAP bitmap = m_bitmap.get();
    if (bitmap && m_backgroundId == m_outlineId && m_backgroundDpi == m_outlineDpi) {
        m_skinDC.Release();
    } else {
        loaded = LoadArt(m_outlineId, m_outlineDpi);
        bitmap = loaded.get();
    }
    int w = 0, h = 0;
    if (!GetBitmapSize(bitmap, w, h) || w <= 0 || h <= 0) return;  // no skin: the window keeps its rectangle

    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<RGBQUAD> pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
    {
        CClientDC screen(nullptr);
        if (::GetDIBits(screen, bitmap, 0, static_cast<UINT>(h), pixels.data(), &info, DIB_RGB_COLORS) != h) return;
    }
    auto isKey = [&](int x, int y) {
        const RGBQUAD& p = pixels[static_cast<size_t>(y) * w + x];
        return RGB(p.rgbRed, p.rgbGreen, p.rgbBlue) == key;
    };

    // Each run of non-key pixels in a row is one rectangle.
    std::vector<RECT> runs;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            while (x < w && isKey(x, y)) ++x;
            const int start = x;
            while (x < w && !isKey(x, y)) ++x;
            if (x > start) runs.push_back({start, y, x, y + 1});
        }
    }
    std::vector<BYTE> data(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT));
    auto* region = reinterpret_cast<RGNDATA*>(data.data());
    region->rdh = {sizeof(RGNDATAHEADER), RDH_RECTANGLES, static_cast<DWORD>(runs.size()),
                   static_cast<DWORD>(runs.size() * sizeof(RECT)), {0, 0, w, h}};
    std::copy(runs.begin(), runs.end(), reinterpret_cast<RECT*>(region->Buffer));
    CRgn outline(::ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()), region));
    // From here the system owns the region.
    if (outline && ::SetWindowRgn(m_hWnd, outline, TRUE)) outline.release();
}
