#include "tools/bench/PlatformFloor.h"

#include <windows.h>

#include "framework/Gdi.h"
#include "tools/bench/ProcessCounters.h"

namespace {

constexpr UINT_PTR kTimer = 1;
constexpr UINT kPeriod = 100;
constexpr int kSettleTicks = 10;
const char kClassName[] = "QSurgeBenchFloor";

enum class Drawing { Nothing, Pixel, Frame };

// One timed run: two frames, one white and one black, shown in turn, so
// that every wake changes what is on screen as changing readings do.
struct Run {
    int ticks = 0;
    int lastTick = 0;
    Drawing drawing = Drawing::Nothing;
    int frameSize = 0;
    HDC frames[2] = {};
    double cpuStart = 0, wallStart = 0;
    double percent = 0;
};

LRESULT CALLBACK FloorProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE)
        ::SetWindowLongPtrA(wnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    auto* run = reinterpret_cast<Run*>(::GetWindowLongPtrA(wnd, GWLP_USERDATA));
    switch (msg) {
    case WM_TIMER: {
        if (wParam != kTimer || !run) break;
        ++run->ticks;
        if (run->ticks == kSettleTicks) {
            run->cpuStart = ProcessCpuSeconds();
            run->wallStart = WallSeconds();
        }
        if (run->drawing != Drawing::Nothing) {
            // The class's own context: no context is fetched or reset per frame.
            HDC dc = ::GetDC(wnd);
            const int size = run->drawing == Drawing::Frame ? run->frameSize : 1;
            ::BitBlt(dc, 0, 0, size, size, run->frames[run->ticks & 1], 0, 0, SRCCOPY);
            ::ReleaseDC(wnd, dc);
        }
        if (run->ticks == run->lastTick) {
            run->percent = 100 * (ProcessCpuSeconds() - run->cpuStart) / (WallSeconds() - run->wallStart);
            ::DestroyWindow(wnd);
        }
        return 0;
    }
    case WM_PAINT: {
        CPaintDC dc(wnd);
        return 0;
    }
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(wnd, msg, wParam, lParam);
}

bool RunFloor(int seconds, int windowWidth, int windowHeight, int frameSize, Drawing drawing, double& percent)
{
    void* bits = nullptr;
    CBitmap white = CreateTopDownDib(frameSize, frameSize, &bits);
    CBitmap black = CreateTopDownDib(frameSize, frameSize, &bits);
    CCompatibleDC whiteDC(nullptr), blackDC(nullptr);
    if (!white || !black || !whiteDC.GetSafeHdc() || !blackDC.GetSafeHdc()) return false;
    CSelect whiteSelected(whiteDC, white), blackSelected(blackDC, black);
    ::PatBlt(whiteDC, 0, 0, frameSize, frameSize, WHITENESS);
    ::PatBlt(blackDC, 0, 0, frameSize, frameSize, BLACKNESS);

    Run run;
    run.drawing = drawing;
    run.frameSize = frameSize;
    run.frames[0] = whiteDC;
    run.frames[1] = blackDC;
    run.lastTick = kSettleTicks + seconds * 1000 / static_cast<int>(kPeriod);
    HWND wnd = ::CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "floor", WS_POPUP | WS_VISIBLE, 0, 0, windowWidth,
                                 windowHeight, nullptr, nullptr, ::GetModuleHandleA(nullptr), &run);
    if (!wnd) return false;
    ::SetTimer(wnd, kTimer, kPeriod, nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    // Should the loop end early, the window must not outlive the run it points to.
    if (::IsWindow(wnd)) {
        ::SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
        ::DestroyWindow(wnd);
        MSG quit;
        ::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    percent = run.percent;
    return run.ticks == run.lastTick;
}

}  // namespace

bool MeasurePlatformFloor(int seconds, int windowWidth, int windowHeight, int frameSize, FloorFigures& figures)
{
    WNDCLASSA cls{};
    cls.style = CS_OWNDC;
    cls.lpfnWndProc = FloorProc;
    cls.hInstance = ::GetModuleHandleA(nullptr);
    cls.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    cls.lpszClassName = kClassName;
    if (!::RegisterClassA(&cls) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    return RunFloor(seconds, windowWidth, windowHeight, frameSize, Drawing::Nothing, figures.wakePercent) &&
           RunFloor(seconds, windowWidth, windowHeight, frameSize, Drawing::Pixel, figures.pixelPercent) &&
           RunFloor(seconds, windowWidth, windowHeight, frameSize, Drawing::Frame, figures.copyPercent);
}
