#include "panels/CDlgTurbo.h"

#include <algorithm>
#include <cstdio>

#include "panels/CDlgNote.h"
#include "res/resource.h"

namespace {
const PanelFrame kPanelFrame{"Q-Surge", true, IDB_OVERCLOCK_SKIN, 412, 364, {IDB_PANEL_MINIMIZE, 358, 5},
                        {IDB_PANEL_CLOSE, 382, 5}};
constexpr int kRowPitch = 46;
constexpr COLORREF kWhite = 0x00FFFFFF;
constexpr int kFrameRateAtReset = 40;
constexpr COLORREF kHintColour = 0x00786960;  // the skin's hints
constexpr COLORREF kNoteColour = 0x0040B0FF;  // amber: something the user should know
constexpr char kHint[] = "Values go to the GPU when you press Apply.";
// The rows' names and units for assistive technology, in row order.
struct RowName {
    const char* name;
    const char* unit;
};
constexpr RowName kRowNames[] = {
    {"Power target", "%"}, {"Frame-rate target", "FPS"}, {"GPU clock offset", "MHz"}, {"Memory clock offset", "MHz"}};

// Driver figures are thousandths of the panel's units (kHz, thousandths of a
// per cent). Offsets are signed and truncate toward zero.
int FromDriver(int32_t offset) { return offset / 1000; }
int FromDriver(uint32_t power) { return static_cast<int>(power / 1000); }

// Preset offsets in MHz: the main window's "3", "5" and "10".
struct Preset {
    int gpuOffset, memOffset;
};
constexpr Preset kPresets[3] = {{30, 50}, {50, 80}, {80, 100}};
constexpr int kPresetPowerRaise = 10;
}  // namespace

BEGIN_MESSAGE_MAP(CDlgTurbo, CSkinPanel)
    ON_BN_CLICKED_RANGE(IDC_POWER_MINUS, IDC_MEM_OFFSET_PLUS, OnStepButton)
    ON_BN_CLICKED(IDC_APPLY, OnApply)
    ON_BN_CLICKED(IDC_RESET, OnReset)
    ON_MESSAGE(WM_SLIDER_MOVING, OnSliderChanged)
    ON_MESSAGE(WM_SLIDER_MOVED, OnSliderChanged)
END_MESSAGE_MAP()

CDlgTurbo::CDlgTurbo(CWnd* parent) : CSkinPanel(IDD_OVERCLOCK, parent) {}

CDlgTurbo::RowParts CDlgTurbo::Parts(Row row)
{
    switch (row) {
    case kPower:
        return {m_powerTarget, m_powerMin, m_powerMax, m_powerEnabled, m_sliders[kPower], m_powerText};
    case kFrame:
        return {m_frameTarget, m_frameTargetMin, m_frameTargetMax, m_frameEnabled, m_sliders[kFrame], m_frameText};
    case kGpuOffset:
        return {m_gpuOffset, m_gpuOffsetMin, m_gpuOffsetMax, m_gpuOffsetEnabled, m_sliders[kGpuOffset],
                m_gpuOffsetText};
    default:
        return {m_memOffset, m_memOffsetMin, m_memOffsetMax, m_memOffsetEnabled, m_sliders[kMemOffset],
                m_memOffsetText};
    }
}

void CDlgTurbo::DoDataExchange(CDataExchange* pDX)
{
    CSkinPanel::DoDataExchange(pDX);
    for (int i = 0; i < 8; ++i) DDX_Control(pDX, IDC_POWER_MINUS + i, m_stepButtons[i]);
    DDX_Control(pDX, IDC_APPLY, m_applyButton);
    DDX_Control(pDX, IDC_RESET, m_resetButton);
    for (int r = 0; r < kRowCount; ++r) DDX_Control(pDX, IDC_POWER_SLIDER + r, m_sliders[r]);
    DDX_Control(pDX, IDC_GPU_OFFSET_READOUT, m_gpuOffsetText);
    DDX_Control(pDX, IDC_MEM_OFFSET_READOUT, m_memOffsetText);
    DDX_Control(pDX, IDC_POWER_READOUT, m_powerText);
    DDX_Control(pDX, IDC_FRAME_READOUT, m_frameText);
    DDX_Control(pDX, IDC_OVERCLOCK_NOTE, m_noteLine);
}

