#include "panels/CSkinPanel.h"

#include "framework/Dpi.h"
#include "framework/Resources.h"
#include "res/resource.h"

namespace {
constexpr COLORREF kSkinKey = 0x00FF0000;
}

BEGIN_MESSAGE_MAP(CSkinPanel, CBkDialogST)
    ON_BN_CLICKED(IDC_MINIMIZE, OnMinimize)
    ON_BN_CLICKED(IDC_CLOSE, OnClose)
    ON_MESSAGE(WM_SHOWWINDOW, OnShowWindow)
    ON_MESSAGE(WM_SIZE, OnSize)
    ON_MESSAGE(WM_CLOSE, OnCloseMessage)
END_MESSAGE_MAP()

void CSkinPanel::DoDataExchange(CDataExchange* pDX)
{
    CBkDialogST::DoDataExchange(pDX);
    // A panel without a minimise key leaves that object unattached.
    DDX_Control(pDX, IDC_MINIMIZE, m_minimizeButton);
    DDX_Control(pDX, IDC_CLOSE, m_closeButton);
}

void CSkinPanel::SetUpFrame(const PanelFrame& frame)
{
    m_frame = &frame;
    SetWindowText(frame.title);
    if (frame.appIcon) {
        m_icon = LoadIconResource(IDI_APP);
        SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon.get()));
        SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon.get()));
    }
    SetBackgroundBitmap(frame.skin);
    ApplyRegionFromBitmap(frame.skin, kSkinKey);
    SetDragByBackground(TRUE);

    m_minimizeButton.SetAccessibleName("Minimise");
    m_closeButton.SetAccessibleName("Close");
    const std::pair<CBitButtonNL*, PanelKey> keys[] = {{&m_minimizeButton, frame.minimise},
                                                       {&m_closeButton, frame.close}};
    for (const auto& [button, key] : keys)
        if (key.image && button->m_hWnd) button->SetKeyImages(key.image, key.image, key.image, IDCUR_HAND);
}

void CSkinPanel::LayOut()
{
    if (!m_frame) return;
    const CScale scale(Dpi());
    SetWindowPos(nullptr, 0, 0, scale(m_frame->width), scale(m_frame->height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const std::pair<CBitButtonNL*, PanelKey> keys[] = {{&m_minimizeButton, m_frame->minimise},
                                                       {&m_closeButton, m_frame->close}};
    for (const auto& [button, key] : keys)
        if (key.image && button->m_hWnd) PlaceControlAt(*button, key.x, key.y);
}

// The base takes the skin and outline at the new DPI; the system's suggested
// rectangle, which follows, has the skin's size.
void CSkinPanel::OnDpiChanged()
{
    CBkDialogST::OnDpiChanged();
    LayOut();
}

LRESULT CSkinPanel::OnShowWindow(WPARAM shown, LPARAM)
{
    const LRESULT result = Default();
    if (shown) OnShown();
    return result;
}

LRESULT CSkinPanel::OnSize(WPARAM type, LPARAM size)
{
    const LRESULT result = CBkDialogST::OnSize(type, size);
    if (type == SIZE_MINIMIZED) {
        m_minimised = true;
    } else if (type == SIZE_RESTORED && m_minimised) {
        m_minimised = false;
        OnShown();
    }
    return result;
}
