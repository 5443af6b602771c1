#include "app/TrayIconArt.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {
constexpr uint32_t kBackground = 0xFF1A1F26;  // opaque, premultiplied ARGB
constexpr unsigned kDigitSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

uint32_t Opaque(COLORREF c) { return 0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

void Fill(uint32_t* pixels, int size, int left, int top, int width, int height, uint32_t colour)
{
    for (int y = std::max(top, 0); y < std::min(top + height, size); ++y)
        for (int x = std::max(left, 0); x < std::min(left + width, size); ++x) pixels[y * size + x] = colour;
}

// One digit's segments as rectangles within its cell.
void DrawDigit(uint32_t* pixels, int size, int left, int top, const DigitLayout& d, int digit, uint32_t colour)
{
    const unsigned lit = SegmentsOf(digit);
    const int t = d.stroke, w = d.width, h = d.height, middle = top + (h - t) / 2;
    const struct {
        int x, y, width, height;
    } segments[7] = {
        {left, top, w, t},                          // top
        {left + w - t, top, t, middle - top + t},   // upper right
        {left + w - t, middle, t, top + h - middle},  // lower right
        {left, top + h - t, w, t},                  // bottom
        {left, middle, t, top + h - middle},        // lower left
        {left, top, t, middle - top + t},           // upper left
        {left, middle, w, t},                       // middle
    };
    for (int s = 0; s < 7; ++s)
        if (lit & (1u << s)) Fill(pixels, size, segments[s].x, segments[s].y, segments[s].width, segments[s].height, colour);
}
}  // namespace

COLORREF TemperatureColour(int celsius)
{
    if (celsius >= kHotFrom) return RGB(255, 72, 72);
    if (celsius >= kWarmFrom) return RGB(255, 190, 40);
    return RGB(34, 211, 238);
}

unsigned SegmentsOf(int digit) { return digit >= 0 && digit <= 9 ? kDigitSegments[digit] : 0; }

// Two digits take the whole width with bold strokes; three stand narrower.
// Margins, gaps and strokes grow with the icon (16 px at 100 %, 20, 24, 32 px
// and more at larger scales), so the holes of an 8 stay open at every size.
DigitLayout LayoutDigits(int size, int digits)
{
    DigitLayout d{};
    d.gap = std::max(1, size / 16);
    d.stroke = digits <= 2 ? std::max(2, size / 8) : std::max(1, size / 12);
    const int margin = std::max(1, size / 16);
    d.width = (size - 2 * margin - d.gap * (digits - 1)) / digits;
    d.height = digits <= 2 ? size - 2 * margin - 2 * std::max(1, size / 16) : size - 4 * margin;
    d.left = (size - (d.width * digits + d.gap * (digits - 1))) / 2;
    d.top = (size - d.height) / 2;
    return d;
}

CIcon MakeTemperatureIcon(int celsius, int size)
{
    const std::string text = std::to_string(std::clamp(celsius, 0, 999));
    const std::string shown = text.size() < 2 ? "0" + text : text;
    const int digits = static_cast<int>(shown.size());
    void* bits = nullptr;
    CBitmap colour = CreateTopDownDib(size, size, &bits);
    CBitmap mask(::CreateBitmap(size, size, 1, 1, nullptr));
    if (!colour || !mask) return CIcon();
    auto* pixels = static_cast<uint32_t*>(bits);
    std::fill_n(pixels, size * size, kBackground);
    const DigitLayout d = LayoutDigits(size, digits);
    for (int i = 0; i < digits; ++i)
        DrawDigit(pixels, size, d.left + i * (d.width + d.gap), d.top, d, shown[i] - '0', Opaque(TemperatureColour(celsius)));
    // An all-clear mask: the colour bitmap's alpha says what is shown.
    {
        CCompatibleDC dc(nullptr);
        CSelect select(dc, mask);
        ::PatBlt(dc, 0, 0, size, size, BLACKNESS);
    }
    ICONINFO info{TRUE, 0, 0, mask, colour};
    return CIcon(::CreateIconIndirect(&info));
}
