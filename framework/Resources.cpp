#include "framework/Resources.h"

#include <cstring>

HINSTANCE ResourceInstance() { return ::GetModuleHandleA(nullptr); }

CBitmap LoadBitmapResource(UINT id)
{
    return CBitmap(static_cast<HBITMAP>(
        ::LoadImageA(ResourceInstance(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
}

bool GetBitmapSize(HBITMAP bitmap, int& width, int& height)
{
    BITMAP bm{};
    if (!bitmap || !::GetObjectA(bitmap, sizeof bm, &bm)) return false;
    width = bm.bmWidth;
    height = bm.bmHeight;
    return true;
}

CFont CreatePointFont(int pointSizeTenths, const char* face)
{
    LOGFONTA lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    HDC screen = ::GetDC(nullptr);
    // Tenths of a point to logical units at the screen's resolution.
    lf.lfHeight = -(::GetDeviceCaps(screen, LOGPIXELSY) * pointSizeTenths / 720);
    ::ReleaseDC(nullptr, screen);
    return CFont(::CreateFontIndirectA(&lf));
}
