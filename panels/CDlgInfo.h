#pragma once
// CDlgInfo: the information panel. Six lines of the identity of the GPU
// selected when the panel is first opened (name, CUDA cores, memory size and
// type, bus width, driver and video BIOS versions), each read once; a line the
// driver could not tell is read again whenever the panel is shown.
#include <string>

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
    void OnShown() override;
    void LayOut() override;

    // The lines not read yet.
    void FillLines();
    // A line's text; false when the driver did not answer all its queries.
    bool ReadLine(Line line, std::string& text);

    CLabel m_lines[kLineCount];  // controls 1053 to 1058, top to bottom
    bool m_read[kLineCount] = {};
    int m_card = 0;  // the GPU the lines tell of
    CGpuControl* m_gpu = nullptr;
};
