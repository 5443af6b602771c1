#include "panels/CDlgTurbo.h"

#include <cstdio>

#include "res/resource.h"

namespace {
const PanelFrame kPanelFrame{"Q-Surge", true, IDB_OVERCLOCK_SKIN, 412, 364, {IDB_PANEL_MINIMIZE, 358, 5},
                        {IDB_PANEL_CLOSE, 382, 5}};
constexpr int kRowPitch = 46;
constexpr COLORREF kWhite = 0x00FFFFFF;
constexpr COLORREF kHintColour = 0x00786960;  // the skin's hints
constexpr COLORREF kNoteColour = 0x0040B0FF;  // amber: something the user should know
constexpr char kHint[] = "Values go to the GPU when you press Apply.";
// Each row's readout, and its name and unit for assistive technology, in row order.
struct RowFacts {
    int readout;
    const char* name;
    const char* unit;
};
constexpr RowFacts kRowFacts[] = {{IDC_POWER_READOUT, "Power target", "%"},
                                  {IDC_FRAME_READOUT, "Frame-rate target", "FPS"},
                                  {IDC_GPU_OFFSET_READOUT, "GPU clock offset", "MHz"},
                                  {IDC_MEM_OFFSET_READOUT, "Memory clock offset", "MHz"}};
}  // namespace

BEGIN_MESSAGE_MAP(CDlgTurbo, CSkinPanel)
    ON_BN_CLICKED_RANGE(IDC_POWER_MINUS, IDC_MEM_OFFSET_PLUS, OnStepButton)
    ON_BN_CLICKED(IDC_APPLY, OnApply)
    ON_BN_CLICKED(IDC_RESET, OnReset)
    ON_MESSAGE(WM_SLIDER_MOVING, OnSliderChanged)
    ON_MESSAGE(WM_SLIDER_MOVED, OnSliderChanged)
END_MESSAGE_MAP()

CDlgTurbo::CDlgTurbo(CWnd* parent) : CSkinPanel(IDD_OVERCLOCK, parent) {}

CDlgTurbo::~CDlgTurbo()
{
    if (m_overclock) m_overclock->SetOnChange(nullptr);
}

void CDlgTurbo::SetOverclock(COverclock* overclock, COverclockWarning* warning)
{
    m_overclock = overclock;
    m_warning = warning;
    if (m_overclock) m_overclock->SetOnChange([this] { ShowOverclock(); });
}

void CDlgTurbo::DoDataExchange(CDataExchange* pDX)
{
    CSkinPanel::DoDataExchange(pDX);
    for (int r = 0; r < kRowCount; ++r) {
        DDX_Control(pDX, IDC_POWER_MINUS + 2 * r, m_rows[r].minus);
        DDX_Control(pDX, IDC_POWER_PLUS + 2 * r, m_rows[r].plus);
        DDX_Control(pDX, IDC_POWER_SLIDER + r, m_rows[r].slider);
        DDX_Control(pDX, kRowFacts[r].readout, m_rows[r].readout);
    }
    DDX_Control(pDX, IDC_APPLY, m_applyButton);
    DDX_Control(pDX, IDC_RESET, m_resetButton);
    DDX_Control(pDX, IDC_OVERCLOCK_NOTE, m_noteLine);
}

BOOL CDlgTurbo::OnInitDialog()
{
    CSkinPanel::OnInitDialog();
    SetUpFrame(kPanelFrame);
    SetUpControls();
    for (RowControls& row : m_rows) {
        row.readout.SetReadoutFont(100, "DigifaceWide");
        row.readout.SetReadoutColour(kWhite);
    }
    m_noteLine.SetLabelFontName("微软雅黑");
    m_noteLine.SetLabelFontSize(12);
    LayOut();
    // The card as the driver has it now; this shows it.
    if (m_overclock) m_overclock->ReadAll();
    SetupSliders();
    ShowNote();
    return TRUE;
}

// A panel shown again reads what it could not before, so it recovers with the driver.
void CDlgTurbo::OnShown()
{
    if (m_overclock) m_overclock->ReadMissing();
}

void CDlgTurbo::ShowOverclock()
{
    if (!m_hWnd) return;
    ShowRows();
    ShowNote();
}

// Keys and sliders take their size from their art.
void CDlgTurbo::LayOut()
{
    CSkinPanel::LayOut();
    for (int r = 0; r < kRowCount; ++r) {
        const int y = r * kRowPitch;
        PlaceControlAt(m_rows[r].minus, 150, 101 + y);
        PlaceControlAt(m_rows[r].slider, 170, 102 + y);
        PlaceControlAt(m_rows[r].plus, 307, 101 + y);
        PlaceControl(m_rows[r].readout, 334, 100 + y, 43, 24);
    }
    PlaceControlAt(m_applyButton, 50, 283);
    PlaceControlAt(m_resetButton, 240, 283);
    PlaceControl(m_noteLine, 22, 61, 370, 29);
}

