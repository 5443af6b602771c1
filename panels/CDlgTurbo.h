#pragma once
// CDlgTurbo: the overclock panel, a view of the overclock (COverclock). Four
// rows (power target, frame-rate target, graphics and memory clock offsets of
// P0), each moved by its "-" and "+" keys or its slider within the limits the
// driver reported; "Apply" shows the warning and has the overclock written,
// "Reset" resets it; the rows then show what the driver holds. A value the
// driver could not tell is blank and its row does nothing. The line under the
// title says why the kept overclock was not applied at start.
#include <string>

#include "controls/CBitButtonNL.h"
#include "controls/CBitmapSlider.h"
#include "controls/CLabel.h"
#include "controls/CStaticFont.h"
#include "overclock/COverclock.h"
#include "panels/COverclockWarning.h"
#include "panels/CSkinPanel.h"

class CDlgTurbo : public CSkinPanel {
    DECLARE_MESSAGE_MAP()
public:
    explicit CDlgTurbo(CWnd* parent = nullptr);
    ~CDlgTurbo() override;

    // Before the window is created; both outlive the panel.
    void SetOverclock(COverclock* overclock, COverclockWarning* warning);

    static constexpr const char* kOverclockWarning = COverclockWarning::kText;

protected:
    using Row = COverclock::Row;
    static constexpr int kRowCount = COverclock::kRowCount;
    // One row's controls.
    struct RowControls {
        CBitButtonNL minus, plus;
        CBitmapSlider slider;
        CStaticFont readout;
    };

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnShown() override;
    // What the overclock holds, shown again.
    void ShowOverclock();

    void OnStepButton(UINT id);
    void OnApply();
    void OnReset();
    LRESULT OnSliderChanged(WPARAM sliderId, LPARAM);

    // The keys' art and every row's names.
    void SetUpControls();
    void LayOut() override;
    void SetupSliders();
    // The readout: the value, or nothing when it is not known.
    void ShowValue(Row row);
    // Every row's slider (limits, position, enabling) and readout.
    void ShowRows();
    void ShowNote();

    RowControls m_rows[kRowCount];
    CBitButtonNL m_applyButton, m_resetButton;
    CLabel m_noteLine;
    COverclock* m_overclock = nullptr;
    COverclockWarning* m_warning = nullptr;
};
