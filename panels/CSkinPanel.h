#pragma once
// CSkinPanel: the frame every pop-up panel shares: its title and icon, the
// size and outline of its skin, dragging by the background, and its minimise
// and close keys. Close (and Esc, and Alt+F4) is the dialog's cancel: a
// modeless panel is hidden and keeps its state, a modal one ends. Each time it
// is shown, or restored from its icon, the panel may read again what it could
// not before.
#include "controls/CBitButtonNL.h"
#include "controls/CBkDialogST.h"
#include "framework/Gdi.h"

// A key of the frame at its place in the client area at 96 DPI; image 0: no
// such key.
struct PanelKey {
    UINT image;
    int x, y;
};

struct PanelFrame {
    const char* title;
    bool appIcon;       // the application icon as large and small icon
    UINT skin;          // skin bitmap, key colour pure blue
    int width, height;  // the skin's size at 96 DPI, which the window takes scaled
    PanelKey minimise;
    PanelKey close;
};

class CSkinPanel : public CBkDialogST {
    DECLARE_MESSAGE_MAP()
public:
    explicit CSkinPanel(UINT templateId, CWnd* parent = nullptr) : CBkDialogST(templateId, parent) {}

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    // The panel's first step after the base initialisation.
    void SetUpFrame(const PanelFrame& frame);
    // Sizes and places everything at the window's DPI, from 96-DPI figures:
    // the window and its frame keys here, each panel its own controls after
    // calling this. Once the panel's controls are set up, and on every change
    // of DPI.
    virtual void LayOut();
    void OnDpiChanged() override;

    // The panel is shown, or restored from its icon.
    virtual void OnShown() {}

    void OnMinimize() { ShowWindow(SW_MINIMIZE); }
    void OnClose() { OnCancel(); }
    LRESULT OnShowWindow(WPARAM shown, LPARAM);
    LRESULT OnSize(WPARAM type, LPARAM size);
    LRESULT OnCloseMessage(WPARAM, LPARAM)
    {
        OnCancel();
        return 0;
    }

    CBitButtonNL m_minimizeButton;
    CBitButtonNL m_closeButton;

private:
    const PanelFrame* m_frame = nullptr;
    CIcon m_icon;
    bool m_minimised = false;
};
