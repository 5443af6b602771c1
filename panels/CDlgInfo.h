#pragma once
// CDlgInfo: the information panel. Six lines of the selected GPU's identity
// (name, CUDA cores, memory size and type, bus width, driver and video BIOS
// versions), read once when the panel is first opened and never refreshed.
#include <cstdint>
#include <string>

#include "controls/CLabel.h"
#include "gpu/GpuControl.h"
#include "panels/CSkinPanel.h"

class CDlgInfo : public CSkinPanel {
public:
    explicit CDlgInfo(CWnd* parent = nullptr);

    void SetGpuControl(CGpuControl* gpu) { m_gpu = gpu; }

    // "ForceWare 301.42" for 30142; empty for 0.
    static std::string DriverText(uint32_t version);
    // "2048 MB", three spaces, the type; empty for 0 MB.
    static std::string MemoryText(uint32_t megabytes, const std::string& type);

protected:
    enum Line { kName, kCores, kMemory, kBusWidth, kDriver, kBios, kLineCount };

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;

    void FillLines();

    CLabel m_lines[kLineCount];  // controls 1053 to 1058, top to bottom
    CGpuControl* m_gpu = nullptr;
};