BOOL CDlgTurbo::OnInitDialog()
{
    CSkinPanel::OnInitDialog();
    SetUpFrame(kPanelFrame);
    LoadDriverValues();
    SetUpControls();
    SetupSliders();
    for (CStaticFont* readout : {&m_gpuOffsetText, &m_memOffsetText, &m_powerText, &m_frameText}) {
        readout->SetReadoutFont(100, "DigifaceWide");
        readout->SetReadoutColour(kWhite);
    }
    m_noteLine.SetLabelFontName("微软雅黑");
    m_noteLine.SetLabelFontSize(12);
    LayOut();
    ShowStartNote();
    return TRUE;
}

bool CDlgTurbo::Known(Row row) const
{
    switch (row) {
    case kPower:
        return m_powerKnown;
    case kFrame:
        return true;
    default:
        return m_clocksKnown;
    }
}

void CDlgTurbo::LoadDriverValues()
{
    SystemFlags flags{};
    m_ini.ReadSystemFlags(flags);
    m_syncAllGpus = flags.synchronization;
    ReadClocks();
    ReadPower();
}

void CDlgTurbo::ReadClocks()
{
    GpuClockInfo info{};
    m_clocksKnown = m_gpu && m_gpu->GetPstateClocks(info, m_gpu->m_gpuIndex, 0);
    if (m_clocksKnown) {
        m_gpuOffset = FromDriver(info.gfxOffset);
        m_gpuOffsetMin = FromDriver(info.gfxOffsetMin);
        m_gpuOffsetMax = FromDriver(info.gfxOffsetMax);
        m_memOffset = FromDriver(info.memOffset);
        m_memOffsetMin = FromDriver(info.memOffsetMin);
        m_memOffsetMax = FromDriver(info.memOffsetMax);
    }
    m_gpuOffsetEnabled = m_clocksKnown && info.gfxOffsetEditable ? 1 : 0;
    m_memOffsetEnabled = m_clocksKnown && info.memOffsetEditable ? 1 : 0;
}

void CDlgTurbo::ReadPower()
{
    GpuClockInfo info{};
    m_powerKnown = m_gpu && m_gpu->GetPowerTarget(info, -1);
    if (m_powerKnown) {
        m_powerTarget = FromDriver(info.powerTarget);
        m_powerMin = FromDriver(info.powerMin);
        m_powerMax = FromDriver(info.powerMax);
        m_powerDefault = FromDriver(info.powerDefault);
    }
    // Without a default the driver offers no power target to set.
    m_powerEnabled = m_powerKnown && m_powerDefault != 0 ? 1 : 0;
}

bool CDlgTurbo::ReadMissing()
{
    const bool clocks = !m_clocksKnown, power = !m_powerKnown;
    if (clocks) ReadClocks();
    if (power) ReadPower();
    return (clocks && m_clocksKnown) || (power && m_powerKnown);
}

// A panel shown again reads what it could not before, so it recovers with the driver.
void CDlgTurbo::OnShown()
{
    if (ReadMissing()) ShowRows({kGpuOffset, kMemOffset, kPower});
}

// Keys and sliders take their size from their art.
void CDlgTurbo::LayOut()
{
    CSkinPanel::LayOut();
    for (int r = 0; r < kRowCount; ++r) {
        const int y = r * kRowPitch;
        PlaceControlAt(m_stepButtons[2 * r], 150, 101 + y);
        PlaceControlAt(m_sliders[r], 170, 102 + y);
        PlaceControlAt(m_stepButtons[2 * r + 1], 307, 101 + y);
        PlaceControl(Parts(static_cast<Row>(r)).readout, 334, 100 + y, 43, 24);
    }
    PlaceControlAt(m_applyButton, 50, 283);
    PlaceControlAt(m_resetButton, 240, 283);
    PlaceControl(m_noteLine, 22, 61, 370, 29);
}

