#pragma once
// CDlgFanCurve: the fan-curve panel. The user sets steps on the curve grid;
// "Apply" hands the curve to the window whose fan follows it, "Reset" brings
// back the default curve and applies it at once.
#include "fan/FanCurve.h"
#include "controls/CBitButtonNL.h"
#include "panels/CCurve.h"
#include "panels/CSkinPanel.h"

class CDlgFanCurve : public CSkinPanel {
    DECLARE_MESSAGE_MAP()
public:
    explicit CDlgFanCurve(FanCurveFollower& follower, CWnd* parent = nullptr);

    // What Apply says on a card whose fans the system controls.
    static constexpr char kCannotTake[] =
        "This card's fans are controlled by the system: it cannot take the curve, which is kept for a card that can.";

    const FanCurvePoints& GetDefaultCurve() const { return m_defaultCurve; }
    // The curve in force, which the grid shows when the panel first opens.
    void SetCurve(const FanCurvePoints& points);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void LayOut() override;

    void OnApply();
    void OnReset();
    LRESULT OnCurveChanged(WPARAM, LPARAM);

    CBitButtonNL m_applyButton, m_resetButton;
    CCurve m_curveControl;
    FanCurvePoints m_curve = {};
    FanCurvePoints m_defaultCurve = {};
    FanCurveFollower& m_follower;
};
