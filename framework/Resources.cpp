#include "framework/Resources.h"

#include <algorithm>

#include "framework/Dpi.h"

HINSTANCE ResourceInstance() { return ::GetModuleHandleA(nullptr); }

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

void SetFaceName(LOGFONTW& font, const char* face) { SetFaceName(font, WideFromCp936(face)); }

void SetFaceName(LOGFONTW& font, const std::wstring& face)
{
    const size_t count = std::min<size_t>(face.size(), LF_FACESIZE - 1);
    std::copy_n(face.data(), count, font.lfFaceName);
    font.lfFaceName[count] = L'\0';
}

namespace {
// The carried face and what it stands in for; the registration lasts until the process ends.
struct CarriedFace {
    std::wstring face;
    std::wstring standsFor;
    float scale = 1.0f;
    HANDLE registration = nullptr;
    ~CarriedFace()
    {
        if (registration) ::RemoveFontMemResourceEx(registration);
    }
};
CarriedFace g_carried;

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}
}  // namespace

bool RegisterCarriedFace(UINT resourceId, const wchar_t* carried, const char* standsFor, float scale)
{
    if (g_carried.registration) return false;
    HRSRC found = ::FindResourceA(ResourceInstance(), MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(10));  // RT_RCDATA
    const DWORD size = found ? ::SizeofResource(ResourceInstance(), found) : 0;
    HGLOBAL data = size ? ::LoadResource(ResourceInstance(), found) : nullptr;
    void* bytes = data ? ::LockResource(data) : nullptr;
    DWORD fonts = 0;
    HANDLE registration = bytes ? ::AddFontMemResourceEx(bytes, size, nullptr, &fonts) : nullptr;
    if (!registration || fonts == 0) return false;
    g_carried.face = carried;
    g_carried.standsFor = WideFromCp936(standsFor);
    g_carried.scale = scale;
    g_carried.registration = registration;
    return true;
}

// Faces registered for this process alone are not enumerated, so this finds the system's only.
bool IsFaceInstalled(const std::wstring& face)
{
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    SetFaceName(wanted, face);
    bool found = false;
    CClientDC screen(nullptr);
    ::EnumFontFamiliesExW(screen, &wanted, &FaceFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

std::wstring FaceFor(const char* face, float* scale)
{
    std::wstring wide = WideFromCp936(face);
    const bool standIn = g_carried.registration && wide == g_carried.standsFor && !IsFaceInstalled(wide);
    if (scale) *scale = standIn ? g_carried.scale : 1.0f;
    return standIn ? g_carried.face : wide;
}

CFont CreatePointFont(int pointSizeTenths, const char* face, UINT dpi)
{
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    float scale = 1.0f;
    SetFaceName(lf, FaceFor(face, &scale));
    lf.lfHeight = -static_cast<LONG>(CScale(dpi).Points(static_cast<float>(pointSizeTenths) / 10.0f) * scale + 0.5f);
    return CFont(::CreateFontIndirectW(&lf));
}
