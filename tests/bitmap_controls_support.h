#pragma once
// Helpers of the bitmap-control tests: pixel capture from real contexts and
// windows, a memory canvas to hand to drawing messages, and a message pump
// that keeps the notifications a test wants to read.
#include <windows.h>

#include <ostream>
#include <vector>

#include "framework/Gdi.h"
#include "framework/Rect.h"

inline void PrintTo(const RECT& r, std::ostream* os)
{
    *os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace bctest {

// A 32-bit top-down memory bitmap selected into its own context.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill) : m_width(width), m_height(height), m_dc(nullptr)
    {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        m_bitmap.reset(::CreateDIBSection(m_dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0));
        m_old = ::SelectObject(m_dc, m_bitmap);
        Fill(CRect(0, 0, width, height), fill);
    }
    ~Canvas() { ::SelectObject(m_dc, m_old); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return m_dc; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    void Fill(const CRect& r, COLORREF colour)
    {
        CBrush brush(::CreateSolidBrush(colour));
        ::FillRect(m_dc, &r, brush);
    }
    COLORREF At(int x, int y) const
    {
        ::GdiFlush();
        const DWORD v = m_bits[static_cast<size_t>(y) * m_width + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    int Count(COLORREF colour) const
    {
        int n = 0;
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x) n += At(x, y) == colour;
        return n;
    }

private:
    int m_width, m_height;
    CCompatibleDC m_dc;
    CBitmap m_bitmap;
    HGDIOBJ m_old = nullptr;
    DWORD* m_bits = nullptr;
};

// Dispatches every queued message except the notifications in [first, last]
// sent to `to`, which are returned in order instead.
inline std::vector<MSG> Pump(HWND to = nullptr, UINT first = 1, UINT last = 0)
{
    std::vector<MSG> kept;
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.hwnd == to && msg.message >= first && msg.message <= last) {
            kept.push_back(msg);
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return kept;
}

// Gives Wine time to turn real input into messages, pumping meanwhile; keeps
// notifications as Pump does.
inline std::vector<MSG> PumpFor(DWORD ms, HWND to = nullptr, UINT first = 1, UINT last = 0)
{
    std::vector<MSG> kept;
    const DWORD end = ::GetTickCount() + ms;
    do {
        for (const MSG& m : Pump(to, first, last)) kept.push_back(m);
        ::Sleep(5);
    } while (static_cast<LONG>(end - ::GetTickCount()) > 0);
    return kept;
}

// Repaints a window now and copies its client area.
inline void CaptureWindow(HWND wnd, Canvas& into)
{
    ::RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    CClientDC dc(wnd);
    ::BitBlt(into.dc(), 0, 0, into.width(), into.height(), dc, 0, 0, SRCCOPY);
}

// Real pointer input at a screen point.
inline void MouseInput(POINT screen, DWORD buttons = 0)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>(screen.x * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1));
    in.mi.dy = static_cast<LONG>(screen.y * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    ::SendInput(1, &in, sizeof in);
}

inline POINT CentreOnScreen(HWND wnd)
{
    CRect r;
    ::GetWindowRect(wnd, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace bctest
