#pragma once
// CBitButtonNL: an owner-drawn push button showing one of up to four bitmaps
// (normal, pressed, hover, disabled), lit while the pointer is over it, with
// its own cursor and an optional caption drawn over the image. The parent
// still receives BN_CLICKED for every click. Once the keyboard is used in its
// window, the focused button shows the skins' focus mark. Images and cursor
// given by resource, the caption's font and every offset follow the DPI of
// the button's window.
#include <memory>
#include <string>
#include <type_traits>

#include "framework/Accessible.h"
#include "framework/CButton.h"
#include "framework/Gdi.h"

class CBitButtonNL : public CButton, public AccessibleControl {
    DECLARE_MESSAGE_MAP()
public:
    enum State { Normal, Pressed, Hover, Disabled, StateCount };
    // What the button is to assistive technology: a key, a switch (a check
    // box) or one of several choices (a radio button). A switch that is on,
    // or the choice made, is checked. Its name is its caption unless its
    // window gives it one.
    enum class Kind { Key, Switch, Choice };

    CBitButtonNL();
    ~CBitButtonNL() override;

    // Resource identifiers; 0 means the state has no image (the normal one is
    // always loaded). The images are the art at the window's DPI.
    BOOL SetBitmaps(UINT normal, UINT pressed, UINT hover, UINT disabled);
    // Takes ownership of the images, shown as they are at every DPI. FALSE,
    // with no images kept, when one cannot be read.
    BOOL SetBitmaps(CBitmap normal, CBitmap pressed, CBitmap hover, CBitmap disabled);
    // The cursor at the system's cursor size for the window's DPI.
    BOOL SetButtonCursor(UINT cursorId, BOOL redraw);
    // Sizes the button to its normal image, now and whenever the DPI changes.
    void FitToBitmap();
    // A skin key's set-up: normal, pressed and hover images (no disabled one),
    // the cursor, redrawn, and the size of the normal image.
    void SetKeyImages(UINT normal, UINT pressed, UINT hover, UINT cursorId);
    // Text colours of the caption in the normal, pressed and hover states.
    void SetCaptionColours(COLORREF normal, COLORREF pressed, COLORREF hover, BOOL redraw);
    // 0: left of centre, 1: right of centre, 2: centred.
    void SetCaptionAlignment(BYTE alignment, BOOL redraw);
    void SetKind(Kind kind) { m_kind = kind; }
    void SetChecked(bool checked);
    // A tip shown while the pointer rests on the button, also its accessible
    // description; empty: none.
    void SetTip(const std::string& text);

    void Describe(AccessibleFacts& facts) const override;
    bool DoDefaultAction() override;

    virtual void SetDrawCaption(BOOL draw, BOOL redraw);
    virtual void SetFontBold(BOOL bold, BOOL redraw);
    virtual void SetFontName(const char* face, BYTE charSet, BOOL redraw);
    virtual void SetFontUnderline(BOOL underline, BOOL redraw);
    virtual void SetFontItalic(BOOL italic, BOOL redraw);
    virtual void SetFontSize(int pointSize, BOOL redraw);
    virtual void SetCaptionFont(const LOGFONTA& font, BOOL redraw);
    virtual void SetCaptionShadow(BOOL shadow, int offsetX, int offsetY, BOOL redraw);
    virtual void SetShadowColour(COLORREF colour, BOOL redraw);
    virtual void SetEmbossDisabled(BOOL emboss, BOOL redraw);

protected:
    void PreSubclassWindow() override;
    virtual void DrawItem(const DRAWITEMSTRUCT& dis);
    virtual void DrawStateBitmap(CDC& dc, BOOL hasCaption, const CRect& item, const CRect& caption, BOOL pressed,
                                 BOOL disabled);
    virtual void DrawCaption(CDC& dc, const std::string& text, const CRect& item, const CRect& caption,
                             BOOL pressed, BOOL disabled);

    LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);
    LRESULT OnKillFocus(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam);
    LRESULT OnDpiChangedAfterParent(WPARAM wParam, LPARAM lParam);
    BOOL OnClicked();

private:
    struct StateBitmap {
        CBitmap bitmap;
        int width = 0;
        int height = 0;
    };

    void CancelHover();
    void FreeBitmaps();
    BOOL TakeBitmaps(CBitmap normal, CBitmap pressed, CBitmap hover, CBitmap disabled);
    // The caption's font at its point size and the window's DPI.
    void SizeFont(int pointSizeTenths);
    void RebuildFont();
    void Redraw(BOOL redraw);
    void PaintText(HDC dc, const std::string& text, CRect rect, COLORREF colour) const;

    BOOL m_bDrawCaption = FALSE;
    BOOL m_bHover = FALSE;
    BOOL m_bPressed = FALSE;
    BOOL m_bDisabled = FALSE;
    BOOL m_bEmbossDisabled = TRUE;
    // Offsets are in pixels at 96 DPI.
    int m_pressOffsetX = 1;
    int m_pressOffsetY = 1;
    CCursor m_cursor;
    UINT m_cursorId = 0;
    StateBitmap m_bitmaps[StateCount];
    UINT m_imageIds[StateCount] = {};  // none when the images were given as bitmaps
    bool m_fitToBitmap = false;
    UINT m_artDpi = 0;  // the DPI images, cursor and font were last taken for
    int m_fontTenths = 0;  // the caption's size in tenths of a point
    // Light text for the dark skins: dimmed while pressed, brightest when lit.
    COLORREF m_captionColours[3] = {RGB(230, 230, 230), RGB(180, 180, 180), RGB(255, 255, 255)};
    BYTE m_alignment = 2;
    LOGFONTA m_logFont{};
    CFont m_font;
    BOOL m_bShadow = FALSE;
    COLORREF m_shadowColour = RGB(0, 0, 0);
    int m_shadowOffsetX = 3;
    int m_shadowOffsetY = 2;
    Kind m_kind = Kind::Key;
    bool m_checked = false;
    struct WindowDestroyer {
        // The tip goes with the top-level window that owns it, which may be gone first.
        void operator()(HWND window) const
        {
            if (::IsWindow(window)) ::DestroyWindow(window);
        }
    };
    std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer> m_tip;  // the tip's window, once asked for
};