void CDlgTurbo::SetUpControls()
{
    for (int r = 0; r < kRowCount; ++r) {
        RowControls& row = m_rows[r];
        row.minus.SetKeyImages(IDB_STEP_MINUS, IDB_STEP_MINUS_ACTIVE, IDB_STEP_MINUS_ACTIVE, IDCUR_HAND);
        row.plus.SetKeyImages(IDB_STEP_PLUS, IDB_STEP_PLUS_ACTIVE, IDB_STEP_PLUS_ACTIVE, IDCUR_HAND);
        const std::string name = kRowFacts[r].name, unit = kRowFacts[r].unit;
        row.minus.SetAccessibleName(name + " down");
        row.plus.SetAccessibleName(name + " up");
        row.slider.SetAccessibleName(name + " (" + unit + ")");
        row.readout.SetAccessibleName(name);
        row.readout.SetAccessibleUnit(unit);
    }
    m_applyButton.SetKeyImages(IDB_PANEL_APPLY, IDB_PANEL_APPLY_PRESSED, IDB_PANEL_APPLY_HOVER, IDCUR_HAND);
    m_resetButton.SetKeyImages(IDB_PANEL_RESET, IDB_PANEL_RESET_PRESSED, IDB_PANEL_RESET_HOVER, IDCUR_HAND);
}

void CDlgTurbo::SetupSliders()
{
    for (RowControls& row : m_rows) {
        row.slider.SetChannelBitmaps(IDB_SLIDER_CHANNEL, IDB_SLIDER_CHANNEL_ACTIVE, FALSE, 0xFF000000, 0, 0);
        row.slider.SetThumbBitmaps(IDB_SLIDER_THUMB, 0, FALSE, 0xFF000000, 0, 0);
        row.slider.SetFocusRectDrawing(FALSE, FALSE);
        row.slider.SetMargins(2, 0, 2, 0);
    }
    ShowRows();
}

// The readout paints the new text over the skin at once, the old digits
// included, so nothing behind it needs invalidating.
void CDlgTurbo::ShowValue(Row row)
{
    char text[16] = {};
    if (m_overclock && m_overclock->Value(row).known) std::snprintf(text, sizeof text, "%d", m_overclock->Value(row).value);
    m_rows[row].readout.SetWindowText(text);
}

void CDlgTurbo::ShowRows()
{
    if (!m_overclock) return;
    for (int r = 0; r < kRowCount; ++r) {
        const OverclockRow& value = m_overclock->Value(static_cast<Row>(r));
        CBitmapSlider& slider = m_rows[r].slider;
        slider.SetRange(value.minimum, value.maximum, FALSE);
        slider.SetPos(value.value);
        slider.EnableSlider(value.enabled);
    }
    for (int r = 0; r < kRowCount; ++r) ShowValue(static_cast<Row>(r));
}

void CDlgTurbo::OnStepButton(UINT id)
{
    const Row row = static_cast<Row>((id - IDC_POWER_MINUS) / 2);
    const bool up = (id - IDC_POWER_MINUS) % 2 == 1;
    if (!m_overclock || !m_overclock->Value(row).enabled) return;
    CBitmapSlider& slider = m_rows[row].slider;
    int value = slider.GetPos();
    if (up)
        value = value < slider.GetRangeMax() ? value + 1 : slider.GetRangeMax();
    else
        value = value > slider.GetRangeMin() ? value - 1 : slider.GetRangeMin();
    m_overclock->SetValue(row, value);
    slider.SetPos(value);
    ShowValue(row);
}

// A disabled slider sends nothing, and the overclock keeps such a row as it is.
LRESULT CDlgTurbo::OnSliderChanged(WPARAM sliderId, LPARAM)
{
    if (!m_overclock || sliderId < IDC_POWER_SLIDER || sliderId > IDC_MEM_OFFSET_SLIDER) return 0;
    const Row row = static_cast<Row>(sliderId - IDC_POWER_SLIDER);
    CBitmapSlider& slider = m_rows[row].slider;
    m_overclock->SetValue(row, slider.GetPos());
    slider.SetPos(slider.GetPos());
    ShowValue(row);
    return 0;
}

void CDlgTurbo::OnApply()
{
    if (m_overclock && m_warning && m_warning->Confirm()) m_overclock->Apply();
}

// No warning: Reset takes the overclock away.
void CDlgTurbo::OnReset()
{
    if (m_overclock && !(m_warning && m_warning->Pending())) m_overclock->Reset();
}

// The label is drawn over the skin: the skin is painted again under the old text.
void CDlgTurbo::ShowNote()
{
    const std::string note = m_overclock ? m_overclock->Note() : std::string();
    m_noteLine.SetLabelTextColour(note.empty() ? kHintColour : kNoteColour);
    m_noteLine.SetLabelText(note.empty() ? kHint : note);
    CRect place = m_noteLine.GetWindowRect();
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
    ::RedrawWindow(m_hWnd, &place, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}
