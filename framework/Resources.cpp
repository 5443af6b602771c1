#include "framework/Resources.h"

#include <algorithm>

HINSTANCE ResourceInstance() { return ::GetModuleHandleA(nullptr); }

CBitmap LoadBitmapResource(UINT id)
{
    return CBitmap(static_cast<HBITMAP>(
        ::LoadImageA(ResourceInstance(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
}

CIcon LoadIconResource(UINT id)
{
    return CIcon(static_cast<HICON>(
        ::LoadImageA(ResourceInstance(), MAKEINTRESOURCEA(id), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
}

bool GetBitmapSize(HBITMAP bitmap, int& width, int& height)
{
    BITMAP bm{};
    if (!bitmap || !::GetObjectA(bitmap, sizeof bm, &bm)) return false;
    width = bm.bmWidth;
    height = bm.bmHeight;
    return true;
}

std::wstring WideFromCp936(const char* text)
{
    constexpr UINT kCodePage = 936;
    if (!text || !*text) return {};
    const int length = ::MultiByteToWideChar(kCodePage, 0, text, -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(kCodePage, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

void SetFaceName(LOGFONTW& font, const char* face)
{
    const std::wstring wide = WideFromCp936(face);
    const size_t count = std::min<size_t>(wide.size(), LF_FACESIZE - 1);
    std::copy_n(wide.data(), count, font.lfFaceName);
    font.lfFaceName[count] = L'\0';
}

CFont CreatePointFont(int pointSizeTenths, const char* face)
{
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    SetFaceName(lf, face);
    HDC screen = ::GetDC(nullptr);
    // Tenths of a point to logical units at the screen's resolution.
    lf.lfHeight = -(::GetDeviceCaps(screen, LOGPIXELSY) * pointSizeTenths / 720);
    ::ReleaseDC(nullptr, screen);
    return CFont(::CreateFontIndirectW(&lf));
}
