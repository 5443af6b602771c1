#include "framework/Dpi.h"

namespace {
// Functions newer than the oldest system the program runs on are looked up.
template <class F>
F Find(const wchar_t* module, const char* name)
{
    HMODULE loaded = ::GetModuleHandleW(module);
    if (!loaded) loaded = ::LoadLibraryExW(module, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return loaded ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(loaded, name))) : nullptr;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
using SetDialogControlDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);

constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
constexpr int kDialogDisableAll = 0x0001;  // DDC_DISABLE_ALL
constexpr int kControlDisableFontAndLayout = 0x0001 | 0x0002;  // DCDC_DISABLE_FONTUPDATE | DCDC_DISABLE_RELAYOUT

BOOL CALLBACK KeepControl(HWND control, LPARAM function)
{
    reinterpret_cast<SetDialogControlDpiChangeBehaviorFn>(function)(control, kControlDisableFontAndLayout,
                                                                    kControlDisableFontAndLayout);
    return TRUE;
}

// The monitor's own DPI; 0 where the system has none per monitor.
UINT MonitorDpi(HMONITOR monitor)
{
    static const auto forMonitor = Find<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    UINT x = 0, y = 0;
    if (monitor && forMonitor && SUCCEEDED(forMonitor(monitor, kEffectiveDpi, &x, &y))) return x;
    return 0;
}

}  // namespace

UINT SystemDpi()
{
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT WindowDpi(HWND window)
{
    static const auto forWindow = Find<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    if (window && forWindow) {
        const UINT dpi = forWindow(window);
        if (dpi) return dpi;
    }
    const UINT dpi = window ? MonitorDpi(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)) : 0;
    return dpi ? dpi : SystemDpi();
}

UINT TaskbarDpi()
{
    // The taskbar is another process's window: its monitor, not the DPI it
    // was made for, is asked.
    HWND taskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    const HMONITOR monitor = taskbar ? ::MonitorFromWindow(taskbar, MONITOR_DEFAULTTOPRIMARY)
                                     : ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    const UINT dpi = MonitorDpi(monitor);
    return dpi ? dpi : SystemDpi();
}

int SystemMetricForDpi(int index, UINT dpi)
{
    static const auto forDpi = Find<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
    if (forDpi) return forDpi(index, dpi);
    return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

void KeepDialogLayoutOnDpiChange(HWND dialog)
{
    static const auto dialogBehaviour =
        Find<SetDialogDpiChangeBehaviorFn>(L"user32.dll", "SetDialogDpiChangeBehavior");
    static const auto controlBehaviour =
        Find<SetDialogControlDpiChangeBehaviorFn>(L"user32.dll", "SetDialogControlDpiChangeBehavior");
    if (dialogBehaviour) dialogBehaviour(dialog, kDialogDisableAll, kDialogDisableAll);
    if (controlBehaviour)
        ::EnumChildWindows(dialog, &KeepControl, reinterpret_cast<LPARAM>(controlBehaviour));
}
