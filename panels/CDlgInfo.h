#pragma once
// CDlgInfo: the information panel. Six lines of the selected GPU's identity
// (name, CUDA cores, memory size and type, bus width, driver and video BIOS
// versions), read once when the panel is first opened and never refreshed.
#include "controls/CLabel.h"
#include "gpu/GpuControl.h"
#include "panels/CSkinPanel.h"

class CDlgInfo : public CSkinPanel {
public:
    explicit CDlgInfo(CWnd* parent = nullptr);

    void SetGpuControl(CGpuControl* gpu) { m_gpu = gpu; }

protected:
    enum Line { kName, kCores, kMemory, kBusWidth, kDriver, kBios, kLineCount };

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    void FillLines();

    CLabel m_lines[kLineCount];  // controls 1053 to 1058, top to bottom
    CGpuControl* m_gpu = nullptr;
};
