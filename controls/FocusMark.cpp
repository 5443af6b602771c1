#include "controls/FocusMark.h"

#include "framework/Gdi.h"

namespace {
constexpr COLORREF kSkinCyan = RGB(0, 200, 240);
constexpr COLORREF kDark = RGB(0, 0, 0);
constexpr int kOuterWidth = 2;
constexpr int kInnerWidth = 1;

void Frame(HDC dc, RECT r, int width, COLORREF colour)
{
    CBrush brush(::CreateSolidBrush(colour));
    for (int i = 0; i < width && r.right - r.left > 0 && r.bottom - r.top > 0; ++i) {
        ::FrameRect(dc, &r, brush);
        ::InflateRect(&r, -1, -1);
    }
}
}  // namespace

bool HighContrastOn()
{
    HIGHCONTRASTW contrast{sizeof contrast, 0, nullptr};
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

void DrawFocusMark(HDC dc, const RECT& area, UINT dpi)
{
    const bool contrast = HighContrastOn();
    const CScale scale(dpi);
    const int outer = scale(kOuterWidth);
    RECT r = area;
    Frame(dc, r, outer, contrast ? ::GetSysColor(COLOR_HIGHLIGHT) : kSkinCyan);
    ::InflateRect(&r, -outer, -outer);
    Frame(dc, r, scale(kInnerWidth), contrast ? ::GetSysColor(COLOR_HIGHLIGHTTEXT) : kDark);
}
