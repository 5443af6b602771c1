#pragma once
// CBitmapSlider: a horizontal slider drawn from bitmaps (a channel, an optional
// active channel left of the thumb, and a thumb), worked with the mouse and the
// keyboard (arrows one step, Page Up and Page Down twenty, Home and End the
// ends). It posts WM_SLIDER_MOVING while dragged and WM_SLIDER_MOVED when
// released, when the drag loses the mouse, or when moved by a key, with its
// control identifier and the position. Its bitmaps are the art at the DPI of
// its window, its margins given at 96 DPI are scaled to it, and both follow
// that DPI when it changes.
#include "framework/Accessible.h"
#include "framework/CStatic.h"
#include "framework/Gdi.h"

constexpr UINT WM_SLIDER_MOVING = WM_USER + 9425;
constexpr UINT WM_SLIDER_MOVED = WM_USER + 9426;

// To assistive technology it is a slider with its position as value and its
// range as description; each change of position is announced.
class CBitmapSlider : public CStatic, public AccessibleControl {
    DECLARE_MESSAGE_MAP()
public:
    CBitmapSlider();
    ~CBitmapSlider() override;

    // The channel sets the control's size. A key colour of 0xFF000000 takes the
    // colour of the key pixel (given at 96 DPI); transparent bitmaps leave key
    // pixels unpainted.
    BOOL SetChannelBitmaps(UINT channelId, UINT activeId, BOOL transparent, COLORREF key, int keyX, int keyY);
    BOOL SetThumbBitmaps(UINT thumbId, UINT activeId, BOOL transparent, COLORREF key, int keyX, int keyY);

    void SetRange(int minimum, int maximum, BOOL redraw);
    void SetRangeMin(int minimum, BOOL redraw);
    void SetRangeMax(int maximum, BOOL redraw);
    int GetRangeMin() const { return m_nMin; }
    int GetRangeMax() const { return m_nMax; }
    // Clamped into the range (the minimum wins when the ends are crossed).
    void SetPos(int pos);
    int GetPos() const { return m_nPos; }
    void EnableSlider(BOOL enable);
    void SetFocusRectDrawing(BOOL draw, BOOL redraw);
    // In pixels at 96 DPI.
    void SetMargins(int left, int top, int right, int bottom);

    void Describe(AccessibleFacts& facts) const override;

protected:
    LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam);
    LRESULT OnCaptureChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetDlgCode(WPARAM wParam, LPARAM lParam);
    LRESULT OnKeyDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnKillFocus(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetFocus(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetText(WPARAM size, LPARAM buffer);
    LRESULT OnGetTextLength(WPARAM wParam, LPARAM lParam);
    LRESULT OnDpiChangedAfterParent(WPARAM wParam, LPARAM lParam);

private:
    // What a channel or thumb was given, to take its art again at another DPI.
    struct ArtSource {
        UINT id = 0;
        UINT activeId = 0;
        BOOL transparent = FALSE;
        COLORREF key = 0;
        int keyX = 0;
        int keyY = 0;
    };
    // A bitmap with its optional active counterpart, each with the mask used
    // when drawn transparently.
    struct BitmapPair {
        CBitmap& main;
        CBitmap& mainMask;
        CBitmap& active;
        CBitmap& activeMask;
    };

    int PositionToPixel(int pos) const;
    int PixelToPosition(int x) const;
    void DragTo(int pointerX);
    void Notify(UINT message) const;
    static void FreePair(const BitmapPair& pair);
    static BOOL LoadPair(const BitmapPair& pair, const ArtSource& source, UINT dpi, BOOL& hasActive);
    void ScaleMargins();
    static void BuildMask(HBITMAP source, CBitmap& mask, COLORREF key, int keyX, int keyY);
    static void DrawSliderBitmap(HDC dc, int x, int y, int w, int h, HDC source, int sourceX, int sourceY,
                                 HBITMAP mask, BOOL transparent);

    int m_nMax = 100;
    int m_nMin = 0;
    int m_nPos = 0;
    int m_nPage = 20;
    CRect m_rect;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nThumbWidth = 0;
    int m_nThumbHeight = 0;
    ArtSource m_channelArt;
    ArtSource m_thumbArt;
    UINT m_artDpi = 0;  // the DPI the bitmaps and margins were last taken for
    RECT m_margins{};  // at 96 DPI
    int m_nMarginLeft = 0;
    int m_nMarginRight = 0;
    int m_nMarginTop = 0;
    int m_nMarginBottom = 0;
    int m_nThumbBgX = -1;
    int m_nThumbBgY = -1;
    int m_nMouseOffset = 0;
    BOOL m_bChannelActive = FALSE;
    BOOL m_bThumbActive = FALSE;
    BOOL m_bTransparentChannel = FALSE;
    BOOL m_bTransparentThumb = FALSE;
    BOOL m_bThumb = FALSE;
    BOOL m_bChannel = FALSE;
    BOOL m_bLButtonDown = FALSE;
    BOOL m_bFocus = FALSE;
    BOOL m_bFocusRect = FALSE;
    BOOL m_bDrawFocusRect = TRUE;
    BOOL m_bEnable = TRUE;
    CBitmap m_bmChannel;
    CBitmap m_bmChannelMask;
    CBitmap m_bmChannelActive;
    CBitmap m_bmChannelActiveMask;
    CBitmap m_bmThumb;
    CBitmap m_bmThumbMask;
    CBitmap m_bmThumbActive;
    CBitmap m_bmThumbActiveMask;
    CBitmap m_bmThumbBg;
};
