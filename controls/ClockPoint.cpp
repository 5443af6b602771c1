#include "controls/ClockPoint.h"

// GDI+ wants min and max, which NOMINMAX keeps out of windows.h.
#include <algorithm>
using std::max;
using std::min;
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include <oleacc.h>

#include "framework/Art.h"
#include "framework/Dpi.h"
#include "framework/Resources.h"

namespace {

constexpr UINT kFaceBitmap = 216;
constexpr int kFullTurnDegrees = 270;
constexpr int kMemoryFullScale = 9000;
constexpr int kEngineFullScale = 1800;
// Turned copies kept per needle: every angle a card visits in normal use. A
// copy takes 10 KB on average and 15 KB at most.
constexpr size_t kTurnedNeedlesKept = 128;
// Rows per band of a turned needle: fewer rows follow a slanted needle more
// closely, more rows take fewer blends.
constexpr int kNeedleBandRows = 16;
// Where the numbers start, in the dial's pixels at 96 DPI.
constexpr int kMemoryNumberX = 206, kMemoryNumberY = 218;
constexpr int kEngineNumberX = 193, kEngineNumberY = 163;

// Whole degrees, truncated toward zero; 64-bit so that no reading can overflow.
// A needle stays on its scale: a reading past either end points at that end,
// never at a false value further round (the number shows the true one).
int NeedleAngle(int value, int fullScale)
{
    const long long degrees = static_cast<long long>(value) * kFullTurnDegrees / fullScale;
    return static_cast<int>(std::clamp<long long>(degrees, 0, kFullTurnDegrees));
}

constexpr const wchar_t* kNumberFace = L"DigifaceWide";

// The face GDI's font mapper draws in place of one the system may lack.
std::wstring MappedFace(const wchar_t* face)
{
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    std::wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
    CFont font(::CreateFontIndirectW(&wanted));
    CClientDC screen(nullptr);
    CSelect select(screen, font);
    wchar_t chosen[LF_FACESIZE] = L"";
    ::GetTextFaceW(screen, LF_FACESIZE, chosen);
    return chosen;
}

// The numbers are in the face asked for by name, or the seven-segment face the
// program carries for it. Without either they still appear: in the generic
// sans-serif family or, on a system that lacks even that family's usual faces,
// in the face the font mapper picks. GDI draws them at the point size at 96
// pixels per inch, one sixth of the em right of the origin, where GDI+ would
// start the string.
ClockPoint::NumberFont MakeNumberFont(float points, UINT dpi)
{
    ClockPoint::NumberFont number;
    // The numbers' face, or the face the program carries for it.
    float scale = 1.0f;
    std::wstring face = FaceFor("DigifaceWide", &scale);
    if (face == kNumberFace && !IsFaceInstalled(face)) {
        const Gdiplus::FontFamily* family = Gdiplus::FontFamily::GenericSansSerif();
        std::unique_ptr<Gdiplus::FontFamily> mapped;
        if (!family) {
            mapped = std::make_unique<Gdiplus::FontFamily>(MappedFace(kNumberFace).c_str());
            family = mapped.get();
        }
        wchar_t name[LF_FACESIZE] = L"";
        if (!family->IsAvailable() || family->GetFamilyName(name) != Gdiplus::Ok) return number;
        face = name;
    }
    const float emPixels = CScale(dpi).Points(points) * scale;
    LOGFONTW font{};
    font.lfHeight = -static_cast<LONG>(emPixels + 0.5f);
    font.lfCharSet = DEFAULT_CHARSET;
    SetFaceName(font, face);
    number.font = CFont(::CreateFontIndirectW(&font));
    number.offsetX = static_cast<int>(emPixels / 6.0f + 0.5f);
    number.emPixels = static_cast<int>(emPixels + 0.5f);
    return number;
}

// Where a number drawn from (x, y) may put ink, whatever its value: from a
// little left of where it starts (a glyph may reach before its origin) to the
// dial's right edge, and down its line's height with room above and below.
RECT NumberBox(const ClockPoint::NumberFont& number, int x, int y, int dialWidth)
{
    const int margin = number.emPixels / 2 + 2;
    return {x + number.offsetX - margin, y - margin, dialWidth, y + 2 * number.emPixels + margin};
}

void DrawNumber(HDC dc, int value, const ClockPoint::NumberFont& number, COLORREF colour, int x, int y)
{
    if (!number.font) return;
    const std::wstring text = std::to_wstring(value);
    CSelect select(dc, number.font);
    ::SetTextColor(dc, colour);
    ::ExtTextOutW(dc, x + number.offsetX, y, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
}

}  // namespace

BEGIN_MESSAGE_MAP(ClockPoint, CStatic)
    ON_MESSAGE(WM_PAINT, OnPaint)
    ON_MESSAGE(kDpiChangedAfterParent, OnDpiChangedAfterParent)
    ON_WM_GETOBJECT_ACCESSIBLE()
END_MESSAGE_MAP()

ClockPoint::ClockPoint() = default;
ClockPoint::~ClockPoint() = default;

// A window's common context is to be given back after each drawing, so a new
// frame takes one of its own; the dial keeps only the permission to draw.
void ClockPoint::AttachWindowDC()
{
    if (m_hWnd) m_attached = true;
}

void ClockPoint::PostNcDestroy() { m_attached = false; }

BOOL ClockPoint::LoadEngineNeedle(UINT id, const char* type) { return LoadNeedle(m_engine, id, type); }
BOOL ClockPoint::LoadMemoryNeedle(UINT id, const char* type) { return LoadNeedle(m_memory, id, type); }

BOOL ClockPoint::LoadNeedle(Needle& needle, UINT id, const char* type)
{
    auto image = LoadArtImage(id, kBaseDpi, type);
    if (!image) return FALSE;
    needle.image = std::move(image);
    needle.imageDpi = kBaseDpi;
    needle.id = id;
    needle.type = type;
    needle.loaded = TRUE;
    needle.turned.clear();
    return TRUE;
}

void ClockPoint::SetMemoryNeedlePivot(int x, int y)
{
    m_memory.pivotX = x;
    m_memory.pivotY = y;
    m_memory.turned.clear();
}

void ClockPoint::SetEngineNeedlePivot(int x, int y)
{
    m_engine.pivotX = x;
    m_engine.pivotY = y;
    m_engine.turned.clear();
}

void ClockPoint::Describe(AccessibleFacts& facts) const
{
    facts.name = AccessibleName().empty() ? "Clocks" : AccessibleName();
    facts.role = ROLE_SYSTEM_DIAL;
    facts.states = STATE_SYSTEM_READONLY;
    facts.value = "GPU " + std::to_string(m_latestEngine) + " MHz, memory " + std::to_string(m_latestMemory) + " MHz";
}

void ClockPoint::DrawGauge(int memoryValue, int engineValue)
{
    if (!m_memory.loaded || !m_engine.loaded || !m_attached || !m_hWnd) return;
    // A hidden dial (the window lives in the notification area most of the
    // time) only keeps the readings; it is composed when it is painted again.
    m_latestMemory = memoryValue;
    m_latestEngine = engineValue;
    m_hasLatest = true;
    if (!IsWindowVisible()) return;
    // The numbers are the readings themselves, so only the same two readings
    // draw the same picture. That one is on screen already: painting puts it
    // back whenever the window is uncovered.
    if (m_hasFrame && memoryValue == m_frameMemory && engineValue == m_frameEngine) return;
    CClientDC window(m_hWnd);
    if (window.GetSafeHdc() && ComposeFrame(window, memoryValue, engineValue)) ShowFrame(window, true);
}

// The frame and the canvases are 32-bit DIB sections, so nothing kept depends
// on the display's format and a change of display mode needs nothing rebuilt.
bool ClockPoint::LoadDrawingTools(HDC window)
{
    // The DPI is asked for once: a change of it reaches the dial as a message.
    if (!m_toolsDpi) {
        m_toolsDpi = Dpi();
        const CScale scale(m_toolsDpi);
        m_memoryNumberAt = scale.Point(kMemoryNumberX, kMemoryNumberY);
        m_engineNumberAt = scale.Point(kEngineNumberX, kEngineNumberY);
    }
    const UINT dpi = m_toolsDpi;
    if (!m_face) {
        CBitmap face = LoadArt(kFaceBitmap, dpi);
        if (!GetBitmapSize(face, m_faceWidth, m_faceHeight)) return false;
        m_face = std::move(face);
    }
    // The needles drawn for this scale; kept at the old one should that art be missing.
    for (Needle* needle : {&m_memory, &m_engine}) {
        if (!needle->loaded || needle->imageDpi == dpi) continue;
        if (auto image = LoadArtImage(needle->id, dpi, needle->type.c_str())) {
            needle->image = std::move(image);
            needle->imageDpi = dpi;
        }
    }
    if (!m_frame) {
        void* bits = nullptr;
        m_frame = CreateTopDownDib(m_faceWidth, m_faceHeight, &bits);
    }
    if (!m_frame) return false;
    if (!m_faceDC) m_faceDC.Select(window, m_face);
    if (!m_frameDC) m_frameDC.Select(window, m_frame);
    if (!m_needleCanvas) {
        void* bits = nullptr;
        m_needleCanvas = CreateTopDownDib(m_faceWidth, m_faceHeight, &bits);
        m_needleBits = static_cast<uint32_t*>(bits);
    }
    if (m_needleCanvas && !m_needleDC) m_needleDC.Select(window, m_needleCanvas);
    if (!m_turnCanvas) {
        auto canvas = std::make_unique<Gdiplus::Bitmap>(m_faceWidth, m_faceHeight, PixelFormat32bppPARGB);
        if (canvas->GetLastStatus() == Gdiplus::Ok) m_turnCanvas = std::move(canvas);
    }
    if (!m_memoryFont.font) m_memoryFont = MakeNumberFont(14.0f, dpi);
    if (!m_engineFont.font) m_engineFont = MakeNumberFont(23.0f, dpi);
    for (CRgn* region : {&m_ink, &m_changed, &m_piece})
        if (!*region) *region = CRgn(::CreateRectRgn(0, 0, 0, 0));
    ::SetBkMode(m_frameDC, TRANSPARENT);
    return m_faceDC && m_frameDC;
}

// The frame and whatever was made for the last DPI go; the next frame is
// composed whole.
void ClockPoint::DropDrawingTools()
{
    m_faceDC.Release();
    m_frameDC.Release();
    m_needleDC.Release();
    m_face.reset();
    m_frame.reset();
    m_needleCanvas.reset();
    m_needleBits = nullptr;
    m_turnCanvas.reset();
    m_memoryFont = NumberFont();
    m_engineFont = NumberFont();
    for (Needle* needle : {&m_memory, &m_engine}) needle->turned.clear();
    m_hasFrame = false;
    m_inkKnown = false;
    m_changedAll = true;
}

// Sent by the dial's window when its DPI changes, and by Windows after it:
// only a DPI the dial has not drawn at makes its tools again.
LRESULT ClockPoint::OnDpiChangedAfterParent(WPARAM, LPARAM)
{
    if (!m_toolsDpi || Dpi() == m_toolsDpi) return Default();
    DropDrawingTools();
    m_toolsDpi = 0;
    Invalidate(FALSE);
    return Default();
}

void ClockPoint::AddToInk(const RECT& area)
{
    ::SetRectRgn(m_piece, area.left, area.top, area.right, area.bottom);
    ::CombineRgn(m_ink, m_ink, m_piece, RGN_OR);
}

// A needle's kept copy covers every pixel it blends; the numbers stay in their boxes.
void ClockPoint::SetInk(const TurnedNeedle& memory, const TurnedNeedle& engine)
{
    ::SetRectRgn(m_ink, 0, 0, 0, 0);
    for (const TurnedNeedle* needle : {&memory, &engine})
        for (const NeedleBand& band : needle->bands) AddToInk(band.area);
    AddToInk(NumberBox(m_memoryFont, m_memoryNumberAt.x, m_memoryNumberAt.y, m_faceWidth));
    AddToInk(NumberBox(m_engineFont, m_engineNumberAt.x, m_engineNumberAt.y, m_faceWidth));
}

// Face, memory needle, engine needle over it, then the two numbers. Outside
// the last frame's ink and this one's the frame holds the face already, so
// the face is put back only within them.
bool ClockPoint::ComposeFrame(HDC window, int memoryValue, int engineValue)
{
    if (!LoadDrawingTools(window)) return false;
    const int memoryAngle = NeedleAngle(memoryValue, kMemoryFullScale);
    const int engineAngle = NeedleAngle(engineValue, kEngineFullScale);
    const TurnedNeedle* memory = Turned(m_memory, memoryAngle);
    const TurnedNeedle* engine = Turned(m_engine, engineAngle);
    const bool lastInkKnown = m_hasFrame && m_inkKnown;
    m_inkKnown = m_ink && m_changed && m_piece && memory && engine;
    m_changedAll = !lastInkKnown || !m_inkKnown;
    if (m_inkKnown) {
        ::CombineRgn(m_changed, m_ink, nullptr, RGN_COPY);
        SetInk(*memory, *engine);
        ::CombineRgn(m_changed, m_changed, m_ink, RGN_OR);
    }
    if (!m_changedAll) ::SelectClipRgn(m_frameDC, m_changed);
    ::BitBlt(m_frameDC, 0, 0, m_faceWidth, m_faceHeight, m_faceDC, 0, 0, SRCCOPY);
    ::SelectClipRgn(m_frameDC, nullptr);
    BlendNeedle(m_memory, memory, memoryAngle);
    BlendNeedle(m_engine, engine, engineAngle);
    DrawNumber(m_frameDC, memoryValue, m_memoryFont, RGB(255, 255, 255), m_memoryNumberAt.x, m_memoryNumberAt.y);
    DrawNumber(m_frameDC, engineValue, m_engineFont, RGB(0, 0, 0), m_engineNumberAt.x, m_engineNumberAt.y);
    m_hasFrame = true;
    m_frameMemory = memoryValue;
    m_frameEngine = engineValue;
    ++m_framesComposed;
    return true;
}

// Turns the needle about its pivot, which sits on the centre of the client
// area; the corners are rounded to whole pixels before the image is drawn.
void ClockPoint::DrawNeedle(Gdiplus::Graphics& g, const Needle& needle, int angle) const
{
    Gdiplus::Image* image = needle.image.get();
    const CScale scale(m_toolsDpi);
    const CRect client = GetClientRect();
    Gdiplus::Matrix transform;
    transform.Translate(static_cast<Gdiplus::REAL>((client.left + client.right) / 2),
                        static_cast<Gdiplus::REAL>((client.top + client.bottom) / 2));
    transform.Rotate(static_cast<Gdiplus::REAL>(angle), Gdiplus::MatrixOrderPrepend);
    transform.Translate(static_cast<Gdiplus::REAL>(-scale(needle.pivotX)),
                        static_cast<Gdiplus::REAL>(-scale(needle.pivotY)), Gdiplus::MatrixOrderPrepend);
    const int width = static_cast<int>(image->GetWidth()), height = static_cast<int>(image->GetHeight());
    Gdiplus::Point corners[3] = {{0, 0}, {width, 0}, {0, height}};
    transform.TransformPoints(corners, 3);
    g.DrawImage(image, corners, 3);
}

void ClockPoint::BlendNeedle(const Needle& needle, const TurnedNeedle* turned, int angle)
{
    if (!turned) {
        Gdiplus::Graphics g(m_frameDC);
        DrawNeedle(g, needle, angle);
        return;
    }
    const BLENDFUNCTION over{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    for (const NeedleBand& band : turned->bands) {
        const CRect& a = band.area;
        // GDI may still be reading the canvas for the last band's blend.
        ::GdiFlush();
        for (int y = 0; y < a.Height(); ++y)
            std::copy_n(turned->pixels.data() + band.offset + y * a.Width(), a.Width(), m_needleBits + y * m_faceWidth);
        ::GdiAlphaBlend(m_frameDC, a.left, a.top, a.Width(), a.Height(), m_needleDC, 0, 0, a.Width(), a.Height(), over);
    }
}

const ClockPoint::TurnedNeedle* ClockPoint::Turned(Needle& needle, int angle)
{
    ++m_needleUses;
    for (TurnedNeedle& t : needle.turned) {
        if (t.angle == angle) {
            t.lastUse = m_needleUses;
            return &t;
        }
    }
    std::optional<TurnedNeedle> made = TurnNeedle(needle, angle);
    if (!made) return nullptr;
    made->lastUse = m_needleUses;
    if (needle.turned.size() < kTurnedNeedlesKept) {
        needle.turned.push_back(std::move(*made));
        return &needle.turned.back();
    }
    auto oldest = std::min_element(needle.turned.begin(), needle.turned.end(),
                                   [](const TurnedNeedle& a, const TurnedNeedle& b) { return a.lastUse < b.lastUse; });
    *oldest = std::move(*made);
    return &*oldest;
}

// GDI+ turns the needle onto a transparent premultiplied bitmap; blending
// those pixels over the face gives what drawing the image there gives. The
// bitmap's pixels are read through LockBits, which GDI+ documents for this.
std::optional<ClockPoint::TurnedNeedle> ClockPoint::TurnNeedle(const Needle& needle, int angle)
{
    if (!m_needleDC || !m_turnCanvas) return std::nullopt;
    {
        Gdiplus::Graphics g(m_turnCanvas.get());
        if (g.GetLastStatus() != Gdiplus::Ok) return std::nullopt;
        g.Clear(Gdiplus::Color(0, 0, 0, 0));
        DrawNeedle(g, needle, angle);
    }
    Gdiplus::BitmapData data{};
    Gdiplus::Rect all(0, 0, m_faceWidth, m_faceHeight);
    if (m_turnCanvas->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok)
        return std::nullopt;
    ++m_needlesTurned;
    auto row = [&data](int y) {
        return reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride);
    };

    TurnedNeedle turned;
    turned.angle = angle;
    for (int bandTop = 0; bandTop < m_faceHeight; bandTop += kNeedleBandRows) {
        const int bandBottom = std::min(bandTop + kNeedleBandRows, m_faceHeight);
        int left = m_faceWidth, top = bandBottom, right = 0, bottom = bandTop;
        for (int y = bandTop; y < bandBottom; ++y) {
            const uint32_t* pixels = row(y);
            for (int x = 0; x < m_faceWidth; ++x) {
                if (!pixels[x]) continue;
                left = std::min(left, x);
                right = std::max(right, x + 1);
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
            }
        }
        if (right <= left) continue;
        NeedleBand band{CRect(left, top, right, bottom), turned.pixels.size()};
        turned.pixels.resize(band.offset + static_cast<size_t>(right - left) * static_cast<size_t>(bottom - top));
        for (int y = top; y < bottom; ++y)
            std::copy_n(row(y) + left, right - left,
                        turned.pixels.data() + band.offset + static_cast<size_t>(y - top) * (right - left));
        turned.bands.push_back(band);
    }
    m_turnCanvas->UnlockBits(&data);
    return turned;
}

void ClockPoint::ShowFrame(HDC target, bool changedOnly) const
{
    const bool clipped = changedOnly && !m_changedAll && ::SelectClipRgn(target, m_changed) != ERROR;
    ::BitBlt(target, 0, 0, m_faceWidth, m_faceHeight, m_frameDC, 0, 0, SRCCOPY);
    if (clipped) ::SelectClipRgn(target, nullptr);
}

LRESULT ClockPoint::OnPaint(WPARAM, LPARAM)
{
    if (!m_hasFrame && !m_hasLatest) return Default();
    CPaintDC dc(m_hWnd);
    const bool behind = m_hasLatest && (!m_hasFrame || m_latestMemory != m_frameMemory || m_latestEngine != m_frameEngine);
    if (behind) ComposeFrame(dc, m_latestMemory, m_latestEngine);
    if (m_hasFrame) ShowFrame(dc, false);
    return 0;
}
