#include "framework/Art.h"

#include "framework/Dpi.h"
#include "framework/Resources.h"

CBitmap LoadArt(UINT id, UINT dpi)
{
    CBitmap base = LoadBitmapResource(id);
    int width = 0, height = 0;
    if (dpi == kBaseDpi || !GetBitmapSize(base, width, height)) return base;
    const int scaledWidth = ScaleToDpi(width, dpi), scaledHeight = ScaleToDpi(height, dpi);
    void* bits = nullptr;
    CBitmap scaled = CreateTopDownDib(scaledWidth, scaledHeight, &bits);
    if (!scaled) return {};
    CCompatibleDC from(nullptr), to(nullptr);
    CSelect source(from, base), target(to, scaled);
    ::SetStretchBltMode(to, HALFTONE);
    ::StretchBlt(to, 0, 0, scaledWidth, scaledHeight, from, 0, 0, width, height, SRCCOPY);
    return scaled;
}
