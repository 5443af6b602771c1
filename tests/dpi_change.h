#pragma once
// Test helper: tells a window that its DPI changed, as Windows does when the
// window moves to a monitor of another scale (Wine never does by itself).
#include <windows.h>

#include "framework/Dpi.h"

// The scales the controls are checked at; the last brings them back to 100 %.
constexpr UINT kCheckedDpis[] = {120, 144, 192, 96};

inline void ChangeDpi(HWND window, UINT dpi, const RECT& suggested)
{
    ::SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

// Suggests the window's place at its 96-DPI size scaled.
inline void ChangeDpi(HWND window, UINT dpi, int width96, int height96)
{
    RECT place{};
    ::GetWindowRect(window, &place);
    ChangeDpi(window, dpi,
              RECT{place.left, place.top, place.left + ScaleToDpi(width96, dpi), place.top + ScaleToDpi(height96, dpi)});
}