void CDlgTurbo::SetUpControls()
{
    for (int r = 0; r < kRowCount; ++r) {
        CBitButtonNL& minus = m_stepButtons[2 * r];
        CBitButtonNL& plus = m_stepButtons[2 * r + 1];
        minus.SetKeyImages(IDB_STEP_MINUS, IDB_STEP_MINUS_ACTIVE, IDB_STEP_MINUS_ACTIVE, IDCUR_HAND);
        plus.SetKeyImages(IDB_STEP_PLUS, IDB_STEP_PLUS_ACTIVE, IDB_STEP_PLUS_ACTIVE, IDCUR_HAND);
        const std::string name = kRowNames[r].name, unit = kRowNames[r].unit;
        minus.SetAccessibleName(name + " down");
        plus.SetAccessibleName(name + " up");
        m_sliders[r].SetAccessibleName(name + " (" + unit + ")");
        Parts(static_cast<Row>(r)).readout.SetAccessibleName(name);
        Parts(static_cast<Row>(r)).readout.SetAccessibleUnit(unit);
    }
    m_applyButton.SetKeyImages(IDB_PANEL_APPLY, IDB_PANEL_APPLY_PRESSED, IDB_PANEL_APPLY_HOVER, IDCUR_HAND);
    m_resetButton.SetKeyImages(IDB_PANEL_RESET, IDB_PANEL_RESET_PRESSED, IDB_PANEL_RESET_HOVER, IDCUR_HAND);
}

void CDlgTurbo::SetupSliders()
{
    for (CBitmapSlider& slider : m_sliders) {
        slider.SetChannelBitmaps(IDB_SLIDER_CHANNEL, IDB_SLIDER_CHANNEL_ACTIVE, FALSE, 0xFF000000, 0, 0);
        slider.SetThumbBitmaps(IDB_SLIDER_THUMB, 0, FALSE, 0xFF000000, 0, 0);
        slider.SetFocusRectDrawing(FALSE, FALSE);
        slider.SetMargins(2, 0, 2, 0);
    }
    ShowRows({kPower, kFrame, kGpuOffset, kMemOffset});
}

// The readout paints the new text over the skin at once, the old digits
// included, so nothing behind it needs invalidating.
void CDlgTurbo::ShowValue(Row row)
{
    RowParts parts = Parts(row);
    char text[16] = {};
    if (Known(row)) std::snprintf(text, sizeof text, "%d", parts.value);
    parts.readout.SetWindowText(text);
}

void CDlgTurbo::ShowRows(std::initializer_list<Row> rows)
{
    for (Row row : rows) {
        RowParts parts = Parts(row);
        parts.slider.SetRange(parts.minimum, parts.maximum, FALSE);
        parts.slider.SetPos(parts.value);
        parts.slider.EnableSlider(parts.enabled);
    }
    for (Row row : rows) ShowValue(row);
}

void CDlgTurbo::OnStepButton(UINT id)
{
    const Row row = static_cast<Row>((id - IDC_POWER_MINUS) / 2);
    const bool up = (id - IDC_POWER_MINUS) % 2 == 1;
    RowParts parts = Parts(row);
    if (!parts.enabled) return;
    int value = parts.slider.GetPos();
    if (up)
        value = value < parts.slider.GetRangeMax() ? value + 1 : parts.slider.GetRangeMax();
    else
        value = value > parts.slider.GetRangeMin() ? value - 1 : parts.slider.GetRangeMin();
    parts.value = value;
    parts.slider.SetPos(value);
    ShowValue(row);
}

