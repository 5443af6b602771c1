#include "framework/Art.h"

#include <algorithm>
// GDI+ wants min and max, which NOMINMAX keeps out of windows.h.
using std::max;
using std::min;
#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "framework/Dpi.h"
#include "framework/Resources.h"

namespace {

// The skins' key colour (pure blue) as an opaque pixel; art that happens to
// land on it inside a shape is moved one blue step off, as the art is drawn.
constexpr uint32_t kKeyPixel = 0xFF0000FF;
constexpr uint32_t kBesideKeyPixel = 0xFF0000FE;

struct CarriedScale {
    UINT dpi;
    const char* type;
};
constexpr CarriedScale kScales[] = {
    {96, "ART100"}, {120, "ART125"}, {144, "ART150"}, {168, "ART175"}, {192, "ART200"}};

// The carried scale an image at dpi is made from: its own, else the next
// larger (reducing keeps detail), else the largest.
const CarriedScale& ScaleFor(UINT dpi)
{
    for (const CarriedScale& scale : kScales)
        if (scale.dpi >= dpi) return scale;
    return kScales[std::size(kScales) - 1];
}

struct Bytes {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

Bytes FindBytes(UINT id, const char* type)
{
    HRSRC found = ::FindResourceA(ResourceInstance(), MAKEINTRESOURCEA(id), type);
    const DWORD size = found ? ::SizeofResource(ResourceInstance(), found) : 0;
    HGLOBAL loaded = size ? ::LoadResource(ResourceInstance(), found) : nullptr;
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return {};
    return {static_cast<const BYTE*>(data), size};
}

// A PNG's width and height from its header, without decoding it.
bool PngSize(const Bytes& png, int& width, int& height)
{
    static const BYTE kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size < 24 || std::memcmp(png.data, kSignature, sizeof kSignature) != 0 ||
        std::memcmp(png.data + 12, "IHDR", 4) != 0)
        return false;
    auto number = [&](int at) {
        return static_cast<int>(png.data[at] << 24 | png.data[at + 1] << 16 | png.data[at + 2] << 8 | png.data[at + 3]);
    };
    width = number(16);
    height = number(20);
    return width > 0 && height > 0;
}

// Pixels as 0xAARRGGBB (the byte order of a 32-bit DIB), not premultiplied,
// rows top down.
struct Pixels {
    int width = 0, height = 0;
    std::vector<uint32_t> argb;
};

class CGdiplusSession {
public:
    CGdiplusSession()
    {
        Gdiplus::GdiplusStartupInput input;
        m_started = Gdiplus::GdiplusStartup(&m_token, &input, nullptr) == Gdiplus::Ok;
    }
    ~CGdiplusSession()
    {
        if (m_started) Gdiplus::GdiplusShutdown(m_token);
    }
    CGdiplusSession(const CGdiplusSession&) = delete;
    CGdiplusSession& operator=(const CGdiplusSession&) = delete;
    bool Started() const { return m_started; }

private:
    ULONG_PTR m_token = 0;
    bool m_started = false;
};

// GDI+ from the first image decoded until the process ends, whether or not
// the program has started a session of its own (sessions nest).
bool GdiplusStarted()
{
    static CGdiplusSession session;
    return session.Started();
}

bool Decode(const Bytes& png, Pixels& out)
{
    if (!png.data || !GdiplusStarted()) return false;
    IStream* stream = ::SHCreateMemStream(png.data, png.size);
    if (!stream) return false;
    bool decoded = false;
    {
        Gdiplus::Bitmap image(stream);
        Gdiplus::Rect all(0, 0, static_cast<INT>(image.GetWidth()), static_cast<INT>(image.GetHeight()));
        Gdiplus::BitmapData data{};
        if (image.GetLastStatus() == Gdiplus::Ok && all.Width > 0 && all.Height > 0 &&
            image.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) == Gdiplus::Ok) {
            out.width = all.Width;
            out.height = all.Height;
            out.argb.resize(static_cast<size_t>(out.width) * out.height);
            for (int y = 0; y < out.height; ++y)
                std::memcpy(&out.argb[static_cast<size_t>(y) * out.width],
                            static_cast<const BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride,
                            static_cast<size_t>(out.width) * sizeof(uint32_t));
            image.UnlockBits(&data);
            decoded = true;
        }
    }
    stream->Release();
    return decoded;
}

