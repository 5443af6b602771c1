#include "panels/CDlgFanCurve.h"

#include <algorithm>

#include "framework/MessageBox.h"
#include "res/resource.h"

namespace {
const PanelFrame kPanelFrame{"Fan Curve", true, IDB_FANCURVE_SKIN, 412, 402, {IDB_PANEL_MINIMIZE, 358, 5},
                             {IDB_PANEL_CLOSE, 382, 5}};
constexpr COLORREF kLineColour = 0x00FFFF00;  // green and blue: cyan
}  // namespace

BEGIN_MESSAGE_MAP(CDlgFanCurve, CSkinPanel)
    ON_BN_CLICKED(IDC_APPLY, OnApply)
    ON_BN_CLICKED(IDC_RESET, OnReset)
    ON_MESSAGE(WM_CURVE_CHANGED, OnCurveChanged)
END_MESSAGE_MAP()

CDlgFanCurve::CDlgFanCurve(FanCurveFollower& follower, CWnd* parent)
    : CSkinPanel(IDD_FANCURVE, parent), m_follower(follower)
{
    std::copy(std::begin(kDefaultFanCurve), std::end(kDefaultFanCurve), m_defaultCurve);
    std::copy(std::begin(kDefaultFanCurve), std::end(kDefaultFanCurve), m_curve);
}

void CDlgFanCurve::SetCurve(const FanCurvePoints& points)
{
    std::copy(std::begin(points), std::end(points), m_curve);
    m_curveControl.SetPoints(m_curve);
}

void CDlgFanCurve::DoDataExchange(CDataExchange* pDX)
{
    CSkinPanel::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_APPLY, m_applyButton);
    DDX_Control(pDX, IDC_RESET, m_resetButton);
    DDX_Control(pDX, IDC_CURVE, m_curveControl);
}

BOOL CDlgFanCurve::OnInitDialog()
{
    CSkinPanel::OnInitDialog();
    SetUpFrame(kPanelFrame);
    m_applyButton.SetKeyImages(IDB_PANEL_APPLY, IDB_PANEL_APPLY_PRESSED, IDB_PANEL_APPLY_HOVER, IDCUR_HAND);
    m_resetButton.SetKeyImages(IDB_PANEL_RESET, IDB_PANEL_RESET_PRESSED, IDB_PANEL_RESET_HOVER, IDCUR_HAND);

    m_curveControl.SetCurveBitmap(IDB_CURVE_GRID).SetLineColour(kLineColour);
    // Owner-drawn and borderless (a dialog turns a control's border into a
    // sunken edge); the template's notify style stays, so the grid takes
    // clicks; a tab stop, so the keyboard reaches it.
    const LONG style =
        (m_curveControl.GetStyle() & ~(WS_BORDER | SS_TYPEMASK)) | WS_CHILD | WS_VISIBLE | WS_TABSTOP | SS_OWNERDRAW;
    ::SetWindowLongPtrA(m_curveControl, GWL_STYLE, style);
    const LONG_PTR exStyle = ::GetWindowLongPtrA(m_curveControl, GWL_EXSTYLE) & ~WS_EX_CLIENTEDGE;
    ::SetWindowLongPtrA(m_curveControl, GWL_EXSTYLE, exStyle);
    m_curveControl.SetWindowPos(nullptr, 0, 0, 0, 0,
                                SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    m_curveControl.SetPoints(m_curve);
    LayOut();
    return TRUE;
}

void CDlgFanCurve::LayOut()
{
    CSkinPanel::LayOut();
    PlaceControlAt(m_applyButton, 80, 336);
    PlaceControlAt(m_resetButton, 230, 336);
    PlaceControl(m_curveControl, 68, 101, 290, 200);
}

void CDlgFanCurve::OnApply()
{
    m_curveControl.GetPoints(m_curve);
    if (!m_follower.ApplyFanCurve(m_curve)) AppMessageBox(m_hWnd, kCannotTake, "Info", MB_OK | MB_ICONINFORMATION);
}

void CDlgFanCurve::OnReset()
{
    m_curveControl.SetPoints(m_defaultCurve);
    OnApply();
}

LRESULT CDlgFanCurve::OnCurveChanged(WPARAM, LPARAM)
{
    m_curveControl.GetPoints(m_curve);
    return 0;
}
