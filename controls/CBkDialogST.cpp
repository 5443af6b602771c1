#include "controls/CBkDialogST.h"

#include <cstring>

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
END_MESSAGE_MAP()

CBkDialogST::CBkDialogST(UINT templateId, CWnd* parent)
    : CDialog(templateId, parent), m_hHollowBrush(static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)))
{
}

CBkDialogST::~CBkDialogST() = default;

void CBkDialogST::DoDataExchange(CDataExchange* pDX) { CDialog::DoDataExchange(pDX); }

void CBkDialogST::OnBackgroundComposed(CDC&) {}

int CBkDialogST::SetBackgroundBitmap(UINT resourceId) { return SetBackgroundBitmap(LoadBitmapResource(resourceId)); }

int CBkDialogST::SetBackgroundBitmap(CBitmap bitmap)
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

CBitmap CBkDialogST::ReleaseBackground()
{
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

LRESULT CBkDialogST::OnLButtonDown(WPARAM, LPARAM)
{
    if (m_bDragByBackground) SendMessage(WM_SYSCOMMAND, kMoveByMouse, 0);
    return Default();
}

HBRUSH CBkDialogST::OnCtlColor(HDC dc, HWND child, UINT ctlType)
{
    HBRUSH brush = CDialog::OnCtlColor(dc, child, ctlType);
    if (ctlType != CTLCOLOR_STATIC) return brush;
    char className[256] = {};
    ::GetClassNameA(child, className, 255);
    // A trackbar asks for the static colouring too, but must keep its own.
    if (std::strcmp(className, "msctls_trackbar32") == 0) return CDialog::OnCtlColor(dc, child, ctlType);
    ::SetBkMode(dc, TRANSPARENT);
    return m_hHollowBrush;
}

void CBkDialogST::ApplyRegionFromBitmap(UINT resourceId, COLORREF key)
{
    CBitmap bitmap = LoadBitmapResource(resourceId);
    CClientDC windowDC(m_hWnd);
    CCompatibleDC memDC(windowDC);
    CSelect sel(memDC, bitmap);
    int w = 0, h = 0;
    GetBitmapSize(bitmap, w, h);

    CRgn region(::CreateRectRgn(0, 0, 0, 0));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            while (x < w && ::GetPixel(memDC, x, y) == key) ++x;
            const int start = x;
            while (x < w && ::GetPixel(memDC, x, y) != key) ++x;
            if (x > start) {
                CRgn run(::CreateRectRgn(start, y, x, y + 1));
                ::CombineRgn(region, region, run, RGN_OR);
            }
        }
    }
    // From here the system owns the region.
    if (::SetWindowRgn(m_hWnd, region, TRUE)) region.release();
}
