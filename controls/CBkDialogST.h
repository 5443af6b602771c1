#pragma once
// CBkDialogST: the base of every window. Its client area is painted from one
// tiled skin bitmap, its outline is cut to the bitmap's non-key pixels, it can
// be moved by pressing anywhere on its background, and plain statics on it draw
// their text straight onto the skin (under high contrast, on the system's
// colours). Skin and outline given by resource come from the art at the
// window's DPI, and again from the art at the new one when it changes.
#include "framework/Dialog.h"
#include "framework/Gdi.h"

class CBkDialogST : public CDialog {
    DECLARE_MESSAGE_MAP()
public:
    explicit CBkDialogST(UINT templateId, CWnd* parent = nullptr);
    ~CBkDialogST() override;

    // 0 on success (a missing resource also gives 0 and no background); 1 when
    // the bitmap's header cannot be read, in which case the bitmap is deleted.
    // An image given by resource is taken at the window's DPI and kept
    // following it; a bitmap given as such is shown as it is.
    int SetBackgroundBitmap(UINT resourceId);
    int SetBackgroundBitmap(CBitmap bitmap);
    // Hands the background to the caller (dropping the result deletes it) and
    // leaves the dialog without one.
    CBitmap ReleaseBackground();
    void SetDragByBackground(BOOL drag) { m_bDragByBackground = drag; }
    // Cuts the window's outline to the pixels of the image at the window's DPI
    // that are not exactly key, and cuts it again when the DPI changes.
    void ApplyRegionFromBitmap(UINT resourceId, COLORREF key);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    // Called with the composed background after it has reached the window; the
    // context holds the erased part of the client area, in client coordinates.
    virtual void OnBackgroundComposed(CDC& memDC);
    // Takes the skin and the outline for the new DPI. A window that overrides
    // this calls it first, then takes its own art and places its controls.
    void OnDpiChanged() override;

    LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);
    LRESULT OnSize(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnSettingChange(WPARAM setting, LPARAM text);
    HBRUSH OnCtlColor(HDC dc, HWND child, UINT ctlType);

private:
    int TakeBackground(CBitmap bitmap);
    void CutOutline();

    UINT m_backgroundId = 0;  // the skin's image, 0 when given as a bitmap
    UINT m_backgroundDpi = 0;
    UINT m_outlineId = 0;
    COLORREF m_outlineKey = 0;
    UINT m_outlineDpi = 0;
    CBitmap m_bitmap;
    CKeptDC m_skinDC;
    int m_dwWidth = 0;
    int m_dwHeight = 0;
    BOOL m_bDragByBackground = FALSE;
    HBRUSH m_hHollowBrush;  // stock object, never deleted
};
