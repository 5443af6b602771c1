#include "panels/CDlgSetting.h"

#include "profile/AutoRun.h"
#include "res/resource.h"

namespace {
const PanelFrame kPanelFrame{"Setting", true, IDB_SETTINGS_SKIN, 295, 207, {IDB_SETTINGS_MINIMIZE, 240, 5},
                             {IDB_SETTINGS_CLOSE, 264, 5}};
// Top-left corners of "Launch", "Minisize", "OC" and "All".
constexpr POINT kSwitchPlaces[] = {{32, 47}, {32, 72}, {32, 97}, {122, 131}};
// Their names for assistive technology.
constexpr const char* kSwitchNames[] = {"Start with Windows", "Start hidden", "Apply overclock at start", "Sync all GPUs"};

bool AutoRunPresent()
{
    char buffer[256];
    return QueryAutoRun(buffer) == 0;
}
}  // namespace

BEGIN_MESSAGE_MAP(CDlgSetting, CSkinPanel)
    ON_BN_CLICKED_RANGE(IDC_SWITCH_LAUNCH, IDC_SWITCH_ALL, OnSwitch)
    ON_BN_CLICKED(IDC_APPLY, OnApply)
    ON_CONTROL(CBN_SELCHANGE, IDC_GPU_LIST, OnGpuSelected)
END_MESSAGE_MAP()

CDlgSetting::CDlgSetting(CWnd* parent) : CSkinPanel(IDD_SETTINGS, parent) {}

int32_t& CDlgSetting::State(Switch s)
{
    switch (s) {
    case kLaunch:
        return m_states.launch;
    case kMinisize:
        return m_states.minisize;
    case kOverClock:
        return m_states.overClock;
    default:
        return m_states.synchronization;
    }
}

void CDlgSetting::DoDataExchange(CDataExchange* pDX)
{
    CSkinPanel::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_APPLY, m_applyButton);
    for (int s = 0; s < kSwitchCount; ++s) DDX_Control(pDX, IDC_SWITCH_LAUNCH + s, m_switches[s]);
    DDX_Control(pDX, IDC_GPU_LIST, m_gpuList);
}

BOOL CDlgSetting::OnInitDialog()
{
    CSkinPanel::OnInitDialog();
    SetUpFrame(kPanelFrame);

    m_ini.ReadSystemFlags(m_states);
    // Whether Windows will start the program is the Run entry's to say, not the profile's.
    m_states.launch = AutoRunPresent() ? 1 : 0;

    const uint32_t gpuCount = m_gpu ? m_gpu->m_gpuCount : 0;
    for (uint32_t i = 1; i <= gpuCount; ++i) m_gpuList.AddString("GPU " + std::to_string(i));
    if (gpuCount) m_gpuList.SetCurSel(m_gpu->m_gpuIndex);

    m_gpuList.SetAccessibleName("GPU");
    m_applyButton.SetKeyImages(IDB_SETTINGS_APPLY, IDB_SETTINGS_APPLY_PRESSED, IDB_SETTINGS_APPLY_HOVER, IDCUR_HAND);
    for (int s = 0; s < kSwitchCount; ++s) {
        m_switches[s].SetKind(CBitButtonNL::Kind::Switch);
        m_switches[s].SetAccessibleName(kSwitchNames[s]);
        ShowSwitch(static_cast<Switch>(s));
    }
    LayOut();
    return TRUE;
}

// The keys and switches take their size from their art.
void CDlgSetting::LayOut()
{
    CSkinPanel::LayOut();
    PlaceControlAt(m_applyButton, 178, 152);
    PlaceControl(m_gpuList, 32, 126, 82, 30);
    for (int s = 0; s < kSwitchCount; ++s) PlaceControlAt(m_switches[s], kSwitchPlaces[s].x, kSwitchPlaces[s].y);
}

void CDlgSetting::ShowSwitch(Switch s)
{
    const UINT image = State(s) ? IDB_SWITCH_ON : IDB_SWITCH_OFF;
    m_switches[s].SetKeyImages(image, image, image, IDCUR_HAND);
    m_switches[s].SetChecked(State(s) != 0);
}

// Nothing is stored until "Apply".
void CDlgSetting::OnSwitch(UINT id)
{
    const Switch s = static_cast<Switch>(id - IDC_SWITCH_LAUNCH);
    State(s) = !State(s);
    ShowSwitch(s);
}

void CDlgSetting::OnApply()
{
    if (m_states.launch)
        SetAutoRun();
    else
        RemoveAutoRun();
    // The switch and the profile say what the registry now holds, so a
    // refused write never shows as done.
    m_states.launch = AutoRunPresent() ? 1 : 0;
    ShowSwitch(kLaunch);
    m_ini.WriteSystemFlags(m_states);
}

void CDlgSetting::OnGpuSelected()
{
    const int selected = m_gpuList.GetCurSel();
    if (m_gpu && selected >= 0) m_gpu->SelectGpu(selected);
}