// One output pixel's share of the source pixels along one axis.
struct Tap {
    int from;
    float weight;
};
using Taps = std::vector<std::vector<Tap>>;

// Reducing averages the source pixels each output pixel covers (by the
// length covered); enlarging interpolates with Catmull-Rom, which keeps
// edges sharper than bilinear without the halo of wider filters.
Taps TapsFor(int source, int target)
{
    Taps taps(static_cast<size_t>(target));
    const double ratio = static_cast<double>(source) / target;
    for (int i = 0; i < target; ++i) {
        std::vector<Tap>& shares = taps[static_cast<size_t>(i)];
        if (ratio >= 1.0) {
            const double begin = i * ratio, end = (i + 1) * ratio;
            for (int s = static_cast<int>(begin); s < source && s < end; ++s) {
                const double covered = std::min<double>(end, s + 1) - std::max<double>(begin, s);
                if (covered > 0) shares.push_back({s, static_cast<float>(covered / ratio)});
            }
        } else {
            const double at = (i + 0.5) * ratio - 0.5;
            const int base = static_cast<int>(std::floor(at));
            const double f = at - base, f2 = f * f, f3 = f2 * f;
            const double weights[4] = {(-f3 + 2 * f2 - f) / 2, (3 * f3 - 5 * f2 + 2) / 2,
                                       (-3 * f3 + 4 * f2 + f) / 2, (f3 - f2) / 2};
            for (int k = 0; k < 4; ++k)
                shares.push_back({std::clamp(base - 1 + k, 0, source - 1), static_cast<float>(weights[k])});
        }
    }
    return taps;
}

// Whether the image is a skin: opaque, with pixels of the key colour.
bool IsKeyed(const Pixels& image)
{
    bool key = false;
    for (uint32_t p : image.argb) {
        if (p >> 24 != 0xFF) return false;
        key = key || p == kKeyPixel;
    }
    return key;
}

// The image at width x height. Colours are blended with their alpha
// (premultiplied), so transparent pixels lend no colour to their neighbours;
// a skin's key pixels count as transparent, so no blue bleeds into the art,
// and the key is put back exactly where the nearest source pixel is key.
Pixels Resample(const Pixels& from, int width, int height)
{
    const bool keyed = IsKeyed(from);
    const size_t count = from.argb.size();
    std::vector<float> source(count * 4);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t p = from.argb[i];
        const float alpha = keyed && p == kKeyPixel ? 0.0f : static_cast<float>(p >> 24);
        for (int c = 0; c < 3; ++c) source[i * 4 + c] = static_cast<float>(p >> (8 * c) & 0xFF) * alpha / 255.0f;
        source[i * 4 + 3] = alpha;
    }

    const Taps columns = TapsFor(from.width, width), rows = TapsFor(from.height, height);
    std::vector<float> across(static_cast<size_t>(width) * from.height * 4, 0.0f);
    for (int y = 0; y < from.height; ++y)
        for (int x = 0; x < width; ++x) {
            float* to = &across[(static_cast<size_t>(y) * width + x) * 4];
            for (const Tap& tap : columns[static_cast<size_t>(x)]) {
                const float* at = &source[(static_cast<size_t>(y) * from.width + tap.from) * 4];
                for (int c = 0; c < 4; ++c) to[c] += at[c] * tap.weight;
            }
        }

    Pixels out;
    out.width = width;
    out.height = height;
    out.argb.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int nearX = std::min(static_cast<int>((x + 0.5) * from.width / width), from.width - 1);
            const int nearY = std::min(static_cast<int>((y + 0.5) * from.height / height), from.height - 1);
            const uint32_t nearest = from.argb[static_cast<size_t>(nearY) * from.width + nearX];
            uint32_t& pixel = out.argb[static_cast<size_t>(y) * width + x];
            if (keyed && nearest == kKeyPixel) {
                pixel = kKeyPixel;
                continue;
            }
            float sum[4] = {};
            for (const Tap& tap : rows[static_cast<size_t>(y)]) {
                const float* at = &across[(static_cast<size_t>(tap.from) * width + x) * 4];
                for (int c = 0; c < 4; ++c) sum[c] += at[c] * tap.weight;
            }
            const float alpha = std::clamp(sum[3], 0.0f, 255.0f);
            if (alpha < 0.5f) {
                pixel = keyed ? nearest : 0;  // nothing to blend: the art's own pixel, or clear
                continue;
            }
            uint32_t value = keyed ? 0xFF000000u : static_cast<uint32_t>(std::lround(alpha)) << 24;
            for (int c = 0; c < 3; ++c)
                value |= static_cast<uint32_t>(std::lround(std::clamp(sum[c] * 255.0f / alpha, 0.0f, 255.0f))) << (8 * c);
            pixel = keyed && value == kKeyPixel ? kBesideKeyPixel : value;
        }
    return out;
}

