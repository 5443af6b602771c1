#include "tools/bench/ProcessCounters.h"

#include <windows.h>
#include <psapi.h>

#include "tests/window_pixels.h"

namespace {

PROCESS_MEMORY_COUNTERS_EX MemoryCounters()
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters);
    return counters;
}

// Committed private memory, which Windows reports as PrivateUsage. Wine
// leaves that at 0 and its PagefileUsage counts only the private pages
// written so far (a page committed long ago counts once first written), so
// there the committed private regions are added up instead.
size_t PrivateBytes(const PROCESS_MEMORY_COUNTERS_EX& counters)
{
    if (counters.PrivateUsage) return counters.PrivateUsage;
    size_t total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr; ::VirtualQuery(at, &region, sizeof region) == sizeof region && region.RegionSize;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    }
    return total;
}

bool IsOwnIcon(HICON icon)
{
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return false;
    CBitmap mask(info.hbmMask), colour(info.hbmColor);  // copies made for the caller
    return true;
}

// Wine does not implement GetGuiResources. Its USER handles share one table
// whose slot number is the handle's lower word, and a handle with a zero upper
// word names whatever object holds that slot, as for GDI. Windows of this
// process, and the menus, icons, cursors and accelerator tables only this
// process can use, are the USER objects a program makes.
int LiveUserObjects()
{
    if (DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS)) return static_cast<int>(n);
    const DWORD self = ::GetCurrentProcessId();
    int n = 0;
    for (UINT slot = 0x20; slot < 0x10000; slot += 2) {
        const HANDLE h = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(slot));
        if (::IsWindow(static_cast<HWND>(h))) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(static_cast<HWND>(h), &owner);
            n += owner == self;
        } else {
            n += ::IsMenu(static_cast<HMENU>(h)) || IsOwnIcon(static_cast<HICON>(h)) ||
                 ::CopyAcceleratorTableA(static_cast<HACCEL>(h), nullptr, 0) > 0;
        }
    }
    return n;
}

}  // namespace

ProcessCounters ReadProcessCounters()
{
    ProcessCounters c;
    c.userObjects = LiveUserObjects();
    c.gdiObjects = LiveGdiObjects();
    const PROCESS_MEMORY_COUNTERS_EX counters = MemoryCounters();
    c.privateBytes = PrivateBytes(counters);
    c.touchedBytes = counters.PrivateUsage ? 0 : counters.PagefileUsage;
    return c;
}

const char* PrivateMemorySource()
{
    return MemoryCounters().PrivateUsage
               ? "PrivateUsage"
               : "committed private regions (VirtualQuery), as Windows counts PrivateUsage; Wine reports "
                 "PrivateUsage as 0, and its PagefileUsage, the private pages written so far, is shown beside it";
}

const char* UserObjectsSource()
{
    return ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS)
               ? "GetGuiResources"
               : "this process's windows, menus, icons, cursors and accelerator tables, found by probing the USER "
                 "handle table (Wine's GetGuiResources gives 0)";
}

bool UserCountWorks()
{
    using CWindowHandle = UserHandle<HWND, ::DestroyWindow>;
    using CAccelerators = UserHandle<HACCEL, ::DestroyAcceleratorTable>;
    const int before = LiveUserObjects();
    int with = 0;
    {
        CWindowHandle window(
            ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
        CMenu menu(::CreatePopupMenu());
        CIcon icon(::CopyIcon(::LoadIconA(nullptr, MAKEINTRESOURCEA(32512))));
        ACCEL key{FVIRTKEY, 'A', 1};
        CAccelerators table(::CreateAcceleratorTableA(&key, 1));
        if (!window || !menu || !icon || !table) return false;
        with = LiveUserObjects();
    }
    const int after = LiveUserObjects();
    return with - before >= 4 && with - after >= 4;
}

double ProcessCpuSeconds()
{
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

double WallSeconds()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / frequency;
}