LRESULT CDlgTurbo::OnSliderChanged(WPARAM sliderId, LPARAM)
{
    if (sliderId < IDC_POWER_SLIDER || sliderId > IDC_MEM_OFFSET_SLIDER) return 0;
    const Row row = static_cast<Row>(sliderId - IDC_POWER_SLIDER);
    RowParts parts = Parts(row);
    parts.value = parts.slider.GetPos();
    parts.slider.SetPos(parts.value);
    ShowValue(row);
    return 0;
}

bool CDlgTurbo::NoteIsOpen()
{
    if (m_openNote) ::SetForegroundWindow(*m_openNote);
    return m_openNote != nullptr;
}

bool CDlgTurbo::ShowOverclockNote()
{
    if (NoteIsOpen()) return false;
    CDlgNote note(nullptr);
    note.SetNoteText(kOverclockWarning);
    m_openNote = &note;
    note.DoModal();
    m_openNote = nullptr;
    return true;
}

bool CDlgTurbo::WriteToGpus(bool offsets, bool power, bool allGpus)
{
    if (!m_gpu) return false;
    GpuClockInfo record{};
    record.gfxOffset = m_gpuOffset * 1000;
    record.memOffset = m_memOffset * 1000;
    record.powerTarget = static_cast<uint32_t>(m_powerTarget) * 1000;
    bool ok = true;
    const auto write = [&](int gpu) {
        if (offsets) ok &= m_gpu->SetClockOffsets(record, gpu) != 0;
        if (power) ok &= m_gpu->SetPowerTarget(record, gpu) != 0;
    };
    if (allGpus) {
        for (uint32_t i = 0; i < m_gpu->m_gpuCount; ++i) write(static_cast<int>(i));
        return ok && m_gpu->m_gpuCount > 0;
    }
    write(-1);
    return ok;
}

// A failed read-back leaves the rows unknown: what the driver took is not known.
void CDlgTurbo::ReadBack()
{
    ReadClocks();
    ReadPower();
}

bool CDlgTurbo::Write(const OverclockSettings& settings, std::initializer_list<Row> shown)
{
    const bool offsets = settings.gpuOffset || settings.memOffset, power = settings.powerTarget.has_value();
    m_gpuOffset = settings.gpuOffset.value_or(m_gpuOffset);
    m_memOffset = settings.memOffset.value_or(m_memOffset);
    m_powerTarget = settings.powerTarget.value_or(m_powerTarget);
    m_frameTarget = settings.frameTarget.value_or(m_frameTarget);
    bool wrote = offsets || power;
    bool ok = !wrote || WriteToGpus(offsets, power, settings.allGpus);
    // The frame-rate target is driver-wide, and writing it costs a whole
    // settings session: only a value not known to be there is written, once.
    if (settings.frameTarget && m_frameTarget != m_frameTargetSent) {
        wrote = true;
        if (m_gpu && m_gpu->SetDriverSetting(static_cast<uint32_t>(m_frameTarget)))
            m_frameTargetSent = m_frameTarget;
        else
            ok = false;
    }
    ReadBack();
    ShowRows(shown);
    return wrote && ok;
}

void CDlgTurbo::Store(OverclockSettings applied)
{
    applied.frameTarget.reset();
    if (m_frameTargetSent != kFrameTargetUnknown) applied.frameTarget = m_frameTargetSent;
    StoreOverclock(m_ini, applied);
    SetStartNote("");
}

void CDlgTurbo::OnApply()
{
    if (!ShowOverclockNote()) return;
    OverclockSettings settings;
    settings.allGpus = m_syncAllGpus != 0;
    // A row the driver could not tell is left out.
    if (m_clocksKnown) {
        settings.gpuOffset = m_sliders[kGpuOffset].GetPos();
        settings.memOffset = m_sliders[kMemOffset].GetPos();
    }
    if (m_powerKnown) settings.powerTarget = m_sliders[kPower].GetPos();
    settings.frameTarget = m_sliders[kFrame].GetPos();
    if (Write(settings, {kGpuOffset, kMemOffset, kFrame, kPower})) Store(settings);
}