// A PNG decoded at width x height: as it is when it has that size, else resampled.
bool DecodeAt(const Bytes& png, int width, int height, Pixels& out)
{
    if (!Decode(png, out)) return false;
    if (out.width != width || out.height != height) out = Resample(out, width, height);
    return true;
}

// Image id at dpi from the art (the one scale dpi is made from), else, when
// standIn names a resource type, from a PNG of that type and id at 96 DPI.
bool LoadPixels(UINT id, UINT dpi, const char* standIn, Pixels& out)
{
    if (!dpi) dpi = kBaseDpi;
    int width = 0, height = 0;
    if (PngSize(FindBytes(id, kScales[0].type), width, height))
        return DecodeAt(FindBytes(id, ScaleFor(dpi).type), ScaleToDpi(width, dpi), ScaleToDpi(height, dpi), out);
    const Bytes png = standIn ? FindBytes(id, standIn) : Bytes{};
    return PngSize(png, width, height) && DecodeAt(png, ScaleToDpi(width, dpi), ScaleToDpi(height, dpi), out);
}

// A BITMAP resource stretched to its size at dpi.
CBitmap StretchedBitmapResource(UINT id, UINT dpi)
{
    CBitmap base(static_cast<HBITMAP>(
        ::LoadImageA(ResourceInstance(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
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

}  // namespace

CBitmap LoadArt(UINT id, UINT dpi)
{
    Pixels pixels;
    if (!LoadPixels(id, dpi, nullptr, pixels)) return StretchedBitmapResource(id, dpi ? dpi : kBaseDpi);
    void* bits = nullptr;
    CBitmap bitmap = CreateTopDownDib(pixels.width, pixels.height, &bits);
    if (bitmap) std::memcpy(bits, pixels.argb.data(), pixels.argb.size() * sizeof(uint32_t));
    return bitmap;
}

std::unique_ptr<Gdiplus::Bitmap> LoadArtImage(UINT id, UINT dpi, const char* standIn)
{
    Pixels pixels;
    if (!LoadPixels(id, dpi, standIn, pixels)) return nullptr;
    auto image = std::make_unique<Gdiplus::Bitmap>(pixels.width, pixels.height, PixelFormat32bppARGB);
    Gdiplus::Rect all(0, 0, pixels.width, pixels.height);
    Gdiplus::BitmapData data{};
    if (image->GetLastStatus() != Gdiplus::Ok ||
        image->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data) != Gdiplus::Ok)
        return nullptr;
    for (int y = 0; y < pixels.height; ++y)
        std::memcpy(static_cast<BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride,
                    &pixels.argb[static_cast<size_t>(y) * pixels.width],
                    static_cast<size_t>(pixels.width) * sizeof(uint32_t));
    image->UnlockBits(&data);
    return image;
}
