#pragma once
// Display scale. Every size, position and offset of the windows is given in
// pixels at 96 DPI (100 %) and becomes pixels at a window's DPI here, in one
// place. A window follows the scale of the monitor it is on (per-monitor
// awareness in the manifest); the DPI it is laid out for is kept by its
// top-level window (CWnd::Dpi), which changes it on WM_DPICHANGED.
#include <windows.h>

#include "framework/Rect.h"

constexpr UINT kBaseDpi = 96;
// 500 %, the largest display scale Windows offers: a window is never laid out
// beyond it, whatever DPI it is told of.
constexpr UINT kLargestDpi = 480;
// WM_DPICHANGED_AFTERPARENT, which the headers give only to programs that
// need Windows 10: sent to every control of a window whose DPI changed.
constexpr UINT kDpiChangedAfterParent = 0x02E3;

// A length at 96 DPI in pixels at dpi, rounded to the nearest pixel (halves
// away from zero, so a negative offset mirrors a positive one).
constexpr int ScaleToDpi(int pixels, UINT dpi)
{
    const long long twice = static_cast<long long>(pixels < 0 ? -pixels : pixels) * dpi * 2;
    const int scaled = static_cast<int>((twice + kBaseDpi) / (2 * kBaseDpi));
    return pixels < 0 ? -scaled : scaled;
}

// The shortest length at 96 DPI that takes at least pixels at dpi: for a
// drawing that keeps its geometry at 96 DPI and is handed its size at dpi.
constexpr int LengthAt96(int pixels, UINT dpi)
{
    int length = 0;
    while (ScaleToDpi(length, dpi) < pixels) ++length;
    return length;
}

// The scale of one window: 96-DPI pixels to its own.
class CScale {
public:
    explicit CScale(UINT dpi) : m_dpi(dpi ? dpi : kBaseDpi) {}
    UINT Dpi() const { return m_dpi; }
    int operator()(int pixels) const { return ScaleToDpi(pixels, m_dpi); }
    // A rectangle given as left, top, width and height at 96 DPI. Its edges
    // are scaled, not its size, so rectangles that meet at 96 DPI still meet.
    CRect Rect(int left, int top, int width, int height) const
    {
        return CRect((*this)(left), (*this)(top), (*this)(left + width), (*this)(top + height));
    }
    CRect Rect(const CRect& at96) const
    {
        return CRect((*this)(at96.left), (*this)(at96.top), (*this)(at96.right), (*this)(at96.bottom));
    }
    POINT Point(int x, int y) const { return {(*this)(x), (*this)(y)}; }
    // Points to pixels at this DPI (a font's em height).
    float Points(float points) const { return points * static_cast<float>(m_dpi) / 72.0f; }

private:
    UINT m_dpi;
};

// The DPI the system gives the window: the window's own (Windows 10 1607 and
// later), else its monitor's (Windows 8.1 and later), else the system's.
UINT WindowDpi(HWND window);
// The DPI of the monitor that holds the taskbar with the notification area
// (the primary monitor's where there is no taskbar), whatever monitor the
// program's windows are on; the system's where monitors have no DPI of their
// own (before Windows 8.1).
UINT TaskbarDpi();
// The system's DPI, at which windows not yet on a monitor are made.
UINT SystemDpi();
// A system metric at dpi (GetSystemMetricsForDpi where the system has it,
// else the metric at the system's DPI scaled).
int SystemMetricForDpi(int index, UINT dpi);
// Tells the dialog manager to leave a dialog's fonts and control places
// alone when its DPI changes: the windows scale everything themselves.
void KeepDialogLayoutOnDpiChange(HWND dialog);
