#pragma once
// CDlgSetting: the settings panel. Four switches (start with Windows, start
// hidden, "OC" to apply the stored overclock at start, "All" to overclock
// every GPU) that only flip on screen until "Apply" stores them, and the list
// of GPUs, whose choice the whole program follows at once.
#include <string>

#include "controls/CBitButtonNL.h"
#include "gpu/GpuControl.h"
#include "panels/CGpuList.h"
#include "panels/CSkinPanel.h"
#include "profile/IniFile.h"

class CDlgSetting : public CSkinPanel {
    DECLARE_MESSAGE_MAP()
public:
    explicit CDlgSetting(CWnd* parent = nullptr);

    void SetProfilePath(const std::wstring& path) { m_ini.SetPath(path); }
    void SetGpuControl(CGpuControl* gpu) { m_gpu = gpu; }

protected:
    enum Switch { kLaunch, kMinisize, kOverClock, kSynchronization, kSwitchCount };

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void LayOut() override;

    void OnSwitch(UINT id);
    void OnApply();
    void OnGpuSelected();

    int32_t& State(Switch s);
    void ShowSwitch(Switch s);

    CBitButtonNL m_applyButton;
    CBitButtonNL m_switches[kSwitchCount];  // "Launch", "Minisize", "OC", "All"
    SystemFlags m_states{};
    CIniFile m_ini;
    CGpuControl* m_gpu = nullptr;
    CGpuList m_gpuList;
};
