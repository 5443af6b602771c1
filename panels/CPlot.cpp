#include "panels/CPlot.h"

#include <oleacc.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "framework/Dpi.h"
#include "framework/Rect.h"
#include "framework/Resources.h"

namespace rlcuv {

namespace {
constexpr COLORREF kGridLineColour = 0x00433928;
constexpr COLORREF kHoverTextColour = 0x00DEDEDE;
constexpr int kGridStep = 5;
constexpr int kHoverTextRise = 15;

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// The grid's extent for a client size: whole five-pixel cells and one more line.
int GridExtent(int size) { return size - size % kGridStep + 1; }
}  // namespace

// Made during the first plot's construction: a static made so is destroyed
// only after every object whose construction ended after its own, so it
// outlives the last plot.
std::mutex& CPlot::SharedLock()
{
    static std::mutex lock;
    return lock;
}

BEGIN_MESSAGE_MAP(CPlot, CStatic)
    ON_DRAWITEM_REFLECT(DrawItem)
    ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
    ON_MESSAGE(WM_GETTEXT, OnGetText)
    ON_MESSAGE(WM_GETTEXTLENGTH, OnGetTextLength)
    ON_MESSAGE(kDpiChangedAfterParent, OnDpiChanged)
    ON_WM_GETOBJECT_ACCESSIBLE()
END_MESSAGE_MAP()

CPlot::CPlot() : m_plotLock(SharedLock()) {}

void CPlot::PreSubclassWindow() { m_dpi = Dpi(); }

HFONT CPlot::Font()
{
    if (!m_font) {
        LOGFONTW lf{};
        lf.lfHeight = -ScaleToDpi(10, m_dpi);
        lf.lfWeight = 100;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfPitchAndFamily = VARIABLE_PITCH;
        SetFaceName(lf, "微软雅黑");
        m_font.reset(::CreateFontIndirectW(&lf));
    }
    return m_font;
}

// Told by the parent, and by Windows after it: the font, the pens and the
// grid picture are made again once per DPI. The samples keep their columns.
LRESULT CPlot::OnDpiChanged(WPARAM, LPARAM)
{
    const UINT dpi = Dpi();
    if (dpi == m_dpi) return 0;
    {
        std::lock_guard<std::mutex> lock(m_plotLock);
        m_dpi = dpi;
        m_font.reset();
        m_gridPictureValid = false;
        for (PlotSeries& series : m_series) series.pen.reset();
    }
    Invalidate(FALSE);
    return 0;
}

void CPlot::SetGrid(BOOL hide, COLORREF gridColour, int penStyle, int blendPercent, BOOL redraw)
{
    m_gridVisible = !hide;
    m_gridColour = gridColour;
    m_gridPenStyle = penStyle;
    m_blend = static_cast<float>(blendPercent / 100.0);
    m_gridPictureValid = false;
    {
        std::lock_guard<std::mutex> lock(m_plotLock);
        for (PlotSeries& series : m_series) series.pen.reset();
    }
    if (redraw && m_hWnd) Invalidate(TRUE);
}

bool CPlot::AddSeries(const std::string& name, COLORREF colour, int penStyle, int penWidth, BOOL redraw)
{
    const CRect client = GetClientRect();
    {
        std::lock_guard<std::mutex> lock(m_plotLock);
        m_grid.left = 0;
        m_grid.top = 0;
        m_grid.right = GridExtent(LengthAt96(client.Width(), m_dpi));
        m_grid.bottom = GridExtent(LengthAt96(client.Height(), m_dpi));
        m_grid.width = m_grid.right - m_grid.left;
        m_grid.height = m_grid.bottom - m_grid.top;
        const int count = m_grid.width;
        std::unique_ptr<PlotSample[]> samples(new (std::nothrow) PlotSample[count]);
        if (!samples) return false;
        std::fill_n(samples.get(), count, PlotSample{0, 0, -1, 0});
        m_series.push_back(PlotSeries{name, colour, penStyle, penWidth, std::move(samples), count, CPen()});
    }
    if (redraw && m_hWnd) Invalidate(TRUE);
    return true;
}

void CPlot::AddPoint(const std::string& name, PlotSample sample, BOOL redraw)
{
    {
        std::lock_guard<std::mutex> lock(m_plotLock);
        for (PlotSeries& series : m_series) {
            if (!SameName(series.name, name)) continue;
            PlotSample* samples = series.samples.get();
            std::copy(samples + 1, samples + series.count, samples);
            samples[series.count - 1].percent = sample.percent;
            samples[series.count - 1].value = sample.value;
        }
    }
    // A new sample is painted at once: one context taken, rather than a
    // repaint through the window system, ten times a second for each plot.
    if (redraw && m_hWnd && IsWindowVisible()) {
        CClientDC window(m_hWnd);
        if (window.GetSafeHdc()) Paint(window);
    }
}

void CPlot::PaintInParent(HDC parent)
{
    CRect place = GetClientRect();
    ::MapWindowPoints(m_hWnd, ::GetParent(m_hWnd), reinterpret_cast<POINT*>(&place), 2);
    const int saved = ::SaveDC(parent);
    if (!saved) return;
    ::OffsetViewportOrgEx(parent, place.left, place.top, nullptr);
    Paint(parent);
    ::RestoreDC(parent, saved);
}

// The painter covers the whole control.
LRESULT CPlot::OnEraseBkgnd(WPARAM, LPARAM) { return TRUE; }

void CPlot::Describe(AccessibleFacts& facts) const
{
    facts.name = m_series.empty() ? AccessibleName() : m_series.front().name;
    facts.role = ROLE_SYSTEM_CHART;
    facts.states = STATE_SYSTEM_READONLY;
    facts.value = m_shownText;
}

LRESULT CPlot::OnGetText(WPARAM size, LPARAM buffer) { return AnswerGetText(m_shownText, size, buffer); }

LRESULT CPlot::OnGetTextLength(WPARAM, LPARAM) { return static_cast<LRESULT>(m_shownText.size()); }

void CPlot::DrawItem(const DRAWITEMSTRUCT& dis) { Paint(dis.hDC); }

void CPlot::Paint(HDC target)
{
    std::lock_guard<std::mutex> lock(m_plotLock);
    if (!IsWindowVisible()) return;
    const CRect client = GetClientRect();
    const int width = client.Width(), height = client.Height();
    if (!m_canvas.Make(target, width, height) || !PaintBackground(target, width, height)) return;
    ::BitBlt(m_canvas.dc, 0, 0, width, height, m_gridPicture.dc, 0, 0, SRCCOPY);
    if (PaintAllSeries(m_canvas.dc)) ::BitBlt(target, 0, 0, width, height, m_canvas.dc, 0, 0, SRCCOPY);
}

// Lines end one pixel short of their end point.
bool CPlot::PaintBackground(HDC like, int width, int height)
{
    if (m_gridPictureValid && m_gridPicture.width == width && m_gridPicture.height == height) return true;
    if (!m_gridPicture.Make(like, width, height)) return false;
    const HDC dc = m_gridPicture.dc;
    const RECT all{0, 0, width, height};
    ::SetBkColor(dc, m_background);
    ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
    if (m_gridVisible) {
        const CScale scale(m_dpi);
        CPen pen(::CreatePen(m_gridPenStyle, scale(1), kGridLineColour));
        if (!pen) return false;
        CSelect select(dc, pen);
        const int right = GridExtent(LengthAt96(width, m_dpi)), bottom = GridExtent(LengthAt96(height, m_dpi));
        for (int x0 = 0; x0 < right; x0 += kGridStep) {
            ::MoveToEx(dc, scale(x0 + m_gridOffsetX), 0, nullptr);
            ::LineTo(dc, scale(x0 + m_gridOffsetX), scale(bottom));
        }
        for (int y0 = 0; y0 < bottom; y0 += kGridStep) {
            ::MoveToEx(dc, scale(-1), scale(y0 + m_gridOffsetY), nullptr);
            ::LineTo(dc, scale(right - 2), scale(y0 + m_gridOffsetY));
        }
    }
    m_gridPictureValid = true;
    return true;
}

bool CPlot::PaintAllSeries(HDC dc)
{
    // Where the mouse rested when the message being handled arrived: asking the
    // system for the pointer now is a round trip to the display under Wine.
    const DWORD position = ::GetMessagePos();
    const POINT cursor{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    const CRect window = GetWindowRect();
    CSelect font(dc, Font());
    ::SetTextColor(dc, kHoverTextColour);
    ::SetBkMode(dc, TRANSPARENT);
    m_shownText.clear();
    for (PlotSeries& series : m_series) {
        if (!series.pen) series.pen.reset(::CreatePen(series.penStyle, LineWidth(series.penWidth), PenColour(series.colour)));
        if (!series.pen) return false;
        CSelect select(dc, series.pen);
        PaintSeries(dc, series, cursor, window);
    }
    return true;
}

// One segment from each drawn sample to the next. A solid line one pixel wide
// goes out as one polyline per unbroken stretch, which lights the same pixels
// as its segments drawn one by one; wider or patterned pens draw each segment.
void CPlot::PaintSeries(HDC dc, PlotSeries& series, const POINT& cursor, const RECT& window)
{
    POINT client = cursor;
    ::ScreenToClient(m_hWnd, &client);
    const bool cursorInRows = cursor.y >= window.top && cursor.y <= window.bottom;
    const bool joined = series.penStyle == PS_SOLID && series.penWidth <= 1;
    const CScale scale(m_dpi);
    // Above the top the line stays on the top row; below the bottom nothing holds it.
    const auto row = [this](int percent) { return std::max(m_grid.bottom - m_grid.height * percent / 101 - 1, m_grid.top); };
    const auto drawLine = [&] {
        if (m_line.size() > 1) ::Polyline(dc, m_line.data(), static_cast<int>(m_line.size()));
        m_line.clear();
    };
    m_line.clear();
    PlotSample* samples = series.samples.get();
    for (int i = 0; i + 1 < series.count; ++i) {
        PlotSample& from = samples[i];
        PlotSample& to = samples[i + 1];
        if (from.percent == -1) {
            drawLine();
            continue;
        }
        from = {row(from.percent), m_grid.left + i - 1, from.percent, from.value};
        to = {row(to.percent), m_grid.left + i, to.percent, to.value};
        if (m_line.empty()) m_line.push_back(scale.Point(from.x, from.y));
        m_line.push_back(scale.Point(to.x, to.y));
        // The sample's column spans the pixels up to the next one's.
        const bool hover = cursorInRows && client.x >= scale(from.x) && client.x < scale(from.x + 1);
        // Later segments cover the hover text where they cross it.
        if (!joined || hover) drawLine();
        if (hover) {
            char text[16];
            const int length = std::snprintf(text, sizeof text, "%d", from.value);
            ::TextOutA(dc, scale(from.x), scale(from.y - kHoverTextRise), text, length);
            if (!m_shownText.empty()) m_shownText += ' ';
            m_shownText += text;
        }
    }
    drawLine();
}

// A one-pixel line (width 0 or 1) stays as given where a pixel at 96 DPI is
// one here; every other width is scaled.
int CPlot::LineWidth(int penWidth) const
{
    const CScale scale(m_dpi);
    if (penWidth <= 1 && scale(1) == 1) return penWidth;
    return scale(std::max(penWidth, 1));
}

COLORREF CPlot::PenColour(COLORREF series) const
{
    const auto mix = [this](int own, int grid) {
        const int channel = static_cast<int>(own * m_blend + (1 - m_blend) * grid);
        return static_cast<BYTE>(std::clamp(channel, 0, 255));
    };
    return RGB(mix(GetRValue(series), GetRValue(m_gridColour)), mix(GetGValue(series), GetGValue(m_gridColour)),
               mix(GetBValue(series), GetBValue(m_gridColour)));
}

bool CPlot::Surface::Make(HDC like, int w, int h)
{
    if (dc && w == width && h == height) return true;
    dc.Release();  // lets go of the old bitmap before it is deleted
    void* bits = nullptr;
    bitmap = CreateTopDownDib(w, h, &bits);
    if (!bitmap || !dc.Select(like, bitmap)) return false;
    width = w;
    height = h;
    return true;
}

}  // namespace rlcuv
