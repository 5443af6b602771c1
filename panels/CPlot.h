#pragma once
// rlcuv::CPlot: an owner-drawn static that draws named series of samples as
// lines over a black background with a five-pixel grid. Each series keeps one
// sample per pixel column at 96 DPI; a new point shifts it one column to the
// left. The plot is drawn at its window's DPI, its geometry scaled. While
// the mouse rests over a sample's column the sample's raw value shows above
// the line. The control answers WM_GETTEXT with the values it shows so.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Accessible.h"
#include "framework/CStatic.h"
#include "framework/Gdi.h"

namespace rlcuv {

struct PlotSample {
    int32_t y;        // pixel row of the sample's point at 96 DPI, written by the painter
    int32_t x;        // pixel column at 96 DPI, written by the painter
    int32_t percent;  // of the plot height; -1 marks an empty sample
    int32_t value;    // raw reading, shown by the hover text
};

struct PlotSeries {
    std::string name;  // compared without regard to case
    COLORREF colour;
    int penStyle;
    int penWidth;
    std::unique_ptr<PlotSample[]> samples;
    int count;
    CPen pen;  // made at the first paint and again after the grid's blend changes
};

// To assistive technology a chart named by its first series, its value the
// values it shows.
class CPlot : public CStatic, public AccessibleControl {
    DECLARE_MESSAGE_MAP()
public:
    CPlot();

    void Describe(AccessibleFacts& facts) const override;

    void SetGrid(BOOL hide, COLORREF gridColour, int penStyle, int blendPercent, BOOL redraw);
    // The history holds one sample per column of the grid that the client
    // area has now; false, with nothing added, when it cannot be allocated.
    bool AddSeries(const std::string& name, COLORREF colour, int penStyle, int penWidth, BOOL redraw);
    // Shifts every series of that name one sample to the left and puts the
    // sample's percent and value last.
    void AddPoint(const std::string& name, PlotSample sample, BOOL redraw);
    // Paints the plot at its place in a context of its parent's client area,
    // for a parent that paints several plots with one context.
    void PaintInParent(HDC parent);

protected:
    // The area the series are drawn in, at 96 DPI, from the client size when
    // a series was added.
    struct Grid {
        int left, right, top, bottom, width, height;
    };

    virtual void DrawItem(const DRAWITEMSTRUCT& dis);
    // Everything, into the control's context.
    void Paint(HDC target);
    LRESULT OnEraseBkgnd(WPARAM, LPARAM);
    LRESULT OnGetText(WPARAM, LPARAM);
    LRESULT OnGetTextLength(WPARAM, LPARAM);
    LRESULT OnDpiChanged(WPARAM, LPARAM);
    void PreSubclassWindow() override;
    // The hover text's font at the plot's DPI, made when first needed.
    HFONT Font();

    // A picture of width x height kept in a memory context, made again for another size.
    struct Surface {
        CBitmap bitmap;
        int width = 0, height = 0;
        CKeptDC dc;
        bool Make(HDC like, int w, int h);
    };

    // Background and grid, drawn again only when they change; false when the grid pen cannot be made.
    bool PaintBackground(HDC like, int width, int height);
    // The series over the background; false when a pen cannot be made.
    bool PaintAllSeries(HDC dc);
    void PaintSeries(HDC dc, PlotSeries& series, const POINT& cursor, const RECT& window);
    COLORREF PenColour(COLORREF series) const;
    int LineWidth(int penWidth) const;

    // One lock for every plot, guarding the series and the painting.
    static std::mutex& SharedLock();

    std::mutex& m_plotLock;  // SharedLock()
    COLORREF m_background = 0x00000000;
    COLORREF m_gridColour = 0x00406040;
    bool m_gridVisible = true;
    float m_blend = 0.0f;
    int m_gridPenStyle = PS_SOLID;
    int m_gridOffsetX = -2;
    int m_gridOffsetY = 0;
    UINT m_dpi = 96;  // the plot is drawn at
    CFont m_font;     // at m_dpi, once made
    Grid m_grid{};
    std::vector<PlotSeries> m_series;

    // The off-screen picture every paint draws into, and the background and
    // grid it starts from, kept from paint to paint.
    Surface m_canvas;
    Surface m_gridPicture;
    bool m_gridPictureValid = false;
    std::vector<POINT> m_line;  // the points of one unbroken line of a series

    std::string m_shownText;  // the hover values of the last paint
};

}  // namespace rlcuv
