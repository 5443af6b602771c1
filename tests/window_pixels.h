#pragma once
// Test helpers: what a window shows, read back pixel by pixel, and the number
// of GDI objects the process holds.
#include <windows.h>

#include <vector>

#include "framework/Gdi.h"

struct WindowPixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;  // rows from the top

    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    int Count(COLORREF colour) const
    {
        int n = 0;
        for (COLORREF c : pixels) n += c == colour;
        return n;
    }
    // The smallest rectangle holding every pixel of the colour; empty when there is none.
    RECT Bounds(COLORREF colour) const
    {
        RECT r{width, height, 0, 0};
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (At(x, y) != colour) continue;
                r.left = x < r.left ? x : r.left;
                r.top = y < r.top ? y : r.top;
                r.right = x + 1 > r.right ? x + 1 : r.right;
                r.bottom = y + 1 > r.bottom ? y + 1 : r.bottom;
            }
        }
        return r;
    }
};

// How many pixels of two pictures of one size differ; -1 when their sizes do.
inline int DifferingPixels(const WindowPixels& a, const WindowPixels& b)
{
    if (a.width != b.width || a.height != b.height) return -1;
    int n = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) n += a.pixels[i] != b.pixels[i];
    return n;
}

// width x height pixels of a context, from its origin.
inline WindowPixels CaptureDC(HDC source, int width, int height)
{
    WindowPixels out{width, height, {}};
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), out.width, -out.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    CCompatibleDC memory(source);
    void* bits = nullptr;
    CBitmap dib(::CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib) return out;
    {
        CSelect select(memory, dib);
        ::BitBlt(memory, 0, 0, out.width, out.height, source, 0, 0, SRCCOPY);
    }
    ::GdiFlush();
    const auto* bgrx = static_cast<const BYTE*>(bits);
    out.pixels.resize(static_cast<size_t>(out.width) * out.height);
    for (size_t i = 0; i < out.pixels.size(); ++i)
        out.pixels[i] = RGB(bgrx[4 * i + 2], bgrx[4 * i + 1], bgrx[4 * i]);
    return out;
}

// The client area as it is on screen now.
inline WindowPixels CaptureClient(HWND window)
{
    RECT client{};
    ::GetClientRect(window, &client);
    CClientDC dc(window);
    return CaptureDC(dc, client.right, client.bottom);
}

// The pixels of a bitmap.
inline WindowPixels CaptureBitmap(HBITMAP bitmap)
{
    BITMAP bm{};
    ::GetObjectA(bitmap, sizeof bm, &bm);
    CClientDC screen(nullptr);
    CCompatibleDC dc(screen);
    CSelect select(dc, bitmap);
    return CaptureDC(dc, bm.bmWidth, bm.bmHeight);
}

// GDI objects the process holds. Wine does not implement GetGuiResources; there
// a handle whose upper word is zero names whatever object holds that table
// slot, so counting the slots in use gives the same figure.
inline int LiveGdiObjects()
{
    if (DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<int>(n);
    int n = 0;
    for (UINT slot = 1; slot < 0x10000; ++slot)
        n += ::GetObjectType(reinterpret_cast<HGDIOBJ>(static_cast<ULONG_PTR>(slot))) != 0;
    return n;
}
