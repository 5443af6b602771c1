// Draws the notification-area icon as the program draws it, for a few
// temperatures at the system's small icon size, enlarged eight times on a dark
// and a light taskbar, and saves the sheet as a PNG: tools/run.sh leaves it
// beside its screenshots so the digits can be judged.
#include <windows.h>

#include <objidl.h>
#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/TrayIconArt.h"

namespace {
constexpr int kTemperatures[] = {9, 45, 63, 79, 85, 100, 130};
constexpr int kZoom = 8;

bool PngEncoder(CLSID& clsid)
{
    UINT count = 0, bytes = 0;
    Gdiplus::GetImageEncodersSize(&count, &bytes);
    std::string buffer(bytes, '\0');
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(&buffer[0]);
    if (bytes == 0 || Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png") {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: tray_icon_sheet OUTPUT.png\n");
        return 2;
    }
    const int size = ::GetSystemMetrics(SM_CXSMICON);
    const int cell = size * kZoom + 16;
    const int width = cell * static_cast<int>(std::size(kTemperatures)), height = 2 * cell;

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    int status = 1;
    {
        void* bits = nullptr;
        CBitmap sheet = CreateTopDownDib(width, height, &bits);
        CCompatibleDC dc(nullptr);
        CSelect select(dc, sheet);
        const COLORREF taskbars[2] = {RGB(32, 32, 32), RGB(230, 230, 230)};
        for (int row = 0; row < 2; ++row) {
            CBrush brush(::CreateSolidBrush(taskbars[row]));
            const RECT band{0, row * cell, width, (row + 1) * cell};
            ::FillRect(dc, &band, brush);
            for (size_t i = 0; i < std::size(kTemperatures); ++i) {
                CIcon icon = MakeTemperatureIcon(kTemperatures[i], size);
                // The icon at its own size, then enlarged pixel for pixel.
                CCompatibleDC small(dc.GetSafeHdc());
                void* smallBits = nullptr;
                CBitmap picture = CreateTopDownDib(size, size, &smallBits);
                CSelect pick(small, picture);
                const RECT back{0, 0, size, size};
                ::FillRect(small, &back, brush);
                ::DrawIconEx(small, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
                ::StretchBlt(dc, static_cast<int>(i) * cell + 8, row * cell + 8, size * kZoom, size * kZoom, small, 0, 0,
                             size, size, SRCCOPY);
            }
        }
        ::GdiFlush();
        Gdiplus::Bitmap image(sheet, nullptr);
        CLSID png{};
        const std::wstring path(argv[1], argv[1] + std::strlen(argv[1]));
        if (PngEncoder(png) && image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok) status = 0;
    }
    Gdiplus::GdiplusShutdown(token);
    return status;
}