// Writes nothing for the frame-rate target, so the driver may hold another one
// than the 40 shown.
bool CDlgTurbo::OnReset()
{
    if (NoteIsOpen()) return false;
    ReadMissing();
    m_powerTarget = m_powerDefault;
    m_frameTargetSent = kFrameTargetUnknown;
    m_frameTarget = kFrameRateAtReset;
    m_gpuOffset = 0;
    m_memOffset = 0;
    // The power row is enabled exactly when the driver gave a default.
    const bool taken = WriteToGpus(m_clocksKnown, m_powerEnabled != 0, m_syncAllGpus != 0);
    ReadBack();
    ShowRows({kGpuOffset, kMemOffset, kFrame, kPower});
    ClearStoredOverclock(m_ini);
    SetStartNote("");
    return taken;
}

bool CDlgTurbo::ApplyPreset(int level, bool showNote)
{
    if (level < 1 || level > 3) return false;
    // A preset asked for by name skips the warning, but not one that is open.
    if (showNote ? !ShowOverclockNote() : NoteIsOpen()) return false;
    // The raise is on the driver's default: without one, no power target.
    ReadMissing();
    OverclockSettings settings;
    settings.allGpus = m_syncAllGpus != 0;
    if (m_clocksKnown) {
        settings.gpuOffset = kPresets[level - 1].gpuOffset;
        settings.memOffset = kPresets[level - 1].memOffset;
    }
    if (m_powerEnabled) settings.powerTarget = m_powerDefault + kPresetPowerRaise;
    const bool taken = Write(settings, {kGpuOffset, kMemOffset, kPower});
    if (taken) Store(settings);
    return taken;
}

OverclockSettings CDlgTurbo::WithinLimits(const OverclockSettings& settings)
{
    ReadClocks();
    ReadPower();
    OverclockSettings allowed;
    allowed.allGpus = settings.allGpus;
    const auto within = [](int value, int lowest, int highest) { return std::max(lowest, std::min(value, highest)); };
    // The offsets go in one record: one left out keeps the driver's value there.
    if (settings.gpuOffset && m_gpuOffsetEnabled)
        allowed.gpuOffset = within(*settings.gpuOffset, m_gpuOffsetMin, m_gpuOffsetMax);
    if (settings.memOffset && m_memOffsetEnabled)
        allowed.memOffset = within(*settings.memOffset, m_memOffsetMin, m_memOffsetMax);
    if (settings.powerTarget && m_powerEnabled) allowed.powerTarget = within(*settings.powerTarget, m_powerMin, m_powerMax);
    if (settings.frameTarget) allowed.frameTarget = within(*settings.frameTarget, m_frameTargetMin, m_frameTargetMax);
    return allowed;
}

bool CDlgTurbo::ApplyOverclock(const OverclockSettings& settings)
{
    if (NoteIsOpen()) return false;
    return Write(WithinLimits(settings), {kGpuOffset, kMemOffset, kFrame, kPower});
}

bool CDlgTurbo::ApplyAndStore(const OverclockSettings& settings)
{
    if (NoteIsOpen()) return false;
    const OverclockSettings allowed = WithinLimits(settings);
    if (!Write(allowed, {kGpuOffset, kMemOffset, kFrame, kPower})) return false;
    Store(allowed);
    return true;
}

void CDlgTurbo::SetStartNote(const std::string& text)
{
    m_startNote = text;
    if (m_hWnd) ShowStartNote();
}

// The label is drawn over the skin: the skin is painted again under the old text.
void CDlgTurbo::ShowStartNote()
{
    m_noteLine.SetLabelTextColour(m_startNote.empty() ? kHintColour : kNoteColour);
    m_noteLine.SetLabelText(m_startNote.empty() ? kHint : m_startNote);
    CRect place = m_noteLine.GetWindowRect();
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
    ::RedrawWindow(m_hWnd, &place, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}
